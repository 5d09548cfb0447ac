// What one step of the installation run came to: the run goes on, or it ends with an exit code and why.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

class StepResult {
public:
    // The step did its work; the next one runs.
    static StepResult proceed() { return StepResult(); }
    // The run ends with `exitCode`. `what` says what failed (empty when the end is a normal one, such as help or
    // a restart the engine started); `error` is the Win32 error behind it, when one was.
    static StepResult endRun(int exitCode, std::string what = std::string(), DWORD error = ERROR_SUCCESS) {
        StepResult result;
        result.ends = true;
        result.code = exitCode;
        result.failure = std::move(what);
        result.win32Error = error;
        return result;
    }

    bool endsRun() const { return ends; }
    int exitCode() const { return code; }
    DWORD error() const { return win32Error; }
    const std::string& what() const { return failure; }

private:
    bool ends = false;
    int code = 0;
    DWORD win32Error = ERROR_SUCCESS;
    std::string failure;
};
