// The NVRAM reader and verifier take whatever an adapter's flash holds: neither may crash, read
// out of bounds or throw on any input.
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testkit::Bytes nv(data, data + size);
  auto images = testkit::e1e3::list_images(nv);
  for (const auto& im : images) (void)testkit::e1e3::image_word(nv, im, 72);
  (void)testkit::e1e3::directory_valid(nv);
  (void)testkit::e1e3::verify(nv, testkit::e1e3::Chip::E3);
  (void)testkit::e1e3::verify(nv, testkit::e1e3::Chip::E1);
  return 0;
}
