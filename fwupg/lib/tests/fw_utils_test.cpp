// Folder listing, path splitting, version texts, version comparisons and the sub-component age rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <platform/testing/temp_root.h>

#include "fwupg/adapter_tables.h"
#include "fwupg/fw_utils.h"

namespace {

using platform::testing::TempDir;

TEST(EnumFiles, ListsImageFilesByNameIgnoringCase)
{
    TempDir dir;
    for (const char* f : {"b.xml", "c.txt", "d", "A.BIN"}) std::ofstream(dir / f) << "x";
    std::filesystem::create_directory(dir / "e.bin");
    std::vector<std::string> list;
    ASSERT_EQ(fwupg::EnumFiles(dir.path(), &list), 0u);
    EXPECT_EQ(list, (std::vector<std::string>{dir / "A.BIN", dir / "b.xml"}));
}

TEST(EnumFiles, FileItselfMissingFolderAndAppending)
{
    TempDir dir;
    std::ofstream(dir / "one.txt") << "x";
    std::vector<std::string> list{"stale"};
    EXPECT_EQ(fwupg::EnumFiles(dir / "one.txt", &list), 0u);
    EXPECT_EQ(list, std::vector<std::string>{dir / "one.txt"});

    list = {"kept"};
    EXPECT_EQ(fwupg::EnumFiles(dir / "missing", &list), 9u);
    EXPECT_EQ(list, std::vector<std::string>{"kept"});

    // A listing appends to what the list held.
    std::ofstream(dir / "x.bin") << "x";
    EXPECT_EQ(fwupg::EnumFiles(dir.path(), &list), 0u);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", dir / "x.bin"}));
}

// The extension is taken from the last "." of the whole path, not of the name alone.
TEST(EnumFiles, ExtensionComesFromWholePath)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "fw.bin");
    std::ofstream(dir / "fw.bin/noext") << "x";
    std::ofstream(dir / "fw.bin/img.Xml") << "x";
    std::vector<std::string> list;
    ASSERT_EQ(fwupg::EnumFiles(dir / "fw.bin", &list), 0u);
    EXPECT_EQ(list, std::vector<std::string>{dir / "fw.bin/img.Xml"});
}

TEST(ExtractFilename, OnlySlashSeparates)
{
    struct Case {
        const char* path;
        bool ok;
        const char* name;
    };
    for (const Case& c : {Case{"./fw/a.bin", true, "a.bin"}, Case{"a.bin", false, "unchanged"},
                          Case{"fw\\a.bin", false, "unchanged"}, Case{"./fw/", false, "unchanged"},
                          Case{"", false, "unchanged"}, Case{"/x", true, "x"}}) {
        std::string name = "unchanged";
        EXPECT_EQ(fwupg::ExtractFilename(c.path, &name), c.ok) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
}

TEST(VersionSuffix, TrailingDigitsAndDots)
{
    struct Case {
        const char* text;
        const char* suffix;
    };
    for (const Case& c : {Case{"MBA 7.13.2", "7.13.2"}, Case{"rev1.2", "1.2"}, Case{"7.13.2a", ""}, Case{"", ""},
                          Case{"7.10.3", "7.10.3"}, Case{"v7.12.0", "7.12.0"}, Case{"BC 1.2.", "1.2."}}) {
        EXPECT_EQ(fwupg::GetVersionSuffixA(c.text), c.suffix) << c.text;
        EXPECT_EQ(fwupg::GetVersionSuffix(c.text), std::u16string(c.suffix, c.suffix + strlen(c.suffix))) << c.text;
    }
}

TEST(CompareVersion, NumericPartByPart)
{
    struct Case {
        const char* current;
        const char* image;
        int result;
    };
    for (const Case& c : {Case{"7.13.2", "7.13.10", -1}, Case{"7.13", "7.13.0.0", 0}, Case{"7.10.4", "7.10.3", 1},
                          Case{"7.10.3", "7.10.3", 0}, Case{"", "0.0.0", 0}, Case{"abc", "0", 0},
                          Case{"1.2.3.5", "1.2.3.4", 1}, Case{"4294967295", "1", 1}, Case{"8", "7.99.99.99", 1},
                          Case{"7.8x.1", "7.8", 0}}) {
        EXPECT_EQ(fwupg::CompareVersion(c.current, c.image), c.result) << c.current << " vs " << c.image;
        EXPECT_EQ(fwupg::CompareFwVersions(c.current, c.image), c.result <= 0) << c.current << " vs " << c.image;
    }
}

TEST(SubComponentAge, EachThresholdIsInclusive)
{
    namespace f5 = yxmapi::fw5;
    struct Text {
        yxmapi::TextField field;
        const char* text;
    };
    struct Case {
        const char* what;
        std::vector<Text> texts;
        bool tooOld;
    };
    const std::vector<Case> cases = {
        {"all empty", {}, false},
        {"step 1 above", {{f5::kText4, "BC 7.13.24"}}, false},
        {"step 1 at threshold", {{f5::kText4, "BC 7.13.23"}}, true},
        {"step 1 ends in a letter", {{f5::kText4, "7.13.24a"}}, true},
        {"MBA at threshold", {{f5::kMba, "MBA 7.13.2"}}, true},
        {"MBA above", {{f5::kMba, "MBA 7.13.3"}}, false},
        {"680 empty, 632 at threshold", {{f5::kText632, "7.13.16"}}, true},
        {"680 wins over 632", {{f5::kText680, "7.13.17"}, {f5::kText632, "7.13.1"}}, false},
        {"84 at threshold", {{f5::kText84, "7.13.3"}}, true},
        {"516 above", {{f5::kText516, "7.13.2"}}, false},
        {"764 below", {{f5::kText764, "7.12.99"}}, true},
        {"164 at threshold", {{f5::kText164, "7.10.31"}}, true},
        {"164 above", {{f5::kText164, "7.10.32"}}, false},
        {"all new", {{f5::kText4, "7.14"}, {f5::kMba, "7.14"}, {f5::kText680, "7.14"}, {f5::kText84, "7.14"},
                     {f5::kText516, "7.14"}, {f5::kText764, "7.14"}, {f5::kText164, "7.14"}}, false},
    };
    for (const Case& c : cases) {
        yxmapi::FwInfoType5 info;
        info.prepare(yxmapi::kFwInfoType5Version);
        for (const Text& t : c.texts) ASSERT_TRUE(info.set(t.field, t.text));
        EXPECT_EQ(fwupg::AreNvmSubComponentsTooOld(info), c.tooOld) << c.what;
    }
}

TEST(AdapterTables, OemRowsMatchWithoutDeviceIdAndNicTypes)
{
    EXPECT_EQ(sizeof(g_OemAdapterTable), 84u * 1032u);
    // Two boards that differ only in their device id share a row.
    EXPECT_EQ(fwupg::FindOemAdapter(0x14E4, 0x14E4, 0x0906), fwupg::FindOemAdapter(0x14E4, 0x14E4, 0x0906));
    EXPECT_NE(fwupg::GetOemProductName(0x14E4, 0x1639, 0x14E4, 0x0906), "");
    EXPECT_EQ(fwupg::GetOemProductName(0x14E4, 0x1234, 0x14E4, 0x0906),
              fwupg::GetOemProductName(0x14E4, 0x1639, 0x14E4, 0x0906));
    EXPECT_EQ(fwupg::FindOemAdapter(0x14E4, 0x14E4, 0x0001), nullptr);
    EXPECT_EQ(fwupg::GetOemProductName(0x14E4, 0x1639, 0x14E4, 0x0001), "");
    // Rows not in use never match, not even an adapter reporting all-ones ids.
    EXPECT_EQ(fwupg::FindOemAdapter(0xFFFF, 0xFFFF, 0xFFFF), nullptr);

    EXPECT_EQ(fwupg::NicTypeName(0x14E4, 0x164E, 0x14E4, 0x164E), "57710");
    EXPECT_EQ(fwupg::NicTypeName(0x14E4, 0x1639, 0x14E4, 0x0906), "5709C");
    EXPECT_EQ(fwupg::NicTypeName(0x1077, 0x1634, 0x1077, 0xE4F1), "57980S");
    EXPECT_EQ(fwupg::NicTypeName(0x14E4, 0x1639, 0x14E4, 0x0907), "Unknown");
    EXPECT_EQ(fwupg::NicTypeName(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), "Unknown");
}

}  // namespace
