// Runs one child program and returns its exit code, waiting plainly or while pumping messages.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/win_handles.h"

// Called with the child's process id after the child is created and before it is resumed; tests end the
// process there. Production never sets it; null restores normal operation.
using ChildCreatedHook = void (*)(DWORD processId);
void setChildCreatedHook(ChildCreatedHook hook);
// Tests stand in for a start the system refuses: a non-zero code for start `attempt` (1, 2, ...) fails that start
// with it, as CreateProcess would. Null: starts are the system's own.
using StartRefusalHook = DWORD (*)(int attempt);
void setStartRefusalHook(StartRefusalHook hook);

class Executor {
public:
    class ExecutorError : public std::runtime_error {
    public:
        explicit ExecutorError(const std::string& text) : std::runtime_error(text) {}
        ~ExecutorError() override = default;
    };

    explicit Executor(const std::string& applicationPath);
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    void setArguments(const std::string& text);
    void setHideWindow(int hide) { hideWindow = hide; }
    void setWaitForExit(bool wait, DWORD timeout = INFINITE) { waitForExit = wait; timeoutMs = timeout; }
    void setPumpMessages(bool pump) { pumpMessages = pump; }
    const std::string& getCommandLine() const { return commandLine; }

    // The child's exit code, or a Win32 error code when it could not be run.
    DWORD exec();

    // Both return 1627 when the runner itself fails.
    static DWORD ExecProcessWaitForFinish(const std::string& applicationPath, const std::string& arguments,
                                          int hideWindow);
    static DWORD ExecProcessWithAtlMessageLoop(const std::string& applicationPath, const std::string& arguments);

private:
    bool startExecution();
    enum class ChildStart { Created, Failed, NoJob };
    ChildStart createChild(char* commandLineBuffer, HANDLE job);
    DWORD finishExecution();
    DWORD waitUntilExit(DWORD timeout);
    void pumpUntilExit();

    std::string applicationPath;
    std::string arguments;
    std::string commandLine;
    LPSECURITY_ATTRIBUTES processAttributes = nullptr;
    LPSECURITY_ATTRIBUTES threadAttributes = nullptr;
    BOOL inheritHandles = FALSE;
    DWORD creationFlags = 0;
    LPVOID environment = nullptr;
    LPCSTR currentDirectory = nullptr;
    UniqueProcessInformation processInfo;
    STARTUPINFOA startupInfo{};
    int hideWindow = 0;
    bool waitForExit = false;
    DWORD timeoutMs = INFINITE;
    bool pumpMessages = false;
    bool started = false;
};
