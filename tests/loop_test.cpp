// loop: descriptor callbacks over a pipe, timers on the monotonic clock, the capacity check.
#include "error.h"
#include "http/loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>


using namespace murex;
using namespace murex::http;

namespace {

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
};

TEST(EventLoop, RunsReadAndWriteCallbacksOfReadyDescriptors) {
  EventLoop loop;
  initLoop(loop);
  Pipe p;
  std::string got;
  addFileEvent(loop, p.fds[0], Readable, [&](int fd, int mask) {
    EXPECT_EQ(mask, Readable);
    char buf[16];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<size_t>(n));
  });
  int writes = 0;
  addFileEvent(loop, p.fds[1], Writable, [&](int fd, int) {
    EXPECT_EQ(write(fd, "ab", 2), 2);
    ++writes;
    removeFileEvent(loop, fd, Writable);
  });
  EXPECT_EQ(loop.registered, 2);
  for (int i = 0; i < 5 && got.size() < 2; ++i) processEvents(loop, 1000);
  EXPECT_EQ(got, "ab");
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(loop.registered, 1);
  removeFileEvent(loop, p.fds[0], Readable);
  EXPECT_EQ(loop.registered, 0);
  closeLoop(loop);
}

TEST(EventLoop, SkipsTheCallbackOfADescriptorRemovedByAnEarlierOne) {
  EventLoop loop;
  initLoop(loop);
  Pipe a, b;
  ASSERT_EQ(write(a.fds[1], "x", 1), 1);
  ASSERT_EQ(write(b.fds[1], "x", 1), 1);
  int calls = 0;
  // Whichever runs first removes the other, so exactly one runs.
  addFileEvent(loop, a.fds[0], Readable, [&](int, int) {
    ++calls;
    removeFileEvent(loop, b.fds[0], Readable);
  });
  addFileEvent(loop, b.fds[0], Readable, [&](int, int) {
    ++calls;
    removeFileEvent(loop, a.fds[0], Readable);
  });
  processEvents(loop, 1000);
  EXPECT_EQ(calls, 1);
  closeLoop(loop);
}

TEST(EventLoop, RunsTimersWhenDueAndRepeatsThemOnRequest) {
  EventLoop loop;
  initLoop(loop);
  const int64_t start = monotonicMs();
  int runs = 0;
  int64_t firstAt = 0;
  addTimer(loop, 30, [&]() -> int64_t {
    if (++runs == 1) firstAt = monotonicMs();
    return runs < 3 ? 10 : -1;
  });
  while (runs < 3 && monotonicMs() - start < 2000) processEvents(loop);
  EXPECT_EQ(runs, 3);
  EXPECT_GE(firstAt - start, 30);
  EXPECT_TRUE(loop.timers.empty());
  closeLoop(loop);
}

TEST(EventLoop, RefusesADescriptorAtOrAboveItsCapacity) {
  EventLoop loop;
  initLoop(loop);
  loop.capacity = 8;
  std::string message;
  try {
    addFileEvent(loop, 8, Readable, [](int, int) {});
  } catch (const Error& e) {
    message = e.message;
  }
  EXPECT_EQ(message, "Maximum number of descriptors is exhausted!");
  EXPECT_EQ(loop.registered, 0);
  closeLoop(loop);
}

}  // namespace
