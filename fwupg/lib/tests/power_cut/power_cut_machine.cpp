#include "power_cut_machine.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tcl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "platform/debug_channel.h"
#include "fwupg/frame_work.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/shell_commands.h"
#include "fwupg/yxmapi_client.h"
#include "testkit/demo.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/e4_reader.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_reader.h"

namespace fs = std::filesystem;

namespace powercut {

namespace {

namespace e1e3 = testkit::e1e3;
namespace e4 = testkit::e4;

constexpr uint32_t kCodeRebootPending = 95;
constexpr size_t kLegacyFixedStart = 0x100, kLegacyFixedEnd = 0x600;

e1e3::Chip ChipOf(uint32_t did)
{
    return did == 0x164E ? e1e3::Chip::E1 : did == 0x1662 ? e1e3::Chip::E2 : e1e3::Chip::E3;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The child (with FWUPG_POWER_CUT_DEBUG set, the library's debug log goes to standard error): brings
// the library up, selects the adapter as the front end does, and runs each line
// as a builder runs it. Its exit code is the run's outcome; a failed line's code and text go to
// `report`.
// Selects the adapter as the library's builders do before its lines.
bool Select(const sim::AdapterDef& adapter)
{
    yxmapi::PhyNicInfo phy{};
    yxmapi::NicInfoEx info{};
    if (fwupg::yx::GetPhyNic(adapter.list_handle, &phy) != 0 || fwupg::yx::GetNicInfoEx(adapter.list_handle, &info) != 0)
        return false;
    fwupg::SelectNic(phy, info);
    return true;
}

int ChildRun(const std::vector<sim::AdapterDef>& functions, const std::vector<std::string>& lines, int report,
             bool oneCall)
{
    static platform::StderrDebugChannel debugOut;
    if (std::getenv("FWUPG_POWER_CUT_DEBUG")) {
        platform::set_debug_channel(&debugOut);
        fwupg::GetDebugLog().SetChannelEnabled(true);
    }
    if (const uint32_t rc = fwupg::yx::Initialize()) {
        std::fprintf(stderr, "the management library did not start: 0x%X\n", rc);
        return 90;
    }
    if (!Select(functions[0])) return 91;
    Tcl_FindExecutable(nullptr);
    g_TclInterp = Tcl_CreateInterp();
    Tcl_SetVar(g_TclInterp, "tcl_interactive", "0", TCL_GLOBAL_ONLY);
    RegisterShellCommands(g_TclInterp);
    if (oneCall) BeginKeepingBackups();
    struct CallEnd {
        bool on;
        ~CallEnd()
        {
            if (on) EndKeepingBackups();
        }
    } callEnd{oneCall};
    for (std::string line : lines) {
        if (line.size() > 2 && line[0] == '@') {
            const size_t f = size_t(line[1] - '0');
            if (f >= functions.size() || !Select(functions[f])) return 91;
            line.erase(0, line.find(' ') + 1);
        }
        std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
        std::snprintf(g_CommandBuffer, sizeof g_CommandBuffer, "%s", line.c_str());
        g_uUpgRetCode = 0;
        ProcessCommand();
        if (g_uUpgRetCode != 0 && g_uUpgRetCode != kCodeRebootPending) {
            const std::string text = std::to_string(g_uUpgRetCode) + " " + line + ": " + Tcl_GetStringResult(g_TclInterp);
            if (write(report, text.data(), text.size()) < 0) return 92;
            return 1;
        }
    }
    return 0;
}

}  // namespace

Machine::Machine(const std::string& board, bool legacy)
{
    fw = root.file("fw");
    testkit::make_demo(root.path, fw, legacy);
    // By the board's name, not a name prefix: the converged E3 board's name starts like the other
    // E3 board's.
    for (const std::string& name : sim::adapter_names(root.path)) {
        std::string error;
        auto desc = sim::parse_adapter(name, ReadText(sim::description_path(root.path, name)), &error);
        if (!desc) throw std::runtime_error("demo adapter " + name + ": " + error);
        if (desc->board_name() == board) {
            functions.push_back(*desc);
            continue;
        }
        for (const auto& entry : fs::directory_iterator(sim::adapters_dir(root.path)))
            if (entry.path().stem() == name) fs::remove(entry.path());
    }
    if (functions.empty()) throw std::runtime_error("the demo machine has no board " + board);
    target = functions.front();
}

RunResult Machine::Run(const std::vector<std::string>& lines, const std::vector<sim::FaultRule>& faults,
                       bool oneCall)
{
    sim::Control control;
    control.faults = faults;
    sim::write_control(root.path, control);
    std::error_code ignored;
    fs::remove(sim::journal_path(root.path), ignored);

    int pipeFds[2];
    RunResult result;
    if (pipe(pipeFds) != 0) return result;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        const int code = ChildRun(functions, lines, pipeFds[1], oneCall);
        std::fflush(nullptr);
        _exit(code);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, size_t(got));
    close(pipeFds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!report.empty()) {
        result.lineCode = uint32_t(std::strtoul(report.c_str(), nullptr, 10));
        result.failedLine = report.substr(std::min(report.size(), report.find(' ') + 1));
    }
    // Power back: whatever comes next runs without faults.
    sim::write_control(root.path, sim::Control{});
    return result;
}

std::vector<Write> Machine::Writes(uint32_t ordinal, size_t function) const
{
    std::vector<Write> writes;
    const uint32_t handle = functions.at(function).api_handle;
    for (const YxSimCall& c : sim::read_journal_file(root.path)) {
        if (c.ordinal != ordinal || c.handle != handle) continue;
        const uint32_t bytes = ordinal == kOrdWritePhy ? c.count : 4 * c.count;  // NVRAM calls count dwords
        writes.push_back({uint32_t(writes.size() + 1), c.offset, bytes, c.status});
    }
    return writes;
}

uint64_t Machine::Bytes(uint32_t ordinal, bool wholeBoard) const
{
    uint64_t bytes = 0;
    for (const YxSimCall& c : sim::read_journal_file(root.path)) {
        if (c.ordinal != ordinal) continue;
        bool counted = c.handle == target.api_handle;
        for (const sim::AdapterDef& f : functions) counted = counted || (wholeBoard && c.handle == f.api_handle);
        if (counted) bytes += 4ull * c.count;
    }
    return bytes;
}

Verdicts Machine::Verify() const
{
    Verdicts verdicts;
    for (const sim::AdapterDef& f : functions) {
        const testkit::Bytes nvram = sim::read_nvram(root.path, f.name);
        std::string complaint;
        if (f.family == yxmapi::kFamilyE4) {
            const e4::Report r = e4::verify(nvram);
            if (!r.ok()) complaint = r.text();
        } else if (f.family == yxmapi::kFamily57710) {
            const e1e3::Report r = e1e3::verify(nvram, ChipOf(f.did));
            for (const std::string& e : r.errors) complaint += e + "\n";
        } else {
            // The legacy verifier joins its faults with "; " on one line: one fault a line, as
            // the other families give them, so that each is judged on its own.
            complaint = testkit::legacy::verify_nvram(nvram, (f.flash_word & 1) != 0);
            for (size_t at; (at = complaint.find("; ")) != std::string::npos;) complaint.replace(at, 2, "\n");
        }
        verdicts[f.name] = complaint;
    }
    return verdicts;
}

std::map<std::string, testkit::Bytes> Machine::Contents() const
{
    const testkit::Bytes nvram = Nvram();
    std::map<std::string, testkit::Bytes> out;
    auto add = [&](const std::string& name, uint64_t offset, uint64_t length) {
        if (offset + length > nvram.size()) return;
        std::string key = name;
        for (int n = 2; out.count(key); ++n) key = name + "#" + std::to_string(n);
        out.emplace(key, testkit::Bytes(nvram.begin() + long(offset), nvram.begin() + long(offset + length)));
    };
    if (target.family == yxmapi::kFamilyE4) {
        for (const auto& image : e4::list_images(nvram))
            if (image.entry.type != e4::type::DIR1 && image.entry.type != e4::type::DIR2)
                add(image.name, image.entry.offset, image.entry.length);
    } else if (target.family == yxmapi::kFamily57710) {
        for (const auto& image : e1e3::list_images(nvram)) add(image.name, image.offset, image.length);
        const uint32_t end = e1e3::layout::image_start(ChipOf(target.did));
        add("fixed area", 0x100, end - 0x100);  // behind the directory
    } else {
        for (const auto& image : testkit::legacy::list_images(nvram)) add(image.name, image.offset, image.length);
        add("fixed area", kLegacyFixedStart, kLegacyFixedEnd - kLegacyFixedStart);
    }
    const std::string phy = sim::phy_image_path(root.path, target.board_name());  // one PHY per board
    if (fs::exists(phy)) {
        const std::string bytes = ReadText(phy);
        out.emplace("PHY", testkit::Bytes(bytes.begin(), bytes.end()));
    }
    return out;
}

void Machine::Save(const std::string& name)
{
    const std::string to = root.file(name);
    fs::remove_all(to);
    fs::copy(sim::adapters_dir(root.path), to, fs::copy_options::recursive);
}

void Machine::Restore(const std::string& name)
{
    const std::string dir = sim::adapters_dir(root.path);
    fs::remove_all(dir);
    fs::copy(root.file(name), dir, fs::copy_options::recursive);
}

std::string Complaints(const Verdicts& verdicts)
{
    std::string out;
    for (const auto& [name, complaint] : verdicts)
        if (!complaint.empty()) out += name + ":\n" + complaint;
    return out;
}

std::string Expand(std::string line, const Machine& m)
{
    for (const auto& [mark, with] : {std::pair<std::string, std::string>{"$FW", m.fw}, {"$ROOT", m.root.path}})
        for (size_t at; (at = line.find(mark)) != std::string::npos;) line.replace(at, mark.size(), with);
    return line;
}

std::string FirstComplaint(const Verdicts& verdicts)
{
    for (const auto& [name, complaint] : verdicts)
        if (!complaint.empty()) return name + ": " + complaint.substr(0, complaint.find('\n'));
    return "";
}

}  // namespace powercut
