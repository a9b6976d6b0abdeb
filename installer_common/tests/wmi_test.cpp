#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "installer_common/CWmiQuery.h"
#include "installer_common/SystemUtils.h"
#include "platform/registry_store.h"
#include "platform/service_store.h"
#include "test_root.h"

namespace wmi = platform::wmi;
namespace svc = platform::services;

namespace {

void InstallWmi(svc::State state = svc::State::Running, uint32_t start = 2)
{
    svc::Service s;
    s.name = "winmgmt";
    s.state = state;
    ASSERT_TRUE(svc::install(s, start));
}

void SetModel(const std::string& model)
{
    ASSERT_TRUE(wmi::write_class("ROOT\\CIMV2", "Win32_ComputerSystem", {{{"Model", "sz", model}}}));
}

}  // namespace

TEST(CSystemModel, ModelsMatchIgnoringTrailingBlanksAndCase)
{
    TestRoot root;
    InstallWmi();
    SetModel("ProLiant DL380 G7  \t");
    struct Case {
        const char16_t* model;
        int is;
    };
    const Case cases[] = {
        {u"ProLiant DL380 G7", 1},
        {u"proliant dl380 g7 \r\n", 1},
        {u"  ProLiant DL380 G7", 0},  // leading blanks count
        {u"ProLiant DL380", 0},
        {u"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CSystemModel().IsModel(c.model), c.is);
    EXPECT_EQ(IsWmiServiceRunning(nullptr), 1);
}

TEST(CSystemModel, WmiOffGivesTheComError)
{
    TestRoot root;
    SetModel("Tvn Server");
    struct Case {
        const char* name;
        bool installed;
        uint32_t start;
    };
    const Case cases[] = {{"not installed", false, 2}, {"disabled", true, 4}};
    for (const Case& c : cases) {
        if (c.installed) InstallWmi(svc::State::Stopped, c.start);
        CSystemModel model;
        EXPECT_EQ(model.IsModel(u"Tvn Server"), 0) << c.name;
        EXPECT_EQ(model.GetErrorCode(), 11) << c.name;
        EXPECT_EQ(std::u16string(model.GetErrorText()), u"An error occurred initializing the COM environment.");
        EXPECT_EQ(IsWmiServiceRunning(nullptr), 0);
    }
    // A stopped service that may start is started by the connection.
    ASSERT_TRUE(platform::registry::set_dword(svc::services_key("winmgmt"), "Start", 3));
    EXPECT_EQ(CSystemModel().IsModel(u"Tvn Server"), 1);
    EXPECT_EQ(IsWmiServiceRunning(nullptr), 1);
}

TEST(CWmiQuery, PropertiesOfEveryKindAndEmptyClasses)
{
    TestRoot root;
    InstallWmi();
    ASSERT_TRUE(wmi::write_class("ROOT\\CIMV2", "Tvn_Empty", {}));
    ASSERT_TRUE(wmi::write_class("ROOT\\CIMV2", "Tvn_Many",
                                 {{{"Name", "sz", "first"}, {"Count", "i4", "7"}, {"Bytes", "ui1", "0102"}},
                                  {{"Name", "sz", "last"}, {"Count", "i4", "-3"}, {"Bytes", "ui1", std::string(1100, 'a')}}}));
    CWmiQuery q;
    ASSERT_EQ(q.Connect(u"ROOT\\CIMV2"), 1);

    ASSERT_EQ(q.ExecQuery(u"Tvn_Empty"), 1);
    char16_t text[256] = u"unchanged";
    EXPECT_EQ(q.GetProperty(u"Name", text), 1);
    EXPECT_EQ(std::u16string(text), u"unchanged");

    ASSERT_EQ(q.ExecQuery(u"Tvn_Many"), 1);
    EXPECT_EQ(q.GetProperty(u"Name", text), 1);
    EXPECT_EQ(std::u16string(text), u"last");  // the last object's value stays
    int count = 0;
    EXPECT_EQ(q.GetProperty(u"Count", &count), 1);
    EXPECT_EQ(count, -3);
    // 550 bytes in the last object: only the 512 of the output buffer are written.
    unsigned char bytes[600];
    std::memset(bytes, 0x55, sizeof bytes);
    EXPECT_EQ(q.GetProperty(u"Bytes", bytes), 1);
    EXPECT_EQ(bytes[0], 0xAA);
    EXPECT_EQ(bytes[511], 0xAA);
    EXPECT_EQ(bytes[512], 0x55);

    EXPECT_EQ(q.GetProperty(u"Missing", text), 0);  // and the result is released
    EXPECT_EQ(q.GetProperty(u"Name", text), 0);
    EXPECT_EQ(q.ExecQuery(u"No_Such_Class"), 0);
    EXPECT_EQ(q.ExecQuery(u"Tvn_Many WHERE 1"), 0);

    CWmiQuery elsewhere;
    EXPECT_EQ(elsewhere.Connect(u"ROOT\\NOPE"), 0);
    EXPECT_EQ(elsewhere.GetErrorCode(), 11);
}

namespace {
// Lets a test hold the services object of the current connection.
struct ServicesProbe : CWmiQuery {
    win::IWbemServices* Services() const { return m_services; }
};
}  // namespace

TEST(CWmiQuery, ConnectingAgainReleasesTheEarlierConnection)
{
    TestRoot root;
    InstallWmi();
    SetModel("Tvn Server");
    ServicesProbe q;
    ASSERT_EQ(q.Connect(u"ROOT\\CIMV2"), 1);
    ASSERT_EQ(q.ExecQuery(u"Win32_ComputerSystem"), 1);
    win::IWbemServices* first = q.Services();
    first->AddRef();  // the test's own reference keeps the object alive to look at
    ASSERT_EQ(q.Connect(u"ROOT\\CIMV2"), 1);
    EXPECT_NE(q.Services(), first);
    EXPECT_EQ(first->Release(), 0u);  // the query let go of it: the test's was the last reference
    // The new connection answers; the earlier result went with the earlier connection.
    char16_t model[256] = {};
    EXPECT_EQ(q.GetProperty(u"Model", model), 0);
    ASSERT_EQ(q.ExecQuery(u"Win32_ComputerSystem"), 1);
    EXPECT_EQ(q.GetProperty(u"Model", model), 1);
    EXPECT_EQ(std::u16string(model), u"Tvn Server");

    // The computer-model check asks once per listed model on one object.
    CSystemModel system;
    EXPECT_EQ(system.IsModel(u"Other Server"), 0);
    EXPECT_EQ(system.IsModel(u"Tvn Server"), 1);
    EXPECT_EQ(system.IsModel(u"tvn server "), 1);
}

TEST(CWmiQuery, LeavesTheCallersComAsItFoundIt)
{
    TestRoot root;
    // The caller uses COM itself; a query that fails to connect must not end that use.
    ASSERT_EQ(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED), win::S_OK);
    {
        CWmiQuery q;
        EXPECT_EQ(q.Connect(u"ROOT\\CIMV2"), 0);  // no WMI service
    }
    void* locator = nullptr;
    EXPECT_EQ(win::CoCreateInstance(win::CLSID_WbemLocator, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IWbemLocator,
                                    &locator),
              win::S_OK);
    static_cast<win::IWbemLocator*>(locator)->Release();
    win::CoUninitialize();
    EXPECT_EQ(win::CoCreateInstance(win::CLSID_WbemLocator, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IWbemLocator,
                                    &locator),
              win::CO_E_NOTINITIALIZED);

    // A thread of the other apartment model cannot use the query.
    ASSERT_EQ(win::CoInitializeEx(nullptr, win::COINIT_APARTMENTTHREADED), win::S_OK);
    CWmiQuery sta;
    EXPECT_EQ(sta.GetErrorCode(), 11);
    win::CoUninitialize();
}

TEST(SystemUtils, ProductSuiteAndPreinstallationEnvironment)
{
    TestRoot root;
    EXPECT_EQ(ValidateProductSuite("Terminal Server"), 0);
    EXPECT_EQ(IsWinPE(), 0);
    const std::string suites("Enterprise\0Terminal Server\0\0", 28);
    std::vector<uint8_t> data;
    for (char c : suites) data.insert(data.end(), {uint8_t(c), 0});
    ASSERT_TRUE(platform::registry::set_raw("System\\CurrentControlSet\\Control\\ProductOptions", "ProductSuite",
                                            7 /*REG_MULTI_SZ*/, data));
    EXPECT_EQ(ValidateProductSuite("Terminal Server"), 1);
    EXPECT_EQ(ValidateProductSuite("terminal server"), 0);
    EXPECT_EQ(ValidateProductSuite("Terminal"), 0);
    ASSERT_TRUE(platform::registry::set_dword("System\\CurrentControlSet\\Control\\MiniNT", "x", 1));
    EXPECT_EQ(IsWinPE(), 1);
}
