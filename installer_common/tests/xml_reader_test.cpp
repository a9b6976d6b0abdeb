#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "installer_common/CTvnXMLReader.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "test_root.h"

namespace {

std::u16string Str(const char16_t* s) { return s ? std::u16string(s) : u"<null>"; }

// The text an element shows: that of its "#TEXT" child, or null.
const char16_t* TextOf(const CTvnXMLNode* n)
{
    const CTvnXMLNode* t = n ? n->FindChild(u"#TEXT") : nullptr;
    return t ? t->GetText() : nullptr;
}

CTvnXMLNode* Load(CTvnXMLReader& reader, const std::string& xml)
{
    EXPECT_EQ(reader.LoadBuffer(xml.data(), xml.size()), CTvnXMLReader::kLoaded) << xml;
    return reader.GetRoot()->GetFirstChild();
}

}  // namespace

TEST(XmlReader, LaterChildrenStandInReverseOrder)
{
    CTvnXMLReader reader;
    CTvnXMLNode* r = Load(reader, "<r><i n='A'/><i n='B'/><x/><i n='C'/><i n='D'/></r>");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Str(reader.GetRoot()->GetName()), u"#DOCROOT");
    std::u16string order;
    for (CTvnXMLNode* c = r->GetFirstChild(); c; c = c->GetNextSibling()) {
        order += c->GetAttribute(u"n") ? c->GetAttribute(u"n") : u"x";
        EXPECT_EQ(c->GetParent(), r);
    }
    EXPECT_EQ(order, u"ADCxB");
    // A repeated element is found first at its first occurrence; the others follow from the last.
    CTvnXMLNode* first = reader.FindChild(r, u"i", nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Str(first->GetAttribute(u"n")), u"A");
    EXPECT_EQ(Str(first->FindNextSibling(u"i")->GetAttribute(u"n")), u"D");
}

TEST(XmlReader, TextRule)
{
    struct Case {
        const char* xml;
        const char16_t* text;  // of the element e, nullptr for none
    };
    const Case cases[] = {
        {"<e>xy</e>", u"xy"},
        {"<e>x\ny</e>", u"xy"},
        {"<e>x\r\n  y</e>", u"x"},           // the piece after the line end begins with blanks
        {"<e>a &amp; b</e>", u"a &"},        // the piece after the reference begins with a blank
        {"<e>a&amp;b&#x20AC;</e>", u"a&b\u20ac"},
        {"<e> lead</e>", nullptr},
        {"<e>\nlead</e>", nullptr},
        {"<e/>", nullptr},
        {"<e>pre<c/>post</e>", u"pre"},      // text after a child element is lost
        {"<e><c/>post</e>", nullptr},
    };
    for (const auto& c : cases) {
        CTvnXMLReader reader;
        CTvnXMLNode* e = Load(reader, c.xml);
        ASSERT_NE(e, nullptr) << c.xml;
        EXPECT_EQ(Str(TextOf(e)), Str(c.text)) << c.xml;
    }
    // Text after a child's end is not added to the child's text either.
    CTvnXMLReader reader;
    CTvnXMLNode* e = Load(reader, "<e><c>in</c>out<d>x</d></e>");
    EXPECT_EQ(Str(TextOf(e->FindChild(u"c"))), u"in");
    EXPECT_EQ(Str(TextOf(e->FindChild(u"d"))), u"x");
}

TEST(XmlReader, CdataBecomesItsOwnNode)
{
    CTvnXMLReader reader;
    CTvnXMLNode* e = Load(reader, "<e><![CDATA[a <b>\n & c]]><f/></e>");
    CTvnXMLNode* cdata = e->GetFirstChild();
    ASSERT_NE(cdata, nullptr);
    EXPECT_EQ(Str(cdata->GetName()), u"#CDATA");
    EXPECT_EQ(cdata->GetType(), 1);
    EXPECT_EQ(Str(cdata->GetText()), u"a <b>\n & c");
    EXPECT_EQ(cdata->GetParent(), e);
    EXPECT_NE(e->FindChild(u"f"), nullptr);  // the element after the section is a sibling, not a child
    EXPECT_EQ(cdata->GetFirstChild(), nullptr);
}

TEST(XmlReader, FindChildMatchesAttributeValuesIgnoringCase)
{
    CTvnXMLReader reader;
    CTvnXMLNode* r = Load(reader, "<r><d id='x'/><d ID='abc' v='1'/><d v='2'/><d id='ABC' v='3'/><D id='abc'/></r>");
    CTvnXMLNode* hit = reader.FindChild(r, u"d", u"id", u"abc");
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(Str(hit->GetAttribute(u"v")), u"3");
    EXPECT_EQ(reader.FindChild(r, u"d", u"id", u"zzz"), nullptr);
    EXPECT_EQ(reader.FindChild(r, u"D", u"ID", u"abc"), nullptr);  // names match exactly
    EXPECT_EQ(Str(reader.FindChild(r, u"d", u"id", nullptr)->GetAttribute(u"id")), u"x");  // no filter
    EXPECT_EQ(Str(reader.FindChild(nullptr, u"r", nullptr, nullptr)->GetName()), u"r");    // NULL: the root
    EXPECT_EQ(hit->GetAttributeCount(), 2);
    EXPECT_EQ(hit->GetAttributeValue(2), nullptr);
}

TEST(XmlReader, LoadFileResults)
{
    TestRoot root;
    WriteAll(root.path("C/pkg/Install.xml"), "<install><name>x</name></install>");
    WriteAll(root.path("C/pkg/bad.xml"), "<install><name></install>");
    WriteAll(root.path("C/pkg/empty.xml"), "");

    CTvnXMLReader reader;
    EXPECT_EQ(reader.LoadFile(u"C:\\pkg\\install.xml"), CTvnXMLReader::kLoaded);  // names match without case
    EXPECT_TRUE(reader.IsLoaded());
    EXPECT_NE(reader.FindChild(nullptr, u"install", nullptr, nullptr), nullptr);

    struct Case {
        const char16_t* path;
        int result;
    };
    const Case cases[] = {
        {u"C:\\pkg\\missing.xml", CTvnXMLReader::kCannotOpen},
        {u"C:\\nofolder\\x.xml", CTvnXMLReader::kCannotOpen},
        {u"C:\\pkg", CTvnXMLReader::kCannotOpen},  // a folder
        {u"C:\\pkg\\bad.xml", CTvnXMLReader::kParseFailed},
        {u"C:\\pkg\\empty.xml", CTvnXMLReader::kParseFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reader.LoadFile(c.path), c.result) << Str(c.path).size();
        EXPECT_FALSE(reader.IsLoaded());
        EXPECT_EQ(reader.FindChild(nullptr, u"install", nullptr, nullptr), nullptr);  // the old tree is gone
    }

    // A file another handle holds without sharing reads cannot be opened.
    win::HANDLE held = win::CreateFileW(u"C:\\pkg\\install.xml", win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0,
                                        nullptr);
    ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(reader.LoadFile(u"C:\\pkg\\install.xml"), CTvnXMLReader::kCannotOpen);
    win::CloseHandle(held);

    // A file whose size does not fit 32 bits cannot be read (sparse: no space is used).
    int fd = open(root.path("C/pkg/huge.xml").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 5LL << 30), 0);
    close(fd);
    EXPECT_EQ(reader.LoadFile(u"C:\\pkg\\huge.xml"), CTvnXMLReader::kCannotRead);
}

TEST(XmlReader, ShiftJisDocuments)
{
    // "テスト" and half-width katakana "ｱ" in Shift-JIS.
    const std::string body = "<r a='\x83\x65'>\x83\x65\x83\x58\x83\x67\xb1</r>";
    for (const char* name : {"Shift_JIS", "shift_jis", "SHIFT_JIS"}) {
        CTvnXMLReader reader;
        CTvnXMLNode* r = Load(reader, std::string("<?xml version='1.0' encoding='") + name + "'?>" + body);
        ASSERT_NE(r, nullptr) << name;
        EXPECT_EQ(Str(TextOf(r)), u"\u30c6\u30b9\u30c8\uff71") << name;
        EXPECT_EQ(Str(r->GetAttribute(u"a")), u"\u30c6") << name;
    }
    struct Bad {
        const char* what;
        std::string xml;
    };
    const Bad bad[] = {
        {"invalid trail byte", "<?xml version='1.0' encoding='Shift_JIS'?><r>\x83\x20</r>"},
        {"invalid single byte", "<?xml version='1.0' encoding='Shift_JIS'?><r>\x01</r>"},
        {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?><r>\x80</r>"},
        {"SJIS alias", "<?xml version='1.0' encoding='SJIS'?><r>x</r>"},
    };
    for (const auto& b : bad) {
        CTvnXMLReader reader;
        EXPECT_EQ(reader.LoadBuffer(b.xml.data(), b.xml.size()), CTvnXMLReader::kParseFailed) << b.what;
        EXPECT_FALSE(reader.IsLoaded()) << b.what;
    }
}

TEST(XmlReader, TextLongerThanExpatsPieces)
{
    // Expat's wide build delivers character data in pieces of 1024 units; a long text must come
    // out whole, also when a piece boundary falls on a blank or inside a two-byte character.
    std::u16string expected;
    std::string xml = "<e>";
    for (int i = 0; i < 3000; ++i) {
        char16_t c = i == 1024 || i == 2048 ? u' ' : i % 7 == 0 ? u'\u00e9' : char16_t(u'a' + i % 26);
        expected += c;
        if (c == u'\u00e9')
            xml += "\xc3\xa9";
        else
            xml += char(c);
    }
    xml += "</e>";
    CTvnXMLReader reader;
    CTvnXMLNode* e = Load(reader, xml);
    EXPECT_EQ(Str(TextOf(e)), expected);
}

TEST(XmlReader, LongSiblingListIsFreedWithoutDeepRecursion)
{
    std::string xml = "<r>";
    for (int i = 0; i < 300000; ++i) xml += "<i/>";
    xml += "</r>";
    CTvnXMLReader reader;
    CTvnXMLNode* r = Load(reader, xml);
    size_t n = 0;
    for (CTvnXMLNode* c = r->GetFirstChild(); c; c = c->GetNextSibling()) ++n;
    EXPECT_EQ(n, 300000u);
    reader.Clear();  // deleting the list must not take a stack frame per sibling
    EXPECT_EQ(reader.GetRoot(), nullptr);
    EXPECT_FALSE(reader.IsLoaded());
}
