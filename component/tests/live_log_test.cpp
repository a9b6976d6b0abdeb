#include <gtest/gtest.h>

#include <dirent.h>

#include "FamilyComponents.h"
#include "LiveLogWindow.h"
#include "component_fixture.h"
#include "installer_common/Log.h"
#include "platform/livelog.h"
#include "platform/utf16.h"

namespace {

size_t ThreadCount()
{
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// A component with verbose logging on and the fake tool in its folder as this system's tool.
struct ToolRun {
    ComponentFolder folder;
    YXZQTIRNComponent component;
    ToolRun()
    {
        folder.CopyBuilt("fake_update_tool", "YXZQFWUpg.exe");
        component.SetKeyFile(u"C:\\tools\\YXZQFWUpg.exe");
        component.Log()->SetVerbose(1);
        component.Log()->Open();
    }
    std::string MainLog() const { return folder.ReadRoot("C/tvnsystem/log/tvnsetup.log"); }
    std::string VerboseLog() const
    {
        return folder.ReadRoot("C/tvnsystem/log/" + platform::to_utf8(platform::u16_view(component.Log()->GetVerboseLogName())));
    }
};

}  // namespace

TEST(LiveLog, LinesFromTheToolLandByLevelAndTheWindowIsGoneAfterwards)
{
    ToolRun r;
    r.folder.Write("fake_tool.ini",
                   "exit=3\nline=1 level one\nline=2 level two\nline=4 level four\nline=6 level six\nline=3 level three\n");
    size_t threads = ThreadCount();
    EXPECT_EQ(r.component.do_command(u"YXZQFWUpg.exe  /d report.xml", true), 3u);
    std::string main = r.MainLog(), verbose = r.VerboseLog();
    EXPECT_EQ(Count(main, "level one\r\n"), 1u);
    EXPECT_EQ(Count(verbose, "level one\r\n"), 1u);
    EXPECT_EQ(Count(main, "level two"), 0u);
    EXPECT_EQ(Count(verbose, "level two\r\n"), 1u);
    EXPECT_EQ(Count(main + verbose, "level four"), 0u);
    EXPECT_EQ(Count(main, "level six"), 0u);
    EXPECT_EQ(Count(verbose, "level six\r\n"), 1u);
    EXPECT_EQ(Count(main, "level three\r\n"), 1u);
    EXPECT_EQ(Count(verbose, "level three\r\n"), 2u);  // bit 0 and bit 1 each write it
    EXPECT_EQ(win::FindWindowW(kVerboseLogWindowClass, kVerboseLogWindowTitle), nullptr);
    EXPECT_FALSE(std::filesystem::exists(platform::live_log_socket_path(platform::kLiveLogClass, platform::kLiveLogTitle)));
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_NE(r.folder.ReadRoot("component/fake_tool.calls")
                  .find("title=ZKE Aldern Corvane Varnelle Utility for Windows Server\n"),
              std::string::npos);
}

TEST(LiveLog, ASecondRunInTheSameProcessStillGetsItsLines)
{
    ToolRun r;
    for (const char* word : {"first", "second"}) {
        r.folder.Write("fake_tool.ini", std::string("exit=1\nline=2 run ") + word + "\n");
        EXPECT_EQ(r.component.do_command(u"YXZQFWUpg.exe", false), 1u);
    }
    std::string verbose = r.VerboseLog();
    EXPECT_EQ(Count(verbose, "run first\r\n"), 1u);
    EXPECT_EQ(Count(verbose, "run second\r\n"), 1u);
}

TEST(LiveLog, AToolThatCannotStartGives15)
{
    ToolRun r;
    EXPECT_EQ(r.component.do_command(u"Missing.exe /s", true), 15u);
    EXPECT_EQ(r.component.do_command(u"  /d x.xml", true), 15u);  // a key file that names no tool
}

TEST(LiveLog, TheWindowProcedureReadsNoFurtherThanTheBytesItWasGiven)
{
    ToolRun r;
    struct Case {
        win::WPARAM tag;
        uintptr_t level;
        win::DWORD bytes;
        std::string main;
    };
    // "abcdef" without a NUL: only what cbData covers is read.
    const char16_t text[6] = {u'a', u'b', u'c', u'd', u'e', u'f'};
    const Case cases[] = {
        {VerboseLogMessageTag, 1, 8, "abcd\r\n"},
        {VerboseLogMessageTag, 1, 3, "a\r\n"},
        {0x1234, 1, 12, ""},  // another tag: ignored
    };
    for (const auto& c : cases) {
        win::COPYDATASTRUCT data{c.level, c.bytes, const_cast<char16_t*>(text)};
        EXPECT_EQ(VerboseLogWndProc(nullptr, win::WM_COPYDATA, c.tag, reinterpret_cast<win::LPARAM>(&data)), 0);
    }
    std::string main = r.MainLog();
    EXPECT_NE(main.find("abcd\r\na\r\n"), std::string::npos) << main;
    EXPECT_EQ(main.find("abcdef"), std::string::npos);
}
