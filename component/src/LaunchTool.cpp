// Running the console tool: the live-log window's thread beside it, the start, the wait (pumping
// the calling thread's messages when it has windows) and the exit code.
#include <chrono>
#include <system_error>
#include <thread>

#include "CComponent.h"
#include "LiveLogWindow.h"
#include "UpdateTools.h"
#include "installer_common/Log.h"
#include "platform/win_error.h"
#include "platform/win_handle.h"
#include "platform/win_process.h"
#include "platform/win_window.h"

namespace {

constexpr const char16_t* kSource = u"component.cpp";
// How long the tool's start waits for the window thread to report.
constexpr auto kWindowStartLimit = std::chrono::seconds(10);

void WaitPumping(win::HANDLE process)
{
    for (;;) {
        win::DWORD r = win::MsgWaitForMultipleObjects(1, &process, win::FALSE, win::INFINITE, win::QS_ALLINPUT);
        if (r != win::WAIT_OBJECT_0 + 1) return;  // the process ended, or the wait failed
        win::MSG msg;
        while (win::PeekMessageW(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
            win::TranslateMessage(&msg);
            win::DispatchMessageW(&msg);
        }
    }
}

}  // namespace

win::DWORD CComponent::do_command(const std::u16string& command, bool detached)
{
    UseLog();
    WindowStartup startup;
    std::thread windowThread;
    try {
        windowThread = std::thread(CreateHiddenMessageWindow, &startup);
        LogTrace(g_pLogContext, kSource, __LINE__, u"CreateThread (CreateHiddenMessageWindow) succeeded.\r\n");
    } catch (const std::system_error& e) {
        LogVerbose(g_pLogContext, kSource, __LINE__, u"CreateThread (CreateMessageWindow) failed with 0x%x.\r\n",
                   e.code().value());
        LogVerbose(g_pLogContext, kSource, __LINE__, u"Logging from firmware update utilities will not be enabled.\r\n");
    }
    if (windowThread.joinable()) {
        // A tool started before the window exists would find none and lose its whole log.
        std::unique_lock g(startup.lock);
        startup.changed.wait_for(g, kWindowStartLimit, [&] { return startup.settled; });
    }

    win::DWORD result = kToolNotStarted;
    std::u16string line = command;
    win::STARTUPINFOW si{sizeof(win::STARTUPINFOW), GetUpdateToolTitle(m_keyFile.c_str())};
    win::PROCESS_INFORMATION pi{};
    // A command without a program (a key file that names no known tool) cannot start.
    bool hasProgram = !command.empty() && command[0] != u' ';
    if (hasProgram && win::CreateProcessW(nullptr, line.data(), nullptr, nullptr, win::TRUE, detached ? win::DETACHED_PROCESS : 0,
                            nullptr, nullptr, &si, &pi)) {
        if (win::IsGUIThread(win::FALSE)) {
            LogTrace(g_pLogContext, kSource, __LINE__, u"Pump messages while waiting to keep tvnsetup responsive.\r\n");
            WaitPumping(pi.hProcess);
        } else {
            LogTrace(g_pLogContext, kSource, __LINE__, u"WaitForSingleObject while waiting.\r\n");
        }
        win::WaitForSingleObject(pi.hProcess, win::INFINITE);
        win::GetExitCodeProcess(pi.hProcess, &result);
        win::CloseHandle(pi.hProcess);
        win::CloseHandle(pi.hThread);
    }

    if (windowThread.joinable()) {
        LogTrace(g_pLogContext, kSource, __LINE__, u"Closing thread (CreateHiddenMessageWindow).\r\n");
        win::HWND window;
        {
            // A thread slower than the start limit still reports; its window must be closed too.
            std::unique_lock g(startup.lock);
            startup.changed.wait(g, [&] { return startup.settled; });
            window = startup.window;
        }
        if (window) win::SendMessageW(window, win::WM_CLOSE, 0, 0);
        windowThread.join();
        LogTrace(g_pLogContext, kSource, __LINE__, u"Verbose log window thread closed.\r\n");
    }
    return result;
}
