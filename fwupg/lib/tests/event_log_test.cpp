#include "fwupg/event_log.h"
#include "fwupg/oem_interface.h"
#include "fwupg/return_codes.h"
#include "platform/event_log.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::string event_text() { return platform::to_utf8(EventText()); }

const std::string kSuccessHead =
    "Operation Final Status:\n"
    " - The operation is successful and returned the following error code.\n";
const std::string kFailureHead =
    "Subject:\n -Firmware Update Operation\n\n"
    "Operation Final Status:\n"
    " - The operation has failed!!!\n\n"
    "Failure Information:\n"
    " - The operation has failed with following error code !!! The reason for failure is as follows ...\n";

TEST(ReturnCodeTexts, TableHoldsEachCodeOnceInOrderWithItsOwnNumber)
{
    std::set<uint32_t> seen;
    uint32_t previous = 0;
    size_t rows = 0;
    for (const ReturnCodeTextRow* row = g_ReturnCodeTexts; row->code != kReturnCodeTableEnd; ++row, ++rows) {
        ASSERT_NE(row->text, nullptr);
        const std::string text = row->text;
        EXPECT_TRUE(text.starts_with(" " + std::to_string(row->code) + " - RET_")) << text;
        EXPECT_TRUE(text.ends_with("\r\n")) << text;
        EXPECT_TRUE(seen.insert(row->code).second) << row->code;
        if (rows) {
            EXPECT_GT(row->code, previous);
        }
        previous = row->code;
        EXPECT_EQ(ReturnCodeText(row->code), row->text);
    }
    EXPECT_EQ(rows, 26u);
    EXPECT_EQ(g_ReturnCodeTexts[26].text, nullptr);
}

TEST(ReturnCodeTexts, LookupKeepsTheTextsAsTheyAreAndFallsBackForUnknownCodes)
{
    struct {
        uint32_t code;
        const char* text;
    } const cases[] = {
        {RET_SUCCESSFUL, " 0 - RET_SUCCESSFUL : The discovery or operation is successful.\r\n"},
        {RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED,
         " 14 - RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED : The firmware upgrade failed but the original firmware "
         "has been restored which requires a reboot.\r\n"},
        {RET_XML_SYNTAX_ERROR,
         " 107 - RET_XML_SYNTAX_ERROR : The given NICFWData.xml is invalid and it contains xml-syntax error(s)\r\n"},
        {RET_DIRECTORY_NOT_FOUND, " 108 - RET_DIRECTORY_NOT_FOUND : The given directory is invalid and not found \r\n"},
        {RET_SHA256_AUTH_FAILED_ON_NVM_DUMP,
         " 111 - RET_SHA256_AUTH_FAILED_ON_NVM_DUMP : The SHA-256 hash authentication is failed against dump\r\n"},
        {15, "Not Supported Return Code Value\r\n"},
        {42, "Not Supported Return Code Value\r\n"},
        {100, "Not Supported Return Code Value\r\n"},
        {112, "Not Supported Return Code Value\r\n"},
        {0xFFFFFFFFu, "Not Supported Return Code Value\r\n"},
    };
    for (const auto& c : cases) EXPECT_STREQ(ReturnCodeText(c.code), c.text) << c.code;
}

class EventTextTest : public ::testing::Test {
protected:
    void SetUp() override { ClearEventText(); }
    platform::CapturingEventSink sink;
    platform::ScopedEventSink scope{&sink};
};

TEST_F(EventTextTest, FinalStatusTexts)
{
    struct {
        uint32_t code;
        std::string want;
    } const cases[] = {
        {0, kSuccessHead + "  0 - RET_SUCCESSFUL : The discovery or operation is successful.\r\n\n"},
        {1, kSuccessHead + "  1 - RET_REBOOT_REQUIRED : The operation is successful and reboot is required for "
                           "effective changes.\r\n\n"},
        {0xFFFFFFFFu, kSuccessHead + " Not Supported Return Code Value\r\n\n"},
        {106, kFailureHead + "  106 - RET_FLASH_WITH_FILE_FAILED : The flash with file has failed.\r\n\n"},
        {57, kFailureHead + " Not Supported Return Code Value\r\n\n"},
        {2, kFailureHead + "  2 - RET_FW_ALREADY_INSTALLED : The firmware has already installed on NIC device.\r\n\n"},
    };
    for (const auto& c : cases) {
        ClearEventText();
        BuildEventText(c.code);
        EXPECT_EQ(event_text(), c.want) << c.code;
    }
}

TEST_F(EventTextTest, ReportCarriesTheWholeBufferAndLeavesItUnchanged)
{
    AppendEventText("Subject:\n -Firmware Update Operation on one or more NICs\n\n");
    BuildEventText(106);
    const std::string text = event_text();
    LogSystemEventMsg(kEventTypeInformation);
    LogSystemEventMsg(kEventTypeSuccess);
    EXPECT_EQ(event_text(), text);
    ASSERT_EQ(sink.entries.size(), 2u);
    EXPECT_EQ(sink.entries[0], (platform::EventEntry{"LibALDN_ZkFwUpg.dll", 4, 1, 0, text}));
    EXPECT_EQ(sink.entries[1], (platform::EventEntry{"LibALDN_ZkFwUpg.dll", 0, 1, 0, text}));
    // A failed run's event holds two subject lines, the second from the failure text.
    EXPECT_EQ(text.find("Subject:"), 0u);
    EXPECT_NE(text.find("Subject:", 1), std::string::npos);
}

TEST_F(EventTextTest, UnopenableLogDropsTheEventSilently)
{
    sink.refuse_open = true;
    BuildEventText(8);
    LogSystemEventMsg(kEventTypeInformation);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(event_text().starts_with(kFailureHead));
}

TEST_F(EventTextTest, AppendsStopAtCapacityWithoutSplittingACharacter)
{
    for (int i = 0; i < 40; ++i) BuildEventText(106);
    EXPECT_EQ(EventText().size(), kEventTextSize - 1);
    EXPECT_EQ(g_EventText[kEventTextSize - 1], u'\0');

    ClearEventText();
    AppendEventText(std::u16string(kEventTextSize - 2, u'x'));
    AppendEventText("\xF0\x9F\x98\x80");  // needs two units; one is left
    EXPECT_EQ(EventText().size(), kEventTextSize - 2);
    AppendEventText(u"ab");
    EXPECT_EQ(EventText().size(), kEventTextSize - 1);
    EXPECT_EQ(EventText().back(), u'a');
}

TEST(EventLogFile, ReportReachesTheSystemRootsEventLog)
{
    platform::testing::TempSystemRoot root;
    ClearEventText();
    BuildEventText(0);
    LogSystemEventMsg(kEventTypeInformation);
    auto entries = platform::read_event_log(root / "events.log");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, kEventSourceName);
    EXPECT_EQ(entries[0].type, 4);
    EXPECT_EQ(entries[0].id, 1u);
    EXPECT_EQ(entries[0].text, kSuccessHead + "  0 - RET_SUCCESSFUL : The discovery or operation is successful.\r\n\n");
}

}  // namespace
