// Serialises tests that need the backend's fixed port (8765) across every test run on this
// machine, not only within one ctest run: held from construction to destruction. No Qt.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qv::test {

class PortLock {
public:
    PortLock() {
        fd_ = ::open("/tmp/quorvia-test-port-8765.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~PortLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace qv::test
