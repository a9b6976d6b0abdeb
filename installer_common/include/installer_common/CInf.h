// One INF file, opened through the device installer: its Version keys, the sections that copy
// files, add services or carry software settings, and the name and start type of the service it
// installs. It also installs the INF by hand: copies, deletes and renames the files of its
// file-list sections (a file in use is replaced at the next restart), writes registry and service
// entries, and creates the device node of its service. Results are 1 for success and 0 for
// failure.
//
// The file-error list, the file-error flag, the ignore-delete-errors flag and the media request
// count are shared by every CInf of the process; each constructor resets the two flags, so one
// install runs at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "installer_common/CStr.h"
#include "platform/win_registry.h"
#include "platform/win_setupapi.h"
#include "platform/win_setupapi_inf.h"

class CInf {
public:
    // Makes the path absolute, opens the file (WIN4 style) and reads its Version section and
    // section lists. A file that does not open leaves an object whose IsOpen is 0.
    explicit CInf(const char16_t* path);
    virtual ~CInf();
    CInf(const CInf&) = delete;
    CInf& operator=(const CInf&) = delete;

    virtual int IsOpen();
    // The Version texts, or null when empty.
    virtual const char16_t* GetSignature();
    virtual const char16_t* GetClass();
    virtual const char16_t* GetClassGuid();
    // Field 1 of the first "AddService" line of the section (null: the first AddService section).
    virtual int GetServiceName(const char16_t* section, char16_t* buffer, size_t size);
    // "StartType" of the service-install section that field 3 of that line names.
    virtual int GetServiceStartType(const char16_t* section, int* startType);
    virtual int ReadVersion();
    virtual int FindCopyFilesSections();
    virtual int FindAddServiceSections();
    virtual int FindSoftwareSettingsSections();

    // Installing. `reboot` (may be null) becomes 1 when a file operation waits for the restart.
    // The whole INF: every CopyFiles section with its registry work, the service's device node
    // when missing, the services and the software settings.
    virtual int Install(int* reboot);
    // One section, its ".Services" and ".SoftwareSettings" sections and the device node.
    virtual int InstallSection(const char16_t* section, int* reboot, int ignoreDeleteErrors);
    // The root-enumerated device node of the INF's service ("LEGACY_<NAME>" unless m_rootDevice),
    // its class driver installed; `reboot` becomes 1 when the device needs a restart.
    virtual int CreateDeviceNode(int* reboot);
    // The section's file lists, then its registry and INI work (no file copies) under `root`.
    virtual int InstallFromSection(const char16_t* section, win::HKEY root);
    virtual int InstallServices(const char16_t* section);
    // The section's registry lines under Services\<service>\Device0.
    virtual int InstallSoftwareSettings(const char16_t* section);
    // The file lists. A file in use is replaced (or deleted, or renamed) at the next restart,
    // which sets the reboot flag.
    virtual int CopyFileSection(const char16_t* section);
    // Start-menu shortcuts of the first CopyFiles section (systems of major version 4 only).
    virtual int InstallStartMenuItems();
    virtual int ProcessCopyFiles(const char16_t* section);
    virtual int ProcessDelFiles(const char16_t* section);
    virtual int ProcessRenFiles(const char16_t* section);
    virtual int DeleteFileSection(const char16_t* section);
    virtual int RenameFileSection(const char16_t* section);
    // A root-enumerated device of the INF's class named `deviceName`, with the INF's class driver
    // selected; the set goes to the caller.
    virtual int CreateRootDevice(win::HDEVINFO* set, win::SP_DEVINFO_DATA* device, const char16_t* deviceName);
    virtual int ReadDestinationDirs();
    virtual int CreateParentFolder(const char16_t* filePath);
    virtual int CreateDirectoryTree(const char16_t* folder);
    // Copies the source to a fresh temporary file (in TMP when that folder exists, else beside
    // the source), named by the source's base name and extension; its path goes to `tempPath`.
    virtual int CopyOneFile(const char16_t* source, CStr& tempPath);
    virtual int GetDestinationDir(const char16_t* section, CStr& folder);
    // The folder of a directory id (10 the Windows folder, 11 system32, 12 its drivers, ...),
    // empty for an unknown id.
    virtual CStr GetDirIdPath(int dirId);

    // The device installer's file-queue callback; `context` is the CInf.
    static unsigned FileQueueCallback(void* context, unsigned notification, uintptr_t param1, uintptr_t param2);
    // The file errors the callback recorded since the last install began.
    static const std::vector<std::u16string>& GetFileErrors();
    static int GetFileErrorFlag();
    int GetRebootFlag() const { return m_reboot; }

    const std::vector<CStr>& GetCopyFilesSections() const { return m_copyFiles; }
    const std::vector<CStr>& GetAddServiceSections() const { return m_addService; }
    const std::vector<CStr>& GetSoftwareSettingsSections() const { return m_softwareSettings; }
    const CStr& GetPath() const { return m_path; }
    const CStr& GetFolder() const { return m_folder; }

    // 1: the INF's device node is root-enumerated under the service name; 0: "LEGACY_" + name.
    int m_rootDevice = 0;

protected:
    // Every section name of the file, in file order.
    std::vector<CStr> SectionNames() const;
    // The sections that have a line with `key`, in file order.
    std::vector<CStr> SectionsWithKey(const char16_t* key) const;
    // The AddService line of a section (null: the first AddService section).
    int FindAddServiceLine(const char16_t* section, win::INFCONTEXT* context);

    win::HINF m_inf = win::INVALID_HANDLE_VALUE;
    int m_reboot = 0;
    CStr m_signature;
    CStr m_class;
    CStr m_classGuid;
    CStr m_path;
    CStr m_folder;
    std::vector<CStr> m_copyFiles;
    std::vector<CStr> m_addService;
    std::vector<CStr> m_softwareSettings;
    // DestinationDirs pairs flattened: even positions are section names, odd ones folders.
    std::vector<CStr> m_destinations;

private:
    // Walks every `key` line of the section and every field of it, handing each file-list
    // section to `process`; the AND of the results.
    int ProcessFileLists(const char16_t* section, const char16_t* key, int (CInf::*process)(const char16_t*));
    // Hands every line of a file-list section, with the section's destination folder, to `line`,
    // stopping at the first that fails; 0 without a destination folder.
    int ForEachFileLine(const char16_t* section, const std::function<bool(const win::INFCONTEXT&, const CStr&)>& line);
    // Replaces `target` with a temporary copy of `source` at the next restart.
    int ReplaceAtRestart(const char16_t* source, const char16_t* target);
    // The install steps shared by Install and InstallSection after the section work.
    int FinishInstall(int result, int* reboot);
    // The device node key of the service: Enum\Root\[LEGACY_]<NAME>\0000.
    bool DeviceNodeExists(bool legacy);
    static void ClearFileErrors();
    static void ResetMediaRequests();
    static void SetIgnoreDeleteErrors(int ignore);
};
