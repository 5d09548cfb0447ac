// The one decision whether a box may be shown, and showing it.
#include "platform/prompter.h"

#include "platform/window_station.h"

Prompter::Prompter(bool silent) : present(mayShowBox(silent)) {}

int Prompter::show(const std::string& text, const std::string& caption, UINT flags, int unanswered) const {
    if (!present) return unanswered;
    const int answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
    // A box the system could not show (no desktop or display after all: 0, or -1 under some systems) is no
    // answer either.
    return answer <= 0 ? unanswered : answer;
}
