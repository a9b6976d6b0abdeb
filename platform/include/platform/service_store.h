// The service database of the simulated machine: one file per installed service,
// "<system root>/services/<name folded to lower case>.service", replaced whole on every change
// (under the lock file "services/.lock"), with "key=value" lines:
//   name=tvnx                     the service name as installed
//   display=Tvn Driver            display name
//   type=1                        service type (1 kernel driver, 16 own process)
//   binary=\SystemRoot\...        binary path
//   state=running                 stopped, start_pending, stop_pending or running
//   on_start=running              what a start request leads to: running, pending (the service
//                                 then stays start-pending), or fail:<Windows error code>
//   on_stop=stopped               what a stop request leads to: stopped or pending
//   delete_pending=1              deleted while it ran: removed when it stops
// The start type is where the machine keeps it: "Start" of the registry key
// "System\CurrentControlSet\Services\<name>" (HKEY_LOCAL_MACHINE), which is written with Type,
// ErrorControl, ImagePath and DisplayName when a service is installed.
//
// The database lock is an exclusive flock on "services/.dblock", held by the locking handle's open
// file and so dropped when its process ends; while held, the file names the holder as
// "<process id> <seconds since 1970>".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform::services {

enum class State : uint32_t { Stopped = 1, StartPending = 2, StopPending = 3, Running = 4 };

struct Service {
    std::string name;
    std::string display;
    std::string binary;
    uint32_t type = 0x10;
    State state = State::Stopped;
    std::string on_start = "running";
    std::string on_stop = "stopped";
    bool delete_pending = false;
};

std::string services_dir();
std::string database_lock_path();
// "System\CurrentControlSet\Services\<name>".
std::string services_key(std::string_view name);

std::string format_service(const Service& service);
// Nothing when the text has no name.
std::optional<Service> parse_service(std::string_view text);

std::optional<Service> find(std::string_view name);
// Reads the entry under the database's lock, lets `change` edit it and writes it back when it
// returns true (or removes the entry when `change` cleared its name). False when the service is
// missing, the change refused, or the file could not be written.
bool update(std::string_view name, const std::function<bool(Service&)>& change);
// Adds an entry; false when one of that name exists.
bool add(const Service& service);

// Fixtures: installs a service with its registry key (start type as given).
bool install(const Service& service, uint32_t start_type);

}  // namespace platform::services
