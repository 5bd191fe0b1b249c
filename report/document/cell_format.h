// Cell formats shared between cells, the ordered format list with its default at index 0, and
// the grid's font name list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zentra::report {

// Colours are Windows colour values, blue byte highest: 0x00BBGGRR.
using TColor = uint32_t;

// Font style bits.
enum : uint8_t { kFontBold = 1, kFontItalic = 2, kFontUnderline = 4, kFontStrikeOut = 8 };
// Cell option bits.
enum : uint8_t { kOptWordWrap = 1, kOptCalcAfterBuild = 2, kOptFormulaFailed = 4 };

// The formatting attributes one SetFormatProperty call changes.
enum class EFormatKind : int {
    FillColor = 0,
    FontName = 1,
    FontSize = 2,
    FontStyle = 3,
    FontColor = 4,
    HorzAlign = 5,
    VertAlign = 6,
    Frames = 7,
    FrameColor = 8,
    Options = 9,
    Angle = 10,
    DataFormat = 11,
};

// One shared format. RefCount and Index are bookkeeping of the list, not attributes.
struct TCellFormat {
    uint32_t Frames = 0;
    TColor FillColor = 0xFFFFFF;
    int16_t FontIndex = 0;
    int16_t FontSize = 9;
    uint8_t FontStyle = 0;
    TColor FontColor = 0;
    uint8_t HorzAlign = 0;
    uint8_t VertAlign = 0;
    TColor FrameColor = 0;
    uint8_t Options = 0;
    int16_t Angle = 0;
    std::string DataFormat;

    int32_t RefCount = 0;
    int Index = -1;  // position in the owning list, kept in step by the list

    // Equal in every attribute (RefCount and Index are not attributes).
    bool SameAttributes(const TCellFormat& o) const;
    // Copies the attributes only.
    void CopyAttributes(const TCellFormat& from);
};

// Ordered, owning list of formats. Index 0 is the default format and is never removed. An index
// by attribute hash makes finding an equal format cheap however long the list grows.
class TCellFormatList {
  public:
    TCellFormatList();
    TCellFormatList(const TCellFormatList&) = delete;
    TCellFormatList& operator=(const TCellFormatList&) = delete;

    size_t Count() const { return items_.size(); }
    TCellFormat& At(size_t i) { return *items_[i]; }
    const TCellFormat& At(size_t i) const { return *items_[i]; }
    TCellFormat& Default() { return *items_[0]; }

    // Appends a copy of the attributes; answers the new format.
    TCellFormat& Append(const TCellFormat& attrs);
    // First format in list order with these attributes, other than `except`; null when none.
    TCellFormat* FindEqual(const TCellFormat& attrs, const TCellFormat* except) const;
    // Removes a format that no cell uses; the default format stays.
    void Remove(TCellFormat& f);
    // Removes every unused format except the default one.
    void RemoveUnused();
    // Call after changing the attributes of a format in place.
    void Rehash(TCellFormat& f, const TCellFormat& oldAttrs);
    // Back to one default format.
    void Reset();
    // Replaces the list by these formats, the first becoming the default (at least one).
    void Assign(const std::vector<TCellFormat>& formats);
    // Appends copies of source formats 1.. and copies the source default over this default.
    void CopyFrom(const TCellFormatList& source);

  private:
    static size_t HashOf(const TCellFormat& f);
    void Unindex(const TCellFormat& f, size_t hash);
    std::vector<std::unique_ptr<TCellFormat>> items_;
    std::unordered_multimap<size_t, TCellFormat*> byHash_;
};

// Font names, trimmed and upper-cased, never removed; a format refers to one by index.
class TFontList {
  public:
    TFontList() { Reset(); }
    size_t Count() const { return names_.size(); }
    const std::string& At(size_t i) const { return names_[i]; }
    const std::vector<std::string>& Names() const { return names_; }
    // Name of a font index, or "ARIAL" for an index outside the list.
    std::string NameOf(int index) const;
    // Index of the name (trimmed, upper-cased), appending it when absent.
    int IndexOf(std::string_view name);
    // Replaces the list as read from a file (names kept byte for byte).
    void Assign(std::vector<std::string> names);
    void Reset();

  private:
    std::vector<std::string> names_;
    std::unordered_map<std::string, int> index_;
};

// Trims spaces and control characters at both ends and upper-cases (cp1251 rules).
std::string NormaliseFontName(std::string_view name);

}  // namespace zentra::report
