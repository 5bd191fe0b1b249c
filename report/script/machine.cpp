#include "machine.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <charconv>
#include <cmath>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "external_call.h"
#include "text/cp1251.h"

namespace zentra::script {
namespace {

constexpr std::uint8_t kBadOperand = 200;  // decoded form of an instruction with a bad operand
constexpr std::uint8_t kEnd = 201;         // sentinel behind the last instruction
constexpr int kCheckEvery = 1000;          // counted points between two clock reads
constexpr int kStopRun = -1;               // step(): the run ends here

// Fused forms of common sequences (see Machine::fuse).
constexpr std::uint8_t kFuseCopy = 210;           // (MOVD a | PUSH n); MOVS c
constexpr std::uint8_t kFuseAssignBin = 230;      // X; Y; ADD|SUB|MUL|DIV; MOVS c (230..233)
constexpr std::uint8_t kFuseCmpJump = 240;        // X; Y; compare; JZ|JNZ t (240..245 by compare)
constexpr std::uint8_t kFusePushBin = 213;        // X; Y; arithmetic or compare
constexpr std::uint8_t kFuseForStep = 214;        // MOVD v; INC; MOVS v; JMP t
constexpr std::uint8_t kFuseForStepDown = 222;    // MOVD v; DEC; MOVS v; JMP t
constexpr std::uint8_t kFuseCall = 215;           // PUSH 0; PUSH n; PUSH 0; PUSH r; CALL e
constexpr std::uint8_t kFuseExtCall = 223;        // PUSH 0; PUSH n; PUSH c; PUSH r; CALL -1
constexpr std::uint8_t kFuseLoadElem = 216;       // MOVD i; GAV a, or any longer operand
constexpr std::uint8_t kFuseStackCmpJump = 217;   // compare; JZ|JNZ t
constexpr std::uint8_t kFuseStoreElem = 219;      // Y; SAV a (index on the stack)
constexpr std::uint8_t kFuseStackBin = 220;       // Y; arithmetic (left operand on the stack)
constexpr std::uint8_t kFuseStackCmpJumpY = 221;  // Y; compare; JZ|JNZ t (left on the stack)
constexpr std::uint8_t kFuseSwap = 224;           // t := a[P]; a[P] := a[R]; a[R] := t (numeric a)

// PUSH t; PUSH name; PUSH lib; n times (MOVD a | PUSH x); PUSH 0; PUSH n; PUSH c; PUSH r; CALL -1
constexpr std::uint8_t kFuseExtWhole = 190;

// ADD, SUB, MUL or DIV.
bool isArith(Opcode op) {
    return op == Opcode::Add || op == Opcode::Sub || op == Opcode::Mul || op == Opcode::Div;
}
// One of the six comparisons.
bool isCompare(Opcode op) {
    return op >= Opcode::Mach && op <= Opcode::MaxOrMach;
}
// Comparison of two numbers by the compare opcode.
bool compareNumbers(std::uint8_t op, double x, double y) {
    switch (static_cast<Opcode>(op)) {
        case Opcode::Mach:
            return x == y;
        case Opcode::NotMach:
            return x != y;
        case Opcode::Min:
            return x < y;
        case Opcode::Max:
            return x > y;
        case Opcode::MinOrMach:
            return x <= y;
        default:
            return x >= y;
    }
}

// A failure of the running program; its text is cp1251.
class RunError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Messages are written in UTF-8 here and raised as cp1251.
std::string cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}

[[noreturn]] void raise(std::string_view utf8) {
    throw RunError(cp(utf8));
}

// The array index message, converted once.
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
    if (a.store == Store::None)
        return b.store == Store::Number ? num(0, b.num) : (b.text.empty() ? 0 : -1);
    if (b.store == Store::None)
        return a.store == Store::Number ? num(a.num, 0) : (a.text.empty() ? 0 : 1);
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

// The element a number indexes, truncated towards zero as GAV and SAV do; false when it is
// outside [0, size) (negative, too large, NaN) -- then the plain forms grow or report.
inline bool elementPosition(double d, std::size_t size, std::size_t& out) {
#if defined(__SSE2__)
    // one conversion and one unsigned compare: doubles outside the int64 range and NaN turn
    // into the "integer indefinite" value, a huge unsigned number, and -1 < d < 0 into 0
    const auto i = static_cast<std::uint64_t>(_mm_cvttsd_si64(_mm_set_sd(d)));
    out = static_cast<std::size_t>(i);
    return i < size;
#else
    if (!(d > -1 && d < static_cast<double>(static_cast<std::int64_t>(size)))) return false;
    out = static_cast<std::size_t>(static_cast<std::int64_t>(d));
    return true;
#endif
}

// Type an arithmetic result keeps: the left operand's numeric type, else Double.
std::uint8_t numericType(const Value& v) {
    return v.store == Store::Number && v.type != kTypeUndefined && v.type != kTypeText
               ? v.type
               : kTypeDouble;
}

}  // namespace

// Reads a fused operand without touching the stack: the terms combine as ADD, SUB and MUL of two
// numbers do, and an element index must name an existing element (a fraction truncates as in
// GAV) -- anything else goes through the plain instructions, which convert, grow or report.
__attribute__((always_inline)) inline bool Machine::number(const Operand& p, double& out) {
    if (__builtin_expect(p.plain, 1)) {  // the usual numeric cell or literal: one test
        out = p.v->num;
        return true;
    }
    double d;
    if (!termsValue(p, d)) return false;
    if (!p.arr) {
        out = d;
        return true;
    }
    std::size_t i;
    if (p.numericArr) {
        const auto& nums = p.arr->nums;
        if (!elementPosition(d, nums.size(), i)) return false;
        out = nums[i];
        return true;
    }
    const auto& elems = p.arr->elems;
    if (!elementPosition(d, elems.size(), i)) return false;
    const Value& e = elems[i];
    if (e.store != Store::Number) return false;
    out = e.num;
    return true;
}

// The terms combined, without the element read: the index when the operand names an element.
__attribute__((always_inline)) inline bool Machine::termsValue(const Operand& p, double& out) {
    assert(p.terms <= 2);
    if (!p.sure) {
        if (p.v->store != Store::Number) return false;
        for (int k = 0; k < p.terms; ++k)
            if (p.more[k]->store != Store::Number) return false;
    }
    assert(p.v->store == Store::Number && "a numeric cell or literal always holds a number");
    auto combine = [&](double d, int k) __attribute__((always_inline)) {
        const double w = p.more[k]->num;
        const std::uint8_t op = p.moreOp[k];
        if (op == static_cast<std::uint8_t>(Opcode::Add)) return d + w;
        if (op == static_cast<std::uint8_t>(Opcode::Sub)) return d - w;
        assert(op == static_cast<std::uint8_t>(Opcode::Mul));
        return d * w;
    };
    double d = p.v->num;
    if (p.terms) {  // unrolled: a loop here costs more than the arithmetic
        d = combine(d, 0);
        if (p.terms > 1) d = combine(d, 1);
    }
    out = d;
    return true;
}

// The number and the type the plain instructions would give it: ADD keeps the left type, SUB
// and MUL turn a type without numbers into Double, an element has its own (or the array's).
__attribute__((always_inline)) inline bool Machine::number(const Operand& p, double& out,
                                                           std::uint8_t& type) {
    if (!number(p, out)) return false;
    if (p.arr) {
        if (p.numericArr) {
            type = p.arr->declaredType;
        } else {
            double d = 0;
            std::size_t i = 0;
            termsValue(p, d);
            elementPosition(d, p.arr->elems.size(), i);
            type = p.arr->elems[i].type;
        }
        return true;
    }
    std::uint8_t t = p.v->type;
    for (int k = 0; k < p.terms; ++k) {
        if (p.moreOp[k] != static_cast<std::uint8_t>(Opcode::Add))
            t = t != kTypeUndefined && t != kTypeText ? t : kTypeDouble;
    }
    type = t;
    return true;
}

// Ends the run: this host does not let scripts load libraries.
void UnavailableExternalCaller::call(const ExternalCall& call, Value&) {
    throw std::runtime_error(cp("Вызовы внешних процедур запрещены: процедура \"") +
                             std::string(call.routine) + cp("\" из библиотеки \"") +
                             std::string(call.library) + "\"");
}

Machine::Machine() : libraries_(std::make_unique<LibraryCaller>()) {}
Machine::~Machine() = default;

// Ends a run's resources: code, decoded forms, stacks, argument buffers, libraries.
void Machine::reset() {
    paused_ = false;
    pc_ = 0;
    entryIndex = 0;
    code.clear();
    ops_.clear();
    literals_.clear();
    top_ = 0;
    returns_.clear();
    callArgs_.clear();
    callNames_.clear();
    externalSites_.clear();
    (externals ? *externals : *libraries_).releaseLibraries();
}

// Decodes every operand once; an operand that names no cell becomes an instruction that fails
// when reached, so instruction numbers stay those the compiler gave.
void Machine::decode() {
    const int n = static_cast<int>(code.size());
    Op end;
    end.code = end.orig = kEnd;
    ops_.assign(static_cast<std::size_t>(n) + 1, end);
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
            case Opcode::Movs:
            case Opcode::Movd:
            case Opcode::Sav:
            case Opcode::Gav:
            case Opcode::Gaec:
            case Opcode::Fad:
                if (v < 0 || v >= data.count()) {
                    o.code = kBadOperand;
                } else {
                    o.a = static_cast<std::int32_t>(v);
                    o.cell = &data.cell(o.a);
                }
                break;
            case Opcode::Jmp:
            case Opcode::Jz:
            case Opcode::Jnz:
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
        Op& o = ops_[static_cast<std::size_t>(i)];
        if (o.code == static_cast<std::uint8_t>(Opcode::Push)) o.literal = &literals_[lit++];
        o.orig = o.code;
    }
    if (limits.fuseSequences) fuse();
}

// A number operand at instruction i for a fused form: PUSH of a number or MOVD of a scalar
// cell, then up to maxTerms (at most two) more such terms each followed by ADD, SUB or MUL (in
// postfix order the left term is always everything before), and optionally GAV a, reading
// a[that number].
// Returns the instructions it covers, 0 when there is none.
int Machine::parseOperand(int i, Operand& out, int maxTerms) const {
    const int n = static_cast<int>(code.size());
    auto op = [&](int k) {
        return k < n ? static_cast<Opcode>(ops_[static_cast<std::size_t>(k)].orig) : Opcode::Halt;
    };
    auto at = [&](int k) -> const Op& { return ops_[static_cast<std::size_t>(k)]; };
    auto simple = [&](int k) -> const Value* {
        if (op(k) == Opcode::Push)
            return at(k).literal->store == Store::Number ? at(k).literal : nullptr;
        if (op(k) == Opcode::Movd && !at(k).cell->isArray()) return &at(k).cell->v;
        return nullptr;
    };
    // a literal, or a cell that always holds a number (numeric type, not Variant, not cell 0:
    // every store into such a cell converts to a number)
    auto sure = [&](int k) {
        if (op(k) == Opcode::Push) return true;
        const DataCell* c = at(k).cell;
        return at(k).a != 0 && c->declaredType >= kTypeInteger && c->declaredType <= kTypeBoolean;
    };
    // DIV stays out: its zero check belongs to the forms that know their DIV
    auto chainOp = [&](int k) {
        return op(k) == Opcode::Add || op(k) == Opcode::Sub || op(k) == Opcode::Mul;
    };
    out = Operand{};
    out.v = simple(i);
    if (!out.v) return 0;
    out.sure = sure(i);
    int len = 1;
    while (out.terms < std::min(maxTerms, 2)) {
        const Value* y = simple(i + len);
        if (!y || !chainOp(i + len + 1)) break;
        out.sure = out.sure && sure(i + len);
        out.more[out.terms] = y;
        out.moreOp[out.terms] = static_cast<std::uint8_t>(op(i + len + 1));
        ++out.terms;
        len += 2;
    }
    if (op(i + len) == Opcode::Gav && at(i + len).index == -1 && at(i + len).cell->isArray()) {
        out.arr = at(i + len).cell;
        out.numericArr = out.arr->isNumericArray();
        ++len;
    }
    out.plain = out.sure && out.terms == 0 && !out.arr;
    return len;
}

// An element index for a fused store: an operand that is not itself an element.
int Machine::parseIndex(int i, Operand& out) const {
    const int len = parseOperand(i, out);
    if (out.arr) {
        out = Operand{};
        return 0;
    }
    return len;
}

// Marks the first instruction of common sequences with a fused form. The following
// instructions keep their own forms, so jumps into a sequence and error numbers are unchanged;
// a fused form whose guard fails at run time runs its first instruction alone instead.
void Machine::fuse() {
    const int n = static_cast<int>(code.size());
    auto op = [&](int i) {
        return i < n ? static_cast<Opcode>(ops_[static_cast<std::size_t>(i)].orig) : Opcode::Halt;
    };
    auto at = [&](int i) -> Op& { return ops_[static_cast<std::size_t>(i)]; };
    // a cell that always holds a number: numeric declared type, not Variant, not cell 0
    auto numericCell = [&](int i) -> DataCell* {
        if (op(i) != Opcode::Movs) return nullptr;
        DataCell* c = at(i).cell;
        const bool ok = at(i).a != 0 && !c->isArray() && c->declaredType >= kTypeInteger &&
                        c->declaredType <= kTypeBoolean;
        return ok ? c : nullptr;
    };
    auto numericArraySav = [&](int i) {
        if (op(i) != Opcode::Sav || at(i).index != -1) return false;
        const DataCell* c = at(i).cell;
        return c->isArray() && c->declaredType >= kTypeInteger && c->declaredType <= kTypeBoolean;
    };
    auto isJump = [&](int i) { return op(i) == Opcode::Jz || op(i) == Opcode::Jnz; };
    for (int i = 0; i < n; ++i) {
        Op& o = at(i);
        Operand x, y, index, value;
        int lx = parseOperand(i, x);
        int ly = lx ? parseOperand(i + lx, y) : 0;
        if (lx && !ly && x.terms > 0 && !x.arr) {
            // a chain ending here: its last term and operation make the binary forms below,
            // whose own handlers are quicker than the general chain ("s; i; ADD; MOVS s")
            lx = parseOperand(i, x, x.terms - 1);
            ly = parseOperand(i + lx, y, 0);
            assert(ly == 1 && !x.arr && !y.arr);
        }
        const int li = parseIndex(i, index);
        const int lv = li ? parseOperand(i + li, value) : 0;
        if (op(i) == Opcode::Movd && (op(i + 1) == Opcode::Inc || op(i + 1) == Opcode::Dec) &&
            numericCell(i + 2) && at(i + 2).cell == o.cell && op(i + 3) == Opcode::Jmp) {
            o.code = op(i + 1) == Opcode::Inc ? kFuseForStep : kFuseForStepDown;
            o.dst = o.cell;
            o.sub = static_cast<std::uint8_t>(op(i + 1));
            o.target = at(i + 3).a;
            o.index = i + 3;
        } else if (li && lv && numericArraySav(i + li + lv)) {
            o.code = kFuseStoreElem;
            o.x = index;
            o.y = value;
            o.dst = at(i + li + lv).cell;
            o.len = li + lv + 1;
        } else if (lx && ly && isArith(op(i + lx + ly)) && numericCell(i + lx + ly + 1)) {
            o.sub = static_cast<std::uint8_t>(op(i + lx + ly));
            o.code = static_cast<std::uint8_t>(kFuseAssignBin +
                                               (o.sub - static_cast<std::uint8_t>(Opcode::Add)));
            o.x = x;
            o.y = y;
            o.dst = at(i + lx + ly + 1).cell;
            o.len = lx + ly + 2;
        } else if (lx && ly && isCompare(op(i + lx + ly)) && isJump(i + lx + ly + 1)) {
            const int j = i + lx + ly + 1;
            o.sub = static_cast<std::uint8_t>(op(i + lx + ly));
            o.code = static_cast<std::uint8_t>(kFuseCmpJump +
                                               (o.sub - static_cast<std::uint8_t>(Opcode::Mach)));
            o.x = x;
            o.y = y;
            o.jumpIfZero = op(j) == Opcode::Jz;
            o.target = at(j).a;
            o.index = j;
            o.len = lx + ly + 2;
        } else if (lx && ly && (isArith(op(i + lx + ly)) || isCompare(op(i + lx + ly)))) {
            o.code = kFusePushBin;
            o.x = x;
            o.y = y;
            o.sub = static_cast<std::uint8_t>(op(i + lx + ly));
            o.len = lx + ly + 1;
        } else if (op(i) == Opcode::Push && op(i + 1) == Opcode::Push &&
                   op(i + 2) == Opcode::Push && op(i + 3) == Opcode::Push &&
                   op(i + 4) == Opcode::Call && o.literal->store == Store::Number &&
                   o.literal->num == 0 && at(i + 1).literal->store == Store::Number &&
                   at(i + 1).literal->num >= 0 && at(i + 1).literal->num <= 256 &&
                   at(i + 2).literal->store == Store::Number && at(i + 2).literal->num >= 1 &&
                   at(i + 2).literal->num <= 5 && at(i + 3).literal->store == Store::Number) {
            // the tail of an external call (not SendEvent): its four numbers need no stack
            o.code = kFuseExtCall;
            o.index = static_cast<std::int32_t>(at(i + 1).literal->num);
            o.sub = static_cast<std::uint8_t>(at(i + 2).literal->num);
        } else if (op(i) == Opcode::Push && op(i + 1) == Opcode::Push &&
                   op(i + 2) == Opcode::Push && op(i + 3) == Opcode::Push &&
                   op(i + 4) == Opcode::Call && o.literal->store == Store::Number &&
                   o.literal->num == 0 && at(i + 2).literal->store == Store::Number &&
                   at(i + 2).literal->num == 0 && at(i + 3).literal->store == Store::Number &&
                   at(i + 4).a >= 0) {
            o.code = kFuseCall;
            o.a = at(i + 4).a;
            o.target = static_cast<std::int32_t>(
                std::clamp<double>(std::trunc(at(i + 3).literal->num), 0, n));
        } else if (lx && numericCell(i + lx)) {
            o.code = kFuseCopy;
            o.x = x;
            o.dst = at(i + lx).cell;
            o.len = lx + 1;
        } else if (lx && isArith(op(i + lx))) {
            o.code = kFuseStackBin;
            o.x = x;
            o.sub = static_cast<std::uint8_t>(op(i + lx));
            o.len = lx + 1;
        } else if (lx && isCompare(op(i + lx)) && isJump(i + lx + 1)) {
            o.code = kFuseStackCmpJumpY;
            o.x = x;
            o.sub = static_cast<std::uint8_t>(op(i + lx));
            o.jumpIfZero = op(i + lx + 1) == Opcode::Jz;
            o.target = at(i + lx + 1).a;
            o.index = i + lx + 1;
            o.len = lx + 2;
        } else if (lx > 1) {  // an element or a computed number, pushed
            o.code = kFuseLoadElem;
            o.x = x;
            o.len = lx;
        } else if (isCompare(op(i)) && isJump(i + 1)) {
            o.code = kFuseStackCmpJump;
            o.sub = o.orig;
            o.jumpIfZero = op(i + 1) == Opcode::Jz;
            o.target = at(i + 1).a;
            o.index = i + 1;
        }
    }
    // A FOR step whose loop starts with the usual test "limit; MOVD v; Min|Max; JNZ end" takes the
    // test over: after stepping it compares with the limit itself and goes to the body or out.
    for (int i = 0; i < n; ++i) {
        Op& o = at(i);
        if (o.code != kFuseForStep && o.code != kFuseForStepDown) continue;
        const Op& t = at(o.target);
        const Opcode want = o.code == kFuseForStep ? Opcode::Min : Opcode::Max;
        const bool isTest =
            t.code == kFuseCmpJump + (static_cast<int>(want) - static_cast<int>(Opcode::Mach)) &&
            !t.jumpIfZero && t.target > t.index && !t.y.arr && t.y.terms == 0 && t.y.v == &o.dst->v;
        if (!isTest) continue;
        o.x = t.x;                 // the limit: any operand, read after the step as the test does
        o.a = t.target;            // out of the loop
        o.len = o.target + t.len;  // the body (absolute)
        o.valueType = 1;           // test folded in
    }
    // The exchange of two elements of a numeric array through a numeric cell, three fused forms
    // in a row, becomes one: both positions are read once. The cell must not be part of either
    // index, or the later indexes would see its new value.
    // the same cell, or two literals of the same number (each PUSH has its own literal)
    auto sameTerm = [&](const Value* a, const Value* b) {
        auto literal = [&](const Value* v) {
            return v >= literals_.data() && v < literals_.data() + literals_.size();
        };
        return a == b || (literal(a) && literal(b) && a->store == Store::Number &&
                          b->store == Store::Number && a->num == b->num);
    };
    auto sameTerms = [&](const Operand& a, const Operand& b) {
        return sameTerm(a.v, b.v) && a.terms == b.terms &&
               std::equal(a.more, a.more + a.terms, b.more, sameTerm) &&
               std::equal(a.moreOp, a.moreOp + a.terms, b.moreOp);
    };
    auto uses = [](const Operand& a, const Value* v) {
        return a.v == v || std::find(a.more, a.more + a.terms, v) != a.more + a.terms;
    };
    for (int i = 0; i < n; ++i) {
        Op& o = at(i);
        if (o.code != kFuseCopy || !o.x.arr || !o.x.numericArr) continue;
        const int j = i + o.len;
        if (j >= n || at(j).code != kFuseStoreElem) continue;
        const Op& first = at(j);
        const int k = j + first.len;
        if (k >= n || at(k).code != kFuseStoreElem) continue;
        const Op& second = at(k);
        const Value* t = &o.dst->v;
        const bool isSwap = first.dst == o.x.arr && second.dst == o.x.arr &&
                            sameTerms(first.x, o.x) && first.y.arr == o.x.arr &&
                            sameTerms(second.x, first.y) && !second.y.arr && second.y.terms == 0 &&
                            second.y.v == t && !uses(o.x, t) && !uses(first.y, t);
        if (!isSwap) continue;
        o.code = kFuseSwap;
        o.y = first.y;  // R, as an element of the same array
        o.len = k + second.len - i;
    }
    // A fused form that falls through into a forward JMP (the jump over an ELSE part) goes
    // straight to the jump's target.
    for (int i = 0; i < n; ++i) {
        Op& o = at(i);
        const bool fallsThrough = o.code == kFuseCopy || o.code == kFuseSwap ||
                                  o.code == kFusePushBin || o.code == kFuseLoadElem ||
                                  o.code == kFuseStoreElem || o.code == kFuseStackBin ||
                                  (o.code >= kFuseAssignBin && o.code <= kFuseAssignBin + 3);
        const int after = i + o.len;
        if (fallsThrough && o.len > 0 && op(after) == Opcode::Jmp && at(after).a > after) {
            o.len = at(after).a - i;
        }
    }
    fuseExternalCalls();
}

// Marks each external call made of constants and plain cells -- head, arguments, tail, CALL in
// one straight run -- with kFuseExtWhole and prepares its ExternalCall once for the run, so the
// call needs neither the stack nor any name handling. The run's number lets the caller trust
// what it resolved for the site on the first call.
void Machine::fuseExternalCalls() {
    static std::atomic<std::uint64_t> runs{0};
    run_ = runs.fetch_add(1, std::memory_order_relaxed) + 1;
    externalSites_.clear();
    const int n = static_cast<int>(code.size());
    auto op = [&](int i) {
        return i < n ? static_cast<Opcode>(ops_[static_cast<std::size_t>(i)].orig) : Opcode::Halt;
    };
    auto at = [&](int i) -> Op& { return ops_[static_cast<std::size_t>(i)]; };
    auto pushOf = [&](int i, Store store) -> const Value* {
        return op(i) == Opcode::Push && at(i).literal->store == store ? at(i).literal : nullptr;
    };
    // a number literal equal to one of the integers lo..hi
    auto pushedInt = [&](int i, double lo, double hi) -> int {
        const Value* v = pushOf(i, Store::Number);
        if (!v || !(v->num >= lo && v->num <= hi) || v->num != std::trunc(v->num)) return -1;
        return static_cast<int>(v->num);
    };
    // an argument the CALL would find on the stack just as it is in its cell or literal
    auto argument = [&](int i) -> const Value* {
        if (op(i) == Opcode::Push) return at(i).literal;
        if (op(i) == Opcode::Movd && !at(i).cell->isArray()) return &at(i).cell->v;
        return nullptr;
    };
    for (int i = 0; i + 7 < n; ++i) {
        const Value* rt = pushOf(i, Store::Number);
        const Value* routine = pushOf(i + 1, Store::Text);
        const Value* library = pushOf(i + 2, Store::Text);
        if (!rt || !routine || !library) continue;
        // the tail follows the first run of arguments whose length it names
        int argc = 0, tail = -1;
        for (int k = i + 3; k + 4 < n && argc <= 256; ++k, ++argc) {
            if (pushedInt(k, 0, 0) == 0 && pushedInt(k + 1, argc, argc) == argc &&
                pushedInt(k + 2, 1, 5) > 0 && pushOf(k + 3, Store::Number) &&
                op(k + 4) == Opcode::Call) {
                tail = k;
                break;
            }
            if (!argument(k)) break;
        }
        if (tail < 0) continue;
        auto site = std::make_unique<ExternalSite>();
        site->library = text::lowerCp1251(library->text);
        for (int k = i + 3; k < tail; ++k)
            site->args.push_back(argument(k));
        ExternalCall& call = site->call;
        call.library = site->library;
        call.declaredLibrary = library->text;
        call.routine = routine->text;
        call.site = tail + 4;
        call.declarations = &externalParams;
        call.convention = pushedInt(tail + 2, 1, 5);
        call.resultType = static_cast<std::uint8_t>(rt->num >= 0 && rt->num <= 5 ? rt->num : 0);
        call.args = std::span<const Value* const>(site->args.data(), site->args.size());
        call.run = run_;
        Op& o = at(i);
        o.code = kFuseExtWhole;
        o.a = static_cast<std::int32_t>(externalSites_.size());
        o.target = tail + 4;
        o.len = tail + 5 - i;
        externalSites_.push_back(std::move(site));
    }
}

// Starts a run at the entry: decode, fresh stacks and counters, then execute.
RunStatus Machine::run() {
    if (running_ || paused_) return RunStatus::Refused;
    running_ = true;
    stopRequested_.store(false, std::memory_order_relaxed);
    pauseRequested_.store(false, std::memory_order_relaxed);
    lastError_.clear();
    lastErrorPc_ = -1;
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
    return finishRun();
}

// Continues a paused run from its PC.
RunStatus Machine::resume() {
    if (running_ || !paused_) return RunStatus::Refused;
    paused_ = false;
    running_ = true;
    pauseRequested_.store(false, std::memory_order_relaxed);
    return finishRun();
}

// Executes from PC and ends the run (error window, Reset, OnFinish) unless it was paused.
RunStatus Machine::finishRun() {
    RunStatus status = RunStatus::Finished;
    try {
        execute();
        if (pauseRequested_.load(std::memory_order_relaxed) &&
            !stopRequested_.load(std::memory_order_relaxed)) {
            paused_ = true;
            running_ = false;
            return RunStatus::Paused;
        }
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

// A new top cell; the stack grows up to its limit.
inline Value& Machine::push() {
    if (top_ == stack_.size()) {
        if (stack_.size() >= limits.maxStackDepth) raise("Переполнение стека");
        stack_.resize(std::min(stack_.size() * 2, limits.maxStackDepth));
    }
    return stack_[top_++];
}

// Pushes a copy of a literal or a cell's value with the given flags: type and storage as they
// are, the stack cell's text buffer reused.
[[gnu::always_inline]] inline void Machine::pushCopy(const Value& v, std::uint8_t flags) {
    Value& t = push();
    t.type = v.type;
    t.flags = flags;
    t.store = v.store;
    t.num = v.num;
    if (v.store == Store::Text) t.text.assign(v.text);
}

// Removes the top cell; it stays valid until the next push.
inline Value& Machine::pop() {
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
        case kTypeInteger:
        case kTypeDouble:
        case kTypeBoolean:
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
    if (limits.maxSteps && steps_ > limits.maxSteps)
        raise("Превышено допустимое число шагов программы");
    if (pump) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPump_ >= limits.pumpInterval) {
            pump->pump();
            lastPump_ = std::chrono::steady_clock::now();
        }
    }
    return stopRequested_.load(std::memory_order_relaxed) ||
           pauseRequested_.load(std::memory_order_relaxed);
}

// After an external call or event: pump when the budget has passed since the last pump, which
// includes every call that alone took longer (it started after that pump). One clock read.
void Machine::afterCall() {
    if (!pump) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump_ >= limits.pumpInterval) {
        pump->pump();
        lastPump_ = std::chrono::steady_clock::now();
    }
}

// SendEvent: values and names come off the stack, the handler answers, cell 0 takes an
// integer answer as a number and a "cell_data:" answer as text.
void Machine::sendEventStep(int argc) {
    // sized separately: external calls grow callArgs_ without names
    if (callArgs_.size() < static_cast<std::size_t>(argc))
        callArgs_.resize(static_cast<std::size_t>(argc));
    if (callNames_.size() < static_cast<std::size_t>(argc))
        callNames_.resize(static_cast<std::size_t>(argc));
    for (int k = argc - 1; k >= 0; --k) {
        const auto i = static_cast<std::size_t>(k);
        if (k > 0) {
            Value& name = pop();
            callNames_[i].swap(name.text);
            if (name.store != Store::Text) callNames_[i].clear();
            for (auto& c : callNames_[i])
                c = static_cast<char>(text::upperByte(static_cast<unsigned char>(c)));
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
    onSendEvent(eventName, eventArgs_, answer_);
    afterCall();
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
void Machine::externalStep(int argc, bool sendEvent, int convention) {
    if (argc < 0 || argc > 256) raise("Неверное число аргументов внешней процедуры");
    if (sendEvent && argc < 1) raise("Неверное число аргументов внешней процедуры");
    const int needed = sendEvent ? 2 * argc + 2 : argc + 3;
    if (static_cast<std::size_t>(needed) > top_) raise("Стек пуст");
    if (sendEvent) {
        sendEventStep(argc);
        return;
    }
    // The arguments are read where they lie: popped cells stay as they are until the next push,
    // and nothing is pushed before the call returns.
    top_ -= static_cast<std::size_t>(argc);
    argCells_.resize(static_cast<std::size_t>(argc));
    for (int k = 0; k < argc; ++k)
        argCells_[static_cast<std::size_t>(k)] = &stack_[top_ + static_cast<std::size_t>(k)];
    // The names are read in place from the stack cells too, and the lower-case form is
    // remembered, so a call in a loop allocates nothing here.
    const Value& libCell = pop();
    const Value& nameCell = pop();
    const double rt = toNumber(pop());
    std::string_view declared, routine;
    if (libCell.store == Store::Text) {
        declared = libCell.text;
    } else {
        declaredBuf_ = valueText(libCell, decimalSeparator);
        declared = declaredBuf_;
    }
    if (nameCell.store == Store::Text) {
        routine = nameCell.text;
    } else {
        routineBuf_ = valueText(nameCell, decimalSeparator);
        routine = routineBuf_;
    }
    if (declared != libDeclared_ || libLower_.empty() != declared.empty()) {
        libDeclared_.assign(declared);
        libLower_ = text::lowerCp1251(declared);
    }
    ExternalCall call;
    call.library = libLower_;
    call.convention = convention;
    call.declaredLibrary = declared;
    call.routine = routine;
    call.libraryPath = libraryPath;
    call.site = pc_;
    call.declarations = &externalParams;
    call.resultType = static_cast<std::uint8_t>(rt >= 0 && rt <= 5 ? rt : 0);
    call.args = std::span<const Value* const>(argCells_.data(), argCells_.size());
    runExternal(call);
}

// Hands one external call to the caller, pumps if the budget has passed, and moves the result
// into cell 0.
void Machine::runExternal(const ExternalCall& call) {
    callResult_.reset(kTypeUndefined);
    (externals ? *externals : *libraries_).call(call, callResult_);
    afterCall();
    DataCell& c0 = data.cell(0);
    c0.v.type = callResult_.type;
    c0.v.store = callResult_.store;
    c0.v.num = callResult_.num;
    if (callResult_.store == Store::Text) {
        c0.v.text.swap(callResult_.text);
    } else {
        c0.v.text.clear();
    }
}

// One plain instruction: every opcode in its general form, with all conversions and errors.
// Returns the next PC, or kStopRun when the run ends here.
int Machine::step(std::uint8_t opcode, const Op& o, int pc) {
    switch (opcode) {
        case static_cast<std::uint8_t>(Opcode::Push): {
            pushCopy(*o.literal, 0);
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
            pushCopy(s, s.flags & ~kFlagArray);  // the copy is a plain value
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
                    if (a.text.size() + b.text.size() > limits.maxTextLength)
                        raise("Слишком длинная строка");
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
            if (opcode == static_cast<std::uint8_t>(Opcode::Sub)) {
                r = x - y;
            } else if (opcode == static_cast<std::uint8_t>(Opcode::Mul)) {
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
            const bool inc = opcode == static_cast<std::uint8_t>(Opcode::Inc);
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
            const std::int64_t r =
                opcode == static_cast<std::uint8_t>(Opcode::And) ? (x & y) : (x | y);
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
            bool r;
            if (a.store == Store::Number && b.store == Store::Number) {
                r = compareNumbers(opcode, a.num, b.num);
            } else {
                r = compareNumbers(opcode, compare(a, b, decimalSeparator), 0);
            }
            a.setNumber(kTypeBoolean, r ? 1 : 0);
            ++pc;
            break;
        }
        case static_cast<std::uint8_t>(Opcode::Jmp):
            if (o.a <= pc) {
                if (--ticks_ <= 0 && checkpoint()) return kStopRun;
                pc = o.a;
            } else {
                pc = o.a;
            }
            break;
        case static_cast<std::uint8_t>(Opcode::Jz):
        case static_cast<std::uint8_t>(Opcode::Jnz): {
            // check points come before any effect, so a paused instruction can run again
            if (top_ == 0) raise("Стек пуст");
            const Value& c = stack_[top_ - 1];
            const double x = c.store == Store::Number ? c.num : toNumber(c);
            const bool jump = (x == 0) == (opcode == static_cast<std::uint8_t>(Opcode::Jz));
            if (jump && o.a <= pc && --ticks_ <= 0 && checkpoint()) return kStopRun;
            --top_;
            pc = jump ? o.a : pc + 1;
            break;
        }
        case static_cast<std::uint8_t>(Opcode::Call): {
            if (top_ < 4) raise("Стек пуст");
            if (--ticks_ <= 0 && checkpoint()) return kStopRun;
            const std::int64_t ret = truncate(toNumber(stack_[top_ - 1]));
            const std::int64_t conv = truncate(toNumber(stack_[top_ - 2]));
            const std::int64_t argc = truncate(toNumber(stack_[top_ - 3]));
            const std::int64_t flag = truncate(toNumber(stack_[top_ - 4]));
            top_ -= 4;
            if (conv == 0) {
                if (returns_.size() >= limits.maxReturnDepth) {
                    raise("Переполнение стека возвратов: слишком глубокая рекурсия");
                }
                if (o.a < 0) raise("Вызов процедуры без адреса");
                returns_.push_back(static_cast<std::int32_t>(
                    std::clamp<std::int64_t>(ret, 0, static_cast<std::int64_t>(code.size()))));
                pc = o.a;
            } else {
                pc_ = pc;
                externalStep(static_cast<int>(std::clamp<std::int64_t>(argc, -1, 100000)),
                             flag != 0, static_cast<int>(std::clamp<std::int64_t>(conv, -1, 100)));
                if (stopRequested_.load(std::memory_order_relaxed)) return kStopRun;
                ++pc;
            }
            break;
        }
        case static_cast<std::uint8_t>(Opcode::Ret):
            if (returns_.empty()) raise("Возврат из процедуры без её вызова");
            if (--ticks_ <= 0 && checkpoint()) return kStopRun;
            pc = returns_.back();
            returns_.pop_back();
            break;
        case static_cast<std::uint8_t>(Opcode::Sav): {
            DataCell& arr = *o.cell;
            if (!arr.isArray()) raise("Переменная не является массивом");
            if (arr.isNumericArray()) {
                // numeric arrays hold plain numbers: the value converts like a numeric variable
                Value& v = pop();
                const double x = v.store == Store::Number ? v.num : 0;
                const bool isNumber = v.store == Store::Number;
                Value value;
                if (!isNumber) std::swap(value, v);
                const std::size_t i = elementIndex(o.index);
                const double stored = isNumber ? x : toNumber(value);
                if (i >= arr.nums.size()) arr.nums.resize(i + 1, 0.0);
                arr.nums[i] = stored;
                ++pc;
                break;
            }
            Value& v = pop();
            Value value;
            std::swap(value, v);
            const std::size_t i = elementIndex(o.index);
            if (i >= arr.elems.size()) {
                const std::size_t old = arr.elems.size();
                arr.elems.resize(i + 1);
                for (std::size_t k = old; k < arr.elems.size(); ++k)
                    arr.elems[k].reset(arr.declaredType);
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
            if (arr.isNumericArray()) {
                if (i >= arr.nums.size()) arr.nums.resize(i + 1, 0.0);
                push().setNumber(arr.declaredType, arr.nums[i]);
                ++pc;
                break;
            }
            if (i >= arr.elems.size()) {
                const std::size_t old = arr.elems.size();
                arr.elems.resize(i + 1);
                for (std::size_t k = old; k < arr.elems.size(); ++k)
                    arr.elems[k].reset(arr.declaredType);
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
            push().setNumber(kTypeInteger, static_cast<double>(o.cell->elementCount()));
            ++pc;
            break;
        case static_cast<std::uint8_t>(Opcode::Fad):
            o.cell->elems.clear();
            o.cell->elems.shrink_to_fit();
            o.cell->nums.clear();
            o.cell->nums.shrink_to_fit();
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
            return kStopRun;
        default:  // kBadOperand
            raise("Неверный операнд команды");
    }
    return pc;
}

// The interpreter loop: one switch of the fast forms (numbers in cells, fused sequences);
// everything else, and every fast form whose guard fails, goes through step().
void Machine::execute() {
    const Op* ops = ops_.data();
    int pc = pc_;
    const Op* cur = &ops[pc];
    auto sync = [&] { pc_ = pc; };
    // Where a jump back to a loop's start really continues: when the start is a fused
    // compare-and-exit (FOR and WHILE tests), it is evaluated here, saving a dispatch per pass.
    auto loopTest = [ops](std::int32_t start) __attribute__((always_inline))->std::int32_t {
        const Op& t = ops[start];
        if (t.code < kFuseCmpJump || t.code > kFuseCmpJump + 5 || t.target <= t.index) return start;
        double x, y;
        if (!number(t.x, x) || !number(t.y, y)) return start;
        bool r;
        switch (t.code - kFuseCmpJump) {
            case 0:
                r = x == y;
                break;
            case 1:
                r = x != y;
                break;
            case 2:
                r = x < y;
                break;
            case 3:
                r = x > y;
                break;
            case 4:
                r = x <= y;
                break;
            default:
                r = x >= y;
                break;
        }
        return r == t.jumpIfZero ? start + t.len : t.target;
    };
        // Threaded dispatch: every handler ends with its own indirect jump to the next handler,
        // which branch predictors follow far better than the single jump of a switch. Compilers
        // without label addresses go through a switch to the same handlers.
// clang-format off
#define KELVO_HANDLERS(X)                                                                      \
    X(op_push, Opcode::Push) X(op_movd, Opcode::Movd) X(op_movs, Opcode::Movs)                \
    X(op_arith, Opcode::Add) X(op_arith, Opcode::Sub) X(op_arith, Opcode::Mul)                \
    X(op_arith, Opcode::Div) X(op_jmp, Opcode::Jmp) X(op_jcond, Opcode::Jz)                   \
    X(op_jcond, Opcode::Jnz) X(op_ret, Opcode::Ret) X(op_halt, Opcode::Halt) X(op_halt, kEnd) \
    X(op_copy, kFuseCopy) X(op_pushbin, kFusePushBin) X(op_call, kFuseCall)                   \
    X(op_extcall, kFuseExtCall) X(op_extwhole, kFuseExtWhole) X(op_swap, kFuseSwap)           \
    X(op_loadelem, kFuseLoadElem) X(op_storeelem, kFuseStoreElem)                             \
    X(op_stackbin, kFuseStackBin) X(op_stackcmpjumpy, kFuseStackCmpJumpY)                     \
    X(op_stackcmpjump, kFuseStackCmpJump)                                                     \
    X(op_assign_add, kFuseAssignBin + 0) X(op_assign_sub, kFuseAssignBin + 1)                 \
    X(op_assign_mul, kFuseAssignBin + 2) X(op_assign_div, kFuseAssignBin + 3)                 \
    X(op_cj_eq, kFuseCmpJump + 0) X(op_cj_ne, kFuseCmpJump + 1) X(op_cj_lt, kFuseCmpJump + 2) \
    X(op_cj_gt, kFuseCmpJump + 3) X(op_cj_le, kFuseCmpJump + 4) X(op_cj_ge, kFuseCmpJump + 5) \
    X(op_forstep, kFuseForStep) X(op_forstepdown, kFuseForStepDown)
// clang-format on
#if defined(__GNUC__)
    void* table[256];
    for (auto& t : table)
        t = &&slow;
#define KELVO_FILL(LABEL, CODE) table[static_cast<std::uint8_t>(CODE)] = &&LABEL;
    KELVO_HANDLERS(KELVO_FILL)
#undef KELVO_FILL
#define KELVO_NEXT              \
    do {                        \
        cur = &ops[pc];         \
        goto* table[cur->code]; \
    } while (0)
#else
#define KELVO_NEXT      \
    do {                \
        cur = &ops[pc]; \
        goto dispatch;  \
    } while (0)
#endif
#define o (*cur)  // the instruction being executed, in every handler
    try {
#if defined(__GNUC__)
        KELVO_NEXT;
#else
    dispatch:
        switch (cur->code) {
#define KELVO_CASE(LABEL, CODE)           \
    case static_cast<std::uint8_t>(CODE): \
        goto LABEL;
            KELVO_HANDLERS(KELVO_CASE)
#undef KELVO_CASE
            default:
                goto slow;
        }
#endif
    op_push : {
        pushCopy(*o.literal, 0);
        ++pc;
        KELVO_NEXT;
    }
    op_movd : {
        const Value& s = o.cell->v;
        pushCopy(s, s.flags & ~kFlagArray);  // the copy is a plain value
        ++pc;
        KELVO_NEXT;
    }
    op_movs : {
        DataCell& c = *o.cell;
        if (top_ == 0) goto slow;
        const Value& v = stack_[top_ - 1];
        if (v.store != Store::Number || o.a == 0 || c.isArray() || c.declaredType < kTypeInteger ||
            c.declaredType > kTypeBoolean) {
            goto slow;
        }
        c.v.num = v.num;
        --top_;
        ++pc;
        KELVO_NEXT;
    }
    op_arith : {
        if (top_ < 2) goto slow;
        Value& a = stack_[top_ - 2];
        const Value& b = stack_[top_ - 1];
        if (a.store != Store::Number || b.store != Store::Number) goto slow;
        switch (static_cast<Opcode>(o.code)) {
            case Opcode::Add:
                a.num += b.num;
                break;
            case Opcode::Sub:
                a.setNumber(numericType(a), a.num - b.num);
                break;
            case Opcode::Mul:
                a.setNumber(numericType(a), a.num * b.num);
                break;
            default:
                if (b.num == 0) goto slow;
                a.setNumber(numericType(a), a.num / b.num);
                break;
        }
        --top_;
        ++pc;
        KELVO_NEXT;
    }
    op_jmp:
        if (o.a <= pc) {
            if (ticks_ <= 1) goto slow;
            --ticks_;
            pc = loopTest(o.a);
        } else {
            pc = o.a;
        }
        KELVO_NEXT;
    op_jcond : {
        if (top_ == 0 || ticks_ <= 1) goto slow;
        const Value& c = stack_[top_ - 1];
        if (c.store != Store::Number) goto slow;
        const bool jump = (c.num == 0) == (o.code == static_cast<std::uint8_t>(Opcode::Jz));
        if (jump && o.a <= pc) --ticks_;
        --top_;
        pc = jump ? o.a : pc + 1;
        KELVO_NEXT;
    }
    op_ret:
        if (returns_.empty() || ticks_ <= 1) goto slow;
        --ticks_;
        pc = returns_.back();
        returns_.pop_back();
        KELVO_NEXT;
    op_halt:
        return sync();
    op_copy : {
        double x;
        if (!number(o.x, x)) goto slow;
        o.dst->v.num = x;
        pc += o.len;
        KELVO_NEXT;
    }
#define KELVO_ASSIGN_CASE(LABEL, EXPR, GUARD)              \
    LABEL : {                                              \
        double x, y;                                       \
        if (!number(o.x, x) || !number(o.y, y)) goto slow; \
        if (!(GUARD)) goto slow;                           \
        o.dst->v.num = (EXPR);                             \
        pc += o.len;                                       \
        KELVO_NEXT;                                        \
    }
        KELVO_ASSIGN_CASE(op_assign_add, x + y, true)
        KELVO_ASSIGN_CASE(op_assign_sub, x - y, true)
        KELVO_ASSIGN_CASE(op_assign_mul, x * y, true)
        KELVO_ASSIGN_CASE(op_assign_div, x / y, y != 0)  // DIV by zero: the plain step reports it
#undef KELVO_ASSIGN_CASE
#define KELVO_CMPJUMP_CASE(LABEL, TEST)                                              \
    LABEL : {                                                                        \
        double x, y;                                                                 \
        if (!number(o.x, x) || !number(o.y, y)) goto slow;                           \
        if ((TEST) == o.jumpIfZero) {                                                \
            pc += o.len;                                                             \
        } else {                                                                     \
            if (o.target <= o.index && --ticks_ <= 0 && checkpoint()) return sync(); \
            pc = o.target;                                                           \
        }                                                                            \
        KELVO_NEXT;                                                                  \
    }
        KELVO_CMPJUMP_CASE(op_cj_eq, x == y)
        KELVO_CMPJUMP_CASE(op_cj_ne, x != y)
        KELVO_CMPJUMP_CASE(op_cj_lt, x < y)
        KELVO_CMPJUMP_CASE(op_cj_gt, x > y)
        KELVO_CMPJUMP_CASE(op_cj_le, x <= y)
        KELVO_CMPJUMP_CASE(op_cj_ge, x >= y)
#undef KELVO_CMPJUMP_CASE
    op_pushbin : {
        double x, y;
        std::uint8_t xt;
        if (!number(o.x, x, xt) || !number(o.y, y)) goto slow;
        const Opcode sub = static_cast<Opcode>(o.sub);
        if (sub == Opcode::Div && y == 0) goto slow;
        const std::uint8_t nt = xt != kTypeUndefined && xt != kTypeText ? xt : kTypeDouble;
        Value& t = push();
        t.flags = 0;
        switch (sub) {
            case Opcode::Add:
                t.setNumber(xt, x + y);
                break;
            case Opcode::Sub:
                t.setNumber(nt, x - y);
                break;
            case Opcode::Mul:
                t.setNumber(nt, x * y);
                break;
            case Opcode::Div:
                t.setNumber(nt, x / y);
                break;
            default:
                t.setNumber(kTypeBoolean, compareNumbers(o.sub, x, y) ? 1 : 0);
                break;
        }
        pc += o.len;
        KELVO_NEXT;
    }
// A FOR step: INC/DEC step from the truncated value (|v| < 4e15 keeps the integer conversion
// exact), then the loop test folded in at decode time, or the loop's first instruction.
#define KELVO_FORSTEP_CASE(LABEL, STEP)                                                        \
    LABEL : {                                                                                  \
        Value& v = o.dst->v;                                                                   \
        assert(v.store == Store::Number && "a FOR step fuses only over a numeric cell");       \
        if (!(std::fabs(v.num) < 4e15)) goto slow;                                             \
        const double now = v.num;                                                              \
        const double whole = static_cast<double>(static_cast<std::int64_t>(now));              \
        double next = now + (STEP); /* the usual integral value: no conversion on the chain */ \
        if (__builtin_expect(now != whole, 0)) next = whole + (STEP);                          \
        v.num = next; /* stored first: the limit may read the variable */                      \
        if (o.target <= o.index && --ticks_ <= 0) {                                            \
            /* the check point is the JMP's, after the step, as in the plain sequence: a */    \
            /* step-limit error names it, and a paused run goes on from it */                  \
            pc = o.index;                                                                      \
            if (checkpoint()) return sync();                                                   \
        }                                                                                      \
        double limit;                                                                          \
        if (o.valueType && number(o.x, limit)) {                                               \
            pc = ((STEP) > 0 ? limit < next : limit > next) ? o.a : o.len;                     \
        } else {                                                                               \
            pc = loopTest(o.target);                                                           \
        }                                                                                      \
        KELVO_NEXT;                                                                            \
    }
        KELVO_FORSTEP_CASE(op_forstep, 1.0)
        KELVO_FORSTEP_CASE(op_forstepdown, -1.0)
#undef KELVO_FORSTEP_CASE
    op_call:
        if (returns_.size() >= limits.maxReturnDepth) goto slow;
        if (--ticks_ <= 0) {
            // a step-limit error names the CALL, as in the plain sequence; a paused run goes on
            // from the first PUSH, since the fused form has pushed nothing
            pc += 4;
            const bool hold = checkpoint();
            pc -= 4;
            if (hold) return sync();
        }
        returns_.push_back(o.target);
        pc = o.a;
        KELVO_NEXT;
    op_extcall:
        pc += 4;  // errors, step checks and the site cache name the CALL itself
        if (--ticks_ <= 0 && checkpoint()) {
            pc -= 4;  // a paused run goes on from the first PUSH: nothing was pushed
            return sync();
        }
        pc_ = pc;
        externalStep(o.index, false, o.sub);
        if (stopRequested_.load(std::memory_order_relaxed)) return;
        ++pc;
        KELVO_NEXT;
    op_extwhole:
        assert(o.a >= 0 && static_cast<std::size_t>(o.a) < externalSites_.size());
        {
            const int header = pc;
            pc = o.target;  // errors, step checks and the site cache name the CALL itself
            if (--ticks_ <= 0 && checkpoint()) {
                pc = header;  // a paused run goes on from the header: nothing was pushed
                return sync();
            }
        }
        pc_ = pc;
        {
            ExternalCall& call = externalSites_[static_cast<std::size_t>(o.a)]->call;
            call.libraryPath = libraryPath;  // a handler may have changed it
            runExternal(call);
        }
        if (stopRequested_.load(std::memory_order_relaxed)) return;
        ++pc;
        KELVO_NEXT;
    op_loadelem : {
        // a computed number or an element of a numeric array: one number, its type as GAV or
        // the arithmetic would give it
        if (!o.x.arr || o.x.numericArr) {
            double x;
            std::uint8_t type;
            if (!number(o.x, x, type)) goto slow;
            Value& t = push();
            t.flags = 0;
            t.setNumber(type, x);
            pc += o.len;
            KELVO_NEXT;
        }
        double d;
        if (!termsValue(o.x, d)) goto slow;
        const auto& elems = o.x.arr->elems;
        std::size_t at;
        if (!elementPosition(d, elems.size(), at)) goto slow;
        const Value* e = &elems[at];
        Value& t = push();  // the stack is apart from the array: e stays valid
        t.type = e->type;
        t.flags = 0;
        t.store = e->store;
        t.num = e->num;
        if (e->store == Store::Text) t.text.assign(e->text);
        pc += o.len;
        KELVO_NEXT;
    }
    op_storeelem : {
        // a number into an existing element of a numeric array
        double value, d;
        if (!number(o.y, value) || !number(o.x, d)) goto slow;
        auto& nums = o.dst->nums;
        std::size_t at;
        if (!elementPosition(d, nums.size(), at)) goto slow;
        nums[at] = value;
        pc += o.len;
        KELVO_NEXT;
    }
    op_swap : {
        // the three stores in their order: t := a[P]; a[P] := a[R]; a[R] := t
        double p, r;
        std::size_t ip, ir;
        auto& nums = o.x.arr->nums;
        if (!termsValue(o.x, p) || !termsValue(o.y, r) || !elementPosition(p, nums.size(), ip) ||
            !elementPosition(r, nums.size(), ir)) {
            goto slow;
        }
        const double t = nums[ip];
        o.dst->v.num = t;
        nums[ip] = nums[ir];
        nums[ir] = t;
        pc += o.len;
        KELVO_NEXT;
    }
    op_stackbin : {
        double y;
        if (top_ == 0 || !number(o.x, y)) goto slow;
        Value& a = stack_[top_ - 1];
        if (a.store != Store::Number) goto slow;
        switch (static_cast<Opcode>(o.sub)) {
            case Opcode::Add:
                a.num += y;
                break;
            case Opcode::Sub:
                a.setNumber(numericType(a), a.num - y);
                break;
            case Opcode::Mul:
                a.setNumber(numericType(a), a.num * y);
                break;
            default:
                if (y == 0) goto slow;
                a.setNumber(numericType(a), a.num / y);
                break;
        }
        pc += o.len;
        KELVO_NEXT;
    }
    op_stackcmpjumpy : {
        double y;
        if (top_ == 0 || !number(o.x, y)) goto slow;
        const Value& a = stack_[top_ - 1];
        if (a.store != Store::Number) goto slow;
        const bool r = compareNumbers(o.sub, a.num, y);
        if (r != o.jumpIfZero && o.target <= o.index && --ticks_ <= 0 && checkpoint())
            return sync();
        --top_;
        pc = r == o.jumpIfZero ? pc + o.len : o.target;
        KELVO_NEXT;
    }
    op_stackcmpjump : {
        if (top_ < 2) goto slow;
        const Value& b = stack_[top_ - 1];
        const Value& a = stack_[top_ - 2];
        if (a.store != Store::Number || b.store != Store::Number) goto slow;
        const bool r = compareNumbers(o.sub, a.num, b.num);
        if (r != o.jumpIfZero && o.target <= o.index && --ticks_ <= 0 && checkpoint())
            return sync();
        top_ -= 2;
        pc = r == o.jumpIfZero ? pc + 2 : o.target;
        KELVO_NEXT;
    }
    slow:
        pc_ = pc;
        pc = step(o.orig, o, pc);
        if (pc == kStopRun) return;
        KELVO_NEXT;
    } catch (...) {
        sync();
        throw;
    }
#undef o
#undef KELVO_NEXT
#undef KELVO_HANDLERS
}

}  // namespace zentra::script
