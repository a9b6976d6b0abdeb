// A simulated machine and a component folder, made the current folder, for the plug-in's tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/testing/temp_root.h"
#include "platform/testing/bin_dir.h"

// How often `part` stands in `text`.
inline size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class ComponentFolder {
public:
    ComponentFolder() : old_(std::filesystem::current_path())
    {
        std::filesystem::create_directories(root_ / "C");  // the system drive
        std::filesystem::create_directories(folder());
        std::filesystem::current_path(folder());
    }
    ~ComponentFolder() { std::filesystem::current_path(old_); }
    ComponentFolder(const ComponentFolder&) = delete;
    ComponentFolder& operator=(const ComponentFolder&) = delete;

    std::string folder() const { return root_ / "component"; }
    std::string root() const { return root_.path(); }
    std::string file(const std::string& name) const { return folder() + "/" + name; }

    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
    }
    // A file of the simulated machine ("C/tvnsystem/log/tvnsetup.log").
    std::string ReadRoot(const std::string& relative) const { return Read(root_ / relative); }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Copies a built program or library into the folder under `name`.
    void CopyBuilt(const std::string& built, const std::string& name) const
    {
        std::filesystem::copy_file(platform::testing::bin_dir() + "/" + built, file(name),
                                   std::filesystem::copy_options::overwrite_existing);
    }

private:
    platform::testing::TempSystemRoot root_;
    std::filesystem::path old_;
};
