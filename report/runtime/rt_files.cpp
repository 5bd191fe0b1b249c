// File routines. Scripts get the library's own handle numbers, looked up in a table of the files
// this library opened, so that no script can reach standard input or a descriptor of the
// database engine by passing a small number.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "rt_support.h"
#include "runtime_abi.h"
#include "text/cp1251.h"

namespace kelvo::runtime {
namespace {

struct Files {
    std::mutex mutex;
    std::map<int32_t, int> open;  // handle -> descriptor
};
Files& files() {
    static Files f;
    return f;
}

std::string systemError() {
    return foreignMessage(std::strerror(errno));
}

// Names come as cp1251 texts and become UTF-8 file names, the encoding of Linux file systems.
// Backslashes in names written for the original platform are separators here too.
std::string pathOf(const char* name) {
    std::string p = zentra::text::cp1251ToUtf8(arg(name));
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    if (p.empty()) throw RtError(cp("Не задано имя файла"));
    return p;
}

int32_t remember(int fd) {
    Files& f = files();
    std::lock_guard lock(f.mutex);
    const int32_t h = newHandle();
    f.open[h] = fd;
    return h;
}

int descriptorOf(int32_t handle) {
    Files& f = files();
    std::lock_guard lock(f.mutex);
    auto it = f.open.find(handle);
    if (it == f.open.end()) {
        throw RtError(cp("Неверный дескриптор файла: ") + std::to_string(handle));
    }
    return it->second;
}

// At most the length of the text passed: the machine hands over a copy of the script's text, so
// that is all the memory behind Buffer.
size_t usableLength(const char* buffer, int32_t count) {
    if (count < 0) throw RtError(cp("Отрицательное число байтов: ") + std::to_string(count));
    const size_t len = buffer ? std::strlen(buffer) : 0;
    return static_cast<size_t>(count) < len ? static_cast<size_t>(count) : len;
}

}  // namespace

void endRunFiles() {
    Files& f = files();
    std::lock_guard lock(f.mutex);
    for (auto& [h, fd] : f.open)
        ::close(fd);
    f.open.clear();
}

}  // namespace kelvo::runtime

using namespace kelvo::runtime;

// Mode: the low two bits as in the original file routines, 0 read, 1 write, 2 read and write;
// the sharing bits above them have no meaning here and are ignored.
KR_EXPORT int32_t FileOpen(const char* FileName, int32_t Mode) {
    return guarded<int32_t>(-1, [&] {
        const std::string path = pathOf(FileName);
        int flags = O_RDONLY;
        switch (Mode & 3) {
            case 0:
                flags = O_RDONLY;
                break;
            case 1:
                flags = O_WRONLY;
                break;
            case 2:
                flags = O_RDWR;
                break;
            default:
                throw RtError(cp("FileOpen: неверный режим ") + std::to_string(Mode));
        }
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd < 0) {
            throw RtError(cp("Не удалось открыть файл \"") + std::string(arg(FileName)) +
                          "\": " + systemError());
        }
        return remember(fd);
    });
}

KR_EXPORT int32_t FileCreate(const char* FileName) {
    return guarded<int32_t>(-1, [&] {
        const std::string path = pathOf(FileName);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            throw RtError(cp("Не удалось создать файл \"") + std::string(arg(FileName)) +
                          "\": " + systemError());
        }
        return remember(fd);
    });
}

KR_EXPORT void FileClose(int32_t Handle) {
    guardedVoid([&] {
        Files& f = files();
        std::lock_guard lock(f.mutex);
        auto it = f.open.find(Handle);
        if (it == f.open.end()) {
            throw RtError(cp("Неверный дескриптор файла: ") + std::to_string(Handle));
        }
        ::close(it->second);
        f.open.erase(it);
    });
}

KR_EXPORT int32_t FileSeek(int32_t Handle, int32_t Offset, int32_t Origin) {
    return guarded<int32_t>(-1, [&] {
        const int fd = descriptorOf(Handle);
        int whence = SEEK_SET;
        switch (Origin) {
            case 0:
                whence = SEEK_SET;
                break;
            case 1:
                whence = SEEK_CUR;
                break;
            case 2:
                whence = SEEK_END;
                break;
            default:
                throw RtError(cp("FileSeek: неверная точка отсчёта ") + std::to_string(Origin));
        }
        const off_t pos = ::lseek(fd, Offset, whence);
        if (pos < 0) throw RtError(cp("Ошибка позиционирования в файле: ") + systemError());
        if (pos > INT32_MAX) throw RtError(cp("Позиция в файле больше 2 ГБ"));
        return static_cast<int32_t>(pos);
    });
}

// The bytes land in the machine's copy of the script's text and are gone when the call ends:
// through this declaration file data cannot come back to the script. The count of bytes read
// still tells the script how much the file held.
KR_EXPORT int32_t FileRead(int32_t Handle, char* Buffer, int32_t Count) {
    return guarded<int32_t>(-1, [&] {
        const int fd = descriptorOf(Handle);
        const size_t n = usableLength(Buffer, Count);
        if (n == 0) return int32_t{0};
        const ssize_t got = ::read(fd, Buffer, n);
        if (got < 0) throw RtError(cp("Ошибка чтения файла: ") + systemError());
        return static_cast<int32_t>(got);
    });
}

KR_EXPORT int32_t FileWrite(int32_t Handle, const char* Buffer, int32_t Count) {
    return guarded<int32_t>(-1, [&] {
        const int fd = descriptorOf(Handle);
        const size_t n = usableLength(Buffer, Count);
        size_t done = 0;
        while (done < n) {
            const ssize_t put = ::write(fd, Buffer + done, n - done);
            if (put < 0) {
                if (errno == EINTR) continue;
                throw RtError(cp("Ошибка записи в файл: ") + systemError());
            }
            done += static_cast<size_t>(put);
        }
        return static_cast<int32_t>(done);
    });
}

// False (without an error) when there is nothing to delete or it cannot be deleted: the result
// is the answer, as scripts use it in conditions.
KR_EXPORT uint8_t FileDelete(const char* FileName) {
    return guarded<uint8_t>(0, [&] {
        const std::string path = pathOf(FileName);
        return static_cast<uint8_t>(::unlink(path.c_str()) == 0 ? 1 : 0);
    });
}

KR_EXPORT uint8_t FileExists(const char* FileName) {
    return guarded<uint8_t>(0, [&] {
        if (arg(FileName).empty()) return uint8_t{0};
        struct stat st;
        return static_cast<uint8_t>(::stat(pathOf(FileName).c_str(), &st) == 0 &&
                                    S_ISREG(st.st_mode));
    });
}
