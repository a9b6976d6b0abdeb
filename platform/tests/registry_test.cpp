#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/state_file.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_registry.h"

using namespace win;
namespace reg = platform::registry;

namespace {

struct Key {
    HKEY h = nullptr;
    ~Key()
    {
        if (h) RegCloseKey(h);
    }
};

LSTATUS Create(const char16_t* path, Key& k, DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_ALL_ACCESS)
{
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, options, access, nullptr, &k.h, nullptr);
}

}  // namespace

TEST(RegistryStore, FileRoundTripKeepsTypesCaseAndFlags)
{
    // Written by hand from the format: a key with flags and values of several types, a value
    // named with blanks, an empty default value, and a line that does not parse.
    const std::string text =
        "[System\\Tvn]\n"
        "+volatile\n"
        "value 4 05000000 Start\n"
        "value 1 41000000 Display Name\n"
        "value 3 - \n"
        "value x 00 Broken\n"
        "[System\\Tvn\\Sub]\n"
        "+protected\n";
    reg::Hive hive = reg::parse_hive(text);
    const reg::Key* k = hive.find("SYSTEM\\tvn");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->path, "System\\Tvn");
    EXPECT_TRUE(k->is_volatile);
    ASSERT_EQ(k->values.size(), 3u);
    EXPECT_EQ(k->find_value("start")->data, (std::vector<uint8_t>{5, 0, 0, 0}));
    EXPECT_EQ(k->find_value("display name")->type, 1u);
    EXPECT_TRUE(k->find_value("")->data.empty());
    EXPECT_EQ(k->find_value("Broken"), nullptr);
    EXPECT_TRUE(hive.find("system\\tvn\\sub")->is_protected);
    EXPECT_EQ(reg::format_hive(reg::parse_hive(reg::format_hive(hive))), reg::format_hive(hive));
}

TEST(RegistryStore, SubKeysInFoldedOrderAndVolatileDrop)
{
    reg::Hive hive;
    for (const char* p : {"A\\b", "A\\C", "A b\\x", "A\\a\\deep", "AB"}) hive.create(p);
    EXPECT_EQ(hive.subkeys("a"), (std::vector<std::string>{"a", "b", "C"}));
    EXPECT_EQ(hive.subkeys(""), (std::vector<std::string>{"A", "A b", "AB"}));
    hive.create("V\\w", /*is_volatile=*/true);
    hive.drop_volatile();
    EXPECT_EQ(hive.find("V"), nullptr);
    EXPECT_EQ(hive.find("V\\w"), nullptr);
    EXPECT_NE(hive.find("A\\a\\deep"), nullptr);
}

TEST(RegistryStore, BatchWritesEachChangedRootOnceAtItsEnd)
{
    platform::testing::TempSystemRoot root;
    ASSERT_TRUE(reg::set_string("Software\\Before", "v", "1"));
    const std::string stored = *platform::read_file(reg::hive_path(reg::Root::LocalMachine));
    {
        reg::Batch batch;
        reg::Batch joined;  // a second batch on the thread joins the first
        Key k;
        ASSERT_EQ(Create(u"Software\\New", k), ERROR_SUCCESS);
        const DWORD one = 1;
        ASSERT_EQ(RegSetValueExW(k.h, u"V", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
        ASSERT_TRUE(reg::set_dword("Software\\New", "W", 2));
        // The thread reads its changes; the file is as it was, and no other root is written.
        EXPECT_EQ(reg::get_dword("Software\\New", "V"), 1u);
        EXPECT_EQ(reg::get_dword("Software\\New", "W"), 2u);
        EXPECT_TRUE(joined.finish());  // the joined batch leaves the writing to the first
        EXPECT_EQ(platform::read_file(reg::hive_path(reg::Root::LocalMachine)), stored);
        EXPECT_TRUE(batch.finish());
        EXPECT_NE(platform::read_file(reg::hive_path(reg::Root::LocalMachine)), stored);
        ASSERT_TRUE(reg::set_dword("Software\\New", "X", 3));
    }
    // What the batch changed after its finish() is written at its end.
    EXPECT_EQ(reg::get_dword("Software\\New", "X"), 3u);
    EXPECT_EQ(reg::get_dword("Software\\New", "V"), 1u);
    EXPECT_FALSE(platform::read_file(reg::hive_path(reg::Root::CurrentUser)));
}

TEST(Registry, ValueSizeProtocolAndTypes)
{
    platform::testing::TempSystemRoot root;
    Key k;
    ASSERT_EQ(Create(u"Software\\Tvn", k), ERROR_SUCCESS);
    const char16_t text[] = u"hello";
    ASSERT_EQ(RegSetValueExW(k.h, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(k.h, u"NAME", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof text);
    char16_t small[3] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(k.h, u"name", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(RegQueryValueExW(k.h, u"missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(k.h, u"Name"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(k.h, u"Name"), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, AccessIsCheckedPerHandle)
{
    platform::testing::TempSystemRoot root;
    Key writer;
    ASSERT_EQ(Create(u"Software\\Tvn\\Child", writer), ERROR_SUCCESS);
    Key reader;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\TVN", 0, KEY_READ, &reader.h), ERROR_SUCCESS);
    const DWORD one = 1;
    EXPECT_EQ(RegSetValueExW(reader.h, u"x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
    Key query_only;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tvn", 0, KEY_QUERY_VALUE, &query_only.h), ERROR_SUCCESS);
    char16_t name[16];
    DWORD chars = 16;
    EXPECT_EQ(RegEnumKeyExW(query_only.h, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    chars = 16;
    EXPECT_EQ(RegEnumKeyExW(reader.h, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Child");
    EXPECT_EQ(chars, 5u);
    chars = 5;  // no room for the NUL
    EXPECT_EQ(RegEnumKeyExW(reader.h, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    chars = 16;
    EXPECT_EQ(RegEnumKeyExW(reader.h, 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST(Registry, DeleteKeyRules)
{
    platform::testing::TempSystemRoot root;
    Key k;
    ASSERT_EQ(Create(u"Software\\Tvn\\Child", k), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Tvn"), ERROR_ACCESS_DENIED);  // has a sub-key
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Tvn\\Child"), ERROR_SUCCESS);
    // A handle on a deleted key reports it.
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(k.h, u"x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Tvn"), ERROR_SUCCESS);
}

TEST(Registry, ProtectedKeyRefusesDeletionUntilItsDaclIsReplaced)
{
    platform::testing::TempSystemRoot root;
    ASSERT_TRUE(reg::set_dword("Software\\Locked", "v", 1));
    ASSERT_TRUE(reg::set_protected("Software\\Locked", true));

    Key denied;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Locked", 0, KEY_ALL_ACCESS, &denied.h), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Locked"), ERROR_ACCESS_DENIED);

    Key k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Locked", 0, KEY_READ | WRITE_DAC, &k.h), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegGetKeySecurity(k.h, DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_INSUFFICIENT_BUFFER);
    std::vector<uint8_t> current(size);
    ASSERT_EQ(RegGetKeySecurity(k.h, DACL_SECURITY_INFORMATION, current.data(), &size), ERROR_SUCCESS);
    // The descriptor read back denies deletion; writing it back keeps the key protected.
    EXPECT_EQ(RegSetKeySecurity(k.h, DACL_SECURITY_INFORMATION, current.data()), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Locked"), ERROR_ACCESS_DENIED);

    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    ASSERT_TRUE(IsValidSecurityDescriptor(&sd));
    EXPECT_EQ(RegSetKeySecurity(k.h, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Locked"), ERROR_SUCCESS);
}

TEST(Registry, VolatileKeysAndOtherMachines)
{
    platform::testing::TempSystemRoot root;
    Key v, stable;
    ASSERT_EQ(Create(u"Software\\Run", v, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    EXPECT_EQ(Create(u"Software\\Run\\Stable", stable), ERROR_CHILD_MUST_BE_VOLATILE);

    HKEY remote = nullptr;
    EXPECT_EQ(RegConnectRegistryW(u"\\\\FARAWAY", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
    std::ofstream(root / "system.conf") << "ComputerName=Bench7\n";
    ASSERT_EQ(RegConnectRegistryW(u"\\\\bench7", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
    Key k;
    EXPECT_EQ(RegOpenKeyExW(remote, u"Software\\Run", 0, KEY_READ, &k.h), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(remote), ERROR_INVALID_HANDLE);
}

TEST(Registry, MalformedPathsAreRefused)
{
    platform::testing::TempSystemRoot root;
    Key k;
    EXPECT_EQ(Create(u"Software\\\\Double", k), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(u"Software\\Line\nBreak", k), ERROR_INVALID_PARAMETER);
    const std::u16string long_name(256, u'a');
    EXPECT_EQ(Create((u"Software\\" + long_name).c_str(), k), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(u"Software\\Ok\\", k), ERROR_SUCCESS);  // one trailing separator is allowed
}
