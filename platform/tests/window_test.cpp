#include "platform/win_window.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/livelog.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_process.h"
#include "platform/testing/bin_dir.h"

namespace {

std::mutex g_lock;
std::vector<std::string> g_seen;  // what the test window procedure was given

win::LRESULT TestProc(win::HWND h, win::UINT message, win::WPARAM wp, win::LPARAM lp)
{
    if (message == win::WM_COPYDATA) {
        auto* data = reinterpret_cast<const win::COPYDATASTRUCT*>(lp);
        std::u16string text;
        const auto* units = static_cast<const char16_t*>(data->lpData);
        for (size_t i = 0; i < data->cbData / 2 && units[i]; ++i) text += units[i];
        std::lock_guard g(g_lock);
        g_seen.push_back("copydata " + std::to_string(wp) + " " + std::to_string(data->dwData) + " " +
                         std::to_string(data->cbData) + " " + platform::to_utf8(text));
        return 0;
    }
    if (message == win::WM_USER) return win::LRESULT(wp * 2);
    if (message == win::WM_DESTROY) {
        std::lock_guard g(g_lock);
        g_seen.push_back("destroy");
    }
    return win::DefWindowProcW(h, message, wp, lp);
}

void Register(const char16_t* name)
{
    win::WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = name;
    win::RegisterClassExW(&wc);
}

// A thread that owns one window and runs the message loop of the live-log receiver until the
// window is gone.
struct WindowThread {
    std::atomic<win::HWND> window{nullptr};
    std::atomic<int> lastGet{1};
    std::thread thread;
    explicit WindowThread(const char16_t* cls, const char16_t* title)
    {
        std::atomic<bool> ready{false};
        thread = std::thread([&, cls, title] {
            win::HWND h = win::CreateWindowExW(0, cls, title, 0, -100, -100, 0, 0, nullptr, nullptr, nullptr, nullptr);
            window = h;
            ready = true;
            win::MSG msg;
            int r;
            while ((r = win::GetMessageW(&msg, h, 0, 0)) > 0) win::DispatchMessageW(&msg);
            lastGet = r;
        });
        while (!ready) std::this_thread::yield();
    }
    ~WindowThread()
    {
        if (thread.joinable()) thread.join();
    }
};

}  // namespace

TEST(Windows, AClassIsRegisteredOncePerProcess)
{
    win::WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = u"OnceClass";
    EXPECT_NE(win::RegisterClassExW(&wc), 0);
    wc.lpszClassName = u"ONCECLASS";
    EXPECT_EQ(win::RegisterClassExW(&wc), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_CLASS_ALREADY_EXISTS);
    EXPECT_TRUE(win::UnregisterClassW(u"onceclass", nullptr));
    EXPECT_EQ(win::CreateWindowExW(0, u"OnceClass", u"t", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(win::GetLastError(), win::ERROR_CLASS_DOES_NOT_EXIST);
}

TEST(Windows, ASentMessageWaitsForTheOwningThreadAndCloseEndsItsLoop)
{
    platform::testing::TempSystemRoot root;
    Register(u"SendClass");
    WindowThread t(u"SendClass", u"Send Title");
    EXPECT_EQ(win::FindWindowW(u"sendclass", u"Send Title"), t.window.load());
    EXPECT_EQ(win::SendMessageW(t.window, win::WM_USER, 21, 0), 42);
    EXPECT_EQ(win::SendMessageW(t.window, win::WM_CLOSE, 0, 0), 0);
    t.thread.join();
    EXPECT_FALSE(win::IsWindow(t.window));
    EXPECT_EQ(t.lastGet, -1);  // the loop on the window's own messages ends when the window is gone
    EXPECT_EQ(win::SendMessageW(t.window, win::WM_USER, 1, 0), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_WINDOW_HANDLE);
}

TEST(Windows, LinesFromAnotherProcessArriveAsCopyDataUntilTheWindowIsGone)
{
    platform::testing::TempSystemRoot root;
    {
        std::lock_guard g(g_lock);
        g_seen.clear();
    }
    Register(u"RemoteClass");
    WindowThread t(u"RemoteClass", u"Remote Title");
    std::string path = platform::live_log_socket_path("RemoteClass", "Remote Title");
    ASSERT_TRUE(std::filesystem::exists(path));
    {
        // The socket is what another process reaches; the sender's side is the same here.
        platform::LiveLogSender sender(path);
        ASSERT_TRUE(sender.connected());
        sender.send(6, u"first line");
        sender.send(1, u"second");
    }
    {
        std::lock_guard g(g_lock);
        ASSERT_EQ(g_seen.size(), 2u);
        EXPECT_EQ(g_seen[0], "copydata 140989193 6 520 first line");
        EXPECT_EQ(g_seen[1], "copydata 140989193 1 520 second");
    }
    win::SendMessageW(t.window, win::WM_CLOSE, 0, 0);
    t.thread.join();
    EXPECT_FALSE(std::filesystem::exists(path));
    platform::LiveLogSender late(path);
    EXPECT_FALSE(late.connected());
}

TEST(Windows, TheMessageWaitReturnsForInputAndForTheProcessEnd)
{
    platform::testing::TempDir dir;
    std::string child = platform::testing::bin_dir() + "/platform_process_child";
    std::u16string line = platform::to_utf16(child + " sleep 3000");
    win::STARTUPINFOW si{sizeof si, nullptr};
    win::PROCESS_INFORMATION pi{};
    ASSERT_TRUE(win::CreateProcessW(nullptr, line.data(), nullptr, nullptr, 1, 0, nullptr, nullptr, &si, &pi));

    win::PostMessageW(nullptr, win::WM_USER, 0, 0);
    EXPECT_TRUE(win::IsGUIThread(win::FALSE));
    EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &pi.hProcess, win::FALSE, win::INFINITE, win::QS_ALLINPUT),
              win::WAIT_OBJECT_0 + 1);
    win::MSG msg;
    EXPECT_TRUE(win::PeekMessageW(&msg, nullptr, 0, 0, win::PM_REMOVE));
    EXPECT_EQ(msg.message, win::WM_USER);
    EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &pi.hProcess, win::FALSE, 0, win::QS_ALLINPUT), win::WAIT_TIMEOUT);
    EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &pi.hProcess, win::FALSE, win::INFINITE, win::QS_ALLINPUT),
              win::WAIT_OBJECT_0);
    win::DWORD code = 1;
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
}
