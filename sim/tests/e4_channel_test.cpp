// The E4 firmware channel: images and bundles written at offset 0 with a write mode are installed
// as the device firmware would, a reset starts the pending bank, power cuts inside an install
// leave the previous directory in force, and the firmware records follow the NVRAM.
#include <algorithm>
#include <cstring>

#include "sim_test_support.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"

using namespace simtest;
namespace k4 = testkit::e4;
using testkit::Bytes;

namespace {

struct E4Fixture : ::testing::Test {
    void SetUp() override
    {
        adapter = sim::make_adapter(yxmapi::kFamilyE4, 1, "e4");
        adapter.did = 0x1634;
        adapter.flash_word = 0x40000;
        adapter.active_bundle = 0;
        adapter.mfw_version = "1.1.1.1";  // description text: never what the NVRAM-derived records show
        sim::write_adapter(root.path, adapter);
        original = k4::build(k4::stock_nvram({})).nvram;
        sim::set_nvram(root.path, adapter.name, original);
        ASSERT_EQ(lib.init(), 0u);
        ASSERT_EQ(lib.fn<47>()(adapter.api_handle), 0u);
    }
    void TearDown() override { lib.shutdown(); }

    uint32_t mode(uint32_t m) { return lib.fn<181>()(adapter.api_handle, m, kGuid); }
    uint32_t write(uint32_t offset, const Bytes& bytes)
    {
        std::vector<uint32_t> words((bytes.size() + 3) / 4, 0);
        std::memcpy(words.data(), bytes.data(), bytes.size());
        return lib.fn<67>()(adapter.api_handle, offset, words.data(), uint32_t(words.size()), kGuid);
    }
    // A single image as the engine sends it: the header, then the data, both at offset 0.
    uint32_t program(const k4::HeaderDef& h, const Bytes& data)
    {
        Bytes file = k4::headed_image(h, data);
        if (uint32_t st = mode(yxmapi::kWriteModeImage)) return st;
        if (uint32_t st = write(0, Bytes(file.begin(), file.begin() + 32))) return st;
        return write(0, Bytes(file.begin() + 32, file.end()));
    }
    Bytes nvram() const { return sim::read_nvram(root.path, adapter.name); }
    std::pair<std::string, std::string> fw6()
    {
        yxmapi::FwInfoType6 r;
        r.prepare(yxmapi::kFwInfoType6Version);
        EXPECT_EQ(lib.fn<184>()(adapter.list_handle, &r), 0u);
        return {std::string(r.get(yxmapi::fw6::kMba)), std::string(r.get(yxmapi::fw6::kMbi))};
    }
    std::pair<std::string, uint32_t> mfw()
    {
        yxmapi::MfwInfo r;
        r.prepare(yxmapi::kMfwInfoVersion);
        EXPECT_EQ(lib.fn<185>()(adapter.api_handle, &r), 0u);
        return {std::string(r.get(yxmapi::mfw::kVersion)), r.get(yxmapi::mfw::kActiveBundle)};
    }

    TempRoot root;
    Library lib;
    sim::AdapterDef adapter;
    Bytes original;
};

Bytes cfg_with_mbi(unsigned a, unsigned b, unsigned c)
{
    k4::NvmCfgDef s;
    s.mbi = {a, b, c};
    return k4::nvm_cfg(s);
}

}  // namespace

TEST_F(E4Fixture, RecordsComeFromTheNvram)
{
    EXPECT_EQ(fw6(), (std::pair<std::string, std::string>{"MBA 0.7.9", "8.10.5"}));
    EXPECT_EQ(mfw(), (std::pair<std::string, uint32_t>{"8.10.5.0", 0}));

    // Without an MBA image the device reports none, not the description's text.
    k4::NvramDef s = k4::stock_nvram({});
    std::erase_if(s.images, [](const k4::ImageDef& im) { return im.type == k4::type::MBA; });
    sim::set_nvram(root.path, adapter.name, k4::build(s).nvram);
    EXPECT_EQ(fw6().first, "");
}

TEST_F(E4Fixture, SingleImageOfEachHeaderVersionGoesIntoTheOtherCopy)
{
    for (unsigned version : {3u, 2u, 1u}) {
        SCOPED_TRACE(version);
        Bytes before = nvram();
        auto dir_before = k4::directory(before);
        ASSERT_TRUE(dir_before);
        ASSERT_EQ(program(k4::HeaderDef(k4::type::NVM_CFG1, version), cfg_with_mbi(8, 12, version)), 0u);

        Bytes after = nvram();
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + 0x2000, before.begin())) << "offset 0 is the channel";
        auto dir = k4::directory(after);
        ASSERT_TRUE(dir);
        EXPECT_EQ(dir->copy, 1 - dir_before->copy);
        EXPECT_EQ(dir->seq, dir_before->seq + 2) << "a single image keeps the bank that boots next";
        auto old = k4::read_copy(after, dir_before->copy);
        ASSERT_TRUE(old) << "the previous copy stays valid";
        EXPECT_EQ(old->seq, dir_before->seq);
        EXPECT_EQ(dir->entries.size(), dir_before->entries.size()) << "replaced, not added";
        k4::Report r = k4::verify(after);
        EXPECT_TRUE(r.ok()) << r.text();
        EXPECT_EQ(fw6().second, "8.12." + std::to_string(version));
    }
    // A type the directory did not list is added.
    ASSERT_EQ(program(k4::HeaderDef(k4::type::BDN), Bytes(100, 0x5A)), 0u);
    auto bdn = k4::find_image(nvram(), k4::type::BDN);
    ASSERT_TRUE(bdn);
    EXPECT_EQ(bdn->entry.length, 104u);
    EXPECT_TRUE(k4::verify(nvram()).ok());
}

TEST_F(E4Fixture, RefusedImagesChangeNothingAndEndTheMode)
{
    const Bytes data(64, 0x33);
    struct Case {
        const char* what;
        Bytes header;
        size_t data_bytes;
    };
    auto header = [&](auto tweak) {
        k4::HeaderDef h(k4::type::BDN);
        tweak(h);
        return k4::image_header(h, data.size());
    };
    std::vector<Case> cases = {
        {"wrong magic", header([](k4::HeaderDef& h) { h.magic = 0x669955AB; }), 64},
        {"version 4", header([](k4::HeaderDef& h) { h.version = 4; }), 64},
        {"unknown type 30", header([](k4::HeaderDef& h) { h.type = 30; }), 64},
        {"group-B word on a group-A chip", header([](k4::HeaderDef& h) { h.group = k4::kGroupB; }), 64},
        {"length zero", header([](k4::HeaderDef& h) { h.length = 0; }), 64},
        {"length past the data", header([](k4::HeaderDef& h) { h.length = 68; }), 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes before = nvram();
        ASSERT_EQ(mode(yxmapi::kWriteModeImage), 0u);
        uint32_t st = write(0, c.header);
        if (st == 0) st = write(0, Bytes(data.begin(), data.begin() + long(c.data_bytes)));
        EXPECT_EQ(st, YXSIM_E_BAD_ARGUMENT);
        EXPECT_EQ(nvram(), before);
        // The mode is spent: the next offset-0 write is raw.
        ASSERT_EQ(write(0, Bytes{1, 2, 3, 4}), 0u);
        Bytes raw = nvram();
        EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 4), (Bytes{1, 2, 3, 4}));
        sim::set_nvram(root.path, adapter.name, before);
    }
}

TEST_F(E4Fixture, OtherOffsetsStayRawWhileAModeIsSet)
{
    ASSERT_EQ(mode(yxmapi::kWriteModeImage), 0u);
    auto tim = k4::find_image(nvram(), k4::type::TIM1);
    ASSERT_TRUE(tim);
    uint32_t crc_at = tim->entry.offset + tim->entry.length - 4;
    ASSERT_EQ(write(crc_at, Bytes{0, 0, 0, 0}), 0u);  // as "crc -fix" writes a CRC dword
    EXPECT_FALSE(k4::verify(nvram()).ok());
    // The mode is still set for the next offset-0 write.
    Bytes file = k4::headed_image(k4::HeaderDef(k4::type::BDN), Bytes(8, 1));
    ASSERT_EQ(write(0, Bytes(file.begin(), file.begin() + 32)), 0u);
    ASSERT_EQ(write(0, Bytes(file.begin() + 32, file.end())), 0u);
    EXPECT_TRUE(k4::find_image(nvram(), k4::type::BDN));
}

TEST_F(E4Fixture, BundleIsPendingUntilAReset)
{
    ASSERT_EQ(mode(yxmapi::kWriteModeMfw), 0u);
    ASSERT_EQ(write(0, k4::bundle(k4::mfw_bundle_items("8.12.3.0", 1))), 0u);
    Bytes nv = nvram();
    EXPECT_TRUE(k4::verify(nv).ok()) << k4::verify(nv).text();
    auto dir = k4::directory(nv);
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->next_bank(), 1u);
    EXPECT_EQ(k4::find_image(nv, k4::type::TIM2)->version, "TIM 8.12.3.0");
    EXPECT_EQ(k4::find_image(nv, k4::type::TIM1)->version, "TIM 8.10.5.0");
    EXPECT_EQ(mfw(), (std::pair<std::string, uint32_t>{"8.10.5.0", 0})) << "nothing changes before the reset";

    // A configuration write afterwards keeps the pending bank; a new session still sees the old
    // firmware running.
    ASSERT_EQ(program(k4::HeaderDef(k4::type::NVM_CFG1), cfg_with_mbi(8, 12, 3)), 0u);
    EXPECT_EQ(k4::directory(nvram())->next_bank(), 1u);
    lib.shutdown();
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(mfw(), (std::pair<std::string, uint32_t>{"8.10.5.0", 0}));

    ASSERT_EQ(lib.fn<33>()(adapter.api_handle, yxmapi::kResetMode), 0u);
    EXPECT_EQ(mfw(), (std::pair<std::string, uint32_t>{"8.12.3.0", 1}));

    // The next bundle goes to bank 0 and a reset goes back to it.
    ASSERT_EQ(mode(yxmapi::kWriteModeMfw), 0u);
    ASSERT_EQ(write(0, k4::bundle(k4::mfw_bundle_items("8.13.0.0", 0))), 0u);
    EXPECT_EQ(mfw(), (std::pair<std::string, uint32_t>{"8.12.3.0", 1}));
    ASSERT_EQ(lib.fn<33>()(adapter.api_handle, yxmapi::kResetMode), 0u);
    EXPECT_EQ(mfw(), (std::pair<std::string, uint32_t>{"8.13.0.0", 0}));
    EXPECT_TRUE(k4::verify(nvram()).ok());
}

TEST_F(E4Fixture, DamagedBundlesAreRefused)
{
    auto items = k4::mfw_bundle_items("8.12.3.0", 1);
    struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"header magic instead of the bundle's", k4::bundle(items, k4::kHeaderMagic)},
        {"last item cut short", k4::bundle(items, k4::kBundleMagic, k4::kGroupA, 8)},
        {"no items", k4::bundle({})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(mode(yxmapi::kWriteModeMfw), 0u);
        EXPECT_EQ(write(0, c.file), YXSIM_E_BAD_ARGUMENT);
        EXPECT_EQ(nvram(), original);
    }
}

TEST_F(E4Fixture, CutInsideAnInstallLeavesThePreviousCopyInForce)
{
    Bytes cfg = cfg_with_mbi(8, 12, 3);
    const uint32_t image = uint32_t(cfg.size()) + 4;
    // Inside the image, at its CRC, inside the directory header, just before the directory's CRC.
    // A cut inside the directory write leaves the copy being written torn: the adapter keeps the
    // previous copy in force, and the NVRAM is not valid again until an update rewrites that copy.
    for (uint32_t cut : {16u, image - 2, image + 6, image + k4::dir_bytes(uint32_t(k4::directory(original)->entries.size())) - 1}) {
        SCOPED_TRACE(cut);
        const bool torn_copy = cut > image;
        sim::set_nvram(root.path, adapter.name, original);
        sim::Control control;
        control.faults.push_back({.ordinal = 67, .adapter = adapter.name, .nth = 2, .status = YXSIM_E_INJECTED,
                                  .cut_after = cut, .exit_after_cut = false});
        sim::write_control(root.path, control);
        ASSERT_EQ(lib.init(), 0u);  // reads the rules afresh
        EXPECT_EQ(program(k4::HeaderDef(k4::type::NVM_CFG1), cfg), YXSIM_E_INJECTED);
        Bytes nv = nvram();
        k4::Report r = k4::verify(nv);
        if (torn_copy) {
            ASSERT_EQ(r.errors.size(), 1u) << r.text();
            EXPECT_EQ(r.errors[0].rfind("directory copy 1 (seq ", 0), 0u) << r.text();
        } else {
            EXPECT_TRUE(r.ok()) << r.text();
        }
        EXPECT_EQ(k4::directory(nv)->seq, 2u);
        EXPECT_EQ(k4::find_image(nv, k4::type::NVM_CFG1)->version, "8.10.5");
        sim::write_control(root.path, {});
        ASSERT_EQ(lib.init(), 0u);
    }
}

// A power cut while the header goes over: the write fails, the firmware forgets the header and
// the write mode, and the data that follow are a raw write at offset 0 (the filler area).
TEST_F(E4Fixture, CutInTheHeaderWriteFailsAndEndsTheMode)
{
    sim::Control control;
    control.faults.push_back({.ordinal = 67, .adapter = adapter.name, .nth = 1, .status = YXSIM_E_INJECTED,
                              .cut_after = 10u, .exit_after_cut = false});
    sim::write_control(root.path, control);
    ASSERT_EQ(lib.init(), 0u);
    const Bytes data = cfg_with_mbi(8, 12, 3);
    EXPECT_EQ(program(k4::HeaderDef(k4::type::NVM_CFG1), data), YXSIM_E_INJECTED);
    EXPECT_EQ(write(0, data), YXSIM_OK);
    const Bytes nv = nvram();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), nv.begin()));  // raw, in the filler area
    EXPECT_TRUE(k4::verify(nv).ok()) << k4::verify(nv).text();
    EXPECT_EQ(k4::directory(nv)->seq, 2u);
    EXPECT_EQ(k4::find_image(nv, k4::type::NVM_CFG1)->version, "8.10.5");
}

TEST_F(E4Fixture, NoRoomRefusesBeforeAnyWrite)
{
    k4::NvramDef s = k4::stock_nvram({});
    uint32_t end = 0;
    for (const k4::Entry& e : k4::build(s).entries) end = std::max(end, e.offset + e.length);
    // Fills the NVRAM but for 0x400 bytes, too few for the configuration image.
    s.images.push_back({k4::type::BDN, Bytes(0x40000 - end - 4 - 0x400, 0)});
    Bytes full = k4::build(s).nvram;
    sim::set_nvram(root.path, adapter.name, full);
    EXPECT_EQ(program(k4::HeaderDef(k4::type::NVM_CFG1), cfg_with_mbi(8, 12, 3)), YXSIM_E_OUT_OF_RANGE);
    EXPECT_EQ(nvram(), full);
}

TEST_F(E4Fixture, WriteModeIsRefusedWhileAnotherProcessHoldsTheClaim)
{
    ASSERT_EQ(lib.fn<48>()(adapter.api_handle), 0u);
    Probe other;
    ASSERT_EQ(other.status("init"), 0u);
    ASSERT_EQ(other.status("claim " + std::to_string(adapter.api_handle)), 0u);
    EXPECT_EQ(mode(yxmapi::kWriteModeImage), YXSIM_E_CLAIMED_ELSEWHERE);
    other.wait();
    EXPECT_EQ(mode(yxmapi::kWriteModeImage), 0u);
}
