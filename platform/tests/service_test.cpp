#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/service_store.h"
#include "platform/testing/temp_root.h"
#include "platform/win_error.h"
#include "platform/win_service.h"

using namespace win;
namespace svc = platform::services;
namespace reg = platform::registry;

namespace {

svc::Service Make(const char* name, svc::State state, const char* on_start = "running", const char* on_stop = "stopped")
{
    svc::Service s;
    s.name = name;
    s.display = std::string(name) + " display";
    s.binary = std::string("\\SystemRoot\\System32\\drivers\\") + name + ".sys";
    s.type = SERVICE_KERNEL_DRIVER;
    s.state = state;
    s.on_start = on_start;
    s.on_stop = on_stop;
    return s;
}

struct Scm {
    SC_HANDLE h = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ~Scm() { CloseServiceHandle(h); }
};

DWORD StateOf(const char* name)
{
    auto s = svc::find(name);
    return s ? static_cast<DWORD>(s->state) : 0;
}

}  // namespace

TEST(ServiceStore, EntryRoundTripAndBadEntries)
{
    const std::string text = "name=TvnX\ndisplay=Tvn X\ntype=1\nbinary=x.sys\nstate=start_pending\non_start=pending\n"
                             "on_stop=stopped\ndelete_pending=1\n";
    auto s = svc::parse_service(text);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->name, "TvnX");
    EXPECT_EQ(s->state, svc::State::StartPending);
    EXPECT_TRUE(s->delete_pending);
    EXPECT_EQ(svc::format_service(*s), text);
    EXPECT_FALSE(svc::parse_service("display=no name\n"));
    EXPECT_FALSE(svc::parse_service("name=../escape\n"));
}

TEST(ServiceManager, StartAndStopFollowTheService)
{
    platform::testing::TempSystemRoot root;
    struct Case {
        const char* name;
        svc::State state;
        const char* on_start;
        const char* on_stop;
        DWORD start_type;
        DWORD start_error;  // 0: accepted
        DWORD after_start;
        DWORD stop_error;
        DWORD after_stop;
    };
    const Case cases[] = {
        {"plain", svc::State::Stopped, "running", "stopped", SERVICE_DEMAND_START, 0, SERVICE_RUNNING, 0, SERVICE_STOPPED},
        {"slow", svc::State::Stopped, "pending", "stopped", SERVICE_DEMAND_START, 0, SERVICE_START_PENDING,
         ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_START_PENDING},
        {"lazy", svc::State::Running, "running", "pending", SERVICE_AUTO_START, ERROR_SERVICE_ALREADY_RUNNING,
         SERVICE_RUNNING, 0, SERVICE_STOP_PENDING},
        {"off", svc::State::Stopped, "running", "stopped", SERVICE_DISABLED, ERROR_SERVICE_DISABLED, SERVICE_STOPPED,
         ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
        {"broken", svc::State::Stopped, "fail:1053", "stopped", SERVICE_DEMAND_START, 1053, SERVICE_STOPPED,
         ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
    };
    Scm scm;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(svc::install(Make(c.name, c.state, c.on_start, c.on_stop), c.start_type));
        SC_HANDLE h = OpenServiceW(scm.h, std::u16string(c.name, c.name + std::char_traits<char>::length(c.name)).c_str(),
                                   SERVICE_ALL_ACCESS);
        ASSERT_NE(h, nullptr);
        SetLastError(0);
        EXPECT_EQ(StartServiceW(h, 0, nullptr), c.start_error == 0);
        EXPECT_EQ(GetLastError(), c.start_error);
        EXPECT_EQ(StateOf(c.name), c.after_start);
        SERVICE_STATUS status{};
        SetLastError(0);
        EXPECT_EQ(ControlService(h, SERVICE_CONTROL_STOP, &status), c.stop_error == 0);
        EXPECT_EQ(GetLastError(), c.stop_error);
        EXPECT_EQ(status.dwCurrentState, c.after_stop);
        EXPECT_EQ(StateOf(c.name), c.after_stop);
        CloseServiceHandle(h);
    }
    EXPECT_EQ(OpenServiceW(scm.h, u"absent", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(OpenSCManagerW(u"\\\\FARAWAY", nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
}

TEST(ServiceManager, DeleteWaitsForARunningServiceToStop)
{
    platform::testing::TempSystemRoot root;
    ASSERT_TRUE(svc::install(Make("idle", svc::State::Stopped), SERVICE_DEMAND_START));
    ASSERT_TRUE(svc::install(Make("busy", svc::State::Running), SERVICE_DEMAND_START));
    Scm scm;
    SC_HANDLE idle = OpenServiceW(scm.h, u"IDLE", SERVICE_ALL_ACCESS);
    SC_HANDLE busy = OpenServiceW(scm.h, u"busy", SERVICE_ALL_ACCESS);
    EXPECT_TRUE(DeleteService(idle));
    EXPECT_FALSE(svc::find("idle"));
    EXPECT_FALSE(reg::key_exists(svc::services_key("idle")));

    EXPECT_TRUE(DeleteService(busy));
    EXPECT_EQ(reg::get_dword(svc::services_key("busy"), "DeleteFlag"), 1u);
    EXPECT_FALSE(DeleteService(busy));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    SC_HANDLE again = CreateServiceW(scm.h, u"busy", u"x", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, u"x.sys", nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(busy, SERVICE_CONTROL_STOP, &status));
    EXPECT_FALSE(svc::find("busy"));
    EXPECT_FALSE(reg::key_exists(svc::services_key("busy")));
    CloseServiceHandle(idle);
    CloseServiceHandle(busy);
}

TEST(ServiceManager, DatabaseLockHoldsAcrossProcesses)
{
    platform::testing::TempSystemRoot root;
    int locked[2], release[2];
    ASSERT_EQ(pipe(locked), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(release[1]);  // the parent's end: its exit then ends the wait below
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_LOCK lock = LockServiceDatabase(scm);
        char c = lock ? 'L' : 'F';
        if (write(locked[1], &c, 1) != 1) _exit(2);
        if (read(release[0], &c, 1) < 0) _exit(3);
        _exit(UnlockServiceDatabase(lock) ? 0 : 1);
    }
    char c = 0;
    ASSERT_EQ(read(locked[0], &c, 1), 1);
    ASSERT_EQ(c, 'L');

    Scm scm;
    EXPECT_EQ(LockServiceDatabase(scm.h), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DATABASE_LOCKED);
    DWORD needed = 0;
    std::vector<uint8_t> small(sizeof(QUERY_SERVICE_LOCK_STATUSW));
    auto* status = reinterpret_cast<QUERY_SERVICE_LOCK_STATUSW*>(small.data());
    EXPECT_FALSE(QueryServiceLockStatusW(scm.h, status, DWORD(small.size()), &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<uint8_t> big(needed);
    status = reinterpret_cast<QUERY_SERVICE_LOCK_STATUSW*>(big.data());
    ASSERT_TRUE(QueryServiceLockStatusW(scm.h, status, needed, &needed));
    EXPECT_EQ(status->fIsLocked, 1u);
    const std::string pid = std::to_string(child);
    EXPECT_EQ(std::u16string(status->lpLockOwner), u"process " + std::u16string(pid.begin(), pid.end()));

    ASSERT_EQ(write(release[1], "x", 1), 1);
    int wstatus = 0;
    ASSERT_EQ(waitpid(child, &wstatus, 0), child);
    EXPECT_EQ(WEXITSTATUS(wstatus), 0);
    ASSERT_TRUE(QueryServiceLockStatusW(scm.h, status, needed, &needed));
    EXPECT_EQ(status->fIsLocked, 0u);
    SC_LOCK mine = LockServiceDatabase(scm.h);
    EXPECT_NE(mine, nullptr);
    EXPECT_TRUE(UnlockServiceDatabase(mine));
    EXPECT_FALSE(UnlockServiceDatabase(mine));
}
