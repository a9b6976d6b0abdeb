// Helpers of the INI-file line tests: files of the system root, registry text values, and an INF
// whose install section runs given lines.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/paths.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_registry.h"
#include "platform/win_setupapi_install.h"

namespace ini_lines_test {

inline void Write(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::optional<std::string> Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A text value of a key of HKEY_LOCAL_MACHINE, as UTF-8.
inline std::optional<std::string> RegText(const char16_t* key, const char16_t* name)
{
    using namespace win;
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k)) return std::nullopt;
    char16_t value[256] = {};
    DWORD size = sizeof value - 2, type = 0;
    const LSTATUS e = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    if (e || type != REG_SZ) return std::nullopt;
    return platform::to_utf8(value);
}

struct Install {
    win::BOOL ok;
    win::DWORD error;
};

// Installs the section [Inst] of the INF C:\pkg\t.inf made of `text` (its Version section added),
// with the flags and the device given.
inline Install InstallSection(const std::string& text, win::UINT flags, win::SP_DEVINFO_DATA* device = nullptr)
{
    using namespace win;
    Write(platform::root_path("C/pkg/t.inf"), "[Version]\nSignature=\"$Windows NT$\"\n" + text);
    HINF inf = SetupOpenInfFileW(u"C:\\pkg\\t.inf", nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) return {FALSE, GetLastError()};
    SetLastError(0);
    const BOOL ok = SetupInstallFromInfSectionW(nullptr, inf, u"Inst", flags, HKEY_LOCAL_MACHINE, nullptr, 0, nullptr,
                                                nullptr, nullptr, device);
    const DWORD error = GetLastError();
    SetupCloseInfFile(inf);
    return {ok, ok ? 0 : error};
}

// Runs the section [Inst] of an INF whose list section holds `lines` under `directive`.
inline Install InstallLines(const platform::testing::TempSystemRoot&, const std::string& directive,
                            const std::string& lines,
                            win::UINT flags = win::SPINST_INIFILES | win::SPINST_INI2REG | win::SPINST_REGISTRY)
{
    return InstallSection("[Inst]\n" + directive + "=Ini.Lines\n[Ini.Lines]\n" + lines + "[Strings]\nFile=tvn.ini\n",
                          flags);
}

}  // namespace ini_lines_test
