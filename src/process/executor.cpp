// Starting the child, the two waiting modes and the exit-code records.
#include "process/executor.h"

#include <vector>

#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"

Executor::Executor(const std::string& path) : applicationPath(tstrings::trim(path, " \t")) {
    if (applicationPath.empty()) {
        TBX_LOG(LOG_ERROR, "Executor: applicationPath is empty");
        throw ExecutorError("applicationPath is empty");
    }
    if (applicationPath.size() >= 2 && applicationPath.front() == '"' && applicationPath.back() == '"')
        applicationPath = applicationPath.substr(1, applicationPath.size() - 2);
    commandLine = "\"" + applicationPath + "\"";
}

void Executor::setArguments(const std::string& text) {
    arguments = tstrings::trim(text, " \t");
    if (arguments.empty()) return;
    size_t pos = arguments.find(applicationPath);
    if (pos == 0) commandLine += arguments.substr(applicationPath.size());
    else if (pos == 1 && arguments[0] == '"') commandLine = arguments;
    else commandLine += " " + arguments;
}

DWORD Executor::exec() {
    started = startExecution();
    if (started) return finishExecution();
    DWORD code = GetLastError();
    TBX_LOG(LOG_ERROR, "Executor.exec(): CreateProcess failed with " + systemErrorText(code));
    return code;
}

bool Executor::startExecution() {
    TBX_LOG(LOG_INFO, "Executor.exec(): " + commandLine);
    ZeroMemory(&startupInfo, sizeof startupInfo);
    startupInfo.cb = sizeof startupInfo;
    processInfo.reset();
    if (hideWindow == 1) {
        startupInfo.dwFlags |= STARTF_USESHOWWINDOW;
        startupInfo.wShowWindow = SW_HIDE;
        creationFlags = CREATE_NO_WINDOW;
    }
    // CreateProcessA may write into the command line.
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    return CreateProcessA(applicationPath.c_str(), buffer.data(), processAttributes, threadAttributes,
                          inheritHandles, creationFlags, environment, currentDirectory, &startupInfo,
                          processInfo.receive()) != FALSE;
}

void Executor::pumpUntilExit() {
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &processInfo.get().hProcess, INFINITE, QS_ALLINPUT,
                                                 MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            const bool unicode = IsWindowUnicode(msg.hwnd) != FALSE;
            BOOL got = unicode ? GetMessageW(&msg, nullptr, 0, 0) : GetMessageA(&msg, nullptr, 0, 0);
            if (got > 0) {
                TranslateMessage(&msg);
                if (unicode) DispatchMessageW(&msg);
                else DispatchMessageA(&msg);
            }
            if (WaitForSingleObject(processInfo.process(), 0) == WAIT_OBJECT_0) return;
        }
    }
}

DWORD Executor::finishExecution() {
    DWORD result = 0;
    if (processInfo.process() == INVALID_HANDLE_VALUE) {
        result = GetLastError();
        TBX_LOG(LOG_ERROR, "Executor.finishExecution() failed with " + systemErrorText(result));
        return result;
    }
    if (waitForExit) {
        result = WaitForSingleObject(processInfo.process(), timeoutMs);
        TBX_LOG(LOG_INFO, "Executor.finishExecution(): WaitForSingleObject exited with code " +
                              tstrings::toString(static_cast<uint32_t>(result)));
    } else if (pumpMessages) {
        pumpUntilExit();
    }
    if (waitForExit || pumpMessages) {
        if (result == WAIT_TIMEOUT) {
            TBX_LOG(LOG_INFO, "Executor.finishExecution(): The timeout is elapsed. Terminating Process.");
            TerminateProcess(processInfo.process(), 1);
        } else {
            if (!GetExitCodeProcess(processInfo.process(), &result)) {
                result = GetLastError();
                TBX_LOG(LOG_ERROR,
                        "Executor.finishExecution(): GetExitCodeProcess() failed with " + systemErrorText(result));
            }
            TBX_LOG(LOG_INFO, "Executor.finishExecution(): ExitCode = " +
                                  tstrings::toString(static_cast<uint32_t>(result)));
            if (result != 0) {
                DWORD lastError = GetLastError();
                TBX_LOG(LOG_ERROR,
                        "Executor.finishExecution(): Process execution failed with " + systemErrorText(lastError));
            }
        }
    }
    processInfo.reset();
    return result;
}

DWORD Executor::ExecProcessWaitForFinish(const std::string& applicationPath, const std::string& arguments,
                                         int hideWindow) {
    try {
        Executor executor(applicationPath);
        executor.setArguments(arguments);
        executor.hideWindow = hideWindow;
        executor.waitForExit = true;
        executor.timeoutMs = INFINITE;
        return executor.exec();
    } catch (const ExecutorError& e) {
        TBX_LOG(LOG_ERROR, std::string("ExecutorError in Executor::ExecProcessWaitForFinish ") + e.what());
        return kExitFunctionFailed;
    }
}

DWORD Executor::ExecProcessWithAtlMessageLoop(const std::string& applicationPath, const std::string& arguments) {
    try {
        Executor executor(applicationPath);
        executor.setArguments(arguments);
        executor.hideWindow = 0;
        executor.pumpMessages = true;
        return executor.exec();
    } catch (const ExecutorError& e) {
        TBX_LOG(LOG_ERROR, std::string("ExecutorError in Executor::ExecProcessWithAtlMessageLoop ") + e.what());
        return kExitFunctionFailed;
    }
}
