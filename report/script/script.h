// The script object: the one entry through which the rest of the system compiles and runs
// report scripts. It owns the lexers, the compiler state, the machine and the host variables;
// every run compiles the script library and the report script together into one program.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compiler.h"
#include "machine.h"

namespace zentra::script {

// A value handed in by the host: nothing, an integer, a floating value, a Boolean or a text.
using HostVariant = std::variant<std::monostate, long long, double, bool, std::string>;

struct Variable {
    std::string name;  // lower case
    HostVariant value;
    std::uint8_t type = kTypeUndefined;
};

// Host variables by lower-case name, in the order first set.
class Variables {
  public:
    void setVariable(std::string_view name, HostVariant value, std::uint8_t type);
    void clear() { items_.clear(); }
    void assign(const Variables& other);
    int count() const { return static_cast<int>(items_.size()); }
    const Variable& get(int index) const { return items_.at(static_cast<std::size_t>(index)); }

  private:
    std::vector<Variable> items_;
};

struct ModuleEntry {
    std::string name;
    std::string path;
    bool isMain = false;
};

class Script {
  public:
    // kind (0 error, 1 warning), formatted text (cp1251), column, line
    using MessageHandler = std::function<void(int, const std::string&, int, int)>;

    Script();
    ~Script();

    void setSource(std::string_view text) { source = std::string(text); }
    // Compiles the library and the report script; false (and errorState) on a compile error.
    bool compile();
    // Compiles and, without errors, runs Main. Returns the compile failure as RunStatus::Error.
    RunStatus run();
    void stop() { machine_.stop(); }
    // A current value of a report-script variable: global when routine is empty, else a local of
    // that routine of the report script. Library and included globals are not searched.
    bool getVariableValue(std::string_view routine, std::string_view variable,
                          std::string& text) const;

    std::string source;
    std::string librarySource;
    std::string baseDirectory;  // with trailing separator
    // Where EXTERNAL libraries are loaded from (with trailing separator); empty: baseDirectory.
    std::string libraryDirectory;
    Variables hostVariables;
    MessageHandler onError;
    SendEventHandler onSendEvent;

    Machine& machine() { return machine_; }
    Compiler& compiler() { return compiler_; }
    const std::vector<ModuleEntry>& modules() const { return modules_; }
    bool errorState() const { return errorState_; }
    const std::string& lastMessage() const { return lastMessage_; }
    int libraryDataCount() const { return libraryDataCount_; }
    std::size_t librarySymbolCount() const { return librarySymbolCount_; }

  private:
    void compileText(std::string_view text, bool isMain);
    void include(const std::string& name, LexAnalyst& current);
    void handleError(int kind, const std::string& text, int column, int line);
    std::unique_ptr<LexAnalyst> newLexer();

    Machine machine_;
    Compiler compiler_;
    std::vector<ModuleEntry> modules_;
    std::vector<std::string> includeStack_;  // full paths of modules being compiled
    bool errorState_ = false;
    std::string lastMessage_;
    int libraryDataCount_ = 0;
    std::size_t librarySymbolCount_ = 0;
};

// Reads a script file: UTF-8 content is converted to cp1251 (throws text::EncodingError when a
// character has no cp1251 form); anything else is taken as cp1251.
std::string readScriptFile(const std::string& path);
// The directory of the running program, with a trailing separator.
std::string programDirectory();

}  // namespace zentra::script
