// The files a plug-in component folder holds beside its update tool: the package definition file
// ("dz*.xml", document element tvn_package) and the install file ("install.xml", tvn_install),
// written from a short description.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct PciDevice {
    std::string ven, dev, subven, subdev;  // empty parts are left out
};

struct ComponentPackage {
    std::string filename = "dz012345.exe";  // the package's own file name
    std::string version = "1.0.0";
    std::vector<std::pair<std::string, std::string>> names;         // lang, text
    std::vector<std::pair<std::string, std::string>> descriptions;  // lang, text (as CDATA)
    std::string keyName = "YXZQFWUpg.exe";
    std::vector<std::string> keyPaths = {"%ProgramFiles%\\Ostra\\Tools"};  // expected paths, in order
    std::string silent = "yes";
    std::string reboot = "no";
    std::string diskKb = "2048";
    std::vector<PciDevice> pci;
    std::vector<std::pair<std::string, std::string>> otherDevices;  // type (eisa, scsi, pnp), id
    std::vector<std::string> operatingSystems;  // attribute text of each entry, e.g. major="6" minor="1"
};

struct ComponentInstall {
    std::string element = "inf_file";  // inf_file, inf_file_nt4 or inf_file_nt5
    std::string infFile = "ostra.inf";
    std::string type = "PNP";
    std::string section;
    std::string serviceName;
    std::string shellFile;
    std::string shellFolder;
};

std::string package_file_xml(const ComponentPackage& package);
std::string install_file_xml(const ComponentInstall& install);

// Writes "<folder>/<name>" (a package file name such as "dz012345.xml") and
// "<folder>/install.xml".
void write_component_files(const std::string& folder, const std::string& name, const ComponentPackage& package,
                           const ComponentInstall& install);

}  // namespace testkit
