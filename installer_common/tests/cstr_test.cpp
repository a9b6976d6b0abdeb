#include "installer_common/CStr.h"

#include <gtest/gtest.h>

TEST(CStr, TrimsWhiteSpaceOnEachSide)
{
    CStr s(u" \t\r\n value x \n\t ");
    CStr left = s, right = s;
    left.TrimLeft();
    right.TrimRight();
    EXPECT_EQ(left, u"value x \n\t ");
    EXPECT_EQ(right, u" \t\r\n value x");
    CStr blank(u" \t ");
    blank.TrimLeft();
    EXPECT_TRUE(blank.empty());
}

TEST(CStr, CompareIgnoresCaseAndNullGivesOne)
{
    struct Case {
        const char16_t* text;
        const char16_t* other;
        bool equal;
    };
    const Case cases[] = {
        {u"Model", u"MODEL", true},
        {u"Model", u"Modell", false},
        {u"", u"", true},
        {u"abc", u"abd", false},
    };
    for (const auto& c : cases) EXPECT_EQ(CStr(c.text).Compare(c.other) == 0, c.equal) << c.equal;
    EXPECT_EQ(CStr(u"Model").Compare(nullptr), 1);
}

TEST(CStr, FindNoCase)
{
    EXPECT_EQ(CStr(u"xpci\\ven").FindNoCase(u"PCI"), 1);
    EXPECT_EQ(CStr(u"xpci\\ven").FindNoCase(u"VEN"), 5);
    EXPECT_EQ(CStr(u"xpci\\ven").FindNoCase(u"dev"), -1);
    EXPECT_EQ(CStr(u"ab").FindNoCase(u"abc"), -1);
}

TEST(CStr, ReleaseBufferCutsAtCapacityWithoutNul)
{
    CStr s(u"old");
    char16_t* b = s.GetBuffer(5);
    for (int i = 0; i < 5; ++i) b[i] = char16_t(u'A' + i);  // no NUL anywhere in the buffer
    s.ReleaseBuffer(0);
    EXPECT_EQ(s, u"ABCD");

    b = s.GetBuffer(10);
    EXPECT_EQ(std::u16string(b), u"ABCD");  // the buffer starts as a copy of the text
    b[2] = 0;
    s.ReleaseBuffer(0);
    EXPECT_EQ(s, u"AB");

    b = s.GetBuffer(0);  // length + 1
    b[0] = u'z';
    s.ReleaseBuffer(1);
    EXPECT_EQ(s, u"z");

    s.ReleaseBuffer(0);  // no buffer: nothing changes
    EXPECT_EQ(s, u"z");
}

TEST(CStr, CopiesNeverShareTheSideBuffer)
{
    CStr a(u"abc");
    char16_t* b = a.GetBuffer(8);
    CStr copy(a);
    copy = a;
    b[0] = u'X';
    a.ReleaseBuffer(0);
    copy.ReleaseBuffer(0);  // copy has no buffer of its own
    EXPECT_EQ(a, u"Xbc");
    EXPECT_EQ(copy, u"abc");
}

TEST(CStr, CaseChangesAndMid)
{
    CStr s(u"Pci\\Ven_14e4");
    s.MakeUpper();
    EXPECT_EQ(s, u"PCI\\VEN_14E4");
    s.MakeLower();
    EXPECT_EQ(s, u"pci\\ven_14e4");
    EXPECT_EQ(s.Mid(4, 3), u"ven");
    EXPECT_EQ(s.Mid(8), u"14e4");
    EXPECT_THROW(s.Mid(99), std::out_of_range);
    EXPECT_EQ(CStr(static_cast<const char16_t*>(nullptr)), u"");
}
