#include "platform/utf16.h"

#include <gtest/gtest.h>

using platform::to_utf16;
using platform::to_utf8;

TEST(Utf16, RoundTripsTable)
{
    struct Case { std::u16string wide; std::string narrow; };
    const Case cases[] = {
        {u"", ""},
        {u"abc", "abc"},
        {u"\u00e9t\u00e9", "\xc3\xa9t\xc3\xa9"},
        {u"\u20ac", "\xe2\x82\xac"},
        {u"\U0001F600x", "\xf0\x9f\x98\x80x"},  // surrogate pair
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_utf8(c.wide), c.narrow);
        EXPECT_EQ(to_utf16(c.narrow), c.wide);
    }
}

TEST(Utf16, InvalidInputBecomesReplacement)
{
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    EXPECT_EQ(to_utf8(lone), "a\xef\xbf\xbd" "b");
    EXPECT_EQ(to_utf16(std::string("\xff" "a")), u"\ufffd" u"a");
    EXPECT_EQ(to_utf16(std::string("\xe2\x82")), u"\ufffd");         // cut sequence
    EXPECT_EQ(to_utf16(std::string("\xc0\x80")), u"\ufffd");         // overlong NUL
    char buf[8];
    auto r = to_utf8(lone, buf, sizeof buf);
    EXPECT_TRUE(r.invalid);
}

TEST(Utf16, LittleEndianBytesCarryEveryUnitAsItIs)
{
    // Written by hand: low byte first; a lone surrogate goes through unchanged.
    const std::string bytes("A\0\xE9\0\xAC\x20\x00\xDC", 8);
    const std::u16string text{u'A', u'\u00e9', u'\u20ac', char16_t(0xDC00)};
    EXPECT_EQ(platform::from_utf16le(bytes), text);
    EXPECT_EQ(platform::to_utf16le(text), bytes);
    // An odd last byte is half a unit and is left out.
    EXPECT_EQ(platform::from_utf16le(bytes + "x"), text);
    EXPECT_EQ(platform::from_utf16le("x"), u"");
}

TEST(Utf16, BoundedConversionCutsAtCharacterBoundary)
{
    char buf[4];
    auto r = to_utf8(u"a\u20ac", buf, sizeof buf);  // needs 1 + 3 + NUL = 5
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.written, 1u);
    EXPECT_STREQ(buf, "a");

    char16_t wbuf[3];
    auto w = to_utf16("x\xf0\x9f\x98\x80", wbuf, 3);  // pair does not fit after 'x'
    EXPECT_TRUE(w.truncated);
    EXPECT_EQ(w.written, 1u);
    EXPECT_EQ(wbuf[1], u'\0');

    auto exact = to_utf16("ab", wbuf, 3);
    EXPECT_FALSE(exact.truncated);
    EXPECT_EQ(std::u16string(wbuf), u"ab");

    char none[1] = {'z'};
    EXPECT_TRUE(to_utf8(u"a", none, 1).truncated);
    EXPECT_EQ(none[0], '\0');
}

TEST(Utf16, CopyNeverSplitsSurrogatePair)
{
    char16_t dst[3];
    auto r = platform::copy_utf16(u"a\U0001F600", dst, 3);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(std::u16string(dst), u"a");
    EXPECT_EQ(platform::u16_length(nullptr), 0u);
    EXPECT_TRUE(platform::u16_view(nullptr).empty());
}
