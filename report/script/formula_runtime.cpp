#include "formula_runtime.h"

#include <dlfcn.h>

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "external_call.h"
#include "text/cp1251.h"

namespace zentra::script {
namespace {

constexpr const char* kLibraryName = "Runtime.lib";

std::string Cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}

// The Query routines a look-up needs, resolved once with the library.
struct RuntimeLibrary {
    void* handle = nullptr;
    std::string path;
    const char* (*lastError)() = nullptr;
    void (*endRun)() = nullptr;
    std::int32_t (*create)(const char*, const char*, const char*) = nullptr;
    void (*free)(std::int32_t) = nullptr;
    std::uint8_t (*execute)(std::int32_t) = nullptr;
    std::uint8_t (*eof)(std::int32_t) = nullptr;
    const char* (*field)(std::int32_t, std::int32_t) = nullptr;
    void (*param)(std::int32_t, std::int32_t, const char*) = nullptr;
};

// The module's one handle. Look-ups run on the GUI thread of a build; the mutex only keeps two
// hosts that share the process (a report server) from loading twice.
std::mutex g_mutex;
std::unique_ptr<RuntimeLibrary> g_library;
bool g_releaseAtExit = false;

// Only a file named Runtime.lib (any letter case) directly inside the library folder: never
// the system loader's search path, never elsewhere.
std::string LibraryPath(const std::string& folder) {
    std::string dir = folder.empty() ? std::string("./") : folder;
    for (auto& c : dir)
        if (c == '\\') c = '/';
    if (dir.back() != '/') dir += '/';
    return findFileInFolder(dir, kLibraryName);
}

// Resolves one export or raises naming it; the half-loaded library is closed by the caller.
template <typename Fn>
void Resolve(void* handle, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(::dlsym(handle, name));
    if (!out) {
        throw FormulaError(Cp("В библиотеке \"") + kLibraryName + Cp("\" нет процедуры \"") + name +
                           "\"");
    }
}

// Loads the library from folder; raises a clear error when it is missing or incomplete.
std::unique_ptr<RuntimeLibrary> Load(const std::string& folder) {
    const std::string path = LibraryPath(folder);
    if (path.empty()) {
        throw FormulaError(Cp("Библиотека \"") + kLibraryName + Cp("\" ненайдена в папке \"") +
                           folder + "\"");
    }
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* why = ::dlerror();
        throw FormulaError(Cp("Библиотека \"") + path + Cp("\" не загружена: ") + (why ? why : ""));
    }
    auto lib = std::make_unique<RuntimeLibrary>();
    lib->handle = h;
    lib->path = path;
    try {
        Resolve(h, "Kr_LastError", lib->lastError);
        Resolve(h, "Kr_EndRun", lib->endRun);
        Resolve(h, "Query_Create", lib->create);
        Resolve(h, "Query_Free", lib->free);
        Resolve(h, "Query_Execute", lib->execute);
        Resolve(h, "Query_EOF", lib->eof);
        Resolve(h, "Field_AsPChar", lib->field);
        Resolve(h, "Param_AsPChar", lib->param);
    } catch (...) {
        ::dlclose(h);
        throw;
    }
    return lib;
}

// Ends what look-ups left and closes the handle; the caller holds g_mutex.
void ReleaseLocked() {
    if (!g_library) return;
    g_library->endRun();
    ::dlclose(g_library->handle);
    g_library.reset();
}

void ReleaseAtExit() {
    ReleaseFormulaRuntime();
}

// The library's error text after a call, empty when the call succeeded.
std::string LastError(const RuntimeLibrary& lib) {
    const char* e = lib.lastError();
    return e ? std::string(e) : std::string();
}

// A failed look-up names its statement, so the cell shows which lookup broke.
[[noreturn]] void QueryFailed(const std::string& select, const std::string& error) {
    throw FormulaError(Cp("Ошибка запроса \"") + select + "\": " + error);
}

}  // namespace

RuntimeFormulaLookup& RuntimeFormulaLookup::Shared() {
    static RuntimeFormulaLookup lookup;
    return lookup;
}

// Create, bind in written order, execute, read the field of the first row, free.
bool RuntimeFormulaLookup::Query(const std::string& driver, const std::string& connection,
                                 const std::string& libraryFolder, const std::string& select,
                                 const std::vector<std::string>& params, int field,
                                 std::string& value) {
    std::lock_guard lock(g_mutex);
    if (!g_library) g_library = Load(libraryFolder);
    const RuntimeLibrary& lib = *g_library;

    const std::int32_t q = lib.create(driver.c_str(), connection.c_str(), select.c_str());
    // The driver and its database client are loaded now: releasing before their own exit-time
    // clean-up (handlers run in reverse order of registration) closes the pooled connections
    // while the client still works.
    if (!g_releaseAtExit) {
        g_releaseAtExit = true;
        std::atexit(ReleaseAtExit);
    }
    if (const std::string e = LastError(lib); !e.empty()) QueryFailed(select, e);
    if (q == 0) return false;
    struct Free {
        const RuntimeLibrary& lib;
        std::int32_t q;
        ~Free() { lib.free(q); }
    } freeQuery{lib, q};

    for (std::size_t i = 0; i < params.size(); ++i) {
        lib.param(q, static_cast<std::int32_t>(i), params[i].c_str());
        if (const std::string e = LastError(lib); !e.empty()) QueryFailed(select, e);
    }
    const bool executed = lib.execute(q) != 0;
    if (const std::string e = LastError(lib); !e.empty()) QueryFailed(select, e);
    value.clear();
    if (!executed) return true;
    // A select without rows gives the empty text rather than a "no current row" error.
    const bool noRow = lib.eof(q) != 0;
    if (const std::string e = LastError(lib); !e.empty()) QueryFailed(select, e);
    if (noRow) return true;
    const char* text = lib.field(q, field);
    if (const std::string e = LastError(lib); !e.empty()) QueryFailed(select, e);
    value = text ? text : "";  // copied before Query_Free ends the text's life
    return true;
}

void ReleaseFormulaRuntime() {
    std::lock_guard lock(g_mutex);
    ReleaseLocked();
}

std::string FormulaRuntimePath() {
    std::lock_guard lock(g_mutex);
    return g_library ? g_library->path : std::string();
}

}  // namespace zentra::script
