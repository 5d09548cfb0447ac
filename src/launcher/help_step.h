// /?, -? or /help: the usage text, and the run ends with 0 before anything on the machine changes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "launcher/step_result.h"

// The usage text: switches, options with their values, the install configuration file, exit codes and where
// `logPath` is. Lines end with "\n".
std::string usageText(const std::string& logPath);

// When an argument asks for help: logs the usage and writes it to the standard output the launcher was given,
// else to the console it was started from, else shows it in a box when a person can see one; ends the run with
// 0. Otherwise the run goes on.
StepResult showHelpIfAsked(HINSTANCE instance, const std::vector<std::string>& args);
