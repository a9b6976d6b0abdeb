// The vendor library as its callers use it: dlopen'ed, its seven exports bound by name, running
// against the simulated management library in a temporary system root.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frame_test_support.h"
#include "fwupg/oem_interface.h"

using namespace frametest;

namespace {

class VendorLibrary {
public:
    VendorLibrary()
    {
        handle_ = dlopen((bin_dir() + "/LibALDN_ZkFwUpg.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) ADD_FAILURE() << dlerror();
    }
    ~VendorLibrary()
    {
        if (handle_) dlclose(handle_);
    }
    template <class Fn>
    Fn fn(const char* name) const
    {
        void* sym = handle_ ? dlsym(handle_, name) : nullptr;
        if (!sym) ADD_FAILURE() << name << " not exported";
        return reinterpret_cast<Fn>(sym);
    }
    uint32_t adapterInfo(VendorAdaptInfo* records, uint32_t* count, const std::u16string& folder) const
    {
        return fn<oem_get_adapter_info_fn>("oem_get_adapter_info")(records, count, folder.c_str());
    }

private:
    void* handle_ = nullptr;
};

std::u16string wide(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Two simulated adapters and a firmware folder.
struct Machine {
    TempRoot root;
    std::string folder = root.file("fw");
    Machine()
    {
        std::filesystem::create_directory(folder);
        sim::write_adapter(root.path, sim::make_adapter(5, 1));
        sim::write_adapter(root.path, sim::make_adapter(6, 2));
    }
};

}  // namespace

TEST(Exports, TextForEveryCodeOfTheTableAndForUnknownCodes)
{
    VendorLibrary lib;
    auto text = lib.fn<oem_text_for_error_code_fn>("oem_text_for_error_code");
    const uint32_t codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
                              101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111};
    for (uint32_t code : codes) {
        std::string t = text(code);
        SCOPED_TRACE(t);
        EXPECT_EQ(t.rfind(" " + std::to_string(code) + " - RET_", 0), 0u);
        EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
    }
    EXPECT_STREQ(text(0), " 0 - RET_SUCCESSFUL : The discovery or operation is successful.\r\n");
    EXPECT_STREQ(text(14), " 14 - RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED : The firmware upgrade failed but the "
                           "original firmware has been restored which requires a reboot.\r\n");
    EXPECT_STREQ(text(108), " 108 - RET_DIRECTORY_NOT_FOUND : The given directory is invalid and not found \r\n");
    EXPECT_STREQ(text(42), "Not Supported Return Code Value\r\n");
    EXPECT_STREQ(text(0xFFFFFFFF), "Not Supported Return Code Value\r\n");
    EXPECT_EQ(text(7), text(7)) << "static texts, the same pointer every time";
}

TEST(Exports, DebugInfoNamesTheLogAndKeepsItWhenANewNameCannotBeOpened)
{
    Machine m;
    VendorLibrary lib;
    auto debugInfo = lib.fn<oem_get_debug_info_fn>("oem_get_debug_info");
    const std::string log = m.root.file("debug.log");
    EXPECT_EQ(debugInfo(wide(log).c_str()), 0u);
    EXPECT_EQ(debugInfo(wide(m.root.file("missing/dir/x.log")).c_str()), 7u);
    uint32_t count = 0;
    lib.adapterInfo(nullptr, &count, wide(m.folder));
    const std::string text = slurp(log);
    EXPECT_NE(text.find("oem_get_adapter_info(): Getting adapter info.. : PATH is " + m.folder + "\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("DEBUG       "), std::string::npos);
}

TEST(Exports, DebugLevelOpensTheDriveRelativeLogInTheCurrentFolder)
{
    Machine m;
    VendorLibrary lib;
    uint32_t count = 0;
    setenv("DEBUG_LEVEL", "0", 1);
    lib.adapterInfo(nullptr, &count, wide(m.folder));
    EXPECT_FALSE(std::filesystem::exists(m.root.file("ZKFwUpgDbgLog.log")));
    setenv("DEBUG_LEVEL", "1", 1);
    lib.adapterInfo(nullptr, &count, wide(m.folder));
    unsetenv("DEBUG_LEVEL");
    EXPECT_NE(slurp(m.root.file("ZKFwUpgDbgLog.log")).find("oem_get_adapter_info"), std::string::npos);
}

// Each call creates and deletes its own interpreter and brings the management library up and down;
// nothing of a call may break the next one (no per-call Tcl finalisation).
TEST(Exports, ThreeAdapterInfoCallsInOneProcessBalanceInitAndShutdown)
{
    Machine m;
    VendorLibrary lib;
    SimJournal journal;
    journal.clear();
    std::vector<VendorAdaptInfo> records(2);
    uint32_t first = 0, second = 2, third = 0;
    const uint32_t r1 = lib.adapterInfo(nullptr, &first, wide(m.folder));
    const uint32_t r2 = lib.adapterInfo(records.data(), &second, wide(m.folder));
    const uint32_t r3 = lib.adapterInfo(nullptr, &third, wide(m.folder));
    EXPECT_EQ(r1, 102u) << "a folder without image files offers no usable adapter";
    EXPECT_EQ(r2, r1);
    EXPECT_EQ(r3, r1);
    EXPECT_EQ(first, third);
    std::vector<uint32_t> frame;
    for (const YxSimCall& c : journal.calls())
        if (c.ordinal == 34 || c.ordinal == 3) frame.push_back(c.ordinal);
    EXPECT_EQ(frame, (std::vector<uint32_t>{34, 3, 34, 3, 34, 3}));
    EXPECT_EQ(journal.calls(49).size(), 3u) << "every call enumerates the adapters again";
}

TEST(Exports, AdapterInfoFailuresOfTheFrame)
{
    Machine m;
    VendorLibrary lib;
    SimJournal journal;
    uint32_t count = 0;
    journal.clear();
    // A folder that does not exist: nothing is initialised.
    EXPECT_EQ(lib.adapterInfo(nullptr, &count, wide(m.root.file("nowhere"))), 108u);
    EXPECT_EQ(lib.adapterInfo(nullptr, &count, wide(m.root.file("debug.log"))), 108u);
    EXPECT_TRUE(journal.calls(34).empty());
    // The management library cannot be initialised: 101, and no shutdown follows.
    fail_ordinal(m.root.path, 34);
    EXPECT_EQ(lib.adapterInfo(nullptr, &count, wide(m.folder)), 101u);
    EXPECT_TRUE(journal.calls(3).empty());
    // The adapters cannot be counted: discovery fails with 102 and the library is shut down.
    fail_ordinal(m.root.path, 49);
    journal.clear();
    count = 77;
    EXPECT_EQ(lib.adapterInfo(nullptr, &count, wide(m.folder)), 102u);
    EXPECT_EQ(count, 77u) << "the count is untouched when discovery fails";
    EXPECT_EQ(journal.calls(34).size(), 1u);
    EXPECT_EQ(journal.calls(3).size(), 1u);
}

TEST(Exports, FolderGivenWithBackslashesIsTheSameFolder)
{
    Machine m;
    VendorLibrary lib;
    std::string back = m.folder;
    for (char& c : back)
        if (c == '/') c = '\\';
    uint32_t a = 0, b = 0;
    EXPECT_EQ(lib.adapterInfo(nullptr, &a, wide(back)), lib.adapterInfo(nullptr, &b, wide(m.folder)));
    EXPECT_NE(lib.adapterInfo(nullptr, &a, wide(back)), 108u);
}

TEST(Exports, FlashFromReportRefusesMissingFolderMissingReportAndForeignRoot)
{
    Machine m;
    VendorLibrary lib;
    auto flash = lib.fn<oem_do_flash_with_file_fn>("oem_do_flash_with_file");
    const std::string report = m.root.file("report.xml");
    EXPECT_EQ(flash(wide(report).c_str(), wide(m.root.file("nowhere")).c_str()), 108u);
    EXPECT_EQ(flash(wide(report).c_str(), wide(m.folder).c_str()), 10u);
    write_file(report, "<?xml version=\"1.0\"?>\n<other><devices/></other>\n");
    EXPECT_EQ(flash(wide(report).c_str(), wide(m.folder).c_str()), 11u);
    write_file(report, "<zk_rom_discovery><type value=\"\"/></zk_rom_discovery>");
    EXPECT_EQ(flash(wide(report).c_str(), wide(m.folder).c_str()), 11u);
    write_file(report, "<zk_rom_discovery><devices>");
    EXPECT_EQ(flash(wide(report).c_str(), wide(m.folder).c_str()), 11u);
}

TEST(Exports, FlashFromReportWithNothingToDoReportsSkippedAndImmediate)
{
    Machine m;
    VendorLibrary lib;
    auto flash = lib.fn<oem_do_flash_with_file_fn>("oem_do_flash_with_file");
    const std::string report = m.root.file("report.xml");
    write_file(report,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<zk_rom_discovery version=\"2.0.0.0\">\n"
               "  <takes_effect value=\"deferred\" />\n  <devices>\n  </devices>\n</zk_rom_discovery>\n");
    EXPECT_EQ(flash(wide(report).c_str(), wide(m.folder).c_str()), 3u);
    EXPECT_NE(slurp(report).find("<takes_effect value=\"immediate\"/>"), std::string::npos) << slurp(report);
}

TEST(Exports, FullFlashAndDumpEntryChecks)
{
    Machine m;
    VendorLibrary lib;
    SimJournal journal;
    auto full = lib.fn<oem_do_full_flash_PCI_fn>("oem_do_full_flash_PCI");
    auto dump = lib.fn<oem_get_full_flash_dump_PCI_fn>("oem_get_full_flash_dump_PCI");
    journal.clear();
    EXPECT_EQ(full(wide(m.root.file("fw/none.bin")).c_str(), 0, 0, 2, 0, 0), 8u);
    EXPECT_EQ(journal.calls(34).size(), journal.calls(3).size()) << "shut down after the failed check";

    const std::string out = m.root.file("dump.bin");
    EXPECT_EQ(dump(wide(out).c_str(), u"MBI", 0, 2, 0, 0), 7u);
    EXPECT_EQ(dump(wide(m.root.file("nowhere/dump.bin")).c_str(), u"nvm", 0, 2, 0, 0), 108u);
    write_file(out, "old dump");
    // No adapter at bus 9: the code stays 7, but the existing file was removed first.
    EXPECT_EQ(dump(wide(out).c_str(), u"nvm", 0, 9, 0, 0), 7u);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(journal.calls(34).size(), journal.calls(3).size());
}
