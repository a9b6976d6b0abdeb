// Unpacking a firmware package into image files in the current folder and the shell command lines
// that program them; removing those files afterwards.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fwupg/file_cache.h"
#include "fwupg/fw_package.h"

namespace fwupg {

namespace {

// Makes extracted file names unique across every package of the process; never reset.
unsigned g_PackageNameCounter = 0;

}  // namespace

std::string FwPackage::FileNameFor(const char* typeName)
{
    std::string name = typeName;
    for (const std::string& command : commands_) {
        if (command.find(typeName) != std::string::npos) {
            name += std::to_string(++g_PackageNameCounter);
            break;
        }
    }
    return name + ".bin";
}

bool FwPackage::WriteImageFile(const std::string& name, const Entry& e)
{
    ForgetCachedFile(name);
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return false;
    bool ok = e.length == 0 || std::fwrite(file_.data() + e.offset, 1, e.length, f) == e.length;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::remove(name.c_str());
    return ok;
}

void FwPackage::AbandonExtraction()
{
    DeleteExtractedFiles();
    written_.clear();
    commands_.clear();
    pkIndex_ = -1;
    mfwIndex_ = -1;
}

bool FwPackage::ExtractImages()
{
    commands_.clear();
    pkIndex_ = -1;
    mfwIndex_ = -1;
    if (Validate() != 0) return false;
    const uint32_t mask = rows_[matchedRow_].mask;

    // An image whose data leave the file refuses the whole package before anything is written.
    for (const auto& [key, e] : directory_)
        if ((key & mask) && !EntryInFile(e)) return false;

    std::string mfwFile, metaFile, nvmCfgFile;
    for (const auto& [key, e] : directory_) {
        if (!(key & mask)) continue;
        const PackageEntryType* type = FindPackageEntryType(e.tag);
        if (!type || !*type->name) continue;

        const std::string file = FileNameFor(type->name);
        if (!WriteImageFile(file, e)) {
            AbandonExtraction();
            return false;
        }
        if (e.tag == kPkgTagMfw) {
            mfwFile = file;
            mfwIndex_ = static_cast<int>(commands_.size());
        } else if (e.tag == kPkgTagMeta) {
            metaFile = file;
        } else if (e.tag == kPkgTagNvmCfg) {
            nvmCfgFile = file;
        } else if (e.tag == kPkgTagPk) {
            pkIndex_ = static_cast<int>(commands_.size());
        }
        if (e.tag != kPkgTagNvmCfg && e.tag != kPkgTagMeta) commands_.push_back(type->prefix + file);
        bool known = false;
        for (const std::string& w : written_) known = known || w == file;
        if (!known) written_.push_back(file);
    }

    if (!nvmCfgFile.empty()) {
        const std::string& argument = !metaFile.empty() ? metaFile : mfwFile;
        if (!argument.empty())
            commands_.push_back(std::string(FindPackageEntryType(kPkgTagNvmCfg)->prefix) + nvmCfgFile + " " +
                                argument);
    }
    return true;
}

void FwPackage::DeleteExtractedFiles()
{
    for (const std::string& file : written_) {
        if (access(file.c_str(), F_OK) != 0) continue;
        chmod(file.c_str(), 0755);
        ForgetCachedFile(file);
        std::remove(file.c_str());
    }
}

}  // namespace fwupg
