// Single-pass compiler of report scripts: recursive descent over the lexer's tokens, appending
// instructions to the machine's code and static cells to its data segment. Every name is resolved
// when read, jumps are patched as soon as their target is known, calls carry the callee's entry.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "code.h"
#include "lexer.h"
#include "runtime_data.h"

namespace zentra::script {

// One declared name.
struct Symbol {
    enum Kind { Value = 1, Routine = 2, ClassName = 5 };
    enum DeclKind { Variable = 1, Procedure = 2, Function = 3, Constant = 4, Class = 5 };
    int kind = Value;
    int declKind = Variable;
    std::string name;
    std::string typeName;     // in capitals
    std::string description;  // the // comment lines above a routine
    std::uint8_t typeCode = kTypeUndefined;
    int dataIndex = -1;
    bool isVarParam = false;
    bool isArray = false;
    int entry = -1;
    int callConv = 0;  // 0 script routine; 1 stdcall, 2 cdecl, 3 safecall, 4 pascal, 5 register
    std::uint8_t resultType = kTypeUndefined;
    int resultCell = 0;
    std::string libName;
    std::vector<Symbol*> params;
    std::vector<Symbol*> locals;
    int line = 0, column = 0;
};

// A value handed in by the host, already in the literal form PUSH reads.
struct HostValue {
    std::string name;  // lower case
    std::string literal;
    std::uint8_t type = kTypeUndefined;
};

// Most arguments one call may pass; the machine's argument block has this many entries.
inline constexpr int kMaxCallArguments = 256;
// Deepest nesting of expressions and statements the recursive descent accepts.
inline constexpr int kMaxNesting = 200;

class Compiler {
  public:
    Compiler(Code& code, RunTimeData& data);

    // Forgets all symbols and compiler state (the code and data are cleared by the owner).
    void reset();
    // Compiles one module text read from lex; isMain marks the report script, which must have
    // Main. Errors are reported through lex (which throws CompileError when it raises).
    void compileModule(LexAnalyst& lex, bool isMain);

    int entryIndex() const { return entryIndex_; }
    std::size_t globalCount() const { return globals_.size(); }
    const std::vector<Symbol*>& globals() const { return globals_; }

    std::vector<HostValue> hostValues;
    // INCLUDE: called with the text after INCLUDE and the lexer that read it.
    std::function<void(const std::string& name, LexAnalyst& lex)> onInclude;
    // Compiler warnings: message (cp1251) and the current line minus one.
    std::function<void(const std::string& message, int line)> onWarning;

  private:
    struct Loop {
        int start = 0;
        std::vector<int> breaks;
        std::vector<int> continues;
    };
    struct TypeInfo {
        std::uint8_t code = kTypeUndefined;
        bool isArray = false;
        std::string name;
    };

    // token helpers
    const Token& tok() const { return lex_->current(); }
    const Token& next() { return lex_->nextToken(); }
    bool isKw(std::string_view word) const;
    bool isSym(std::string_view s) const;
    [[noreturn]] void fail(const std::string& message);
    void expect(std::string_view s, int kind);

    // emission
    int last() const { return static_cast<int>(code_.size()) - 1; }
    // Appends one instruction (named so, not "emit", to stay clear of Qt's keyword macro).
    int put(Opcode op, std::string operand = {}, std::uint8_t valueType = 0);
    int emitIndexed(Opcode op, int number, int index, std::uint8_t valueType);
    void patch(int at, int target);
    void emitPushInt(long long v) { put(Opcode::Push, std::to_string(v), kTypeInteger); }

    // symbols
    Symbol* lookup(std::string_view name) const;
    Symbol* declare(const std::string& name, int kind, int declKind, std::vector<Symbol*>* list);
    void checkFree(const std::string& name, const std::vector<Symbol*>* list);
    int allocate(const TypeInfo& type);

    // declarations
    void compileConstants(std::vector<Symbol*>* list);
    void compileVariables(std::vector<Symbol*>* list);
    TypeInfo compileType();
    void compileClasses();
    void compileRoutine();
    void compileParams(Symbol* routine);
    void injectHostValues();

    // statements
    void compileStatements();
    void compileStatement();
    void compileBody();
    void compileIdentifierStatement();
    void compileIf();
    void compileWhile();
    void compileFor();
    void compileSql(bool loopForm);
    void compileJumpOut(bool isBreak);

    // expressions
    void compileExpression();
    void compileTerm();
    void compileFactor();
    void compileCall(Symbol* routine);
    void compileSendEvent(Symbol* routine);
    void emitCallTail(Symbol* routine, int argCount, bool sendEvent);
    Symbol* emitExternalHead(std::string_view routineName, std::uint8_t resultType);
    void emitExternalTail(int argCount);
    void emitExternalCall(std::string_view routineName, std::uint8_t resultType,
                          const std::function<void()>& arguments, int argCount);
    int compileArrayIndex(Symbol* array);

    struct DepthGuard {
        Compiler& c;
        explicit DepthGuard(Compiler& c);
        ~DepthGuard() { --c.depth_; }
    };

    Code& code_;
    RunTimeData& data_;
    LexAnalyst* lex_ = nullptr;
    std::vector<std::unique_ptr<Symbol>> symbols_;
    std::vector<Symbol*> globals_;
    std::unordered_map<std::string, Symbol*> globalIndex_;  // key: name in capitals
    Symbol* routine_ = nullptr;                             // routine being compiled
    bool inMain_ = false;
    std::vector<Loop> loops_;
    int depth_ = 0;
    int entryIndex_ = 0;
    bool haveMain_ = false;
};

}  // namespace zentra::script
