// The test kit's demo machine for end-to-end runs of TIRN against the real vendor library and the
// simulated management library: making it in a sandbox, reading TIRN's listing of it, and checking
// every adapter's NVRAM with the kit's verifier of its family.
#pragma once

#include "tirn_harness.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tirn_test {

// One adapter as the simulated machine describes it.
struct MachineAdapter {
    std::string name, mac;
    std::string board;  // the functions of one board share its flash and its claim
    unsigned bus = 0, device = 0, function = 0;
    unsigned apiHandle = 0;
};

// One adapter as "TIRN -c" lists it, with its firmware inventory: type -> {current, available}.
struct ListedAdapter {
    std::string mac, location;
    std::map<std::string, std::pair<std::string, std::string>> firmware;
};

std::vector<ListedAdapter> ParseListing(const std::string& out);
std::string LocationText(const MachineAdapter& a);

// Runs a shell command; returns its exit status and its output (standard error included).
std::pair<int, std::string> RunCommand(const std::string& cmd);

// Puts the program and both real libraries into the sandbox's working folder (the program runs
// from there, so its FW folder is the one beside the libraries) and makes the kit's demo machine
// (with its legacy boards when asked). Returns the usable adapters: the first function of each
// board, since the others share its firmware. Fails the test (empty result) when anything is
// missing.
std::vector<MachineAdapter> MakeDemoMachine(Sandbox& sb, bool legacy);

// Every adapter of the machine, first functions or not.
std::vector<MachineAdapter> MachineAdapters(const std::string& root);

// Takes every board but `board` (a board name, as the adapters' descriptions give it) out of the
// sandbox's machine; returns the usable adapters of that board (fails the test when there are none).
std::vector<MachineAdapter> KeepOnlyBoard(Sandbox& sb, const std::vector<MachineAdapter>& usable,
                                          const std::string& board);

// Lists the machine with "TIRN -c"; the listing must hold every usable adapter once, each with
// firmware entries. Keyed by MAC address.
std::map<std::string, ListedAdapter> ListByMac(Sandbox& sb, const std::vector<MachineAdapter>& machine);

// The kit's verdict on one adapter's NVRAM file: fwgen's exit status and output.
struct NvramVerdict {
    int status = -1;
    std::string output;
};
// Verifies every NVRAM file of the machine with the kit's verifier of its family, keyed by adapter.
std::map<std::string, NvramVerdict> VerifyAllNvram(const std::string& root);

}  // namespace tirn_test
