// The demo set: adapters the simulator serves, NVRAM images that verify, a firmware folder with
// newer images, all from one fwgen command.
#include "platform/testing/temp_root.h"
#include "sim/adapter_builder.h"
#include "testkit/demo.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"
#include "testkit/images.h"
#include "testkit/legacy_reader.h"
#include "testkit/phy_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "platform/testing/bin_dir.h"

using namespace testkit;

namespace {

std::string fwgen() {
  return platform::testing::bin_dir() + "/fwgen";
}

int run(const std::string& cmd) {
  int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

// The usage goes to standard output with exit status 0 when asked for, and to standard error
// with status 2 when the command line is wrong.
TEST(Fwgen, HelpPrintsTheUsageAndSucceeds) {
  const struct {
    const char* args;
    int status;
    bool usage_on_stdout;
  } cases[] = {{"--help", 0, true}, {"-h", 0, true}, {"help", 0, true}, {"", 2, false}, {"no-such-command", 2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    FILE* p = ::popen((fwgen() + " " + c.args + " 2>/dev/null").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int rc = ::pclose(p);
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), c.status);
    EXPECT_EQ(out.rfind("usage: fwgen COMMAND ...\n", 0) == 0, c.usage_on_stdout) << out;
    if (c.usage_on_stdout) {
      EXPECT_NE(out.find("  demo ROOT FWDIR"), std::string::npos);
    }
  }
}

TEST(Demo, OneCommandMakesTheMachineAndTheFirmwareFolder) {
  platform::testing::TempDir t;
  std::string root = t.path() + "/root", fw = t.path() + "/fw";
  ASSERT_EQ(run(fwgen() + " demo " + root + " " + fw + " --legacy"), 0);

  auto names = sim::adapter_names(root);
  EXPECT_EQ(names, (std::vector<std::string>{"e1-57710", "e2-57712", "e3-57810-p0", "e3-57810-p1", "e3-57810c-p0",
                                             "e3-57810c-p1", "e4-57980s-p0", "e4-57980s-p1", "l-5706", "l-5708",
                                             "l-5709-p0", "l-5709-p1", "l-5716-p0", "l-5716-p1"}));
  for (const auto& n : names) {
    Bytes nv = sim::read_nvram(root, n);
    if (n[0] == 'l') {
      // Legacy boards: every CRC holds, and the boot code and boot agent carry the old version.
      EXPECT_EQ(legacy::verify_nvram(nv), "") << n;
      auto bc1 = legacy::find_image(nv, "BC1");
      ASSERT_TRUE(bc1) << n;
      EXPECT_EQ(bc1->version, "bc 7.10.1") << n;
      EXPECT_EQ(legacy::find_image(nv, "MBA")->version, "PCI30 MBA 7.10.1;EFI x64 7.10.1;") << n;
      EXPECT_EQ(legacy::find_image(nv, n.find("5709") != std::string::npos || n.find("5716") != std::string::npos
                                           ? "NCSI_CMN"
                                           : "UMP")
                    .has_value(),
                true)
          << n;
      continue;
    }
    if (n[1] == '4') {
      // The E4 board: a valid directory and images, the old firmware in the bank that runs.
      e4::Report r = e4::verify(nv);
      EXPECT_TRUE(r.ok()) << n << "\n" << r.text();
      auto tim = e4::find_image(nv, e4::type::TIM1);
      ASSERT_TRUE(tim) << n;
      EXPECT_EQ(tim->version, "TIM 8.10.5.0") << n;
      EXPECT_EQ(e4::find_image(nv, e4::type::NVM_CFG1)->version, "8.10.5") << n;
      continue;
    }
    e1e3::Chip chip = n[1] == '1' ? e1e3::Chip::E1 : n[1] == '2' ? e1e3::Chip::E2 : e1e3::Chip::E3;
    e1e3::Report r = e1e3::verify(nv, chip);
    EXPECT_TRUE(r.ok()) << n << "\n" << r.text();
    auto mba = e1e3::find_image(nv, "MBA");
    ASSERT_TRUE(mba) << n;
    // The E3 boards' boot agents differ from their MBI; the converged board runs 7.14 firmware.
    const bool converged = n.rfind("e3-57810c", 0) == 0;
    const char* mba_version = converged                   ? "PCI30 MBA 7.14.2;EFI x64 7.14.2;"
                              : chip == e1e3::Chip::E3 ? "PCI30 MBA 7.10.4;EFI x64 7.10.4;"
                                                       : "PCI30 MBA 7.10.1;EFI x64 7.10.1;";
    EXPECT_EQ(mba->version, mba_version) << n;
    auto boot = e1e3::find_image(nv, n[1] == '1' ? "BC1" : "MFW1");
    ASSERT_TRUE(boot) << n;
    if (converged) {
      EXPECT_EQ(boot->version, "MFW1 7.14.0") << n;
    }
  }
  // The two functions of the dual-port board differ only in their function and port.
  auto described = [&](const std::string& n) {
    Bytes t = read_file(sim::description_path(root, n));
    return sim::parse_adapter(n, std::string(t.begin(), t.end()), nullptr);
  };
  auto p0 = described("e3-57810-p0"), p1 = described("e3-57810-p1");
  ASSERT_TRUE(p0 && p1);
  EXPECT_EQ(p0->function, 0u);
  EXPECT_EQ(p1->function, 1u);
  EXPECT_EQ(p1->port, 1u);
  EXPECT_EQ(p1->port_count, 2u);
  EXPECT_EQ(p0->did, p1->did);
  // Legacy boards only when asked for.
  ASSERT_EQ(run(fwgen() + " demo " + t.path() + "/plain " + t.path() + "/plainfw"), 0);
  EXPECT_EQ(sim::adapter_names(t.path() + "/plain").size(), 8u);
  auto l1 = described("l-5709-p1");
  ASSERT_TRUE(l1);
  EXPECT_EQ(l1->family, uint32_t(yxmapi::kFamilyLegacy));
  EXPECT_EQ(l1->registers.at(0x808), 0x57090000u);  // chip number; bit 0 clear: copper

  // Newer images in the folder.
  for (const char* f : {"bc_e1.bin", "mba_e1.bin", "mba_e3.bin", "mfw_e3.bin", "l2t.bin", "ncsi.bin", "mbi_e1.bin",
                        "mbi_e2e3.bin", "mbi_e3c.bin", "phy_e3.bin", "mfw_e4.bin", "mbi_e4.bin", "NICFWData.xml"})
    EXPECT_TRUE(std::filesystem::exists(fw + "/" + f)) << f;
  Bytes mfw = read_file(fw + "/mfw_e3.bin");
  EXPECT_EQ(get_nvram_text(mfw, 20 + 16, 16), "MFW1 7.12.0");
  auto slots = e1e3::mba_slots(read_file(fw + "/mba_e3.bin"));
  ASSERT_FALSE(slots.empty());
  EXPECT_EQ(slots[0].second, 0x7C00);
  Bytes pkg = read_file(fw + "/mbi_e2e3.bin");
  EXPECT_EQ(std::string(pkg.begin(), pkg.begin() + 4), "KRVT");
  EXPECT_EQ(pkg[13], 7);
  EXPECT_EQ(pkg[14], 12);
  Bytes converged_pkg = read_file(fw + "/mbi_e3c.bin");
  EXPECT_EQ(converged_pkg[13], 7);
  EXPECT_EQ(converged_pkg[14], 15);
  EXPECT_EQ(phy_image_version(read_file(fw + "/phy_e3.bin")), "PHY 2.2.0");
  auto e4_items = e4::parse_bundle(read_file(fw + "/mfw_e4.bin"));
  ASSERT_TRUE(e4_items);
  EXPECT_FALSE(e4_items->empty());
  Bytes e4_pkg = read_file(fw + "/mbi_e4.bin");
  EXPECT_EQ(std::string(e4_pkg.begin(), e4_pkg.begin() + 4), "KRVT");
  EXPECT_EQ(e4_pkg[13], 8);
  EXPECT_EQ(e4_pkg[14], 12);
  Bytes xml = read_file(fw + "/NICFWData.xml");
  std::string x(xml.begin(), xml.end());
  for (const char* key : {"devid=\"164E\" subvenid=\"14E4\" subdevid=\"164E\"", "devid=\"1662\"", "devid=\"168E\"",
                          "devid=\"168E\" subvenid=\"14E4\" subdevid=\"1006\"",
                          "devid=\"1634\" subvenid=\"1077\" subdevid=\"E4F1\""})
    EXPECT_NE(x.find(key), std::string::npos) << key;
}

TEST(Demo, FwgenVerifyAndListFromTheShell) {
  platform::testing::TempDir t;
  std::string desc = t.path() + "/board.txt", nv = t.path() + "/nv.bin";
  write_text_file(desc,
                  "chip=E3\nsize=0x20000\nboard=0x14E4 0x168E 0x14E4 0x1006 001018000A00 2\nimage=BC1 7.10.3\nimage=MFW1 7.10.3\n");
  ASSERT_EQ(run(fwgen() + " nvram " + desc + " " + nv), 0);
  EXPECT_EQ(run(fwgen() + " verify " + nv), 0);
  EXPECT_EQ(run(fwgen() + " list " + nv), 0);
  Bytes b = read_file(nv);
  b[0x200] ^= 1;  // inside the configuration block
  write_file(nv, b);
  EXPECT_EQ(run(fwgen() + " verify " + nv), 1);
  EXPECT_EQ(run(fwgen() + " nosuch"), 2);
  EXPECT_EQ(run(fwgen() + " image NOPE 1.0.0 " + t.path() + "/x.bin"), 1);
  ASSERT_EQ(run(fwgen() + " paged " + nv + " " + t.path() + "/paged.bin"), 0);
  EXPECT_EQ(read_file(t.path() + "/paged.bin").size(), 0x20000u * 264 / 256);
}

TEST(Demo, FwgenLegacyCommandsFromTheShell) {
  platform::testing::TempDir t;
  const std::string d = t.path() + "/";
  write_text_file(d + "board.txt", "board=5708\nsize=0x20000\nbuffered=1\nimage=BC2 1.0.0\nimage=BC1 5.2.3\n");
  ASSERT_EQ(run(fwgen() + " nvram " + d + "board.txt " + d + "nv.bin --legacy"), 0);
  EXPECT_EQ(run(fwgen() + " verify " + d + "nv.bin --legacy --buffered"), 0);
  EXPECT_EQ(run(fwgen() + " verify " + d + "nv.bin --legacy"), 1) << "the boot-code address is a flash address";
  EXPECT_EQ(legacy::find_image(read_file(d + "nv.bin"), "BC1")->version, "bc 5.2.3");
  EXPECT_EQ(run(fwgen() + " list " + d + "nv.bin --legacy"), 0);
  ASSERT_EQ(run(fwgen() + " paged " + d + "nv.bin " + d + "paged.bin --legacy"), 0);
  EXPECT_EQ(read_file(d + "paged.bin")[256], 0x09);

  // Image files: raw MBA is the plain ROM; wrapped records with 16- and 20-byte headers.
  ASSERT_EQ(run(fwgen() + " image MBA 7.8.1 " + d + "mba.bin --legacy --did 0x164C"), 0);
  Bytes rom = read_file(d + "mba.bin");
  EXPECT_EQ(le16_at(rom, 0), 0xAA55);
  ASSERT_EQ(run(fwgen() + " wrap " + d + "v1.bin --legacy BC1:5.2.3 UMP:1.2.3"), 0);
  Bytes v1 = read_file(d + "v1.bin");
  EXPECT_EQ(le32_at(v1, 4), 1u);
  EXPECT_EQ(le32_at(v1, 8), tag_of(std::string("\0bc1", 4)));
  EXPECT_EQ(le32_at(v1, 16 + le32_at(v1, 12)), 0x669955AAu) << "second header right after the first record";
  ASSERT_EQ(run(fwgen() + " wrap " + d + "v2.bin --legacy --v2 --compat 0x20100 IPMI_SERV:1.0.0"), 0);
  Bytes v2 = read_file(d + "v2.bin");
  EXPECT_EQ(le32_at(v2, 12), 0x20100u);
  EXPECT_EQ(v2.size(), 20 + le32_at(v2, 16));
  ASSERT_EQ(run(fwgen() + " image BC1 5.2.3 " + d + "sect.bin --legacy --sectioned"), 0);
  Bytes sect = read_file(d + "sect.bin");
  EXPECT_EQ(le32_at(sect, 0), 0x45901011u);
  EXPECT_EQ(le32_at(sect, 88 + 28), 0x05020300u) << "version word at file offset 116";
  EXPECT_EQ(run(fwgen() + " image NOPE 1.0.0 " + d + "x.bin --legacy"), 1);
  EXPECT_EQ(run(fwgen() + " image ISCSI_B 1.0.0 " + d + "x.bin --legacy --ip 5"), 1);
}

// Boards with chosen PCI ids: the simulator reports the ids, every port part of the NVRAM carries
// them, and the folder holds one package per board listed in NICFWData.xml.
TEST(Demo, BoardsWithChosenIds) {
  platform::testing::TempDir t;
  const std::string root = t.path() + "/root", fw = t.path() + "/fw";
  const DemoSet set = make_demo_boards(
      root, fw, {{"vindo", 0x1077, 0x16A1, 0x1590, 0x00EC}, {"one", 0x14E4, 0x168E, 0x103C, 0x22FA, 1}});
  EXPECT_EQ(set.adapters, (std::vector<std::string>{"vindo-p0", "vindo-p1", "one"}));
  EXPECT_EQ(set.files, (std::vector<std::string>{"mbi_vindo.bin", "mbi_one.bin", "NICFWData.xml"}));
  for (const std::string& name : set.adapters) {
    SCOPED_TRACE(name);
    const bool vindo = name[0] == 'v';
    std::ifstream in(sim::description_path(root, name));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    auto desc = sim::parse_adapter(name, text, &error);
    ASSERT_TRUE(desc) << error;
    EXPECT_EQ(desc->vid, vindo ? 0x1077u : 0x14E4u);
    EXPECT_EQ(desc->svid, vindo ? 0x1590u : 0x103Cu);
    EXPECT_EQ(desc->ssid, vindo ? 0x00ECu : 0x22FAu);
    const Bytes nv = sim::read_nvram(root, name);
    EXPECT_TRUE(e1e3::verify(nv, e1e3::Chip::E3).ok());
    for (unsigned path = 0; path < 2; ++path) {
      EXPECT_EQ(e1e3::config_word(nv, e1e3::Chip::E3, path, 44), vindo ? 0x107716A1u : 0x14E4168Eu);
      EXPECT_EQ(e1e3::config_word(nv, e1e3::Chip::E3, path, 48), vindo ? 0x00EC1590u : 0x22FA103Cu);
    }
  }
  std::ifstream in(fw + "/NICFWData.xml");
  const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(xml.find("mbi_vindo.bin"), std::string::npos);
  EXPECT_NE(xml.find("00EC"), std::string::npos);
  EXPECT_NE(xml.find("mbi_one.bin"), std::string::npos);
}
