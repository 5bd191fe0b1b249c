// The report document: parameters, script, dialog description, data groups and the print form
// of a report file, with the build that runs the script and fills a new print grid through the
// document engine. Headless: the build window and the preview are views a GUI host adds.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "doc_engine.h"
#include "kelvo_grid.h"
#include "script.h"
#include "text_measurer.h"

namespace zentra::report {

// One named rectangle of the print form.
class TDataGroup {
  public:
    std::string Name;
    int32_t Left = 1, Top = 1, Right = 1, Bottom = 1;  // 1-based, inclusive
    const std::string& Params() const { return params_; }
    const std::string& EventName() const { return eventName_; }
    // Sets the "key=value" lines; EVENT_NAME becomes the event name.
    void SetParams(std::string_view text);

  private:
    std::string params_;
    std::string eventName_;
};

// Stopped: the user cancelled the script run or the deferred formulas ("Отмена").
enum class BuildStatus { Built, Aborted, CompileError, RunError, Stopped };

// What the caller does with the document after Build(PrintAtOnce). The preview window and
// printing belong to the GUI host; the headless build only decides which one comes next.
enum class BuildNextStep {
    Nothing,    // aborted, stopped or failed: no preview, no print-out
    Print,      // print at once, then close the preview
    ShowModal,  // show the preview modally
    ShowChild,  // show the preview as a child window of the main window
};

// The decision after a build: nothing unless built; then printing wins over showing.
BuildNextStep NextStepAfterBuild(BuildStatus status, bool printAtOnce, bool showModally);

struct BuildResult {
    BuildStatus Status = BuildStatus::Built;
    std::string Message;  // cp1251: the compile or run-time error
    BuildNextStep Next = BuildNextStep::Nothing;
    // For the preview window (cp1251): DOCNAME + ".sf" to save the document, DOCNAME + ".htm"
    // for the HTML export, and ": \"DOCNAME\"" to append to its caption.
    std::string SaveFileName;
    std::string HtmlFileName;
    std::string CaptionSuffix;
};

// Runs the two steps of a build that may take long: headless they just run; a window runs them
// from its event loop, keeps its messages flowing and offers cancel.
class IBuildRunner {
  public:
    virtual ~IBuildRunner() = default;
    // Runs the script and, when it finished, the deferred formulas (engine.CalcDeferred);
    // answers Stopped when the user cancelled either step.
    virtual script::RunStatus RunBuild(script::Script& script, TPrintDocEngine& engine) = 0;
};

class TDocument {
  public:
    TDocument();
    ~TDocument();

    // Reads a report file (kept unchanged when it is damaged).
    void LoadFromFile(const std::filesystem::path& path);
    void SaveToFile(const std::filesystem::path& path) const;
    void LoadFromBytes(std::string_view bytes);
    std::string SaveToBytes() const;
    void Clear();
    TDataGroup& AddGroup(std::string_view name, std::string_view params, int32_t left, int32_t top,
                         int32_t right, int32_t bottom);
    int GroupCount() const { return static_cast<int>(groups_.size()); }
    const TDataGroup& Group(int i) const { return *groups_.at(static_cast<std::size_t>(i)); }
    void ClearGroups() { groups_.clear(); }
    // "DOCNAME" of the parameters, trimmed.
    std::string DocName() const;

    // Builds into DocumentGrid(): runs the script (through runner, or directly when null),
    // then the deferred formulas, and tells in the result whether the caller prints at once or
    // shows the preview (and how). Preview and printing are not part of the headless build.
    BuildResult Build(bool printAtOnce, IBuildRunner* runner = nullptr);
    // A build for the preview (not printed at once).
    BuildResult Build(IBuildRunner* runner = nullptr) { return Build(false, runner); }

    TKelvoGrid& DocumentGrid() { return *docGrid_; }
    script::Script& ScriptObject() { return script_; }
    TPrintDocEngine* Engine() { return engine_; }

    std::string Parameters;  // "key=value" lines, CR LF after each
    std::string ScriptText;
    std::string DialogText;
    std::string PrintForm;  // print grid stream bytes
    script::Variables ExternalVariables;
    std::string LibraryFolder;  // with trailing separator
    bool ShowModally = false;
    bool TemplateMayBeEdited = true;
    ITextMeasurer* Measurer = nullptr;        // null: a fixed advance close to the default font
    // null: formula look-ups go through Runtime.lib of LibraryFolder (RuntimeFormulaLookup).
    script::FormulaLookup* Lookup = nullptr;
    script::VMErrorSink* ErrorSink = nullptr;
    // Compile messages of the script: kind, text, column, line.
    std::function<void(int, const std::string&, int, int)> OnScriptMessage;
    // Report events while no engine is attached.
    script::SendEventHandler OnSendEvent;

  private:
    std::vector<std::unique_ptr<TDataGroup>> groups_;
    std::unique_ptr<TKelvoGrid> docGrid_;
    script::Script script_;
    TPrintDocEngine* engine_ = nullptr;
};

}  // namespace zentra::report
