#include "fwupg/sha256.h"

#include "platform/byte_order.h"
#include "sha256_internal.h"

#include <cstring>

namespace {

inline uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

using platform::load_be32;
using platform::store_be32;

}  // namespace

namespace fwupg::sha256_detail {

alignas(16) const uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

void transform_portable(uint32_t h[8], const uint8_t* blocks, size_t count)
{
    const uint32_t* K = kRoundConstants;
    for (; count > 0; --count, blocks += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = load_be32(blocks + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        // One round; the eight working words rotate through the macro's arguments instead of
        // being moved, eight rounds per pass.
#define FWUPG_SHA_ROUND(a, b, c, d, e, f, g, h, i)                                                  \
    do {                                                                                            \
        const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + (g ^ (e & (f ^ g))) + K[i] + w[i]; \
        d += t1;                                                                                    \
        h = t1 + (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) | (c & (a | b)));             \
    } while (0)
        for (int i = 0; i < 64; i += 8) {
            FWUPG_SHA_ROUND(a, b, c, d, e, f, g, hh, i);
            FWUPG_SHA_ROUND(hh, a, b, c, d, e, f, g, i + 1);
            FWUPG_SHA_ROUND(g, hh, a, b, c, d, e, f, i + 2);
            FWUPG_SHA_ROUND(f, g, hh, a, b, c, d, e, i + 3);
            FWUPG_SHA_ROUND(e, f, g, hh, a, b, c, d, i + 4);
            FWUPG_SHA_ROUND(d, e, f, g, hh, a, b, c, i + 5);
            FWUPG_SHA_ROUND(c, d, e, f, g, hh, a, b, i + 6);
            FWUPG_SHA_ROUND(b, c, d, e, f, g, hh, a, i + 7);
        }
#undef FWUPG_SHA_ROUND
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += hh;
    }
}

}  // namespace fwupg::sha256_detail

namespace {

using fwupg::sha256_detail::TransformFn;

TransformFn chosen_transform()
{
    static const TransformFn fn = [] {
        TransformFn fast = fwupg::sha256_detail::transform_accelerated();
        return fast ? fast : &fwupg::sha256_detail::transform_portable;
    }();
    return fn;
}

}  // namespace

void sha256_init(sha256_ctx* ctx)
{
    static const uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    ctx->tot_len = 0;
    ctx->len = 0;
    std::memset(ctx->block, 0, sizeof ctx->block);
    std::memcpy(ctx->h, initial, sizeof initial);
}

void sha256_transform(sha256_ctx* ctx, const uint8_t* blocks, size_t count)
{
    if (count) chosen_transform()(ctx->h, blocks, count);
}

void sha256_update(sha256_ctx* ctx, const uint8_t* message, size_t length)
{
    if (length == 0) return;
    const size_t room = 64 - ctx->len;
    const size_t first = length < room ? length : room;
    std::memcpy(ctx->block + ctx->len, message, first);
    if (ctx->len + length < 64) {
        ctx->len += static_cast<uint32_t>(length);
        return;
    }
    const size_t rest = length - first;
    const size_t whole = rest / 64;
    sha256_transform(ctx, ctx->block, 1);
    sha256_transform(ctx, message + first, whole);
    const size_t tail = rest % 64;
    if (tail) std::memcpy(ctx->block, message + first + whole * 64, tail);
    ctx->len = static_cast<uint32_t>(tail);
    ctx->tot_len += (whole + 1) * 64;
}

void sha256_final(sha256_ctx* ctx, uint8_t digest[kSha256DigestSize])
{
    const size_t blocks = (ctx->len % 64) <= 55 ? 1 : 2;
    const size_t end = blocks * 64;
    std::memset(ctx->block + ctx->len, 0, end - ctx->len);
    ctx->block[ctx->len] = 0x80;
    const uint64_t bits = (ctx->tot_len + ctx->len) * 8;
    for (int i = 0; i < 8; ++i) ctx->block[end - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    sha256_transform(ctx, ctx->block, blocks);
    for (int i = 0; i < 8; ++i) store_be32(digest + 4 * i, ctx->h[i]);
}

std::string Sha256HexDigest(std::string_view bytes)
{
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    uint8_t digest[kSha256DigestSize];
    sha256_final(&ctx, digest);
    static const char hex[] = "0123456789abcdef";
    std::string text(2 * kSha256DigestSize, '0');
    for (size_t i = 0; i < kSha256DigestSize; ++i) {
        text[2 * i] = hex[digest[i] >> 4];
        text[2 * i + 1] = hex[digest[i] & 15];
    }
    return text;
}
