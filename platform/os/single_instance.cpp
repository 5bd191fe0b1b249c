#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zentra::os {

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) close(fd_);
}

bool SingleInstanceLock::acquire(const std::filesystem::path& lockFile) {
    if (fd_ >= 0) return true;
    const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return true;  // a read-only folder must not stop the program
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

}  // namespace zentra::os
