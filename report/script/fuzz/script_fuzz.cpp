// Fuzz target for the whole pipeline: lexer, compiler (with and without the script library) and
// the machine, with tight limits so that every input ends quickly and within bounded memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lexer.h"
#include "rtl_source.h"
#include "script.h"

namespace zs = zentra::script;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // first byte: options; the rest: the script text as cp1251 bytes
    const std::uint8_t options = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    zs::LexAnalyst lex(text);
    lex.raiseOnError = false;
    for (int i = 0; i < 100000 && lex.nextToken().kind != zs::tkEnd; ++i) {
    }

    zs::Script script;
    script.source = text;
    if (options & 1) script.librarySource = std::string(zs::rtlSource());
    script.hostVariables.setVariable("x", 5LL, zs::kTypeInteger);
    script.hostVariables.setVariable("s", std::string("abc"), zs::kTypeText);
    auto& limits = script.machine().limits;
    limits.maxSteps = 20000;
    limits.maxArrayElements = 4096;
    limits.maxTextLength = 1024;
    limits.maxReturnDepth = 512;
    limits.maxStackDepth = 8192;
    int events = 0;
    script.onSendEvent = [&](std::string_view event, std::span<const zs::EventArg>, std::string& answer) {
        if (++events > 1000) script.stop();
        switch ((options >> 1) & 3) {
            case 1: answer = "12"; break;
            case 2: answer = "cell_data:"; answer += event; break;
            default: break;
        }
    };
    script.run();
    std::string value;
    script.getVariableValue("", "x", value);
    return 0;
}
