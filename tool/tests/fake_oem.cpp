// A stand-in vendor library for the console tool's tests. It reads what to report from
// "fake_oem.ctl" in the working folder and appends every call with its arguments to
// "fake_oem.journal" there. Built whole as fake_oem.so and, with FAKE_OEM_PARTIAL, as a library
// that exports only oem_get_adapter_info.
//
// Control file, one key=value a line:
//   adapter=product|deviceId|vid|did|svid|ssid|segment|bus|device|function|slot|mac
//   fw=type|file|a.b.c|a.b.c          (current, available) entry of the last adapter
//   fwcount=N                          fwCount reported for the last adapter
//   count=N                            count reported by the counting call
//   info=CODE / info2=CODE             result of both / of the second oem_get_adapter_info call
//   discovery=CODE, discovery_writes=0|1, flash_with_file=CODE, debug=CODE
//   flash=C1,C2,...                    results of successive full flashes (the last repeats)
#include "fwupg/oem_interface.h"

#include "platform/utf16.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FakeEntry {
    std::string type, file;
    uint32_t cur[3]{}, avail[3]{};
};

struct FakeAdapter {
    std::vector<std::string> fields;
    std::vector<FakeEntry> entries;
    long fwCount = -1;
};

struct Control {
    std::vector<FakeAdapter> adapters;
    long count = -1;
    uint32_t info = 0, info2 = 0, discovery = 0, flashWithFile = 1, debug = 0;
    bool discoveryWrites = true;
    std::vector<uint32_t> flash{0};
};

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string item;
    while (std::getline(ss, item, sep)) out.push_back(item);
    return out;
}

void parse_version(const std::string& text, uint32_t (&v)[3])
{
    auto parts = split(text, '.');
    for (size_t i = 0; i < 3 && i < parts.size(); ++i) v[i] = static_cast<uint32_t>(std::stoul(parts[i]));
}

Control read_control()
{
    Control c;
    std::ifstream in("fake_oem.ctl");
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "adapter") {
            c.adapters.push_back({split(value, '|'), {}, -1});
        } else if (key == "fw" && !c.adapters.empty()) {
            auto f = split(value, '|');
            FakeEntry e;
            e.type = f.size() > 0 ? f[0] : "";
            e.file = f.size() > 1 ? f[1] : "";
            if (f.size() > 2) parse_version(f[2], e.cur);
            if (f.size() > 3) parse_version(f[3], e.avail);
            c.adapters.back().entries.push_back(e);
        } else if (key == "fwcount" && !c.adapters.empty()) {
            c.adapters.back().fwCount = std::stol(value);
        } else if (key == "count") {
            c.count = std::stol(value);
        } else if (key == "info") {
            c.info = c.info2 = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "info2") {
            c.info2 = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "discovery") {
            c.discovery = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "discovery_writes") {
            c.discoveryWrites = value != "0";
        } else if (key == "flash_with_file") {
            c.flashWithFile = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "debug") {
            c.debug = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "flash") {
            c.flash.clear();
            for (const auto& r : split(value, ',')) c.flash.push_back(static_cast<uint32_t>(std::stoul(r)));
        }
    }
    return c;
}

void journal(const std::string& line)
{
    if (FILE* f = std::fopen("fake_oem.journal", "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string u8(const char16_t* s) { return s ? platform::to_utf8(platform::u16_view(s)) : "(null)"; }

template <size_t N>
void put(char16_t (&dest)[N], const std::string& text)
{
    platform::to_utf16(text, dest, N);
}

uint32_t field_u32(const std::vector<std::string>& f, size_t i)
{
    return i < f.size() ? static_cast<uint32_t>(std::stoul(f[i], nullptr, 0)) : 0;
}

void fill(VendorAdaptInfo& r, const FakeAdapter& a)
{
    const auto& f = a.fields;
    put(r.productName, f.size() > 0 ? f[0] : "");
    put(r.deviceId, f.size() > 1 ? f[1] : "");
    r.vid = field_u32(f, 2);
    r.did = field_u32(f, 3);
    r.svid = field_u32(f, 4);
    r.ssid = field_u32(f, 5);
    r.segment = field_u32(f, 6);
    r.bus = field_u32(f, 7);
    r.device = field_u32(f, 8);
    r.function = field_u32(f, 9);
    put(r.slot, f.size() > 10 ? f[10] : "");
    put(r.mac, f.size() > 11 ? f[11] : "");
    size_t n = 0;
    for (const auto& e : a.entries) {
        if (n == kMaxFwInfo) break;
        FwInfo& fw = r.fw[n++];
        put(fw.typeName, e.type);
        put(fw.fileName, e.file);
        fw.curMajor = e.cur[0];
        fw.curMinor = e.cur[1];
        fw.curBuild = e.cur[2];
        fw.availMajor = e.avail[0];
        fw.availMinor = e.avail[1];
        fw.availBuild = e.avail[2];
    }
    r.fwCount = a.fwCount >= 0 ? static_cast<uint32_t>(a.fwCount) : static_cast<uint32_t>(n);
}

__attribute__((constructor)) void announce_load()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&announce_load), &info) && info.dli_fname) {
        const char* slash = std::strrchr(info.dli_fname, '/');
        journal(std::string("load ") + (slash ? slash + 1 : info.dli_fname));
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t oem_get_adapter_info(VendorAdaptInfo* records, uint32_t* count,
                                                                       const char16_t* fwFolder)
{
    Control c = read_control();
    if (!records) {
        journal("oem_get_adapter_info records=none folder=" + u8(fwFolder));
        if (c.info) return c.info;
        *count = c.count >= 0 ? static_cast<uint32_t>(c.count) : static_cast<uint32_t>(c.adapters.size());
        return 0;
    }
    journal("oem_get_adapter_info records=array capacity=" + std::to_string(*count) + " folder=" + u8(fwFolder));
    if (c.info2) return c.info2;
    uint32_t n = 0;
    for (; n < *count && n < c.adapters.size(); ++n) fill(records[n], c.adapters[n]);
    *count = n;
    return 0;
}

#ifndef FAKE_OEM_PARTIAL

__attribute__((visibility("default"))) uint32_t oem_do_discovery_with_files(const char16_t* reportFile,
                                                                              const char16_t* fwFolder)
{
    journal("oem_do_discovery_with_files report=" + u8(reportFile) + " folder=" + u8(fwFolder));
    Control c = read_control();
    if (c.discoveryWrites)
        if (FILE* f = std::fopen(u8(reportFile).c_str(), "w")) {
            std::fputs("<zk_rom_discovery/>\n", f);
            std::fclose(f);
        }
    return c.discovery;
}

__attribute__((visibility("default"))) uint32_t oem_do_flash_with_file(const char16_t* reportFile,
                                                                         const char16_t* fwFolder)
{
    journal("oem_do_flash_with_file report=" + u8(reportFile) + " folder=" + u8(fwFolder));
    return read_control().flashWithFile;
}

__attribute__((visibility("default"))) uint32_t oem_do_full_flash_PCI(const char16_t* imageFile, uint32_t force,
                                                                        uint32_t segment, uint32_t bus,
                                                                        uint32_t device, uint32_t function)
{
    static size_t calls = 0;
    char pci[64];
    std::snprintf(pci, sizeof pci, "%u:%u:%u.%u", segment, bus, device, function);
    journal("oem_do_full_flash_PCI file=" + u8(imageFile) + " force=" + std::to_string(force) + " pci=" + pci);
    Control c = read_control();
    size_t i = calls < c.flash.size() ? calls : c.flash.size() - 1;
    ++calls;
    return c.flash.empty() ? 0 : c.flash[i];
}

__attribute__((visibility("default"))) const char* oem_text_for_error_code(uint32_t code)
{
    static char text[96];
    journal("oem_text_for_error_code " + std::to_string(code));
    std::snprintf(text, sizeof text, " %u - RET_FAKE : fake text for %u.\r\n", code, code);
    return text;
}

__attribute__((visibility("default"))) uint32_t oem_get_debug_info(const char16_t* logFile)
{
    journal("oem_get_debug_info " + u8(logFile));
    return read_control().debug;
}

#endif

}  // extern "C"
