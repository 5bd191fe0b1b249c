#include "file_io.h"

#include <unistd.h>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace zentra::report {

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

// Checks the size first so an unexpectedly large file is refused, not loaded.
std::string ReadWholeFile(const std::filesystem::path& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw std::runtime_error("Не удалось открыть файл \"" + path.string() +
                                 "\": " + ec.message());
    if (size > kMaxDocumentFileSize)
        throw std::runtime_error("Файл \"" + path.string() + "\" слишком велик (" +
                                 std::to_string(size) + " байт)");
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) throw std::runtime_error("Не удалось открыть файл \"" + path.string() + "\"");
    std::string bytes(static_cast<size_t>(size), '\0');
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f.get());
    if (got != bytes.size() || std::fgetc(f.get()) != EOF)
        throw std::runtime_error("Файл \"" + path.string() + "\" изменился во время чтения");
    return bytes;
}

// The temporary name carries the process id so concurrent saves do not collide.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path tmp = path;
    tmp += ".tmp" + std::to_string(::getpid());
    {
        FilePtr f(std::fopen(tmp.c_str(), "wb"));
        if (!f) throw std::runtime_error("Не удалось создать файл \"" + tmp.string() + "\"");
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
        ok = std::fflush(f.get()) == 0 && ok;
        ok = ::fsync(::fileno(f.get())) == 0 && ok;
        if (!ok) {
            f.reset();
            std::filesystem::remove(tmp);
            throw std::runtime_error("Ошибка записи файла \"" + tmp.string() + "\"");
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::filesystem::remove(tmp);
        throw std::runtime_error("Не удалось сохранить файл \"" + path.string() +
                                 "\": " + ec.message());
    }
}

}  // namespace zentra::report
