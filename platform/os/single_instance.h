// One running copy per program folder: an exclusive flock() on a lock file, held for the life
// of the process (the kernel drops it when the process ends, however it ends).
#pragma once

#include <filesystem>

namespace zentra::os {

class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock; false when another holds it. A lock file that
    // cannot be created at all counts as held, so the program still starts.
    bool acquire(const std::filesystem::path& lockFile);
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace zentra::os
