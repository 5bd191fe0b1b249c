#include "test_util.h"

#include "rtl_source.h"
#include "text/cp1251.h"

namespace zs = zentra::script;

namespace kt {

std::string cp(std::string_view utf8) {
    return zentra::text::utf8ToCp1251(utf8);
}
std::string u8(std::string_view cp1251) {
    return zentra::text::cp1251ToUtf8(cp1251);
}

std::string eventLine(std::string_view event, std::span<const zs::EventArg> args) {
    std::string line(event);
    for (const auto& a : args) {
        line += ' ';
        line += a.name;
        line += '=';
        line += zs::valueText(*a.value);
    }
    return u8(line);
}

namespace {
class Sink : public zs::VMErrorSink {
  public:
    explicit Sink(std::string& out) : out_(out) {}
    void showRunTimeError(const std::string& text) override { out_ = u8(text); }

  private:
    std::string& out_;
};
}  // namespace

Outcome run(std::string_view utf8Source, bool withLibrary,
            const std::function<void(zs::Script&)>& setup) {
    Outcome o;
    zs::Script script;
    script.source = cp(utf8Source);
    if (withLibrary) script.librarySource = std::string(zs::rtlSource());
    script.onError = [&](int kind, const std::string& text, int, int) {
        if (kind == 0 && o.compileError.empty()) o.compileError = u8(text);
    };
    script.onSendEvent = [&](std::string_view event, std::span<const zs::EventArg> args,
                             std::string&) { o.events.push_back(eventLine(event, args)); };
    Sink sink(o.runError);
    script.machine().errorSink = &sink;
    script.machine().onFinish = [&] { ++o.finishCalls; };
    if (setup) setup(script);
    o.status = script.run();
    o.compiled = !script.errorState();
    return o;
}

std::string compileError(std::string_view utf8Source, bool withLibrary) {
    zs::Script script;
    script.source = cp(utf8Source);
    if (withLibrary) script.librarySource = std::string(zs::rtlSource());
    std::string error;
    script.onError = [&](int kind, const std::string& text, int, int) {
        if (kind == 0 && error.empty()) error = u8(text);
    };
    script.compile();
    return error;
}

std::vector<std::string> disasm(std::string_view utf8Source) {
    zs::Script script;
    script.source = cp(utf8Source);
    std::vector<std::string> lines;
    std::string error;
    script.onError = [&](int, const std::string& text, int, int) { error = u8(text); };
    if (!script.compile()) return {"compile error: " + error};
    const auto& code = script.machine().code;
    for (std::size_t i = 0; i < code.size(); ++i)
        lines.push_back(u8(zs::disassemble(code[i], i)));
    return lines;
}

}  // namespace kt
