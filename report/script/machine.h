// The script virtual machine: a stack machine over the compiler's instruction array, with a
// flat data segment of static cells, an operand stack and a return stack. Operands are decoded
// once when a run starts; the interpreter loop is one switch. Window messages are pumped on a
// time budget (never per instruction), and external routines go through a replaceable seam.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "code.h"
#include "runtime_data.h"

namespace zentra::script {

// One further argument of a report event: the variable's name in capitals and its value.
struct EventArg {
    std::string_view name;
    const Value* value;
};

// Handler of SendEvent: the event name, the further arguments in source order, and the answer
// text to fill (empty = no answer; an integer text; or "cell_data:" + text).
using SendEventHandler = std::function<void(std::string_view event, std::span<const EventArg> args,
                                            std::string& answer)>;

// Declared parameter types of external routines, by declarationKey(library, routine).
using ExternalDeclarations = std::unordered_map<std::string, std::vector<std::uint8_t>>;
// Key of an external routine: its lower-case library name, a zero byte, the routine name.
inline std::string declarationKey(std::string_view lowerLibrary, std::string_view routine) {
    std::string key(lowerLibrary);
    key += '\0';
    key += routine;
    return key;
}

// One call of an EXTERNAL routine other than SendEvent, as the machine hands it over.
struct ExternalCall {
    std::string_view library;          // lower case: the cache key and the name in messages
    std::string_view declaredLibrary;  // the spelling of the declaration, the file to load
    std::string_view routine;
    std::string_view libraryPath;  // directory prefix for the library file
    int site = 0;                  // instruction number of the CALL, for per-site caches
    // where the declared parameter types are (looked up only when a call site is first resolved;
    // without a declaration the cells' own types stand in)
    const ExternalDeclarations* declarations = nullptr;
    int convention = 1;
    std::uint8_t resultType = kTypeUndefined;
    std::span<const Value* const> args;  // in declaration order; read-only, valid for the call
    // Non-zero when names, convention, result type and argument count of this site are constants
    // of the code for the whole run (a different number for every run of every machine): a
    // caller may then trust what it resolved for the site earlier in the same run.
    std::uint64_t run = 0;
};

// The seam through which the machine runs external routines. The implementation fills
// `result` (type and storage), which the machine stores into cell 0, or throws to end the run
// with a run-time error. releaseLibraries() is called when a run ends.
class ExternalCaller {
  public:
    virtual ~ExternalCaller() = default;
    virtual void call(const ExternalCall& call, Value& result) = 0;
    virtual void releaseLibraries() {}
};

// Refuses every external call with a clear text, for hosts that must not load libraries (the fuzz
// target); the machine's default is the dlopen + libffi caller of external_call.h.
class UnavailableExternalCaller : public ExternalCaller {
  public:
    void call(const ExternalCall& call, Value& result) override;
};

// Where run-time error texts go (the error window, standard error, a test's list).
class VMErrorSink {
  public:
    virtual ~VMErrorSink() = default;
    virtual void showRunTimeError(const std::string& text) = 0;  // cp1251
};

// Lets pending window messages through during long runs; absent in headless runs.
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void pump() = 0;
};

struct MachineLimits {
    std::size_t maxArrayElements = 16u * 1024 * 1024;
    std::size_t maxTextLength = 256u * 1024 * 1024;
    std::size_t maxReturnDepth = 100000;
    std::size_t maxStackDepth = 1u << 20;
    std::uint64_t maxSteps = 0;  // counted jumps back, calls and returns; 0 = no limit
    std::chrono::milliseconds pumpInterval{20};
    bool fuseSequences = true;  // off: every instruction in its plain form (for cross-checks)
};

enum class RunStatus { Finished, Stopped, Error, Refused, Paused };

class Machine {
  public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Runs from entryIndex until HALT, the end of the code, Stop or a run-time error; then
    // Reset and onFinish. A run started during a run is refused.
    RunStatus run();
    // Ends the running program at the next check point (backward jump, call, return, or the end
    // of an external call or event). Safe to call from handlers and from other threads.
    void stop() { stopRequested_.store(true, std::memory_order_relaxed); }
    // Holds the running program at the next check point, keeping code, stacks and PC, so that
    // a debugger-like host can inspect cells; run() then returns Paused.
    void pause() { pauseRequested_.store(true, std::memory_order_relaxed); }
    // Goes on from where a paused run stopped; refused when nothing is paused.
    RunStatus resume();
    bool paused() const { return paused_; }
    // Drops the code, the stacks and loaded libraries; the data segment is kept.
    void reset();
    bool running() const { return running_; }

    Code code;
    RunTimeData data;
    int entryIndex = 0;
    std::string libraryPath;
    SendEventHandler onSendEvent;
    std::function<void()> onFinish;
    ExternalCaller* externals = nullptr;  // null: the machine's own shared-library caller
    // Declared parameter types of external routines; filled by the script object after compiling.
    ExternalDeclarations externalParams;
    VMErrorSink* errorSink = nullptr;
    EventPump* pump = nullptr;
    MachineLimits limits;
    char decimalSeparator = ',';

    const std::string& lastError() const { return lastError_; }
    int lastErrorPc() const { return lastErrorPc_; }

  private:
    // Operand of a fused form: a number literal or scalar cell, combined left to right with up
    // to two more by ADD, SUB or MUL ("n; 2; SUB; i; SUB"); with `arr` set, that number is the
    // index of the element a[...] read instead.
    struct Operand {
        const Value* v = nullptr;
        const Value* more[2] = {nullptr, nullptr};
        std::uint8_t moreOp[2] = {0, 0};  // ADD, SUB or MUL for each entry of `more`
        std::uint8_t terms = 0;           // entries of `more` in use
        bool sure = false;                // every term always holds a number: no store checks
        bool plain = false;               // sure, one term, no element: just read v->num
        bool numericArr = false;          // arr keeps plain numbers (nums, not elems)
        DataCell* arr = nullptr;
    };

    // One decoded instruction. `code` may name a fused sequence starting here; `orig` is the
    // instruction's own opcode, run instead whenever the fused form's guard does not hold.
    struct Op {
        std::uint8_t code = 0;  // Opcode, a fused form, kBadOperand or kEnd
        std::uint8_t orig = 0;
        std::uint8_t valueType = 0;
        std::uint8_t sub = 0;  // fused: the arithmetic or comparison opcode
        bool jumpIfZero = false;
        std::int32_t index = 0;          // SAV/GAV element index
        std::int32_t a = 0;              // data index, jump target, call entry
        std::int32_t target = 0;         // fused: jump target / return index
        DataCell* cell = nullptr;        // decoded data cell (MOVS, MOVD, SAV, GAV, GAEC, FAD)
        const Value* literal = nullptr;  // PUSH
        std::int32_t len = 0;            // fused: instructions covered
        Operand x, y;                    // fused: operands
        DataCell* dst = nullptr;         // fused: target cell or array
    };

    void decode();
    void fuse();
    int parseOperand(int i, Operand& out, int maxTerms = 2) const;
    int step(std::uint8_t opcode, const Op& o, int pc);
    // The number an operand holds now with the type the plain instructions would give it;
    // false when a term holds no number or it names an element that does not exist yet.
    static bool number(const Operand& p, double& out, std::uint8_t& type);
    static bool number(const Operand& p, double& out);
    static bool termsValue(const Operand& p, double& out);
    int parseIndex(int i, Operand& out) const;
    void execute();
    bool checkpoint();
    void externalStep(int argc, bool sendEvent, int convention);
    void sendEventStep(int argc);
    void afterCall();
    void fuseExternalCalls();
    void runExternal(const ExternalCall& call);
    Value& push();
    void pushCopy(const Value& v, std::uint8_t flags);
    Value& pop();
    void store(DataCell& target, bool takesValueType, Value& v);
    std::size_t elementIndex(std::int32_t fixed);

    std::vector<Op> ops_;
    std::vector<Value> literals_;
    std::vector<Value> stack_;
    std::size_t top_ = 0;
    std::vector<std::int32_t> returns_;
    int pc_ = 0;
    int ticks_ = 0;
    std::uint64_t steps_ = 0;
    std::chrono::steady_clock::time_point lastPump_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> pauseRequested_{false};
    bool running_ = false;
    bool paused_ = false;
    RunStatus finishRun();
    std::string lastError_;
    int lastErrorPc_ = -1;
    // An external call whose head, arguments (cells and literals) and tail form one straight
    // run of instructions: everything the call needs is fixed when the run starts.
    struct ExternalSite {
        ExternalCall call;               // names viewed in literals_ and `library`; the path
                                         // is set at each call
        std::string library;             // the declared library name in lower case
        std::vector<const Value*> args;  // the argument cells and literals
    };
    std::vector<std::unique_ptr<ExternalSite>> externalSites_;  // by Op::a of the fused form
    std::uint64_t run_ = 0;  // this run's number for ExternalCall::run
    // buffers reused by every external call and event
    std::vector<const Value*> argCells_;
    std::vector<Value> callArgs_;
    std::vector<std::string> callNames_;
    std::vector<EventArg> eventArgs_;
    std::string answer_;
    Value callResult_;
    std::string declaredBuf_, routineBuf_;       // names that were not texts, in text form
    std::string libDeclared_, libLower_;         // the last library name and its lower-case form
    std::unique_ptr<ExternalCaller> libraries_;  // dlopen + libffi, see external_call.h
};

}  // namespace zentra::script
