#include <gtest/gtest.h>

#include "fwupg/wrapped_record.h"
#include "testkit/images.h"
#include "wrapped_cases.h"

namespace {

using fwupg::WrappedReader;
using fwupg::WrappedRecord;
using fwupg::WrappedStop;

struct Walked {
    std::vector<uint32_t> tags;
    WrappedStop stop;
    uint64_t offset;
};

Walked walk(const testkit::Bytes& b, bool check_version = true)
{
    WrappedReader r(b.data(), b.size(), check_version);
    WrappedRecord rec;
    Walked w{};
    while (r.next(&rec)) {
        EXPECT_EQ(rec.data, b.data() + rec.offset + fwupg::kWrappedHeaderSize);
        w.tags.push_back(rec.header.tag);
    }
    w.stop = r.stop();
    w.offset = r.offset();
    return w;
}

// Two records written out by hand: {magic, version, tag, compat, length} as little-endian words,
// a 4-byte record "ABCD", then a record of length 0.
const testkit::Bytes kTwoRecords = {
    0xAA, 0x55, 0x99, 0x66, 0x01, 0x00, 0x00, 0x00, 0x62, 0x63, 0x31, 0x20, 0x00, 0x00, 0x04,
    0x00, 0x04, 0x00, 0x00, 0x00, 'A',  'B',  'C',  'D',  0xAA, 0x55, 0x99, 0x66, 0x02, 0x00,
    0x00, 0x00, 0x6C, 0x32, 0x74, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

TEST(WrappedReader, ReadsHandWrittenRecords)
{
    WrappedReader r(kTwoRecords.data(), kTwoRecords.size());
    WrappedRecord rec;
    ASSERT_TRUE(r.next(&rec));
    EXPECT_EQ(rec.offset, 0u);
    EXPECT_EQ(rec.header.magic, 0x669955AAu);
    EXPECT_EQ(rec.header.version, 1u);
    EXPECT_EQ(rec.header.tag, 0x20316362u);  // "bc1 " read as a host-order word
    EXPECT_EQ(rec.header.compat, 0x40000u);
    EXPECT_EQ(rec.header.length, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec.data), 4), "ABCD");
    ASSERT_TRUE(r.next(&rec));
    EXPECT_EQ(rec.offset, 24u);
    EXPECT_EQ(rec.header.version, 2u);
    EXPECT_EQ(rec.header.length, 0u);
    EXPECT_FALSE(r.next(&rec));
    EXPECT_EQ(r.stop(), WrappedStop::End);
    EXPECT_EQ(r.offset(), kTwoRecords.size());
}

// Every way of stopping, after one good record: where it stops and what it read there.
TEST(WrappedReader, SaysWhyItStopped)
{
    const testkit::WrappedRecord good = testkit::stock_record("L2T", "7.12.3");
    const testkit::Bytes start = testkit::wrapped_file({good});
    for (const auto& c : wrapped_test::wrapped_cases(start, good)) {
        SCOPED_TRACE(c.what);
        const Walked w = walk(c.file);
        EXPECT_EQ(w.stop, c.stop);
        if (c.stop == WrappedStop::End) {
            EXPECT_EQ(w.tags.size(), 2u);
            EXPECT_EQ(w.offset, c.file.size());
        } else {
            EXPECT_EQ(w.tags, std::vector<uint32_t>{good.tag});
            EXPECT_EQ(w.offset, start.size()) << "stops where the broken header starts";
        }
    }
}

TEST(WrappedReader, StoppingHeaderIsKeptForTheCaller)
{
    testkit::WrappedRecord r = testkit::stock_record("L2T", "7.12.3");
    r.version = 7;
    r.length = 0x100000;
    const testkit::Bytes b = testkit::wrapped_file({r});
    for (bool check : {true, false}) {
        SCOPED_TRACE(check);
        WrappedReader reader(b.data(), b.size(), check);
        WrappedRecord rec;
        EXPECT_FALSE(reader.next(&rec));
        EXPECT_EQ(reader.stop(), check ? WrappedStop::BadVersion : WrappedStop::PastEnd);
        EXPECT_EQ(rec.header.tag, r.tag);
        EXPECT_EQ(rec.header.length, 0x100000u);
        EXPECT_EQ(rec.data, nullptr);
    }
}

TEST(WrappedReader, EmptyAndNullInputsEndAtOnce)
{
    WrappedRecord rec;
    WrappedReader none(nullptr, 100);
    EXPECT_FALSE(none.next(&rec));
    EXPECT_EQ(none.stop(), WrappedStop::End);
    WrappedReader empty(kTwoRecords.data(), 0);
    EXPECT_FALSE(empty.next(&rec));
    EXPECT_EQ(empty.stop(), WrappedStop::End);
    // A header that fits but for one byte.
    WrappedReader cut(kTwoRecords.data(), fwupg::kWrappedHeaderSize - 1);
    EXPECT_FALSE(cut.next(&rec));
    EXPECT_EQ(cut.stop(), WrappedStop::ShortHeader);
}

}  // namespace
