#include "report_file.h"

#include <algorithm>
#include <limits>

#include "binary_io.h"
#include "file_io.h"
#include "grid_stream.h"
#include "kelvo_grid.h"
#include "text/cp1251.h"

namespace zentra::report {

namespace {

constexpr std::string_view kMagicCurrent = "Kelvo_REPORT(4.2)";
constexpr std::string_view kMagicOlder = "PD#RMX#Kelvo";
constexpr size_t kSectionHeaderSize = 264;

// Section header: name length, 255 name bytes (zero padded), size, index.
void writeSection(ByteWriter& w, const char* utf8Name, size_t size, int index) {
    std::string name = text::utf8ToCp1251(utf8Name);
    w.u8(static_cast<uint8_t>(name.size()));
    name.resize(255, '\0');
    w.bytes(name);
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw FileFormatError("Раздел отчёта слишком велик для сохранения");
    w.i32(static_cast<int32_t>(size));
    w.i32(index);
}

// Readers take the sections in their fixed order; names and indexes are not checked.
int32_t readSectionSize(ByteReader& r) {
    std::string_view h = r.bytes(kSectionHeaderSize);
    ByteReader hr(h);
    hr.seek(256);
    int32_t size = hr.i32();
    if (size < 0)
        throwDamaged("отрицательный размер раздела отчёта (" + std::to_string(size) + ")");
    return size;
}

std::string readSectionText(ByteReader& r) {
    int32_t size = readSectionSize(r);
    return std::string(r.bytes(static_cast<size_t>(size)));
}

}  // namespace

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

std::string SaveReportStream(const TReportFile& rep) {
    ByteWriter w;
    w.u32(static_cast<uint32_t>(kMagicCurrent.size()));
    w.bytes(kMagicCurrent);
    writeSection(w, "Параметы документа", rep.Parameters.size(), 0);
    w.bytes(rep.Parameters);
    writeSection(w, "Скрипт", rep.Script.size(), 1);
    w.bytes(rep.Script);
    writeSection(w, "Диалоговое окно", rep.Dialog.size(), 2);
    w.bytes(rep.Dialog);
    writeSection(w, "Группы", rep.Groups.size(), 3);
    for (const TDataGroupRecord& g : rep.Groups) {
        w.longText(g.Parameters);
        w.longText(g.Name);
        w.i32(g.Left);
        w.i32(g.Top);
        w.i32(g.Right);
        w.i32(g.Bottom);
    }
    writeSection(w, "Печатная форма", rep.PrintForm.size(), 4);
    w.bytes(rep.PrintForm);
    return w.take();
}

TReportFile LoadReportStream(std::string_view bytes) {
    ByteReader r(bytes);
    if (r.remaining() < 4) throw FileFormatError(kUnknownFormatMessage);
    uint32_t magicLen = r.u32();
    bool older = false;
    if (magicLen == kMagicCurrent.size() && r.remaining() >= magicLen &&
        r.bytes(magicLen) == kMagicCurrent) {
        older = false;
    } else {
        r.seek(4);
        if (magicLen == kMagicOlder.size() && r.remaining() >= magicLen &&
            r.bytes(magicLen) == kMagicOlder)
            older = true;
        else
            throw FileFormatError(kUnknownFormatMessage);
    }
    TReportFile rep;
    rep.Parameters = readSectionText(r);
    rep.Script = readSectionText(r);
    rep.Dialog = readSectionText(r);
    int32_t groups = readSectionSize(r);
    if (static_cast<uint64_t>(groups) * (older ? 12 : 24) > r.remaining())
        throwDamaged("неверное число групп (" + std::to_string(groups) + ")");
    rep.Groups.reserve(static_cast<size_t>(groups));
    for (int32_t i = 0; i < groups; ++i) {
        TDataGroupRecord g;
        g.Parameters = r.longText();
        g.Name = r.longText();
        if (!older) {
            g.Left = r.i32();
            g.Top = r.i32();
            g.Right = r.i32();
            g.Bottom = r.i32();
        } else {
            // The older layout lists cells (0-based); the area is their bounding box, 1-based.
            int32_t last = r.i32();
            if (last < -1 || static_cast<uint64_t>(int64_t(last) + 1) * 8 > r.remaining())
                throwDamaged("неверное число ячеек группы (" + std::to_string(last) + ")");
            int64_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
            for (int32_t k = 0; k <= last; ++k) {
                int64_t c = r.i32(), row = r.i32();
                left = std::min(left, c);
                top = std::min(top, row);
                right = std::max(right, c);
                bottom = std::max(bottom, row);
            }
            if (last < 0) {
                g.Left = g.Top = g.Right = g.Bottom = 1;
            } else {
                auto oneBased = [](int64_t v) {
                    return static_cast<int32_t>(std::clamp<int64_t>(v + 1, 1, INT32_MAX));
                };
                g.Left = oneBased(left);
                g.Top = oneBased(top);
                g.Right = oneBased(right);
                g.Bottom = oneBased(bottom);
            }
        }
        rep.Groups.push_back(std::move(g));
    }
    rep.PrintForm = readSectionText(r);
    if (!rep.PrintForm.empty()) {
        TKelvoGrid scratch;
        LoadGridStream(scratch, rep.PrintForm);
    }
    return rep;
}

void SaveReportFile(const TReportFile& report, const std::filesystem::path& path) {
    WriteFileAtomic(path, SaveReportStream(report));
}

void LoadReportFile(TReportFile& report, const std::filesystem::path& path) {
    TReportFile loaded = LoadReportStream(ReadWholeFile(path));
    report = std::move(loaded);
}

}  // namespace zentra::report
