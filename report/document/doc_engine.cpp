#include "doc_engine.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <stdexcept>

#include "formula_lexer.h"
#include "runtime_data.h"
#include "script.h"
#include "text/cp1251.h"

namespace zentra::report {
namespace {

// Messages are written in UTF-8 here and raised as cp1251, like every report text.
std::string Cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}
[[noreturn]] void Fail(const std::string& cp1251) {
    throw std::runtime_error(cp1251);
}

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}
std::string Trim(std::string s) {
    s = TrimRight(std::move(s));
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return s.substr(i);
}

// An integer in an event argument, or nothing when the text is not one.
std::optional<long long> ArgInteger(std::string_view s) {
    std::string t = Trim(std::string(s));
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    long long v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

// The i-th argument (in the order the script wrote them) as text, empty when missing.
std::string Arg(std::span<const script::EventArg> args, std::size_t i) {
    return i < args.size() ? EventArgText(args[i]) : std::string();
}

// Cell reading for formulas: references through the grid's parser, texts of covering cells.
class GridCells : public script::IFormulaCells {
  public:
    explicit GridCells(TKelvoGrid& g) : g_(g) {}
    bool CellRef(std::string_view name, int& col, int& row) override {
        auto ref = ParseCellRef(name);
        if (!ref) return false;
        col = ref->Col;
        row = ref->Row - 1;
        return true;
    }
    std::string CellText(int col, int row) override {
        const TCellData* c = g_.FindCell(col, row);
        return c ? c->Text : std::string();
    }
    // Only stored cells can hold numbers, so a range walks the stored rows, not the sheet.
    double SumRange(int c1, int r1, int c2, int r2) override {
        double s = 0;
        const int last = std::min(r2, g_.HighestRow());
        for (int r = std::max(r1, 0); r <= last; ++r) {
            for (const auto& cell : g_.RowCells(r)) {
                if (cell->IsPlaceholder() || cell->Col < c1 || cell->Col > c2) continue;
                s += script::FormulaNumber(script::FormulaFromCellText(cell->Text));
            }
        }
        return s;
    }

  private:
    TKelvoGrid& g_;
};

// Characters of a script variable name in a formula: ".", digits, Latin and Cyrillic letters.
bool IsNameChar(unsigned char c) {
    return c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z') || c >= 192 || c == 0xA8 || c == 0xB8;
}

}  // namespace

// Event argument values are read as the script's text form of them.
std::string EventArgText(const script::EventArg& arg) {
    return arg.value ? script::valueText(*arg.value, ',') : std::string();
}

// Formulas become token elements with cell references apart; other texts are cut at "[@name]".
void ParseTemplateText(const std::string& text, TData& data) {
    data.Elements.clear();
    data.IsFormula = false;
    data.LexError.clear();
    if (text.size() > 1 && text[0] == '=') {
        data.IsFormula = true;
        std::string body = text;
        body[0] = ' ';
        script::TFormulaLexer lex(body);
        std::string pending;
        for (;;) {
            const script::Token& t = lex.NextToken();
            if (t.kind == script::tkEnd) break;
            if (t.kind == script::tkError) {
                data.LexError = t.text;
                break;
            }
            if (t.kind == script::tkIdentifier) {
                if (auto ref = ParseCellRef(t.text)) {
                    if (!pending.empty()) data.Elements.push_back({pending, TCellElement::Formula});
                    pending.clear();
                    data.Elements.push_back({t.text, TCellElement::CellRef, ref->Col, ref->Row,
                                             ref->AbsCol, ref->AbsRow});
                    continue;
                }
            }
            pending += t.kind == script::tkString ? " '" + t.text + "'" : " " + t.text;
        }
        if (!pending.empty()) data.Elements.push_back({pending, TCellElement::Formula});
        return;
    }
    std::string rest = text;
    for (;;) {
        const auto open = rest.find("[@");
        if (open == std::string::npos) break;
        const auto close = rest.find(']');
        if (close == std::string::npos || close < open) break;
        if (open > 0) data.Elements.push_back({rest.substr(0, open), TCellElement::Literal});
        data.Elements.push_back({rest.substr(open + 2, close - open - 2), TCellElement::ValueRef});
        rest.erase(0, close + 1);
    }
    if (rest.rfind("[@", 0) == 0)
        data.Elements.push_back({rest.substr(2), TCellElement::ValueRef});
    else if (!rest.empty() || data.Elements.empty())
        data.Elements.push_back({rest, TCellElement::Literal});
}

TPrintDocEngine::TPrintDocEngine(script::Script& script, TKelvoGrid& templ, TKelvoGrid& doc,
                                 ITextMeasurer& measurer)
    : script_(script),
      templ_(templ),
      doc_(doc),
      measurer_(measurer),
      grown_(kMaxGridIndex + 1, false) {}

// Parses the template cells of every group once.
void TPrintDocEngine::PrepareGroups(const std::vector<TGroupArea>& groups) {
    groups_.clear();
    lastFound_ = nullptr;
    groups_.reserve(groups.size());
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const TGroupArea& a = groups[gi];
        TPreparedGroup g;
        g.Index = static_cast<int>(gi);
        g.Name = a.Name;
        g.Params = a.Params;
        g.Key = text::upperCp1251(Trim(a.EventName));
        const int left = std::clamp(std::min(a.Left, a.Right), 1, kMaxGridIndex + 1) - 1;
        const int right = std::clamp(std::max(a.Left, a.Right), 1, kMaxGridIndex + 1) - 1;
        const int top = std::clamp(std::min(a.Top, a.Bottom), 1, kMaxGridIndex + 1) - 1;
        const int bottom = std::clamp(std::max(a.Top, a.Bottom), 1, kMaxGridIndex + 1) - 1;
        // A group area is a template: one that covers millions of positions is a broken file.
        if (static_cast<long long>(right - left + 1) * (bottom - top + 1) > 1'000'000)
            Fail(Cp("Область группы \"") + a.Name + Cp("\" слишком велика"));
        for (int r = top; r <= bottom; ++r) {
            for (int c = left; c <= right; ++c) {
                TCellHandle h = templ_.GetCell(c, r);
                TData d;
                d.RelCol = c - left;
                d.RelRow = r - top;
                d.TemplCol = c;
                d.TemplRow = r;
                d.Width = templ_.ColWidth(c);
                d.Height = templ_.RowHeight(r);
                d.FormatIndex = h.FormatIndex();
                if (const TCellData* s = templ_.StoredCell(c, r);
                    s && !s->IsPlaceholder() && s->IsJoined()) {
                    d.Joined = true;
                    d.JoinCols = s->LastCol - s->Col;
                    d.JoinRows = s->LastRow - s->Row;
                }
                if (const TCellData* m = templ_.FindCell(c, r);
                    m && (m->Col != c || m->Row != r) && m->Col >= left && m->Row >= top)
                    d.Covered = true;
                // Only the cell stored at the position carries text: covered positions of a
                // join are written empty, so the text is not repeated across the join.
                const TCellData* own = templ_.StoredCell(c, r);
                ParseTemplateText(own && !own->IsPlaceholder() ? own->Text : std::string(), d);
                g.Cells.push_back(std::move(d));
            }
        }
        g.Width = right - left + 1;
        g.FirstRow = top;
        g.LastRow = bottom;
        g.Origin = templ_.CellOrigin(left, top);
        g.Corner = templ_.CellOrigin(right, bottom);
        for (const TGridObjImg& o : templ_.Objects()) {
            if (o.Left >= g.Origin.first && o.Left <= g.Corner.first && o.Top >= g.Origin.second &&
                o.Top <= g.Corner.second)
                g.Objects.push_back(o);
        }
        groups_.push_back(std::move(g));
    }
}

// The prepared group of an event key; the last one found is tried first.
const TPreparedGroup* TPrintDocEngine::FindGroup(const std::string& key) {
    if (lastFound_ && lastFound_->Key == key) return lastFound_;
    for (const auto& g : groups_) {
        if (g.Key == key) {
            lastFound_ = &g;
            return &g;
        }
    }
    return nullptr;
}

// The fixed event names first, then the groups by key.
void TPrintDocEngine::HandleEvent(std::string_view name, std::span<const script::EventArg> args,
                                  std::string& answer) {
    const std::string ev = text::upperCp1251(name);
    answer.clear();
    if (ev == "NEWLINE") {
        CurRow += LineHeight;
        CurCol = StartCol;
    } else if (ev == "STARTHEADER") {
        header_ = Collect::Collecting;
        headerFirstGroup_ = -1;
        headerCells_.clear();
    } else if (ev == "COMMITHEADER") {
        CommitHeader(args);
    } else if (ev == "STARTFIXEDCOL") {
        fixed_ = Collect::Collecting;
        fixedFirstRow_ = -1;
        fixedLastRow_ = -1;
    } else if (ev == "COMMITFIXEDCOL") {
        CommitFixedCol(args);
    } else if (ev == "GETCELLVALUE") {
        const long long col = ArgInteger(Arg(args, 0)).value_or(1);
        const long long row = ArgInteger(Arg(args, 1)).value_or(1);
        answer = "cell_data:";
        if (col >= 1 && col <= kMaxGridIndex + 1 && row >= 1 && row <= kMaxGridIndex + 1) {
            const TCellData* c =
                doc_.FindCell(static_cast<int>(col - 1), static_cast<int>(row - 1));
            if (c) answer += Trim(c->Text);
        }
    } else if (ev == "NEWPAGE") {
        if (CurRow < 0 || CurRow > kMaxGridIndex)
            Fail(Cp("Разрыв страницы в строке ") + std::to_string(CurRow + 1) +
                 Cp(" за пределами документа (строки 1..65536)"));
        doc_.PageBreaks().push_back(static_cast<uint16_t>(CurRow));
    } else if (ev == "GETCOL") {
        answer = std::to_string(CurCol + 1);
    } else if (ev == "GETROW") {
        answer = std::to_string(CurRow + 1);
    } else if (ev == "STARTCOL" || ev == "STARTROW") {
        const bool isCol = ev == "STARTCOL";
        const long long v = ArgInteger(Arg(args, 0)).value_or(1);
        // Values below 1 are refused like 0, with the value the script really gave.
        if (v < 1 || v > kMaxGridIndex + 1) {
            if (isCol)
                StartCol = CurCol = -1;
            else
                CurRow = -1;
            const std::string what = isCol ? Cp("столбца") : Cp("строки");
            Fail(Cp("Событием \"") + (isCol ? "StartCol" : "StartRow") +
                 Cp("\" была произведена попытка установить значение номера ") + what + " = " +
                 std::to_string(v) + "\r" + Cp("Минимальное допустимое значение номера ") + what +
                 " = 1" + (v >= 1 ? Cp(", максимальное = 65536") : std::string()));
        }
        if (isCol)
            StartCol = CurCol = static_cast<int>(v - 1);
        else
            CurRow = static_cast<int>(v - 1);
    } else if (ev == "NEWROW") {
        CurRow += LineHeight;
    } else if (ev == "ABORTSHOWREPORT") {
        Aborted = true;
    } else if (const TPreparedGroup* g = FindGroup(ev)) {
        OutputGroup(*g, args);
    }
}

// Appends the header record; group names are event names of prepared groups.
void TPrintDocEngine::CommitHeader(std::span<const script::EventArg> args) {
    doc_.HeaderGroups().push_back(THeaderGroup{headerFirstGroup_, {}, headerCells_});
    const std::size_t at = doc_.HeaderGroups().size() - 1;
    const std::string list = text::upperCp1251(Trim(Arg(args, 0)));
    std::vector<uint8_t> indexes;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        const auto comma = list.find(',', pos);
        const std::string piece =
            Trim(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        const TPreparedGroup* g = FindGroup(piece);
        if (!g) {
            Fail(Cp("Группы с названием  '") + piece + Cp("' в списке групп не существует!"));
        }
        if (g->Index > 255) Fail(Cp("Номер группы заголовка больше 255: ") + piece);
        indexes.push_back(static_cast<uint8_t>(g->Index));
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    doc_.HeaderGroups()[at].Groups = std::move(indexes);
    header_ = Collect::Idle;
    headerCells_.clear();
}

// Records fixed columns over the rows collected since StartFixedCol; refuses empty ranges.
void TPrintDocEngine::CommitFixedCol(std::span<const script::EventArg> args) {
    const std::string a = Arg(args, 0), b = Arg(args, 1);
    const auto first = ArgInteger(a), last = ArgInteger(b);
    if (!first || !last)
        Fail(Cp("CommitFixedCol: номера столбцов должны быть целыми числами, получено '") + a +
             "', '" + b + "'");
    if (*first < 1 || *last > kMaxGridIndex + 1 || *first > *last)
        Fail(Cp("CommitFixedCol: неверный диапазон столбцов ") + a + ".." + b +
             Cp(" (нужно 1 <= первый <= последний <= 65536)"));
    if (fixed_ != Collect::Collecting || fixedFirstRow_ < 0)
        Fail(Cp("CommitFixedCol: после StartFixedCol не выведено ни одной строки"));
    doc_.FixedCols().push_back(
        TFixedCols{static_cast<uint16_t>(*first - 1), static_cast<uint16_t>(*last - 1),
                   static_cast<uint16_t>(fixedFirstRow_), static_cast<uint16_t>(fixedLastRow_)});
    fixed_ = Collect::Committed;
}

// Composes a formula for the target position; false (with the message in formula) when a
// shifted reference falls off the sheet.
bool TPrintDocEngine::ComposeFormula(const TData& d, int col, int row, std::string& formula) {
    formula.clear();
    if (!d.LexError.empty()) {
        formula = d.LexError;
        return false;
    }
    for (const TCellElement& e : d.Elements) {
        if (e.Kind_ != TCellElement::CellRef) {
            formula += e.Text;
            continue;
        }
        const long long c = e.AbsCol ? e.Col : static_cast<long long>(e.Col) + col - d.TemplCol;
        const long long r = e.AbsRow ? e.Row : static_cast<long long>(e.Row) + row - d.TemplRow;
        if (c < 0 || c > kMaxGridIndex || r < 1 || r > kMaxGridIndex + 1) {
            std::string templ;
            for (const TCellElement& t : d.Elements)
                templ += t.Text;
            formula = Cp("Ссылка ") + e.Text + Cp(" после сдвига выходит за пределы листа") +
                      Cp(" в функции ") + templ;
            return false;
        }
        formula += ColumnName(static_cast<int>(c)) + std::to_string(r);
    }
    return true;
}

// Evaluates against the document; script variables answer names the evaluator does not know.
bool TPrintDocEngine::EvaluateFormula(const std::string& formula, std::string& text) {
    GridCells cells(doc_);
    script::TScriptLexAn f;
    f.Cells = &cells;
    f.LibraryFolder = LibraryFolder;
    f.Lookup = Lookup;
    f.OnResolve = [this](std::string_view name, script::FormulaValue& value) {
        std::string module, var;
        for (unsigned char c : name) {
            if (!IsNameChar(c)) break;
            if (c == '.') {
                module = var;
                var.clear();
            } else {
                var += static_cast<char>(c);
            }
        }
        std::string out;
        if (var.empty() || !script_.getVariableValue(module, var, out)) return false;
        value = script::FormulaValue::Text(out);
        return true;
    };
    f.SetText(formula);
    try {
        script::FormulaValue v;
        f.Evaluate(v);
        text = script::FormulaText(v);
        return true;
    } catch (const std::exception& e) {
        text = std::string(e.what()) + Cp(" в функции ") + formula;
        return false;
    }
}

// Gives a document cell the attributes of a template format. Formats are matched by their
// attributes, not by index: the document list drops unused formats and changes formats in
// place (a failed formula), so template indexes do not stay valid in it for a whole build.
void TPrintDocEngine::ApplyTemplateFormat(TCellData& cell, int templateIndex) {
    const TCellFormat& attrs = templ_.Formats().At(static_cast<std::size_t>(templateIndex));
    if (cell.Format && cell.Format->SameAttributes(attrs)) return;
    TCellFormat* f = doc_.Formats().FindEqual(attrs, nullptr);
    if (!f) f = &doc_.Formats().Append(attrs);
    doc_.SetFormatIndex(cell, f->Index);
}

// Writes one group at the output position.
void TPrintDocEngine::OutputGroup(const TPreparedGroup& g, std::span<const script::EventArg> args) {
    // The whole area must land on the sheet: rows and columns are 16-bit, and writing past
    // the last one would otherwise wrap to the top of the document.
    const long long lastCol = static_cast<long long>(CurCol) + g.Width - 1;
    const long long lastRow = static_cast<long long>(CurRow) + (g.LastRow - g.FirstRow);
    if (CurCol < 0 || CurRow < 0 || lastCol > kMaxGridIndex || lastRow > kMaxGridIndex)
        Fail(Cp("Группа \"") + g.Name + Cp("\" не помещается в документ: строки ") +
             std::to_string(CurRow + 1) + ".." + std::to_string(lastRow + 1) + Cp(", столбцы ") +
             std::to_string(CurCol + 1) + ".." + std::to_string(lastCol + 1) +
             Cp(" (наибольшие 65536)"));
    LineHeight = 1;
    int prevRow = -1;
    if (!g.Objects.empty()) {
        const auto at = doc_.CellOrigin(CurCol, CurRow);
        for (TGridObjImg o : g.Objects) {
            o.Left += at.first - g.Origin.first;
            o.Top += at.second - g.Origin.second;
            doc_.Objects().push_back(std::move(o));
        }
    }
    std::string text, formula;
    for (const TData& d : g.Cells) {
        const int C = CurCol + d.RelCol, R = CurRow + d.RelRow;
        if (d.Covered) {
            // The join written by its master cell holds this position.
            if (prevRow != -1 && prevRow != d.RelRow && d.RelRow >= LineHeight) ++LineHeight;
            prevRow = d.RelRow;
            continue;
        }
        // Output over an older join of the document takes that join apart first.
        if (const TCellData* m = doc_.FindCell(C, R); m && (m->Col != C || m->Row != R))
            doc_.Unjoin(m->Col, m->Row);
        bool failed = false;
        if (d.IsFormula) {
            if (!ComposeFormula(d, C, R, formula)) {
                text = formula;
                failed = true;
            } else if (templ_.Formats().At(static_cast<std::size_t>(d.FormatIndex)).Options &
                       kOptCalcAfterBuild) {
                text = "=" + formula;
                DeferredFormulas = true;
            } else {
                failed = !EvaluateFormula(formula, text);
            }
        } else {
            text.clear();
            for (const TCellElement& e : d.Elements) {
                if (e.Kind_ == TCellElement::Literal) {
                    text += e.Text;
                    continue;
                }
                const script::EventArg* found = nullptr;
                for (const auto& a : args)
                    if (text::equalsNoCase(a.name, e.Text)) found = &a;
                text += found ? TrimRight(EventArgText(*found)) : "?" + e.Text;
            }
        }
        if (d.Joined) {
            const int jc = std::min(C + d.JoinCols, kMaxGridIndex);
            const int jr = std::min(R + d.JoinRows, kMaxGridIndex);
            doc_.Join(C, R, jc, jr);
        }
        TCellData& cell = doc_.CreateCell(C, R);
        if (doc_.ColWidth(C) == 0) doc_.SetColWidth(C, d.Width);
        cell.GroupIndex = static_cast<int16_t>(g.Index);
        ApplyTemplateFormat(cell, d.FormatIndex);
        if (failed)
            doc_.SetFormatProperty(cell, EFormatKind::Options,
                                   cell.Format->Options | kOptFormulaFailed);
        TCellHandle h(doc_, C, R);
        const int templHeight = d.Height == 0 ? kDefaultRowHeight : d.Height;
        if (!(grown_[static_cast<std::size_t>(R)] && h.Height() >= templHeight))
            doc_.SetRowHeight(R, d.Height);
        cell.Text = text;
        if (text.find('\r') != std::string::npos || (cell.Format->Options & kOptWordWrap)) {
            const int need = h.TextHeight(measurer_);
            if (h.Height() < need)
                doc_.SetRowHeight(R, need);
            else if (!grown_[static_cast<std::size_t>(R)])
                doc_.SetRowHeight(R, d.Height);
            grown_[static_cast<std::size_t>(R)] = true;
        }
        if (header_ == Collect::Collecting) {
            if (headerFirstGroup_ == -1) headerFirstGroup_ = g.Index;
            headerCells_.push_back(TCellPos{C, R});
        }
        if (fixed_ == Collect::Collecting) {
            if (fixedFirstRow_ == -1) fixedFirstRow_ = R;
            fixedLastRow_ = R;
        }
        if (prevRow != -1 && prevRow != d.RelRow && d.RelRow >= LineHeight) ++LineHeight;
        prevRow = d.RelRow;
    }
    CurCol += g.Width;
}

// Every stored cell whose text begins with "=" is evaluated now that all values are in.
bool TPrintDocEngine::CalcDeferred(const std::function<bool()>& keepGoing) {
    if (!DeferredFormulas) return true;
    const int last = doc_.HighestRow();
    std::string text;
    int sinceCheck = 0;
    for (int r = 0; r <= last; ++r) {
        // Positions are collected first: evaluating changes formats, which may touch the row.
        std::vector<int> cols;
        for (const auto& c : doc_.RowCells(r))
            if (!c->IsPlaceholder() && !c->Text.empty() && c->Text[0] == '=')
                cols.push_back(c->Col);
        for (int col : cols) {
            TCellData* c = doc_.StoredCell(col, r);
            assert(c);
            std::string formula = c->Text;
            formula[0] = ' ';
            const bool ok = EvaluateFormula(formula, text);
            c->Text = text;
            if (!ok)
                doc_.SetFormatProperty(*c, EFormatKind::Options,
                                       c->Format->Options | kOptFormulaFailed);
            if (keepGoing && ++sinceCheck == kFormulasPerCheck) {
                sinceCheck = 0;
                if (!keepGoing()) return false;
            }
        }
    }
    return true;
}

}  // namespace zentra::report
