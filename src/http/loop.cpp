#include "http/loop.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include "error.h"

namespace murex::http {

namespace {

[[noreturn]] void raiseOs(const char* what) {
  raiseError(ErrorKind::OS, std::string(what) + ": " + std::strerror(errno));
}

uint32_t epollBits(int mask) {
  return ((mask & Readable) ? EPOLLIN | EPOLLRDHUP : 0u) | ((mask & Writable) ? EPOLLOUT : 0u);
}

void applyMask(EventLoop& loop, int fd, int oldMask, int newMask) {
  if (oldMask == newMask) return;
  epoll_event ev{};
  ev.events = epollBits(newMask);
  ev.data.fd = fd;
  const int op = oldMask == None ? EPOLL_CTL_ADD : newMask == None ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
  if (epoll_ctl(loop.epollFd, op, fd, &ev) != 0) raiseOs("epoll_ctl");
  if (oldMask == None) ++loop.registered;
  if (newMask == None) --loop.registered;
}

}  // namespace

void initLoop(EventLoop& loop) {
  rlimit lim{};
  loop.capacity = 16000;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY)
    loop.capacity = static_cast<int64_t>(lim.rlim_cur);
  loop.epollFd = epoll_create1(EPOLL_CLOEXEC);
  if (loop.epollFd < 0) raiseOs("epoll_create1");
  loop.fired.resize(256);
}

void closeLoop(EventLoop& loop) {
  if (loop.epollFd >= 0) close(loop.epollFd);
  loop.epollFd = -1;
  loop.events.clear();
  loop.timers.clear();
  loop.registered = 0;
}

void addFileEvent(EventLoop& loop, int fd, int mask, FileProc proc) {
  if (fd < 0 || fd >= loop.capacity)
    raiseError(ErrorKind::OS, "Maximum number of descriptors is exhausted!");
  if (std::ssize(loop.events) <= fd) loop.events.resize(static_cast<size_t>(fd) + 1);
  FileEvent& fe = loop.events[fd];
  applyMask(loop, fd, fe.mask, fe.mask | mask);
  fe.mask |= mask;
  if (mask & Readable) fe.onReadable = proc;
  if (mask & Writable) fe.onWritable = std::move(proc);
}

void removeFileEvent(EventLoop& loop, int fd, int mask) {
  if (fd < 0 || fd >= std::ssize(loop.events)) return;
  FileEvent& fe = loop.events[fd];
  const int newMask = fe.mask & ~mask;
  applyMask(loop, fd, fe.mask, newMask);
  fe.mask = newMask;
  if (mask & Readable) fe.onReadable = nullptr;
  if (mask & Writable) fe.onWritable = nullptr;
}

void addTimer(EventLoop& loop, int64_t delayMs, TimeProc proc) {
  loop.timers.push_back({monotonicMs() + delayMs, std::move(proc)});
}

int64_t monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int processEvents(EventLoop& loop, int64_t maxWaitMs) {
  int64_t wait = maxWaitMs;
  if (!loop.timers.empty()) {
    int64_t nearest = loop.timers.front().dueMs;
    for (const Timer& t : loop.timers) nearest = std::min(nearest, t.dueMs);
    const int64_t untilTimer = std::max<int64_t>(0, nearest - monotonicMs());
    wait = wait < 0 ? untilTimer : std::min(wait, untilTimer);
  }
  const int n = epoll_wait(loop.epollFd, loop.fired.data(), static_cast<int>(loop.fired.size()),
                           static_cast<int>(std::min<int64_t>(wait, 1 << 30)));
  if (n < 0 && errno != EINTR) raiseOs("epoll_wait");
  int ran = 0;
  for (int i = 0; i < n; ++i) {
    const int fd = loop.fired[i].data.fd;
    const uint32_t bits = loop.fired[i].events;
    // A hang-up or error is delivered to whichever side listens, so the owner reads the cause.
    const bool hup = bits & (EPOLLERR | EPOLLHUP | EPOLLRDHUP);
    // Checked before each callback: an earlier one may have closed or reused this descriptor.
    if (fd < std::ssize(loop.events) && (loop.events[fd].mask & Readable) &&
        (bits & EPOLLIN || hup)) {
      FileProc proc = loop.events[fd].onReadable;
      proc(fd, Readable);
      ++ran;
    }
    if (fd < std::ssize(loop.events) && (loop.events[fd].mask & Writable) &&
        (bits & EPOLLOUT || bits & (EPOLLERR | EPOLLHUP))) {
      FileProc proc = loop.events[fd].onWritable;
      proc(fd, Writable);
      ++ran;
    }
  }
  if (n == static_cast<int>(loop.fired.size())) loop.fired.resize(loop.fired.size() * 2);
  if (!loop.timers.empty()) {
    const int64_t now = monotonicMs();
    std::vector<Timer> due;
    for (size_t i = 0; i < loop.timers.size();) {
      if (loop.timers[i].dueMs <= now) {
        due.push_back(std::move(loop.timers[i]));
        loop.timers[i] = std::move(loop.timers.back());
        loop.timers.pop_back();
      } else {
        ++i;
      }
    }
    for (Timer& t : due) {
      const int64_t again = t.proc();
      ++ran;
      if (again >= 0) loop.timers.push_back({monotonicMs() + again, std::move(t.proc)});
    }
  }
  return ran;
}

void runLoop(EventLoop& loop) {
  while (!loop.stop) processEvents(loop);
}

}  // namespace murex::http
