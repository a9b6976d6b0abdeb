#include "update_loop.h"

#include "modes.h"
#include "options.h"
#include "stop_request.h"
#include "user_interface.h"
#include "vendor_library.h"

#include <cctype>
#include <cstring>

namespace tirn {

namespace {

// The image path handed to the library holds at most this many UTF-16 units.
constexpr size_t kMaxImagePathUnits = 1023;
// A path that does not fit is not flashed: it counts as an invalid image file path.
constexpr uint32_t kImagePathInvalid = 8;

}  // namespace

Answer PromptForUpdate(UserInterface& ui, uint32_t flags, const AdapterList& list, uint32_t adapter,
                       uint32_t entry, FILE* input)
{
    const FwInfo& fw = list.records[adapter].fw[entry];
    bool yes = IsFirmwareOlder(fw) || (flags & kOptForce);
    Answer byDefault = yes ? Answer::Update : Answer::Skip;
    if (flags & kOptSilent) return byDefault;

    const char* format = (fw.curBuild > 0xFFFF || fw.availBuild > 0xFFFF)
        ? "\tUpdate firmware %s from version %u.%u.%x to %u.%u.%x? [y]es/[n]o/[q]uit/[c]ontinue (%s) "
        : "\tUpdate firmware %s from version %u.%u.%u to %u.%u.%u? [y]es/[n]o/[q]uit/[c]ontinue (%s) ";
    ui.Print(kLevelNormal, format, FieldText(fw.typeName).c_str(), fw.curMajor, fw.curMinor, fw.curBuild,
             fw.availMajor, fw.availMinor, fw.availBuild, yes ? "y" : "n");

    // One line of at most 79 characters; the rest of a longer line is the next answer.
    char line[80];
    if (!std::fgets(line, sizeof line, input)) return Answer::Skip;
    size_t n = std::strlen(line);
    if (n && line[n - 1] == '\n') line[--n] = 0;
    if (n == 0) return byDefault;
    switch (std::tolower(static_cast<unsigned char>(line[0]))) {
    case 'c': return Answer::NextAdapter;
    case 'n': return Answer::Skip;
    case 'q': return Answer::Quit;
    case 'y': return Answer::Update;
    default: return Answer::Skip;
    }
}

int UpdateAdapters(UserInterface& ui, uint32_t flags, const AdapterList& list, FILE* input)
{
    std::string folder = GetFirmwareFolder();
    uint32_t updatedAdapters = 0;
    bool failed = false;
    for (uint32_t i = 0; i < list.count && !StopSignal(); ++i) {
        const VendorAdaptInfo& a = list.records[i];
        // An interactive run forces every update it is allowed to make.
        if (!(flags & kOptSilent)) flags |= kOptForce;
        std::string product = FieldText(a.productName);
        ui.Print(kLevelNormal, "\nExamining NIC %s at %s (MAC address %s)\n", product.c_str(),
                 FieldText(a.deviceId).c_str(), FieldText(a.mac).c_str());
        bool updated = false;
        for (uint32_t k = 0; k < EntryCount(a) && !StopSignal(); ++k) {
            Answer answer = PromptForUpdate(ui, flags, list, i, k, input);
            ui.Log(kLevelNormal, "\n");
            if (answer == Answer::Skip) continue;
            if (answer == Answer::NextAdapter) break;
            if (answer == Answer::Quit) return (updatedAdapters == 0 && !failed) ? 3 : 0;

            std::string path = folder + "/" + FieldText(a.fw[k].fileName);
            std::u16string path16 = platform::to_utf16(path);
            ui.Print(kLevelNormal, "\tFlash file name: %s\n", path.c_str());
            ui.Print(kLevelNormal, "Updating %s...please wait.\n", product.c_str());
            uint32_t rc = path16.size() > kMaxImagePathUnits
                ? kImagePathInvalid
                : tirn::oem_do_full_flash_PCI(path16.c_str(), (flags & kOptForce) ? 1 : 0, a.segment, a.bus, a.device,
                                        a.function);
            ui.Print(kLevelNormal, "Update complete.  Flash result: %u\r\n", rc);
            if (rc > 100) ui.Print(kLevelNormal, "%s\r\n", ErrorText(rc).c_str());
            if (rc <= 2)
                updated = true;
            else
                failed = true;
        }
        if (updated) ++updatedAdapters;
    }
    ui.Print(kLevelNormal, "\nAdapters updated: %u\n", updatedAdapters);
    if (failed) return 0;
    return updatedAdapters ? 1 : 3;
}

}  // namespace tirn
