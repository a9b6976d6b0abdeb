// Image-file checks by image type: files from the test kit that pass, files that fail with the
// type's code, and short or malformed files that must fail cleanly (run under ASan/UBSan).
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fw_image_test_support.h"
#include "fwupg/file_cache.h"
#include "fwupg/file_size_bound.h"
#include "fwupg/fw_image.h"
#include "fwupg/image_check_codes.h"
#include "testkit/images.h"
#include "testkit/legacy_image.h"
#include "testkit/package.h"
#include "wrapped_cases.h"

namespace {

using imgtest::Adapter;
using imgtest::ImageCheckWorld;
using testkit::Bytes;
using testkit::WrappedRecord;

Bytes Wrapped(const std::string& tag4, uint32_t version = 1, uint32_t compat = 0, size_t dataSize = 32)
{
    WrappedRecord r;
    r.tag = testkit::tag_of(tag4);
    r.version = version;
    r.compat = compat;
    r.data = testkit::text_image("IMAGE 1.2.3", dataSize, 7);
    return testkit::wrapped_file({r});
}

const std::string kBc1("\0bc1", 4), kL2t("\0l2t", 4), kIpmi("\0ipc", 4), kIscsi("\0\0ib", 4), kFeb("\0feb", 4),
    kCcm("\0ccm", 4);

Bytes Rom(uint8_t codeType, uint16_t vendor, uint16_t device)
{
    testkit::MbaDef desc;
    testkit::RomImage image;
    image.code_type = codeType;
    image.vendor = vendor;
    image.device = device;
    image.units = 1;
    desc.images = {image};
    return testkit::mba_rom(desc);
}

Bytes LegacyNvram()
{
    testkit::legacy::adapter a;  // 5709, ids 14E4/1639/14E4/1639, 256 KiB
    a.images = {{0xF0000000u, 0x07000000u, 0x08000000u, testkit::legacy::text_image("BC1 1.2.3", 1, 2, 3)}};
    return testkit::legacy::build_nvram(a);
}

Bytes Package(uint16_t ssid)
{
    testkit::PackageDef s;
    s.entries = {{testkit::package_tag("MFW"), Bytes(16, 1), {}, {}}};
    s.rows = {{0x14E4, 0x168E, 0x103C, ssid, 1}};
    return testkit::package(s);
}

struct Case {
    const char* what;
    uint32_t type;
    std::function<Bytes()> file;
    uint32_t error;  // 0: passes
};

void RunCases(ImageCheckWorld& w, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fwupg::FwImage image(w.interp, w.File(c.file()).c_str(), c.type, false);
        EXPECT_EQ(image.valid(), c.error == 0);
        EXPECT_EQ(image.error(), c.error);
    }
}

TEST(FwImageType, LegacyFamilyChecksEachType)
{
    ImageCheckWorld w;
    const std::vector<Case> cases = {
        {"boot code bc1", 0, [] { return Wrapped(kBc1); }, 0},
        {"boot code l2rx", 0, [] { return Wrapped("l2rx"); }, 0},
        {"boot code with an L2T tag", 0, [] { return Wrapped(kL2t); }, 75},
        {"boot code without header", 0, [] { return Bytes(64, 0x11); }, 75},
        {"MBA boot agent", 1, [] { return Rom(0, 0x14E4, 0x164A); }, 0},
        {"MBA of the second vendor", 1, [] { return Rom(0, 0x1077, 0x168E); }, 0},
        {"MBA of another vendor", 1, [] { return Rom(0, 0x8086, 0x164A); }, 69},
        {"MBA boot agent of an unlisted device", 1, [] { return Rom(0, 0x14E4, 0x1639); }, 69},
        {"MBA EFI image of any device", 1, [] { return Rom(3, 0x14E4, 0x1234); }, 0},
        {"MBA FCODE of a listed device", 1, [] { return Rom(1, 0x14E4, 0x163A); }, 0},
        {"MBA FCODE of another device", 1, [] { return Rom(1, 0x14E4, 0x164A); }, 69},
        {"MBA unknown code type", 1, [] { return Rom(2, 0x14E4, 0x164A); }, 69},
        {"MBA without signature", 1, [] { return Wrapped(kBc1); }, 69},
        {"MBA boot agent with a byte flipped", 1, [] { Bytes b = Rom(0, 0x14E4, 0x164A); b[0x150] ^= 0x20; return b; }, 69},
        {"MBA EFI image with a byte flipped", 1, [] { Bytes b = Rom(3, 0x14E4, 0x1234); b[0x150] ^= 0x20; return b; }, 0},
        {"MBA chain that stops before its last image", 1, [] { Bytes b = testkit::mba_rom(testkit::mba_stock(0x164A, "7.1.2")); b.resize(4 * 512); return b; }, 69},
        {"IPMI", 2, [] { return Wrapped(kIpmi); }, 0},
        {"IPMI that is boot code", 2, [] { return Wrapped(kBc1); }, 76},
        {"NCSI old format with ELIB", 4, [] { return testkit::ncsi_bundle("1.0.4", true, false, 0x40000); }, 0},
        {"NCSI old format, common part only", 4, [] { return testkit::ncsi_bundle("1.0.4", false, false, 0x40000); }, 96},
        {"NCSI new format, common part only", 4, [] { return testkit::ncsi_bundle("6.2.1", false, false, 0x40000); }, 0},
        {"NCSI without chip masks", 4, [] { return testkit::ncsi_bundle("6.2.1", true, true, 0); }, 96},
        {"NCSI that is boot code", 4, [] { return Wrapped(kBc1); }, 96},
        {"iSCSI boot", 5, [] { return Wrapped(kIscsi); }, 0},
        {"iSCSI that is boot code", 5, [] { return Wrapped(kBc1); }, 67},
        {"full NVRAM image", 6, LegacyNvram, 0},
        {"full NVRAM image without bootstrap magic", 6, [] { Bytes b = LegacyNvram(); b[0] ^= 0xFF; return b; }, 77},
        {"full NVRAM image without port-0 ids", 6,
         [] { Bytes b = LegacyNvram(); std::fill(b.begin() + 340, b.begin() + 348, 0); return b; }, 77},
        {"PHY upgrade file", 7, [] { return Wrapped("8727"); }, 0},
        {"PHY upgrade file without header", 7, [] { return Bytes(64, 0x22); }, 98},
        {"L2T", 8, [] { return Wrapped(kL2t); }, 0},
        {"L2T that is boot code", 8, [] { return Wrapped(kBc1); }, 104},
        {"MFW on the legacy family: any known record", 10, [] { return Wrapped(kBc1); }, 0},
        {"MFW with an unknown tag", 10, [] { return Wrapped("zzzz"); }, 75},
        {"FCoE boot", 11, [] { return Wrapped(kFeb); }, 0},
        {"FCoE boot that is iSCSI", 11, [] { return Wrapped(kIscsi); }, 115},
        {"CCM", 14, [] { return Wrapped(kCcm); }, 0},
        {"CCM that is FCoE boot", 14, [] { return Wrapped(kFeb); }, 121},
        {"package on the legacy family", 15, [] { return Package(0x1917); }, 126},
        {"type 9 needs only the file", 9, [] { return Bytes(8, 0); }, 0},
        {"type 12 needs only the file", 12, [] { return Bytes(8, 0); }, 0},
        {"type 22 needs only the file", 22, [] { return Bytes(8, 0); }, 0},
    };
    RunCases(w, cases);
}

TEST(FwImageType, PackagesOn57710Family)
{
    ImageCheckWorld w;
    Adapter a;
    a.family = 5;
    a.chipId = 0x168Eu << 12;
    a.did = 0x168E;
    a.svid = 0x103C;
    a.ssid = 0x1917;
    w.Select(a);
    RunCases(w, {
                    {"package for this board", 15, [] { return Package(0x1917); }, 0},
                    {"package for another board", 15, [] { return Package(0x1918); }, 126},
                    {"not a package", 15, [] { return Wrapped(kBc1); }, 126},
                    {"package cut in its image", 15, [] { Bytes b = Package(0x1917); b.pop_back(); return b; }, 126},
                    {"package whose boot agent has a byte flipped", 15,
                     [] {
                         testkit::PackageDef s;
                         Bytes rom = testkit::mba_rom(testkit::mba_stock(0x168E, "7.12.0"));
                         rom[0x40 + 40] ^= 0x01;
                         s.entries = {{testkit::package_tag("MBA"), rom, {}, {}}};
                         s.rows = {{0x14E4, 0x168E, 0x103C, 0x1917, 1}};
                         return testkit::package(s);
                     },
                     126},
                });
    fwupg::FwImage missing(w.interp, (w.dir / "none.bin").c_str(), fwupg::kImgMbi, false);
    EXPECT_EQ(missing.error(), 63u);
}

TEST(FwImageType, UnknownOptionAndTypeWithoutFileTouchNothing)
{
    ImageCheckWorld w;
    fwupg::FwImage unknown(w.interp, "/no/such/file", fwupg::kImgUnknown, false);
    EXPECT_FALSE(unknown.valid());
    EXPECT_EQ(unknown.error(), 78u);
    fwupg::FwImage none(w.interp, "/no/such/file", fwupg::kImgNone, false);
    EXPECT_TRUE(none.valid());
    EXPECT_EQ(none.error(), 0u);
    EXPECT_EQ(w.facade.calls[43] + w.facade.calls[44], 0);

    fwupg::FwImage missing(w.interp, "/no/such/file", fwupg::kImgUpg, false);
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(missing.error(), 13u);
}

// Every prefix of a wrapped file shorter than its record header fails each type's check with that
// type's code; nothing reads past the loaded bytes.
TEST(FwImageType, FilesShorterThanTheRecordHeaderFail)
{
    ImageCheckWorld w;
    const Bytes whole = Wrapped(kBc1);
    const std::vector<std::pair<uint32_t, uint32_t>> typeCodes = {
        {0, 75}, {1, 69}, {2, 76}, {4, 96}, {5, 67}, {6, 77}, {7, 98}, {8, 104}, {10, 75}, {11, 115}, {14, 121}};
    for (size_t n = 0; n < fwupg::kWrappedHeaderSize; ++n) {
        const std::string path = w.File(Bytes(whole.begin(), whole.begin() + n));
        for (auto [type, code] : typeCodes) {
            SCOPED_TRACE("size " + std::to_string(n) + " type " + std::to_string(type));
            fwupg::FwImage image(w.interp, path.c_str(), type, false);
            EXPECT_FALSE(image.valid());
            EXPECT_EQ(image.error(), code);
        }
    }
}

// The malformed wrapped files every reader of wrapped records meets: the NCSI scan takes any
// version and fails wherever the records stop before the file ends.
TEST(FwImageType, NcsiScanStopsWhereTheRecordsBreak)
{
    ImageCheckWorld w;
    WrappedRecord common = testkit::stock_record("NCSI_CMN", "6.2.1");
    common.compat = 0x40000;
    std::vector<Case> cases;
    const auto malformed = wrapped_test::wrapped_cases(testkit::ncsi_bundle("6.2.1", false, false, 0x40000), common);
    for (const auto& c : malformed) {
        const bool whole = c.stop == fwupg::WrappedStop::End || c.stop == fwupg::WrappedStop::BadVersion;
        cases.push_back({c.what.c_str(), 4, [&c] { return c.file; }, whole ? 0u : 96u});
    }
    RunCases(w, cases);
}

TEST(FwImageType, MalformedRecordsAndRomsFail)
{
    ImageCheckWorld w;
    auto ncsiWithLength = [](uint32_t length) {
        Bytes b = testkit::ncsi_bundle("1.0.4", true, false, 0x40000);
        testkit::set_le32(b, 16, length);
        return b;
    };
    RunCases(w, {
                    {"NCSI record running past the end", 4, [&] { return ncsiWithLength(0x10000); }, 96},
                    {"NCSI record length wrapping 32 bits", 4, [&] { return ncsiWithLength(0xFFFFFFF0u); }, 96},
                    {"NCSI record length leaving a stub", 4, [&] { return ncsiWithLength(0x7F0); }, 96},
                    {"NCSI bundle cut before its version words", 4,
                     [] { Bytes b = testkit::ncsi_bundle("1.0.4", true, false, 0x40000); b.resize(140); return b; }, 96},
                    {"ROM data structure past the end", 1,
                     [] { Bytes b = Rom(0, 0x14E4, 0x164A); testkit::set_le16(b, 0x18, 0xFFF0); return b; }, 69},
                    {"ROM data structure at the last bytes", 1,
                     [] { Bytes b = Rom(0, 0x14E4, 0x164A); testkit::set_le16(b, 0x18, uint16_t(b.size() - 8)); return b; }, 69},
                    {"ROM cut after its header", 1, [] { Bytes b = Rom(0, 0x14E4, 0x164A); b.resize(0x1A); return b; }, 69},
                    {"full image shorter than its id words", 6, [] { Bytes b = LegacyNvram(); b.resize(300); return b; }, 77},
                    {"full image of 3 bytes", 6, [] { return Bytes{0x66, 0x99, 0x55}; }, 77},
                });
}

TEST(FwImageType, E4FamilyFormatCheck)
{
    ImageCheckWorld w;
    Adapter a;
    a.family = 6;
    a.chipId = 0x1657u << 16;
    w.Select(a);
    struct Row {
        const char* what;
        uint32_t type;
        Bytes file;
        bool ok;
        uint32_t dirType;
    };
    const std::vector<Row> rows = {
        {"plain file", fwupg::kImgMeta, Bytes(64, 3), true, 0},
        {"old wrapped file", fwupg::kImgMeta, Wrapped(kBc1), false, 0},
        {"MBA gives its own type", fwupg::kImgMba, Wrapped(kBc1), true, fwupg::kImgMba},
        {"init_hw gives its own type", fwupg::kImgInitHw, Bytes(64, 3), true, fwupg::kImgInitHw},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        fwupg::FwImage image(w.interp, w.File(r.file).c_str(), r.type, false);
        uint32_t dirType = 0xDEAD;
        EXPECT_EQ(image.isValidImageFormat(&dirType), r.ok);
        if (r.ok) EXPECT_EQ(dirType, r.dirType);
        else EXPECT_EQ(image.error(), 26u);
    }
}

TEST(FwImageType, LegacyBootAgentWithoutHeaderTakesTheMbaRow)
{
    ImageCheckWorld w;
    fwupg::FwImage image(w.interp, w.File(Rom(0, 0x14E4, 0x164A)).c_str(), fwupg::kImgMba, false);
    uint32_t dirType = 0;
    ASSERT_TRUE(image.isValidImageFormat(&dirType));
    EXPECT_EQ(dirType, 0x10000000u);

    fwupg::FwImage notRom(w.interp, w.File(Bytes(64, 1)).c_str(), fwupg::kImgMba, false);
    EXPECT_FALSE(notRom.isValidImageFormat(&dirType));
}

// The cache reads a file once until it is cleared; a full NVRAM image is de-paged and swapped in
// a buffer of its own, so the cached bytes stay as the file has them.
// Within one exported call (the cache open) a file is read once and then served from the cache;
// a file changed on disk is read again; the call's end empties and closes the cache, and with it
// closed nothing is kept.
TEST(FwImageType, CacheServesRepeatedChecksOfTheCallAndKeepsFileBytes)
{
    ImageCheckWorld w;
    const std::string path = w.File(LegacyNvram());
    fwupg::OpenFileCache();
    {
        fwupg::FwImage full(w.interp, path.c_str(), fwupg::kImgFullNvm, true);
        EXPECT_TRUE(full.valid());
    }
    fwupg::FwImage again(w.interp, path.c_str(), fwupg::kImgFullNvm, true);
    EXPECT_TRUE(again.valid());
    fwupg::FwImage raw(w.interp, path.c_str(), fwupg::kImgVpd, true);
    ASSERT_TRUE(raw.valid());
    EXPECT_EQ(raw.data()[0], 0x66);  // file order: the bootstrap magic big-endian
    EXPECT_EQ(again.data()[0], 0xAA);  // swapped view
    EXPECT_EQ(w.facade.calls[43], 1);
    EXPECT_EQ(w.facade.calls[44], 1);

    // The same path with other contents (a new file) is read again, and its bytes are the new ones.
    Bytes other = LegacyNvram();
    other[0] = 0x11;
    other.push_back(0);
    ASSERT_EQ(w.File(other), path);
    fwupg::FwImage changed(w.interp, path.c_str(), fwupg::kImgVpd, true);
    ASSERT_TRUE(changed.valid());
    EXPECT_EQ(changed.data()[0], 0x11);
    EXPECT_EQ(w.facade.calls[44], 2);

    ClearFwImageCache();
    fwupg::FwImage closed1(w.interp, path.c_str(), fwupg::kImgVpd, true);
    fwupg::FwImage closed2(w.interp, path.c_str(), fwupg::kImgVpd, true);
    EXPECT_EQ(w.facade.calls[44], 4);
}

TEST(FwImageType, PagedFullImageIsDepaged)
{
    ImageCheckWorld w;
    const Bytes flat = LegacyNvram();
    Bytes paged;
    for (size_t at = 0; at < flat.size(); at += 256) {
        paged.insert(paged.end(), flat.begin() + at, flat.begin() + at + 256);
        for (int k = 0; k < 2; ++k) {
            const uint8_t marker[4] = {0x09, 0x57, 0x09, 0x57};  // 0x57095709 as the host reads it
            paged.insert(paged.end(), marker, marker + 4);
        }
    }
    fwupg::FwImage image(w.interp, w.File(paged).c_str(), fwupg::kImgFullNvm, false);
    EXPECT_TRUE(image.valid());
    EXPECT_EQ(image.size(), flat.size());
}

}  // namespace

// A file larger than the largest NVRAM its kind can go to is refused from its size alone (19),
// without being read; the bound is the family's largest part, or the adapter's own NVRAM where that
// is larger, and a full NVRAM image may come in 264-byte pages.
TEST(FwImageType, AFileLargerThanTheLargestNvramIsRefusedUnread)
{
    constexpr uint64_t kPart = fwupg::kLargestNvram;
    struct Case {
        const char* what;
        uint32_t type;
        uint64_t size;
        uint32_t adapterNvram;
        bool read;
    };
    const std::vector<Case> cases = {
        {"an image one byte above the part", fwupg::kImgVpd, kPart + 1, 0x40000, false},
        {"an image of the part's size", fwupg::kImgVpd, kPart, 0x40000, true},
        {"a paged full image one byte above the paged part", fwupg::kImgFullNvm, kPart + kPart / 32 + 1, 0x40000,
         false},
        {"a paged full image of the paged part", fwupg::kImgFullNvm, kPart + kPart / 32, 0x40000, true},
        {"an image above the part on an adapter with a larger NVRAM", fwupg::kImgVpd, kPart + 4096, 0x2000000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageCheckWorld w;
        imgtest::Adapter a;
        a.nvmSize = c.adapterNvram;
        w.Select(a);
        const std::string path = w.File(Bytes(16, 0x5A));
        std::filesystem::resize_file(path, c.size);
        fwupg::FwImage image(w.interp, path.c_str(), c.type, false);
        EXPECT_EQ(w.facade.calls[44], c.read ? 1 : 0);
        if (!c.read) {
            EXPECT_FALSE(image.valid());
            EXPECT_EQ(image.error(), fwupg::imgcode::kNvmSize);
        }
    }
}
