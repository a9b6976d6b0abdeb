#include <gtest/gtest.h>

#include "ComponentText.h"
#include "HostSwitches.h"
#include "UpdateTools.h"
#include "platform/utf16.h"

namespace {

std::string U8(const char16_t* s) { return platform::to_utf8(platform::u16_view(s)); }

std::string FileAfter(const std::u16string& line, const SwitchGroup& group)
{
    char16_t out[kSwitchFileChars + 1] = u"untouched";
    if (!GetSwitchFileName(line.c_str(), group, out)) return "<none>";
    return U8(out);
}

}  // namespace

TEST(HostSwitches, GroupsAndFileNames)
{
    struct Case {
        std::u16string line;
        const SwitchGroup* group;
        bool present;
        std::string file;
    };
    const Case cases[] = {
        {u"host /d report.xml /s", &DiscoverSwitches, true, "report.xml "},  // keeps the blank before /s
        {u"host -D  report.xml", &DiscoverSwitches, true, "report.xml"},
        {u"host /d", &DiscoverSwitches, true, ""},
        {u"host /d a.xml -s", &DiscoverSwitches, true, "a.xml -s"},  // a dash switch is part of the name
        {u"host /d \"a b.xml\" /u", &DiscoverSwitches, true, "\"a b.xml\" "},
        {u"host/V", &VersionSwitches, false, "<none>"},
        {u"host /downgrade", &DiscoverSwitches, false, "<none>"},  // not a discovery of "owngrade"
        {u"host /downgrade", &DowngradeSwitches, true, ""},
        {u"host /downgrade /d x", &DiscoverSwitches, true, "x"},
        {u"host /VERBOSE_LOG", &VersionSwitches, false, "<none>"},
        {u"host /VERBOSE_LOG", &VerboseLogSwitches, true, ""},
        {u"host /verbose_log /V", &VersionSwitches, true, ""},
        {u"host /force", &ForceSwitches, true, ""},
        {u"host /E", &RewriteSwitches, true, ""},
        {u"host /u C:\\r.xml", &UpgradeSwitches, true, "C:\\r.xml"},
        {u"host /u a/b.xml", &UpgradeSwitches, true, "a/b.xml"},  // a slash not after a blank stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::to_utf8(c.line));
        EXPECT_EQ(IsSwitchPresent(c.line.c_str(), *c.group), c.present);
        EXPECT_EQ(FileAfter(c.line, *c.group), c.file);
    }
    std::u16string longName = u"host /d " + std::u16string(300, u'n');
    EXPECT_EQ(FileAfter(longName, DiscoverSwitches), std::string(259, 'n'));
}

TEST(UpdateTools, TheKeyFileNamesProgramOffsetAndTitle)
{
    struct Case {
        const char16_t* key;
        const char16_t* program;
        unsigned offset;
        const char16_t* title;
    };
    const Case cases[] = {
        {u"C:\\t\\YXZQFWUpg.exe", u"YXZQFWUpg.exe", 5, u"ZKE Aldern Corvane Varnelle Utility for Windows Server"},
        {u"C:\\t\\OstraNicFwUpg.exe", u"OstraNicFWUpg.exe", 0, u"ZKE Zorevuvi Varnelle Utility for Windows"},
        {u"C:\\t\\ZKBootUtil.exe", u"ZKNVMUpdate.exe", 2, u"ZKE Quenta Varnelle Utility for Windows"},
        {u"C:\\t\\yxzqfwupg.exe", nullptr, 0, nullptr},  // names are matched with their case
    };
    for (const auto& c : cases) {
        const UpdateTool* t = GetUpdateToolName(c.key);
        if (!c.program) {
            EXPECT_EQ(t, nullptr);
            EXPECT_EQ(GetUpdateToolTitle(c.key), nullptr);
            continue;
        }
        ASSERT_NE(t, nullptr) << U8(c.key);
        EXPECT_EQ(U8(t->program), U8(c.program));
        EXPECT_EQ(t->stringOffset, c.offset);
        EXPECT_EQ(U8(GetUpdateToolTitle(c.key)), U8(c.title));
    }
    EXPECT_TRUE(NeedsHostVersionCheck(u"C:\\t\\YxNicFwUpg.exe"));
    EXPECT_FALSE(NeedsHostVersionCheck(u"C:\\t\\YXZQFWUpg.exe"));
}

TEST(StringTable, SixLanguagesAndEachToolsLogAndGap)
{
    struct Case {
        unsigned id;
        unsigned language;
        std::string text;
    };
    const Case cases[] = {
        {155, 1033, "All firmware installations were successful.  See yxzqfwupg.log for more information.\r\n"},
        {150, 1033, "All firmware installations were successful. See OstraFwUpg.log for more information.\r\n"},
        {80, 1033, "An error occured during discovering hardware. See OstraNicFwUpg.log for more information.\r\n"},
        {136, 1033, "All firmware is up to date. No updates were performed. See OstreNicFwUpg.log for more information.\r\n"},
        {133, 1033, "All firmware is up to date.  No updates were performed.  See mxflash.log for more information.\r\n"},
        {155, 7, "Alle Firmware-Installationen waren erfolgreich.  Weitere Informationen in yxzqfwupg.log.\r\n"},
        {155, 1031, "Alle Firmware-Installationen waren erfolgreich.  Weitere Informationen in yxzqfwupg.log.\r\n"},
        {7, 10, "La detección de todo el firmware se realizó correctamente. Detalles en el archivo XML.\r\n"},
        {10, 1040, "Errore durante la lettura del file XML.\r\n"},
        {12, 1041, "バージョン レポートが正常に完了しました。\r\n"},
        {6, 2060, "L'option /d doit être suivie d'un nom de fichier XML.\r\n"},
        {6, 1049, "XML file name should follow /d option.\r\n"},  // a language without texts: English
    };
    for (const auto& c : cases) {
        char16_t out[512];
        int n = LoadStringForLanguage(c.id, c.language, out, 512);
        EXPECT_EQ(U8(out), c.text) << c.id << " " << c.language;
        EXPECT_EQ(n, int(platform::u16_length(out)));
    }
    char16_t small[8];
    EXPECT_EQ(LoadStringForLanguage(10, 1033, small, 8), 7);
    EXPECT_EQ(U8(small), "Error r");
    EXPECT_EQ(LoadStringForLanguage(157, 1033, small, 8), 0);
    EXPECT_EQ(LoadStringForLanguage(10, 1033, small, 0), 0);
}
