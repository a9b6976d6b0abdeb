// Test support for updates through the exports: the export calls on a test world, report text
// helpers, and snapshots of the simulated machine's E1-E3 NVRAM images.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <testkit/bytes.h>
#include <testkit/e1e3_nvram.h>

#include "discovery_test_support.h"

namespace updtest {

std::string Read(const std::string& path);
// Occurrences of `part` in `text`.
size_t Count(const std::string& text, const std::string& part);

// The <device> element of a report whose MAC is `mac` (empty when there is none).
std::string DeviceBlock(const std::string& report, const std::string& mac);
// The "value" of every element `name` of a text, in order.
std::vector<std::string> Values(const std::string& text, const std::string& name);
// Sets the action of every item of the device whose MAC is `mac`.
std::string WithAction(std::string report, const std::string& mac, const std::string& action);

uint32_t Discover(const disctest::World& w, const std::string& report);
uint32_t Flash(const disctest::World& w, const std::string& report);
// oem_do_full_flash_PCI on segment 0 with force off.
uint32_t FlashPci(const std::string& image, uint32_t bus, uint32_t device, uint32_t function);

// The NVRAM of every adapter of the world, by adapter name.
std::map<std::string, testkit::Bytes> Nvrams(const disctest::World& w);
// The description of an adapter as the simulator reads it.
sim::AdapterDef Adapter(const disctest::World& w, const std::string& name);
// The chip of an E1-E3 adapter by its PCI device id.
testkit::e1e3::Chip ChipOf(uint32_t did);

}  // namespace updtest
