#include "update_test_support.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <platform/utf16.h>

#include "fwupg/oem_interface.h"

namespace updtest {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

namespace {

// [begin, end) of the <device> element holding the MAC, or npos.
std::pair<size_t, size_t> DeviceSpan(const std::string& report, const std::string& mac)
{
    const size_t at = report.find("<macaddress value=\"" + mac + "\"");
    if (mac.empty() || at == std::string::npos) return {std::string::npos, std::string::npos};
    const size_t begin = report.rfind("<device>", at);
    const size_t end = report.find("</device>", at);
    if (begin == std::string::npos || end == std::string::npos) return {std::string::npos, std::string::npos};
    return {begin, end + 9};
}

}  // namespace

std::string DeviceBlock(const std::string& report, const std::string& mac)
{
    const auto [begin, end] = DeviceSpan(report, mac);
    return begin == std::string::npos ? std::string() : report.substr(begin, end - begin);
}

std::vector<std::string> Values(const std::string& text, const std::string& name)
{
    std::vector<std::string> out;
    const std::string key = "<" + name + " value=\"";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t end = text.find('"', at + key.size());
        if (end == std::string::npos) break;
        out.push_back(text.substr(at + key.size(), end - at - key.size()));
    }
    return out;
}

std::string WithAction(std::string report, const std::string& mac, const std::string& action)
{
    auto [begin, end] = DeviceSpan(report, mac);
    if (begin == std::string::npos) throw std::runtime_error("no device with MAC " + mac);
    const std::string key = "<action value=\"";
    for (size_t at = report.find(key, begin); at != std::string::npos && at < end; at = report.find(key, at + 1)) {
        const size_t value = at + key.size();
        const size_t close = report.find('"', value);
        end = end - (close - value) + action.size();
        report.replace(value, close - value, action);
    }
    return report;
}

uint32_t Discover(const disctest::World& w, const std::string& report)
{
    const std::u16string folder = platform::to_utf16(w.fw()), file = platform::to_utf16(report);
    return oem_do_discovery_with_files(file.c_str(), folder.c_str());
}

uint32_t Flash(const disctest::World& w, const std::string& report)
{
    const std::u16string folder = platform::to_utf16(w.fw()), file = platform::to_utf16(report);
    return oem_do_flash_with_file(file.c_str(), folder.c_str());
}

uint32_t FlashPci(const std::string& image, uint32_t bus, uint32_t device, uint32_t function)
{
    const std::u16string file = platform::to_utf16(image);
    return oem_do_full_flash_PCI(file.c_str(), 0, 0, bus, device, function);
}

std::map<std::string, testkit::Bytes> Nvrams(const disctest::World& w)
{
    std::map<std::string, testkit::Bytes> out;
    for (const std::string& name : sim::adapter_names(w.root())) out[name] = sim::read_nvram(w.root(), name);
    return out;
}

sim::AdapterDef Adapter(const disctest::World& w, const std::string& name)
{
    std::string error;
    auto desc = sim::parse_adapter(name, Read(sim::description_path(w.root(), name)), &error);
    if (!desc) throw std::runtime_error("adapter " + name + ": " + error);
    return *desc;
}

testkit::e1e3::Chip ChipOf(uint32_t did)
{
    using testkit::e1e3::Chip;
    switch (did) {
    case 0x164E: case 0x164F: case 0x1650: return Chip::E1;
    case 0x1662: case 0x1663: return Chip::E2;
    default: return Chip::E3;
    }
}

}  // namespace updtest
