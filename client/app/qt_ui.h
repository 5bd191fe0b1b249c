// The questions, messages and waits of the client, behind an interface so that tests answer
// them instead of a person and never block.
#pragma once

#include <string>

namespace zentra::app {

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // A message box with the error icon; "\r" or "\r\n" separate lines.
    virtual void message(const std::string& caption, const std::string& text) = 0;
    // The program's yes/no question.
    virtual bool ask(const std::string& text) = 0;
    // Waits, letting window messages through.
    virtual void wait(int milliseconds) = 0;
};

// Modal Qt message boxes and a time-budgeted event pump.
class QtUserInterface : public UserInterface {
public:
    void message(const std::string& caption, const std::string& text) override;
    bool ask(const std::string& text) override;
    void wait(int milliseconds) override;
};

}  // namespace zentra::app
