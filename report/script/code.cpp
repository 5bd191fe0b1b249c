#include "code.h"

#include <array>

namespace zentra::script {

// Opcode names indexed by number; the machine's error texts and the disassembler share them.
std::string_view mnemonic(Opcode op) {
    static constexpr std::array<std::string_view, kOpcodeCount> names = {
        "HALT", "PUSH", "POP",       "MOVS",      "MOVD", "ADD", "SUB",       "MUL",
        "DIV",  "INC",  "DEC",       "AND",       "OR",   "NOT", "Mach",      "NotMach",
        "Min",  "Max",  "MinOrMach", "MaxOrMach", "JMP",  "JZ",  "JNZ",       "CALL",
        "RET",  "SAV",  "GAV",       "GAEC",      "SAL",  "FAD", "TRACE FLAG"};
    const auto n = static_cast<std::size_t>(op);
    return n < names.size() ? names[n] : std::string_view("?");
}

// One disassembly line; only the fields an opcode uses are printed, so golden tests stay short.
std::string disassemble(const Instruction& ins, std::size_t number) {
    std::string line = std::to_string(number);
    line += ": ";
    line += mnemonic(ins.op);
    switch (ins.op) {
        case Opcode::Push:
            line += " '";
            line += ins.operand;
            line += "' ";
            line += std::to_string(ins.valueType);
            break;
        case Opcode::Sav:
            line += ' ' + ins.operand + ' ' + std::to_string(ins.index) + ' ' +
                    std::to_string(ins.valueType);
            break;
        case Opcode::Gav:
            line += ' ' + ins.operand + ' ' + std::to_string(ins.index);
            break;
        default:
            if (!ins.operand.empty()) line += ' ' + ins.operand;
            break;
    }
    return line;
}

}  // namespace zentra::script
