#include "testkit/component_machine.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace testkit {

namespace {

void Append(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

void Write(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A REG_DWORD value line: type 4, the four bytes little-endian in hex, then the name.
std::string DwordLine(const std::string& name, unsigned value)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF,
                  (value >> 24) & 0xFF);
    return "value 4 " + std::string(hex) + " " + name + "\n";
}

}  // namespace

void add_system_facts(const std::string& root, const std::vector<std::pair<std::string, std::string>>& facts)
{
    std::string text;
    for (const auto& [key, value] : facts) text += key + "=" + value + "\n";
    Append(std::filesystem::path(root) / "system.conf", text);
}

void add_service(const std::string& root, const MachineService& s)
{
    Write(std::filesystem::path(root) / "services" / (Lower(s.name) + ".service"),
          "name=" + s.name + "\ndisplay=" + s.name + "\ntype=1\nbinary=\\SystemRoot\\system32\\drivers\\" + s.name +
              ".sys\nstate=" + (s.running ? "running" : "stopped") + "\non_start=running\non_stop=stopped\n");
    std::string key = "[System\\CurrentControlSet\\Services\\" + s.name + "]\n" + DwordLine("Type", 1) +
                      DwordLine("Start", 3) + DwordLine("ErrorControl", 1);
    if (s.markedForDeletion) key += DwordLine("DeleteFlag", 1);
    Append(std::filesystem::path(root) / "registry" / "HKEY_LOCAL_MACHINE.reg", key);
}

void add_driver_file(const std::string& root, const std::string& name)
{
    Write(std::filesystem::path(root) / "C" / "Windows" / "system32" / "drivers" / name, "");
}

void add_device(const std::string& root, const MachineDevice& d)
{
    std::string ids;
    for (const auto& id : d.hardwareIds) ids += (ids.empty() ? "" : ";") + id;
    Append(std::filesystem::path(root) / "devices", "[" + d.instanceId +
                                                          "]\nclass={4D36E972-E325-11CE-BFC1-08002BE10318}\n"
                                                          "hardware_ids=" + ids + "\npresent=1\n");
}

void add_registry_dword(const std::string& root, const std::string& key, const std::string& name, unsigned value)
{
    Append(std::filesystem::path(root) / "registry" / "HKEY_LOCAL_MACHINE.reg", "[" + key + "]\n" + DwordLine(name, value));
}

void add_dos_device(const std::string& root, const std::string& name)
{
    Write(std::filesystem::path(root) / "dosdevices" / name, "");
}

void set_computer_model(const std::string& root, const std::string& model)
{
    add_service(root, {"winmgmt", true, false});
    Write(std::filesystem::path(root) / "wmi" / "ROOT" / "CIMV2" / "Win32_ComputerSystem.instances",
          "[instance]\nModel=sz:" + model + "\nName=sz:TVNHOST\n");
}

std::string dependency_xml(const std::vector<std::string>& models)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<componentdependencies>\n"
                      "  <dependent_hardware>\n    <platforms>\n";
    for (const auto& m : models) out += "      <platform model=\"" + m + "\"/>\n";
    return out + "    </platforms>\n  </dependent_hardware>\n</componentdependencies>\n";
}

std::string addservice_inf(const std::string& service)
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
           "ClassGUID={4d36e972-e325-11ce-bfc1-08002be10318}\r\nProvider=%Ostra%\r\n\r\n"
           "[Ostra.ndi.Services]\r\nAddService = " + service + ", 2, Ostra.Service\r\n\r\n"
           "[Ostra.Service]\r\nServiceType = 1\r\nStartType = 3\r\nErrorControl = 1\r\n"
           "ServiceBinary = %12%\\" + service + ".sys\r\n\r\n[Strings]\r\nOstra = \"Ostra\"\r\n";
}

std::string driver_package_inf(const std::string& service, const std::string& hardwareId)
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
           "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Ostra%\r\n"
           "DriverVer=03/14/2024,7.2.0.0\r\n\r\n"
           "[DestinationDirs]\r\nDefaultDestDir=12\r\n\r\n"
           "[Manufacturer]\r\n%Ostra%=Ostra\r\n\r\n"
           "[Ostra]\r\n%Nic%=Ostra.NT," + hardwareId + "\r\n\r\n"
           "[Ostra.NT]\r\nCopyFiles=Ostra.Drv\r\n\r\n"
           "[Ostra.NT.Services]\r\nAddService=" + service + ",2,Ostra.Service\r\n\r\n"
           "[Ostra.Service]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\n"
           "ServiceBinary=%12%\\" + service + ".sys\r\n\r\n"
           "[Ostra.Drv]\r\n" + service + ".sys\r\n\r\n"
           "[Strings]\r\nOstra=\"Ostra Networks\"\r\nNic=\"Ostra Server Adapter\"\r\n";
}

void add_newdev(const std::string& root)
{
    Write(std::filesystem::path(root) / "C" / "Windows" / "system32" / "newdev.dll",
          "[stand-in module]\nexports=UpdateDriverForPlugAndPlayDevicesW\n");
}

}  // namespace testkit
