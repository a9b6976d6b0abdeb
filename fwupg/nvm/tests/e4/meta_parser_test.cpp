// The meta-text reader: the tree it builds, its lexical rules and its error texts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fwupg/nvm/e4/meta.h"

namespace {

struct TreeDeleter {
    void operator()(nvm_meta_node* n) const { nvm_meta_free(n); }
};
using Tree = std::unique_ptr<nvm_meta_node, TreeDeleter>;

Tree parse(const std::string& text, std::string* error = nullptr)
{
    return Tree(nvm_meta_parse(text.data(), text.size(), error));
}

// The tree written back as text: lists as [a|b], arrays as {k=v k2={...}}.
std::string show(const nvm_meta_node* n)
{
    if (const char* t = nvm_meta_text(n)) return t;
    const bool array = n->type == NVM_META_ARRAY;
    std::string s = array ? "{" : "[";
    for (nvm_meta_item* i = nvm_meta_first(n); i; i = nvm_meta_next(i)) {
        if (i != nvm_meta_first(n)) s += array ? " " : "|";
        if (array) s += std::string(nvm_meta_item_key(i)) + "=";
        s += show(nvm_meta_item_node(i));
    }
    return s + (array ? "}" : "]");
}

struct Case {
    const char* name;
    std::string text;
    const char* tree;  // null: the parse fails
    const char* error = "";
};

class MetaParse : public ::testing::TestWithParam<Case> {};

TEST_P(MetaParse, BuildsTheTreeOrFails)
{
    const Case& c = GetParam();
    std::string error;
    Tree t = parse(c.text, &error);
    if (!c.tree) {
        EXPECT_EQ(t, nullptr);
        EXPECT_EQ(error, c.error);
        return;
    }
    ASSERT_NE(t, nullptr) << error;
    EXPECT_EQ(show(t.get()), c.tree);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MetaParse,
    ::testing::Values(
        Case{"SubArraysInOrderOfFirstUse", "array set nvm_cfg {1,name {Port MAC} 2,name Version 1,size mac }",
             "{nvm_cfg={1={name=Port MAC size=mac} 2={name=Version}}}"},
        Case{"SetValues", "set opts {a \"b c\" {d {e}} 0x1F }", "{opts=[a|b c|d {e}|31]}"},
        Case{"BracesInsideQuotesDontCount", "set s {{a \"}\" b} }", "{s=[a \"}\" b]}"},
        Case{"HexTokens", "set n {0x10 -0X10 +0x10 010 0x10g 0x 0xFFFFFFFF -0xFFFFFFFFF }",
             "{n=[16|-16|16|010|0x10g|0x|2147483647|-2147483648]}"},
        Case{"ContinuationWithSpaceBeforeBrace", "set a {x \\\ny \\\n}\n", "{a=[x|y]}"},
        Case{"CommentsAndOtherLinesIgnored", "# set x {1 }\nproc p {} {}\n\n   set y {2 }", "{y=[2]}"},
        Case{"CrLfAndBlankLines", "set a {1 }\r\n\r\n\r\narray set b {k v }\r\n", "{a=[1] b={k=v}}"},
        Case{"SettingTakesTheSetPath", "setting {1 }", "{ting=[1]}"},
        Case{"QuotedKeyKeepsItsQuotes", "array set a {\"k\" v }", "{a={\"k\"=v}}"},
        Case{"DuplicateKeysKept", "array set a {k 1 k 2 } \nset a {x }", "{a={k=1 k=2} a=[x]}"},
        Case{"TextAfterClosingBraceIgnored", "set a {1 } trailing words", "{a=[1]}"},
        Case{"NothingToRead", "\n\r\n", "{}"},
        Case{"BraceOnTheNextLine", "set a {x\n}", nullptr, "pos <1,8> ... '        ' - key expected error"},
        Case{"ContinuationAgainstTheBrace", "set a {x \\\ny}\n", nullptr,
             "pos <2,12> ... '        ' - key expected error"},
        Case{"SetWithoutBraces", "set a b c\nset ok {1 }", nullptr, "pos <1,6> ... '     b c' - syntax error"},
        Case{"ArrayWithoutSet", "array get a {k v }", nullptr, "pos <1,6> ... 'get a {k' - syntax error"},
        Case{"StringNotEnded", "set a {\"abc }", nullptr, "pos <1,7> ... '  \"abc }' - string not ended error"},
        Case{"QuoteNotEndedInsideBraces", "set a {{x \"y} }", nullptr,
             "pos <1,10> ... '   \"y} }' - string not ended inside braces error"},
        Case{"BracesNotEnded", "set a {{x {y }", nullptr, "pos <1,14> ... '        ' - braces sequence not ended error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MetaParseLimits, ReadsOnlyWithinTheBuffer)
{
    // No NUL after the text: the parse stops at the length it was given.
    const std::string text = "set a {1 } set b {2 }";
    Tree t(nvm_meta_parse(text.data(), 10, nullptr));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(show(t.get()), "{a=[1]}");
    // A NUL-padded image ends at its first NUL.
    const std::string padded("set a {1 }\0\0set b {2 }", 22);
    Tree u(nvm_meta_parse(padded.data(), padded.size(), nullptr));
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(show(u.get()), "{a=[1]}");
}

TEST(MetaParseLimits, JoinedLineLongerThan65535IsRefused)
{
    std::string ok = "set a {" + std::string(65535 - 9, 'x') + " }";
    ASSERT_EQ(ok.size(), 65535u);
    EXPECT_NE(parse(ok), nullptr);
    std::string error;
    std::string joined = "set a {" + std::string(40000, 'x') + " \\\n" + std::string(30000, 'y') + " }";
    EXPECT_EQ(parse(joined, &error), nullptr);
    EXPECT_NE(error.find("line too long error"), std::string::npos) << error;
}

TEST(MetaLookups, FindTheFirstMatchAndAnswerByNodeType)
{
    Tree t = parse("array set a {7 x 7 y 8,size 3 } \nset l {p q }");
    ASSERT_NE(t, nullptr);
    nvm_meta_node* a = nvm_meta_get(t.get(), "a");
    EXPECT_STREQ(nvm_meta_text(nvm_meta_get(a, "7")), "x");
    EXPECT_STREQ(nvm_meta_text(nvm_meta_get_index(a, 7)), "x");
    EXPECT_STREQ(nvm_meta_has_index(a, 8), "8");
    EXPECT_EQ(nvm_meta_has(a, "9"), nullptr);
    EXPECT_EQ(nvm_meta_int(nvm_meta_get(nvm_meta_get(a, "8"), "size")), 3);
    nvm_meta_node* l = nvm_meta_get(t.get(), "l");
    EXPECT_EQ(nvm_meta_count(l), 2);
    EXPECT_EQ(nvm_meta_count(nvm_meta_at(l, 0)), -1);
    EXPECT_STREQ(nvm_meta_text(nvm_meta_at(l, 1)), "q");
    EXPECT_EQ(nvm_meta_at(l, 2), nullptr);
    EXPECT_EQ(nvm_meta_at(l, -1), nullptr);
    EXPECT_EQ(nvm_meta_at(a, 0), nullptr);     // not a list
    EXPECT_EQ(nvm_meta_get(l, "p"), nullptr);  // not an array
    EXPECT_EQ(nvm_meta_item_key(nvm_meta_first(l)), nullptr);
    EXPECT_EQ(nvm_meta_first(nvm_meta_at(l, 0)), nullptr);
}

}  // namespace
