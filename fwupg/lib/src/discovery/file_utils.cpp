// Listing image files and splitting paths (see fw_utils.h).
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <platform/paths.h>

#include "fwupg/debug_log.h"
#include "fwupg/fw_utils.h"
#include "fwupg/oem_interface.h"

namespace fwupg {

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    return S_ISREG(st.st_mode) || (st.st_mode & S_IFMT) == 0;
}

bool ExtractFilename(std::string_view path, std::string* name)
{
    LogDebugMsg(DBG_DEBUG, "%s(): Path: %.*s ", "ExtractFilename", static_cast<int>(path.size()), path.data());
    const size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string_view::npos || slash + 1 == path.size()) return false;
    name->assign(path.substr(slash + 1));
    return true;
}

namespace {

bool IsImageFileExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    const char* ext = path.c_str() + dot;
    LogDebugMsg(DBG_DEBUG, "%s(): <%d>,npos=%d, ext=%s", "EnumFiles", __LINE__, static_cast<int>(dot), ext);
    return strcasecmp(ext, ".bin") == 0 || strcasecmp(ext, ".xml") == 0;
}

}  // namespace

uint32_t EnumFiles(const std::string& folder, std::vector<std::string>* list)
{
    LogDebugMsg(DBG_DEBUG, "%s(): %s", "EnumFiles", folder.c_str());
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) return RET_FW_FILE_ACCESS_FAILED;
    if (!S_ISDIR(st.st_mode)) {
        list->clear();
        list->push_back(folder);
        return RET_SUCCESSFUL;
    }
    // The listing is sorted by name: "the first fitting file" must be the same on every run.
    DIR* dir = opendir(folder.c_str());
    if (!dir) return RET_FW_FILE_ACCESS_FAILED;
    closedir(dir);
    for (const std::string& entry : platform::list_dir_sorted(folder)) {
        std::string path = folder + "/" + entry;
        struct stat est {};
        // Only regular files: a pipe or device named like an image would hang or mislead a check.
        if (stat(path.c_str(), &est) != 0 || !S_ISREG(est.st_mode)) continue;
        if (IsImageFileExtension(path)) list->push_back(std::move(path));
    }
    return RET_SUCCESSFUL;
}

}  // namespace fwupg
