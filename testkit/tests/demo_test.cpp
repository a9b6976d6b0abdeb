// The demo set: adapters the simulator serves, NVRAM images that verify, a firmware folder with
// newer images, all from one fwgen command.
#include "platform/testing/temp_root.h"
#include "sim/adapter_builder.h"
#include "testkit/demo.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace testkit;

namespace {

std::string fwgen() {
  const char* bin = std::getenv("FWUPG_BIN_DIR");
  return std::string(bin ? bin : ".") + "/fwgen";
}

int run(const std::string& cmd) {
  int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

TEST(Demo, OneCommandMakesTheMachineAndTheFirmwareFolder) {
  platform::testing::TempDir t;
  std::string root = t.path() + "/root", fw = t.path() + "/fw";
  ASSERT_EQ(run(fwgen() + " demo " + root + " " + fw), 0);

  auto names = sim::adapter_names(root);
  EXPECT_EQ(names, (std::vector<std::string>{"e1-57710", "e2-57712", "e3-57810-p0", "e3-57810-p1"}));
  for (const auto& n : names) {
    Bytes nv = sim::read_nvram(root, n);
    e1e3::Chip chip = n[1] == '1' ? e1e3::Chip::E1 : n[1] == '2' ? e1e3::Chip::E2 : e1e3::Chip::E3;
    e1e3::Report r = e1e3::verify(nv, chip);
    EXPECT_TRUE(r.ok()) << n << "\n" << r.text();
    auto mba = e1e3::find_image(nv, "MBA");
    ASSERT_TRUE(mba) << n;
    EXPECT_EQ(mba->version, "PCI30 MBA 7.10.1;EFI x64 7.10.1;") << n;
    EXPECT_EQ(e1e3::find_image(nv, n[1] == '1' ? "BC1" : "MFW1").has_value(), true) << n;
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

  // Newer images in the folder.
  for (const char* f : {"bc_e1.bin", "mba_e1.bin", "mba_e3.bin", "mfw_e3.bin", "l2t.bin", "ncsi.bin", "mbi_e1.bin",
                        "mbi_e2e3.bin", "NICFWData.xml"})
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
  Bytes xml = read_file(fw + "/NICFWData.xml");
  std::string x(xml.begin(), xml.end());
  for (const char* key : {"devid=\"164E\" subvenid=\"14E4\" subdevid=\"164E\"", "devid=\"1662\"", "devid=\"168E\""})
    EXPECT_NE(x.find(key), std::string::npos) << key;
}

TEST(Demo, FwgenVerifyAndListFromTheShell) {
  platform::testing::TempDir t;
  std::string desc = t.path() + "/board.txt", nv = t.path() + "/nv.bin";
  write_text_file(desc, "chip=E3\nsize=0x20000\nimage=BC1 7.10.3\nimage=MFW1 7.10.3\n");
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
