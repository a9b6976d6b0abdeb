// The kit's UEFI compressor. The test decoder is first checked against streams of the reference
// compressors (both variants), then decodes what the kit's compressor writes.
#include "testkit/efi_expand.h"
#include "testkit/efi_compress.h"

#include <gtest/gtest.h>

using namespace testkit;

namespace {

Bytes vector_file(const std::string& name) {
  return read_file(std::string(FWUPG_SOURCE_DIR) + "/testkit/tests/data/uefi/" + name);
}

}  // namespace

TEST(EfiCompress, TestDecoderReproducesReferenceStreams) {
  struct Case {
    const char* name;
    Bytes plain;
  } cases[] = {
      {"one", vector_file("one.bin")},
      {"text", vector_file("text.bin")},
      {"runs", vector_file("runs.bin")},
      {"zeros64k", Bytes(65536, 0)},
  };
  for (const Case& c : cases) {
    for (auto [ext, pbit] : {std::pair{".efi", 4u}, std::pair{".tiano", 5u}}) {
      SCOPED_TRACE(std::string(c.name) + ext);
      auto out = efi_expand(vector_file(std::string(c.name) + ext), pbit);
      ASSERT_TRUE(out);
      EXPECT_EQ(*out, c.plain);
    }
  }
  auto empty = efi_expand(vector_file("empty.efi"));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  // The text stream read as the other variant does not give the text back.
  auto wrong = efi_expand(vector_file("text.efi"), 5);
  EXPECT_TRUE(!wrong || *wrong != vector_file("text.bin"));
}

TEST(EfiCompress, RoundTripsThroughTheDecoder) {
  Bytes random(100000);
  fill_pattern(random.data(), random.size(), 7);  // more symbols than one block holds
  Bytes far(20000);
  fill_pattern(far.data(), 8192, 3);
  for (size_t i = 8192; i < far.size(); ++i) far[i] = far[i - 8192];  // matches at the longest distance
  Bytes skewed(30000);
  for (size_t i = 0; i < skewed.size(); ++i) skewed[i] = uint8_t(i % 977 == 0 ? i / 977 : (i * i) % 3);
  struct Case {
    const char* what;
    Bytes plain;
  } cases[] = {
      {"empty", {}},
      {"one byte", {0x41}},
      {"text", vector_file("text.bin")},
      {"runs", vector_file("runs.bin")},
      {"zeros", Bytes(65536, 0)},
      {"random", random},
      {"distance 8192", far},
      {"skewed", skewed},
  };
  for (const Case& c : cases) {
    for (unsigned pbit : {4u, 5u}) {
      SCOPED_TRACE(std::string(c.what) + " pbit " + std::to_string(pbit));
      Bytes z = efi_compress(c.plain, pbit);
      ASSERT_GE(z.size(), 8u);
      EXPECT_EQ(get_le32(&z[0]), z.size() - 8);
      EXPECT_EQ(get_le32(&z[4]), c.plain.size());
      auto out = efi_expand(z, pbit);
      ASSERT_TRUE(out);
      EXPECT_EQ(*out, c.plain);
    }
  }
  EXPECT_LT(efi_compress(vector_file("runs.bin")).size(), 400u);
}
