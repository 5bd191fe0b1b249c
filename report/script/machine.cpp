#include "machine.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "text/cp1251.h"

namespace zentra::script {
namespace {

constexpr std::uint8_t kBadOperand = 200;  // decoded form of an instruction with a bad operand
constexpr std::uint8_t kEnd = 201;         // sentinel behind the last instruction
constexpr int kCheckEvery = 1000;          // counted points between two clock reads

// A failure of the running program; its text is cp1251.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string cp(std::string_view utf8) { return text::utf8ToCp1251(utf8); }

[[noreturn]] void raise(std::string_view utf8) { throw RunError(cp(utf8)); }

const std::string& outOfRange() {
    static const std::string s = cp("Выход за пределы массива.");
    return s;
}

// The number a value holds; a text must read as a number.
double toNumber(const Value& v) {
    if (v.store == Store::Number) return v.num;
    if (v.store == Store::None) return 0;
    if (auto d = parseTextNumber(v.text)) return *d;
    std::string shown = v.text.size() > 40 ? v.text.substr(0, 40) + "..." : v.text;
    throw RunError(cp("Значение \"") + shown + cp("\" не является числом"));
}

// Truncation towards zero into a 64-bit integer; values outside its range are an error.
std::int64_t truncate(double d) {
    if (!(std::fabs(d) < 9.2e18)) raise("Число вне допустимого диапазона");
    return static_cast<std::int64_t>(d);
}

// Three-way comparison of two values: numbers by value, texts byte by byte, a number and a
// text by value when the text reads as a number, else by text; no value counts as 0 or "".
int compare(const Value& a, const Value& b, char sep) {
    auto num = [](double x, double y) { return x < y ? -1 : (x > y ? 1 : 0); };
    if (a.store == Store::Number && b.store == Store::Number) return num(a.num, b.num);
    if (a.store == Store::Text && b.store == Store::Text) {
        const int c = a.text.compare(b.text);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.store == Store::None && b.store == Store::None) return 0;
    if (a.store == Store::None) return b.store == Store::Number ? num(0, b.num) : (b.text.empty() ? 0 : -1);
    if (b.store == Store::None) return a.store == Store::Number ? num(a.num, 0) : (a.text.empty() ? 0 : 1);
    const Value& t = a.store == Store::Text ? a : b;
    const Value& n = a.store == Store::Text ? b : a;
    int c;
    if (auto d = parseTextNumber(t.text)) {
        c = num(*d, n.num);
    } else {
        const int r = t.text.compare(formatNumber(n.num, sep));
        c = r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    return &t == &a ? c : -c;
}

std::uint8_t numericType(const Value& v) {
    return v.store == Store::Number && v.type != kTypeUndefined && v.type != kTypeText
               ? v.type
               : kTypeDouble;
}

}  // namespace

void UnavailableExternalCaller::call(const ExternalCall& call, Value&) {
    throw std::runtime_error(
        cp("Вызовы внешних процедур пока недоступны: процедура \"") + std::string(call.routine) +
        cp("\" из библиотеки \"") + std::string(call.library) + "\"");
}

Machine::Machine() = default;
Machine::~Machine() = default;

void Machine::reset() {
    pc_ = 0;
    entryIndex = 0;
    code.clear();
    ops_.clear();
    literals_.clear();
    top_ = 0;
    returns_.clear();
    callArgs_.clear();
    callNames_.clear();
    (externals ? *externals : unavailable_).releaseLibraries();
}

// Decodes every operand once; an operand that names no cell becomes an instruction that fails
// when reached, so instruction numbers stay those the compiler gave.
void Machine::decode() {
    const int n = static_cast<int>(code.size());
    ops_.assign(static_cast<std::size_t>(n) + 1, Op{kEnd, 0, 0, 0, nullptr, nullptr});
    literals_.clear();
    literals_.reserve(code.size());
    auto number = [](const std::string& s) {
        long long v = 0;
        auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0LL;
        return v;
    };
    for (int i = 0; i < n; ++i) {
        const Instruction& ins = code[static_cast<std::size_t>(i)];
        Op& o = ops_[static_cast<std::size_t>(i)];
        o.code = static_cast<std::uint8_t>(ins.op);
        o.valueType = ins.valueType;
        o.index = ins.index;
        const long long v = number(ins.operand);
        switch (ins.op) {
            case Opcode::Push: {
                Value lit;
                lit.reset(ins.valueType);
                if (ins.valueType >= kTypeInteger && ins.valueType <= kTypeBoolean) {
                    lit.num = parseLiteralNumber(ins.operand).value_or(0);
                } else if (ins.valueType == kTypeText || ins.valueType == kTypeVariant) {
                    lit.text = ins.operand;
                }
                literals_.push_back(std::move(lit));
                break;
            }
            case Opcode::Movs: case Opcode::Movd: case Opcode::Sav: case Opcode::Gav:
            case Opcode::Gaec: case Opcode::Fad:
                if (v < 0 || v >= data.count()) {
                    o.code = kBadOperand;
                } else {
                    o.a = static_cast<std::int32_t>(v);
                    o.cell = &data.cell(o.a);
                }
                break;
            case Opcode::Jmp: case Opcode::Jz: case Opcode::Jnz:
                // a target outside the code ends the run, like running past the last instruction
                o.a = (v < 0 || v > n) ? n : static_cast<std::int32_t>(v);
                break;
            case Opcode::Call:
                o.a = (v < -1 || v > n) ? n : static_cast<std::int32_t>(v);
                break;
            default:
                if (static_cast<int>(ins.op) >= kOpcodeCount) o.code = kBadOperand;
                break;
        }
    }
    // literals_ does not move any more: fix the PUSH pointers now
    std::size_t lit = 0;
    for (int i = 0; i < n; ++i) {
        if (ops_[static_cast<std::size_t>(i)].code == static_cast<std::uint8_t>(Opcode::Push)) {
            ops_[static_cast<std::size_t>(i)].literal = &literals_[lit++];
        }
    }
}

RunStatus Machine::run() {
    if (running_) return RunStatus::Refused;
    running_ = true;
    stopRequested_.store(false, std::memory_order_relaxed);
    lastError_.clear();
    lastErrorPc_ = -1;
    RunStatus status = RunStatus::Finished;
    if (data.count() == 0) data.addCell(kTypeUndefined);  // cell 0 receives call results
    decode();
    if (stack_.empty()) stack_.resize(256);
    top_ = 0;
    returns_.clear();
    steps_ = 0;
    ticks_ = kCheckEvery;
    lastPump_ = std::chrono::steady_clock::now();
    pc_ = entryIndex;
    if (pc_ < 0 || pc_ > static_cast<int>(code.size())) pc_ = static_cast<int>(code.size());
    try {
        execute();
        if (stopRequested_.load(std::memory_order_relaxed)) status = RunStatus::Stopped;
    } catch (const std::exception& e) {
        status = RunStatus::Error;
        const int at = pc_;
        const Opcode op = at >= 0 && at < static_cast<int>(code.size())
                              ? code[static_cast<std::size_t>(at)].op
                              : Opcode::Halt;
        lastErrorPc_ = at;
        lastError_ = e.what();
        lastError_ += "\r************* VirtualMachine State *************\r* Command Number: ";
        lastError_ += std::to_string(at);
        lastError_ += "   * Command Name: ";
        lastError_ += mnemonic(op);
    }
    if (status == RunStatus::Error && errorSink) errorSink->showRunTimeError(lastError_);
    reset();
    running_ = false;
    if (onFinish) onFinish();
    return status;
}

Value& Machine::push() {
    if (top_ == stack_.size()) {
        if (stack_.size() >= limits.maxStackDepth) raise("Переполнение стека");
        stack_.resize(std::min(stack_.size() * 2, limits.maxStackDepth));
    }
    return stack_[top_++];
}

Value& Machine::pop() {
    assert(top_ > 0 && "the compiler balances every push");
    if (top_ == 0) raise("Стек пуст");
    return stack_[--top_];
}

// Stores a value into a cell: Variant cells and cell 0 take the value as it is, typed cells
// convert it to their declared type (numbers stay unrounded in Integer cells).
void Machine::store(DataCell& target, bool takesValueType, Value& v) {
    Value& t = target.v;
    if (takesValueType || target.declaredType == kTypeUndefined) {
        t.type = target.declaredType == kTypeUndefined && !takesValueType ? kTypeUndefined : v.type;
        t.store = v.store;
        t.num = v.num;
        if (v.store == Store::Text) t.text.swap(v.text);
        return;
    }
    switch (target.declaredType) {
        case kTypeInteger: case kTypeDouble: case kTypeBoolean:
            t.num = toNumber(v);
            t.store = Store::Number;
            break;
        default:  // Text
            if (v.store == Store::Text) {
                t.text.swap(v.text);
            } else if (v.store == Store::Number) {
                t.text = formatNumber(v.num, decimalSeparator);
            } else {
                t.text.clear();
            }
            t.store = Store::Text;
            break;
    }
}

// Element index of SAV/GAV: the fixed one, or the truncated value popped from the stack.
std::size_t Machine::elementIndex(std::int32_t fixed) {
    std::int64_t i = fixed;
    if (fixed == -1) i = truncate(toNumber(pop()));
    if (i < 0 || static_cast<std::uint64_t>(i) >= limits.maxArrayElements) {
        throw RunError(outOfRange());
    }
    return static_cast<std::size_t>(i);
}

// Reached every kCheckEvery jumps back, calls and returns: step limit, message pump and Stop.
// Returns true when the run must end now.
bool Machine::checkpoint() {
    ticks_ = kCheckEvery;
    steps_ += kCheckEvery;
    if (limits.maxSteps && steps_ > limits.maxSteps) raise("Превышено допустимое число шагов программы");
    if (pump) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPump_ >= limits.pumpInterval) {
            pump->pump();
            lastPump_ = std::chrono::steady_clock::now();
        }
    }
    return stopRequested_.load(std::memory_order_relaxed);
}

// After an external call or event: pump when it took longer than the budget.
void Machine::afterCall(std::chrono::steady_clock::time_point started) {
    if (!pump) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - started >= limits.pumpInterval || now - lastPump_ >= limits.pumpInterval) {
        pump->pump();
        lastPump_ = std::chrono::steady_clock::now();
    }
}

// SendEvent: values and names come off the stack, the handler answers, cell 0 takes an
// integer answer as a number and a "cell_data:" answer as text.
void Machine::sendEventStep(int argc) {
    if (callArgs_.size() < static_cast<std::size_t>(argc)) {
        callArgs_.resize(static_cast<std::size_t>(argc));
        callNames_.resize(static_cast<std::size_t>(argc));
    }
    for (int k = argc - 1; k >= 0; --k) {
        const auto i = static_cast<std::size_t>(k);
        if (k > 0) {
            Value& name = pop();
            callNames_[i].swap(name.text);
            if (name.store != Store::Text) callNames_[i].clear();
            for (auto& c : callNames_[i]) c = static_cast<char>(text::upperByte(static_cast<unsigned char>(c)));
        }
        std::swap(callArgs_[i], pop());
    }
    pop();  // library
    pop();  // routine name
    pop();  // result type
    if (!onSendEvent) return;
    eventArgs_.clear();
    for (int k = 1; k < argc; ++k) {
        const auto i = static_cast<std::size_t>(k);
        eventArgs_.push_back(EventArg{callNames_[i], &callArgs_[i]});
    }
    std::string eventName = valueText(callArgs_[0], decimalSeparator);
    answer_.clear();
    const auto started = pump ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    onSendEvent(eventName, eventArgs_, answer_);
    afterCall(started);
    if (answer_.empty()) return;
    DataCell& c0 = data.cell(0);
    int asInt = 0;
    auto r = std::from_chars(answer_.data(), answer_.data() + answer_.size(), asInt);
    if (r.ec == std::errc() && r.ptr == answer_.data() + answer_.size()) {
        c0.v.setNumber(kTypeInteger, asInt);
    } else {
        c0.v.setText(kTypeText, answer_.size() > 10 ? std::string_view(answer_).substr(10) : "");
    }
}

// CALL of an external routine: arguments, library, name and result type come off the stack;
// the caller's result goes to cell 0.
void Machine::externalStep(int argc, bool sendEvent) {
    if (argc < 0 || argc > 256) raise("Неверное число аргументов внешней процедуры");
    if (sendEvent && argc < 1) raise("Неверное число аргументов внешней процедуры");
    const int needed = sendEvent ? 2 * argc + 2 : argc + 3;
    if (static_cast<std::size_t>(needed) > top_) raise("Стек пуст");
    if (sendEvent) {
        sendEventStep(argc);
        return;
    }
    callArgs_.resize(static_cast<std::size_t>(argc));
    for (int k = argc - 1; k >= 0; --k) std::swap(callArgs_[static_cast<std::size_t>(k)], pop());
    std::string library = text::lowerCp1251(valueText(pop(), decimalSeparator));
    std::string routine = valueText(pop(), decimalSeparator);
    const double rt = toNumber(pop());
    ExternalCall call;
    call.library = library;
    call.routine = routine;
    call.libraryPath = libraryPath;
    call.resultType = static_cast<std::uint8_t>(rt >= 0 && rt <= 5 ? rt : 0);
    call.args = std::span<const Value>(callArgs_.data(), callArgs_.size());
    callResult_.reset(kTypeUndefined);
    const auto started = std::chrono::steady_clock::now();
    (externals ? *externals : unavailable_).call(call, callResult_);
    afterCall(started);
    DataCell& c0 = data.cell(0);
    c0.v.type = callResult_.type;
    c0.v.store = callResult_.store;
    c0.v.num = callResult_.num;
    c0.v.text.swap(callResult_.text);
}

// The interpreter loop: one switch, short cases, PC kept in a local and published on error.
void Machine::execute() {
    const Op* ops = ops_.data();
    int pc = pc_;
    auto sync = [&] { pc_ = pc; };
    try {
        for (;;) {
            const Op& o = ops[pc];
            switch (o.code) {
                case static_cast<std::uint8_t>(Opcode::Push): {
                    Value& t = push();
                    const Value& l = *o.literal;
                    t.type = l.type;
                    t.flags = 0;
                    t.store = l.store;
                    t.num = l.num;
                    if (l.store == Store::Text) t.text.assign(l.text);
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Movs): {
                    Value& v = pop();
                    DataCell& c = *o.cell;
                    if (c.isArray()) raise("Массиву нельзя присвоить значение целиком");
                    if (v.store == Store::Number && c.declaredType >= kTypeInteger &&
                        c.declaredType <= kTypeBoolean && o.a != 0) {
                        c.v.num = v.num;  // the common case: a number into a numeric cell
                    } else {
                        store(c, o.a == 0 || (c.v.flags & kFlagVariant), v);
                    }
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Movd): {
                    const Value& s = o.cell->v;
                    Value& t = push();
                    t.type = s.type;
                    t.flags = s.flags & ~kFlagArray;
                    t.store = s.store;
                    t.num = s.num;
                    if (s.store == Store::Text) t.text.assign(s.text);
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Add): {
                    Value& b = pop();
                    Value& a = stack_[top_ - 1];
                    if (a.store == Store::None && b.store == Store::Text) {
                        a.setText(b.type, b.text);  // nothing + text is the text
                    } else if (a.store == Store::Text) {
                        if (b.store == Store::Text) {
                            if (a.text.size() + b.text.size() > limits.maxTextLength) raise("Слишком длинная строка");
                            a.text.append(b.text);
                        } else if (b.store == Store::Number) {
                            a.text.append(formatNumber(b.num, decimalSeparator));
                        }
                    } else if (a.store == Store::Number && b.store == Store::Number) {
                        a.num += b.num;
                    } else {
                        const double x = toNumber(a) + toNumber(b);
                        a.setNumber(a.store == Store::Number ? a.type : numericType(b), x);
                    }
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Sub):
                case static_cast<std::uint8_t>(Opcode::Mul):
                case static_cast<std::uint8_t>(Opcode::Div): {
                    Value& b = pop();
                    Value& a = stack_[top_ - 1];
                    const double x = toNumber(a), y = toNumber(b);
                    double r;
                    if (o.code == static_cast<std::uint8_t>(Opcode::Sub)) {
                        r = x - y;
                    } else if (o.code == static_cast<std::uint8_t>(Opcode::Mul)) {
                        r = x * y;
                    } else {
                        if (y == 0) raise("Деление на ноль");
                        r = x / y;
                    }
                    a.setNumber(numericType(a), r);
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Inc):
                case static_cast<std::uint8_t>(Opcode::Dec): {
                    if (top_ == 0) raise("Стек пуст");
                    Value& a = stack_[top_ - 1];
                    const std::int64_t i = truncate(toNumber(a));
                    const bool inc = o.code == static_cast<std::uint8_t>(Opcode::Inc);
                    a.setNumber(a.store == Store::Number ? a.type : kTypeInteger,
                                static_cast<double>(inc ? i + 1 : i - 1));
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::And):
                case static_cast<std::uint8_t>(Opcode::Or): {
                    Value& b = pop();
                    Value& a = stack_[top_ - 1];
                    std::int64_t x, y;
                    try {
                        x = truncate(toNumber(a));
                        y = truncate(toNumber(b));
                    } catch (const RunError&) {
                        raise("Ошибка в условной операции");
                    }
                    const bool booleans = a.type == kTypeBoolean && b.type == kTypeBoolean;
                    const std::int64_t r = o.code == static_cast<std::uint8_t>(Opcode::And) ? (x & y) : (x | y);
                    a.setNumber(booleans ? kTypeBoolean : numericType(a), static_cast<double>(r));
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Mach):
                case static_cast<std::uint8_t>(Opcode::NotMach):
                case static_cast<std::uint8_t>(Opcode::Min):
                case static_cast<std::uint8_t>(Opcode::Max):
                case static_cast<std::uint8_t>(Opcode::MinOrMach):
                case static_cast<std::uint8_t>(Opcode::MaxOrMach): {
                    Value& b = pop();
                    Value& a = stack_[top_ - 1];
                    int c;
                    if (a.store == Store::Number && b.store == Store::Number) {
                        c = a.num < b.num ? -1 : (a.num > b.num ? 1 : 0);
                    } else {
                        c = compare(a, b, decimalSeparator);
                    }
                    bool r = false;
                    switch (static_cast<Opcode>(o.code)) {
                        case Opcode::Mach: r = c == 0; break;
                        case Opcode::NotMach: r = c != 0; break;
                        case Opcode::Min: r = c < 0; break;
                        case Opcode::Max: r = c > 0; break;
                        case Opcode::MinOrMach: r = c <= 0; break;
                        default: r = c >= 0; break;
                    }
                    a.setNumber(kTypeBoolean, r ? 1 : 0);
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Jmp):
                    if (o.a <= pc && --ticks_ <= 0 && checkpoint()) return sync();
                    pc = o.a;
                    break;
                case static_cast<std::uint8_t>(Opcode::Jz):
                case static_cast<std::uint8_t>(Opcode::Jnz): {
                    Value& c = pop();
                    const double x = c.store == Store::Number ? c.num : toNumber(c);
                    const bool jump = (x == 0) == (o.code == static_cast<std::uint8_t>(Opcode::Jz));
                    if (!jump) {
                        ++pc;
                    } else {
                        if (o.a <= pc && --ticks_ <= 0 && checkpoint()) return sync();
                        pc = o.a;
                    }
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Call): {
                    if (top_ < 4) raise("Стек пуст");
                    const std::int64_t ret = truncate(toNumber(stack_[top_ - 1]));
                    const std::int64_t conv = truncate(toNumber(stack_[top_ - 2]));
                    const std::int64_t argc = truncate(toNumber(stack_[top_ - 3]));
                    const std::int64_t flag = truncate(toNumber(stack_[top_ - 4]));
                    top_ -= 4;
                    if (--ticks_ <= 0 && checkpoint()) return sync();
                    if (conv == 0) {
                        if (returns_.size() >= limits.maxReturnDepth) {
                            raise("Переполнение стека возвратов: слишком глубокая рекурсия");
                        }
                        if (o.a < 0) raise("Вызов процедуры без адреса");
                        returns_.push_back(static_cast<std::int32_t>(
                            std::clamp<std::int64_t>(ret, 0, static_cast<std::int64_t>(code.size()))));
                        pc = o.a;
                    } else {
                        sync();
                        externalStep(static_cast<int>(std::clamp<std::int64_t>(argc, -1, 100000)), flag != 0);
                        if (stopRequested_.load(std::memory_order_relaxed)) return;
                        ++pc;
                    }
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Ret):
                    if (returns_.empty()) raise("Возврат из процедуры без её вызова");
                    if (--ticks_ <= 0 && checkpoint()) return sync();
                    pc = returns_.back();
                    returns_.pop_back();
                    break;
                case static_cast<std::uint8_t>(Opcode::Sav): {
                    DataCell& arr = *o.cell;
                    if (!arr.isArray()) raise("Переменная не является массивом");
                    Value& v = pop();
                    Value value;
                    std::swap(value, v);
                    const std::size_t i = elementIndex(o.index);
                    if (i >= arr.elems.size()) {
                        const std::size_t old = arr.elems.size();
                        arr.elems.resize(i + 1);
                        for (std::size_t k = old; k < arr.elems.size(); ++k) arr.elems[k].reset(arr.declaredType);
                    }
                    // an element converts like a variable of the array's element type
                    DataCell tmp;
                    tmp.declaredType = arr.declaredType;
                    std::swap(tmp.v, arr.elems[i]);
                    try {
                        store(tmp, arr.declaredType == kTypeVariant, value);
                    } catch (...) {
                        std::swap(tmp.v, arr.elems[i]);
                        throw;
                    }
                    std::swap(tmp.v, arr.elems[i]);
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Gav): {
                    DataCell& arr = *o.cell;
                    if (!arr.isArray()) raise("Переменная не является массивом");
                    const std::size_t i = elementIndex(o.index);
                    if (i >= arr.elems.size()) {
                        const std::size_t old = arr.elems.size();
                        arr.elems.resize(i + 1);
                        for (std::size_t k = old; k < arr.elems.size(); ++k) arr.elems[k].reset(arr.declaredType);
                    }
                    const Value& e = arr.elems[i];
                    Value& t = push();
                    t.type = e.type;
                    t.flags = 0;
                    t.store = e.store;
                    t.num = e.num;
                    if (e.store == Store::Text) t.text.assign(e.text);
                    ++pc;
                    break;
                }
                case static_cast<std::uint8_t>(Opcode::Gaec):
                    push().setNumber(kTypeInteger, static_cast<double>(o.cell->elems.size()));
                    ++pc;
                    break;
                case static_cast<std::uint8_t>(Opcode::Fad):
                    o.cell->elems.clear();
                    o.cell->elems.shrink_to_fit();
                    ++pc;
                    break;
                case static_cast<std::uint8_t>(Opcode::Pop):
                case static_cast<std::uint8_t>(Opcode::Not):
                case static_cast<std::uint8_t>(Opcode::Sal):
                case static_cast<std::uint8_t>(Opcode::TraceFlag):
                    ++pc;
                    break;
                case static_cast<std::uint8_t>(Opcode::Halt):
                case kEnd:
                    return sync();
                default:  // kBadOperand
                    raise("Неверный операнд команды");
            }
        }
    } catch (...) {
        sync();
        throw;
    }
}

}  // namespace zentra::script
