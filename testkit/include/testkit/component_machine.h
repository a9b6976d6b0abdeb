// The parts of a simulated machine that the plug-in's install-state and dependency checks look
// at, written from the machine's file formats: system facts, driver services, driver files,
// devices, the computer model, and the package's dependency file and driver INF.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct MachineService {
    std::string name;
    bool running = true;
    bool markedForDeletion = false;  // DeleteFlag 1 in its Services key
};

struct MachineDevice {
    std::string instanceId;                 // e.g. "PCI\VEN_8086&DEV_1572&...\3&11583659&0&00"
    std::vector<std::string> hardwareIds;   // in the device's order
};

// Appends "key=value" lines to "<root>/system.conf" (OsMajorVersion, ProcessorArchitecture,
// ProductType, SystemMetric89, FreeDiskBytes, ...).
void add_system_facts(const std::string& root, const std::vector<std::pair<std::string, std::string>>& facts);
// "<root>/services/<name in lower case>.service" and the service's key
// System\CurrentControlSet\Services\<name> in the local machine's registry file (appended).
void add_service(const std::string& root, const MachineService& service);
// An empty file "<root>/C/Windows/system32/drivers/<name>".
void add_driver_file(const std::string& root, const std::string& name);
// A section of "<root>/devices" (appended): a present device of the network class.
void add_device(const std::string& root, const MachineDevice& device);
// A REG_DWORD value under a key of the local machine's registry file (appended).
void add_registry_dword(const std::string& root, const std::string& key, const std::string& name, unsigned value);
// A device the machine's "\\.\<name>" opens: "<root>/dosdevices/<name>".
void add_dos_device(const std::string& root, const std::string& name);
// The computer model WMI reports (Win32_ComputerSystem in ROOT\CIMV2), with the running WMI
// service it needs.
void set_computer_model(const std::string& root, const std::string& model);

// "dependency.xml" of a component folder listing the models (platform elements in order).
std::string dependency_xml(const std::vector<std::string>& models);
// A driver INF whose first AddService line installs `service`.
std::string addservice_inf(const std::string& service);
// A network driver package INF, version 7.2.0.0: the model `hardwareId` installs section
// "Ostra.NT", which copies "<service>.sys" into the drivers folder (12) and adds the service
// (kernel driver, demand start) in "Ostra.NT.Services".
std::string driver_package_inf(const std::string& service, const std::string& hardwareId);
// The device installer's update library "newdev.dll" in the system folder, as a stand-in module
// offering the driver update by hardware id.
void add_newdev(const std::string& root);

}  // namespace testkit
