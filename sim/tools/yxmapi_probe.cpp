// yxmapi_probe: a second session of the simulated management library for cross-process tests.
// Loads YXMAPIa.so (from the folder of this program) by ordinal and runs one command per line
// read from standard input, answering each with one line "status=0x........" (read adds
// " data=<hex bytes>"):
//   init | shutdown | claim H | release H | reset H | read H OFFSET DWORDS | write H OFFSET HEXBYTES
//   | exit
// Numbers take decimal or 0x-prefixed hexadecimal.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "yxmapi/yxmapi.h"

namespace {

constexpr const char* kGuid = "{0D1E2F30-4152-6374-8596-A7B8C9DAEBFC}";

void* g_lib = nullptr;

template <uint32_t Ordinal>
typename yxmapi::OrdinalFn<Ordinal>::type fn()
{
    void* sym = dlsym(g_lib, yxmapi::symbol_for_ordinal(Ordinal));
    if (!sym) {
        std::fprintf(stderr, "yxmapi_probe: ordinal %u missing\n", Ordinal);
        std::exit(2);
    }
    return reinterpret_cast<typename yxmapi::OrdinalFn<Ordinal>::type>(sym);
}

uint32_t number(std::istringstream& in)
{
    std::string word;
    in >> word;
    return static_cast<uint32_t>(std::strtoul(word.c_str(), nullptr, 0));
}

std::vector<uint8_t> hex_bytes(const std::string& text)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::string own_folder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

}  // namespace

int main()
{
    std::string lib = own_folder() + "/" + yxmapi::kLibraryFileName;
    g_lib = dlopen(lib.c_str(), RTLD_NOW);
    if (!g_lib) {
        std::fprintf(stderr, "yxmapi_probe: %s\n", dlerror());
        return 2;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        uint32_t status = 0;
        std::string data;
        if (cmd == "exit") break;
        if (cmd == "init") status = fn<34>()(0);
        else if (cmd == "shutdown") status = fn<3>()();
        else if (cmd == "claim") status = fn<47>()(number(in));
        else if (cmd == "release") status = fn<48>()(number(in));
        else if (cmd == "reset") status = fn<33>()(number(in), yxmapi::kResetMode);
        else if (cmd == "read") {
            uint32_t h = number(in), off = number(in), n = number(in);
            std::vector<uint32_t> buf(n);
            status = fn<68>()(h, off, buf.data(), n, kGuid);
            const auto* bytes = reinterpret_cast<const uint8_t*>(buf.data());
            char hex[3];
            for (size_t i = 0; status == 0 && i < 4ull * n; ++i) {
                std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
                data += hex;
            }
        } else if (cmd == "write") {
            uint32_t h = number(in), off = number(in);
            std::string text;
            in >> text;
            std::vector<uint8_t> bytes = hex_bytes(text);
            std::vector<uint32_t> buf((bytes.size() + 3) / 4);
            if (!bytes.empty()) std::memcpy(buf.data(), bytes.data(), bytes.size());
            status = fn<67>()(h, off, buf.data(), static_cast<uint32_t>(buf.size()), kGuid);
        } else {
            std::printf("error=unknown command\n");
            std::fflush(stdout);
            continue;
        }
        std::printf("status=0x%08X%s%s\n", status, data.empty() ? "" : " data=", data.c_str());
        std::fflush(stdout);
    }
    return 0;
}
