#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "installer_common/CRegistryKey.h"
#include "platform/registry_store.h"
#include "test_root.h"

namespace reg = platform::registry;

namespace {
std::vector<uint8_t> Utf16Bytes(const std::u16string& s, bool terminated)
{
    std::vector<uint8_t> out;
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    if (terminated) out.insert(out.end(), {0, 0});
    return out;
}
}  // namespace

TEST(CRegistryKey, TypedReadersRefuseOtherTypesAndOversizedStrings)
{
    TestRoot root;
    const char* key = "Software\\Tvn";
    ASSERT_TRUE(reg::set_string(key, "Text", "12"));
    ASSERT_TRUE(reg::set_dword(key, "Number", 7));
    ASSERT_TRUE(reg::set_string(key, "Long", std::string(300, 'x')));
    ASSERT_TRUE(reg::set_string(key, "Fits", std::string(100, 'y')));
    ASSERT_TRUE(reg::set_string(key, "Edge", std::string(259, 'z')));
    ASSERT_TRUE(reg::set_raw(key, "Bare", 1 /*REG_SZ*/, Utf16Bytes(u"abc", /*terminated=*/false)));

    CRegistryKey k(u"SOFTWARE\\tvn");
    win::DWORD n = 99;
    EXPECT_EQ(k.QueryDWORD(u"Text", &n), 0);
    EXPECT_EQ(n, 99u);
    EXPECT_EQ(k.QueryDWORD(u"number", &n), 1);
    EXPECT_EQ(n, 7u);

    struct Case {
        const char16_t* name;
        int result;
        std::u16string text;
    };
    const Case cases[] = {
        {u"Number", 0, u"before"},
        {u"Long", 0, u"before"},
        {u"Fits", 1, std::u16string(100, u'y')},
        {u"Edge", 1, std::u16string(259, u'z')},
        // Stored without a terminating NUL: the text ends at the bytes read, nothing after them.
        {u"Bare", 1, u"abc"},
        {u"Missing", 0, u"before"},
    };
    for (const Case& c : cases) {
        CStr out(u"before");
        EXPECT_EQ(k.QueryString(c.name, out), c.result) << reg::fold(std::string(c.name, c.name + 4));
        EXPECT_EQ(std::u16string(out), c.text);
    }
}

TEST(CRegistryKey, OpenRules)
{
    TestRoot root;
    CRegistryKey empty(u"");
    EXPECT_EQ(empty.Exists(), 0);
    EXPECT_FALSE(Exists(root.path("registry")));  // nothing was touched

    CRegistryKey remote(u"\\\\ELSEWHERE", u"Software\\Tvn");
    EXPECT_EQ(remote.SetDWORD(u"x", 1), 0);
    EXPECT_EQ(remote.Exists(), 0);

    // A read-only object still writes: the writers create the key with all access.
    CRegistryKey k(u"Software\\Tvn\\Deep");
    k.SetAccess(win::KEY_READ);
    EXPECT_EQ(k.Exists(), 0);
    EXPECT_EQ(k.SetDWORD(u"Count", 3), 1);
    EXPECT_EQ(k.Exists(), 1);
    EXPECT_EQ(reg::get_dword("software\\tvn\\deep", "count"), 3u);
    EXPECT_EQ(k.GetKey(), nullptr);  // every operation closes again
    EXPECT_EQ(k.DeleteValue(u"Count"), 0);  // deleting needs write access
    k.SetAccess(win::KEY_ALL_ACCESS);
    EXPECT_EQ(k.DeleteValue(u"Count"), 1);
    EXPECT_EQ(k.DeleteValue(u"Count"), 0);
}

TEST(CRegistryKey, SetValueSizes)
{
    TestRoot root;
    CRegistryKey k(u"Software\\Tvn");
    ASSERT_EQ(k.SetValue(u"Sz", u"ab", win::REG_SZ), 1);
    ASSERT_EQ(k.SetValue(u"Multi", u"ab\0c\0", win::REG_MULTI_SZ), 1);
    const reg::Hive hive = reg::read_hive(reg::Root::LocalMachine);
    const reg::Key* stored = hive.find("Software\\Tvn");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->find_value("Sz")->data.size(), 6u);
    // "ab", "c" and the closing empty string.
    EXPECT_EQ(stored->find_value("Multi")->data, Utf16Bytes(std::u16string(u"ab\0c\0\0", 6), false));
    EXPECT_EQ(stored->find_value("Multi")->type, win::REG_MULTI_SZ);
}

TEST(CRegistryKey, DeleteTree)
{
    TestRoot root;
    EXPECT_EQ(CRegistryKey(u"Software\\Missing").DeleteTree(), 1);

    for (const char* p : {"Software\\Tvn\\A\\A1", "Software\\Tvn\\A\\A2\\deep", "Software\\Tvn\\B", "Software\\Keep"})
        ASSERT_TRUE(reg::set_dword(p, "v", 1));
    // A protected key in the middle of the tree: deleting it is refused until its access list is
    // replaced, and the tree is still removed whole.
    ASSERT_TRUE(reg::set_protected("Software\\Tvn\\A", true));
    ASSERT_TRUE(reg::set_protected("Software\\Tvn", true));
    EXPECT_EQ(CRegistryKey(u"Software\\Tvn").DeleteTree(), 1);
    const reg::Hive hive = reg::read_hive(reg::Root::LocalMachine);
    for (const auto& [folded, key] : hive.keys()) EXPECT_EQ(folded.find("software\\tvn"), std::string::npos) << folded;
    EXPECT_NE(hive.find("Software\\Keep"), nullptr);
}

TEST(CRegistryKey, DeleteTreeFailsWhenTheKeyStaysProtected)
{
    TestRoot root;
    ASSERT_TRUE(reg::set_dword("Software\\Tvn\\Stuck", "v", 1));
    ASSERT_TRUE(reg::set_protected("Software\\Tvn\\Stuck", true));
    // When the access list cannot be replaced, the key stays and the delete reports failure.
    struct Refusing : CRegistryKey {
        using CRegistryKey::CRegistryKey;
        int GrantAccess(win::HKEY, const char16_t*) override { return 0; }
    };
    Refusing k(u"Software\\Tvn\\Stuck");
    EXPECT_EQ(k.DeleteTree(), 0);
    EXPECT_TRUE(reg::key_exists("Software\\Tvn\\Stuck"));
}

TEST(CRegistryKey, ValueWrittenByOneProcessIsReadByAnother)
{
    TestRoot root;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CRegistryKey k(u"System\\CurrentControlSet\\Services\\tvnx");
        _exit(k.SetDWORD(u"Start", 3) && k.SetValue(u"ImagePath", u"drivers\\tvnx.sys", win::REG_EXPAND_SZ) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    CRegistryKey k(u"system\\currentcontrolset\\services\\TVNX");
    win::DWORD start = 0;
    EXPECT_EQ(k.QueryDWORD(u"Start", &start), 1);
    EXPECT_EQ(start, 3u);
    CStr path;
    EXPECT_EQ(k.QueryString(u"ImagePath", path), 0);  // REG_EXPAND_SZ is not REG_SZ
}
