#include "runtime_data.h"

#include <cassert>
#include <charconv>
#include <cmath>

#include "text/cp1251.h"

namespace zentra::script {

// Gives the value the content a fresh cell of type t starts with.
void Value::reset(std::uint8_t t) {
    type = t;
    num = 0;
    text.clear();
    if (t >= kTypeInteger && t <= kTypeBoolean) {
        store = Store::Number;
    } else if (t == kTypeText || t == kTypeVariant) {
        store = Store::Text;
    } else {
        store = Store::None;
    }
}

// General format with 15 significant digits; exponents written "E20" / "E-7".
std::string formatNumber(double v, char decimalSeparator) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    const auto e = s.find('e');
    std::string exponent;
    if (e != std::string::npos) {
        int ex = 0;
        std::from_chars(s.data() + e + 1 + (s[e + 1] == '+'), s.data() + s.size(), ex);
        exponent = "E" + std::to_string(ex);
        s.resize(e);
    }
    for (auto& c : s) {
        if (c == '.') c = decimalSeparator;
    }
    return s + exponent;
}

// Literal numbers as the compiler writes them: optional '-', digits, optional fraction.
std::optional<double> parseLiteralNumber(std::string_view s) {
    if (s.empty()) return std::nullopt;
    if (s.front() == '+') s.remove_prefix(1);
    double v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

// Numbers held in texts: tolerant of blanks and of either decimal separator.
std::optional<double> parseTextNumber(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (s.size() > 400) return std::nullopt;
    std::string t(s);
    for (auto& c : t) {
        if (c == ',') c = '.';
    }
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    double v = 0;
    auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || res.ec != std::errc() || res.ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

// The value as the user sees it.
std::string valueText(const Value& v, char decimalSeparator) {
    switch (v.store) {
        case Store::Number:
            return formatNumber(v.num, decimalSeparator);
        case Store::Text:
            return v.text;
        case Store::None:
            break;
    }
    return {};
}

// A new cell with the default content of its type.
int RunTimeData::addCell(std::uint8_t type) {
    auto c = std::make_unique<DataCell>();
    c->declaredType = type;
    c->v.reset(type);
    if (type == kTypeVariant) c->v.flags |= kFlagVariant;
    cells_.push_back(std::move(c));
    return count() - 1;
}

// A new array cell without elements.
int RunTimeData::addArrayCell(std::uint8_t type) {
    const int i = addCell(type);
    cells_.back()->v.flags |= kFlagArray;
    return i;
}

// Sets a cell from literal text: numbers with '.', texts as they are.
void RunTimeData::setCellText(int index, std::string_view text) {
    assert(index >= 0 && index < count());
    Value& v = cell(index).v;
    if (v.type >= kTypeInteger && v.type <= kTypeBoolean) {
        v.setNumber(v.type, parseLiteralNumber(text).value_or(0));
    } else {
        v.setText(v.type, text);
    }
}

// The cell as text; arrays join their elements with ", ".
std::string RunTimeData::cellText(int index, char decimalSeparator) const {
    if (index < 0 || index >= count()) return {};
    const DataCell& c = cell(index);
    if (c.isArray()) {
        std::string out;
        for (std::size_t i = 0; i < c.nums.size(); ++i) {
            if (i) out += ", ";
            out += formatNumber(c.nums[i], decimalSeparator);
        }
        for (std::size_t i = 0; i < c.elems.size(); ++i) {
            if (i) out += ", ";
            out += valueText(c.elems[i], decimalSeparator);
        }
        return out;
    }
    return valueText(c.v, decimalSeparator);
}

// Frees every cell and name.
void RunTimeData::clear() {
    cells_.clear();
    names_.clear();
}

// Appends a name in capitals.
void RunTimeData::addName(std::string_view name) {
    names_.push_back(text::upperCp1251(name));
}

// Index of a name compared in capitals, -1 when absent.
int RunTimeData::indexOfName(std::string_view name) const {
    const std::string up = text::upperCp1251(name);
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == up) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace zentra::script
