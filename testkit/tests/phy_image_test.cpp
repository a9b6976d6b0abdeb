// The kit's PHY firmware files: what phy_image writes and which files phy_image_version refuses.
#include "testkit/images.h"
#include "testkit/phy_image.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testkit;

namespace {

// A file of two records as a vendor ships them: the PHY code, then a second record.
Bytes two_records()
{
    Bytes f = phy_image("8727", "2.1.4", 64);
    WrappedRecord extra;
    extra.tag = tag_of("8727");
    extra.data = Bytes(8, 0x5A);
    const Bytes tail = wrapped_file({extra});
    f.insert(f.end(), tail.begin(), tail.end());
    return f;
}

void put_text(Bytes& f, const std::string& text)
{
    for (size_t i = 0; i < kPhyVersionField; ++i)
        f[20 + kPhyVersionAt + i] = i < text.size() ? uint8_t(text[i]) : 0;
}

}  // namespace

TEST(PhyImage, VersionOfWellFormedFiles)
{
    EXPECT_EQ(phy_image_version(phy_image("8484", "2.1.4")), "PHY 2.1.4");
    EXPECT_EQ(phy_image_version(two_records()), "PHY 2.1.4");
    Bytes f = phy_image("8484", "1.0.0", 32);
    put_text(f, "15.3");  // a bare two-part version, 15 characters of room used by none
    EXPECT_EQ(phy_image_version(f), "15.3");
    put_text(f, "PHY v10.200.300");
    EXPECT_EQ(phy_image_version(f), "PHY v10.200.300");
}

TEST(PhyImage, MalformedFilesAreRefusedWithTheirReason)
{
    struct Case {
        const char* what;
        std::function<void(Bytes&)> spoil;
        PhyFileFault fault;
    };
    const Case cases[] = {
        {"empty file", [](Bytes& f) { f.clear(); }, PhyFileFault::Truncated},
        {"header cut short", [](Bytes& f) { f.resize(19); }, PhyFileFault::Truncated},
        {"trailing bytes after the last record", [](Bytes& f) { f.resize(f.size() + 4, 0); }, PhyFileFault::Truncated},
        {"first record without magic", [](Bytes& f) { f[0] ^= 1; }, PhyFileFault::BadMagic},
        {"second record without magic", [](Bytes& f) { f[20 + 64] = 0; }, PhyFileFault::BadMagic},
        {"record longer than the file", [](Bytes& f) { set_le32(f, 16, 0x10000); }, PhyFileFault::BadLength},
        {"length overflows", [](Bytes& f) { set_le32(f, 16, 0xFFFFFFF0); }, PhyFileFault::BadLength},
        {"first record too short",
         [](Bytes& f) {
             set_le32(f, 16, 28);
             f.resize(20 + 28);
         },
         PhyFileFault::ShortRecord},
        {"empty version text", [](Bytes& f) { put_text(f, ""); }, PhyFileFault::BadVersionText},
        {"no number", [](Bytes& f) { put_text(f, "PHY"); }, PhyFileFault::BadVersionText},
        {"number without dot", [](Bytes& f) { put_text(f, "PHY 214"); }, PhyFileFault::BadVersionText},
        {"trailing dot", [](Bytes& f) { put_text(f, "PHY 2.1."); }, PhyFileFault::BadVersionText},
        {"double dot", [](Bytes& f) { put_text(f, "PHY 2..1"); }, PhyFileFault::BadVersionText},
        {"control character", [](Bytes& f) { put_text(f, "PHY\t2.1.4"); }, PhyFileFault::BadVersionText},
        {"not terminated in its field",
         [](Bytes& f) {
             for (size_t i = 0; i < kPhyVersionField; ++i)
                 f[20 + kPhyVersionAt + i] = '1';
             f[20 + kPhyVersionAt + 1] = '.';
         },
         PhyFileFault::BadVersionText},
    };
    for (const Case& c : cases) {
        Bytes f = two_records();
        c.spoil(f);
        PhyFileFault why = PhyFileFault::None;
        EXPECT_EQ(phy_image_version(f, &why), std::nullopt) << c.what;
        EXPECT_EQ(why, c.fault) << c.what << ": " << phy_file_fault_name(why);
    }
}

TEST(PhyImage, WriterRefusesWhatItCannotCarry)
{
    EXPECT_THROW(phy_image("848", "1.0.0"), std::invalid_argument);
    EXPECT_THROW(phy_image("8484", "1.0.0", 30), std::invalid_argument);
    EXPECT_THROW(phy_image("8484", "1.0.0", 28), std::invalid_argument);
    EXPECT_THROW(phy_image("8484", "1.0.0.1"), std::invalid_argument);
    EXPECT_THROW(phy_image("8484", "10000.10000.1"), std::invalid_argument);  // 17 characters
}
