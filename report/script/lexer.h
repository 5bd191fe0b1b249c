// The lexical analyser of report scripts: a pull scanner over cp1251 text. The compiler asks for
// one token at a time; the analyser also formats compile errors, since each one carries the
// position of the current token.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zentra::script {

enum TokenKind : int {
    tkError = 0,
    tkEnd = 1,
    tkSymbol = 2,
    tkString = 3,
    tkInteger = 4,
    tkReal = 5,
    tkOperator = 6,
    tkLogical = 7,
    tkIdentifier = 8,
    tkOpenBracket = 9,
    tkCloseBracket = 10,
    tkReserved = 11,
    tkType = 12,
};

// Display name of a kind as used in "Ожидалось ..." messages (cp1251); "" for unknown numbers.
std::string_view tokenKindDisplayName(int kind);
// Program name of a kind ("tkIdentifier"), for tools.
std::string_view tokenKindName(int kind);

struct Token {
    int kind = tkEnd;
    std::string text;
    int column = 0;  // column counter at the first character, minus one
    int line = 0;    // line counter at the first character
};

// Raised by Error() when raise-on-error is on; what() is the formatted "[Error] (l:c): ..." text.
class CompileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class LexAnalyst {
  public:
    // kind (always 0), formatted message, column, line
    using ErrorHandler = std::function<void(int, const std::string&, int, int)>;

    explicit LexAnalyst(std::string_view text = {});

    // New text: position 1, line 1, column 0, error state cleared. Lone LF line ends are turned
    // into CR LF so that line comments end and lines count the same for either kind of file.
    void setText(std::string_view text);
    const Token& nextToken();
    const Token& current() const { return token_; }
    bool isToken(std::string_view s) const;
    bool nextIsToken(std::string_view s);
    // Reports "Ожидалось <kind name> \"s\"" unless the current token is s; never advances.
    bool expect(std::string_view s, int kindIndex);
    // Formats and reports the first error of a text; later calls do nothing.
    void error(std::string_view message);
    void addReplace(std::string_view word, int kind, int newKind, std::string_view newWord);
    const std::string& commentText() const { return comment_; }
    bool failed() const { return failed_; }
    // Marks the text as failed without a message (an included module already reported one).
    void setFailed() { failed_ = true; }
    int line() const { return line_; }

    ErrorHandler onError;
    bool raiseOnError = true;

  private:
    struct Replace {
        int kind;
        int newKind;
        std::string newWord;
    };
    unsigned char peek(std::size_t offset = 0) const;
    void consume();
    void skipBlanksAndComments();

    std::string text_;
    std::size_t pos_ = 0;  // 0-based index of the next character
    int line_ = 1;
    int column_ = 0;
    int startLine_ = 1;
    int startColumn_ = 0;
    Token token_;
    std::string comment_;
    bool failed_ = false;
    std::unordered_map<std::string, Replace> replaces_;  // key: word in capitals
};

}  // namespace zentra::script
