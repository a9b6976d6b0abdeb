// Simulated adapters built from the test kit's NVRAM images, and the kit's verifier as a check.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "fake_host.h"
#include "fwupg/nvm/e123/image_table.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"

namespace fwupg::nvm::test {

namespace kit = testkit::e1e3;

inline uint16_t device_of(kit::Chip chip)
{
    switch (chip) {
    case kit::Chip::E1: return 0x164E;
    case kit::Chip::E2: return 0x1662;
    default: return 0x168E;
    }
}

// The table row of an image name (the row argument of the programming calls).
inline uint32_t row(const char* name) { return uint32_t(fwupg::nvm::row_by_name(name)); }

// An image to place, with the free bytes left before it.
inline kit::ImageDef image_def(std::string kind, testkit::Bytes data, uint32_t gap_before = 0)
{
    kit::ImageDef im;
    im.kind = std::move(kind);
    im.data = std::move(data);
    im.gap_before = gap_before;
    return im;
}

// A description with a board identity (two functions unless said otherwise).
inline kit::NvramDef board_def(kit::Chip chip, uint32_t size = 0x40000, uint64_t mac = 0x001018AA0000ull)
{
    kit::NvramDef s;
    s.chip = chip;
    s.size = size;
    kit::set_board(s, 0x14E4, device_of(chip), 0x14E4, 0x1234, mac, 2);
    return s;
}

struct Board {
    kit::Chip chip;
    kit::Built built;
    std::unique_ptr<FakeAdapter> adapter;
    std::unique_ptr<CurrentAdapter> current;

    explicit Board(const kit::NvramDef& desc) : chip(desc.chip), built(kit::build(desc))
    {
        adapter = std::make_unique<FakeAdapter>(built.nvram);
        adapter->set_device_id(device_of(chip));
        current = std::make_unique<CurrentAdapter>(*adapter);
    }
    FakeAdapter& a() { return *adapter; }
    // Re-reads the record after changing ::toe or the chip.
    void refresh()
    {
        current.reset();
        current = std::make_unique<CurrentAdapter>(*adapter);
    }
    const kit::Placed& placed(const std::string& kind) const
    {
        for (const auto& p : built.placed)
            if (p.kind == kind)
                return p;
        throw std::runtime_error("not placed: " + kind);
    }
    kit::Report verify() const { return kit::verify(adapter->nvram, chip); }
};

#define EXPECT_NVRAM_VALID(board)                          \
    do {                                                   \
        auto report_ = (board).verify();                   \
        EXPECT_TRUE(report_.ok()) << report_.text();       \
    } while (0)

// Finds an image in a verifier report by kind name.
inline const kit::FoundImage* found(const kit::Report& r, const std::string& name)
{
    for (const auto& f : r.images)
        if (f.name == name)
            return &f;
    return nullptr;
}

}  // namespace fwupg::nvm::test
