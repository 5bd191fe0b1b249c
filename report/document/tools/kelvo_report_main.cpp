// kelvo-report: builds a report file into a print grid file without any window.
//   kelvo-report build FILE.rpt [--libdir DIR] [--var NAME:TYPE=VALUE]... -o OUT.sf
// Compile and run-time errors go to standard error (as UTF-8) with a non-zero exit status:
// 1 build failed, 2 wrong command line, 3 aborted by the script.
#include <filesystem>
#include <iostream>
#include <string>

#include "document.h"
#include "formula_runtime.h"
#include "grid_stream.h"
#include "text/cp1251.h"
#include "text/format_settings.h"

namespace zr = zentra::report;
namespace zs = zentra::script;
namespace zt = zentra::text;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitAborted = 3;

int Usage() {
    std::cerr << "usage: kelvo-report build FILE.rpt [--libdir DIR] [--var NAME:TYPE=VALUE]... "
                 "-o OUT.sf\nTYPE is INTEGER, DOUBLE, BOOLEAN, PCHAR or VARIANT.\n";
    return kExitUsage;
}

// cp1251 text for the terminal.
std::string Shown(const std::string& cp1251) {
    std::string s = zt::cp1251ToUtf8(cp1251);
    for (auto& c : s)
        if (c == '\r') c = '\n';
    return s;
}

// NAME:TYPE=VALUE into an external variable, the way the automation object hands values in.
bool ParseVar(const std::string& arg, zs::Variables& vars) {
    const auto colon = arg.find(':');
    const auto eq = colon == std::string::npos ? std::string::npos : arg.find('=', colon);
    if (colon == std::string::npos || eq == std::string::npos || colon == 0) {
        std::cerr << "kelvo-report: --var wants NAME:TYPE=VALUE, got '" << arg << "'\n";
        return false;
    }
    std::string name, value;
    try {
        name = zt::utf8ToCp1251(arg.substr(0, colon));
        value = zt::utf8ToCp1251(arg.substr(eq + 1));
    } catch (const std::exception& e) {
        std::cerr << "kelvo-report: " << e.what() << "\n";
        return false;
    }
    const std::string type = zt::upperUtf8(arg.substr(colon + 1, eq - colon - 1));
    const std::string raw = arg.substr(eq + 1);
    auto bad = [&] {
        std::cerr << "kelvo-report: '" << raw << "' is not a " << type << " value\n";
        return false;
    };
    if (type == "INTEGER") {
        auto v = zt::parseMachineInteger(raw);
        if (!v) return bad();
        vars.setVariable(name, *v, zs::kTypeInteger);
    } else if (type == "DOUBLE") {
        auto v = zt::parseMachineNumber(raw);
        if (!v) return bad();
        vars.setVariable(name, *v, zs::kTypeDouble);
    } else if (type == "BOOLEAN") {
        const std::string v = zt::lowerUtf8(raw);
        if (v != "true" && v != "false" && v != "1" && v != "0") return bad();
        vars.setVariable(name, v == "true" || v == "1", zs::kTypeBoolean);
    } else if (type == "PCHAR" || type == "VARIANT") {
        vars.setVariable(name, value, type == "PCHAR" ? zs::kTypeText : zs::kTypeVariant);
    } else {
        std::cerr << "kelvo-report: unknown type '" << type << "'\n";
        return false;
    }
    return true;
}

class StderrSink : public zs::VMErrorSink {
  public:
    void showRunTimeError(const std::string& text) override { std::cerr << Shown(text) << '\n'; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::string(argv[1]) != "build") return Usage();
    const std::string input = argv[2];
    std::string output;
    zr::TDocument doc;
    std::string libdir;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--libdir" && i + 1 < argc) {
            libdir = argv[++i];
        } else if (a == "--var" && i + 1 < argc) {
            if (!ParseVar(argv[++i], doc.ExternalVariables)) return kExitUsage;
        } else if (a == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();
    try {
        doc.LoadFromFile(input);
    } catch (const std::exception& e) {
        std::cerr << "kelvo-report: " << input << ": " << Shown(e.what()) << '\n';
        return kExitFailed;
    }
    if (!libdir.empty()) {
        if (libdir.back() != '/' && libdir.back() != '\\') libdir += '/';
        doc.LibraryFolder = libdir;
    }
    StderrSink sink;
    doc.ErrorSink = &sink;
    doc.OnScriptMessage = [](int, const std::string& text, int, int) {
        std::cerr << Shown(text) << '\n';
    };
    zr::BuildResult r;
    try {
        r = doc.Build();
    } catch (const std::exception& e) {
        std::cerr << "kelvo-report: " << Shown(e.what()) << '\n';
        return kExitFailed;
    }
    // Formula look-ups are over: their database connection closes now, not at exit.
    zs::ReleaseFormulaRuntime();
    switch (r.Status) {
        case zr::BuildStatus::Built:
            break;
        case zr::BuildStatus::Aborted:
            std::cerr << "kelvo-report: the script aborted the report (AbortShowReport)\n";
            return kExitAborted;
        case zr::BuildStatus::Stopped:
            std::cerr << "kelvo-report: the script was stopped\n";
            return kExitFailed;
        default:
            // Messages were already written by the sinks above.
            return kExitFailed;
    }
    try {
        zr::SaveGridFile(doc.DocumentGrid(), output);
    } catch (const std::exception& e) {
        std::cerr << "kelvo-report: " << output << ": " << Shown(e.what()) << '\n';
        return kExitFailed;
    }
    return 0;
}
