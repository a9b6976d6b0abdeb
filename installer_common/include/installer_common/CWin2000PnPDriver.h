// Driver update for a set of present devices named by their PnP hardware ids: the driver package
// (the INF, its catalogs and the files its copy sections name, each with its compressed-name twin)
// is staged into "<system drive>\TVNSYSTEM\pnpdrvs", then the device installer's
// UpdateDriverForPlugAndPlayDevicesW of newdev.dll installs the staged INF for each id.
#pragma once

#include <vector>

#include "installer_common/CStr.h"

class CWin2000PnPDriver {
public:
    // `infName`: the INF's file name in the plug-in's folder; `force` non-zero forces the install
    // over an equal or newer driver.
    CWin2000PnPDriver(const char16_t* infName, int force);
    virtual ~CWin2000PnPDriver();

    // Appends the id unless it is listed already (compared with case).
    void AddHardwareId(const char16_t* id);
    // Adds the hardware id BuildHardwareId makes of a device-id text.
    void AddDeviceId(const char16_t* deviceId);
    // OR of the reboot words of every update this object made.
    int GetRebootFlags() const { return m_rebootFlags; }
    // 0 success; 1 nothing to update; 2 newdev.dll does not load; 3 it lacks the update function;
    // 4 at least one id failed. With no ids: 0 when both arguments are non-zero (the devices left
    // out already run this driver), else 1.
    int Update(int selective, int alreadyCurrent);

    const std::vector<CStr>& GetHardwareIds() const { return m_hardwareIds; }
    const std::vector<CStr>& GetStagingFiles() const { return m_stagingFiles; }

    // Appends a file to stage and its compressed-name twin (empty and listed names are ignored).
    void AddFile(const char16_t* name);
    // Lists the INF's files and copies them from the current folder into `folder`; 1 when every
    // copy succeeded (the twins that do not exist fail).
    int StageFiles(const char16_t* folder);

private:
    std::vector<CStr> m_hardwareIds;
    std::vector<CStr> m_stagingFiles;
    CStr m_infName;
    int m_rebootFlags = 0;
    int m_force = 0;
};
