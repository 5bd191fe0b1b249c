#include "formula_lexer.h"

#include <cstdio>

#include "text/cp1251.h"

namespace zentra::script {
namespace {

// Messages are written in UTF-8 here and used as cp1251, like all formula texts.
const std::string kOpenString = text::utf8ToCp1251("Незаконченная строка");
const std::string kBadChar = text::utf8ToCp1251("Недопусптимый символ \"");
const std::string kBadPoint = text::utf8ToCp1251("Недопусптимый символ: \"");
const std::string kLinePrefix = text::utf8ToCp1251("Строка");
const std::string kExpected = text::utf8ToCp1251("Ожидалось ");

// First characters of names: Latin letters, "_", "$", "^" and the Cyrillic bytes 192-255.
bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$' || c == '^' ||
           c >= 192;
}
// Digits.
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// Takes a new text and restarts the counters.
void TFormulaLexer::SetText(std::string_view text) {
    text_.assign(text);
    pos_ = 0;
    line_ = 1;
    column_ = 0;
    token_ = Token{};
    saved_ = Saved{};
}

// The character at the position plus offset, 0 past the end.
unsigned char TFormulaLexer::Peek(std::size_t offset) const {
    const std::size_t p = pos_ + offset;
    return p < text_.size() ? static_cast<unsigned char>(text_[p]) : 0;
}

// Advances one character; a carriage return starts a new line.
void TFormulaLexer::Consume() {
    if (text_[pos_] == '\r') {
        ++line_;
        column_ = 0;
    }
    ++pos_;
    ++column_;
}

// Makes the current token an error token whose text is the formatted message.
void TFormulaLexer::SetError(std::string_view message, std::string_view what) {
    char head[64];
    std::snprintf(head, sizeof head, "(%d:%d): ", token_.line, token_.column);
    token_.kind = tkError;
    token_.text = kLinePrefix + head + std::string(message) + std::string(what);
}

// Scans one token.
const Token& TFormulaLexer::NextToken() {
    while (pos_ < text_.size()) {
        const unsigned char c = Peek();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != 0) break;
        Consume();
    }
    token_ = Token{};
    token_.line = line_;
    token_.column = column_;
    if (pos_ >= text_.size()) {
        token_.kind = tkEnd;
        return token_;
    }
    const unsigned char c = Peek();
    const std::size_t start = pos_;
    if (IsNameStart(c)) {
        while (pos_ < text_.size() && (IsNameStart(Peek()) || IsDigit(Peek())))
            Consume();
        token_.text = text_.substr(start, pos_ - start);
        const std::string upper = text::upperCp1251(token_.text);
        token_.kind = tkIdentifier;
        if (upper == "AND") {
            token_.kind = tkLogical;
            token_.text = "&";
        } else if (upper == "OR") {
            token_.kind = tkLogical;
            token_.text = "|";
        }
        return token_;
    }
    if (IsDigit(c)) {
        bool point = false;
        while (pos_ < text_.size()) {
            const unsigned char d = Peek();
            if (IsDigit(d)) {
                Consume();
            } else if (d == '.' && IsDigit(Peek(1))) {
                if (point) {
                    Consume();
                    SetError(kBadPoint, ".\"");
                    return token_;
                }
                point = true;
                Consume();
            } else {
                break;
            }
        }
        token_.text = text_.substr(start, pos_ - start);
        token_.kind = point ? tkReal : tkInteger;
        return token_;
    }
    if (c == '\'' || c == '"') {
        Consume();
        std::string s;
        while (pos_ < text_.size() && Peek() != '\'' && Peek() != '"') {
            s += static_cast<char>(Peek());
            Consume();
        }
        if (pos_ >= text_.size()) {
            SetError(kOpenString, "");
            return token_;
        }
        Consume();
        token_.kind = tkString;
        token_.text = std::move(s);
        return token_;
    }
    Consume();
    token_.text = std::string(1, static_cast<char>(c));
    switch (c) {
        case ',':
        case '.':
        case ':':
        case ';':
            token_.kind = tkSymbol;
            return token_;
        case '(':
            token_.kind = tkOpenBracket;
            return token_;
        case ')':
            token_.kind = tkCloseBracket;
            return token_;
        case '+':
        case '-':
        case '*':
        case '/':
        case '=':
            token_.kind = tkOperator;
            return token_;
        case '<':
            if (Peek() == '>' || Peek() == '=') {
                token_.text += static_cast<char>(Peek());
                Consume();
            }
            token_.kind = tkOperator;
            return token_;
        case '>':
            if (Peek() == '=') {
                token_.text += '=';
                Consume();
            }
            token_.kind = tkOperator;
            return token_;
        default:
            SetError(kBadChar, token_.text + "\"");
            return token_;
    }
}

// Case-blind comparison with the current token's text.
bool TFormulaLexer::IsToken(std::string_view s) const {
    return text::equalsNoCase(token_.text, s);
}

// Raises the message with the position of the current token.
void TFormulaLexer::Error(std::string_view message) const {
    char head[64];
    std::snprintf(head, sizeof head, "(%d: %d): ", token_.line, token_.column);
    throw FormulaError(kLinePrefix + head + std::string(message));
}

// Raises "Ожидалось ..." unless the current token is s.
void TFormulaLexer::Expect(std::string_view s, int kind) const {
    if (token_.kind == tkError) throw FormulaError(token_.text);
    if (!IsToken(s))
        Error(kExpected + std::string(tokenKindDisplayName(kind)) + " \"" + std::string(s) + "\"");
}

// Remembers the position and current token (one level).
void TFormulaLexer::SavePosition() {
    saved_ = Saved{pos_, line_, column_, token_};
}

// Goes back to the remembered position and token.
void TFormulaLexer::RestorePosition() {
    pos_ = saved_.pos;
    line_ = saved_.line;
    column_ = saved_.column;
    token_ = saved_.token;
}

}  // namespace zentra::script
