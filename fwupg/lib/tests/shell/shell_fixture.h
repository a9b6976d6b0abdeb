// The shell's test machine: a temporary system root with one simulated adapter, the management
// library up, the adapter selected, the library's interpreter with the shell's commands, the
// facade and the image checks replaced by doubles, and a capturing event log.
#pragma once

#include <gtest/gtest.h>
#include <tcl.h>

#include <functional>
#include <string>
#include <vector>

#include <platform/event_log.h>

#include "facade_double.h"
#include "frame_test_support.h"
#include "fwupg/shell_commands.h"

namespace shelltest {

// Answers of the image-check double, by use; the last request is kept.
struct ImageCheckDouble {
    uint32_t upgrade = 0, phy = 0, restore = 0;
    // A PHY file the simulated PHY takes: one wrapped record (magic, version 1, tag "8727",
    // compatibility 0, 32 bytes) whose data carries "PHY 1.2.3" at byte 16.
    std::vector<uint8_t> phyBytes{0xAA, 0x55, 0x99, 0x66, 1,   0,   0,   0,   '8', '7', '2', '7', 0, 0, 0, 0, 32, 0,
                                  0,    0,    0,    0,    0,   0,   0,   0,   0,   0,   0,   0,   0, 0, 0, 0, 0,  0,
                                  'P',  'H',  'Y',  ' ',  '1', '.', '2', '.', '3', 0,   0,   0,   0, 0, 0, 0};
    std::vector<std::string> asked;  // "use:type:path"
};
extern ImageCheckDouble* g_imageChecks;

class ShellTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Writes `description`, brings the library up, selects the adapter and creates the interpreter.
    void Start(sim::AdapterDef desc);
    void Start(uint32_t family) { Start(sim::make_adapter(family, 1)); }

    // Evaluates a script in the library's interpreter (marks and code as the test left them).
    int Eval(const std::string& script);
    std::string Result() const;
    // Registers a test command in the library's interpreter.
    void Command(const std::string& name, std::function<int(const std::vector<std::string>&)> body);

    frametest::TempRoot root;
    frametest::SimJournal journal;
    sim::AdapterDef adapter;
    FacadeDouble facade;
    FacadeSwap facadeSwap{&facade};
    ImageCheckDouble images;
    platform::CapturingEventSink events;
    platform::ScopedEventSink eventScope{&events};

private:
    std::vector<std::unique_ptr<std::function<int(const std::vector<std::string>&)>>> commands_;
    fwupg::shell::ImageCheckFn previousCheck_ = nullptr;
    bool started_ = false;
};

// Deletes the library's interpreter.
void DeleteInterp();

// Whether the journal holds a call of `ordinal`.
size_t Count(const frametest::SimJournal& journal, uint32_t ordinal);

}  // namespace shelltest
