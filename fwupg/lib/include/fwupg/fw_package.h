// The firmware package reader: one "KRVT" file carrying several images for a family of boards,
// with a PCI-id table that says which images each board takes. An FwPackage reads such a file for
// one adapter (its four PCI ids), validates it, gives its version and date, copies single images
// out, and turns the package into image files in a private folder plus the shell command lines
// that program them.
//
// Every offset and length of the file is checked against its size: a directory, table or image
// outside the file makes the package invalid, and so does a boot-agent image whose ROM chain is
// damaged.
#pragma once

#include "fwupg/file_size_bound.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fwupg {

// One known entry type: its tag (the u32 of its four file bytes), name and command prefix.
struct PackageEntryType {
    uint32_t tag;
    const char* name;
    const char* prefix;  // "" when the type makes no command of its own
};

// The type of a tag; null for a tag the reader does not know.
const PackageEntryType* FindPackageEntryType(uint32_t tag);

// Tags the reader treats specially.
inline constexpr uint32_t kPkgTagMba = 0x61626D00u;   // 0 'm' 'b' 'a'
inline constexpr uint32_t kPkgTagMfw = 0x3177666Du;   // "mfw1"
inline constexpr uint32_t kPkgTagMeta = 0x6174656Du;  // "meta"
inline constexpr uint32_t kPkgTagNvmCfg = 0x6766636Eu;  // "ncfg"
inline constexpr uint32_t kPkgTagPk = 0x69758580u;    // 0x80 0x85 'u' 'i'

class FwPackage {
public:
    static constexpr size_t kHeaderSize = 32;
    static constexpr size_t kEntrySize = 32;
    static constexpr size_t kTableHeaderSize = 8;
    static constexpr size_t kRowSize = 16;

    struct Entry {
        uint32_t tag;
        uint32_t offset;  // of the image data, from the start of the file
        uint32_t length;
    };
    struct PciRow {
        uint16_t vid, did, svid, ssid;
        uint32_t mask;  // bit i: the board takes directory entry i
    };

    // Reads the whole file at `path` for the adapter with these ids; a file larger than `largest`
    // bytes is refused unread (Validate: 19). A file the call's file cache holds is used from there
    // without a copy.
    FwPackage(const char* path, uint16_t vid, uint16_t did, uint16_t svid, uint16_t ssid,
              uint64_t largest = kLargestNvram);
    FwPackage(const FwPackage&) = delete;
    FwPackage& operator=(const FwPackage&) = delete;

    // 0; 19 the file is larger than the bound; 78 header not valid or file not read; 127 header
    // length or layout does not add up (also when the directory, the PCI table or an image lies
    // outside the file); 69 a boot-agent image whose ROM chain is damaged (an x86 image whose bytes
    // do not sum to 0); 16 no row for this adapter.
    uint32_t Validate() const;

    // (major << 16) | (minor << 8) | build, and header bytes 18..21 from high to low.
    void GetVersionAndDate(uint32_t* version, uint32_t* date) const;
    // "major.minor.build" into `buffer` when `size` is at least 6, truncated to fit; false
    // (nothing written) when the buffer is smaller.
    bool GetVersionString(char* buffer, size_t size) const;

    // The first image of the matched row, in key order, whose type name contains `name`: 0 with
    // the bytes in `out`, 30 when there is none, 126 when the package is invalid or the image's
    // data lie outside the file.
    uint32_t ExtractImage(const char* name, std::vector<uint8_t>& out) const;

    // Number of commands; extracts the images (ExtractImages) while the list is empty.
    size_t GetCommandCount();
    // Command `index`; empty when out of range.
    std::string GetCommand(size_t index) const;
    bool HasPkImage() const { return pkIndex_ >= 0; }
    // Puts the MFW command before the PK command (mfwFirst) or after it, when both exist and
    // stand the other way round. The remembered indexes stay. Returns 0.
    int OrderMfwAndPk(bool mfwFirst);
    // Removes every file the extraction wrote, and the folder they were written to.
    void DeleteExtractedFiles();

    // Writes the images of the matched row into a private folder of the package's own (see
    // work_folder.h) and builds the command list, whose lines name those files. Does nothing for
    // a package that does not validate. When a selected image lies outside the file, or the
    // folder or a file cannot be created or written whole, the files written so far are removed
    // and the list stays empty; false then.
    bool ExtractImages();
    // Whether the last extraction failed for want of its work files (not of a valid package).
    bool ExtractionFailed() const { return extractionFailed_; }

    // The names of the files written, and the folder they are in (empty once deleted).
    const std::vector<std::string>& WrittenFiles() const { return written_; }
    const std::string& ExtractionFolder() const { return folder_; }

private:
    void ParseHeader();
    void ParseDirectory();
    void MatchPciIds();
    bool EntryInFile(const Entry& e) const;
    bool WriteImageFile(const std::string& name, const Entry& e);
    std::string FileNameFor(const char* typeName);
    void AbandonExtraction();

    std::shared_ptr<const std::vector<uint8_t>> bytes_;  // the file's bytes (maybe padded past its end)
    const uint8_t* file_ = nullptr;
    size_t fileSize_ = 0;
    bool loaded_ = false;
    bool tooLarge_ = false;
    uint16_t vid_, did_, svid_, ssid_;

    uint8_t header_[kHeaderSize] = {};
    bool headerValid_ = false;

    std::map<uint32_t, Entry> directory_;  // key 1 << (i mod 32)
    std::vector<PciRow> rows_;
    int matchedRow_ = -1;
    size_t dirSize_ = 0;
    size_t tableSize_ = 0;
    bool layoutOutsideFile_ = false;
    bool ready_ = false;

    std::vector<std::string> commands_;
    std::vector<std::string> written_;
    std::string folder_;
    bool extractionFailed_ = false;
    int pkIndex_ = -1;
    int mfwIndex_ = -1;
};

}  // namespace fwupg
