// The hidden window that receives the console tool's log lines while it runs, on a thread of its
// own, and writes them into the plug-in's logs.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/win_window.h"

inline constexpr const char16_t* kVerboseLogWindowClass = u"PelarisVerboseLogWindowClass";
inline constexpr const char16_t* kVerboseLogWindowTitle = u"TIRN Verbose Log Messages";
// wParam of a live-log line.
constexpr win::WPARAM VerboseLogMessageTag = 0x8675309;

// Set by the window thread once its window exists or could not be made, so that the tool is not
// started before there is a window to find.
struct WindowStartup {
    std::mutex lock;
    std::condition_variable changed;
    bool settled = false;
    win::HWND window = nullptr;
};

// The window thread's routine: registers the class (once per process), creates the window, reports
// to `startup` and runs the window's message loop until the window is destroyed.
void CreateHiddenMessageWindow(WindowStartup* startup);
win::LRESULT VerboseLogWndProc(win::HWND window, win::UINT message, win::WPARAM wparam, win::LPARAM lparam);
