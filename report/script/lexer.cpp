#include "lexer.h"

#include <array>
#include <cassert>

#include "text/cp1251.h"

namespace zentra::script {
namespace {

// cp1251 texts of the analyser's own messages and kind names.
const std::string kMsgBadChar = zentra::text::utf8ToCp1251("Недопусптимый символ \"");
const std::string kMsgBadPoint = zentra::text::utf8ToCp1251("Недопусптимый символ: \"");
const std::string kMsgOpenString = zentra::text::utf8ToCp1251("Незаконченная строка");
const std::string kMsgOpenComment = zentra::text::utf8ToCp1251("Описание комментария незакончено");
const std::string kMsgExpected = zentra::text::utf8ToCp1251("Ожидалось ");

// The kinds' display names, converted once.
const std::array<std::string, 13>& displayNames() {
    static const std::array<std::string, 13> names = [] {
        const char* utf8[] = {"Ошибка",
                              "Конец данных",
                              "Символ",
                              "Строка",
                              "число",
                              "число",
                              "Бинарная операция",
                              "Логическая операция",
                              "Идентификатор",
                              "Открывающая скобка",
                              "Закрывающая скобка",
                              "Зарезервированное слово",
                              "Тип"};
        std::array<std::string, 13> out;
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = zentra::text::utf8ToCp1251(utf8[i]);
        return out;
    }();
    return names;
}

// Letters of identifiers: Latin, underscore and the Cyrillic bytes 192-255.
bool isLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 192;
}
// Decimal digits.
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// Display name of a kind for "Ожидалось ..." messages.
std::string_view tokenKindDisplayName(int kind) {
    if (kind < 0 || kind >= 13) return {};
    return displayNames()[static_cast<std::size_t>(kind)];
}

// Program name of a kind, for tools and tests.
std::string_view tokenKindName(int kind) {
    static constexpr std::array<std::string_view, 13> names = {
        "tkError",        "tkEnd",      "tkSymbol",  "tkString",     "tkInteger",
        "tkReal",         "tkOperator", "tkLogical", "tkIdentifier", "tkOpenBracket",
        "tkCloseBracket", "tkReserved", "tkType"};
    if (kind < 0 || kind >= 13) return "?";
    return names[static_cast<std::size_t>(kind)];
}

// Builds the keyword table in its fixed order; the first entry of a word wins.
LexAnalyst::LexAnalyst(std::string_view text) {
    addReplace("AND", tkIdentifier, tkLogical, "AND");
    addReplace("OR", tkIdentifier, tkLogical, "OR");
    addReplace("TRUE", tkIdentifier, tkInteger, "1");
    addReplace("FALSE", tkIdentifier, tkInteger, "0");
    addReplace("NIL", tkIdentifier, tkInteger, "0");
    for (const char* w : {"INCLUDE",   "BEGIN", "END",      "PROCEDURE", "FUNCTION",   "EXECSQL",
                          "IF",        "THEN",  "ELSE",     "FOR",       "TO",         "DO",
                          "DOWNTO",    "CASE",  "OF",       "WHILE",     "VAR",        "CONST",
                          "TYPE",      "CLASS", "STDCLASS", "PUBLIC",    "PRIVATE",    "PROTECTED",
                          "TERMINATE", "EXIT",  "BREAK",    "CONTINUE",  "SQLRETURNS", "INTO"}) {
        addReplace(w, tkIdentifier, tkReserved, w);
    }
    for (const char* w :
         {"INTEGER", "DOUBLE", "BOOLEAN", "TDATETIME", "PCHAR", "VARIANT", "ARRAY"}) {
        addReplace(w, tkIdentifier, tkType, w);
    }
    setText(text);
}

// Appends a keyword-table entry; an earlier entry of the same word wins.
void LexAnalyst::addReplace(std::string_view word, int kind, int newKind,
                            std::string_view newWord) {
    assert(kind == tkIdentifier);
    replaces_.try_emplace(text::upperCp1251(word), Replace{kind, newKind, std::string(newWord)});
}

// Takes a new text, with lone LFs turned into CR LF, and restarts all counters.
void LexAnalyst::setText(std::string_view text) {
    text_.clear();
    text_.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) text_ += '\r';
        text_ += text[i];
    }
    pos_ = 0;
    line_ = 1;
    column_ = 0;
    failed_ = false;
    comment_.clear();
    token_ = Token{};
}

// The character at the position plus offset, 0 past the end.
unsigned char LexAnalyst::peek(std::size_t offset) const {
    const std::size_t p = pos_ + offset;
    return p < text_.size() ? static_cast<unsigned char>(text_[p]) : 0;
}

// Advances one character; a carriage return starts a new line.
void LexAnalyst::consume() {
    assert(pos_ < text_.size());
    if (text_[pos_] == '\r') {
        column_ = 0;
        ++line_;
    }
    ++pos_;
    ++column_;
}

// Skips white space and both comment forms, collecting the // lines directly above a token.
void LexAnalyst::skipBlanksAndComments() {
    while (pos_ < text_.size()) {
        const unsigned char c = peek();
        if (c == ' ' || c == '\t' || c == '\n') {
            consume();
        } else if (c == '\r') {
            comment_.clear();
            consume();
        } else if (c == '/' && peek(1) == '/') {
            while (pos_ < text_.size() && peek() != '\r') {
                comment_ += static_cast<char>(peek());
                consume();
            }
            if (pos_ >= text_.size()) {
                error(kMsgOpenComment);
                return;
            }
            comment_ += '\r';
            consume();
        } else if (c == '{') {
            while (pos_ < text_.size() && peek() != '}')
                consume();
            if (pos_ >= text_.size()) {
                error(kMsgOpenComment);
                return;
            }
            consume();
        } else {
            return;
        }
    }
}

// Scans the next token; after an error every request yields the end of data.
const Token& LexAnalyst::nextToken() {
    if (failed_) {
        token_.kind = tkEnd;
        token_.text = "  ";
        return token_;
    }
    comment_.clear();
    const int line0 = line_, col0 = column_;
    startLine_ = line_;
    startColumn_ = column_;
    token_.kind = tkEnd;
    token_.text.clear();
    skipBlanksAndComments();
    if (failed_) {
        token_.kind = tkEnd;
        token_.text = "  ";
        return token_;
    }
    if (pos_ >= text_.size()) {
        line_ = line0;
        column_ = col0;
        token_.line = line_;
        token_.column = column_ - 1;
        return token_;
    }
    startLine_ = line_;
    startColumn_ = column_;
    token_.line = line_;
    token_.column = column_ - 1;
    const unsigned char c = peek();
    std::string& t = token_.text;
    switch (c) {
        case '%':
        case ',':
        case '.':
        case ':':
        case ';':
        case '|':
            token_.kind = tkSymbol;
            t += static_cast<char>(c);
            consume();
            break;
        case '(':
        case '[':
            token_.kind = tkOpenBracket;
            t += static_cast<char>(c);
            consume();
            break;
        case ')':
        case ']':
            token_.kind = tkCloseBracket;
            t += static_cast<char>(c);
            consume();
            break;
        case '*':
        case '+':
        case '-':
        case '/':
            token_.kind = tkOperator;
            t += static_cast<char>(c);
            consume();
            break;
        case '\'':
            token_.kind = tkString;
            consume();
            while (pos_ < text_.size() && peek() != '\'') {
                if (peek() == '\r') {
                    token_.kind = tkError;
                    error(kMsgOpenString);
                    return token_;
                }
                t += static_cast<char>(peek());
                consume();
            }
            if (pos_ < text_.size()) consume();
            break;
        case '<':
        case '=':
        case '>':
            token_.kind = tkLogical;
            t += static_cast<char>(c);
            consume();
            if ((c == '<' && (peek() == '=' || peek() == '>')) || (c == '>' && peek() == '=')) {
                t += static_cast<char>(peek());
                ++pos_;  // a two-character operator counts as one column
            }
            break;
        default:
            if (isDigit(c)) {
                token_.kind = tkInteger;
                while (pos_ < text_.size() && (isDigit(peek()) || peek() == '.')) {
                    if (peek() == '.') {
                        if (token_.kind == tkReal) {
                            token_.kind = tkError;
                            error(kMsgBadPoint + ".\"");
                            return token_;
                        }
                        token_.kind = tkReal;
                    }
                    t += static_cast<char>(peek());
                    consume();
                }
            } else if (isLetter(c)) {
                token_.kind = tkIdentifier;
                while (pos_ < text_.size() && (isLetter(peek()) || isDigit(peek()))) {
                    t += static_cast<char>(peek());
                    consume();
                }
                auto it = replaces_.find(text::upperCp1251(t));
                if (it != replaces_.end() && it->second.kind == tkIdentifier) {
                    token_.kind = it->second.newKind;
                    t = it->second.newWord;
                }
            } else {
                token_.kind = tkError;
                t += static_cast<char>(c);
                error(kMsgBadChar + t + "\"");
            }
            break;
    }
    return token_;
}

// Current token text equals s without regard to case.
bool LexAnalyst::isToken(std::string_view s) const {
    return text::equalsNoCase(token_.text, s);
}

// Reads the next token and compares it with s.
bool LexAnalyst::nextIsToken(std::string_view s) {
    nextToken();
    return isToken(s);
}

// Reports "Ожидалось <kind> \"s\"" unless the current token is s.
bool LexAnalyst::expect(std::string_view s, int kindIndex) {
    if (isToken(s)) return true;
    std::string msg = kMsgExpected;
    msg += tokenKindDisplayName(kindIndex);
    msg += " \"";
    msg += s;
    msg += '"';
    error(msg);
    return false;
}

// Reports the first error of a text with the position of the current token's start.
void LexAnalyst::error(std::string_view message) {
    if (failed_) return;
    failed_ = true;
    std::string text = "[Error] (" + std::to_string(startLine_ - 1) + ":" +
                       std::to_string(startColumn_ - 1) + "): ";
    text += message;
    if (onError) onError(0, text, startColumn_ - 2, startLine_ - 1);
    if (raiseOnError) throw CompileError(text);
}

}  // namespace zentra::script
