#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "installer_common/CService.h"
#include "platform/registry_store.h"
#include "platform/service_store.h"
#include "platform/win_time.h"
#include "test_root.h"

namespace svc = platform::services;
namespace reg = platform::registry;

namespace {

void Install(const char* name, svc::State state, win::DWORD start = win::SERVICE_DEMAND_START,
             const char* on_start = "running")
{
    svc::Service s;
    s.name = name;
    s.type = win::SERVICE_KERNEL_DRIVER;
    s.state = state;
    s.on_start = on_start;
    ASSERT_TRUE(svc::install(s, start));
}

// Counts the sleeps of the code under test instead of waiting; `on_sleep` sees each one.
struct FakeClock {
    explicit FakeClock(std::function<void(int)> on_sleep = {}) : hook(std::move(on_sleep))
    {
        previous = platform::set_sleep_hook([this](win::DWORD ms) {
            ++sleeps;
            slept_ms += ms;
            if (hook) hook(sleeps);
        });
    }
    ~FakeClock() { platform::set_sleep_hook(previous); }
    int sleeps = 0;
    uint64_t slept_ms = 0;
    std::function<void(int)> hook;
    std::function<void(win::DWORD)> previous;
};

// Another process that takes the database lock and releases it when told.
struct LockHolder {
    LockHolder()
    {
        if (pipe(locked) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
        pid = fork();
        if (pid == 0) {
            close(release[1]);  // the parent's end: its exit then ends the wait below
            win::SC_HANDLE scm = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
            win::SC_LOCK lock = win::LockServiceDatabase(scm);
            char c = lock ? 'L' : 'F';
            if (write(locked[1], &c, 1) != 1) _exit(2);
            if (read(release[0], &c, 1) < 0) _exit(3);
            _exit(win::UnlockServiceDatabase(lock) ? 0 : 1);
        }
        char c = 0;
        if (read(locked[0], &c, 1) != 1 || c != 'L') throw std::runtime_error("lock holder");
    }
    // Returns once the holder has let go.
    void Release()
    {
        if (pid <= 0) return;
        if (write(release[1], "x", 1) != 1) return;
        int status = 0;
        waitpid(pid, &status, 0);
        pid = 0;
    }
    ~LockHolder() { Release(); }
    int locked[2], release[2];
    pid_t pid = 0;
};

}  // namespace

TEST(CService, RunningStoppedAndPending)
{
    TestRoot root;
    Install("runner", svc::State::Running);
    Install("sleeper", svc::State::Stopped);
    Install("starter", svc::State::StartPending);
    Install("stopper", svc::State::StopPending);
    // Known to the manager but without its registry key.
    svc::Service ghost;
    ghost.name = "ghost";
    ASSERT_TRUE(svc::add(ghost));

    struct Case {
        const char16_t* name;
        int exists, running;
    };
    const Case cases[] = {
        {u"runner", 1, 1}, {u"SLEEPER", 1, 0}, {u"starter", 1, 1}, {u"stopper", 1, 1}, {u"ghost", 0, 0}, {u"absent", 0, 0},
    };
    for (const Case& c : cases) {
        CService s(c.name);
        EXPECT_EQ(s.Exists(), c.exists) << std::string(c.name, c.name + 3);
        EXPECT_EQ(s.IsRunning(), c.running) << std::string(c.name, c.name + 3);
    }
}

TEST(CService, MarkedForDeletion)
{
    TestRoot root;
    const std::string legacy = "System\\CurrentControlSet\\Enum\\Root\\LEGACY_";
    Install("flagged", svc::State::Running);
    ASSERT_TRUE(reg::set_dword(svc::services_key("flagged"), "DeleteFlag", 1));
    Install("cleared", svc::State::Running);
    ASSERT_TRUE(reg::set_dword(svc::services_key("cleared"), "DeleteFlag", 0));
    ASSERT_TRUE(reg::set_dword(legacy + "CLEARED\\0000", "StatusFlags", 0x40008));
    Install("other", svc::State::Running);
    ASSERT_TRUE(reg::set_dword(legacy + "OTHER\\0000", "StatusFlags", 0x4000A));
    ASSERT_TRUE(reg::set_dword(legacy + "GONE\\0000", "StatusFlags", 0x40008));
    Install("plain", svc::State::Running);

    struct Case {
        const char16_t* name;
        int marked;
    };
    const Case cases[] = {{u"flagged", 1}, {u"cleared", 1}, {u"other", 0}, {u"gone", 1}, {u"plain", 0}};
    for (const Case& c : cases) EXPECT_EQ(CService(c.name).IsMarkedForDeletion(), c.marked) << std::string(c.name, c.name + 4);
}

TEST(CService, StartWaitsBoundedForAPendingService)
{
    TestRoot root;
    Install("slow", svc::State::Stopped, win::SERVICE_DEMAND_START, "pending");
    Install("quick", svc::State::Stopped);
    FakeClock clock;
    EXPECT_EQ(CService(u"quick").Start(), 1);
    EXPECT_EQ(clock.sleeps, 0);
    EXPECT_EQ(CService(u"slow").Start(), 1);
    EXPECT_EQ(clock.slept_ms, 60000u);  // 600 polls of 100 ms
    EXPECT_EQ(svc::find("slow")->state, svc::State::StartPending);

    Install("stubborn", svc::State::Running);
    ASSERT_TRUE(svc::update("stubborn", [](svc::Service& s) {
        s.on_stop = "pending";
        return true;
    }));
    clock.slept_ms = 0;
    EXPECT_EQ(CService(u"stubborn").Stop(), 1);
    EXPECT_EQ(clock.slept_ms, 60000u);  // ends although the service never stops
}

TEST(CService, DeleteCreateAndStartType)
{
    TestRoot root;
    Install("busy", svc::State::Running);
    ASSERT_TRUE(reg::set_dword("System\\CurrentControlSet\\Services\\EventLog\\System\\busy\\Sub", "x", 1));
    EXPECT_EQ(CService(u"busy").Delete(0), 1);  // only disabled
    EXPECT_EQ(reg::get_dword(svc::services_key("busy"), "Start"), 4u);
    EXPECT_EQ(CService(u"busy").IsDisabled(), 1);
    EXPECT_TRUE(svc::find("busy"));
    EXPECT_TRUE(reg::key_exists("System\\CurrentControlSet\\Services\\EventLog\\System\\busy"));

    EXPECT_EQ(CService(u"absent").Delete(1), 1);

    CService fresh(u"tvnnew");
    EXPECT_EQ(fresh.Create(u"Tvn New", u"\\SystemRoot\\drivers\\tvnnew.sys", win::SERVICE_KERNEL_DRIVER,
                           win::SERVICE_DEMAND_START, nullptr, nullptr),
              1);
    EXPECT_EQ(fresh.Exists(), 1);
    EXPECT_EQ(fresh.Create(u"again", u"x.sys", 1, 3, nullptr, nullptr), 0);
    ASSERT_TRUE(reg::set_dword(svc::services_key("tvnnew"), "DeleteFlag", 1));
    EXPECT_EQ(fresh.SetStartType(win::SERVICE_AUTO_START), 1);
    EXPECT_EQ(reg::get_dword(svc::services_key("tvnnew"), "Start"), 2u);
    EXPECT_FALSE(reg::get_dword(svc::services_key("tvnnew"), "DeleteFlag"));
    EXPECT_EQ(fresh.Delete(1), 1);
    EXPECT_FALSE(svc::find("tvnnew"));
    EXPECT_EQ(fresh.Exists(), 0);
}

TEST(CService, UnreachableMachine)
{
    TestRoot root;
    Install("runner", svc::State::Running);
    CService s(u"\\\\FARAWAY", u"runner");
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.Exists(), 0);
    EXPECT_EQ(s.IsRunning(), 0);
    EXPECT_EQ(s.Start(), 0);
    EXPECT_EQ(s.Disable(), 0);
}

TEST(CService, DatabaseLockRetriesWhileAnotherProcessHoldsIt)
{
    TestRoot root;
    LockHolder holder;
    // The other process lets go during the third wait.
    FakeClock clock([&](int sleeps) {
        if (sleeps == 3) holder.Release();
    });
    CServiceManager manager;
    ASSERT_EQ(manager.Open(), 1);
    EXPECT_EQ(manager.Lock(), 1);
    EXPECT_EQ(clock.sleeps, 3);
    EXPECT_EQ(manager.Unlock(), 1);
    EXPECT_EQ(manager.Unlock(), 0);
}

TEST(CService, DatabaseLockGivesUpAfterAMinute)
{
    TestRoot root;
    LockHolder holder;
    FakeClock clock;
    CServiceManager manager;
    ASSERT_EQ(manager.Open(), 1);
    EXPECT_EQ(manager.Lock(), 0);
    EXPECT_EQ(clock.sleeps, 60);
    EXPECT_EQ(manager.GetLastErrorCode(), win::ERROR_SERVICE_DATABASE_LOCKED);

    clock.sleeps = 0;
    EXPECT_EQ(WaitForServiceDatabaseUnlock(), 1);
    EXPECT_EQ(clock.sleeps, 100);
    holder.Release();
    EXPECT_EQ(WaitForServiceDatabaseUnlock(), 0);
    // Create needs the lock: it succeeds now.
    EXPECT_EQ(CService(u"made").Create(u"Made", u"made.sys", 1, 3, nullptr, nullptr), 1);
}
