// Shared machinery of the runtime library's exports: the error channel read by Kr_LastError,
// the per-routine result texts, and the guard that keeps C++ exceptions inside the library.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#define KR_EXPORT extern "C" __attribute__((visibility("default")))

namespace kelvo::runtime {

// A failure meant for the script author; its text becomes the run-time error. The text is
// cp1251 already (build it with cp() around literals, script texts appended as they are).
class RtError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A literal of this source (UTF-8) in cp1251, the encoding of every text the machine sees.
std::string cp(std::string_view utf8);
// A message from elsewhere (the database layer, the C++ library): UTF-8 is converted, anything
// else (cp1251 from the engine, plain ASCII) is kept as it is.
std::string foreignMessage(std::string_view text);

void clearError();
void setError(std::string text);
const std::string& lastError();

// A text argument as the machine hands it over; a null address reads as the empty text.
inline std::string_view arg(const char* p) {
    return p ? std::string_view(p) : std::string_view();
}

// Runs the body of an export: clears the error first, and turns any exception into the error
// text and the routine's documented failure value.
template <typename R, typename F>
R guarded(R failed, F&& body) noexcept {
    clearError();
    try {
        return body();
    } catch (const RtError& e) {
        setError(e.what());
    } catch (const std::exception& e) {
        setError(foreignMessage(e.what()));
    } catch (...) {
        setError(cp("Неизвестная ошибка в библиотеке Runtime.lib"));
    }
    return failed;
}

template <typename F>
void guardedVoid(F&& body) noexcept {
    clearError();
    try {
        body();
    } catch (const RtError& e) {
        setError(e.what());
    } catch (const std::exception& e) {
        setError(foreignMessage(e.what()));
    } catch (...) {
        setError(cp("Неизвестная ошибка в библиотеке Runtime.lib"));
    }
}

// Handles of queries, files and progress windows come from one counter, so that a handle of
// one kind is never valid as another, and none is reused within the process.
int32_t newHandle();

// The folder this library was loaded from: the only place it loads its helper libraries from.
std::string ownDirectory();

// Release of the run's leftovers, one function per group; Kr_EndRun calls them all.
void endRunQueries();
void endRunFiles();
void endRunVisuals();

// The day number of a TDATETIME value (its day part); throws for values that are no date.
int32_t dayOf(double value);

}  // namespace kelvo::runtime

// Each text-returning export keeps its result in its own buffer, valid until the next call of
// the same routine on the same thread.
#define KR_TEXT_RESULT(expr)                     \
    do {                                         \
        static thread_local std::string result_; \
        result_ = (expr);                        \
        return result_.c_str();                  \
    } while (0)
