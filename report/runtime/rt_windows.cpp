// Messages and progress windows. In a Qt host with a display they are windows, shown by
// "RuntimeUi.so" (runtime_ui.h); everywhere else they are lines on standard error, so that a
// report run without a user (the report tools, tests, a server) never waits for one.
#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "rt_support.h"
#include "runtime_abi.h"
#include "runtime_ui.h"
#include "text/cp1251.h"

namespace kelvo::runtime {
namespace {

// Standard error gets UTF-8, the terminal's encoding.
void writeLine(std::string_view cp1251) {
    const std::string line = zentra::text::cp1251ToUtf8(cp1251) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Whether the Qt widgets library is already part of this process. Runtime.lib never brings Qt
// into a process that runs without it: loading it would be slow and pointless there.
bool processHasQtWidgets() {
    void* qt = ::dlopen("libQt6Widgets.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!qt) return false;
    ::dlclose(qt);  // NOLOAD took a reference of its own
    return true;
}

struct UiLibrary {
    std::mutex mutex;
    bool tried = false;
    const KrUiApiV1* api = nullptr;
};
// The one record of the window library for the process.
UiLibrary& uiLibrary() {
    static UiLibrary u;
    return u;
}

// The window table of RuntimeUi.so beside this library, loaded at the first need in a Qt
// process and kept for the life of the process (Qt code is not unloaded safely). Null when the
// process has no Qt widgets or the library is missing or of another version.
const KrUiApiV1* uiApi() {
    UiLibrary& u = uiLibrary();
    std::lock_guard lock(u.mutex);
    if (u.api || u.tried) return u.api;
    if (!processHasQtWidgets()) return nullptr;  // Qt may still come: ask again next time
    u.tried = true;
    const std::string path = ownDirectory() + "/RuntimeUi.so";
    void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    using GetApi = const void* (*)(int32_t);
    auto getApi = reinterpret_cast<GetApi>(::dlsym(lib, "KrUi_GetApi"));
    const auto* api = getApi ? static_cast<const KrUiApiV1*>(getApi(KR_UI_API_VERSION)) : nullptr;
    if (!api || api->version != KR_UI_API_VERSION || api->size < sizeof(KrUiApiV1)) {
        ::dlclose(lib);
        return nullptr;
    }
    u.api = api;
    return api;
}

// The window table when a window can be shown now, else null (the standard-error forms).
const KrUiApiV1* windowsNow() {
    const KrUiApiV1* api = uiApi();
    return api && api->available() == 1 ? api : nullptr;
}

// Open progress windows by handle, with whether each is a real window.
struct Visuals {
    std::mutex mutex;
    std::map<int32_t, bool> open;
};
// The one table of progress handles for the process.
Visuals& visuals() {
    static Visuals v;
    return v;
}

}  // namespace

// Forgets every progress handle and closes the real windows among them.
void endRunVisuals() {
    bool anyWindow = false;
    {
        Visuals& v = visuals();
        std::lock_guard lock(v.mutex);
        for (const auto& [h, windowed] : v.open)
            anyWindow = anyWindow || windowed;
        v.open.clear();
    }
    if (anyWindow) {
        if (const KrUiApiV1* api = uiApi()) api->close_all();
    }
}

}  // namespace kelvo::runtime

using namespace kelvo::runtime;

// Title is the caption of the box; on standard error it comes first, "Title: Text".
KR_EXPORT void ShowMessage(const char* Text, const char* Title) {
    guardedVoid([&] {
        // A box that cannot be shown leaves the line on standard error: the message is not lost.
        if (const KrUiApiV1* api = windowsNow()) {
            if (api->show_message(Text ? Text : "", Title ? Title : "") == 0) return;
        }
        std::string line;
        if (!arg(Title).empty()) line.append(arg(Title)).append(": ");
        line.append(arg(Text));
        writeLine(line);
    });
}

// A progress window with Message (or its line), under a new handle.
KR_EXPORT int32_t StartVisual(const char* Message) {
    return guarded<int32_t>(0, [&] {
        const int32_t h = newHandle();
        const KrUiApiV1* api = windowsNow();
        // A window that cannot be made leaves the line on standard error; the handle stays good.
        const bool windowed = api && api->start_visual(h, Message ? Message : "") == 0;
        {
            Visuals& v = visuals();
            std::lock_guard lock(v.mutex);
            v.open[h] = windowed;
        }
        if (!windowed) writeLine(arg(Message));
        return h;
    });
}

// Closes the progress window of VisualWnd; a handle that is not open fails.
KR_EXPORT void StopVisual(int32_t VisualWnd) {
    guardedVoid([&] {
        bool windowed = false;
        {
            Visuals& v = visuals();
            std::lock_guard lock(v.mutex);
            auto it = v.open.find(VisualWnd);
            if (it == v.open.end()) {
                throw RtError(cp("Неверный дескриптор окна хода выполнения: ") +
                              std::to_string(VisualWnd));
            }
            windowed = it->second;
            v.open.erase(it);
        }
        if (windowed) {
            if (const KrUiApiV1* api = uiApi()) api->stop_visual(VisualWnd);
        }
    });
}
