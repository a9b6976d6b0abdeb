// Version text of firmware files by kind, on small synthetic files; offsets read from the file
// that lead outside it give no version.
#include <gtest/gtest.h>

#include "fwupg/nvm/commands/commands.h"
#include "kit_board.h"
#include "testkit/bytes.h"

namespace fwupg::nvm::test {
namespace {

using testkit::Bytes;

struct Case {
    const char* name;
    uint32_t kind;
    Bytes file;
    int result;
    const char* text;
};

Bytes sized(size_t n, std::initializer_list<std::pair<size_t, uint32_t>> le32 = {})
{
    Bytes b(n, 0);
    for (auto [at, v] : le32)
        testkit::set_le32(b, at, v);
    return b;
}

std::vector<Case> cases()
{
    std::vector<Case> c;
    // Kinds 0/4/10: bits 16-18 of the word at 12 choose 19+116, else 19+120; a zero word at 23
    // moves back 12 bytes. The version is the word there shifted right by 8.
    c.push_back({"Kind0At116", 0, sized(160, {{12, 0x00010000}, {23, 1}, {135, 0x07020500}}), 1, "v7.2.5"});
    c.push_back({"Kind4At120", 4, sized(160, {{23, 1}, {139, 0x01020300}}), 1, "v1.2.3"});
    c.push_back({"Kind10BackTwelve", 10, sized(160, {{127, 0x09080700}}), 1, "v9.8.7"});
    c.push_back({"Kind2AlwaysAt116", 2, sized(160, {{23, 1}, {135, 0x03000100}}), 1, "v3.0.1"});
    c.push_back({"Kind0Short", 0, sized(100, {{23, 1}}), 0, ""});
    c.push_back({"Kind1ThroughHeader", 1, sized(80, {{8, 0x10}, {44, 0x00040506}}), 1, "v4.5.6"});
    c.push_back({"Kind1HeaderOutside", 1, sized(80, {{8, 0xFFF0}}), 0, ""});
    {
        Bytes b = sized(64, {{4, 2}});
        testkit::set_le16(b, 23, 20);
        const char* t = "v12.3.45";
        std::copy(t, t + 8, b.begin() + 39);
        c.push_back({"Kind5Text", 5, b, 1, "v12.3.45"});
        Bytes one = b;
        testkit::set_le32(one, 4, 1);
        c.push_back({"Kind5WordIsOne", 5, one, 0, ""});
        Bytes far = b;
        testkit::set_le16(far, 23, 0xFFFF);
        c.push_back({"Kind11TextOutside", 11, far, 0, ""});
        Bytes unterminated = sized(42, {{4, 2}});
        testkit::set_le16(unterminated, 23, 20);
        std::copy(t, t + 3, unterminated.begin() + 39);
        c.push_back({"Kind5CutText", 5, unterminated, 0, ""});
    }
    c.push_back({"Kind8", 8, Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 5, 0x34, 0x12}, 1, "v2.5.4660"});
    {
        Bytes b(40, 0);
        b[36] = 1, b[37] = 2, b[38] = 3;
        c.push_back({"Kind14", 14, b, 1, "v1.2.3"});
        c.push_back({"Kind14Short", 14, Bytes(38, 1), 0, ""});
    }
    c.push_back({"Kind15", 15, Bytes(4, 0), 1, ""});
    for (uint32_t k : {6u, 7u, 9u, 12u, 13u, 16u})
        c.push_back({"Unknown", k, sized(200, {{23, 1}}), 0, ""});
    return c;
}

TEST(FileVersion, ByKind)
{
    TempDir tmp;
    KitBoard b(kit_board_def());
    HostOps ops = b.adapter.ops();
    for (const Case& c : cases()) {
        const std::string path = (tmp / std::string(c.name) + std::to_string(c.kind));
        testkit::write_file(path, c.file);
        char text[64] = "";
        EXPECT_EQ(get_image_file_version(ops, path.c_str(), c.kind, text), c.result) << c.name;
        EXPECT_STREQ(text, c.text) << c.name;
    }
    char text[64] = "";
    EXPECT_EQ(get_image_file_version(ops, (tmp / "missing").c_str(), 15, text), 0);
}

}  // namespace
}  // namespace fwupg::nvm::test
