#include <gtest/gtest.h>

#include <cstring>

#include "CBaseComponent.h"
#include "CComponent.h"
#include "FamilyComponents.h"
#include "component_fixture.h"
#include "installer_common/Log.h"
#include "platform/utf16.h"
#include "testkit/component_files.h"
#include "testkit/component_machine.h"

namespace {

std::string U8(const char16_t* s) { return platform::to_utf8(platform::u16_view(s)); }

// A component whose package file gives names and descriptions in the languages of `package`.
struct Named {
    ComponentFolder folder;
    CBaseComponent component;
    explicit Named(const testkit::ComponentPackage& package)
    {
        folder.Write("dz012345.xml", testkit::package_file_xml(package));
        EXPECT_EQ(component.ReadPackageFile(u"dz012345.xml"), 0);
    }
};

}  // namespace

TEST(Properties, NamesAndDescriptionsFollowTheLanguageWithEnglishAsFallback)
{
    testkit::ComponentPackage p;
    p.names = {{"en", "Name EN"}, {"DE", "Name DE"}, {"ja", "名前"}};
    p.descriptions = {{"en", "Desc EN"}, {"de", "Desc DE"}};
    Named n(p);
    struct Case {
        int id;
        const char16_t* lang;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {1, u"de", 1, "Name DE"}, {1, u"pt", 1, "Name EN"}, {1, nullptr, 1, "Name EN"}, {1, u"ja", 1, "名前"},
        {2, u"DE", 1, "Desc DE"}, {2, u"fr", 1, "Desc EN"}, {4, u"de", 1, "1.0.0"},     {12, u"en", 0, "unchanged"},
    };
    for (const auto& c : cases) {
        char16_t out[64] = u"unchanged";
        EXPECT_EQ(n.component.GetProperty(c.id, out, 64, c.lang), c.result) << c.id;
        EXPECT_EQ(U8(out), c.text) << c.id;
    }
}

TEST(Properties, ATextMustBeShorterThanTheBuffer)
{
    testkit::ComponentPackage p;
    p.names = {{"en", "12345"}};
    p.version = "";
    Named n(p);
    char16_t out[16] = u"x";
    EXPECT_EQ(n.component.GetProperty(1, out, 6, u"en"), 1);
    EXPECT_EQ(U8(out), "12345");
    out[0] = u'x';
    out[1] = 0;
    EXPECT_EQ(n.component.GetProperty(1, out, 5, u"en"), 0);
    EXPECT_EQ(U8(out), "x");
    EXPECT_EQ(n.component.GetProperty(4, out, 16, u"en"), 0);  // an empty version value
    testkit::ComponentPackage none;
    none.names = {{"fr", "Nom"}};
    Named n2(none);
    EXPECT_EQ(n2.component.GetProperty(1, out, 16, u"de"), 0);  // neither the language nor English
}

TEST(Properties, SilentFlagsAndTheConstant)
{
    ComponentFolder f;
    CBaseComponent c;
    int32_t v = -1;
    for (int id : {6, 7, 8}) {
        EXPECT_EQ(c.GetProperty(id, &v, 1, u"en"), 1);
        EXPECT_EQ(v, 1) << id;
    }
    c.SetSilent(0);
    for (int id : {6, 7}) {
        c.GetProperty(id, &v, 1, u"en");
        EXPECT_EQ(v, 0) << id;
    }
    c.GetProperty(8, &v, 1, u"en");
    EXPECT_EQ(v, 1);
}

TEST(Languages, IndexAndTranslation)
{
    struct Case {
        const char16_t* code;
        int index;
    };
    for (const auto& c : {Case{u"fr", 1}, Case{u"IT", 2}, Case{u"de", 3}, Case{u"Es", 4}, Case{u"ja", 5}, Case{u"en", 0},
                          Case{u"", 0}, Case{nullptr, 0}, Case{u"fra", 0}})
        EXPECT_EQ(LangIndex(c.code), c.index);
    static const LanguageTable table = {u"English", u"Français", u"Italiano", u"Deutsch", u"Español", u"日本語"};
    static const LanguageTable noJapanese = {u"English", u"Français", u"", u"", u"", u""};
    EXPECT_EQ(U8(TranslateText(table, u"fr")), "English");
    EXPECT_EQ(U8(TranslateText(table, u"JA")), "日本語");
    EXPECT_EQ(U8(TranslateText(noJapanese, u"ja")), "English");
}

TEST(HostLog, HandoverMovesTheVerboseLogAndTheContextFollowsAtOnce)
{
    ComponentFolder f;
    testkit::ComponentPackage p;
    f.Write("dz012345.xml", testkit::package_file_xml(p));
    CCmpLog hostLog(u"host_verbose.log", nullptr);  // the host's: it outlives the component
    CCmpLog* host = &hostLog;
    YXZQTIRNComponent c;
    c.Log()->SetVerbose(1);
    ASSERT_EQ(c.Log()->Open(), 0);
    ASSERT_EQ(c.ReadPackageFile(u"dz012345.xml"), 0);
    LogVerbose(g_pLogContext, u"t.cpp", 1, u"own line\r\n");
    host->SetVerbose(1);
    ASSERT_EQ(host->Open(), 0);
    host->Write(2, 0, nullptr, 0, u"host line\r\n");

    EXPECT_EQ(c.GetProperty(9, host, 0, u"en"), 1);
    EXPECT_EQ(c.Log(), host);
    EXPECT_EQ(g_pLogContext->log, host);
    LogVerbose(g_pLogContext, u"t.cpp", 2, u"after handover\r\n");
    EXPECT_EQ(U8(host->GetVerboseLogName()), "dz012345.exe.log");
    std::string merged = f.ReadRoot("C/tvnsystem/log/dz012345.exe.log");
    EXPECT_NE(merged.find("host line"), std::string::npos);
    EXPECT_NE(merged.find("own line"), std::string::npos);
    EXPECT_NE(merged.find("[Pelar] after handover"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(f.root() + "/C/tvnsystem/log/host_verbose.log"));
}

TEST(HostLog, WithoutVerboseLoggingNothingChanges)
{
    ComponentFolder f;
    CCmpLog host(u"host_verbose.log", nullptr);
    YXZQTIRNComponent c;
    CCmpLog* own = c.Log();
    EXPECT_EQ(c.GetProperty(9, &host, 0, u"en"), 1);
    EXPECT_EQ(c.Log(), own);
    EXPECT_EQ(U8(host.GetVerboseLogName()), "host_verbose.log");
}

TEST(Factory, TheFirstKnownToolOfTheFolderPicksTheFamily)
{
    struct Case {
        std::vector<std::string> files;
        const std::type_info* family;
    };
    const Case cases[] = {
        {{"zknvmupdate.exe"}, &typeid(QuentaTIRNComponent)},
        {{"ZKBOOTUTIL.EXE"}, &typeid(QuentaTIRNComponent)},
        // Both present: the one the folder lists first decides, not the one earlier in the table.
        {{"YXZQFWUpg.exe", "ZKMxFlash.exe"}, &typeid(YXZQTIRNComponent)},
        {{"OstraNicFwUpg.exe", "YXZQFWUpg.exe"}, &typeid(ZorevuviTIRNComponent)},
        {{"xYXZQFWUpg.exe", "YXZQFWUpg.exe.old", "YXZQFWUpg.exe.exe"}, nullptr},
        {{"readme.txt"}, nullptr},
    };
    for (const auto& c : cases) {
        ComponentFolder f;
        for (const auto& name : c.files) f.Write(name, "");
        std::unique_ptr<CBaseComponent> made(CreateComponentForFolder());
        if (!c.family) {
            EXPECT_EQ(made, nullptr) << c.files[0];
            continue;
        }
        ASSERT_NE(made, nullptr) << c.files[0];
        EXPECT_EQ(typeid(*made), *c.family) << c.files[0];
    }
}

TEST(BaseComponent, Is64BitOSFollowsTheArchitectureOfAnNtSystem)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> facts;
        int result;
    };
    const Case cases[] = {
        {{}, 1},  // x64
        {{{"ProcessorArchitecture", "0"}}, 0},
        {{{"ProcessorArchitecture", "6"}}, 1},
        {{{"ProcessorArchitecture", "10"}}, 1},  // x86 on 64-bit Windows
        {{{"ProcessorArchitecture", "12"}}, 0},  // an architecture the check does not know
        {{{"OsPlatformId", "1"}}, 0},           // not the NT platform
    };
    for (const auto& c : cases) {
        ComponentFolder f;
        testkit::add_system_facts(f.root(), c.facts);
        CBaseComponent component;
        EXPECT_EQ(component.Is64BitOS(), c.result) << (c.facts.empty() ? "x64" : c.facts[0].first + "=" + c.facts[0].second);
    }
}
