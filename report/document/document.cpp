#include "document.h"

#include <cassert>
#include <stdexcept>

#include "grid_stream.h"
#include "formula_runtime.h"
#include "report_file.h"
#include "rtl_source.h"
#include "text/cp1251.h"

namespace zentra::report {
namespace {

// The value of a key in "key=value" lines (the key without regard to case), untrimmed.
std::string ParamValue(const std::string& lines, std::string_view key) {
    std::size_t pos = 0;
    while (pos < lines.size()) {
        auto end = lines.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = lines.size();
        const std::string line = lines.substr(pos, end - pos);
        const auto eq = line.find('=');
        if (eq != std::string::npos && text::equalsNoCase(line.substr(0, eq), key))
            return line.substr(eq + 1);
        pos = end + 1;
    }
    return {};
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return s.substr(i);
}

// Headless text measuring: about the advance and line of the default 9-point font.
TFixedAdvanceMeasurer& DefaultMeasurer() {
    static TFixedAdvanceMeasurer m(6, 15);
    return m;
}

}  // namespace

// Keeps the event name in step with the parameters.
void TDataGroup::SetParams(std::string_view text) {
    params_.assign(text);
    eventName_ = ParamValue(params_, "EVENT_NAME");
}

// The script object gets the script library and hands events and messages to the document.
TDocument::TDocument() : docGrid_(std::make_unique<TKelvoGrid>()) {
    script_.librarySource = std::string(script::rtlSource());
    script_.onSendEvent = [this](std::string_view event, std::span<const script::EventArg> args,
                                 std::string& answer) {
        if (engine_)
            engine_->HandleEvent(event, args, answer);
        else if (OnSendEvent)
            OnSendEvent(event, args, answer);
    };
    script_.onError = [this](int kind, const std::string& text, int col, int line) {
        if (OnScriptMessage) OnScriptMessage(kind, text, col, line);
    };
    LibraryFolder = script::programDirectory();
}

TDocument::~TDocument() = default;

// Reads a report file through the file format layer.
void TDocument::LoadFromFile(const std::filesystem::path& path) {
    TReportFile f;
    LoadReportFile(f, path);
    LoadFromBytes(SaveReportStream(f));
}

// Replaces the content with a report stream's.
void TDocument::LoadFromBytes(std::string_view bytes) {
    TReportFile f = LoadReportStream(bytes);
    Clear();
    Parameters = f.Parameters;
    ScriptText = f.Script;
    DialogText = f.Dialog;
    PrintForm = f.PrintForm;
    for (const auto& g : f.Groups)
        AddGroup(g.Name, g.Parameters, g.Left, g.Top, g.Right, g.Bottom);
}

// The report stream of the content.
std::string TDocument::SaveToBytes() const {
    TReportFile f;
    f.Parameters = Parameters;
    f.Script = ScriptText;
    f.Dialog = DialogText;
    f.PrintForm = PrintForm;
    for (const auto& g : groups_)
        f.Groups.push_back({g->Params(), g->Name, g->Left, g->Top, g->Right, g->Bottom});
    return SaveReportStream(f);
}

void TDocument::SaveToFile(const std::filesystem::path& path) const {
    SaveReportFile(LoadReportStream(SaveToBytes()), path);
}

// Empties texts, print form and groups.
void TDocument::Clear() {
    Parameters.clear();
    ScriptText.clear();
    DialogText.clear();
    PrintForm.clear();
    groups_.clear();
}

// Appends a data group.
TDataGroup& TDocument::AddGroup(std::string_view name, std::string_view params, int32_t left,
                                int32_t top, int32_t right, int32_t bottom) {
    auto g = std::make_unique<TDataGroup>();
    g->Name.assign(name);
    g->SetParams(params);
    g->Left = left;
    g->Top = top;
    g->Right = right;
    g->Bottom = bottom;
    groups_.push_back(std::move(g));
    return *groups_.back();
}

std::string TDocument::DocName() const {
    return Trim(ParamValue(Parameters, "DOCNAME"));
}

BuildNextStep NextStepAfterBuild(BuildStatus status, bool printAtOnce, bool showModally) {
    if (status != BuildStatus::Built) return BuildNextStep::Nothing;
    if (printAtOnce) return BuildNextStep::Print;
    return showModally ? BuildNextStep::ShowModal : BuildNextStep::ShowChild;
}

// The build: template, engine, script run, deferred formulas, and the step that follows.
BuildResult TDocument::Build(bool printAtOnce, IBuildRunner* runner) {
    assert(!engine_ && "a build is already running");
    BuildResult result;
    const std::string name = DocName();
    result.SaveFileName = name + ".sf";
    result.HtmlFileName = name + ".htm";
    result.CaptionSuffix = ": \"" + name + "\"";
    TKelvoGrid templ;
    if (!PrintForm.empty()) LoadGridStream(templ, PrintForm);
    TKelvoGrid& doc = *docGrid_;
    doc.Clear();
    doc.SetPageSettings(templ.GetPageSettings());
    doc.SetTitles(templ.TopTitle(), templ.BottomTitle());
    doc.FontNames().Assign(templ.FontNames().Names());
    doc.CopyFormatsFrom(templ);

    TPrintDocEngine engine(script_, templ, doc, Measurer ? *Measurer : DefaultMeasurer());
    engine.LibraryFolder = LibraryFolder;
    engine.Lookup = Lookup ? Lookup : &script::RuntimeFormulaLookup::Shared();
    std::vector<TGroupArea> areas;
    for (const auto& g : groups_)
        areas.push_back(
            {g->Name, g->EventName(), g->Params(), g->Left, g->Top, g->Right, g->Bottom});
    engine.PrepareGroups(areas);

    script_.baseDirectory = LibraryFolder;
    script_.hostVariables.clear();
    script_.hostVariables.setVariable("DialogSource", DialogText, script::kTypeText);
    script_.hostVariables.assign(ExternalVariables);
    script_.source = ScriptText;
    script_.machine().errorSink = ErrorSink;

    engine_ = &engine;
    script::RunStatus status;
    try {
        if (runner) {
            status = runner->RunBuild(script_, engine);
        } else {
            status = script_.run();
            if (status == script::RunStatus::Finished) engine.CalcDeferred();
        }
    } catch (...) {
        engine_ = nullptr;
        throw;
    }
    engine_ = nullptr;
    if (script_.errorState()) {
        result.Status = BuildStatus::CompileError;
        result.Message = script_.lastMessage();
    } else if (status == script::RunStatus::Error) {
        result.Status = BuildStatus::RunError;
        result.Message = script_.machine().lastError();
    } else if (status == script::RunStatus::Stopped) {
        result.Status = BuildStatus::Stopped;
    } else if (engine.Aborted) {
        result.Status = BuildStatus::Aborted;
    }
    result.Next = NextStepAfterBuild(result.Status, printAtOnce, ShowModally);
    return result;
}

}  // namespace zentra::report
