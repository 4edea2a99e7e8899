#pragma once
// Tests that play into the private server's silent sink take turns, across
// test programs, or their sound would mix.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace testsupport {

class SinkLock {
  public:
    SinkLock() {
        fd_ = open("/tmp/kestrune-quietsink.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~SinkLock() {
        if (fd_ >= 0) close(fd_);
    }
    SinkLock(const SinkLock&) = delete;
    SinkLock& operator=(const SinkLock&) = delete;

  private:
    int fd_ = -1;
};

} // namespace testsupport
