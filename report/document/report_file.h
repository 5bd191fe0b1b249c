// The report file (".rpt"): document parameters, script, dialog description, data groups and
// the print form (a print grid stream). The current layout is read and written; the older one,
// whose groups carry a cell list instead of an area, is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::report {

// One data group as the file keeps it; the area is 1-based and inclusive.
struct TDataGroupRecord {
    std::string Parameters;  // "key=value" lines, CR LF after each, one key EVENT_NAME
    std::string Name;
    int32_t Left = 1, Top = 1, Right = 1, Bottom = 1;
    bool operator==(const TDataGroupRecord&) const = default;
};

// The file's content. Texts are cp1251 with CR LF after every line, kept byte for byte.
struct TReportFile {
    std::string Parameters;
    std::string Script;
    std::string Dialog;
    std::vector<TDataGroupRecord> Groups;
    std::string PrintForm;  // print grid stream bytes (empty when the report has none)
    bool operator==(const TReportFile&) const = default;
};

// Writes the current layout.
std::string SaveReportStream(const TReportFile& report);
// Reads either layout; the print form is checked by loading it into a scratch grid.
// Fails with FileFormatError and changes nothing when the bytes are damaged.
TReportFile LoadReportStream(std::string_view bytes);
void SaveReportFile(const TReportFile& report, const std::filesystem::path& path);
// Replaces `report` only when the whole file was read.
void LoadReportFile(TReportFile& report, const std::filesystem::path& path);

// Joins lines into a text the way the file stores it (CR LF after every line).
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace zentra::report
