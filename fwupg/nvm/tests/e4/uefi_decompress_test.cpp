// UEFI decompression against golden streams made by the reference compressors, and against
// corrupt streams written bit by bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fwupg/nvm/e4/uefi_decompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_vector(const std::string& name)
{
    std::ifstream in(std::string(UEFI_VECTORS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using DecodeFn = uint32_t (*)(const void*, uint32_t, void*, uint32_t, void*, uint32_t);

// Decodes with the destination size taken from the header; the result code and the bytes.
uint32_t decode(DecodeFn fn, const Bytes& src, Bytes& out)
{
    uint32_t size = 0, scratch_size = 0;
    uint32_t rc = efi_get_info(src.data(), uint32_t(src.size()), &size, &scratch_size);
    if (rc != 0)
        return rc;
    out.assign(size, 0xCC);
    Bytes scratch(scratch_size);
    return fn(src.data(), uint32_t(src.size()), out.data(), size, scratch.data(), scratch_size);
}

const char* const kVectors[] = {"empty", "one", "text", "zeros64k", "random4k", "mixed200k", "runs"};

TEST(UefiDecompress, GoldenStreamsOfBothVariantsGiveTheOriginalBytes)
{
    for (const char* name : kVectors) {
        SCOPED_TRACE(name);
        const Bytes plain = read_vector(std::string(name) + ".bin");
        Bytes out;
        EXPECT_EQ(decode(efi_decompress, read_vector(std::string(name) + ".efi"), out), 0u);
        EXPECT_EQ(out, plain);
        EXPECT_EQ(decode(tiano_decompress, read_vector(std::string(name) + ".tiano"), out), 0u);
        EXPECT_EQ(out, plain);
    }
}

TEST(UefiDecompress, AStreamOfTheOtherVariantNeverGivesTheOriginal)
{
    for (const char* name : {"text", "zeros64k", "random4k", "mixed200k", "runs"}) {
        SCOPED_TRACE(name);
        const Bytes plain = read_vector(std::string(name) + ".bin");
        Bytes out;
        uint32_t rc = decode(tiano_decompress, read_vector(std::string(name) + ".efi"), out);
        EXPECT_TRUE(rc == UEFI_DECOMPRESS_INVALID || out != plain);
        rc = decode(efi_decompress, read_vector(std::string(name) + ".tiano"), out);
        EXPECT_TRUE(rc == UEFI_DECOMPRESS_INVALID || out != plain);
    }
}

TEST(UefiDecompress, GetInfoReportsSizesAndRefusesAShortHeader)
{
    const Bytes text = read_vector("text.efi");
    uint32_t size = 0, scratch = 0;
    EXPECT_EQ(efi_get_info(text.data(), uint32_t(text.size()), &size, &scratch), 0u);
    EXPECT_EQ(size, 3072u);
    EXPECT_EQ(scratch, 13376u);
    scratch = 0;
    EXPECT_EQ(efi_get_info(text.data(), 7, &size, &scratch), UEFI_DECOMPRESS_INVALID);
    EXPECT_EQ(scratch, 13376u);
}

TEST(UefiDecompress, WrongArgumentsAreRefusedWithoutDecoding)
{
    const Bytes src = read_vector("text.efi");
    const auto n = uint32_t(src.size());
    Bytes out(3072, 0xCC), scratch(13376);
    struct Case {
        const char* what;
        uint32_t source_size, destination_size, scratch_size;
    } cases[] = {
        {"destination one byte short", n, 3071, 13376},
        {"destination one byte long", n, 3073, 13376},
        {"scratch one byte short", n, 3072, 13375},
        {"source shorter than its compressed size", n - 1, 3072, 13376},
        {"source shorter than the header", 7, 3072, 13376},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes dst(c.destination_size, 0xCC);
        EXPECT_EQ(efi_decompress(src.data(), c.source_size, dst.data(), c.destination_size, scratch.data(),
                                 c.scratch_size),
                  UEFI_DECOMPRESS_INVALID);
        EXPECT_EQ(dst, Bytes(c.destination_size, 0xCC));
    }
}

TEST(UefiDecompress, AScratchAreaAtAnOddAddressServes)
{
    const Bytes src = read_vector("text.efi");
    Bytes out(3072), scratch(13376 + 1);
    EXPECT_EQ(efi_decompress(src.data(), uint32_t(src.size()), out.data(), 3072, scratch.data() + 1, 13376), 0u);
    EXPECT_EQ(out, read_vector("text.bin"));
}

// Writes a stream most significant bit first, behind its 8-byte header.
struct BitWriter {
    Bytes bits;
    int used = 8;
    void put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (used == 8) {
                bits.push_back(0);
                used = 0;
            }
            if ((value >> i) & 1)
                bits.back() |= uint8_t(0x80 >> used);
            ++used;
        }
    }
    Bytes stream(uint32_t orig_size) const
    {
        Bytes out(8);
        Bytes body = bits;
        body.push_back(0);  // the compressors' trailing byte
        const auto comp = uint32_t(body.size());
        for (int i = 0; i < 4; ++i) {
            out[size_t(i)] = uint8_t(comp >> (8 * i));
            out[size_t(4 + i)] = uint8_t(orig_size >> (8 * i));
        }
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

// A block whose char&len code has two symbols of one bit each, literal 'A' (code 0) and the
// 3-byte match (code 1), and whose position code is the single symbol 0 (distance 1).
BitWriter two_symbol_block()
{
    BitWriter w;
    w.put(16, 16);                        // symbols in the block
    w.put(4, 5);                          // extra set: 4 lengths
    w.put(0, 3), w.put(0, 3), w.put(1, 3);  // symbols 0, 1 unused; 2 (long zero run) 1 bit
    w.put(0, 2);                          // no zero run after the third length
    w.put(1, 3);                          // symbol 3 (length 1) 1 bit
    w.put(257, 9);                        // char&len set: 257 lengths
    w.put(0, 1), w.put(65 - 20, 9);       // 65 zeros
    w.put(1, 1);                          // 'A': length 1
    w.put(0, 1), w.put(190 - 20, 9);      // 190 zeros
    w.put(1, 1);                          // 256 (match of 3): length 1
    w.put(0, 4), w.put(0, 4);             // position set: one symbol, 0
    return w;
}

TEST(UefiDecompress, AHandWrittenBlockDecodes)
{
    BitWriter w = two_symbol_block();
    w.put(0, 1), w.put(1, 1), w.put(0, 1);  // 'A', "AAA" from one byte back, 'A'
    Bytes out;
    ASSERT_EQ(decode(efi_decompress, w.stream(5), out), 0u);
    EXPECT_EQ(out, Bytes(5, 'A'));
}

TEST(UefiDecompress, CorruptStreamsAreRefused)
{
    struct Case {
        const char* what;
        Bytes stream;
    };
    std::vector<Case> cases;
    {
        BitWriter w = two_symbol_block();
        w.put(1, 1);  // a match before any output
        cases.push_back({"match distance before the start", w.stream(4)});
    }
    {
        BitWriter w = two_symbol_block();
        w.put(0, 1), w.put(1, 1), w.put(1, 1);  // 'A', 3, 3 into 6 bytes
        cases.push_back({"match length past the end", w.stream(6)});
    }
    {
        BitWriter w;
        w.put(1, 16), w.put(25, 5);  // 25 lengths in a 19-symbol set
        cases.push_back({"extra set count too large", w.stream(1)});
    }
    {
        BitWriter w;
        w.put(1, 16), w.put(0, 5), w.put(2, 5);  // extra set: only the long zero run
        w.put(511, 9);                           // 511 lengths in a 510-symbol set
        cases.push_back({"char&len count too large", w.stream(1)});
    }
    {
        BitWriter w;
        w.put(1, 16), w.put(0, 5), w.put(2, 5);
        w.put(510, 9), w.put(511, 9);  // one run of 531 zeros
        cases.push_back({"zero run past the set", w.stream(1)});
    }
    {
        BitWriter w;
        w.put(1, 16), w.put(4, 5);
        w.put(1, 3), w.put(1, 3), w.put(1, 3), w.put(0, 2), w.put(1, 3);  // four 1-bit codes
        cases.push_back({"over-full code (table overflow)", w.stream(1)});
    }
    {
        BitWriter w;
        w.put(1, 16), w.put(1, 5);
        w.put(0x3FFE, 14);  // length 7 extended by ten more ones: 17
        cases.push_back({"code length above 16", w.stream(1)});
    }
    {
        BitWriter w;
        w.put(1, 16), w.put(0, 5), w.put(19, 5);  // single extra symbol outside the set
        cases.push_back({"single symbol outside its set", w.stream(1)});
    }
    {
        BitWriter w = two_symbol_block();
        w.put(0, 1);
        Bytes s = w.stream(2000);  // the stream ends long before 2,000 bytes
        cases.push_back({"stream cut short", s});
    }
    {
        Bytes s = read_vector("mixed200k.efi");
        s.resize(s.size() / 2);
        const auto comp = uint32_t(s.size() - 8);
        for (int i = 0; i < 4; ++i)
            s[size_t(i)] = uint8_t(comp >> (8 * i));
        cases.push_back({"golden stream truncated with a matching header", s});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out;
        EXPECT_EQ(decode(efi_decompress, c.stream, out), UEFI_DECOMPRESS_INVALID);
    }
}

TEST(UefiDecompress, AllocatingEntryPointCopiesDecodesAndCapsTheSize)
{
    const Bytes plain = read_vector("text.bin");
    struct Case {
        const char* what;
        Bytes source;
        uint32_t type;
        uint32_t rc;
        Bytes expect;
    } cases[] = {
        {"copy", plain, 0, 0, plain},
        {"EFI 1.1", read_vector("text.efi"), 1, 0, plain},
        {"Tiano", read_vector("text.tiano"), 2, 0, plain},
        {"unknown type", read_vector("text.efi"), 3, UEFI_DECOMPRESS_INVALID, {}},
        {"bad stream", Bytes{4, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 1, UEFI_DECOMPRESS_INVALID, {}},
        {"original size above 16 MiB", Bytes{0, 0, 0, 0, 1, 0, 0, 1}, 1, UEFI_DECOMPRESS_NO_RESOURCES, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        void* out = reinterpret_cast<void*>(1);
        uint32_t size = 99;
        EXPECT_EQ(uefi_decompress_alloc(c.source.data(), uint32_t(c.source.size()), &out, &size, c.type), c.rc);
        if (c.rc == 0) {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(Bytes(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size), c.expect);
        } else {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(size, 0u);
        }
        std::free(out);
    }
}

}  // namespace
