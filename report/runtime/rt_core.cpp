// The error channel, the end of a run, memory and the dialog routines that arrive with the
// script dialogs.
#include <dlfcn.h>

#include <atomic>

#include "rt_support.h"
#include "runtime_abi.h"
#include "text/cp1251.h"

namespace kelvo::runtime {

namespace {
thread_local std::string errorText;
std::atomic<int32_t> handleCounter{0};
}  // namespace

std::string cp(std::string_view utf8) {
    try {
        return zentra::text::utf8ToCp1251(utf8);
    } catch (const std::exception&) {
        return std::string(utf8);
    }
}

std::string foreignMessage(std::string_view text) {
    return zentra::text::looksLikeUtf8(text) ? cp(text) : std::string(text);
}

void clearError() {
    errorText.clear();
}
void setError(std::string text) {
    errorText = std::move(text);
}
const std::string& lastError() {
    return errorText;
}

std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Kr_EndRun), &info) == 0 || !info.dli_fname) return ".";
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

int32_t newHandle() {
    // Wrapping around after two thousand million handles is acceptable; 0 and negatives are
    // never handed out, since scripts test handles against 0 and -1.
    int32_t h = ++handleCounter;
    if (h <= 0) {
        handleCounter = 1;
        h = 1;
    }
    return h;
}

namespace {

// The one buffer GetMem hands out (see GetMem).
thread_local std::string memBuffer;

[[noreturn]] void notAvailable(const char* routine) {
    throw RtError(cp("Процедура \"") + routine +
                  cp("\" недоступна: диалоговые окна отчётов ещё не реализованы"));
}

}  // namespace

}  // namespace kelvo::runtime

using namespace kelvo::runtime;

KR_EXPORT const char* Kr_LastError(void) {
    return lastError().c_str();
}

KR_EXPORT void Kr_EndRun(void) {
    guardedVoid([] {
        endRunQueries();
        endRunFiles();
        endRunVisuals();
        memBuffer.clear();
        memBuffer.shrink_to_fit();
    });
    clearError();
}

// GetMem and FreeMem keep their declarations, but the machine copies every text argument and
// result: a script never holds memory of ours. So GetMem gives a text of Size blanks, which a
// script can use as a buffer of that length, and FreeMem releases only the address GetMem
// handed out last; any other address (the machine's own copies) is ignored, never freed.
KR_EXPORT const char* GetMem(int32_t Size) {
    return guarded<const char*>("", [&] {
        constexpr int32_t kMaxSize = 1 << 20;
        if (Size < 0) throw RtError(cp("GetMem: отрицательный размер ") + std::to_string(Size));
        memBuffer.assign(static_cast<size_t>(Size < kMaxSize ? Size : kMaxSize), ' ');
        return memBuffer.c_str();
    });
}

KR_EXPORT void FreeMem(const char* Address) {
    guardedVoid([&] {
        if (Address && Address == memBuffer.c_str()) {
            memBuffer.clear();
            memBuffer.shrink_to_fit();
        }
    });
}

KR_EXPORT int32_t DialogCreate(const char*, const char*) {
    return guarded<int32_t>(-1, [&]() -> int32_t { notAvailable("DialogCreate"); });
}
KR_EXPORT int32_t DialogCreateEx(const char*, const char*, const char*) {
    return guarded<int32_t>(-1, [&]() -> int32_t { notAvailable("DialogCreateEx"); });
}
KR_EXPORT int32_t DialogShowModal(int32_t) {
    return guarded<int32_t>(0, [&]() -> int32_t { notAvailable("DialogShowModal"); });
}
KR_EXPORT void DialogFree(int32_t) {
    guardedVoid([&] { notAvailable("DialogFree"); });
}
KR_EXPORT const char* DialogParamAsString(int32_t, const char*) {
    return guarded<const char*>("", [&]() -> const char* { notAvailable("DialogParamAsString"); });
}
KR_EXPORT uint8_t DialogParamAsBoolean(int32_t, const char*) {
    return guarded<uint8_t>(0, [&]() -> uint8_t { notAvailable("DialogParamAsBoolean"); });
}
KR_EXPORT int32_t DialogParamAsInteger(int32_t, const char*) {
    return guarded<int32_t>(0, [&]() -> int32_t { notAvailable("DialogParamAsInteger"); });
}
KR_EXPORT double DialogParamAsDouble(int32_t, const char*) {
    return guarded<double>(0.0, [&]() -> double { notAvailable("DialogParamAsDouble"); });
}
KR_EXPORT void DialogSetParamAsDouble(int32_t, const char*, double) {
    guardedVoid([&] { notAvailable("DialogSetParamAsDouble"); });
}
KR_EXPORT void DialogSetParamAsString(int32_t, const char*, const char*) {
    guardedVoid([&] { notAvailable("DialogSetParamAsString"); });
}
KR_EXPORT void DialogSetParamAsInteger(int32_t, const char*, int32_t) {
    guardedVoid([&] { notAvailable("DialogSetParamAsInteger"); });
}
KR_EXPORT void DialogSetParamAsBoolean(int32_t, const char*, uint8_t) {
    guardedVoid([&] { notAvailable("DialogSetParamAsBoolean"); });
}
