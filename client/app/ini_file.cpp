#include "ini_file.h"

#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>

#include "text/cp1251.h"

namespace zentra::app {
namespace {

std::string trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return std::string(s.substr(a, b - a));
}

}  // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string data = ss.str();
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(std::move(line));
        start = end + 1;
    }
}

int IniFile::findSection(const std::string& sectionCp) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string t = trim(lines_[i]);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']' &&
            text::equalsNoCase(trim(std::string_view(t).substr(1, t.size() - 2)), sectionCp)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int IniFile::findKey(int sectionLine, const std::string& keyCp) const {
    for (size_t i = static_cast<size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
        const std::string t = trim(lines_[i]);
        if (!t.empty() && t.front() == '[') break;
        if (t.empty() || t.front() == ';') continue;
        const size_t eq = t.find('=');
        if (eq != std::string::npos && text::equalsNoCase(trim(t.substr(0, eq)), keyCp)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string IniFile::read(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const {
    std::string sectionCp, keyCp;
    try {
        sectionCp = text::utf8ToCp1251(section);
        keyCp = text::utf8ToCp1251(key);
    } catch (const text::EncodingError&) {
        return std::string(defaultValue);  // such a name cannot be in the file
    }
    const int s = findSection(sectionCp);
    if (s < 0) return std::string(defaultValue);
    const int k = findKey(s, keyCp);
    if (k < 0) return std::string(defaultValue);
    const std::string& line = lines_[static_cast<size_t>(k)];
    return text::cp1251ToUtf8(trim(line.substr(line.find('=') + 1)));
}

void IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string sectionCp = text::utf8ToCp1251(section);
    const std::string keyCp = text::utf8ToCp1251(key);
    const std::string valueCp = text::utf8ToCp1251(value);
    for (char c : valueCp) {
        if (c == '\r' || c == '\n') throw text::EncodingError("Значение параметра содержит перевод строки");
    }
    const std::string line = keyCp + "=" + valueCp;
    int s = findSection(sectionCp);
    if (s < 0) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.push_back("");
        lines_.push_back("[" + sectionCp + "]");
        lines_.push_back(line);
        return;
    }
    const int k = findKey(s, keyCp);
    if (k >= 0) {
        lines_[static_cast<size_t>(k)] = line;
        return;
    }
    // After the section's last non-blank line.
    size_t at = static_cast<size_t>(s) + 1;
    for (size_t i = at; i < lines_.size(); ++i) {
        const std::string t = trim(lines_[i]);
        if (!t.empty() && t.front() == '[') break;
        if (!t.empty()) at = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<long>(at), line);
}

void IniFile::save() const {
    std::string data;
    for (const auto& l : lines_) data += l + "\r\n";
    const std::filesystem::path tmp = path_.string() + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            throw std::runtime_error("Не удалось записать файл " + path_.string());
        }
    }
    std::filesystem::rename(tmp, path_);
}

std::string readIni(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, std::string_view defaultValue) {
    return IniFile(file).read(section, key, defaultValue);
}

void writeIni(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value) {
    IniFile ini(file);
    ini.write(section, key, value);
    ini.save();
}

}  // namespace zentra::app
