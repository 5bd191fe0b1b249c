// A small shared library the external-call tests load: one routine per result rule of the call
// step, plus Kr_LastError/Kr_EndRun in the form our runtime libraries export them, so the
// machine's handling of both can be tested without those libraries.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::string g_error;       // Kr_LastError's text
std::string g_endRunFile;  // Kr_EndRun creates this file (empty: does nothing)
std::string g_text;        // buffer of the text results
int g_calls = 0;           // calls since the library was loaded
}  // namespace

extern "C" {

// Integer result -1: must arrive as -1, not as 4294967295.
__attribute__((visibility("default"))) std::int32_t ExtMinusOne() {
    ++g_calls;
    return -1;
}

// Boolean result: the low byte of Value.
__attribute__((visibility("default"))) std::uint8_t ExtByte(std::int32_t value) {
    ++g_calls;
    return static_cast<std::uint8_t>(value);
}

// Boolean argument: what arrived, as a number.
__attribute__((visibility("default"))) std::int32_t ExtBoolArg(std::uint8_t b) {
    ++g_calls;
    return b;
}

// Mixed argument kinds in declaration order: a*1000 + trunc(d*10) + strlen(s)*100000.
__attribute__((visibility("default"))) double ExtMix(std::int32_t a, double d, const char* s,
                                                     std::int32_t b) {
    ++g_calls;
    return a * 1000.0 + static_cast<int>(d * 10) + (s ? std::strlen(s) : 0) * 100000.0 + b;
}

// Ten integers and ten doubles: more than the registers hold, so the rest travel on the stack.
// Returns sum(k * ik) + sum(k * dk) / 100 for k = 1..10.
__attribute__((visibility("default"))) double ExtMany(std::int32_t i1, double d1, std::int32_t i2,
                                                      double d2, std::int32_t i3, double d3,
                                                      std::int32_t i4, double d4, std::int32_t i5,
                                                      double d5, std::int32_t i6, double d6,
                                                      std::int32_t i7, double d7, std::int32_t i8,
                                                      double d8, std::int32_t i9, double d9,
                                                      std::int32_t i10, double d10) {
    ++g_calls;
    const std::int32_t is[] = {i1, i2, i3, i4, i5, i6, i7, i8, i9, i10};
    const double ds[] = {d1, d2, d3, d4, d5, d6, d7, d8, d9, d10};
    double r = 0;
    for (int k = 0; k < 10; ++k)
        r += (k + 1) * is[k] + (k + 1) * ds[k] / 100;
    return r;
}

// Six integer-class arguments of each kind, as many as the registers for them hold:
// a + 10*b + 100*strlen(s) + 1000*c + 10000*d + 100000*e.
__attribute__((visibility("default"))) double ExtWeigh6(std::int32_t a, std::uint8_t b,
                                                        const char* s, std::int32_t c,
                                                        std::int32_t d, std::int32_t e) {
    ++g_calls;
    return a + 10.0 * b + 100.0 * (s ? std::strlen(s) : 0) + 1000.0 * c + 10000.0 * d +
           100000.0 * e;
}

// One integer more than the registers hold: sum(k * ik) for k = 1..7.
__attribute__((visibility("default"))) std::int32_t ExtWeigh7(std::int32_t i1, std::int32_t i2,
                                                              std::int32_t i3, std::int32_t i4,
                                                              std::int32_t i5, std::int32_t i6,
                                                              std::int32_t i7) {
    ++g_calls;
    return i1 + 2 * i2 + 3 * i3 + 4 * i4 + 5 * i5 + 6 * i6 + 7 * i7;
}

// safecall with five arguments: the result pointer takes the last register. sum(k * ak).
__attribute__((visibility("default"))) std::int32_t ExtSafeWeigh5(std::int32_t a1, std::int32_t a2,
                                                                  std::int32_t a3, std::int32_t a4,
                                                                  std::int32_t a5,
                                                                  std::int32_t* result) {
    *result = a1 + 2 * a2 + 3 * a3 + 4 * a4 + 5 * a5;
    return 0;
}

// safecall with six arguments: the result pointer travels on the stack. sum(k * ak).
__attribute__((visibility("default"))) std::int32_t ExtSafeWeigh6(std::int32_t a1, std::int32_t a2,
                                                                  std::int32_t a3, std::int32_t a4,
                                                                  std::int32_t a5, std::int32_t a6,
                                                                  std::int32_t* result) {
    *result = a1 + 2 * a2 + 3 * a3 + 4 * a4 + 5 * a5 + 6 * a6;
    return 0;
}

// Writes '#' over the text it is given, as a routine filling a buffer would; returns how many
// of its characters were something else before.
__attribute__((visibility("default"))) std::int32_t ExtScribble(char* s) {
    std::int32_t fresh = 0;
    for (; s && *s; ++s) {
        fresh += *s != '#';
        *s = '#';
    }
    return fresh;
}

// Double result.
__attribute__((visibility("default"))) double ExtHalf(double x) {
    ++g_calls;
    return x / 2;
}

// Declared with a Variant parameter by the tests: the machine must refuse the call.
__attribute__((visibility("default"))) double ExtIdentity(double x) {
    ++g_calls;
    return x;
}

// Text result owned by the library, valid until the next call.
__attribute__((visibility("default"))) const char* ExtBracket(const char* s) {
    ++g_calls;
    g_text = "[";
    g_text += s ? s : "(null)";
    g_text += "]";
    return g_text.c_str();
}

// A null text result: cell 0 must become undefined.
__attribute__((visibility("default"))) const char* ExtNullText() {
    ++g_calls;
    return nullptr;
}

// Length of a text: the routine the benchmark calls.
__attribute__((visibility("default"))) std::int32_t ExtStrLen(const char* s) {
    return s ? static_cast<std::int32_t>(std::strlen(s)) : 0;
}

// Calls since load: stays counting while the library stays loaded.
__attribute__((visibility("default"))) std::int32_t ExtCalls() {
    return ++g_calls;
}

// safecall: status 0x80004005 when Divisor is 0, else the quotient through Result.
__attribute__((visibility("default"))) std::int32_t ExtSafeDiv(std::int32_t a, std::int32_t b,
                                                               std::int32_t* result) {
    if (b == 0) return static_cast<std::int32_t>(0x80004005u);
    *result = a / b;
    return 0;
}

// Fails when Message is not empty: the text is left for Kr_LastError; returns 0.
__attribute__((visibility("default"))) std::int32_t ExtFail(const char* message) {
    g_error = message ? message : "";
    return 0;
}

// Kr_EndRun will create the file Path (so a test can see that it ran).
__attribute__((visibility("default"))) void ExtSetEndRunFile(const char* path) {
    g_error.clear();
    g_endRunFile = path ? path : "";
}

__attribute__((visibility("default"))) const char* Kr_LastError() {
    return g_error.c_str();
}

__attribute__((visibility("default"))) void Kr_EndRun() {
    if (!g_endRunFile.empty()) {
        if (FILE* f = std::fopen(g_endRunFile.c_str(), "w")) {
            std::fputs("end\n", f);
            std::fclose(f);
        }
    }
    g_error.clear();
}

}  // extern "C"
