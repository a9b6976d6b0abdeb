// A simulated adapter holding a test-kit NVRAM image, made current for the test, with the kit's
// verifier and a temporary folder for files.
#pragma once

#include <gtest/gtest.h>
#include <tcl.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fake_host.h"
#include "platform/testing/temp_root.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_verify.h"

namespace fwupg::nvm::test {

namespace kit = testkit::e1e3;

inline kit::NvramDef kit_board_def(uint32_t size = 0x40000, uint64_t mac = 0x001018AA0000ull)
{
    kit::NvramDef s;
    s.chip = kit::Chip::E3;
    s.size = size;
    kit::set_board(s, 0x14E4, 0x168E, 0x14E4, 0x1234, mac, 2);
    return s;
}

inline kit::ImageDef kit_image(std::string kind, testkit::Bytes data)
{
    kit::ImageDef im;
    im.kind = std::move(kind);
    im.data = std::move(data);
    return im;
}

struct KitBoard {
    kit::Built built;
    FakeAdapter adapter;
    std::unique_ptr<CurrentAdapter> current;

    explicit KitBoard(const kit::NvramDef& desc) : built(kit::build(desc)), adapter(built.nvram)
    {
        adapter.set_device_id(0x168E);
        current = std::make_unique<CurrentAdapter>(adapter);
    }
    // Runs a command procedure with the words of `line` (a Tcl list) as its arguments.
    int run(Tcl_ObjCmdProc* proc, const std::string& line) { return run_line(adapter, proc, line); }
    std::string result() const { return Tcl_GetStringResult(adapter.interp()); }
    kit::Report verify() const { return kit::verify(adapter.nvram, kit::Chip::E3); }
};

#define EXPECT_KIT_VALID(board)                      \
    do {                                             \
        auto report_ = (board).verify();             \
        EXPECT_TRUE(report_.ok()) << report_.text(); \
    } while (0)

// A fresh folder under the system's temporary folder, removed at the end.
using platform::testing::TempDir;

// A Tcl list word for a path (braced so that blanks and brackets stay in it).
inline std::string word(const std::string& s) { return "{" + s + "}"; }

}  // namespace fwupg::nvm::test
