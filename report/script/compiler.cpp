#include "compiler.h"

#include <algorithm>
#include <cassert>

#include "text/cp1251.h"

namespace zentra::script {
namespace {

// Messages are written here in UTF-8 for readability and used as cp1251, like all script texts.
std::string cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}
// A name in double quotes, as the messages show names.
std::string quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

// The message for a name that lookup does not find.
std::string unknownIdentifier(std::string_view name) {
    return cp("Неизвестный идентификатор ") + quoted(name);
}

// Type code of a type keyword, or -1.
int typeKeyword(std::string_view upper) {
    if (upper == "INTEGER") return kTypeInteger;
    if (upper == "DOUBLE" || upper == "TDATETIME") return kTypeDouble;
    if (upper == "BOOLEAN") return kTypeBoolean;
    if (upper == "PCHAR") return kTypeText;
    if (upper == "VARIANT") return kTypeVariant;
    return -1;
}

}  // namespace

Compiler::Compiler(Code& code, RunTimeData& data) : code_(code), data_(data) {}

// Counts one level of nesting; too deep is a compile error, not a stack overflow.
Compiler::DepthGuard::DepthGuard(Compiler& c) : c(c) {
    if (++c.depth_ > kMaxNesting) {
        c.fail(cp("Слишком глубокая вложенность выражений или операторов (более ") +
               std::to_string(kMaxNesting) + cp(" уровней)"));
    }
}

// Drops all symbols and per-compilation state before the library is compiled again.
void Compiler::reset() {
    symbols_.clear();
    globals_.clear();
    globalIndex_.clear();
    routine_ = nullptr;
    inMain_ = false;
    loops_.clear();
    depth_ = 0;
    entryIndex_ = 0;
    haveMain_ = false;
}

// True when the current token is the keyword (a word token, never a string literal).
bool Compiler::isKw(std::string_view word) const {
    return (tok().kind == tkReserved || tok().kind == tkIdentifier || tok().kind == tkType) &&
           lex_->isToken(word);
}

// True when the current token is the punctuation or operator s.
bool Compiler::isSym(std::string_view s) const {
    return tok().kind != tkString && tok().kind != tkEnd && tok().text == s;
}

// Reports an error at the current token; the lexer raises, so this never returns.
void Compiler::fail(const std::string& message) {
    lex_->error(message);
    throw CompileError(message);
}

// Requires the current token to be s; the kind only names it in the message.
void Compiler::expect(std::string_view s, int kind) {
    // The kind index only names the kind in the message; a string literal never matches.
    if (!(tok().kind != tkString && tok().kind != tkEnd && lex_->isToken(s))) {
        std::string msg = cp("Ожидалось ");
        msg += tokenKindDisplayName(kind);
        msg += " " + quoted(s);
        fail(msg);
    }
}

// Appends one instruction and returns its number.
int Compiler::put(Opcode op, std::string operand, std::uint8_t valueType) {
    Instruction ins;
    ins.op = op;
    ins.operand = std::move(operand);
    ins.valueType = op == Opcode::Push ? valueType : 0;
    code_.push_back(std::move(ins));
    return last();
}

// Appends an array instruction with its element index and array type.
int Compiler::emitIndexed(Opcode op, int number, int index, std::uint8_t valueType) {
    Instruction ins;
    ins.op = op;
    ins.operand = std::to_string(number);
    ins.index = index;
    ins.valueType = valueType;
    code_.push_back(std::move(ins));
    return last();
}

// Points an already emitted jump at its target.
void Compiler::patch(int at, int target) {
    assert(at >= 0 && at <= last());
    code_[static_cast<std::size_t>(at)].operand = std::to_string(target);
}

// Case-insensitive lookup: the routine's locals, its parameters, then the global list.
Symbol* Compiler::lookup(std::string_view name) const {
    if (routine_) {
        for (auto it = routine_->locals.rbegin(); it != routine_->locals.rend(); ++it) {
            if (text::equalsNoCase((*it)->name, name)) return *it;
        }
        for (auto it = routine_->params.rbegin(); it != routine_->params.rend(); ++it) {
            if (text::equalsNoCase((*it)->name, name)) return *it;
        }
    }
    auto it = globalIndex_.find(text::upperCp1251(name));
    return it == globalIndex_.end() ? nullptr : it->second;
}

// A routine's own names may hide globals but not repeat each other; globals are unique.
void Compiler::checkFree(const std::string& name, const std::vector<Symbol*>* list) {
    bool taken = false;
    if (list == &globals_ || !routine_) {
        taken = globalIndex_.count(text::upperCp1251(name)) > 0;
    } else {
        for (Symbol* s : routine_->params)
            taken = taken || text::equalsNoCase(s->name, name);
        for (Symbol* s : routine_->locals)
            taken = taken || text::equalsNoCase(s->name, name);
    }
    if (taken) fail(cp("Идентификатор ") + quoted(name) + cp(" уже существует"));
}

// Creates a symbol in the given list after the duplicate check.
Symbol* Compiler::declare(const std::string& name, int kind, int declKind,
                          std::vector<Symbol*>* list) {
    checkFree(name, list);
    auto s = std::make_unique<Symbol>();
    s->name = name;
    s->kind = kind;
    s->declKind = declKind;
    s->line = tok().line;
    s->column = tok().column;
    Symbol* p = s.get();
    symbols_.push_back(std::move(s));
    list->push_back(p);
    if (list == &globals_) globalIndex_[text::upperCp1251(name)] = p;
    return p;
}

// Allocates the static cell of a declared value.
int Compiler::allocate(const TypeInfo& type) {
    return type.isArray ? data_.addArrayCell(type.code) : data_.addCell(type.code);
}

// module: [includes] [CONST] [VAR] [CLASS] { routine ; }
void Compiler::compileModule(LexAnalyst& lex, bool isMain) {
    LexAnalyst* outer = lex_;
    lex_ = &lex;
    struct Restore {
        Compiler& c;
        LexAnalyst* outer;
        ~Restore() { c.lex_ = outer; }
    } restore{*this, outer};
    routine_ = nullptr;
    next();
    if (tok().kind == tkEnd) fail(cp("Программа незадана"));
    if (!(isKw("INCLUDE") || isKw("CONST") || isKw("VAR") || isKw("PROCEDURE") ||
          isKw("FUNCTION") || isKw("CLASS"))) {
        fail(unknownIdentifier(tok().text));
    }
    while (isKw("INCLUDE")) {
        next();
        if (tok().kind != tkString) fail(cp("Ожидалось строковое значение: <название модуля>"));
        if (onInclude) onInclude(tok().text, lex);
        lex_ = &lex;
        if (lex.failed()) throw CompileError("include failed");
        next();
        expect(";", tkSymbol);
        next();
    }
    if (isKw("CONST")) {
        next();
        compileConstants(&globals_);
    }
    if (isKw("VAR")) {
        next();
        compileVariables(&globals_);
    }
    if (isKw("CLASS")) compileClasses();
    while (isKw("PROCEDURE") || isKw("FUNCTION")) {
        compileRoutine();
        next();
        if (!isSym(";")) break;
        next();
    }
    if (isMain && !haveMain_) {
        fail(cp("В программе нет процедуры Main"));
    }
}

// name = literal ; ...  -- ends at anything that is not an identifier
void Compiler::compileConstants(std::vector<Symbol*>* list) {
    while (tok().kind == tkIdentifier) {
        const std::string name = tok().text;
        Symbol* s = declare(name, Symbol::Value, Symbol::Constant, list);
        next();
        if (!isSym("=")) fail(cp("Ожидалось \"=\" и значение константы"));
        next();
        std::string sign;
        if (isSym("-")) {
            sign = "-";
            next();
            if (tok().kind != tkInteger && tok().kind != tkReal) {
                fail(cp("Ожидалось \"=\" и значение константы"));
            }
        }
        TypeInfo type;
        switch (tok().kind) {
            case tkString:
                type = {kTypeText, false, "PCHAR"};
                break;
            case tkInteger:
                type = {kTypeInteger, false, "INTEGER"};
                break;
            case tkReal:
                type = {kTypeDouble, false, "DOUBLE"};
                break;
            default:
                fail(cp("Ожидалось \"=\" и значение константы"));
        }
        s->typeCode = type.code;
        s->typeName = type.name;
        s->dataIndex = allocate(type);
        data_.setCellText(s->dataIndex, sign + tok().text);
        next();
        expect(";", tkSymbol);
        next();
    }
}

// names : type ; ...  -- ends at anything that is not an identifier
void Compiler::compileVariables(std::vector<Symbol*>* list) {
    while (tok().kind == tkIdentifier) {
        std::vector<Symbol*> group;
        for (;;) {
            if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
            group.push_back(declare(tok().text, Symbol::Value, Symbol::Variable, list));
            next();
            if (!isSym(",")) break;
            next();
        }
        if (!isSym(":")) fail(cp("Ожидалось \":\" и описание типа переменной"));
        next();
        const TypeInfo type = compileType();
        for (Symbol* s : group) {
            s->typeCode = type.code;
            s->typeName = type.name;
            s->isArray = type.isArray;
            s->dataIndex = allocate(type);
        }
        next();
        expect(";", tkSymbol);
        next();
    }
}

// INTEGER | DOUBLE | TDATETIME | BOOLEAN | PCHAR | VARIANT | class name | ARRAY OF type.
// Leaves the type's last token current.
Compiler::TypeInfo Compiler::compileType() {
    DepthGuard guard(*this);
    const std::string upper = text::upperCp1251(tok().text);
    if (tok().kind == tkType && upper == "ARRAY") {
        next();
        expect("OF", tkReserved);
        next();
        TypeInfo element = compileType();
        if (element.isArray) fail(cp("Массив массивов не поддерживается"));
        element.isArray = true;
        element.name = "ARRAY OF " + element.name;
        return element;
    }
    if (tok().kind == tkType) {
        const int code = typeKeyword(upper);
        if (code >= 0) return {static_cast<std::uint8_t>(code), false, upper};
    }
    if (tok().kind == tkIdentifier && lookup(tok().text)) return {kTypeUndefined, false, upper};
    fail(quoted(upper) + cp(" не является типом данных! Ожидался тип данных."));
}

// CLASS name [OF base] { routine headers } ENDCLASS ... Classes only name a type (code 0); their
// routine headers are read and checked but produce no code.
void Compiler::compileClasses() {
    while (isKw("CLASS")) {
        next();
        if (tok().kind != tkIdentifier) {
            fail(cp("Ожидалось описание класса: <название> of <тип> "));
        }
        const std::string name = tok().text;
        Symbol* cls = declare(name, Symbol::ClassName, Symbol::Class, &globals_);
        cls->typeName = text::upperCp1251(name);
        next();
        if (isKw("OF")) {
            next();
            Symbol* base = tok().kind == tkIdentifier ? lookup(tok().text) : nullptr;
            if (!base || base->kind != Symbol::ClassName) {
                fail(cp("Ненайден  базовый класс") + quoted(tok().text) + "!");
            }
            next();
        }
        if (isSym(";")) next();
        while (isKw("PROCEDURE") || isKw("FUNCTION")) {
            const bool isFunction = isKw("FUNCTION");
            next();
            if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
            next();
            if (isSym("(")) {
                int guard = 0;
                while (!isSym(")") && tok().kind != tkEnd && ++guard < 100000)
                    next();
                expect(")", tkSymbol);
                next();
            }
            if (isFunction) {
                expect(":", tkSymbol);
                next();
                compileType();
                next();
            }
            expect(";", tkSymbol);
            next();
        }
        if (!isKw("ENDCLASS")) {
            fail(cp("Ожидалось \"endclass\" в описании класса ") + quoted(name));
        }
        next();
        if (isSym(";")) next();
    }
}

// ( [VAR] names : type { ; [VAR] names : type } )
void Compiler::compileParams(Symbol* routine) {
    next();
    for (;;) {
        bool isVar = false;
        if (isKw("VAR")) {
            isVar = true;
            next();
        }
        std::vector<Symbol*> group;
        for (;;) {
            if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
            group.push_back(declare(tok().text, Symbol::Value, Symbol::Variable, &routine->params));
            next();
            if (!isSym(",")) break;
            next();
        }
        if (!isSym(":")) fail(cp("Ожидался тип переменной"));
        next();
        const TypeInfo type = compileType();
        for (Symbol* s : group) {
            s->typeCode = type.code;
            s->typeName = type.name;
            s->isArray = type.isArray;
            s->isVarParam = isVar;
            s->dataIndex = allocate(type);
        }
        next();
        if (!isSym(";")) break;
        next();
    }
    expect(")", tkSymbol);
    next();
}

// Assigns the host's values to the globals (and Main's parameters) of the same names.
void Compiler::injectHostValues() {
    for (const HostValue& hv : hostValues) {
        Symbol* s = lookup(hv.name);
        if (!s || s->kind != Symbol::Value || s->declKind != Symbol::Variable || s->isArray)
            continue;
        if (!routine_) continue;
        const bool isGlobal = globalIndex_.count(text::upperCp1251(hv.name)) &&
                              globalIndex_.at(text::upperCp1251(hv.name)) == s;
        const bool isParam = std::find(routine_->params.begin(), routine_->params.end(), s) !=
                             routine_->params.end();
        if (!isGlobal && !isParam) continue;
        put(Opcode::Push, hv.literal, hv.type);
        put(Opcode::Movs, std::to_string(s->dataIndex));
    }
}

// PROCEDURE|FUNCTION name [(params)] [: type] ; (EXTERNAL ; conv ; 'lib' | [CONST][VAR] BEGIN ..
// END)
void Compiler::compileRoutine() {
    const bool isFunction = isKw("FUNCTION");
    const std::string description = lex_->commentText();
    next();
    if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
    Symbol* r = declare(tok().text, Symbol::Routine,
                        isFunction ? Symbol::Function : Symbol::Procedure, &globals_);
    r->description = description;
    routine_ = r;
    struct Leave {
        Compiler& c;
        ~Leave() {
            c.routine_ = nullptr;
            c.inMain_ = false;
        }
    } leave{*this};
    next();
    if (isSym("(")) compileParams(r);
    if (isFunction) {
        expect(":", tkSymbol);
        next();
        const TypeInfo type = compileType();
        if (type.isArray) fail(cp("Функция не может возвращать массив"));
        r->resultType = type.code;
        r->typeName = type.name;
        next();
    }
    expect(";", tkSymbol);
    next();
    if (isKw("EXTERNAL")) {
        next();
        expect(";", tkSymbol);
        next();
        static const char* conventions[] = {"STDCALL", "CDECL", "SAFECALL", "PASCAL", "REGISTER"};
        static const int numbers[] = {1, 2, 3, 4, 5};
        for (int i = 0; i < 5; ++i) {
            if (isKw(conventions[i])) r->callConv = numbers[i];
        }
        if (r->callConv == 0) {
            fail(cp("Ожидалось описание метода вызова внешней процедуры ") + quoted(r->name));
        }
        next();
        expect(";", tkSymbol);
        next();
        if (tok().kind != tkString) {
            fail(cp("Ожидалось описание имени модуля внешней процедуры ") + quoted(r->name));
        }
        r->libName = tok().text;
        if (static_cast<int>(r->params.size()) > kMaxCallArguments) {
            fail(cp("Внешняя процедура ") + quoted(r->name) + cp(" описана с более чем ") +
                 std::to_string(kMaxCallArguments) + cp(" параметрами"));
        }
        r->resultCell = 0;
        return;
    }
    // A script routine.
    if (isFunction) r->resultCell = data_.addCell(r->resultType);
    inMain_ = text::equalsNoCase(r->name, "MAIN");
    if (inMain_) {
        haveMain_ = true;
        entryIndex_ = last() + 1;
        injectHostValues();
    }
    if (isKw("CONST")) {
        next();
        compileConstants(&r->locals);
    }
    if (isKw("VAR")) {
        next();
        compileVariables(&r->locals);
    }
    r->entry = last() + 1;
    if (isFunction) {
        const std::uint8_t t = r->resultType;
        put(Opcode::Push, (t >= kTypeInteger && t <= kTypeBoolean) ? "0" : "", t);
        put(Opcode::Movs, std::to_string(r->resultCell));
    }
    loops_.clear();
    expect("BEGIN", tkReserved);
    next();
    compileStatements();
    expect("END", tkReserved);
    for (Symbol* local : r->locals) {
        if (local->isArray) put(Opcode::Fad, std::to_string(local->dataIndex));
    }
    put(inMain_ ? Opcode::Halt : Opcode::Ret);
}

// statement { ; statement } -- ends at END or any token that cannot start a statement
void Compiler::compileStatements() {
    for (;;) {
        compileStatement();
        if (!isSym(";")) break;
        next();
    }
}

// One statement; a token that cannot start one leaves the list to its caller.
void Compiler::compileStatement() {
    DepthGuard guard(*this);
    const Token& t = tok();
    if (t.kind == tkIdentifier) {
        compileIdentifierStatement();
    } else if (t.kind == tkReserved) {
        if (isKw("IF")) {
            compileIf();
        } else if (isKw("WHILE")) {
            compileWhile();
        } else if (isKw("FOR")) {
            compileFor();
        } else if (isKw("EXECSQL")) {
            compileSql(false);
        } else if (isKw("EXIT")) {
            put(inMain_ ? Opcode::Halt : Opcode::Ret);
            next();
        } else if (isKw("TERMINATE")) {
            put(Opcode::Halt);
            next();
        } else if (isKw("BREAK")) {
            compileJumpOut(true);
        } else if (isKw("CONTINUE")) {
            compileJumpOut(false);
        }
        // any other reserved word (END, BEGIN, ELSE, CASE ...) ends the statement list
    }
}

// BREAK / CONTINUE: a jump patched when the innermost open loop ends.
void Compiler::compileJumpOut(bool isBreak) {
    if (loops_.empty()) {
        fail(cp(isBreak ? "Оператор BREAK вне цикла" : "Оператор CONTINUE вне цикла"));
    }
    const int at = put(Opcode::Jmp, "0");
    (isBreak ? loops_.back().breaks : loops_.back().continues).push_back(at);
    next();
}

// A single statement, or BEGIN statements END followed by ';' or ELSE (left current).
void Compiler::compileBody() {
    if (isKw("BEGIN")) {
        next();
        compileStatements();
        expect("END", tkReserved);
        next();
        if (!isKw("ELSE")) expect(";", tkSymbol);
        return;
    }
    compileStatement();
}

// Assignment to a variable, an array element or result, or a routine call.
void Compiler::compileIdentifierStatement() {
    const std::string name = tok().text;
    const bool isResult =
        routine_ && routine_->declKind == Symbol::Function && text::equalsNoCase(name, "result");
    Symbol* s = isResult ? nullptr : lookup(name);
    if (!isResult && !s) fail(unknownIdentifier(name));
    if (s && s->kind == Symbol::Routine) {
        compileCall(s);
        return;
    }
    if (s && s->kind == Symbol::ClassName) fail(unknownIdentifier(name));
    next();
    if (s && s->isArray) {
        int index = -1;
        if (isSym(".")) {
            next();
            if (!isKw("COUNT")) fail(unknownIdentifier(tok().text));
            index = -2;  // Count cannot be assigned: the machine reports it
            next();
        } else {
            expect("[", tkOpenBracket);
            next();
            compileExpression();
            expect("]", tkCloseBracket);
            next();
        }
        if (!isSym(":") || !lex_->nextIsToken("=")) fail(cp("Ожидался оператор присвоения \":=\""));
        next();
        compileExpression();
        emitIndexed(Opcode::Sav, s->dataIndex, index, s->typeCode);
        return;
    }
    if (!isSym(":") || !lex_->nextIsToken("=")) fail(cp("Ожидался оператор присвоения \":=\""));
    next();
    compileExpression();
    put(Opcode::Movs, std::to_string(isResult ? routine_->resultCell : s->dataIndex));
}

// IF c THEN s1 [ELSE s2]: JZ over s1 and its JMP; the JMP is emitted even without ELSE.
void Compiler::compileIf() {
    next();
    compileExpression();
    expect("THEN", tkReserved);
    next();
    const int jz = put(Opcode::Jz, "0");
    compileBody();
    const int jmp = put(Opcode::Jmp, "0");
    patch(jz, jmp + 1);
    if (isKw("ELSE")) {
        next();
        compileBody();
    }
    patch(jmp, last() + 1);
}

// WHILE c DO s: start: c; JZ end; s; JMP start; end.
void Compiler::compileWhile() {
    next();
    const int start = last() + 1;
    compileExpression();
    expect("DO", tkReserved);
    next();
    const int jz = put(Opcode::Jz, "0");
    loops_.push_back(Loop{start, {}, {}});
    compileBody();
    put(Opcode::Jmp, std::to_string(start));
    const int end = last() + 1;
    patch(jz, end);
    for (int b : loops_.back().breaks)
        patch(b, end);
    for (int c : loops_.back().continues)
        patch(c, start);
    loops_.pop_back();
}

// FOR v [:= a] TO|DOWNTO b DO s; the limit is evaluated before every pass.
void Compiler::compileFor() {
    next();
    if (isKw("CONNECT")) {
        compileSql(true);
        return;
    }
    if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
    Symbol* v = lookup(tok().text);
    if (!v || v->kind != Symbol::Value) fail(unknownIdentifier(tok().text));
    if (v->isArray) fail(cp("Ожидался идентификатор"));
    const std::string var = std::to_string(v->dataIndex);
    next();
    if (isSym(":")) {
        if (!lex_->nextIsToken("=")) fail(cp("Ожидался оператор присвоения \":=\""));
        next();
        compileExpression();
        put(Opcode::Movs, var);
    }
    const bool down = isKw("DOWNTO");
    if (!down && !isKw("TO")) fail(cp("Ожидалось зарезервированное слово \"TO\" или \"DOWNTO\""));
    next();
    const int start = last() + 1;
    compileExpression();
    put(Opcode::Movd, var);
    put(down ? Opcode::Max : Opcode::Min);
    const int jnz = put(Opcode::Jnz, "0");
    expect("DO", tkReserved);
    next();
    loops_.push_back(Loop{start, {}, {}});
    compileBody();
    const int step = last() + 1;
    put(Opcode::Movd, var);
    put(down ? Opcode::Dec : Opcode::Inc);
    put(Opcode::Movs, var);
    put(Opcode::Jmp, std::to_string(start));
    const int end = last() + 1;
    patch(jnz, end);
    for (int b : loops_.back().breaks)
        patch(b, end);
    for (int c : loops_.back().continues)
        patch(c, step);
    loops_.pop_back();
}

// Head of a call of an external library routine named by the compiler itself (the SQL
// statement): result type, name and library.
Symbol* Compiler::emitExternalHead(std::string_view routineName, std::uint8_t resultType) {
    Symbol* r = lookup(routineName);
    if (!r || r->kind != Symbol::Routine || r->callConv == 0) {
        fail(unknownIdentifier(routineName));
    }
    emitPushInt(resultType);
    put(Opcode::Push, r->name, kTypeText);
    put(Opcode::Push, r->libName, kTypeText);
    return r;
}

// The call tail of a compiler-made external call (stdcall, no event flag).
void Compiler::emitExternalTail(int argCount) {
    emitPushInt(0);
    emitPushInt(argCount);
    emitPushInt(1);
    emitPushInt(last() + 3);
    put(Opcode::Call, "-1");
}

// Head, arguments and tail of a compiler-made call of a library routine.
void Compiler::emitExternalCall(std::string_view routineName, std::uint8_t resultType,
                                const std::function<void()>& arguments, int argCount) {
    emitExternalHead(routineName, resultType);
    arguments();
    emitExternalTail(argCount);
}

// EXECSQL CONNECT(d, p) sql [SQLRETURNS :a, ...] ENDSQL, and FOR CONNECT(d, p) sql INTO :a, ...
// DO body: calls of the library's Query_* routines through a hidden Integer cell.
void Compiler::compileSql(bool loopForm) {
    if (!loopForm) next();
    expect("CONNECT", tkReserved);
    next();
    expect("(", tkOpenBracket);
    next();
    // Query_Create(driver, params, sql): the call head goes first so that the argument code
    // (which may itself contain calls) keeps its own instruction numbers.
    emitExternalHead("Query_Create", kTypeInteger);
    compileExpression();
    expect(",", tkSymbol);
    next();
    compileExpression();
    expect(")", tkCloseBracket);
    next();
    std::vector<Symbol*> params;
    if (isKw("SETSQL")) {
        next();
        expect("(", tkOpenBracket);
        next();
        compileExpression();
        expect(")", tkCloseBracket);
        next();
    } else {
        // Inline SQL: tokens up to the terminator, which must be a keyword or identifier token
        // (a string literal 'into' is part of the SQL).
        auto atTerminator = [&] {
            if (tok().kind != tkReserved && tok().kind != tkIdentifier) return false;
            return loopForm ? (isKw("DO") || isKw("INTO")) : (isKw("ENDSQL") || isKw("SQLRETURNS"));
        };
        std::string sqlText;
        while (tok().kind != tkEnd && !atTerminator()) {
            if (tok().kind == tkSymbol && tok().text == ":") {
                next();
                if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
                Symbol* p = lookup(tok().text);
                if (!p || p->kind != Symbol::Value || p->isArray)
                    fail(unknownIdentifier(tok().text));
                params.push_back(p);
                sqlText += " :" + tok().text;
            } else if (tok().kind == tkString) {
                sqlText += " '" + tok().text + "'";
            } else {
                sqlText += " " + tok().text;
            }
            next();
        }
        if (sqlText.empty() && onWarning) {
            onWarning(cp("Текст SQL запроса не задан. При выполнение может произойти ошибка."),
                      lex_->line() - 1);
        }
        put(Opcode::Push, sqlText, kTypeText);
    }
    emitExternalTail(3);
    const std::string q = std::to_string(data_.addCell(kTypeInteger));
    put(Opcode::Movd, "0");
    put(Opcode::Movs, q);
    std::vector<int> toFree;
    put(Opcode::Movd, q);
    emitPushInt(0);
    put(Opcode::NotMach);
    toFree.push_back(put(Opcode::Jz, "0"));
    auto asName = [](std::string_view prefix, std::uint8_t t) {
        std::string n(prefix);
        n += t == kTypeDouble                           ? "Double"
             : (t == kTypeInteger || t == kTypeBoolean) ? "Integer"
                                                        : "PChar";
        return n;
    };
    for (std::size_t k = 0; k < params.size(); ++k) {
        Symbol* p = params[k];
        emitExternalCall(
            asName("Param_As", p->typeCode), kTypeUndefined,
            [&] {
                put(Opcode::Movd, q);
                emitPushInt(static_cast<long long>(k));
                put(Opcode::Movd, std::to_string(p->dataIndex));
            },
            3);
    }
    auto handleCall = [&](std::string_view routine, std::uint8_t resultType) {
        emitExternalCall(
            routine, resultType, [&] { put(Opcode::Movd, q); }, 1);
    };
    handleCall("Query_Execute", kTypeBoolean);
    put(Opcode::Movd, "0");
    emitPushInt(1);
    put(Opcode::Mach);
    toFree.push_back(put(Opcode::Jz, "0"));
    const int loopStart = last() + 1;
    handleCall("Query_EOF", kTypeBoolean);
    put(Opcode::Movd, "0");
    emitPushInt(1);
    put(Opcode::NotMach);
    toFree.push_back(put(Opcode::Jz, "0"));
    // Result fields: SQLRETURNS list (statement) or INTO list (loop).
    std::vector<Symbol*> fields;
    const bool haveList = loopForm ? isKw("INTO") : isKw("SQLRETURNS");
    if (loopForm && !haveList) expect("INTO", tkReserved);
    if (haveList) {
        next();
        for (;;) {
            expect(":", tkReserved);
            next();
            if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
            Symbol* v = lookup(tok().text);
            if (!v || v->kind != Symbol::Value || v->isArray) fail(unknownIdentifier(tok().text));
            fields.push_back(v);
            next();
            if (!isSym(",")) break;
            next();
        }
    }
    for (std::size_t k = 0; k < fields.size(); ++k) {
        Symbol* v = fields[k];
        const std::uint8_t t =
            v->typeCode == kTypeVariant || v->typeCode == kTypeUndefined ? kTypeText : v->typeCode;
        emitExternalCall(
            asName("Field_As", t), t,
            [&] {
                put(Opcode::Movd, q);
                emitPushInt(static_cast<long long>(k));
            },
            2);
        put(Opcode::Movd, "0");
        put(Opcode::Movs, std::to_string(v->dataIndex));
    }
    if (loopForm) {
        expect("DO", tkReserved);
        next();
        loops_.push_back(Loop{loopStart, {}, {}});
        compileBody();
        const int step = last() + 1;
        handleCall("Query_Next", kTypeUndefined);
        put(Opcode::Jmp, std::to_string(loopStart));
        for (int b : loops_.back().breaks)
            toFree.push_back(b);
        for (int c : loops_.back().continues)
            patch(c, step);
        loops_.pop_back();
    } else {
        expect("ENDSQL", tkReserved);
        next();
    }
    const int freeAt = last() + 1;
    for (int j : toFree)
        patch(j, freeAt);
    handleCall("Query_Free", kTypeUndefined);
    emitPushInt(0);
    put(Opcode::Movs, q);
}

// expression: term { (+ - AND OR = <> < > <= >=) term }, all one level, left to right
void Compiler::compileExpression() {
    DepthGuard guard(*this);
    compileTerm();
    for (;;) {
        Opcode op;
        const std::string& t = tok().text;
        if (tok().kind == tkOperator && t == "+")
            op = Opcode::Add;
        else if (tok().kind == tkOperator && t == "-")
            op = Opcode::Sub;
        else if (tok().kind == tkLogical && t == "AND")
            op = Opcode::And;
        else if (tok().kind == tkLogical && t == "OR")
            op = Opcode::Or;
        else if (tok().kind == tkLogical && t == "=")
            op = Opcode::Mach;
        else if (tok().kind == tkLogical && t == "<>")
            op = Opcode::NotMach;
        else if (tok().kind == tkLogical && t == "<")
            op = Opcode::Min;
        else if (tok().kind == tkLogical && t == ">")
            op = Opcode::Max;
        else if (tok().kind == tkLogical && t == "<=")
            op = Opcode::MinOrMach;
        else if (tok().kind == tkLogical && t == ">=")
            op = Opcode::MaxOrMach;
        else
            break;
        next();
        compileTerm();
        put(op);
    }
}

// term: factor { (* /) factor }
void Compiler::compileTerm() {
    compileFactor();
    while (tok().kind == tkOperator && (tok().text == "*" || tok().text == "/")) {
        const Opcode op = tok().text == "*" ? Opcode::Mul : Opcode::Div;
        next();
        compileFactor();
        put(op);
    }
}

// [ expression ] after an array name; leaves the token after ']' current.
int Compiler::compileArrayIndex(Symbol* array) {
    expect("[", tkOpenBracket);
    next();
    compileExpression();
    expect("]", tkCloseBracket);
    next();
    return emitIndexed(Opcode::Gav, array->dataIndex, -1, 0);
}

// factor: ( expression ) | - factor | literal | variable | a[i] | a.Count | function call
void Compiler::compileFactor() {
    DepthGuard guard(*this);
    const Token& t = tok();
    switch (t.kind) {
        case tkOpenBracket:
            if (t.text != "(") break;
            next();
            compileExpression();
            if (!isSym(")")) fail(cp("Ожидалась закрывающая скобка \")\""));
            next();
            return;
        case tkOperator:
            if (t.text != "-") break;
            next();
            // A true negation: literals are folded, anything else is 0 - factor. A minus before
            // a string has no effect.
            if (tok().kind == tkInteger || tok().kind == tkReal) {
                const bool real = tok().kind == tkReal;
                std::string lit = tok().text;
                put(Opcode::Push, lit == "0" ? lit : "-" + lit, real ? kTypeDouble : kTypeInteger);
                next();
            } else if (tok().kind == tkString) {
                compileFactor();
            } else {
                emitPushInt(0);
                compileFactor();
                put(Opcode::Sub);
            }
            return;
        case tkString:
            put(Opcode::Push, t.text, kTypeText);
            next();
            return;
        case tkInteger:
            put(Opcode::Push, t.text, kTypeInteger);
            next();
            return;
        case tkReal:
            put(Opcode::Push, t.text, kTypeDouble);
            next();
            return;
        case tkIdentifier: {
            if (routine_ && routine_->declKind == Symbol::Function &&
                text::equalsNoCase(t.text, "result")) {
                put(Opcode::Movd, std::to_string(routine_->resultCell));
                next();
                return;
            }
            Symbol* s = lookup(t.text);
            if (!s || s->kind == Symbol::ClassName) fail(unknownIdentifier(t.text));
            if (s->kind == Symbol::Routine) {
                compileCall(s);
                put(Opcode::Movd, std::to_string(s->resultCell));
                return;
            }
            next();
            if (s->isArray) {
                if (isSym(".")) {
                    next();
                    if (!isKw("COUNT")) fail(unknownIdentifier(tok().text));
                    put(Opcode::Gaec, std::to_string(s->dataIndex));
                    next();
                    return;
                }
                compileArrayIndex(s);
                return;
            }
            put(Opcode::Movd, std::to_string(s->dataIndex));
            return;
        }
        case tkEnd:
            fail(cp("Описание выражения вероятно незакончено"));
        default:
            break;
    }
    fail(cp("Ожидалось выражение"));
}

// The tail of every call: send-event flag, argument count, convention, return index, CALL.
void Compiler::emitCallTail(Symbol* r, int argCount, bool sendEvent) {
    emitPushInt(sendEvent ? 1 : 0);
    emitPushInt(argCount);
    emitPushInt(r->callConv);
    emitPushInt(last() + 3);
    put(Opcode::Call, std::to_string(r->callConv == 0 ? r->entry : -1));
}

// SendEvent(expr {, identifier}): each further argument travels with its name.
void Compiler::compileSendEvent(Symbol* r) {
    emitPushInt(r->resultType);
    put(Opcode::Push, r->name, kTypeText);
    put(Opcode::Push, r->libName, kTypeText);
    next();
    if (!isSym("(")) {
        fail(cp("Ожидалось описание передачи параметров в вызываемую процедуру ") +
             quoted(r->name));
    }
    next();
    compileExpression();
    int n = 1;
    while (isSym(",")) {
        next();
        if (tok().kind != tkIdentifier) fail(cp("Ожидался идентификатор"));
        Symbol* v = lookup(tok().text);
        if (!v || v->kind != Symbol::Value) fail(unknownIdentifier(tok().text));
        if (v->isArray) fail(cp("Ожидался идентификатор"));
        if (++n > kMaxCallArguments) {
            fail(cp("Слишком много аргументов в вызове ") + quoted(r->name) + cp(" (более ") +
                 std::to_string(kMaxCallArguments) + ")");
        }
        put(Opcode::Movd, std::to_string(v->dataIndex));
        put(Opcode::Push, tok().text, kTypeText);
        next();
    }
    expect(")", tkSymbol);
    next();
    emitCallTail(r, n, true);
}

// name [(arguments)]: script routines get their arguments stored straight into their parameter
// cells; externals take them from the stack. VAR arguments are copied back after the call.
void Compiler::compileCall(Symbol* r) {
    if (r->callConv != 0 && text::equalsNoCase(r->name, "SENDEVENT")) {
        compileSendEvent(r);
        return;
    }
    if (r->callConv == 0 && r->entry < 0) {
        fail(unknownIdentifier(r->name));  // a routine cannot be called before its body starts
    }
    next();
    const bool external = r->callConv != 0;
    if (external) {
        emitPushInt(r->resultType);
        put(Opcode::Push, r->name, kTypeText);
        put(Opcode::Push, r->libName, kTypeText);
    }
    std::vector<std::pair<Symbol*, Symbol*>> copyBack;
    const int n = static_cast<int>(r->params.size());
    if (n > 0) {
        if (!isSym("(")) {
            fail(cp("Ожидалось описание передачи параметров в вызываемую процедуру ") +
                 quoted(r->name));
        }
        next();
        for (int k = 0; k < n; ++k) {
            if (k > 0) {
                if (isSym(")")) {
                    fail(cp("Процедура ") + quoted(r->name) + cp(" содержит ") + std::to_string(n) +
                         cp(" параметра, а описано только ") + std::to_string(k));
                }
                expect(",", tkSymbol);
                next();
            }
            Symbol* p = r->params[static_cast<std::size_t>(k)];
            if (p->isVarParam) {
                Symbol* v = tok().kind == tkIdentifier ? lookup(tok().text) : nullptr;
                if (!v || v->kind != Symbol::Value || v->isArray) {
                    fail(cp("Ожидался идентификатор"));
                }
                put(Opcode::Movd, std::to_string(v->dataIndex));
                copyBack.emplace_back(p, v);
                next();
            } else {
                compileExpression();
            }
            if (!external) put(Opcode::Movs, std::to_string(p->dataIndex));
        }
        expect(")", tkSymbol);
        next();
    }
    emitCallTail(r, n, false);
    for (auto& [param, var] : copyBack) {
        put(Opcode::Movd, std::to_string(param->dataIndex));
        put(Opcode::Movs, std::to_string(var->dataIndex));
    }
}

}  // namespace zentra::script
