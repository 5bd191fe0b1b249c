#include "script.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/cp1251.h"
#include "text/format_settings.h"

namespace zentra::script {
namespace {

// Messages are written in UTF-8 here and reported as cp1251.
std::string cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}

constexpr int kMaxIncludeDepth = 32;

// The literal form PUSH reads: numbers with '.', Booleans as 1 or 0, texts as they are.
std::string literalOf(const HostVariant& v) {
    struct Visit {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(long long i) const { return std::to_string(i); }
        std::string operator()(double d) const { return text::machineNumber(d); }
        std::string operator()(bool b) const { return b ? "1" : "0"; }
        std::string operator()(const std::string& s) const { return s; }
    };
    return std::visit(Visit{}, v);
}

}  // namespace

// Replaces the entry of the same lower-case name or appends one.
void Variables::setVariable(std::string_view name, HostVariant value, std::uint8_t type) {
    std::string lower = text::lowerCp1251(name);
    for (Variable& v : items_) {
        if (v.name == lower) {
            v.value = std::move(value);
            v.type = type;
            return;
        }
    }
    items_.push_back(Variable{std::move(lower), std::move(value), type});
}

// Sets every entry of other, in order.
void Variables::assign(const Variables& other) {
    for (const Variable& v : other.items_)
        setVariable(v.name, v.value, v.type);
}

// Wires the compiler's INCLUDE and warning hooks to this object.
Script::Script() : compiler_(machine_.code, machine_.data) {
    baseDirectory = programDirectory();
    compiler_.onInclude = [this](const std::string& name, LexAnalyst& lex) { include(name, lex); };
    compiler_.onWarning = [this](const std::string& message, int line) {
        const std::string text =
            "[Warning] (" + std::to_string(line) + ":" + std::to_string(0) + "): " + message;
        if (onError) onError(1, text, -1, line);
    };
}

Script::~Script() = default;

// Keeps the last error text and passes the error on.
void Script::handleError(int kind, const std::string& text, int column, int line) {
    lastMessage_ = text;
    if (onError) onError(kind, text, column, line);
}

// Each module gets its own analyser; errors come back here and end the compilation.
std::unique_ptr<LexAnalyst> Script::newLexer() {
    auto lex = std::make_unique<LexAnalyst>();
    lex->onError = [this](int kind, const std::string& text, int column, int line) {
        handleError(kind, text, column, line);
    };
    // Raising ends a failed module at once; only the first error of a text is ever reported.
    lex->raiseOnError = true;
    return lex;
}

// Compiles one module text with its own analyser.
void Script::compileText(std::string_view text, bool isMain) {
    auto lex = newLexer();
    lex->setText(text);
    compiler_.compileModule(*lex, isMain);
}

// Compiles the library and the report script into a fresh code array and data segment.
bool Script::compile() {
    if (machine_.running() || machine_.paused()) return false;
    compiler_.reset();
    modules_.clear();
    includeStack_.clear();
    errorState_ = false;
    lastMessage_.clear();
    machine_.code.clear();
    machine_.data.clear();
    machine_.data.addCell(kTypeUndefined);  // cell 0: results of external calls and events
    compiler_.hostValues.clear();
    for (int i = 0; i < hostVariables.count(); ++i) {
        const Variable& v = hostVariables.get(i);
        compiler_.hostValues.push_back(HostValue{v.name, literalOf(v.value), v.type});
    }
    modules_.push_back(ModuleEntry{"RunTime.s", {}, false});
    try {
        if (!librarySource.empty()) compileText(librarySource, false);
        libraryDataCount_ = machine_.data.count();
        librarySymbolCount_ = compiler_.globalCount();
        modules_.push_back(ModuleEntry{"Main", {}, true});
        compileText(source, true);
    } catch (const CompileError&) {
        errorState_ = true;
    }
    machine_.entryIndex = compiler_.entryIndex();
    return !errorState_;
}

// INCLUDE 'name': compiles the file from the base directory in front of the rest of the module.
void Script::include(const std::string& name, LexAnalyst& current) {
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::string path = baseDirectory + relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        current.error(cp("Файл не найден '") + path + "'");
        return;
    }
    const std::string canonical = std::filesystem::weakly_canonical(path, ec).string();
    if (std::find(includeStack_.begin(), includeStack_.end(), canonical) != includeStack_.end()) {
        current.error(cp("Циклическое включение модуля '") + path + "'");
        return;
    }
    if (static_cast<int>(includeStack_.size()) >= kMaxIncludeDepth) {
        current.error(cp("Слишком глубокое вложение модулей INCLUDE (более ") +
                      std::to_string(kMaxIncludeDepth) + ")");
        return;
    }
    std::string text;
    try {
        text = readScriptFile(path);
    } catch (const std::exception& e) {
        current.error(cp("Ошибка чтения файла '") + path + "': " + e.what());
        return;
    }
    modules_.push_back(ModuleEntry{std::filesystem::path(path).filename().string(), path, false});
    includeStack_.push_back(canonical);
    struct Pop {
        std::vector<std::string>& s;
        ~Pop() { s.pop_back(); }
    } pop{includeStack_};
    compileText(text, false);
    libraryDataCount_ = machine_.data.count();
    librarySymbolCount_ = compiler_.globalCount();
}

// Compiles and, without errors, runs Main; refused while a run is active or paused.
RunStatus Script::run() {
    if (machine_.running() || machine_.paused()) return RunStatus::Refused;
    machine_.onSendEvent = onSendEvent;
    if (!compile()) return RunStatus::Error;
    machine_.libraryPath = libraryDirectory.empty() ? baseDirectory : libraryDirectory;
    // the external-call step converts arguments by these declared types
    machine_.externalParams.clear();
    for (const Symbol* r : compiler_.globals()) {
        if (r->kind != Symbol::Routine || r->callConv == 0) continue;
        std::vector<std::uint8_t>& types =
            machine_.externalParams[declarationKey(text::lowerCp1251(r->libName), r->name)];
        types.clear();
        for (const Symbol* p : r->params)
            types.push_back(p->typeCode);
    }
    return machine_.run();
}

// Looks a report-script variable up by name and gives its value as text.
bool Script::getVariableValue(std::string_view routine, std::string_view variable,
                              std::string& out) const {
    out.clear();
    const auto& globals = compiler_.globals();
    auto textOf = [&](const Symbol* s) {
        out = machine_.data.cellText(s->dataIndex, machine_.decimalSeparator);
        return true;
    };
    for (std::size_t i = librarySymbolCount_; i < globals.size(); ++i) {
        const Symbol* s = globals[i];
        if (routine.empty()) {
            if (s->kind == Symbol::Value && text::equalsNoCase(s->name, variable)) return textOf(s);
        } else if (s->kind == Symbol::Routine && text::equalsNoCase(s->name, routine)) {
            for (const Symbol* l : s->locals) {
                if (text::equalsNoCase(l->name, variable)) return textOf(l);
            }
            for (const Symbol* p : s->params) {
                if (text::equalsNoCase(p->name, variable)) return textOf(p);
            }
        }
    }
    return false;
}

// Reads a script file as cp1251 (UTF-8 files are converted).
std::string readScriptFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::ostringstream buf;
    buf << in.rdbuf();
    std::string bytes = buf.str();
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return text::utf8ToCp1251(bytes.substr(3));
    if (text::looksLikeUtf8(bytes)) return text::utf8ToCp1251(bytes);
    return bytes;
}

// Directory of the running executable, with a trailing separator.
std::string programDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return exe.parent_path().string() + "/";
}

}  // namespace zentra::script
