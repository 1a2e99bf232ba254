// loop: one epoll instance that runs callbacks for ready descriptors and due timers.
// Knows descriptors and time, nothing of HTTP. One thread; no callback may wait.
#pragma once

#include <sys/epoll.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace murex::http {

enum EventMask : int { None = 0, Readable = 1, Writable = 2 };
using FileProc = std::function<void(int fd, int mask)>;
using TimeProc = std::function<int64_t()>;  // ms until it runs again, or -1 to stop

struct FileEvent {
  int mask = None;
  FileProc onReadable, onWritable;
};
struct Timer {
  int64_t dueMs = 0;  // monotonic clock
  TimeProc proc;
};
struct EventLoop {
  int epollFd = -1;
  int64_t capacity = 0;           // descriptors from 0 to capacity - 1 can be registered
  std::vector<FileEvent> events;  // indexed by descriptor, grown on demand up to capacity
  std::vector<epoll_event> fired;
  std::vector<Timer> timers;
  int64_t registered = 0;  // descriptors with a mask other than None
  bool stop = false;
};

// Capacity is the process's open-descriptor limit; raises an OSError when epoll fails.
void initLoop(EventLoop& loop);
void closeLoop(EventLoop& loop);
// Adds mask to fd's interest; proc serves the added directions. Raises
// "Maximum number of descriptors is exhausted!" for fd at or above the capacity.
void addFileEvent(EventLoop& loop, int fd, int mask, FileProc proc);
// Removes mask from fd's interest; with nothing left fd leaves the epoll set.
void removeFileEvent(EventLoop& loop, int fd, int mask);
void addTimer(EventLoop& loop, int64_t delayMs, TimeProc proc);
int64_t monotonicMs();
// One wait of at most maxWaitMs (-1: until the nearest timer or forever), then every ready
// callback and due timer. Returns the number of callbacks run.
int processEvents(EventLoop& loop, int64_t maxWaitMs = -1);
void runLoop(EventLoop& loop);  // processEvents until loop.stop

}  // namespace murex::http
