// An adapter that a power cut left with NVRAM failing its check, and the backup of the NVRAM that
// the cut update left behind. The next upgrade line of the adapter programs that backup back
// before it writes anything else, so what the adapter runs after that line is what the backup
// holds: discovery lists the adapter's firmware items from the backup, and the image checks of the
// update's first line look at the backup too. Nothing here writes.
#pragma once

#include <string>

#include <yxmapi/yxmapi.h>

namespace fwupg {

// While alive, and when the adapter has such a backup, the engines read the adapter's NVRAM from
// the backup file (their writes would change nothing). The adapter is selected and published
// for the engines by the constructor. Inactive when the family's items do not depend on what the
// directory lists, when there is no backup, when it does not belong to the adapter, or when the
// NVRAM passes its check (then the backup is not programmed back either).
class LeftoverBackupView {
public:
    LeftoverBackupView(const yxmapi::PhyNicInfo& phy, const yxmapi::NicInfoEx& nic);
    ~LeftoverBackupView();
    LeftoverBackupView(const LeftoverBackupView&) = delete;
    LeftoverBackupView& operator=(const LeftoverBackupView&) = delete;

    bool active() const { return m_active; }

private:
    bool m_active = false;
    std::string m_previous;
};

// The file that stands in for the selected adapter's NVRAM while a LeftoverBackupView is active,
// else empty.
std::string LeftoverBackupInView();

// The firmware texts of a legacy-family NVRAM as the management library's firmware record gives
// them, read by the engine from the NVRAM the engines see (the backup while a view is active).
struct LegacyFirmwareTexts {
    std::string bootcode, pxe, iscsi, ump, ipmi, ncsi, ccm;
};
LegacyFirmwareTexts ReadLegacyFirmwareTexts();

}  // namespace fwupg
