// Programming E4 images through NVRAM offset 0: what is written, in which order, and what is
// refused before anything is written. The adapter here only records the writes; the firmware's
// side (placing the image) belongs to the simulated machine and its end-to-end tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e4_bytes.h"
#include "fwupg/nvm/e4/image_header.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/program.h"
#include "fwupg/nvm/e4/versions.h"

namespace {

using namespace fwupg::nvm::test;
using namespace fwupg::nvm::e4;
using namespace fwupg::nvm::test::e4bytes;

uint32_t word(const Bytes& b, uint32_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

Bytes text_image(const std::string& text, uint32_t size = 16)
{
    Bytes b = swizzled(text);
    b.resize(size, 0);
    return b;
}

// Every NVRAM write of a command, with its bytes.
struct Write {
    uint32_t offset;
    Bytes bytes;
};
std::vector<Write> g_writes;
HostNvmWriteBlockFn g_next_write = nullptr;

uint32_t record_write(uint32_t dev, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
{
    g_writes.push_back({offset, Bytes(buf, buf + length)});
    return g_next_write(dev, offset, length, buf, swap);
}

// An E4 adapter whose NVRAM holds the images given (from 0x4000 on, directory copy 0) and whose
// writes are recorded.
struct Adapter : E4Board {
    HostOps ops{};
    std::unique_ptr<fwupg::HostOpsScope> scope;

    Adapter& with(uint32_t type, const Bytes& b)
    {
        place(type, b);
        return *this;
    }
    Adapter& start(uint16_t did = 0x1656)
    {
        publish();
        ops = a.ops();
        ops.chipId = uint32_t(did) << 16;
        g_next_write = ops.nvmWriteBlock;
        ops.nvmWriteBlock = record_write;
        scope = std::make_unique<fwupg::HostOpsScope>(&ops);
        g_writes.clear();
        take_debug_text();
        return *this;
    }
};

uint32_t row_of(const char* option)
{
    uint32_t row = 0;
    EXPECT_EQ(e4_image_row_by_option(option, &row), 0) << option;
    return row;
}

TEST(E4Program, ARawImageGetsAVersion3HeaderAndIsWrittenHeaderFirst)
{
    for (uint16_t did : {0x1656, 0x8070}) {
        SCOPED_TRACE(did);
        Adapter ad;
        ad.start(did);
        Bytes file = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        e4_image_header out{};
        e4_image_header* h = e4_image_header_prepare(file.data(), 10, row_of("-optm"), true, &out);
        ASSERT_EQ(h, &out);
        EXPECT_EQ(e4_nvm_program_image(h, file.data(), 10, true, true), 0);
        ASSERT_EQ(g_writes.size(), 2u);
        const uint32_t group = did == 0x8070 ? 0x200000 : 0x400000;
        EXPECT_EQ(g_writes[0].offset, 0u);
        EXPECT_EQ(g_writes[0].bytes, le_words({0x669955AA, 3, 6, group, 0, 0, 12, 0}));
        EXPECT_EQ(g_writes[1].offset, 0u);
        EXPECT_EQ(g_writes[1].bytes, concat({file, Bytes{0, 0}}));
        EXPECT_EQ(take_debug_text(), "First time programming OPT_MODULES image version .\n");
    }
}

TEST(E4Program, OldHeadersBecomeVersion3InPlace)
{
    for (uint32_t version : {1u, 2u}) {
        Bytes file = concat({le_words({0x669955AA, version, 10u << 21, 0x400000, 0, 0, 4, 0}), Bytes{1, 2, 3, 4}});
        e4_image_header* h = e4_image_header_prepare(file.data(), uint32_t(file.size()), 0, true, nullptr);
        ASSERT_EQ(reinterpret_cast<uint8_t*>(h), file.data());
        EXPECT_EQ(h->version, 3u);
        EXPECT_EQ(h->type, 10u);
    }
    Bytes raw = {1, 2, 3};
    EXPECT_EQ(e4_image_header_prepare(raw.data(), 3, 0, true, nullptr), nullptr);
    EXPECT_EQ(e4_image_header_prepare(raw.data(), 0, 0, true, nullptr), nullptr);
    Bytes short_headed = le_words({0x669955AA, 3, 1});
    e4_image_header out{};
    EXPECT_EQ(e4_image_header_prepare(short_headed.data(), 12, 0, true, &out), nullptr);
}

TEST(E4Program, AHeaderLongerThanItsDataIsRefusedBeforeAnyWrite)
{
    Adapter ad;
    ad.start();
    Bytes file = concat({le_words({0x669955AA, 3, 6, 0x400000, 0, 0, 64, 0}), Bytes(16, 7)});
    auto* h = e4_image_header_prepare(file.data(), uint32_t(file.size()), 0, true, nullptr);
    EXPECT_EQ(e4_nvm_program_image(h, file.data() + 32, 16, true, false), -1);
    EXPECT_TRUE(g_writes.empty());
    EXPECT_EQ(take_debug_text(), "Image header check failed !!\n");
}

TEST(E4Program, SingleImageVersionChecks)
{
    struct Case {
        const char* what;
        uint32_t type;
        Bytes nvram, image;
        bool check;
        int rc;
        const char* log;
    } cases[] = {
        {"equal TIM refused", 1, text_image("TIM 8.18.1.0"), text_image("TIM 8.18.1.0"), true, -1,
         "Upgrading TIM1 image aborted! Given version TIM 8.18.1.0 is not newer than NVM version TIM 8.18.1.0!\n"},
        {"equal TIM forced", 1, text_image("TIM 8.18.1.0"), text_image("TIM 8.18.1.0"), false, 0,
         "Upgrading TIM1 image from version TIM 8.18.1.0 to version TIM 8.18.1.0.\n"},
        {"newer TIM", 2, text_image("TIM 8.18.1.0"), text_image("TIM 8.18.2.0"), true, 0,
         "Upgrading TIM2 image from version TIM 8.18.1.0 to version TIM 8.18.2.0.\n"},
        {"HW_SET never newer", 16, text_image("HW_SET 1"), text_image("HW_SET 2"), true, -1,
         "Upgrading HW_SET image aborted! Given version HW_SET 2 is not newer than NVM version HW_SET 1!\n"},
        {"older LIM avoided", 17, concat({Bytes(16), text_image("LIM 2.0.0.0")}),
         concat({Bytes(16), text_image("LIM 1.0.0.0")}), true, -1, "Avoiding LIM upgrade\n"},
        {"NVM_CFG1 never compared, said nothing", 10, Bytes(16, 1), Bytes(16, 2), true, 0, ""},
        {"META named only", 28, Bytes(16, 1), Bytes(16, 2), true, 0, "Upgrading META image.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Adapter ad;
        // The NVRAM copy compared is the bank partner's: TIM2 against TIM1 and the other way.
        ad.with(e4_image_type_for_bank(255, c.type), c.nvram).start();
        e4_image_header h{0x669955AA, 3, c.type, 0x400000, 0, 0, uint32_t(c.image.size()), 0};
        Bytes data = c.image;
        EXPECT_EQ(e4_nvm_program_image(&h, data.data(), uint32_t(data.size()), true, c.check), c.rc);
        EXPECT_EQ(take_debug_text(), c.log);
        EXPECT_EQ(g_writes.size(), c.rc == 0 ? 2u : 0u);
    }
}

Bytes bundle_of(std::initializer_list<std::pair<uint32_t, Bytes>> items)
{
    Bytes b = le_words({0xBDBDBDBD, 0, 0, 0});
    for (const auto& [type, data] : items)
        b = concat({b, le_words({0x669955AA, 3, type, 0x400000, 0, 0, uint32_t(data.size()), 0}), data});
    return b;
}

TEST(E4Program, BundleItemsGoToTheBankThatIsNotRunning)
{
    struct Case {
        const char* what;
        const char* active;  // ::toe(ACTIVE_BUNDLE), or null
        bool check;
        int rc;
        uint32_t tim_type, mim_type;
    } cases[] = {
        {"bank 0 active: TIM1 becomes TIM2, compared with TIM1 (equal, refused)", "0", true, -1, 2, 4},
        {"bank 0 active without the check", "0", false, 0, 2, 4},
        {"bank 1 active: items stay primary", "1", false, 0, 1, 3},
        {"running bank unknown: bank 1", nullptr, false, 0, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Adapter ad;
        ad.with(1, text_image("TIM 8.18.1.0")).with(3, text_image("MIM 8.18.1.0"));
        if (c.active) {
            ad.a.set_toe("ACTIVE_BUNDLE", c.active);
            ad.a.set_toe("RUNNING_MFW_VER", "135397632");
        }
        ad.start();
        Bytes b = bundle_of({{1, text_image("TIM 8.18.1.0")}, {3, text_image("MIM 8.18.2.0")}});
        EXPECT_EQ(e4_nvm_program_image(reinterpret_cast<e4_image_header*>(b.data()), b.data(), uint32_t(b.size()),
                                       false, c.check),
                  c.rc);
        if (c.rc != 0) {
            EXPECT_TRUE(g_writes.empty());
            EXPECT_EQ(take_debug_text(), "Upgrading TIM2 image aborted! Given version TIM 8.18.1.0 is not newer than "
                                         "NVM version TIM 8.18.1.0!\n");
            continue;
        }
        ASSERT_EQ(g_writes.size(), 1u);
        EXPECT_EQ(g_writes[0].bytes.size(), b.size());
        EXPECT_EQ(word(g_writes[0].bytes, 16 + 8), c.tim_type);
        EXPECT_EQ(word(g_writes[0].bytes, 16 + 48 + 8), c.mim_type);
        EXPECT_EQ(version_state().last_mim[2], 2u);  // the MIM text checked last
    }
}

TEST(E4Program, BadBundlesAreRefusedBeforeAnyWrite)
{
    struct Case {
        const char* what;
        Bytes bundle;
        const char* log;
    };
    Bytes cut = bundle_of({{1, text_image("TIM 8.18.1.0")}});
    cut.erase(cut.end() - 4, cut.end());
    Bytes long_item = bundle_of({{6, Bytes(16, 1)}});
    long_item[16 + 24] = 0xF0;  // the item claims 240 bytes
    Case cases[] = {
        {"single-image magic", concat({le_words({0x669955AA, 3, 1, 0}), Bytes(16)}),
         "Image header check failed p_image_header->magic = 669955aa, BUNDLE_MAGIC = bdbdbdbd!!\n"},
        {"item cut short", cut, "Image header check failed !!\n"},
        {"item longer than the bundle", long_item, "Image header check failed !!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Adapter ad;
        ad.with(1, text_image("TIM 8.18.0.0")).start();
        Bytes b = c.bundle;
        EXPECT_EQ(e4_nvm_program_image(reinterpret_cast<e4_image_header*>(b.data()), b.data(), uint32_t(b.size()),
                                       false, false),
                  -1);
        EXPECT_TRUE(g_writes.empty());
        EXPECT_EQ(take_debug_text(), c.log);
    }
}

TEST(E4Program, MbaSizeCodeAndUefiVersionGoIntoNvmCfg1)
{
    struct Case {
        uint32_t length, code;
    } cases[] = {{3000, 2}, {2048, 1}, {2049, 2}, {1024, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes cfg(4240, 0);
        put_le32(cfg, 88, 0xABCDEF0F);
        put_le32(cfg, 148, 0x12345678);
        Adapter ad;
        ad.with(10, cfg).start();
        Bytes mba(c.length, 0x33);
        e4_image_header h{0x669955AA, 3, 5, 0x400000, 0, 0, round_up4(c.length), 0};
        EXPECT_EQ(e4_nvm_program_image(&h, mba.data(), c.length, true, true), 0);
        ASSERT_EQ(g_writes.size(), 4u);
        EXPECT_EQ(word(g_writes[2].bytes, 8), 10u);  // NVM_CFG1's header
        const Bytes& written = g_writes[3].bytes;
        ASSERT_EQ(written.size(), 4240u);
        EXPECT_EQ(word(written, 88), 0xABCDEF00u | c.code);
        EXPECT_EQ(word(written, 148), 0u);  // this MBA carries no EFI driver
    }
}

// The MBA image went in but NVM_CFG1 could not take its size code: the upgrade fails (the boot
// agent would start with a stale size). Without an NVM_CFG1 there is nothing to update.
TEST(E4Program, MbaFailsWhenNvmCfg1CannotTakeTheSizeCode)
{
    const uint32_t length = 3000;
    Bytes mba(length, 0x33);
    e4_image_header h{0x669955AA, 3, 5, 0x400000, 0, 0, round_up4(length), 0};
    {
        Adapter ad;
        ad.with(10, Bytes(4240, 0)).start();
        ad.a.cut_power_after(32 + round_up4(length));  // the MBA's header and data get through
        EXPECT_EQ(e4_nvm_program_image(&h, mba.data(), length, true, true), -1);
        EXPECT_EQ(g_writes.size(), 3u);
    }
    Adapter none;
    none.with(1, text_image("TIM 8.18.1.0")).start();
    EXPECT_EQ(e4_nvm_program_image(&h, mba.data(), length, true, true), 0);
    EXPECT_EQ(g_writes.size(), 2u);
}

TEST(E4Program, MbiVersionAndPortCount)
{
    Bytes cfg(4240, 0);
    put_le32(cfg, 124, 0xAB010203);
    put_le32(cfg, 128, 0x0C1FE707);
    put_le32(cfg, 44, 4);
    Adapter ad;
    ad.with(10, cfg).start();
    uint32_t version = 0, date = 0, ports = 0;
    ASSERT_EQ(e4_nvm_cfg_mbi_version(&version, &date, 0, 10), 0);
    EXPECT_EQ(version, 0x010203u);
    EXPECT_EQ(date, 0x0C1FE707u);
    EXPECT_EQ(e4_nvm_cfg_mbi_version(&version, &date, 0, 26), -1);
    // The version and date the image holds already: nothing is programmed.
    ASSERT_EQ(e4_nvm_cfg_mbi_version(&version, &date, 1, 10), 0);
    EXPECT_TRUE(g_writes.empty());
    version = 0x020304, date = 0x01020304;
    ASSERT_EQ(e4_nvm_cfg_mbi_version(&version, &date, 1, 10), 0);
    ASSERT_EQ(g_writes.size(), 2u);
    EXPECT_EQ(word(g_writes[1].bytes, 124), 0xAB020304u);
    EXPECT_EQ(word(g_writes[1].bytes, 128), 0x01020304u);
    EXPECT_EQ(g_writes[1].bytes.size(), 4240u);

    struct PortCase {
        uint32_t mode, ports;
    } port_cases[] = {{2, 1}, {11, 1}, {13, 1}, {3, 4}, {4, 4}, {5, 4}, {14, 4}, {0, 2}, {1, 2}, {12, 2}};
    for (const auto& p : port_cases) {
        Bytes c(4240, 0);
        put_le32(c, 44, p.mode);
        Adapter one;
        one.with(10, c).start();
        EXPECT_EQ(e4_nvm_cfg_port_count(&ports), 0);
        EXPECT_EQ(ports, p.ports) << p.mode;
    }
    Adapter none;
    none.start();
    ports = 77;
    EXPECT_EQ(e4_nvm_cfg_port_count(&ports), 0);
    EXPECT_EQ(ports, 77u);
    EXPECT_EQ(take_debug_text(), "ERROR: Fail to find nvm cfg\n");
}

}  // namespace
