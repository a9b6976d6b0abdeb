// A simulated legacy adapter made from a test-kit description (with its corruptions applied), and
// a temporary folder for the files the commands read and write.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "legacy_fake_host.h"
#include "testkit/legacy_describe.h"

// The small board the command tests run on: a 5708 with 64 KiB of NVRAM holding boot code, boot
// agent and UMP. A test appends description lines for more images, VPD fields or corruptions.
inline const std::string kSmallBoard = "board=5708\nsize=0x10000\nimage=BC1 1.2.3\nimage=MBA 7.10.3\nimage=UMP 1.1.4\n";

struct DescribedBoard {
    testkit::legacy::description d;
    FakeHost host;
    explicit DescribedBoard(const std::string& text = kSmallBoard)
        : d(testkit::legacy::parse_description(text)), host(d.a)
    {
        host.nvram = testkit::legacy::build_described(d);
    }
};

struct TempDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("legacy_cmd_" + std::to_string(::getpid()) + "_" +
                                  std::to_string(reinterpret_cast<uintptr_t>(this)));
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
    std::string write(const char* name, const testkit::legacy::bytes& b) const
    {
        const std::string p = file(name);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return p;
    }
    static testkit::legacy::bytes read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return testkit::legacy::bytes(std::istreambuf_iterator<char>(in), {});
    }
};
