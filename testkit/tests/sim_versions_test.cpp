// The simulated management library reports the firmware versions found in an adapter's NVRAM,
// read with the kit's reader; a rewritten NVRAM changes what it reports.
#include "sim/adapter_builder.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/images.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_stock.h"
#include "platform/testing/temp_root.h"
#include "yxmapi/yxmapi.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include "platform/testing/bin_dir.h"

using namespace testkit;

namespace {

struct Lib {
  Lib() {
    std::string file = platform::testing::bin_dir() + "/" + yxmapi::kLibraryFileName;
    h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) ADD_FAILURE() << dlerror();
  }
  ~Lib() {
    if (h) dlclose(h);
  }
  template <uint32_t N>
  typename yxmapi::OrdinalFn<N>::type fn() {
    return reinterpret_cast<typename yxmapi::OrdinalFn<N>::type>(dlsym(h, yxmapi::symbol_for_ordinal(N)));
  }
  // The firmware record of ordinal N (116: type 5, 104: type 4) in one library session.
  template <uint32_t N, class Record>
  Record query_record(uint32_t list_handle, uint32_t version) {
    Record r;
    r.prepare(version);
    EXPECT_EQ(fn<34>()(0), 0u);
    EXPECT_EQ(fn<N>()(list_handle, &r), 0u);
    fn<3>()();
    return r;
  }
  yxmapi::FwInfoType5 query(uint32_t list_handle) {
    return query_record<116, yxmapi::FwInfoType5>(list_handle, yxmapi::kFwInfoType5Version);
  }
  yxmapi::FwInfoType4 query4(uint32_t list_handle) {
    return query_record<104, yxmapi::FwInfoType4>(list_handle, yxmapi::kFwInfoType4Version);
  }
  void* h = nullptr;
};

Bytes nvram_with(uint32_t size, const std::string& version, uint32_t mbi) {
  e1e3::NvramDef s;
  s.size = size;
  e1e3::set_board(s, 0x14E4, 0x168E, 0x103C, 0x339D, 0x001018000100ull, 2);
  s.images.push_back({"MBA", stock_image("MBA", version), {}, {}, 0});
  s.images.push_back({"MFW1", stock_image("MFW1", version), {}, {}, 0});
  Bytes shared = stock_image("CFG_SHARED", "");
  set_le32(shared, 72, mbi);
  s.images.push_back({"CFG_SHARED", shared, {}, {}, 0});
  return e1e3::build(s).nvram;
}

}  // namespace

TEST(SimVersions, FollowTheNvramWithoutStandIns) {
  platform::testing::TempSystemRoot root;
  sim::AdapterDef a = sim::make_adapter(yxmapi::kFamily57710, 1, "e3");
  sim::write_adapter(root.path(), a);
  Lib lib;
  ASSERT_NE(lib.h, nullptr);

  // Erased NVRAM: no directory, so no versions.
  yxmapi::FwInfoType5 r = lib.query(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw5::kMba), "");
  EXPECT_EQ(r.get(yxmapi::fw5::kMbiPacked), 0u);

  sim::set_nvram(root.path(), a.name, nvram_with(a.nvram_size(), "7.10.3", 0x070A0300));
  r = lib.query(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw5::kMba), "MBA 7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw5::kText4), "MFW1 7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw5::kText84), "") << "no NCSI image: empty";
  EXPECT_EQ(r.get(yxmapi::fw5::kMbiPacked), 0x070A0300u);

  sim::set_nvram(root.path(), a.name, nvram_with(a.nvram_size(), "7.12.4", 0x070C0400));
  r = lib.query(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw5::kMba), "MBA 7.12.4");
  EXPECT_EQ(r.get(yxmapi::fw5::kText4), "MFW1 7.12.4");
  EXPECT_EQ(r.get(yxmapi::fw5::kMbiPacked), 0x070C0400u);

  // A broken directory shows no versions at all.
  testkit::Bytes broken = nvram_with(a.nvram_size(), "7.12.4", 0x070C0400);
  broken[0x20] ^= 1;
  sim::set_nvram(root.path(), a.name, broken);
  r = lib.query(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw5::kMba), "");
  EXPECT_EQ(r.get(yxmapi::fw5::kText4), "");
  EXPECT_EQ(r.get(yxmapi::fw5::kMbiPacked), 0u);
}

// Description texts are overrides a test opts into, field by field: they win over the NVRAM.
TEST(SimVersions, DescriptionTextsOverrideOnlyTheirField) {
  platform::testing::TempSystemRoot root;
  sim::AdapterDef a = sim::make_adapter(yxmapi::kFamily57710, 1, "e3");
  a.fw_text(yxmapi::fw5::kText84, "NCSI 1.0.0");
  a.mbi_packed = 0x01020300;
  sim::write_adapter(root.path(), a);
  sim::set_nvram(root.path(), a.name, nvram_with(a.nvram_size(), "7.10.3", 0x070A0300));
  Lib lib;
  ASSERT_NE(lib.h, nullptr);
  yxmapi::FwInfoType5 r = lib.query(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw5::kText84), "NCSI 1.0.0");
  EXPECT_EQ(r.get(yxmapi::fw5::kMbiPacked), 0x01020300u);
  EXPECT_EQ(r.get(yxmapi::fw5::kMba), "MBA 7.10.3") << "other fields follow the NVRAM";
}

// A legacy adapter reports what its NVRAM holds, through the legacy kit's reader: rewriting the
// NVRAM changes the record; a field whose image is absent, or a damaged directory, reads empty.
TEST(SimVersions, LegacyAdapterFollowsItsNvram) {
  namespace lg = testkit::legacy;
  platform::testing::TempSystemRoot root;
  sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyLegacy, 1, "l-5709");
  a.flash_word = 0x40000;
  sim::write_adapter(root.path(), a);
  Lib lib;
  ASSERT_NE(lib.h, nullptr);
  EXPECT_EQ(lib.query4(a.list_handle).get(yxmapi::fw4::kBootcode), "");

  auto nvram = [](const std::string& v) {
    lg::adapter n;
    lg::stock_options o;
    o.ip = "4n6";
    for (const char* k : {"BC1", "MBA", "ISCSI_B", "NCSI_CMN", "IPMI_INIT", "CCM"})
      n.images.push_back(lg::placed(k, lg::stock_image(k, v, o)));
    return lg::build_nvram(n);
  };
  sim::set_nvram(root.path(), a.name, nvram("7.10.3"));
  yxmapi::FwInfoType4 r = lib.query4(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw4::kBootcode), "bc 7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw4::kPxe), "MBA 7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw4::kIscsi), "ipv4_ipv6 v7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw4::kNcsi), "NCSI 7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw4::kIpmi), "IPMI 7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw4::kCcm), "v7.10.3");
  EXPECT_EQ(r.get(yxmapi::fw4::kUmp), "") << "no UMP image: empty";

  sim::set_nvram(root.path(), a.name, nvram("7.12.4"));
  r = lib.query4(a.list_handle);
  EXPECT_EQ(r.get(yxmapi::fw4::kBootcode), "bc 7.12.4");
  EXPECT_EQ(r.get(yxmapi::fw4::kPxe), "MBA 7.12.4");

  // A directory whose CRC is broken is not trusted: no versions.
  testkit::Bytes broken = nvram("7.12.4");
  broken[0x20] ^= 1;
  sim::set_nvram(root.path(), a.name, broken);
  EXPECT_EQ(lib.query4(a.list_handle).get(yxmapi::fw4::kBootcode), "");
  EXPECT_EQ(lib.query4(a.list_handle).get(yxmapi::fw4::kPxe), "");
}

// The running MFW version word in shared memory changes only when a reset starts the MFW1 image
// that the NVRAM now lists; every function of the board, on either path, sees the new word.
TEST(SimVersions, ResetStartsTheMfwTheNvramLists) {
  platform::testing::TempSystemRoot root;
  constexpr uint32_t kBase = 0x3800;
  sim::AdapterDef f[2];
  for (uint32_t i = 0; i < 2; ++i) {
    f[i] = sim::make_adapter(yxmapi::kFamily57710, i + 1, "e3-p" + std::to_string(i));
    f[i].board = "e3";
    f[i].path = i;
    f[i].reg(0xA2B4, kBase).reg(kBase + 8, 0x070A0300);
    sim::write_adapter(root.path(), f[i]);
  }
  sim::set_nvram(root.path(), "e3", nvram_with(f[0].nvram_size(), "7.10.3", 0x070A0300));
  Lib lib;
  ASSERT_NE(lib.h, nullptr);
  const char* guid = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  auto word = [&](const sim::AdapterDef& a) {
    uint32_t v = 0;
    EXPECT_EQ(lib.fn<71>()(a.api_handle, yxmapi::kRegAccessChip, kBase + 8, &v, guid), 0u);
    return v;
  };
  ASSERT_EQ(lib.fn<34>()(0), 0u);
  // The MFW upgrade lands in NVRAM; until a reset the old firmware keeps running.
  sim::set_nvram(root.path(), "e3", nvram_with(f[0].nvram_size(), "7.12.4", 0x070C0400));
  EXPECT_EQ(word(f[0]), 0x070A0300u);
  EXPECT_EQ(word(f[1]), 0x070A0300u);
  ASSERT_EQ(lib.fn<33>()(f[0].api_handle, yxmapi::kResetMode), 0u);
  EXPECT_EQ(word(f[0]), 0x070C0400u);
  EXPECT_EQ(word(f[1]), 0x070C0400u) << "the chip restarted on both paths";

  lib.fn<3>()();
  // A later session reads the same running word.
  ASSERT_EQ(lib.fn<34>()(0), 0u);
  EXPECT_EQ(word(f[1]), 0x070C0400u);
  // An NVRAM without a readable directory starts no MFW.
  sim::set_nvram(root.path(), "e3", Bytes(f[0].nvram_size(), 0xFF));
  ASSERT_EQ(lib.fn<33>()(f[1].api_handle, yxmapi::kResetMode), 0u);
  EXPECT_EQ(word(f[0]), 0u);
  lib.fn<3>()();
}
