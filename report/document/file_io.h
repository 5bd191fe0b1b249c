// Whole-file reading with a size limit, and saving through a temporary file that is renamed
// into place, so a failed save never leaves a half-written document behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace zentra::report {

// Report and grid files larger than this are refused before anything is read.
inline constexpr size_t kMaxDocumentFileSize = 256u * 1024 * 1024;

// Reads the whole file; throws std::runtime_error (UTF-8 message) when it cannot.
std::string ReadWholeFile(const std::filesystem::path& path);

// Writes the bytes to a temporary file beside the target and renames it over the target.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

}  // namespace zentra::report
