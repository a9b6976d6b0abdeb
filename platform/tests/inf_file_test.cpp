#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/inf_file.h"
#include "platform/utf16.h"

namespace inf = platform::inf;

namespace {

struct Expected {
    std::string key;  // "-" for no key
    std::vector<std::string> values;
};

void ExpectLines(const inf::Section* s, const std::vector<Expected>& expected)
{
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const inf::Line& l = s->lines[i];
        EXPECT_EQ(l.key ? platform::to_utf8(*l.key) : "-", expected[i].key) << i;
        std::vector<std::string> values;
        for (const auto& v : l.values) values.push_back(platform::to_utf8(v));
        EXPECT_EQ(values, expected[i].values) << i;
    }
}

}  // namespace

TEST(InfFile, LineSyntax)
{
    const char16_t text[] =
        u"; leading comment\r\n"
        u"[Version]\r\n"
        u"Signature = \"$Windows NT$\"   ; trailing comment\r\n"
        u"Provider=%Mfg%\r\n"
        u"[Files]\r\n"
        u"tvnx.sys,,,2\r\n"
        u"  lonely.dll  \r\n"
        u"Quoted = \"a,b;c\" , \"say \"\"hi\"\"\" , \" padded \"\r\n"
        u"Joined = one, \\\r\n"
        u"   two ; comment after a continuation\r\n"
        u"Percent = 100%%, %unknown%, %MFG% Inc\r\n"
        u"Empty = , ,\r\n"
        u"\r\n"
        u"   ; only a comment\r\n"
        u"[files]\r\n"
        u"later.sys\r\n"
        u"[Strings]\r\n"
        u"Mfg = \"Ostra %Corp%\"\r\n";
    inf::ParseResult r = inf::parse(text);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.file.sections.size(), 3u);  // [files] continues [Files]
    ExpectLines(r.file.find(u"VERSION"), {{"Signature", {"$Windows NT$"}}, {"Provider", {"Ostra %Corp%"}}});
    ExpectLines(r.file.find(u"files"), {
                                          {"-", {"tvnx.sys", "", "", "2"}},
                                          {"lonely.dll", {"lonely.dll"}},
                                          {"Quoted", {"a,b;c", "say \"hi\"", " padded "}},
                                          {"Joined", {"one", "two"}},
                                          {"Percent", {"100%", "%unknown%", "Ostra %Corp% Inc"}},
                                          {"Empty", {"", "", ""}},
                                          {"later.sys", {"later.sys"}},
                                      });
}

TEST(InfFile, SyntaxErrorsAndEncodings)
{
    struct Case {
        const char16_t* text;
        bool ok;
        unsigned line;
    };
    const Case cases[] = {
        {u"[Version]\nSignature=x\n[Broken\nk=v\n", false, 3},
        {u"stray=line before any section\n[A]\nk=v\n", true, 0},
        {u"[A]\nk=\"unterminated, quote\n", true, 0},
    };
    for (const Case& c : cases) {
        inf::ParseResult r = inf::parse(c.text);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.error_line, c.line);
    }
    std::u16string long_line = u"[A]\nk=" + std::u16string(inf::kMaxLineChars, u'x');
    EXPECT_FALSE(inf::parse(long_line).ok);

    // UTF-16LE with its byte-order mark, and UTF-8 with one.
    const std::string utf16("\xFF\xFE[\0A\0]\0\n\0k\0=\0\xE9\0", 16);
    EXPECT_EQ(inf::decode(utf16), u"[A]\nk=\u00E9");
    EXPECT_EQ(inf::decode("\xEF\xBB\xBFk=\xC3\xA9"), u"k=\u00E9");
}
