#include "runtime_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "text/cp1251.h"

namespace kelvo::testing {
namespace {

void* open(const char* file) {
    const std::string path = (zentra::testing::buildDir() / "bin" / file).string();
    // Kept loaded for the whole test program, as the report server keeps Runtime.lib for a run.
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        std::abort();
    }
    return lib;
}

}  // namespace

void* runtimeLibrary() {
    static void* lib = open("Runtime.lib");
    return lib;
}

void* morvaneLibrary() {
    static void* lib = open("Morvane.dll");
    return lib;
}

void* resolve(void* library, const char* name) {
    void* p = dlsym(library, name);
    if (!p) {
        ADD_FAILURE() << "export " << name << " not found";
        std::abort();
    }
    return p;
}

std::string lastError() {
    return utf8(RT(Kr_LastError)());
}

std::string cp(std::string_view text) {
    return zentra::text::utf8ToCp1251(text);
}
std::string utf8(const char* text) {
    return text ? zentra::text::cp1251ToUtf8(text) : "<null>";
}

}  // namespace kelvo::testing
