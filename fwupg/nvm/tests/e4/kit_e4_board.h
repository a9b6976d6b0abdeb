// A simulated E4 adapter holding a test-kit E4 NVRAM image, made current for the test, with the
// kit's E4 verifier. The fake adapter does not play the firmware's part (installing what is
// written at offset 0); the simulated machine's tests do that.
#pragma once

#include <gtest/gtest.h>
#include <tcl.h>

#include <memory>
#include <string>

#include "fake_host.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_nvram.h"
#include "testkit/e4_reader.h"

namespace fwupg::nvm::test {

struct KitE4Board {
    testkit::e4::Built built;
    FakeAdapter adapter;
    std::unique_ptr<CurrentAdapter> current;

    explicit KitE4Board(const testkit::e4::NvramDef& desc, uint16_t did = 0x1656)
        : built(testkit::e4::build(desc)), adapter(built.nvram)
    {
        adapter.set_e4_device_id(did);
        adapter.set_toe("NVM_SIZE", std::to_string(adapter.nvram.size()));
        current = std::make_unique<CurrentAdapter>(adapter);
    }
    // Runs a command procedure with the words of `line` (a Tcl list) as its arguments.
    int run(Tcl_ObjCmdProc* proc, const std::string& line) { return run_line(adapter, proc, line); }
    std::string result() const { return Tcl_GetStringResult(adapter.interp()); }
    testkit::e4::Report verify() const { return testkit::e4::verify(adapter.nvram); }
};

#define EXPECT_KIT_E4_VALID(board)                   \
    do {                                             \
        auto report_ = (board).verify();             \
        EXPECT_TRUE(report_.ok()) << report_.text(); \
    } while (0)

}  // namespace fwupg::nvm::test
