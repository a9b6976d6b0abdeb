// The malformed wrapped files every reader of wrapped records is run against: a good beginning
// followed by one more record, whole or broken in each way the reader can stop. Each caller's
// test builds the cases from its own good beginning and record, and says what it makes of each
// stop reason.
#pragma once

#include <string>
#include <vector>

#include "fwupg/wrapped_record.h"
#include "testkit/bytes.h"
#include "testkit/images.h"

namespace wrapped_test {

struct WrappedCase {
    std::string what;
    testkit::Bytes file;
    fwupg::WrappedStop stop;  // with versions checked
};

inline std::vector<WrappedCase> wrapped_cases(const testkit::Bytes& start, const testkit::WrappedRecord& next)
{
    using fwupg::WrappedStop;
    auto then = [&](const testkit::WrappedRecord& r) {
        testkit::Bytes b = start;
        const testkit::Bytes more = testkit::wrapped_file({r});
        b.insert(b.end(), more.begin(), more.end());
        return b;
    };
    auto with = [&](auto change) {
        testkit::WrappedRecord r = next;
        change(r);
        return then(r);
    };
    testkit::Bytes short_tail = start;
    short_tail.insert(short_tail.end(), 19, 0xAA);
    return {
        {"records end with the file", then(next), WrappedStop::End},
        {"19 bytes after the last record", short_tail, WrappedStop::ShortHeader},
        {"a header without the magic", with([](auto& r) { r.magic = 0x12345678; }), WrappedStop::BadMagic},
        {"a header of version 3", with([](auto& r) { r.version = 3; }), WrappedStop::BadVersion},
        {"a record past the end", with([](auto& r) { r.length = uint32_t(r.data.size() + 4); }), WrappedStop::PastEnd},
        {"a length that wraps 32 bits", with([](auto& r) { r.length = 0xFFFFFFF0u; }), WrappedStop::PastEnd},
    };
}

}  // namespace wrapped_test
