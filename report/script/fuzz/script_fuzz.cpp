// Fuzz target for the whole pipeline: lexer, compiler (with and without the script library) and
// the machine, with tight limits so that every input ends quickly and within bounded memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "lexer.h"
#include "rtl_source.h"
#include "script.h"

namespace zs = zentra::script;

namespace {

// Answers every external call without loading anything, from what the machine hands over: the
// sum of the numbers and text lengths of the arguments, by the result type; Variant and
// undefined arguments are refused as the library caller refuses them. Lets fused and plain
// runs be compared past their first external call.
class EchoCaller : public zs::ExternalCaller {
  public:
    void call(const zs::ExternalCall& call, zs::Value& result) override {
        double sum = call.convention + static_cast<double>(call.routine.size());
        for (const zs::Value* v : call.args) {
            if ((v->flags & zs::kFlagVariant) || v->type == zs::kTypeUndefined ||
                v->type == zs::kTypeVariant) {
                throw std::runtime_error("wrong argument type in " + std::string(call.routine));
            }
            sum += v->store == zs::Store::Number ? v->num : static_cast<double>(v->text.size());
        }
        result.flags = 0;
        switch (call.resultType) {
            case zs::kTypeInteger:
            case zs::kTypeDouble:
            case zs::kTypeBoolean:
                result.setNumber(call.resultType, sum);
                break;
            case zs::kTypeText:
                result.setText(zs::kTypeText, std::string(call.library) + std::to_string(sum));
                break;
            default:
                result.reset(zs::kTypeUndefined);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // first byte: options (1 the script library, 2 and 4 the event answer, 8 external calls answered
    // by EchoCaller instead of refused); the rest: the script text as cp1251 bytes
    const std::uint8_t options = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    zs::LexAnalyst lex(text);
    lex.raiseOnError = false;
    for (int i = 0; i < 100000 && lex.nextToken().kind != zs::tkEnd; ++i) {
    }

    // The program runs twice, with fused forms and with plain instructions only: both must
    // produce the same events, the same error text and the same data segment (types, storage
    // kinds, numbers to the bit, texts, elements).
    struct Result {
        zs::RunStatus status;
        std::vector<std::string> events;
        std::string error;
        std::string cells;
    };
    auto dumpValue = [](std::string& out, const zs::Value& v) {
        double num = v.num;
        if (num != num) num = 0;  // any NaN: payloads may differ between equal computations
        char buf[64];
        std::snprintf(buf, sizeof buf, "%d/%d/%d/%a/", v.type, v.flags, static_cast<int>(v.store),
                      num);
        out += buf;
        if (v.store == zs::Store::Text) out += v.text;  // other texts are left-overs
        out += ';';
    };
    auto runOnce = [&](bool fused) {
        Result r;
        // fuzz inputs must not load libraries: an EXTERNAL 'libc.so.6' could call anything
        zs::UnavailableExternalCaller noLibraries;
        EchoCaller echo;
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
        limits.fuseSequences = fused;
        script.machine().externals =
            (options & 8) ? static_cast<zs::ExternalCaller*>(&echo) : &noLibraries;
        int events = 0;
        script.onSendEvent = [&](std::string_view event, std::span<const zs::EventArg> args,
                                 std::string& answer) {
            if (++events > 1000) script.stop();
            std::string line(event);
            for (const auto& a : args) {
                line += ' ';
                line += a.name;
                line += '=';
                line += zs::valueText(*a.value);
            }
            r.events.push_back(std::move(line));
            switch ((options >> 1) & 3) {
                case 1:
                    answer = "12";
                    break;
                case 2:
                    answer = "cell_data:";
                    answer += event;
                    break;
                default:
                    break;
            }
        };
        r.status = script.run();
        r.error = script.machine().lastError();
        const zs::RunTimeData& data = script.machine().data;
        for (int i = 0; i < data.count(); ++i) {
            const zs::DataCell& c = data.cell(i);
            dumpValue(r.cells, c.v);
            for (const zs::Value& e : c.elems)
                dumpValue(r.cells, e);
            for (double d : c.nums) {
                zs::Value e;
                e.num = d;
                dumpValue(r.cells, e);
            }
            r.cells += '\n';
        }
        std::string value;
        script.getVariableValue("", "x", value);
        return r;
    };
    const Result fused = runOnce(true);
    const Result plain = runOnce(false);
    if (fused.status != plain.status || fused.events != plain.events ||
        fused.error != plain.error || fused.cells != plain.cells) {
        std::fprintf(stderr, "fused and plain runs differ:\n  fused: %s\n  plain: %s\n",
                     fused.error.c_str(), plain.error.c_str());
        __builtin_trap();
    }
    return 0;
}
