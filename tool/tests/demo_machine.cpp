#include "demo_machine.h"

#include "sim/adapter_builder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace tirn_test {

namespace {

std::vector<std::string> split(const std::string& text, const std::string& sep)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(sep, from)) != std::string::npos; from = at + sep.size())
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

std::string shell_quoted(const std::string& s) { return "'" + s + "'"; }

// The kit's verifier for an adapter's family, chosen by the demo's adapter names.
std::string verify_verb(const std::string& name)
{
    if (name.rfind("e4-", 0) == 0) return "e4-verify";
    if (name.rfind("l-", 0) == 0) return "verify --legacy";
    if (name.rfind("e1-", 0) == 0) return "verify --e1";
    return "verify";
}

}  // namespace

std::vector<ListedAdapter> ParseListing(const std::string& out)
{
    std::vector<ListedAdapter> adapters;
    bool inInventory = false;
    std::istringstream lines(out);
    for (std::string l; std::getline(lines, l);) {
        if (l.rfind("NIC ", 0) == 0) {
            adapters.emplace_back();
            inInventory = false;
            continue;
        }
        if (adapters.empty()) continue;
        ListedAdapter& a = adapters.back();
        if (l.rfind("\tMAC address: ", 0) == 0) {
            a.mac = l.substr(14);
            a.mac.erase(a.mac.find_last_not_of(' ') + 1);
        } else if (l.rfind("\tBus:device.function: ", 0) == 0) {
            a.location = l.substr(22);
        } else if (l == "\tFirmware type\tCurrent version\tAvailable version") {
            inInventory = true;
        } else if (inInventory && l.size() > 2 && l[0] == '\t' && l.back() == '\r') {
            // "\t<type>\t\t<current>\t\t<available>\r"
            auto cols = split(l.substr(1, l.size() - 2), "\t\t");
            if (cols.size() == 3) a.firmware[cols[0]] = {cols[1], cols[2]};
        } else if (l.empty()) {
            inInventory = false;
        }
    }
    return adapters;
}

std::string LocationText(const MachineAdapter& a)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u:%02u.%02u", a.bus, a.device, a.function);
    return buf;
}

std::pair<int, std::string> RunCommand(const std::string& cmd)
{
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return {-1, out};
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::vector<MachineAdapter> MachineAdapters(const std::string& root)
{
    std::vector<MachineAdapter> all;
    for (const auto& name : sim::adapter_names(root)) {
        std::string error;
        auto desc = sim::parse_adapter(name, ReadFile(sim::description_path(root, name)), &error);
        if (!desc) {
            ADD_FAILURE() << name << ": " << error;
            continue;
        }
        all.push_back({name, desc->mac, desc->board_name(), desc->bus, desc->device, desc->function, desc->api_handle});
    }
    return all;
}

std::vector<MachineAdapter> MakeDemoMachine(Sandbox& sb, bool legacy)
{
    if (!fs::exists(sb.work + "/TIRN")) fs::copy_file(sb.ProgramPath(), sb.work + "/TIRN");
    sb.prog = sb.work;
    for (const char* lib : {"LibALDN_ZkFwUpg.so", "YXMAPIa.so"}) {
        if (!fs::exists(BinDir() + "/" + lib)) {
            ADD_FAILURE() << lib << " is not built";
            return {};
        }
        if (!fs::exists(sb.work + "/" + lib)) fs::copy_file(BinDir() + "/" + lib, sb.work + "/" + lib);
    }
    auto [status, out] = RunCommand(shell_quoted(BinDir() + "/fwgen") + " demo " + shell_quoted(sb.root) + " " +
                                    shell_quoted(sb.FwFolder()) + (legacy ? " --legacy" : ""));
    if (status != 0) {
        ADD_FAILURE() << "fwgen demo failed:\n" << out;
        return {};
    }
    std::vector<MachineAdapter> usable;
    for (const auto& a : MachineAdapters(sb.root))
        if (a.function == 0) usable.push_back(a);
    EXPECT_FALSE(usable.empty());
    return usable;
}

std::vector<MachineAdapter> KeepOnlyBoard(Sandbox& sb, const std::vector<MachineAdapter>& usable,
                                          const std::string& board)
{
    // The board's files are named after the board or after one of its adapters, up to the first dot
    // ("<board>.nvram", "<board>.path1.regs", "<adapter>.adapter").
    std::set<std::string> stems{board};
    for (const auto& a : MachineAdapters(sb.root))
        if (a.board == board) stems.insert(a.name);
    for (const auto& entry : fs::directory_iterator(sb.root + "/adapters")) {
        const std::string name = entry.path().filename().string();
        if (!stems.count(name.substr(0, name.find('.')))) fs::remove(entry.path());
    }
    std::vector<MachineAdapter> kept;
    for (const auto& a : usable)
        if (a.board == board) kept.push_back(a);
    EXPECT_FALSE(kept.empty()) << "the demo machine has no board " << board;
    return kept;
}

std::map<std::string, ListedAdapter> ListByMac(Sandbox& sb, const std::vector<MachineAdapter>& machine)
{
    RunResult r = sb.Run({"-c"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(Contains(r.out, "Found " + std::to_string(machine.size()) + " adapters\n")) << r.out;
    std::map<std::string, ListedAdapter> byMac;
    for (auto& a : ParseListing(r.out)) byMac[a.mac] = a;
    EXPECT_EQ(byMac.size(), machine.size()) << r.out;
    for (const auto& m : machine) {
        auto it = byMac.find(m.mac);
        if (it == byMac.end()) {
            ADD_FAILURE() << m.name << " (" << m.mac << ") is not listed:\n" << r.out;
            continue;
        }
        EXPECT_EQ(it->second.location, LocationText(m)) << m.name;
        EXPECT_FALSE(it->second.firmware.empty()) << m.name << " lists no firmware:\n" << r.out;
    }
    return byMac;
}

std::map<std::string, NvramVerdict> VerifyAllNvram(const std::string& root)
{
    std::map<std::string, NvramVerdict> verdicts;
    for (const auto& entry : fs::directory_iterator(root + "/adapters")) {
        if (entry.path().extension() != ".nvram") continue;
        const std::string name = entry.path().stem().string();
        auto [status, out] =
            RunCommand(shell_quoted(BinDir() + "/fwgen") + " " + verify_verb(name) + " " + shell_quoted(entry.path().string()));
        verdicts[name] = {status, out};
    }
    return verdicts;
}

}  // namespace tirn_test
