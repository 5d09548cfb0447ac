// Text for whoever started the launcher: its standard output, or the console of the program that started it.
#pragma once

#include <string>

// True when the text reached a standard output or console the launcher was started with.
bool writeToConsole(const std::string& text);
// True when the text reached the standard error the launcher was started with (a file or pipe its caller gave).
bool writeToStandardError(const std::string& text);
