// Helpers shared by the script tests: cp1251/UTF-8 conversion, compiling and running a source
// text with events recorded as lines, and disassembly of a compiled source.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "script.h"

namespace kt {

std::string cp(std::string_view utf8);
std::string u8(std::string_view cp1251);

// Declaration of the event routine for tests that compile without the script library.
inline constexpr const char* kSendEventDecl =
    "function SendEvent(EventName : pchar; Params : variant) : variant; external; stdcall; "
    "'Runtime.lib';\n";

struct Outcome {
    bool compiled = false;
    std::string compileError;  // UTF-8, the first error reported
    zentra::script::RunStatus status = zentra::script::RunStatus::Finished;
    std::string runError;             // UTF-8, machine-state lines joined by '\r'
    std::vector<std::string> events;  // "EVENT NAME=value ..." in UTF-8
    int finishCalls = 0;
};

// Compiles and runs a UTF-8 source; `setup` may adjust the script object before the run.
Outcome run(std::string_view utf8Source, bool withLibrary = false,
            const std::function<void(zentra::script::Script&)>& setup = {});
// The compile error of a source ("" if it compiles).
std::string compileError(std::string_view utf8Source, bool withLibrary = false);
// Disassembly of a source compiled without the library, one line per instruction.
std::vector<std::string> disasm(std::string_view utf8Source);
// Renders one event as the tool prints it.
std::string eventLine(std::string_view event, std::span<const zentra::script::EventArg> args);

}  // namespace kt
