// SHA-256 digests and their 64-character lower-case hexadecimal text (the fingerprint of an NVRAM
// backup, checked again before the backup is restored).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kSha256DigestSize = 32;

struct sha256_ctx {
    uint64_t tot_len;    // bytes already consumed in whole 64-byte blocks
    uint32_t len;        // bytes waiting in block (0-63)
    uint8_t block[128];  // room for two blocks, so the final padding can spill into a second one
    uint32_t h[8];       // chaining value
};

void sha256_init(sha256_ctx* ctx);
// Applies the compression function to `count` whole 64-byte blocks, in order.
void sha256_transform(sha256_ctx* ctx, const uint8_t* blocks, size_t count);
void sha256_update(sha256_ctx* ctx, const uint8_t* message, size_t length);
// Pads (with the 64-bit message length in bits) and writes the 32-byte digest.
void sha256_final(sha256_ctx* ctx, uint8_t digest[kSha256DigestSize]);

// The digest of every byte of `bytes` (embedded NULs included) as 64 lower-case hex digits.
std::string Sha256HexDigest(std::string_view bytes);

namespace fwupg::sha256_detail {

using TransformFn = void (*)(uint32_t h[8], const uint8_t* blocks, size_t count);
// The portable compression function, and the one using the processor's SHA instructions (null
// when this processor or build has none). sha256_transform uses the second when there is one.
void transform_portable(uint32_t h[8], const uint8_t* blocks, size_t count);
TransformFn transform_accelerated();

}  // namespace fwupg::sha256_detail
