// Test support for discovery: a simulated machine in a temporary system root (also the current
// folder), a firmware folder, and one discovery run in process the way an export runs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <platform/testing/temp_root.h>
#include <sim/adapter_builder.h>
#include <testkit/bytes.h>

namespace disctest {

class World {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    std::string root() const { return root_.path(); }
    std::string fw() const { return root_.path() + "/fw"; }
    void Add(const sim::AdapterDef& desc) { sim::write_adapter(root(), desc); }
    // Fails `ordinal` with an injected status (on `adapter`, or on any).
    void Fail(uint32_t ordinal, const std::string& adapter = {});
    // A firmware-folder file.
    std::string File(const std::string& name, const testkit::Bytes& bytes) const;
    std::string File(const std::string& name, const std::string& text) const;
    // An MBI package of version a.b.c for the boards with these ids.
    std::string Mbi(const std::string& name, uint16_t vid, uint16_t did, uint16_t svid, uint16_t ssid, uint8_t a,
                    uint8_t b, uint8_t c) const;

    // Brings the management library and the interpreter up (once) and discovers.
    bool Discover(bool dumpMode = false);

private:
    platform::testing::TempSystemRoot root_;
    std::string oldCwd_;
    bool up_ = false;
};

// Two ports of the simulator's 57710-class board (functions 0 and 1 on bus `bus`).
sim::AdapterDef Port(uint32_t index, uint32_t function, uint32_t bus = 1);

}  // namespace disctest
