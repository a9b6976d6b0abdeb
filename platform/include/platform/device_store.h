// The devices of the simulated machine, as the device installer lists them.
//
// Two sources, read afresh at every call:
// 1. Every adapter description "<system root>/adapters/<name>.adapter" (in name order) is a present
//    network-class device. From its keys vid, did, svid, ssid, bus, device, function, chip_id,
//    service_name and driver_major/minor/build:
//      instance id   PCI\VEN_vvvv&DEV_dddd&SUBSYS_ssssSSSS&REV_rr\4&<bus>&0&<device*8+function>
//                    (ssss the subsystem device, SSSS the subsystem vendor, hex upper case; rr
//                    the chip revision in the high nibble and the metal in the low one)
//      hardware ids  ...&SUBSYS_ssssSSSS&REV_rr, ...&SUBSYS_ssssSSSS, ...&REV_rr, PCI\VEN_vvvv&DEV_dddd
//      compatible    PCI\VEN_vvvv&CC_020000, PCI\VEN_vvvv&CC_0200, PCI\CC_020000, PCI\CC_0200
//      driver        with a service name: INF "<service>.inf", section "<service>.ndi", version
//                    major.minor.build.0; without one, no driver
// 2. The file "<system root>/devices": sections "[<instance id>]" with "key=value" lines. A section
//    whose instance id (compared without case) is that of an adapter's device changes that device;
//    any other section adds a device after the adapters', in file order. Keys:
//      class=<setup class GUID, braces>  hardware_ids=<id>;<id>...  compatible_ids=<id>;...
//      present=0|1  service=<name>  needs_restart=1 (a driver update of it needs a restart)
//      driver_inf, driver_section, driver_desc, driver_mfg, driver_provider,
//      driver_version=a.b.c.d, driver_date=yyyy-mm-dd, driver_flags=<DNF_ bits>, driver_rank
//    Any driver_ key gives the device an installed driver. A driver update rewrites the device's
//    section (the file is replaced whole, under the lock "devices.lock").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::devices {

constexpr std::string_view kNetClassGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

struct Driver {
    std::string inf;  // file name in the system's INF folder, or a full path
    std::string section;
    std::string description;
    std::string manufacturer;
    std::string provider;
    uint64_t version = 0;  // four 16-bit words, most significant first
    uint16_t date_year = 0, date_month = 0, date_day = 0;
    uint32_t flags = 0;
    uint32_t rank = 0;
};

struct Device {
    std::string instance_id;
    std::string class_guid;
    std::vector<std::string> hardware_ids;
    std::vector<std::string> compatible_ids;
    bool present = true;
    std::string service;
    bool needs_restart = false;
    bool from_adapter = false;  // stands for an adapter description
    std::optional<Driver> driver;
};

// One section of the devices file, its lines in order.
struct Section {
    std::string instance_id;
    std::vector<std::pair<std::string, std::string>> lines;
};

std::string devices_path();
std::vector<Section> parse_devices(std::string_view text);
std::string format_devices(const std::vector<Section>& sections);

// The device an adapter description stands for; nothing when the text lacks vid or did.
std::optional<Device> device_from_adapter(std::string_view adapter_text);

// Every device of the machine, adapters' first.
std::vector<Device> list();

// "a.b.c.d" as four 16-bit words; nothing for any other text.
std::optional<uint64_t> parse_version(std::string_view text);
std::string format_version(uint64_t version);

// Removes a device's section from the devices file; false when it has none.
bool remove_section(std::string_view instance_id);

// Records a new installed driver for a device (and whether its update needs a restart).
bool set_driver(std::string_view instance_id, const Driver& driver);

// Sets keys of a device's section (made when missing), keeping the other keys.
bool set_keys(std::string_view instance_id, const std::vector<std::pair<std::string, std::string>>& keys);

}  // namespace platform::devices
