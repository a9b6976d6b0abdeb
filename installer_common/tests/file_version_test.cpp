#include <gtest/gtest.h>
#include <string>

#include "installer_common/CFileVersion.h"
#include "platform/win_error.h"
#include "platform/win_version.h"
#include "test_root.h"

namespace {
std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
CFileVersion Of(const std::string& binary) { return CFileVersion(Wide(BinPath(binary)).c_str()); }
}  // namespace

TEST(CFileVersion, ComparesBuiltBinariesByFileVersion)
{
    CFileVersion newer = Of("cfv_probe_new"), older = Of("cfv_probe_old");
    EXPECT_EQ(newer.GetFileVersionString(), u"1.2.3.10");
    EXPECT_EQ(older.GetFileVersionString(), u"1.2.3.4");
    EXPECT_TRUE(newer > older);  // 10 > 4 in the low part, not "10" < "4"
    EXPECT_TRUE(older < newer);
    EXPECT_FALSE(newer == older);
    EXPECT_EQ(newer.GetCompanyName(), u"Ostra Probe");
    EXPECT_EQ(newer.GetInternalName(), u"probe-new");
    EXPECT_GT(newer.GetFileSize(), 0u);
    EXPECT_FALSE(newer.GetDateString().empty());
    EXPECT_FALSE(newer.GetTimeString().empty());

    // Same file version, other product version: equal.
    CFileVersion tests = Of("installer_common_tests");
    EXPECT_EQ(tests.GetProductVersionString(), u"7.0.0.0");
    EXPECT_EQ(older.GetProductVersionString(), u"1.2.3.4");
    EXPECT_TRUE(tests == older);
    EXPECT_FALSE(tests > older || tests < older);
}

TEST(CFileVersion, BinaryWithoutVersionNote)
{
    std::u16string plain = Wide(BinPath("cfv_probe_plain"));
    win::DWORD handle = 7;
    EXPECT_EQ(win::GetFileVersionInfoSizeW(plain.c_str(), &handle), 0u);
    EXPECT_EQ(win::GetLastError(), win::ERROR_RESOURCE_TYPE_NOT_FOUND);

    CFileVersion v(plain.c_str());
    EXPECT_EQ(v.Read(), 0);
    EXPECT_EQ(v.IsValid(), 1);  // size and time are known
    EXPECT_GT(v.GetFileSize(), 0u);
    EXPECT_TRUE(v.GetFileVersionString().empty());  // formatted only from a version resource
    EXPECT_TRUE(v.GetCompanyName().empty());
}

TEST(CFileVersion, MissingFileAndEmptyObject)
{
    TestRoot root;
    CFileVersion missing(u"C:\\nothing\\x.dll");
    EXPECT_EQ(missing, u"C:\\nothing\\x.dll");  // an "X:" path is taken as it is
    EXPECT_EQ(missing.Read(), 0);
    EXPECT_EQ(missing.IsValid(), 0);
    EXPECT_TRUE(missing.GetFileVersionString().empty());
    EXPECT_EQ(missing.GetFileSize(), 0u);

    CFileVersion empty;
    EXPECT_EQ(empty.Read(), 0);
    EXPECT_TRUE(empty.GetFileVersionString().empty());
    EXPECT_TRUE(empty.GetProductVersionString().empty());
}

TEST(CFileVersion, RelativePathIsTakenFromThePluginFolder)
{
    // The plug-in folder is the folder of the module holding this code: the test binary's.
    CFileVersion v(u"cfv_probe_new");
    EXPECT_EQ(v.GetFileVersionString(), u"1.2.3.10");
    EXPECT_EQ(v.substr(v.size() - 14), u"\\cfv_probe_new");
}

TEST(CFileVersion, NumericConstructor)
{
    CFileVersion a(0x00070000, 0, 0x00010002, 0x00030004, 0, 1, u"Ostra", 9, 100);
    CFileVersion b(0x00010000, 0, 0x00010002, 0x00030005, 0, 0, nullptr, 0, 0);
    EXPECT_EQ(a.GetSpareWord(), 9u);
    EXPECT_EQ(a.GetFileSize(), 100u);
    EXPECT_EQ(a.GetCompanyName(), u"Ostra");
    EXPECT_TRUE(a.GetFileVersionString().empty());  // texts other than the company name stay empty
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(CFileVersion(0, 0, 0x80000000, 0, 0, 0, nullptr, 0, 0) > b);  // unsigned compare
}
