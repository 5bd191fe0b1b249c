// zentra-mkdb: makes catalogue databases from the project's SQL files.
//   zentra-mkdb --empty OUT.fdb          the database delivered with the program
//   zentra-mkdb --demo OUT.fdb           a demo catalogue (--products N, default 2,400)
//   zentra-mkdb --big N OUT.fdb          N products in about 2,000 groups, for benchmarks
//   zentra-mkdb --info FILE.fdb          row counts of an existing database
// --today YYYY-MM-DD fixes the day the demo dates are counted from (default: today).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "catalogue_builder.h"
#include "database.h"
#include "error.h"
#include "settings_table.h"
#include "text/format_settings.h"

namespace fs = std::filesystem;
using namespace zentra;

namespace {

int usage() {
    std::cerr << "usage: zentra-mkdb --empty OUT.fdb | --demo OUT.fdb [--products N] |\n"
                 "                   --big N OUT.fdb | --info FILE.fdb   [--today YYYY-MM-DD]\n";
    return 2;
}

// Builds into a temporary file beside OUT and renames it into place only when complete, so
// a failed run never leaves a half-made database under the final name.
int build(const std::string& mode, const std::string& out, int count, text::Date today) {
    const fs::path target = fs::absolute(out);
    const fs::path tmp = target.string() + ".tmp" + std::to_string(getpid());
    fs::remove(tmp);
    try {
        db::Database database;
        db::ConnectParams params;
        params.database = tmp.string();
        database.create(params);
        mkdb::buildEmpty(database);
        auto progress = [](const std::string& line) { std::cerr << "  " << line << "\n"; };
        if (mode == "--demo") mkdb::fillDemo(database, today, count, progress);
        if (mode == "--big") mkdb::fillBig(database, today, count, progress);
        std::cout << mkdb::describe(database);
        database.close();
        fs::rename(tmp, target);
        std::cout << "written: " << target.string() << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::error_code ec;
        fs::remove(tmp, ec);
        std::cerr << "zentra-mkdb: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode, out;
    int count = 2400;
    text::Date today = text::Date::today();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(a);
            return argv[++i];
        };
        try {
            if (a == "--empty" || a == "--demo" || a == "--info") {
                mode = a;
                out = next();
            } else if (a == "--big") {
                mode = a;
                const auto n = text::parseMachineInteger(next());
                if (!n || *n < 1 || *n > 10'000'000) return usage();
                count = static_cast<int>(*n);
                out = next();
            } else if (a == "--products") {
                const auto n = text::parseMachineInteger(next());
                if (!n || *n < 1 || *n > 10'000'000) return usage();
                count = static_cast<int>(*n);
            } else if (a == "--today") {
                const auto d = text::parseMachineDate(next());
                if (!d) return usage();
                today = *d;
            } else {
                return usage();
            }
        } catch (const std::invalid_argument&) {
            return usage();
        }
    }
    if (mode.empty() || out.empty()) return usage();
    if (mode == "--info") {
        try {
            db::Database database;
            db::ConnectParams params;
            params.database = fs::absolute(out).string();
            database.open(params);
            std::cout << mkdb::describe(database);
            return 0;
        } catch (const std::exception& e) {
            std::cerr << "zentra-mkdb: " << e.what() << "\n";
            return 1;
        }
    }
    return build(mode, out, count, today);
}
