// Timing harness for report scripts: compiles FILE with the script library and runs Main with a
// SendEvent handler that does nothing, or (--compile) only compiles it. Prints the median time
// in seconds of --runs runs (default 5). Times are process CPU time, as Lua's os.clock() gives,
// so that both sides are measured alike on a busy machine; --wall adds the median wall-clock
// time as a second number (for work that waits, such as a database engine's threads or disk).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "rtl_source.h"
#include "script.h"

namespace zs = zentra::script;

// Times FILE: compile only, or compile and run, --runs times; prints the median.
int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvo_vm_bench FILE [--compile] [--runs N] [--wall]\n");
        return 2;
    }
    bool compileOnly = false;
    bool wall = false;
    int runs = 5;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--compile")) compileOnly = true;
        if (!std::strcmp(argv[i], "--wall")) wall = true;
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atoi(argv[++i]);
    }
    zs::Script script;
    script.source = zs::readScriptFile(argv[1]);
    script.librarySource = std::string(zs::rtlSource());
    script.onError = [](int kind, const std::string& text, int, int) {
        if (kind == 0) std::fprintf(stderr, "%s\n", text.c_str());
    };
    long long events = 0;
    script.onSendEvent = [&](std::string_view, std::span<const zs::EventArg>, std::string&) {
        ++events;
    };
    auto cpuNow = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    };
    auto wallNow = [] {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    };
    std::vector<double> times, wallTimes;
    for (int r = 0; r < runs; ++r) {
        const double w0 = wallNow();
        const double t0 = cpuNow();
        const bool ok = compileOnly ? script.compile() : script.run() == zs::RunStatus::Finished;
        const double t1 = cpuNow();
        wallTimes.push_back(wallNow() - w0);
        if (!ok) {
            std::fprintf(stderr, "kelvo_vm_bench: %s failed\n", argv[1]);
            return 1;
        }
        times.push_back(t1 - t0);
    }
    std::sort(times.begin(), times.end());
    std::sort(wallTimes.begin(), wallTimes.end());
    if (wall) {
        std::printf("%.6f %.6f\n", times[times.size() / 2], wallTimes[wallTimes.size() / 2]);
    } else {
        std::printf("%.6f\n", times[times.size() / 2]);
    }
    return 0;
}
