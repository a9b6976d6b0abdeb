// Windows and their messages, as far as the system uses them: hidden windows owned by a thread,
// each thread's message queue, sent and posted messages, and the wait that keeps a thread with
// windows responsive while it waits for a process.
//
// Within the process, a message sent to a window of another thread waits until that thread
// handles it inside its GetMessageW or PeekMessageW, as on the original system. From another
// process a window is reached through the live-log socket named by its class and title
// (platform/livelog.h): each frame arrives as a WM_COPYDATA sent to the window (wParam the
// frame's tag, dwData its level, cbData its byte count, lpData its text), and the sender gets
// its acknowledgement once the window has handled it. Destroying the window closes the socket.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace win {

using HWND = void*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using ATOM = WORD;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_USER = 0x0400;

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
constexpr DWORD QS_ALLINPUT = 0x04FF;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr int COLOR_WINDOW = 5;

enum : DWORD {
    ERROR_INVALID_WINDOW_HANDLE = 1400,
    ERROR_CLASS_ALREADY_EXISTS = 1410,
    ERROR_CLASS_DOES_NOT_EXIST = 1411,
};

struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HMODULE hInstance;
    void* hIcon;
    void* hCursor;
    void* hbrBackground;
    const WCHAR* lpszMenuName;
    const WCHAR* lpszClassName;
    void* hIconSm;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct COPYDATASTRUCT {
    uintptr_t dwData;
    DWORD cbData;
    void* lpData;
};

// Classes are process-wide: a second registration of a name fails with 1410.
ATOM RegisterClassExW(const WNDCLASSEXW* wc);
BOOL UnregisterClassW(const WCHAR* class_name, HMODULE instance);

// The window belongs to the calling thread, which becomes a GUI thread. NULL with 1411 for an
// unknown class.
HWND CreateWindowExW(DWORD ex_style, const WCHAR* class_name, const WCHAR* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void* menu, HMODULE instance, void* param);
// Only the owning thread destroys a window (5 otherwise); the window gets WM_DESTROY first.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// WM_CLOSE destroys the window; everything else gives 0.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// > 0 for a message, 0 for WM_QUIT, -1 with 1400 when `window` is given and is no (longer a)
// window. Handles messages sent to the thread's windows while it waits.
int GetMessageW(MSG* msg, HWND window, UINT first, UINT last);
BOOL PeekMessageW(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
// Returns the window procedure's result, or 0 when the window is or becomes gone before it
// handled the message.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int code);
// A window of this process by class and title (either may be NULL), or NULL.
HWND FindWindowW(const WCHAR* class_name, const WCHAR* title);

// Whether the calling thread owns windows or a message queue.
BOOL IsGUIThread(BOOL convert);

// Waits for one of the process handles to end (WAIT_OBJECT_0 + index) or for a message for the
// calling thread (WAIT_OBJECT_0 + count); WAIT_TIMEOUT; WAIT_FAILED with 6 for a handle that
// cannot be waited for. `wait_all` must be FALSE.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds,
                                DWORD wake_mask);

}  // namespace win
