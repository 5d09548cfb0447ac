// Starting the child, the two waiting modes and the exit-code records.
#include "process/executor.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"

namespace {

ChildCreatedHook childCreatedHook = nullptr;
StartRefusalHook startRefusalHook = nullptr;
// A start refused with an internal error created nothing, and under load the system does refuse one now and
// then: trying again costs nothing and keeps an install step from being skipped.
constexpr int kStartAttempts = 3;

// Windows 10 places the child in the listed jobs as it creates it; the headers offer it only to programs that
// require Windows 10, and older systems refuse the attribute, which the start notices.
constexpr DWORD kJobListAttributeNumber = 13;
constexpr DWORD_PTR kJobListAttribute = ProcThreadAttributeValue(kJobListAttributeNumber, FALSE, TRUE, FALSE);

// A job that ends its processes when its last handle closes: a launcher that dies between creating the child and
// resuming it takes the child with it, instead of leaving a process that never runs. Null when none can be made.
// Under Wine a child ended this way while its loader waits for the server's first answer can stay behind as a
// bare Unix process, blocked for good, that no Windows call sees any more (about one kill in a hundred there).
UniqueHandle makeKillOnCloseJob() {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) job.reset();
    return job;
}

// A child that runs must outlive the launcher as before: the job stops killing once the child is resumed. An engine
// resumed just before the launcher dies therefore runs on without it (the kit's waits for cabinets that no longer
// come, then fails).
void stopKillingOnClose(UniqueHandle& job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // Its own children may still leave the job, as they could when it had none.
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) return;
    TBX_LOG(LOG_WARNING, "Executor.exec(): the child's job keeps its limit (" + systemErrorText(GetLastError()) +
                             "); it stays open while the launcher runs");
    // Closing it now would end the running child; the launcher's own end closes it.
    static std::vector<UniqueHandle> jobsKeptForTheRun;
    jobsKeptForTheRun.push_back(std::move(job));
}

}  // namespace

void setChildCreatedHook(ChildCreatedHook hook) { childCreatedHook = hook; }

void setStartRefusalHook(StartRefusalHook hook) { startRefusalHook = hook; }

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
    for (int attempt = 1;; ++attempt) {
        const DWORD refused = startRefusalHook ? startRefusalHook(attempt) : ERROR_SUCCESS;
        started = refused == ERROR_SUCCESS && startExecution();
        if (started) return finishExecution();
        const DWORD code = refused != ERROR_SUCCESS ? refused : GetLastError();
        if (code == ERROR_INTERNAL_ERROR && attempt < kStartAttempts) {
            TBX_LOG(LOG_WARNING, "Executor.exec(): CreateProcess failed with " + systemErrorText(code) +
                                     "; starting it again.");
            Sleep(50);
            continue;
        }
        TBX_LOG(LOG_ERROR, "Executor.exec(): CreateProcess failed with " + systemErrorText(code));
        return code;
    }
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
    UniqueHandle job = makeKillOnCloseJob();
    const ChildStart start = job ? createChild(buffer.data(), job.get()) : ChildStart::NoJob;
    if (start == ChildStart::Created) {
        if (childCreatedHook) childCreatedHook(processInfo.get().dwProcessId);
        if (ResumeThread(processInfo.get().hThread) == static_cast<DWORD>(-1)) {
            // Never to run: the job's close ends it.
            const DWORD error = GetLastError();
            processInfo.reset();
            SetLastError(error);
            return false;
        }
        stopKillingOnClose(job);
        return true;
    }
    if (start == ChildStart::Failed) return false;
    // Without a job the child starts as it always did; only the guard against a launcher dying inside the
    // start is lost, which is no reason to fail the run.
    TBX_LOG(LOG_WARNING, "Executor.exec(): the child is started without a job (" + systemErrorText(GetLastError()) +
                             ")");
    processInfo.reset();
    return CreateProcessA(applicationPath.c_str(), buffer.data(), processAttributes, threadAttributes,
                          inheritHandles, creationFlags, environment, currentDirectory, &startupInfo,
                          processInfo.receive()) != FALSE;
}

// Creates the child suspended and already inside `job`: assigned at creation, so no moment of CreateProcess
// leaves it outside the job (a child assigned afterwards would not be covered while CreateProcess runs). Wine
// does the same: the job goes to its server with the request that makes the process.
// A system without the job-list attribute (before Windows 10) gives NoJob; a start that fails with it is a start
// that fails.
Executor::ChildStart Executor::createChild(char* commandLineBuffer, HANDLE job) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return ChildStart::NoJob;
    std::vector<uint8_t> listMemory(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return ChildStart::NoJob;
    if (!UpdateProcThreadAttribute(list, 0, kJobListAttribute, &job, sizeof job, nullptr, nullptr)) {
        const DWORD error = GetLastError();
        DeleteProcThreadAttributeList(list);
        SetLastError(error);
        return ChildStart::NoJob;
    }
    STARTUPINFOEXA extended{};
    extended.StartupInfo = startupInfo;
    extended.StartupInfo.cb = sizeof extended;
    extended.lpAttributeList = list;
    const bool created =
        CreateProcessA(applicationPath.c_str(), commandLineBuffer, processAttributes, threadAttributes,
                       inheritHandles, creationFlags | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, environment,
                       currentDirectory, &extended.StartupInfo, processInfo.receive()) != FALSE;
    const DWORD error = GetLastError();
    DeleteProcThreadAttributeList(list);
    SetLastError(error);
    return created ? ChildStart::Created : ChildStart::Failed;
}

DWORD Executor::waitUntilExit(DWORD timeout) { return WaitForSingleObject(processInfo.process(), timeout); }

void Executor::pumpUntilExit() {
    for (;;) {
        const HANDLE child = processInfo.process();
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &child, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
        result = waitUntilExit(timeoutMs);
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
