// Loads "Runtime.lib" and "Morvane.dll" from the build's bin/ folder the way the virtual machine
// does (dlopen with RTLD_NOW | RTLD_LOCAL) and resolves routines by name. The function types
// come from the declarations in runtime_abi.h, so a routine is called through exactly the C
// signature the machine will use.
#pragma once

#include <string>
#include <string_view>

#include "runtime_abi.h"

namespace kelvo::testing {

void* runtimeLibrary();
void* morvaneLibrary();
void* resolve(void* library, const char* name);  // fails the test when absent

template <typename F>
F* routine(void* library, const char* name) {
    return reinterpret_cast<F*>(resolve(library, name));
}

// Kr_LastError after the last call, in UTF-8 for readable test messages.
std::string lastError();

// Test texts are written in UTF-8; the library speaks cp1251.
std::string cp(std::string_view utf8);
std::string utf8(const char* cp1251);

}  // namespace kelvo::testing

// RT(Name) is the routine Name of Runtime.lib, typed by its declaration.
#define RT(name) \
    (::kelvo::testing::routine<decltype(::name)>(::kelvo::testing::runtimeLibrary(), #name))
