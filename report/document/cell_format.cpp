#include "cell_format.h"

#include <cassert>
#include <functional>
#include <stdexcept>

#include "text/cp1251.h"

namespace zentra::report {

// Attribute-wise equality, DataFormat compared byte for byte.
bool TCellFormat::SameAttributes(const TCellFormat& o) const {
    return Frames == o.Frames && FillColor == o.FillColor && FontIndex == o.FontIndex &&
           FontSize == o.FontSize && FontStyle == o.FontStyle && FontColor == o.FontColor &&
           HorzAlign == o.HorzAlign && VertAlign == o.VertAlign && FrameColor == o.FrameColor &&
           Options == o.Options && Angle == o.Angle && DataFormat == o.DataFormat;
}

// Attributes only: the copy keeps its own RefCount and Index.
void TCellFormat::CopyAttributes(const TCellFormat& from) {
    Frames = from.Frames;
    FillColor = from.FillColor;
    FontIndex = from.FontIndex;
    FontSize = from.FontSize;
    FontStyle = from.FontStyle;
    FontColor = from.FontColor;
    HorzAlign = from.HorzAlign;
    VertAlign = from.VertAlign;
    FrameColor = from.FrameColor;
    Options = from.Options;
    Angle = from.Angle;
    DataFormat = from.DataFormat;
}

// A new list holds its default format only.
TCellFormatList::TCellFormatList() {
    Reset();
}

// Mixes every attribute into one hash.
size_t TCellFormatList::HashOf(const TCellFormat& f) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    mix(f.Frames);
    mix(f.FillColor);
    mix(static_cast<uint16_t>(f.FontIndex));
    mix(static_cast<uint16_t>(f.FontSize));
    mix(f.FontStyle);
    mix(f.FontColor);
    mix(f.HorzAlign);
    mix(f.VertAlign);
    mix(f.FrameColor);
    mix(f.Options);
    mix(static_cast<uint16_t>(f.Angle));
    mix(std::hash<std::string>{}(f.DataFormat));
    return static_cast<size_t>(h);
}

// Appends a copy of the attributes at the end of the list.
TCellFormat& TCellFormatList::Append(const TCellFormat& attrs) {
    auto f = std::make_unique<TCellFormat>();
    f->CopyAttributes(attrs);
    f->Index = static_cast<int>(items_.size());
    byHash_.emplace(HashOf(*f), f.get());
    items_.push_back(std::move(f));
    return *items_.back();
}

// Lowest-index format with equal attributes other than `except`.
TCellFormat* TCellFormatList::FindEqual(const TCellFormat& attrs, const TCellFormat* except) const {
    TCellFormat* best = nullptr;
    auto [lo, hi] = byHash_.equal_range(HashOf(attrs));
    for (auto it = lo; it != hi; ++it) {
        TCellFormat* f = it->second;
        if (f == except || !f->SameAttributes(attrs)) continue;
        if (!best || f->Index < best->Index) best = f;
    }
    return best;
}

// Drops one hash entry of the format.
void TCellFormatList::Unindex(const TCellFormat& f, size_t hash) {
    auto [lo, hi] = byHash_.equal_range(hash);
    for (auto it = lo; it != hi; ++it) {
        if (it->second == &f) {
            byHash_.erase(it);
            return;
        }
    }
    assert(false && "format missing from its hash index");
}

// Removes an unused, non-default format and renumbers the formats after it.
void TCellFormatList::Remove(TCellFormat& f) {
    assert(f.Index > 0 && f.RefCount == 0);
    assert(items_[f.Index].get() == &f);
    size_t at = static_cast<size_t>(f.Index);
    Unindex(f, HashOf(f));
    items_.erase(items_.begin() + static_cast<ptrdiff_t>(at));
    for (size_t i = at; i < items_.size(); ++i)
        items_[i]->Index = static_cast<int>(i);
}

// One pass that keeps every used format and the default one.
void TCellFormatList::RemoveUnused() {
    std::vector<std::unique_ptr<TCellFormat>> kept;
    kept.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i == 0 || items_[i]->RefCount > 0) {
            items_[i]->Index = static_cast<int>(kept.size());
            kept.push_back(std::move(items_[i]));
        }
    }
    items_ = std::move(kept);
    byHash_.clear();
    for (auto& f : items_)
        byHash_.emplace(HashOf(*f), f.get());
}

// Moves the format to the hash slot of its changed attributes.
void TCellFormatList::Rehash(TCellFormat& f, const TCellFormat& oldAttrs) {
    Unindex(f, HashOf(oldAttrs));
    byHash_.emplace(HashOf(f), &f);
}

// Back to one fresh default format.
void TCellFormatList::Reset() {
    items_.clear();
    byHash_.clear();
    Append(TCellFormat{});
}

// Takes a list as read from a file, duplicates and unused formats included.
void TCellFormatList::Assign(const std::vector<TCellFormat>& formats) {
    assert(!formats.empty());
    items_.clear();
    byHash_.clear();
    for (const TCellFormat& f : formats)
        Append(f);
}

// Format indexes of the source stay valid in this list, which holds only its default before.
void TCellFormatList::CopyFrom(const TCellFormatList& source) {
    for (size_t i = 1; i < source.Count(); ++i)
        Append(source.At(i));
    TCellFormat old = Default();
    Default().CopyAttributes(source.At(0));
    Rehash(Default(), old);
}

// Spaces and control bytes are trimmed; letters upper-cased by the cp1251 rules.
std::string NormaliseFontName(std::string_view name) {
    size_t b = 0, e = name.size();
    while (b < e && static_cast<unsigned char>(name[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(name[e - 1]) <= ' ')
        --e;
    return zentra::text::upperCp1251(name.substr(b, e - b));
}

// The name, or the stand-in font for indexes outside the list.
std::string TFontList::NameOf(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= names_.size()) return "ARIAL";
    return names_[static_cast<size_t>(index)];
}

// Looks the normalised name up, appending it when absent.
int TFontList::IndexOf(std::string_view name) {
    std::string key = NormaliseFontName(name);
    if (key.size() > 65535) throw std::length_error("Имя шрифта длиннее 65535 байт");
    auto it = index_.find(key);
    if (it != index_.end()) return it->second;
    if (names_.size() >= 32767)
        throw std::length_error("Слишком много шрифтов в печатной форме (не более 32767)");
    int i = static_cast<int>(names_.size());
    names_.push_back(key);
    index_.emplace(std::move(key), i);
    return i;
}

// Takes the names as read; the first of equal names answers look-ups.
void TFontList::Assign(std::vector<std::string> names) {
    names_ = std::move(names);
    index_.clear();
    for (size_t i = 0; i < names_.size(); ++i)
        index_.emplace(names_[i], static_cast<int>(i));
}

// The list a new grid starts with.
void TFontList::Reset() {
    Assign({"ARIAL"});
}

}  // namespace zentra::report
