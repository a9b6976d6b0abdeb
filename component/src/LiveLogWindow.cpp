#include "LiveLogWindow.h"

#include <string>

#include "installer_common/Log.h"
#include "platform/win_error.h"

namespace {

constexpr const char16_t* kSource = u"verboselogwnd.cpp";

// Registers the window class the first time; a class this process registered before serves every
// later window (registering on each run would fail the second run with 1410 and lose its log).
bool RegisterWindowClass()
{
    win::WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = VerboseLogWndProc;
    wc.hbrBackground = reinterpret_cast<void*>(uintptr_t(win::COLOR_WINDOW + 1));
    wc.lpszClassName = kVerboseLogWindowClass;
    if (win::RegisterClassExW(&wc)) return true;
    if (win::GetLastError() == win::ERROR_CLASS_ALREADY_EXISTS) return true;
    LogTrace(g_pLogContext, kSource, __LINE__, u"%s window registration failed: 0x%x", kVerboseLogWindowClass,
             win::GetLastError());
    return false;
}

void Settle(WindowStartup* startup, win::HWND window)
{
    if (!startup) return;
    std::lock_guard g(startup->lock);
    startup->window = window;
    startup->settled = true;
    startup->changed.notify_all();
}

}  // namespace

void CreateHiddenMessageWindow(WindowStartup* startup)
{
    if (!RegisterWindowClass()) return Settle(startup, nullptr);
    win::HWND window = win::CreateWindowExW(win::WS_EX_CLIENTEDGE, kVerboseLogWindowClass, kVerboseLogWindowTitle,
                                            win::WS_OVERLAPPEDWINDOW, -100, -100, 0, 0, nullptr, nullptr, nullptr,
                                            nullptr);
    if (!window) {
        LogTrace(g_pLogContext, kSource, __LINE__, u"%s window creation failed: 0x%x", kVerboseLogWindowClass,
                 win::GetLastError());
        return Settle(startup, nullptr);
    }
    Settle(startup, window);
    win::MSG msg;
    // GetMessageW gives -1 once the window is destroyed, which ends the loop as a 0 would.
    while (win::GetMessageW(&msg, window, 0, 0) > 0) {
        win::TranslateMessage(&msg);
        LogTrace(g_pLogContext, kSource, __LINE__, u"DispatchMessage caught a message: 0x%x\r\n", msg.message);
        win::DispatchMessageW(&msg);
    }
    if (win::IsWindow(window)) win::DestroyWindow(window);
}

win::LRESULT VerboseLogWndProc(win::HWND window, win::UINT message, win::WPARAM wparam, win::LPARAM lparam)
{
    LogTrace(g_pLogContext, kSource, __LINE__, u"wndproc caught a message: 0x%x\r\n", message);
    if (message != win::WM_COPYDATA) return win::DefWindowProcW(window, message, wparam, lparam);
    if (wparam != VerboseLogMessageTag) return 0;
    const auto* data = reinterpret_cast<const win::COPYDATASTRUCT*>(lparam);
    if (!data || !data->lpData) return 0;
    // The text ends at its NUL or, without one, at the end of the bytes received.
    const auto* units = static_cast<const char16_t*>(data->lpData);
    std::u16string text;
    for (size_t i = 0; i < data->cbData / sizeof(char16_t) && units[i]; ++i) text += units[i];
    if (data->dwData & 1) {
        LogMessage(g_pLogContext, kSource, __LINE__, u"%s\r\n", text.c_str());
        LogVerbose(g_pLogContext, kSource, __LINE__, u"%s\r\n", text.c_str());
    }
    if (data->dwData & 2) LogVerbose(g_pLogContext, kSource, __LINE__, u"%s\r\n", text.c_str());
    if (data->dwData & 4) LogTrace(g_pLogContext, kSource, __LINE__, u"%s\r\n", text.c_str());
    return 0;
}
