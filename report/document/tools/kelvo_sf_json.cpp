#include "kelvo_sf_json.h"

#include <limits>
#include <stdexcept>

#include "document/grid_stream.h"
#include "document/kelvo_grid.h"
#include "document/report_file.h"
#include "text/cp1251.h"

namespace zentra::report {

namespace {

std::string toUtf8(std::string_view cp1251) {
    return text::cp1251ToUtf8(cp1251);
}

// Reads an optional key with a default; a key of the wrong type names itself in the error.
template <class T>
T get(const Json& j, const char* key, T def) {
    if (!j.contains(key)) return def;
    try {
        return j.at(key).get<T>();
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("JSON: ключ \"") + key + "\": " + e.what());
    }
}

// A UTF-8 text of the JSON turned into cp1251, refusing characters the code page lacks.
std::string text1251(const Json& j, const char* key) {
    std::string utf8 = get<std::string>(j, key, "");
    try {
        return text::utf8ToCp1251(utf8);
    } catch (const text::EncodingError& e) {
        throw std::runtime_error(std::string("JSON: ключ \"") + key + "\": " + e.what());
    }
}

template <class T>
T checkedInt(const Json& j, const char* key, T def) {
    if (j.contains(key) && !j.at(key).is_number_integer())
        throw std::runtime_error(std::string("JSON: ключ \"") + key + "\" — ожидается целое число");
    long long v = get<long long>(j, key, static_cast<long long>(def));
    if (v < static_cast<long long>(std::numeric_limits<T>::min()) ||
        v > static_cast<long long>(std::numeric_limits<T>::max()))
        throw std::runtime_error(std::string("JSON: ключ \"") + key +
                                 "\" вне диапазона: " + std::to_string(v));
    return static_cast<T>(v);
}

// One array element as an integer of type T, refusing values the type cannot hold.
template <class T>
T element(const Json& v, const char* what) {
    if (!v.is_number_integer())
        throw std::runtime_error(std::string("JSON: \"") + what + "\" — ожидается целое число");
    long long x = v.get<long long>();
    if (x < static_cast<long long>(std::numeric_limits<T>::min()) ||
        x > static_cast<long long>(std::numeric_limits<T>::max()))
        throw std::runtime_error(std::string("JSON: \"") + what +
                                 "\" вне диапазона: " + std::to_string(x));
    return static_cast<T>(x);
}

Json formatToJson(const TCellFormat& f) {
    return Json{{"fillColor", f.FillColor},   {"fontIndex", f.FontIndex},
                {"fontSize", f.FontSize},     {"fontStyle", f.FontStyle},
                {"fontColor", f.FontColor},   {"horzAlign", f.HorzAlign},
                {"vertAlign", f.VertAlign},   {"frames", f.Frames},
                {"frameColor", f.FrameColor}, {"options", f.Options},
                {"angle", f.Angle},           {"dataFormat", toUtf8(f.DataFormat)}};
}

TCellFormat formatFromJson(const Json& j) {
    TCellFormat f;
    f.FillColor = checkedInt<uint32_t>(j, "fillColor", f.FillColor);
    f.FontIndex = checkedInt<int16_t>(j, "fontIndex", f.FontIndex);
    f.FontSize = checkedInt<int16_t>(j, "fontSize", f.FontSize);
    f.FontStyle = checkedInt<uint8_t>(j, "fontStyle", f.FontStyle);
    f.FontColor = checkedInt<uint32_t>(j, "fontColor", f.FontColor);
    f.HorzAlign = checkedInt<uint8_t>(j, "horzAlign", f.HorzAlign);
    f.VertAlign = checkedInt<uint8_t>(j, "vertAlign", f.VertAlign);
    f.Frames = checkedInt<uint32_t>(j, "frames", f.Frames);
    f.FrameColor = checkedInt<uint32_t>(j, "frameColor", f.FrameColor);
    f.Options = checkedInt<uint8_t>(j, "options", f.Options);
    f.Angle = checkedInt<int16_t>(j, "angle", f.Angle);
    f.DataFormat = text1251(j, "dataFormat");
    return f;
}

bool isStandardReserved(const std::vector<TCellFormat>& v) {
    return v.size() == 1 && v[0].SameAttributes(TCellFormat{});
}

const Json& arrayAt(const Json& j, const char* key) {
    static const Json kEmpty = Json::array();
    if (!j.contains(key)) return kEmpty;
    if (!j.at(key).is_array())
        throw std::runtime_error(std::string("JSON: \"") + key + "\" не массив");
    return j.at(key);
}

}  // namespace

Json GridToJson(const TKelvoGrid& g) {
    Json j;
    j["type"] = "grid";
    j["topTitle"] = toUtf8(g.TopTitle());
    j["bottomTitle"] = toUtf8(g.BottomTitle());
    Json fonts = Json::array();
    for (const std::string& f : g.FontNames().Names())
        fonts.push_back(toUtf8(f));
    j["fonts"] = fonts;
    Json formats = Json::array();
    for (size_t i = 0; i < g.Formats().Count(); ++i)
        formats.push_back(formatToJson(g.Formats().At(i)));
    j["formats"] = formats;
    if (!isStandardReserved(g.ReservedFormats(0)) || !isStandardReserved(g.ReservedFormats(1))) {
        Json reserved = Json::array();
        for (int k = 0; k < 2; ++k) {
            Json list = Json::array();
            for (const TCellFormat& f : g.ReservedFormats(k))
                list.push_back(formatToJson(f));
            reserved.push_back(list);
        }
        j["reservedFormats"] = reserved;
    }
    Json widths = Json::array(), heights = Json::array();
    for (int c = 0; c <= g.LastCol(); ++c)
        widths.push_back(g.ColWidth(c));
    for (int r = 0; r <= g.LastRow(); ++r)
        heights.push_back(g.RowHeight(r));
    j["colWidths"] = widths;
    j["rowHeights"] = heights;
    Json cells = Json::array(), joins = Json::array();
    for (int r = 0; r <= g.HighestRow(); ++r)
        for (auto& c : g.RowCells(r)) {
            if (c->IsPlaceholder()) continue;
            if (c->Text.empty() && !c->IsJoined() && c->GroupIndex == -1 && c->Format->Index == 0)
                continue;
            Json cell{{"col", c->Col},
                      {"row", c->Row},
                      {"text", toUtf8(c->Text)},
                      {"format", c->Format->Index},
                      {"group", c->GroupIndex}};
            if (c->IsJoined()) {
                cell["join"] = Json::array({c->LastCol, c->LastRow});
                joins.push_back(Json{{"col", c->Col},
                                     {"row", c->Row},
                                     {"lastCol", c->LastCol},
                                     {"lastRow", c->LastRow}});
            }
            cells.push_back(cell);
        }
    j["cells"] = cells;
    j["joins"] = joins;
    Json objects = Json::array();
    for (const TGridObjImg& o : g.Objects())
        objects.push_back(Json{{"left", o.Left},
                               {"top", o.Top},
                               {"reserved", o.Reserved},
                               {"height", o.Height},
                               {"width", o.Width},
                               {"pictureKind", o.PictureKind},
                               {"picture", Base64Encode(o.Picture)}});
    j["objects"] = objects;
    Json headers = Json::array();
    for (const THeaderGroup& h : g.HeaderGroups()) {
        Json hc = Json::array();
        for (const TCellPos& p : h.Cells)
            hc.push_back(Json::array({p.Col, p.Row}));
        headers.push_back(Json{{"firstGroup", h.FirstGroup}, {"groups", h.Groups}, {"cells", hc}});
    }
    j["headerGroups"] = headers;
    Json fixed = Json::array();
    for (const TFixedCols& f : g.FixedCols())
        fixed.push_back(Json{{"firstCol", f.FirstCol},
                             {"lastCol", f.LastCol},
                             {"firstRow", f.FirstRow},
                             {"lastRow", f.LastRow}});
    j["fixedCols"] = fixed;
    j["pageBreaks"] = g.PageBreaks();
    TPageSettings p = g.GetPageSettings();
    j["pageSettings"] = Json{{"paperIndex", p.PaperIndex},
                             {"orientation", p.Orientation},
                             {"scale", p.Scale},
                             {"marginLeft", p.MarginLeft},
                             {"marginTop", p.MarginTop},
                             {"marginRight", p.MarginRight},
                             {"marginBottom", p.MarginBottom}};
    return j;
}

void GridFromJson(const Json& j, TKelvoGrid& g) {
    if (!j.is_object()) throw std::runtime_error("JSON: печатная форма должна быть объектом");
    g.SetTitles(text1251(j, "topTitle"), text1251(j, "bottomTitle"));
    if (j.contains("fonts")) {
        std::vector<std::string> fonts;
        for (const Json& f : arrayAt(j, "fonts"))
            fonts.push_back(text::utf8ToCp1251(f.get<std::string>()));
        g.FontNames().Assign(std::move(fonts));
    }
    std::vector<TCellFormat> formats;
    for (const Json& f : arrayAt(j, "formats"))
        formats.push_back(formatFromJson(f));
    if (formats.empty()) formats.push_back(TCellFormat{});
    for (size_t i = 0; i < formats.size(); ++i)
        if (formats[i].FontIndex < 0 ||
            static_cast<size_t>(formats[i].FontIndex) >= g.FontNames().Count())
            throw std::runtime_error("JSON: формат " + std::to_string(i) +
                                     " ссылается на несуществующий шрифт");
    g.Formats().Assign(formats);
    const Json& reserved = arrayAt(j, "reservedFormats");
    for (size_t k = 0; k < std::min<size_t>(2, reserved.size()); ++k) {
        std::vector<TCellFormat> list;
        for (const Json& f : reserved[k])
            list.push_back(formatFromJson(f));
        g.ReservedFormats(static_cast<int>(k)) = list;
    }
    const Json& widths = arrayAt(j, "colWidths");
    const Json& heights = arrayAt(j, "rowHeights");
    if (widths.size() > 65536 || heights.size() > 65536)
        throw std::runtime_error("JSON: больше 65536 столбцов или строк");
    for (size_t c = 0; c < widths.size(); ++c)
        g.SetColWidth(static_cast<int>(c), element<uint16_t>(widths[c], "colWidths"));
    for (size_t r = 0; r < heights.size(); ++r)
        g.SetRowHeight(static_cast<int>(r), element<uint16_t>(heights[r], "rowHeights"));
    g.SetLastColRow(static_cast<int>(widths.size()) - 1, static_cast<int>(heights.size()) - 1);
    size_t placeholders = 0;
    for (const Json& c : arrayAt(j, "cells")) {
        TCellRecord rec;
        rec.Col = rec.LastCol = checkedInt<uint16_t>(c, "col", 0);
        rec.Row = rec.LastRow = checkedInt<uint16_t>(c, "row", 0);
        rec.Text = text1251(c, "text");
        rec.FormatIndex = checkedInt<int32_t>(c, "format", 0);
        rec.GroupIndex = checkedInt<int16_t>(c, "group", -1);
        if (c.contains("join")) {
            const Json& jn = c.at("join");
            if (!jn.is_array() || jn.size() != 2)
                throw std::runtime_error("JSON: \"join\" — [lastCol, lastRow]");
            rec.LastCol = element<uint16_t>(jn[0], "join");
            rec.LastRow = element<uint16_t>(jn[1], "join");
            if (rec.LastCol < rec.Col || rec.LastRow < rec.Row)
                throw std::runtime_error("JSON: объединение кончается раньше, чем начинается");
        }
        if (rec.Text.size() > 65535)
            throw std::runtime_error("JSON: текст ячейки длиннее 65535 байт");
        PlaceLoadedCell(g, rec, placeholders);
    }
    for (const Json& o : arrayAt(j, "objects")) {
        TGridObjImg obj;
        obj.Left = checkedInt<int32_t>(o, "left", 0);
        obj.Top = checkedInt<int32_t>(o, "top", 0);
        obj.Reserved = checkedInt<int16_t>(o, "reserved", 0);
        obj.Height = checkedInt<int32_t>(o, "height", 0);
        obj.Width = checkedInt<int32_t>(o, "width", 0);
        obj.PictureKind = checkedInt<uint8_t>(o, "pictureKind", 0);
        obj.Picture = Base64Decode(get<std::string>(o, "picture", ""));
        g.Objects().push_back(std::move(obj));
    }
    for (const Json& h : arrayAt(j, "headerGroups")) {
        THeaderGroup hg;
        hg.FirstGroup = checkedInt<int32_t>(h, "firstGroup", -1);
        for (const Json& b : arrayAt(h, "groups"))
            hg.Groups.push_back(element<uint8_t>(b, "groups"));
        for (const Json& p : arrayAt(h, "cells"))
            hg.Cells.push_back(
                {element<int32_t>(p.at(0), "cells"), element<int32_t>(p.at(1), "cells")});
        g.HeaderGroups().push_back(std::move(hg));
    }
    for (const Json& f : arrayAt(j, "fixedCols"))
        g.FixedCols().push_back(
            {checkedInt<uint16_t>(f, "firstCol", 0), checkedInt<uint16_t>(f, "lastCol", 0),
             checkedInt<uint16_t>(f, "firstRow", 0), checkedInt<uint16_t>(f, "lastRow", 0)});
    for (const Json& b : arrayAt(j, "pageBreaks"))
        g.PageBreaks().push_back(element<uint16_t>(b, "pageBreaks"));
    if (j.contains("pageSettings")) {
        const Json& p = j.at("pageSettings");
        TPageSettings s;
        s.PaperIndex = checkedInt<int32_t>(p, "paperIndex", s.PaperIndex);
        s.Orientation = checkedInt<int32_t>(p, "orientation", s.Orientation);
        s.Scale = get<double>(p, "scale", s.Scale);
        s.MarginLeft = get<double>(p, "marginLeft", s.MarginLeft);
        s.MarginTop = get<double>(p, "marginTop", s.MarginTop);
        s.MarginRight = get<double>(p, "marginRight", s.MarginRight);
        s.MarginBottom = get<double>(p, "marginBottom", s.MarginBottom);
        g.SetPageSettings(s);
    }
}

Json ReportToJson(const TReportFile& rep) {
    Json j;
    j["type"] = "report";
    j["parameters"] = toUtf8(rep.Parameters);
    j["script"] = toUtf8(rep.Script);
    j["dialog"] = toUtf8(rep.Dialog);
    Json groups = Json::array();
    for (const TDataGroupRecord& g : rep.Groups)
        groups.push_back(Json{{"name", toUtf8(g.Name)},
                              {"parameters", toUtf8(g.Parameters)},
                              {"area", Json::array({g.Left, g.Top, g.Right, g.Bottom})}});
    j["groups"] = groups;
    if (rep.PrintForm.empty()) {
        j["printForm"] = nullptr;
    } else {
        TKelvoGrid form;
        LoadGridStream(form, rep.PrintForm);
        j["printForm"] = GridToJson(form);
    }
    return j;
}

void ReportFromJson(const Json& j, TReportFile& rep) {
    if (!j.is_object()) throw std::runtime_error("JSON: отчёт должен быть объектом");
    rep.Parameters = text1251(j, "parameters");
    rep.Script = text1251(j, "script");
    rep.Dialog = text1251(j, "dialog");
    for (const Json& g : arrayAt(j, "groups")) {
        TDataGroupRecord d;
        d.Name = text1251(g, "name");
        d.Parameters = text1251(g, "parameters");
        const Json& a = arrayAt(g, "area");
        if (!a.empty()) {
            if (a.size() != 4)
                throw std::runtime_error("JSON: \"area\" — [left, top, right, bottom]");
            d.Left = element<int32_t>(a[0], "area");
            d.Top = element<int32_t>(a[1], "area");
            d.Right = element<int32_t>(a[2], "area");
            d.Bottom = element<int32_t>(a[3], "area");
        }
        rep.Groups.push_back(std::move(d));
    }
    if (j.contains("printForm") && !j.at("printForm").is_null()) {
        TKelvoGrid form;
        GridFromJson(j.at("printForm"), form);
        rep.PrintForm = SaveGridStream(form);
    }
}

static constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(std::string_view in) {
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = uint8_t(in[i]) << 16 | uint8_t(in[i + 1]) << 8 | uint8_t(in[i + 2]);
        for (int k = 3; k >= 0; --k)
            out += kB64[(v >> (6 * k)) & 63];
    }
    if (i + 1 == in.size()) {
        uint32_t v = uint8_t(in[i]) << 16;
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        uint32_t v = uint8_t(in[i]) << 16 | uint8_t(in[i + 1]) << 8;
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += kB64[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string Base64Decode(std::string_view in) {
    auto value = [](char c) -> int {
        const char* p = std::char_traits<char>::find(kB64, 64, c);
        return p ? static_cast<int>(p - kB64) : -1;
    };
    if (in.size() % 4 != 0) throw std::runtime_error("JSON: неверная строка Base64");
    std::string out;
    for (size_t i = 0; i < in.size(); i += 4) {
        int pad = (in[i + 3] == '=') + (in[i + 2] == '=' && in[i + 3] == '=');
        if (pad && i + 4 != in.size()) throw std::runtime_error("JSON: неверная строка Base64");
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            int d = k >= 4 - pad ? 0 : value(in[i + k]);
            if (d < 0) throw std::runtime_error("JSON: неверная строка Base64");
            v = v << 6 | static_cast<uint32_t>(d);
        }
        out += static_cast<char>(v >> 16);
        if (pad < 2) out += static_cast<char>((v >> 8) & 0xFF);
        if (pad < 1) out += static_cast<char>(v & 0xFF);
    }
    return out;
}

}  // namespace zentra::report
