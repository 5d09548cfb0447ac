// Whether a person is at the screen, decided once for the run, and the one way the launcher shows a box.
#pragma once

#include <windows.h>

#include <string>

class Prompter {
public:
    // Before the run knows whether it is silent: nobody is asked anything.
    Prompter() = default;
    // A silent run, or one on a window station nobody sees, has nobody at the screen.
    explicit Prompter(bool silent);

    bool personPresent() const { return present; }

    // Shows the box and returns the button chosen when a person is there; otherwise returns `unanswered` at
    // once, and the caller's record is the whole report.
    int show(const std::string& text, const std::string& caption, UINT flags, int unanswered = IDOK) const;

private:
    bool present = false;
};
