// A board of the report that is on the machine but whose firmware file is missing or bad: the
// update's discovery leaves it out, and every item the report asks of it fails with its own status
// (8 for a file not in the folder, 103 for a file that fails the checks) instead of being passed
// over; the run ends with 106 and nothing reaches the board. A board that is not on the machine at
// all keeps its items untouched. Each case runs the real item loop on the test kit's demo machine
// with the report discovery wrote before the damage.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <testkit/bytes.h>
#include <testkit/demo.h>
#include <testkit/package.h>

#include "fwupg/oem_interface.h"
#include "update_test_support.h"

namespace {

using disctest::World;
using testkit::Bytes;

constexpr const char* kE1Mac = "001018E10100";
constexpr const char* kE2Mac = "001018E20100";
constexpr const char* kE3Mac = "001018E30100";  // two items: MBI (mbi_e2e3.bin) and PHY (phy_e3.bin)
constexpr const char* kE4Mac = "001018E40100";

// Per item type of the device with `mac`: the status the flash wrote ("" when none).
std::map<std::string, std::string> Statuses(const std::string& report, const std::string& mac)
{
    std::map<std::string, std::string> out;
    const std::string device = updtest::DeviceBlock(updtest::Read(report), mac);
    for (size_t at = device.find("<fw_item>"); at != std::string::npos; at = device.find("<fw_item>", at + 1)) {
        const std::string item = device.substr(at, device.find("</fw_item>", at) - at);
        const auto type = updtest::Values(item, "type");
        const auto status = updtest::Values(item, "action_status");
        if (!type.empty()) out[type.front()] = status.empty() ? "" : status.front();
    }
    return out;
}

// The directory entry of a package that carries `tag`: its index, or -1.
int EntryIndex(const Bytes& pkg, uint32_t tag)
{
    const unsigned count = testkit::get_le16(&pkg[10]);
    for (unsigned i = 0; i < count; ++i)
        if (testkit::get_le32(&pkg[32 + 32 * i]) == tag) return int(i);
    return -1;
}

struct Damage {
    const char* what;
    const char* file;  // the folder file damaged
    bool removed;      // the file is removed instead
    std::function<void(const std::string& fw, Bytes& bytes)> apply;
    // Per board MAC, the statuses its items must end with (the items named here; other items of
    // a left-out board must fail too).
    std::map<std::string, std::map<std::string, std::string>> expected;
};

TEST(LeftOutBoards, EveryItemOfABoardWithAMissingOrBadFileFailsAndNothingIsWritten)
{
    const uint32_t mba = testkit::package_tag("MBA");
    const std::vector<Damage> cases = {
        {"E1 package removed", "mbi_e1.bin", true, [](const std::string&, Bytes&) {},
         {{kE1Mac, {{"MBI", "8"}}}}},
        {"E1 package emptied", "mbi_e1.bin", false, [](const std::string&, Bytes& b) { b.assign(0, 0); },
         {{kE1Mac, {{"MBI", "103"}}}}},
        {"E1 package cut to 3000 bytes", "mbi_e1.bin", false, [](const std::string&, Bytes& b) { b.resize(3000); },
         {{kE1Mac, {{"MBI", "103"}}}}},
        {"E1 package replaced by random bytes", "mbi_e1.bin", false,
         [](const std::string&, Bytes& b) {
             uint32_t x = 0x2545F491;
             for (uint8_t& c : b) c = uint8_t((x = x * 1103515245 + 12345) >> 16);
         },
         {{kE1Mac, {{"MBI", "103"}}}}},
        {"E1 package replaced by the E4 family's", "mbi_e1.bin", false,
         [](const std::string& fw, Bytes& b) { b = testkit::read_file(fw + "/mbi_e4.bin"); },
         {{kE1Mac, {{"MBI", "103"}}}}},
        {"a byte of the E4 package's boot-agent ROM flipped", "mbi_e4.bin", false,
         [mba](const std::string&, Bytes& p) {
             const int i = EntryIndex(p, mba);
             ASSERT_GE(i, 0);
             p[testkit::get_le32(&p[32 + 32 * i + 4]) + 0x101] ^= 0x10;
         },
         {{kE4Mac, {{"MBI", "103"}}}}},
        {"the E4 package padded with zeros past the largest NVRAM", "mbi_e4.bin", false,
         [](const std::string&, Bytes& b) { b.resize((16u << 20) + 4096, 0); }, {{kE4Mac, {{"MBI", "103"}}}}},
        // The E3 board keeps its sound PHY image, so it stays usable: its PHY item goes in and
        // only its MBI item fails. The E2 board, whose only file this package is, is left out.
        {"the E2/E3 package cut, the E3 PHY image sound", "mbi_e2e3.bin", false,
         [](const std::string&, Bytes& b) { b.resize(3000); },
         {{kE3Mac, {{"MBI", "103"}, {"PHY", "1"}}}, {kE2Mac, {{"MBI", "103"}}}}},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        testkit::make_demo(w.root(), w.fw());
        const std::string report = w.root() + "/report.xml";
        ASSERT_EQ(updtest::Discover(w, report), 0u);
        for (const auto& [mac, items] : c.expected) ASSERT_FALSE(updtest::DeviceBlock(updtest::Read(report), mac).empty());

        const std::string path = w.fw() + "/" + c.file;
        Bytes bytes = testkit::read_file(path);
        c.apply(w.fw(), bytes);
        if (c.removed)
            std::remove(path.c_str());
        else
            testkit::write_file(path, bytes);

        const auto before = updtest::Nvrams(w);
        EXPECT_EQ(updtest::Flash(w, report), uint32_t(RET_FLASH_WITH_FILE_FAILED));
        const auto after = updtest::Nvrams(w);
        for (const auto& [mac, wanted] : c.expected) {
            const auto got = Statuses(report, mac);
            for (const auto& [type, status] : wanted) EXPECT_EQ(got.at(type), status) << mac << " " << type;
            // A board whose every item failed is left out: no item of it is passed over.
            const bool leftOut = wanted.size() == got.size() && !wanted.count("PHY");
            for (const auto& [type, status] : got) {
                if (leftOut) {
                    EXPECT_TRUE(status == "8" || status == "103" || status == "106") << mac << " " << type << ": "
                                                                                     << status;
                }
            }
        }
        // The boards with a bad file keep their NVRAM; the others were updated as usual.
        for (const auto& [name, nvram] : before) {
            const bool damaged = (name.rfind("e1-", 0) == 0 && std::string(c.file) == "mbi_e1.bin") ||
                                 (name.rfind("e4-", 0) == 0 && std::string(c.file) == "mbi_e4.bin") ||
                                 (name.rfind("e2-", 0) == 0 && std::string(c.file) == "mbi_e2e3.bin") ||
                                 (name.rfind("e3-57810.", 0) == 0 && std::string(c.file) == "mbi_e2e3.bin");
            if (damaged) {
                EXPECT_TRUE(after.at(name) == nvram) << name << " was written";
            }
        }
    }
}

// A report made on another machine: a device that is nowhere on this one is passed over, its items
// untouched, and does not fail the run.
TEST(LeftOutBoards, ADeviceNotOnTheMachineKeepsItsItemsUntouched)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(updtest::Discover(w, report), 0u);
    std::string text = updtest::Read(report);
    // Every other board skipped; the E1 board's entry moved to a board this machine does not have.
    for (const char* mac : {kE2Mac, kE3Mac, kE4Mac, "001018E50100"}) text = updtest::WithAction(text, mac, "skip");
    const std::string e1 = updtest::DeviceBlock(text, kE1Mac);
    ASSERT_FALSE(e1.empty());
    std::string elsewhere = e1;
    for (size_t at; (at = elsewhere.find("164E")) != std::string::npos;) elsewhere.replace(at, 4, "16FF");
    text.replace(text.find(e1), e1.size(), elsewhere);
    testkit::write_file(report, Bytes(text.begin(), text.end()));

    const auto before = updtest::Nvrams(w);
    EXPECT_EQ(updtest::Flash(w, report), uint32_t(RET_FWUPG_SKIPPED_MISC));
    for (const auto& [type, status] : Statuses(report, kE1Mac)) EXPECT_EQ(status, "") << type;
    EXPECT_TRUE(updtest::Nvrams(w) == before);
}

}  // namespace
