// The results a flash from a report writes for items that cannot be carried out as asked: a
// damaged package, a file of another kind than the item's type, a missing or unnamed file, an
// engine that finds nothing to do. Each runs on the test kit's demo machine, with every other
// item of the report skipped, and checks the item's status, the export's code and that no byte
// reached an adapter.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sim/adapter_builder.h>
#include <testkit/bytes.h>
#include <testkit/demo.h>
#include <testkit/images.h>
#include <testkit/package.h>

#include "fwupg/frame_work.h"
#include "fwupg/oem_interface.h"
#include "update_test_support.h"
#include "yxmapi/yxmapi.h"

namespace {

using disctest::World;
using testkit::Bytes;

constexpr const char* kE3Mac = "001018E30100";  // the demo's E3 board, function 0 (PHY 8727)
constexpr const char* kE4Mac = "001018E40100";  // the demo's E4 board, function 0

bool Named(const xmlNode* n, const char* name)
{
    return n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

std::string Value(xmlNode* parent, const char* name)
{
    for (xmlNode* c = parent->children; c; c = c->next) {
        if (!Named(c, name)) continue;
        xmlChar* v = xmlGetProp(c, BAD_CAST "value");
        std::string text = v ? reinterpret_cast<const char*>(v) : "";
        xmlFree(v);
        return text;
    }
    return {};
}

void SetValue(xmlNode* parent, const char* name, const std::string& value)
{
    for (xmlNode* c = parent->children; c; c = c->next)
        if (Named(c, name)) xmlSetProp(c, BAD_CAST "value", BAD_CAST value.c_str());
}

// Rewrites the report so that only the first item of `type` of the device with `mac` is carried
// out, with `file` as its image file; every other item is skipped. False when there is no such item.
bool OnlyItem(const std::string& report, const std::string& mac, const std::string& type, const std::string& file)
{
    xmlDoc* doc = xmlReadFile(report.c_str(), nullptr, XML_PARSE_NOBLANKS);
    if (!doc) return false;
    bool found = false;
    for (xmlNode* devices = xmlDocGetRootElement(doc)->children; devices; devices = devices->next) {
        if (!Named(devices, "devices")) continue;
        for (xmlNode* d = devices->children; d; d = d->next) {
            if (!Named(d, "device")) continue;
            for (xmlNode* item = d->children; item; item = item->next) {
                if (!Named(item, "fw_item")) continue;
                const bool chosen = !found && Value(d, "macaddress") == mac && Value(item, "type") == type;
                SetValue(item, "action", chosen ? "upgrade" : "skip");
                if (chosen) SetValue(item, "firmware_file", file);
                found = found || chosen;
            }
        }
    }
    xmlSaveFormatFile(report.c_str(), doc, 1);
    xmlFreeDoc(doc);
    return found;
}

// The status the flash wrote into the first item of `type` of the device with `mac`.
std::string StatusOf(const std::string& report, const std::string& mac, const std::string& type)
{
    const std::string device = updtest::DeviceBlock(updtest::Read(report), mac);
    const size_t at = device.find("<type value=\"" + type + "\"");
    if (at == std::string::npos) return "(no item)";
    const size_t end = device.find("</fw_item>", at);
    const auto statuses = updtest::Values(device.substr(at, end - at), "action_status");
    return statuses.empty() ? "(none)" : statuses.front();
}

// NVRAM writes, write-mode switches and PHY writes in the simulator's journal from `first` on.
size_t WritesFrom(const World& w, size_t first)
{
    size_t writes = 0;
    const std::vector<YxSimCall> journal = sim::read_journal_file(w.root());
    for (size_t i = first; i < journal.size(); ++i) {
        const uint32_t o = journal[i].ordinal;
        writes += o == yxmapi::ord::kWriteNvram || o == yxmapi::ord::kWritePhyFirmware ||
                  o == yxmapi::ord::kSetNvramWriteMode;
    }
    return writes;
}

// The demo machine with a discovery report of it.
struct DemoRun {
    World w;
    std::string report = w.root() + "/report.xml";
    DemoRun()
    {
        testkit::make_demo(w.root(), w.fw());
        EXPECT_EQ(updtest::Discover(w, report), 0u);
    }
    std::string File(const std::string& name) const { return w.fw() + "/" + name; }
};

// The directory entry of a package that carries `tag`: its index, or -1.
int EntryIndex(const Bytes& pkg, uint32_t tag)
{
    const unsigned count = testkit::get_le16(&pkg[10]);
    for (unsigned i = 0; i < count; ++i)
        if (testkit::get_le32(&pkg[32 + 32 * i]) == tag) return int(i);
    return -1;
}

// A package whose structure or boot-agent ROM is damaged is invalid: discovery no longer offers it,
// and the update of an item that names it ends in 103 (the invalid-image result, never 2 "already
// installed") without a byte written to any adapter.
TEST(DamagedPackage, RefusedInDiscoveryAndUpdateWithoutAWrite)
{
    const uint32_t mba = testkit::package_tag("MBA");
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    };
    const std::vector<Case> cases = {
        {"cut to half its size", [](Bytes& p) { p.resize(p.size() / 2); }},
        {"an entry's offset past the end",
         [](Bytes& p) { testkit::set_le32(p, 32 + 4, uint32_t(p.size())); }},
        {"an entry's length past the end",
         [](Bytes& p) { testkit::set_le32(p, 32 + 8, uint32_t(p.size())); }},
        {"an entry's offset and length wrap around",
         [](Bytes& p) {
             const uint32_t offset = testkit::get_le32(&p[32 + 4]);
             testkit::set_le32(p, 32 + 8, uint32_t(0x100000000ull - offset + 4));
         }},
        {"a byte of the boot agent's x86 image flipped",
         [mba](Bytes& p) {
             const int i = EntryIndex(p, mba);
             ASSERT_GE(i, 0);
             p[testkit::get_le32(&p[32 + 32 * i + 4]) + 0x101] ^= 0x10;
         }},
    };
    struct Board {
        const char* mac;
        const char* package;
    };
    for (const Board board : {Board{kE4Mac, "mbi_e4.bin"}, Board{kE3Mac, "mbi_e2e3.bin"}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(board.package) + ": " + c.what);
            DemoRun run;
            ASSERT_TRUE(OnlyItem(run.report, board.mac, "MBI", board.package));
            Bytes pkg = testkit::read_file(run.File(board.package));
            const Bytes sound = pkg;
            c.damage(pkg);
            testkit::write_file(run.File(board.package), pkg);

            const std::string second = run.w.root() + "/second.xml";
            updtest::Discover(run.w, second);
            EXPECT_EQ(updtest::Count(updtest::Read(second), "\"" + std::string(board.package) + "\""), 0u)
                << updtest::Read(second);

            // A sound copy beside it keeps the board usable, so the item that names the damaged
            // file is reached.
            testkit::write_file(run.File(std::string("sound_") + board.package), sound);
            const auto before = updtest::Nvrams(run.w);
            const size_t journal = sim::read_journal_file(run.w.root()).size();
            EXPECT_EQ(updtest::Flash(run.w, run.report), uint32_t(RET_FLASH_WITH_FILE_FAILED));
            EXPECT_EQ(StatusOf(run.report, board.mac, "MBI"), "103");
            EXPECT_EQ(WritesFrom(run.w, journal), 0u);
            EXPECT_EQ(updtest::Nvrams(run.w), before);
        }
    }
}

// An item is carried out only as its own type: a file of another kind fails with 103 and writes
// nothing, where the adapter would otherwise take it as the type it fits.
TEST(ItemType, FileOfAnotherKindIsRefused)
{
    struct Case {
        const char* type;
        const char* file;
        const char* status;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"PHY", "mbi_e2e3.bin", "103", RET_FLASH_WITH_FILE_FAILED},
        {"MBI", "phy_e3.bin", "103", RET_FLASH_WITH_FILE_FAILED},
        {"MBI", "mba_e3.bin", "103", RET_FLASH_WITH_FILE_FAILED},
        {"PHY", "phy_e3.bin", "1", RET_REBOOT_REQUIRED},  // its own kind goes in
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " item with " + c.file);
        DemoRun run;
        ASSERT_TRUE(OnlyItem(run.report, kE3Mac, c.type, c.file)) << updtest::Read(run.report);
        const auto before = updtest::Nvrams(run.w);
        const size_t journal = sim::read_journal_file(run.w.root()).size();
        EXPECT_EQ(updtest::Flash(run.w, run.report), c.code);
        EXPECT_EQ(StatusOf(run.report, kE3Mac, c.type), c.status);
        if (c.code == RET_FLASH_WITH_FILE_FAILED) {
            EXPECT_EQ(WritesFrom(run.w, journal), 0u);
            EXPECT_EQ(updtest::Nvrams(run.w), before);
        }
    }
}

// The export's own item loop: a file missing from the folder fails the run (8, 106); an item that
// names no file gets 8 without failing it; an engine result of 2 fails it (106).
TEST(ReportItems, MissingAndUnnamedFilesAndAResultOfTwo)
{
    // An E4 package whose row takes only an entry of an unknown kind: the engine has nothing to
    // program and answers "already installed" (2).
    testkit::PackageDef nothing;
    nothing.major = 9;
    nothing.entries = {{testkit::package_tag("MFW"), Bytes(16, 1), {}, {}},
                       {testkit::tag_of("zzzz"), Bytes(16, 2), {}, {}}};
    nothing.rows = {{0x1077, 0x1634, 0x1077, 0xE4F1, 0x2}};
    struct Case {
        const char* what;
        const char* file;
        const char* status;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"file not in the folder", "absent.bin", "8", RET_FLASH_WITH_FILE_FAILED},
        {"no file named", "", "8", RET_FWUPG_SKIPPED_MISC},
        {"engine answers 2", "nothing_e4.bin", "2", RET_FLASH_WITH_FILE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoRun run;
        testkit::write_file(run.File("nothing_e4.bin"), testkit::package(nothing));
        ASSERT_TRUE(OnlyItem(run.report, kE4Mac, "MBI", c.file));
        const size_t journal = sim::read_journal_file(run.w.root()).size();
        EXPECT_EQ(updtest::Flash(run.w, run.report), c.code);
        EXPECT_EQ(StatusOf(run.report, kE4Mac, "MBI"), c.status);
        EXPECT_EQ(WritesFrom(run.w, journal), 0u);
    }
}

// The firmware folder gone between discovery and an item (a removed medium): the item gets the
// folder's access failure (9) and fails the run (106); it is never passed over as a success. Run
// through the item loop itself, after an in-process discovery of the folder as it was.
TEST(ReportItems, AFolderThatCannotBeListedAtTheItemFailsIt)
{
    DemoRun run;
    ASSERT_TRUE(OnlyItem(run.report, kE4Mac, "MBI", "mbi_e4.bin"));
    ASSERT_TRUE(run.w.Discover());
    xmlDoc* doc = xmlReadFile(run.report.c_str(), nullptr, XML_PARSE_NOBLANKS);
    ASSERT_NE(doc, nullptr);
    xmlNode* device = nullptr;
    for (xmlNode* devices = xmlDocGetRootElement(doc)->children; devices; devices = devices->next)
        for (xmlNode* d = Named(devices, "devices") ? devices->children : nullptr; d; d = d->next)
            if (Named(d, "device") && Value(d, "macaddress") == kE4Mac) device = d;
    ASSERT_NE(device, nullptr);
    const size_t journal = sim::read_journal_file(run.w.root()).size();

    ReportFlashState state;
    FlashReportDevice(device, (run.w.root() + "/gone").c_str(), &state);
    std::string status;
    for (xmlNode* item = device->children; item; item = item->next)
        if (Named(item, "fw_item") && Value(item, "type") == "MBI") status = Value(item, "action_status");
    xmlFreeDoc(doc);
    EXPECT_EQ(status, "9");
    EXPECT_TRUE(state.itemFailed);
    EXPECT_EQ(state.resultByte, RET_FLASH_WITH_FILE_FAILED);
    EXPECT_EQ(WritesFrom(run.w, journal), 0u);
}

}  // namespace
