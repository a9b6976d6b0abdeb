#include "testkit/component_files.h"

#include <fstream>
#include <stdexcept>

namespace testkit {

namespace {

std::string Attr(const std::string& name, const std::string& value)
{
    return value.empty() ? std::string() : " " + name + "=\"" + value + "\"";
}

void Write(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string package_file_xml(const ComponentPackage& p)
{
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tvn_package>\n";
    x += "  <filename>" + p.filename + "</filename>\n";
    x += "  <version value=\"" + p.version + "\"/>\n";
    x += "  <name>\n";
    for (const auto& [lang, text] : p.names) x += "    <name_xlate lang=\"" + lang + "\">" + text + "</name_xlate>\n";
    x += "  </name>\n  <description>\n";
    for (const auto& [lang, text] : p.descriptions)
        x += "    <description_xlate lang=\"" + lang + "\"><![CDATA[" + text + "]]></description_xlate>\n";
    x += "  </description>\n  <sw_keys>\n";
    for (const auto& path : p.keyPaths)
        x += "    <sw_keys_and>\n      <sw_key name=\"" + p.keyName + "\">\n        <sw_key_expectedpath>" + path +
             "</sw_key_expectedpath>\n      </sw_key>\n    </sw_keys_and>\n";
    x += "  </sw_keys>\n  <installation>\n    <install>\n";
    x += "      <install_caps silent=\"" + p.silent + "\"/>\n";
    x += "      <reboot_required value=\"" + p.reboot + "\"/>\n";
    x += "    </install>\n  </installation>\n  <prerequisites>\n";
    x += "    <required_diskspace size_kb=\"" + p.diskKb + "\"/>\n    <supported_devices>\n";
    for (const auto& d : p.pci) {
        x += "      <supported_devices_and>\n        <supported_device type=\"pci\">\n";
        for (const auto& [name, value] : {std::pair{"ven", d.ven}, {"dev", d.dev}, {"subven", d.subven},
                                          {"subdev", d.subdev}})
            if (!value.empty())
                x += std::string("          <supported_device_data name=\"") + name + "\">" + value +
                     "</supported_device_data>\n";
        x += "        </supported_device>\n      </supported_devices_and>\n";
    }
    for (const auto& [type, id] : p.otherDevices)
        x += "      <supported_devices_and>\n        <supported_device type=\"" + type +
             "\">\n          <supported_device_data name=\"id\">" + id +
             "</supported_device_data>\n        </supported_device>\n      </supported_devices_and>\n";
    x += "    </supported_devices>\n    <supported_operating_systems>\n";
    for (const auto& os : p.operatingSystems) x += "      <supported_operating_system " + os + "/>\n";
    x += "    </supported_operating_systems>\n  </prerequisites>\n</tvn_package>\n";
    return x;
}

std::string install_file_xml(const ComponentInstall& i)
{
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tvn_install>\n  <inf_information>\n";
    x += "    <" + i.element + Attr("filename", i.infFile) + Attr("type", i.type) + Attr("section", i.section) +
         Attr("service_name", i.serviceName) + "/>\n";
    x += "  </inf_information>\n";
    if (!i.shellFile.empty() || !i.shellFolder.empty())
        x += "  <ShellExecute>\n    <ShellExecute_Info" + Attr("file", i.shellFile) + Attr("DefaultDir", i.shellFolder) +
             "/>\n  </ShellExecute>\n";
    x += "</tvn_install>\n";
    return x;
}

void write_component_files(const std::string& folder, const std::string& name, const ComponentPackage& package,
                           const ComponentInstall& install)
{
    Write(folder + "/" + name, package_file_xml(package));
    Write(folder + "/install.xml", install_file_xml(install));
}

}  // namespace testkit
