// The lexer of cell formulas: the token kinds of the script lexer, but no comments, strings in
// either quote, "$" and "^" inside names, and scanning errors returned as error tokens instead
// of raised, so the compiler decides where a broken formula is reported.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "lexer.h"

namespace zentra::script {

// A failure of a formula (compiling or running); what() is cp1251.
class FormulaError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TFormulaLexer {
  public:
    explicit TFormulaLexer(std::string_view text = {}) { SetText(text); }

    // New text: restarts at line 1, column 0.
    void SetText(std::string_view text);
    // Scans the next token and answers it; the end of the text gives tkEnd again and again.
    const Token& NextToken();
    const Token& Current() const { return token_; }
    // True when the current token's text equals s without regard to case.
    bool IsToken(std::string_view s) const;
    // Raises "Строка(l: c): " + message at the current position.
    [[noreturn]] void Error(std::string_view message) const;
    // Raises "Ожидалось <kind> "s"" unless the current token is s.
    void Expect(std::string_view s, int kind) const;
    // One level of look-ahead: remember the position and token, and go back to them.
    void SavePosition();
    void RestorePosition();

  private:
    unsigned char Peek(std::size_t offset = 0) const;
    void Consume();
    void SetError(std::string_view message, std::string_view what);

    std::string text_;
    std::size_t pos_ = 0;
    int line_ = 1, column_ = 0;
    Token token_;
    struct Saved {
        std::size_t pos = 0;
        int line = 1, column = 0;
        Token token;
    } saved_;
};

}  // namespace zentra::script
