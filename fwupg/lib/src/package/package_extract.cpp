// Unpacking a firmware package into image files in a private folder of its own and the shell
// command lines that program them; removing those files and the folder afterwards.
#include <string>

#include "fwupg/debug_log.h"
#include "fwupg/file_cache.h"
#include "fwupg/fw_package.h"
#include "fwupg/work_folder.h"
#include "platform/safe_file.h"

namespace fwupg {

namespace {

// Makes extracted file names unique across every package of the process; never reset.
unsigned g_PackageNameCounter = 0;

// A path as one word of a Tcl command line: every character that Tcl treats specially is
// escaped, so a folder with blanks, brackets or dollar signs stays one word and runs nothing.
std::string TclWord(const std::string& path)
{
    std::string word;
    for (char c : path) {
        if (c == '\n') {
            word += "\\n";
            continue;
        }
        if (c == ' ' || c == '\t' || c == ';' || c == '$' || c == '[' || c == ']' || c == '{' || c == '}' ||
            c == '"' || c == '\\' || c == '#' || c == '\r')
            word += '\\';
        word += c;
    }
    return word;
}

}  // namespace

std::string FwPackage::FileNameFor(const char* typeName)
{
    std::string name = typeName;
    // The names, not the folder, are compared: the folder's random name may hold any letters.
    const std::string folder = TclWord(folder_ + "/");
    for (std::string command : commands_) {
        for (size_t at; (at = command.find(folder)) != std::string::npos;) command.erase(at, folder.size());
        if (command.find(typeName) != std::string::npos) {
            name += std::to_string(++g_PackageNameCounter);
            break;
        }
    }
    return name + ".bin";
}

// Created exclusively inside the package's private folder: nothing else can be at that name, and
// a file that cannot take all its bytes is not left behind.
bool FwPackage::WriteImageFile(const std::string& name, const Entry& e)
{
    const std::string path = folder_ + "/" + name;
    ForgetCachedFile(path);
    // Not flushed: the images are read in this call and removed with the work folder at its end.
    if (platform::write_new_file(path, file_ + e.offset, e.length, 0600, platform::Flush::No)) return true;
    LogDebugMsg(DBG_DEBUG, "FwPackage::ExtractImages(): %s could not be written.", path.c_str());
    return false;
}

void FwPackage::AbandonExtraction()
{
    DeleteExtractedFiles();
    written_.clear();
    commands_.clear();
    pkIndex_ = -1;
    mfwIndex_ = -1;
    extractionFailed_ = true;
}

bool FwPackage::ExtractImages()
{
    commands_.clear();
    pkIndex_ = -1;
    mfwIndex_ = -1;
    extractionFailed_ = false;
    if (Validate() != 0) return false;
    const uint32_t mask = rows_[matchedRow_].mask;

    // An image whose data leave the file refuses the whole package before anything is written.
    for (const auto& [key, e] : directory_)
        if ((key & mask) && !EntryInFile(e)) return false;

    if (folder_.empty()) folder_ = MakeJobFolder();
    if (folder_.empty()) {
        extractionFailed_ = true;
        return false;
    }

    std::string mfwFile, metaFile, nvmCfgFile;
    for (const auto& [key, e] : directory_) {
        if (!(key & mask)) continue;
        const PackageEntryType* type = FindPackageEntryType(e.tag);
        if (!type || !*type->name) continue;

        const std::string file = FileNameFor(type->name);
        bool known = false;
        for (const std::string& w : written_) known = known || w == file;
        if (known) {  // a second image of a type that makes no command: it replaces the first
            ForgetCachedFile(folder_ + "/" + file);
            platform::remove_regular_file(folder_ + "/" + file);
        }
        if (!WriteImageFile(file, e)) {
            AbandonExtraction();
            return false;
        }
        const std::string word = TclWord(folder_ + "/" + file);
        if (e.tag == kPkgTagMfw) {
            mfwFile = word;
            mfwIndex_ = static_cast<int>(commands_.size());
        } else if (e.tag == kPkgTagMeta) {
            metaFile = word;
        } else if (e.tag == kPkgTagNvmCfg) {
            nvmCfgFile = word;
        } else if (e.tag == kPkgTagPk) {
            pkIndex_ = static_cast<int>(commands_.size());
        }
        if (e.tag != kPkgTagNvmCfg && e.tag != kPkgTagMeta) commands_.push_back(type->prefix + word);
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

// Never follows a link and never changes a mode: the files are the package's own, in its own
// folder, which goes with them.
void FwPackage::DeleteExtractedFiles()
{
    if (folder_.empty()) return;
    for (const std::string& file : written_) ForgetCachedFile(folder_ + "/" + file);
    platform::remove_private_folder(folder_);
    folder_.clear();
}

}  // namespace fwupg
