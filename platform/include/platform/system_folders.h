// Folders of the machine the system root stands for: the running program's folder, the system
// drive and the log folder on it.
#pragma once

#include <string>

namespace platform {

// Full path of the running program file (from /proc/self/exe); empty when it cannot be read.
std::string program_path();
// The folder of the running program file, without a trailing '/'.
std::string program_folder();

// The drive of the system folder as the system's documents write it ("C:").
std::string system_drive();
// The Linux folder that stands for the system drive: "<system root>/C".
std::string system_drive_path();

// "<system root>/C/tvnsystem/log", the folder of the tools' log files. With create set, the
// folders "tvnsystem" and "tvnsystem/log" are made when missing (failures are ignored; opening a
// file there then reports them).
std::string log_root(bool create);

}  // namespace platform
