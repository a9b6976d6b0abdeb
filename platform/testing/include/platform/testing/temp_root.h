// Test helper: a fresh temporary folder, and a system root made of one, each removed with all it
// holds when the object ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::testing {

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fwupgXXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // "<folder>/<relative>"
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

private:
    std::string path_;
};

// A TempDir that FWUPG_SYSTEM_ROOT names while the object lives; the earlier value is restored.
class TempSystemRoot : public TempDir {
public:
    TempSystemRoot()
    {
        if (const char* old = std::getenv("FWUPG_SYSTEM_ROOT")) previous_ = old;
        setenv("FWUPG_SYSTEM_ROOT", path().c_str(), 1);
    }
    ~TempSystemRoot()
    {
        if (previous_)
            setenv("FWUPG_SYSTEM_ROOT", previous_->c_str(), 1);
        else
            unsetenv("FWUPG_SYSTEM_ROOT");
    }

private:
    std::optional<std::string> previous_;
};

}  // namespace platform::testing
