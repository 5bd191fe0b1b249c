// The instruction set of the report script machine: opcodes, the instruction record the compiler
// appends, and its one-line disassembly. Operands are kept as text here because that is the form
// the compiler patches and the disassembler prints; the machine decodes them once at load time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zentra::script {

// Type codes shared by symbols, cells and PUSH instructions.
inline constexpr std::uint8_t kTypeUndefined = 0;
inline constexpr std::uint8_t kTypeInteger = 1;
inline constexpr std::uint8_t kTypeDouble = 2;
inline constexpr std::uint8_t kTypeBoolean = 3;
inline constexpr std::uint8_t kTypeText = 4;
inline constexpr std::uint8_t kTypeVariant = 5;

enum class Opcode : std::uint8_t {
    Halt = 0,
    Push = 1,
    Pop = 2,
    Movs = 3,
    Movd = 4,
    Add = 5,
    Sub = 6,
    Mul = 7,
    Div = 8,
    Inc = 9,
    Dec = 10,
    And = 11,
    Or = 12,
    Not = 13,
    Mach = 14,
    NotMach = 15,
    Min = 16,
    Max = 17,
    MinOrMach = 18,
    MaxOrMach = 19,
    Jmp = 20,
    Jz = 21,
    Jnz = 22,
    Call = 23,
    Ret = 24,
    Sav = 25,
    Gav = 26,
    Gaec = 27,
    Sal = 28,
    Fad = 29,
    TraceFlag = 30,
};
inline constexpr int kOpcodeCount = 31;

// The machine's name of an opcode, as shown in run-time error texts ("?" for unknown numbers).
std::string_view mnemonic(Opcode op);

struct Instruction {
    Opcode op = Opcode::Halt;
    std::string operand;         // literal text, data index or instruction index, in decimal
    std::uint8_t valueType = 0;  // PUSH: type of the literal; SAV: type of the array
    std::int32_t index = 0;      // SAV/GAV element index, -1 = from the stack
};

using Code = std::vector<Instruction>;

// "12: PUSH 'abc' 4" -- number, mnemonic and the fields the opcode uses.
std::string disassemble(const Instruction& ins, std::size_t number);

}  // namespace zentra::script
