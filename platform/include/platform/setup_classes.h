// The setup classes the machine knows, by name and GUID (the published constants).
#pragma once

#include <optional>
#include <string_view>

namespace platform {

struct SetupClass {
    std::string_view name;
    std::string_view guid;
};

inline constexpr SetupClass kSetupClasses[] = {
    {"SCSIAdapter", "{4D36E97B-E325-11CE-BFC1-08002BE10318}"},
    {"Net", "{4D36E972-E325-11CE-BFC1-08002BE10318}"},
    {"hdc", "{4D36E96A-E325-11CE-BFC1-08002BE10318}"},
    {"Display", "{4D36E968-E325-11CE-BFC1-08002BE10318}"},
    {"System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
    {"Ports", "{4D36E978-E325-11CE-BFC1-08002BE10318}"},
    {"MultiFunction", "{4D36E971-E325-11CE-BFC1-08002BE10318}"},
    {"USB", "{36FC9E60-C465-11CF-8056-444553540000}"},
    {"1394", "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}"},
    {"Adapter", "{4D36E964-E325-11CE-BFC1-08002BE10318}"},
    {"Computer", "{4D36E966-E325-11CE-BFC1-08002BE10318}"},
    {"fdc", "{4D36E969-E325-11CE-BFC1-08002BE10318}"},
    {"Infiniband", "{30EF7132-D858-4A0C-AC24-B9028A5CCA3F}"},
    {"MTD", "{4D36E970-E325-11CE-BFC1-08002BE10318}"},
    {"NoDriver", "{4D36E976-E325-11CE-BFC1-08002BE10318}"},
    {"Processor", "{50127DC3-0F36-415E-A6CC-4CB3BE910B65}"},
    {"Unknown", "{4D36E97E-E325-11CE-BFC1-08002BE10318}"},
    {"LegacyDriver", "{8ECC055D-047F-11D1-A537-0000F8753ED1}"},
    {"NetService", "{4D36E974-E325-11CE-BFC1-08002BE10318}"},
    {"NetTrans", "{4D36E975-E325-11CE-BFC1-08002BE10318}"},
};

// The GUID text of a class name (compared without case).
std::optional<std::string_view> setup_class_guid(std::string_view name);

}  // namespace platform
