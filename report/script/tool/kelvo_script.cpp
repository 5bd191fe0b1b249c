// kelvo-script: command-line access to the report script language for report authors and
// tests -- the token stream, the compiled instructions, and runs whose report events are
// printed instead of filling a document. Output is UTF-8; script files may be cp1251 or UTF-8.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "lexer.h"
#include "rtl_source.h"
#include "script.h"
#include "text/cp1251.h"
#include "text/format_settings.h"

namespace zs = zentra::script;
namespace zt = zentra::text;

namespace {

constexpr int kExitCompile = 1;
constexpr int kExitRun = 2;
constexpr int kExitUsage = 3;

// cp1251 text for the terminal: UTF-8, carriage returns as line breaks.
std::string shown(std::string_view cp1251) {
    std::string s = zt::cp1251ToUtf8(cp1251);
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') continue;
            out += '\n';
        } else {
            out += s[i];
        }
    }
    return out;
}

// Prints the usage text.
int usage() {
    std::cerr << "usage: kelvo-script tokens FILE\n"
                 "       kelvo-script disasm FILE [--lib FILE | --no-lib]\n"
                 "       kelvo-script run FILE [--lib FILE | --no-lib] [--libdir DIR] "
                 "[--var NAME:TYPE=VALUE]...\n"
                 "TYPE is INTEGER, DOUBLE, BOOLEAN, PCHAR or VARIANT.\n";
    return kExitUsage;
}

// NAME:TYPE=VALUE into a host variable; false with a message when it does not parse.
bool parseVar(const std::string& arg, zs::Variables& vars) {
    const auto colon = arg.find(':');
    const auto eq = arg.find('=', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || eq == std::string::npos || colon == 0) {
        std::cerr << "kelvo-script: --var wants NAME:TYPE=VALUE, got '" << arg << "'\n";
        return false;
    }
    const std::string name = zt::utf8ToCp1251(arg.substr(0, colon));
    const std::string type = zt::upperUtf8(arg.substr(colon + 1, eq - colon - 1));
    const std::string value = arg.substr(eq + 1);
    auto bad = [&] {
        std::cerr << "kelvo-script: '" << value << "' is not a " << type << " value\n";
        return false;
    };
    if (type == "INTEGER") {
        auto v = zt::parseMachineInteger(value);
        if (!v) return bad();
        vars.setVariable(name, *v, zs::kTypeInteger);
    } else if (type == "DOUBLE" || type == "TDATETIME") {
        auto v = zt::parseMachineNumber(value);
        if (!v) return bad();
        vars.setVariable(name, *v, zs::kTypeDouble);
    } else if (type == "BOOLEAN") {
        const std::string v = zt::lowerUtf8(value);
        if (v == "true" || v == "1" || v == "да") {
            vars.setVariable(name, true, zs::kTypeBoolean);
        } else if (v == "false" || v == "0" || v == "нет") {
            vars.setVariable(name, false, zs::kTypeBoolean);
        } else {
            return bad();
        }
    } else if (type == "PCHAR" || type == "TEXT" || type == "VARIANT") {
        try {
            vars.setVariable(name, zt::utf8ToCp1251(value),
                             type == "VARIANT" ? zs::kTypeVariant : zs::kTypeText);
        } catch (const zt::EncodingError& e) {
            std::cerr << "kelvo-script: " << e.what() << "\n";
            return false;
        }
    } else {
        std::cerr << "kelvo-script: unknown type '" << type << "'\n";
        return false;
    }
    return true;
}

// Reads a script file, reporting failures on stderr.
bool readFile(const std::string& path, std::string& text) {
    try {
        text = zs::readScriptFile(path);
        return true;
    } catch (const std::exception& e) {
        std::cerr << "kelvo-script: " << path << ": " << e.what() << "\n";
        return false;
    }
}

// kelvo-script tokens: one token per line.
int tokens(const std::string& path) {
    std::string text;
    if (!readFile(path, text)) return kExitUsage;
    zs::LexAnalyst lex(text);
    lex.raiseOnError = false;
    std::string error;
    lex.onError = [&](int, const std::string& message, int, int) { error = message; };
    for (;;) {
        const zs::Token& t = lex.nextToken();
        if (t.kind == zs::tkEnd) break;
        std::cout << zs::tokenKindName(t.kind) << '\t' << shown(t.text) << '\t' << t.line << '\t'
                  << t.column << '\n';
    }
    if (!error.empty()) {
        std::cerr << shown(error) << '\n';
        return kExitCompile;
    }
    return 0;
}

class StderrSink : public zs::VMErrorSink {
  public:
    void showRunTimeError(const std::string& text) override { std::cerr << shown(text) << '\n'; }
};

}  // namespace

// tokens | disasm | run, with the exit codes of the usage text.
int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    const std::string path = argv[2];
    if (command == "tokens") return argc == 3 ? tokens(path) : usage();
    if (command != "disasm" && command != "run") return usage();

    zs::Script script;
    std::string libText(zs::rtlSource());
    std::string libDir;  // --libdir: libraries and INCLUDE files; else the built libraries' folder
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lib" && i + 1 < argc) {
            if (!readFile(argv[++i], libText)) return kExitUsage;
        } else if (a == "--no-lib") {
            libText.clear();
        } else if (a == "--libdir" && i + 1 < argc) {
            libDir = argv[++i];
            if (libDir.empty()) libDir = ".";
            if (libDir.back() != '/') libDir += '/';
        } else if (a == "--var" && i + 1 < argc && command == "run") {
            if (!parseVar(argv[++i], script.hostVariables)) return kExitUsage;
        } else {
            return usage();
        }
    }
    std::string source;
    if (!readFile(path, source)) return kExitUsage;
    script.source = source;
    script.librarySource = libText;
    std::error_code ec;
    auto dir = std::filesystem::absolute(path, ec).parent_path().string();
    script.baseDirectory = dir.empty() ? "./" : dir + "/";
    if (!libDir.empty()) script.baseDirectory = libDir;
    script.libraryDirectory = libDir.empty() ? zs::programDirectory() : libDir;
    script.onError = [](int, const std::string& text, int, int) {
        std::cerr << shown(text) << '\n';
    };

    if (command == "disasm") {
        if (!script.compile()) return kExitCompile;
        const auto& code = script.machine().code;
        for (std::size_t i = 0; i < code.size(); ++i) {
            std::cout << shown(zs::disassemble(code[i], i)) << '\n';
        }
        return 0;
    }

    std::string line;
    script.onSendEvent = [&](std::string_view event, std::span<const zs::EventArg> args,
                             std::string&) {
        line.assign(event);
        for (const zs::EventArg& a : args) {
            line += ' ';
            line += a.name;
            line += '=';
            line += zs::valueText(*a.value, script.machine().decimalSeparator);
        }
        std::cout << shown(line) << '\n';
    };
    StderrSink sink;
    script.machine().errorSink = &sink;
    const zs::RunStatus status = script.run();
    std::cout.flush();
    if (script.errorState()) return kExitCompile;
    return status == zs::RunStatus::Error ? kExitRun : 0;
}
