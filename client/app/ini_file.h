// "key=value" files with [sections], read and written the way Windows profile files are:
// sections and keys match case-insensitively (cp1251 rules, Cyrillic included), every other
// line is kept as it was, a missing file reads as empty, bytes on disk are cp1251 with CR LF.
// The API takes and returns UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::app {

class IniFile {
public:
    // Reads `path`; a missing file gives an empty document.
    explicit IniFile(std::filesystem::path path);

    std::string read(std::string_view section, std::string_view key,
                     std::string_view defaultValue = {}) const;
    // Changes or adds the key (adding the section at the end when needed). Throws
    // text::EncodingError for characters cp1251 cannot hold.
    void write(std::string_view section, std::string_view key, std::string_view value);
    // Writes the document to a temporary file beside the target and renames it into place.
    void save() const;

private:
    int findSection(const std::string& sectionCp) const;       // line index of "[...]", -1
    int findKey(int sectionLine, const std::string& keyCp) const;  // line index, -1
    std::filesystem::path path_;
    std::vector<std::string> lines_;  // cp1251, without line ends
};

// One call, one open-read(-write)-close, as the settings screens use them.
std::string readIni(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, std::string_view defaultValue = {});
void writeIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value);

}  // namespace zentra::app
