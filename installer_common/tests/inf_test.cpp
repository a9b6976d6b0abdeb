#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_common/CInf.h"
#include "platform/utf16.h"
#include "test_root.h"

namespace {

const char kFullInf[] =
    "[Version]\r\n"
    "Signature = \"$Windows NT$\"\r\n"
    "Class = Net\r\n"
    "ClassGUID = {4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
    "Provider = %Mfg%\r\n"
    "[Tvn.NT]\r\n"
    "CopyFiles = Tvn.Files\r\n"
    "[Tvn.NT.Services]\r\n"
    "AddService = %ServiceName%, 2, Tvn.Service ; the driver service\r\n"
    "[Tvn.Service]\r\n"
    "ServiceType = 1\r\n"
    "StartType = 3\r\n"
    "[Tvn.Files]\r\n"
    "tvnx.sys\r\n"
    "[Other.NT]\r\n"
    "copyfiles = Tvn.Files\r\n"
    "[Tvn.NT.SOFTWARESETTINGS]\r\n"
    "AddReg = Tvn.Reg\r\n"
    "[Strings]\r\n"
    "Mfg = \"Ostra\"\r\n"
    "ServiceName = tvnx\r\n";

std::vector<std::string> Utf8(const std::vector<CStr>& v)
{
    std::vector<std::string> out;
    for (const CStr& s : v) out.push_back(platform::to_utf8(s));
    return out;
}

}  // namespace

TEST(CInf, ReadsVersionSectionListsAndService)
{
    TestRoot root;
    WriteAll(root.path("work/tvn.inf"), kFullInf);
    CInf inf(u"tvn.inf");  // relative to the current folder
    ASSERT_EQ(inf.IsOpen(), 1);
    EXPECT_EQ(platform::to_utf8(inf.GetPath()), root.path("work/tvn.inf"));
    EXPECT_EQ(platform::to_utf8(inf.GetFolder()), root.path("work/"));
    EXPECT_EQ(std::u16string(inf.GetSignature()), u"$Windows NT$");
    EXPECT_EQ(std::u16string(inf.GetClass()), u"Net");
    EXPECT_EQ(std::u16string(inf.GetClassGuid()), u"{4D36E972-E325-11CE-BFC1-08002BE10318}");
    EXPECT_EQ(Utf8(inf.GetCopyFilesSections()), (std::vector<std::string>{"Tvn.NT", "Other.NT"}));
    EXPECT_EQ(Utf8(inf.GetAddServiceSections()), (std::vector<std::string>{"Tvn.NT.Services"}));
    EXPECT_EQ(Utf8(inf.GetSoftwareSettingsSections()), (std::vector<std::string>{"Tvn.NT.SOFTWARESETTINGS"}));

    char16_t name[260] = {};
    EXPECT_EQ(inf.GetServiceName(nullptr, name, 260), 1);
    EXPECT_EQ(std::u16string(name), u"tvnx");
    char16_t tiny[4] = {};
    EXPECT_EQ(inf.GetServiceName(nullptr, tiny, 4), 0);  // does not fit
    int start = -1;
    EXPECT_EQ(inf.GetServiceStartType(nullptr, &start), 1);
    EXPECT_EQ(start, 3);
    EXPECT_EQ(inf.GetServiceStartType(u"Tvn.NT", &start), 0);  // no AddService line there
}

TEST(CInf, MissingPartsAndFilesThatDoNotOpen)
{
    TestRoot root;
    WriteAll(root.path("C/drv/noclass.inf"),
             "[Version]\nSignature=$Chicago$\n[Install]\nCopyFiles=Files\n[Files]\na.sys\n");
    CInf inf(u"C:\\DRV\\NoClass.inf");
    ASSERT_EQ(inf.IsOpen(), 1);
    EXPECT_EQ(std::u16string(inf.GetSignature()), u"$Chicago$");
    EXPECT_EQ(inf.GetClass(), nullptr);
    EXPECT_EQ(inf.GetClassGuid(), nullptr);
    EXPECT_EQ(Utf8(inf.GetCopyFilesSections()), (std::vector<std::string>{"Install"}));
    char16_t name[260] = u"untouched";
    EXPECT_EQ(inf.GetServiceName(nullptr, name, 260), 0);
    EXPECT_EQ(std::u16string(name), u"untouched");

    struct Case {
        const char* file;
        const char* text;
    };
    const Case cases[] = {
        {"nosig.inf", "[Version]\nClass=Net\n[S]\nAddService=x,2,y\n"},
        {"broken.inf", "[Version]\nSignature=$Windows NT$\n[S\n"},
        {"missing.inf", nullptr},
    };
    for (const Case& c : cases) {
        if (c.text) WriteAll(root.path(std::string("work/") + c.file), c.text);
        CInf bad(platform::to_utf16(c.file).c_str());
        EXPECT_EQ(bad.IsOpen(), 0) << c.file;
        EXPECT_EQ(bad.GetSignature(), nullptr);
        EXPECT_TRUE(bad.GetAddServiceSections().empty());
        EXPECT_EQ(bad.GetServiceName(nullptr, name, 260), 0);
    }
}
