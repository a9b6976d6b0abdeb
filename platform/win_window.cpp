#include "platform/win_window.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/livelog.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_process.h"

// Lock order: the registry's lock before any queue's lock. No window procedure runs under a lock.

namespace platform {
namespace {

using namespace win;

struct SentMessage {
    MSG msg{};
    bool done = false;
    LRESULT result = 0;
};

struct Queue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool dead = false;  // the owning thread has ended
    int eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // readable once input may be waiting

    ~Queue()
    {
        if (eventFd >= 0) close(eventFd);
    }
    // Caller holds `lock`.
    void Wake()
    {
        changed.notify_all();
        uint64_t one = 1;
        if (eventFd >= 0) {
            [[maybe_unused]] ssize_t w = write(eventFd, &one, sizeof one);
        }
    }
};

struct Window {
    std::u16string className;
    std::u16string title;
    WNDPROC proc = nullptr;
    std::shared_ptr<Queue> queue;
    std::thread::id owner;
    bool destroyed = false;  // guarded by the queue's lock
    std::unique_ptr<LiveLogReceiver> receiver;
};

struct Registry {
    std::mutex lock;
    std::map<std::u16string, WNDPROC> classes;  // keyed by the lower-cased name
    std::map<uintptr_t, std::shared_ptr<Window>> windows;
    uintptr_t nextWindow = 0x10010;  // never reused, so a destroyed window's handle stays invalid
    ATOM nextAtom = 0xC000;
};

Registry& registry()
{
    static Registry* r = new Registry;  // lives until exit: threads may still end after static destructors
    return *r;
}

std::u16string Lower(std::u16string_view s)
{
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

std::shared_ptr<Window> FindWindowObject(HWND h)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.windows.find(reinterpret_cast<uintptr_t>(h));
    return it == r.windows.end() ? nullptr : it->second;
}

void DestroyOwnedWindows();

// The calling thread's queue; at the thread's end its windows are destroyed and every sender
// still waiting on it is released.
struct QueueHolder {
    std::shared_ptr<Queue> queue;
    ~QueueHolder()
    {
        if (!queue) return;
        DestroyOwnedWindows();
        std::lock_guard g(queue->lock);
        queue->dead = true;
        for (auto& s : queue->sent) s->done = true;
        queue->sent.clear();
        queue->Wake();
    }
};

thread_local QueueHolder t_holder;

Queue& OwnQueue()
{
    if (!t_holder.queue) t_holder.queue = std::make_shared<Queue>();
    return *t_holder.queue;
}

bool Matches(const MSG& m, HWND filter, UINT first, UINT last)
{
    if (filter && m.hwnd != filter) return false;
    return (first == 0 && last == 0) || (m.message >= first && m.message <= last);
}

LRESULT CallProc(const std::shared_ptr<Window>& w, HWND h, UINT message, WPARAM wp, LPARAM lp)
{
    return w && w->proc ? w->proc(h, message, wp, lp) : 0;
}

// Handles every message other threads have sent to the calling thread's windows.
void HandleSentMessages()
{
    Queue& q = OwnQueue();
    for (;;) {
        std::shared_ptr<SentMessage> s;
        {
            std::lock_guard g(q.lock);
            if (q.sent.empty()) return;
            s = q.sent.front();
            q.sent.pop_front();
        }
        LRESULT r = CallProc(FindWindowObject(s->msg.hwnd), s->msg.hwnd, s->msg.message, s->msg.wParam, s->msg.lParam);
        std::lock_guard g(q.lock);
        s->result = r;
        s->done = true;
        q.changed.notify_all();
    }
}

// Takes the first posted message that matches, when there is one.
bool TakePosted(Queue& q, MSG* out, HWND filter, UINT first, UINT last, bool remove)
{
    std::lock_guard g(q.lock);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        bool quit = it->message == WM_QUIT;
        if (quit ? filter != nullptr : !Matches(*it, filter, first, last)) continue;
        if (out) *out = *it;
        if (remove) q.posted.erase(it);
        return true;
    }
    return false;
}

void StartRemoteDelivery(HWND h, Window& w)
{
    std::string path = live_log_socket_path(to_utf8(w.className), to_utf8(w.title));
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    auto receiver = std::make_unique<LiveLogReceiver>(path);
    if (!receiver->listening()) return;
    receiver->start([h](const LiveLogFrame& frame) {
        char16_t text[kLiveLogLineUnits] = {};
        copy_utf16(frame.text, text, kLiveLogLineUnits);
        COPYDATASTRUCT data{uintptr_t(frame.level), std::min<DWORD>(frame.byteCount, kLiveLogLineBytes), text};
        SendMessageW(h, WM_COPYDATA, frame.tag, reinterpret_cast<LPARAM>(&data));
    });
    w.receiver = std::move(receiver);
}

void DestroyOwnedWindows()
{
    std::vector<HWND> own;
    {
        Registry& r = registry();
        std::lock_guard g(r.lock);
        for (auto& [h, w] : r.windows)
            if (w->owner == std::this_thread::get_id()) own.push_back(reinterpret_cast<HWND>(h));
    }
    for (HWND h : own) DestroyWindow(h);
}

}  // namespace
}  // namespace platform

namespace win {

using namespace platform;

ATOM RegisterClassExW(const WNDCLASSEXW* wc)
{
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName || !*wc->lpszClassName || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Registry& r = registry();
    std::lock_guard g(r.lock);
    if (!r.classes.emplace(Lower(u16_view(wc->lpszClassName)), wc->lpfnWndProc).second) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    return r.nextAtom++;
}

BOOL UnregisterClassW(const WCHAR* class_name, HMODULE)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    if (!class_name || r.classes.erase(Lower(u16_view(class_name))) == 0) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    return TRUE;
}

HWND CreateWindowExW(DWORD, const WCHAR* class_name, const WCHAR* title, DWORD, int, int, int, int, HWND, void*,
                     HMODULE, void*)
{
    auto w = std::make_shared<Window>();
    w->className = std::u16string(u16_view(class_name));
    w->title = std::u16string(u16_view(title));
    OwnQueue();
    w->queue = t_holder.queue;
    w->owner = std::this_thread::get_id();
    HWND h;
    {
        Registry& r = registry();
        std::lock_guard g(r.lock);
        auto c = r.classes.find(Lower(w->className));
        if (c == r.classes.end()) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return nullptr;
        }
        w->proc = c->second;
        h = reinterpret_cast<HWND>(r.nextWindow);
        r.nextWindow += 0x10;
        r.windows.emplace(reinterpret_cast<uintptr_t>(h), w);
    }
    StartRemoteDelivery(h, *w);
    return h;
}

BOOL DestroyWindow(HWND window)
{
    auto w = FindWindowObject(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    w->proc(window, WM_DESTROY, 0, 0);
    {
        Registry& r = registry();
        std::lock_guard g(r.lock);
        if (r.windows.erase(reinterpret_cast<uintptr_t>(window)) == 0) return TRUE;  // destroyed inside WM_DESTROY
        std::lock_guard q(w->queue->lock);
        w->destroyed = true;
        // Messages still waiting for this window are released unhandled.
        auto& sent = w->queue->sent;
        for (auto it = sent.begin(); it != sent.end();) {
            if ((*it)->msg.hwnd != window) {
                ++it;
                continue;
            }
            (*it)->done = true;
            it = sent.erase(it);
        }
        std::erase_if(w->queue->posted, [&](const MSG& m) { return m.hwnd == window; });
        w->queue->changed.notify_all();
    }
    w->receiver.reset();  // closes the socket; its thread may have been waiting on this window
    return TRUE;
}

BOOL IsWindow(HWND window) { return FindWindowObject(window) ? TRUE : FALSE; }

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

int GetMessageW(MSG* msg, HWND window, UINT first, UINT last)
{
    Queue& q = OwnQueue();
    for (;;) {
        HandleSentMessages();
        if (window && !IsWindow(window)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
        if (TakePosted(q, msg, window, first, last, true)) return msg->message == WM_QUIT ? 0 : 1;
        std::unique_lock g(q.lock);
        q.changed.wait(g, [&] {
            if (!q.sent.empty()) return true;
            return std::any_of(q.posted.begin(), q.posted.end(), [&](const MSG& m) {
                return m.message == WM_QUIT ? window == nullptr : Matches(m, window, first, last);
            });
        });
    }
}

BOOL PeekMessageW(MSG* msg, HWND window, UINT first, UINT last, UINT remove)
{
    HandleSentMessages();
    return TakePosted(OwnQueue(), msg, window, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }  // no keyboard input reaches hidden windows

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg || !msg->hwnd) return 0;
    return CallProc(FindWindowObject(msg->hwnd), msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto w = FindWindowObject(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->owner == std::this_thread::get_id()) return CallProc(w, window, message, wparam, lparam);
    auto s = std::make_shared<SentMessage>();
    s->msg = MSG{window, message, wparam, lparam};
    Queue& q = *w->queue;
    std::unique_lock g(q.lock);
    if (w->destroyed || q.dead) return 0;
    q.sent.push_back(s);
    q.Wake();
    q.changed.wait(g, [&] { return s->done || q.dead; });
    return s->result;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    std::shared_ptr<Queue> q;
    if (!window) {
        OwnQueue();
        q = t_holder.queue;
    } else if (auto w = FindWindowObject(window)) {
        q = w->queue;
    } else {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard g(q->lock);
    q->posted.push_back(MSG{window, message, wparam, lparam});
    q->Wake();
    return TRUE;
}

void PostQuitMessage(int code) { PostMessageW(nullptr, WM_QUIT, WPARAM(code), 0); }

HWND FindWindowW(const WCHAR* class_name, const WCHAR* title)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    for (auto& [h, w] : r.windows) {
        if (class_name && Lower(w->className) != Lower(u16_view(class_name))) continue;
        if (title && w->title != u16_view(title)) continue;
        return reinterpret_cast<HWND>(h);
    }
    return nullptr;
}

BOOL IsGUIThread(BOOL convert)
{
    if (convert) OwnQueue();
    return t_holder.queue ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds, DWORD)
{
    if (wait_all || (count && !handles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    Queue& q = OwnQueue();
    std::vector<pollfd> fds;
    for (DWORD i = 0; i < count; ++i) {
        int fd = process_wait_fd(handles[i]);
        if (fd < 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        fds.push_back({fd, POLLIN, 0});
    }
    fds.push_back({q.eventFd, POLLIN, 0});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        uint64_t drained;
        [[maybe_unused]] ssize_t n = read(q.eventFd, &drained, sizeof drained);
        {
            std::lock_guard g(q.lock);
            if (!q.posted.empty() || !q.sent.empty()) return WAIT_OBJECT_0 + count;
        }
        int timeout = -1;
        if (milliseconds != INFINITE) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            timeout = int(std::max<long long>(0, left.count()));
        }
        int r = poll(fds.data(), fds.size(), timeout);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            SetLastError(error_from_errno(errno));
            return WAIT_FAILED;
        }
        if (r == 0) return WAIT_TIMEOUT;
        for (DWORD i = 0; i < count; ++i)
            if (fds[i].revents) return WAIT_OBJECT_0 + i;
    }
}

}  // namespace win
