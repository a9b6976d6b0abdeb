#include "fwupg/sha256.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <random>
#include <vector>

namespace {

std::string hex(const uint8_t* d, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[d[i] >> 4];
        s += digits[d[i] & 15];
    }
    return s;
}

std::string openssl_hex(std::string_view bytes)
{
    uint8_t d[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(bytes.data(), bytes.size(), d, &n, EVP_sha256(), nullptr);
    return hex(d, n);
}

std::string random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Published test vectors of the standard.
TEST(Sha256, StandardVectors)
{
    struct {
        std::string input;
        const char* digest;
    } const cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: two final blocks
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
         "mnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Sha256HexDigest(c.input), c.digest) << c.input.size();
}

TEST(Sha256, BlockBoundariesAndEmbeddedNulsMatchOpenSsl)
{
    for (size_t n : {1, 54, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000}) {
        std::string data = random_bytes(n, static_cast<unsigned>(n));
        data[0] = '\0';  // a NUL is data like any other byte
        EXPECT_EQ(Sha256HexDigest(data), openssl_hex(data)) << n;
    }
}

TEST(Sha256, SplitUpdatesGiveTheSameDigest)
{
    const std::string data = random_bytes(300, 7);
    const std::string want = openssl_hex(data);
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        sha256_ctx ctx;
        sha256_init(&ctx);
        size_t at = 0;
        while (at < data.size()) {
            size_t piece = std::min<size_t>(rng() % 150, data.size() - at);  // zero-length pieces too
            sha256_update(&ctx, reinterpret_cast<const uint8_t*>(data.data()) + at, piece);
            at += piece;
        }
        uint8_t d[kSha256DigestSize];
        sha256_final(&ctx, d);
        ASSERT_EQ(hex(d, sizeof d), want) << round;
    }
}

TEST(Sha256, OneMebibyteMatchesOpenSsl)
{
    const std::string data = random_bytes(1 << 20, 3);
    EXPECT_EQ(Sha256HexDigest(data), openssl_hex(data));
}

// The length in bits no longer fits 32 bits from 512 MiB on.
TEST(Sha256, InputsPast512MiBUseTheFullBitLength)
{
    const std::string chunk = random_bytes(1 << 20, 5);
    sha256_ctx ours;
    sha256_init(&ours);
    EVP_MD_CTX* theirs = EVP_MD_CTX_new();
    ASSERT_TRUE(theirs);
    EVP_DigestInit_ex(theirs, EVP_sha256(), nullptr);
    for (int i = 0; i < 512; ++i) {
        sha256_update(&ours, reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
        EVP_DigestUpdate(theirs, chunk.data(), chunk.size());
    }
    sha256_update(&ours, reinterpret_cast<const uint8_t*>("xyz"), 3);
    EVP_DigestUpdate(theirs, "xyz", 3);
    uint8_t a[32], b[32];
    sha256_final(&ours, a);
    EVP_DigestFinal_ex(theirs, b, nullptr);
    EVP_MD_CTX_free(theirs);
    EXPECT_EQ(hex(a, 32), hex(b, 32));
}

// Both compression functions must agree on any chaining value and any blocks.
TEST(Sha256, AcceleratedAndPortableTransformsAgree)
{
    auto fast = fwupg::sha256_detail::transform_accelerated();
    if (!fast) GTEST_SKIP() << "no SHA instructions on this processor";
    std::mt19937 rng(1);
    for (size_t blocks : {1, 2, 3, 17}) {
        const std::string data = random_bytes(64 * blocks, static_cast<unsigned>(blocks));
        uint32_t h1[8], h2[8];
        for (int i = 0; i < 8; ++i) h1[i] = h2[i] = rng();
        fwupg::sha256_detail::transform_portable(h1, reinterpret_cast<const uint8_t*>(data.data()), blocks);
        fast(h2, reinterpret_cast<const uint8_t*>(data.data()) + 0, blocks);
        EXPECT_EQ(std::vector<uint32_t>(h1, h1 + 8), std::vector<uint32_t>(h2, h2 + 8)) << blocks;
    }
}

}  // namespace
