// Reading and validating a firmware package: header, directory, PCI-id table, version and date,
// single-image copies.
#include "fwupg/fw_package.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "fwupg/debug_log.h"
#include "fwupg/expansion_rom.h"
#include "fwupg/file_cache.h"
#include "fwupg/image_check_codes.h"
#include "platform/byte_order.h"

namespace fwupg {

namespace {

constexpr char kMagic[4] = {'K', 'R', 'V', 'T'};
constexpr uint16_t kMinFormatVersion = 1;

// The whole file, read in binary; null when it cannot be opened, sized or read, or (with
// `tooLarge` set) when it is larger than `largest` bytes, which is found before anything is read.
// A file already read in this call comes from the call's file cache, and a file read here is kept
// there: the cache's one copy is shared, not copied.
std::shared_ptr<const std::vector<uint8_t>> ReadWholeFile(const char* path, uint64_t largest, size_t* size,
                                                           bool* tooLarge)
{
    *size = 0;
    *tooLarge = false;
    if (!path || !*path) return nullptr;
    if (const CachedFile* c = FindCachedFile(path)) {
        if (c->size > largest) {
            *tooLarge = true;
            return nullptr;
        }
        *size = c->size;
        return c->buffer;
    }
    const std::optional<FileIdentity> identity = IdentifyFile(path);
    FILE* f = std::fopen(path, "rb");
    if (!f) return nullptr;
    std::vector<uint8_t> bytes;
    bool ok = false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long length = std::ftell(f);
        if (length >= 0 && uint64_t(length) > largest) {
            *tooLarge = true;
        } else if (length >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
            try {
                bytes.resize(static_cast<size_t>(length));
                ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
            } catch (const std::bad_alloc&) {
                ok = false;
            }
        }
    }
    std::fclose(f);
    if (!ok) return nullptr;
    *size = bytes.size();
    if (identity && bytes.size() <= UINT32_MAX) {
        if (const CachedFile* kept = KeepCachedFile(path, *identity, static_cast<uint32_t>(bytes.size()), bytes))
            return kept->buffer;
    }
    try {
        return std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    } catch (const std::bad_alloc&) {
        *size = 0;
        return nullptr;
    }
}

}  // namespace

FwPackage::FwPackage(const char* path, uint16_t vid, uint16_t did, uint16_t svid, uint16_t ssid, uint64_t largest)
    : vid_(vid), did_(did), svid_(svid), ssid_(ssid)
{
    bytes_ = ReadWholeFile(path, largest, &fileSize_, &tooLarge_);
    loaded_ = bytes_ != nullptr;
    file_ = loaded_ ? bytes_->data() : nullptr;
    if (tooLarge_)
        LogDebugMsg(DBG_DEBUG, "FwPackage::FwPackage(): %s is larger than the %llu bytes a package can hold; not read.",
                    path, static_cast<unsigned long long>(largest));
    ParseHeader();
    const uint16_t entryCount = platform::load_le16(header_ + 10);
    if (!loaded_ || !vid || !did || !svid || !ssid || !headerValid_ || entryCount == 0 || header_[12] == 0)
        return;
    ParseDirectory();
    if (!directory_.empty() && !layoutOutsideFile_) MatchPciIds();
}

void FwPackage::ParseHeader()
{
    if (fileSize_ <= kHeaderSize) return;
    std::memcpy(header_, file_, kHeaderSize);
    headerValid_ = std::memcmp(header_, kMagic, sizeof kMagic) == 0 &&
                   platform::load_le16(header_ + 4) >= kMinFormatVersion;
}

void FwPackage::ParseDirectory()
{
    const size_t count = platform::load_le16(header_ + 10);
    dirSize_ = kEntrySize * count;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kHeaderSize + kEntrySize * i;
        if (at + kEntrySize > fileSize_) {
            layoutOutsideFile_ = true;
            return;
        }
        const uint8_t* p = file_ + at;
        Entry e{platform::load_le32(p), platform::load_le32(p + 4), platform::load_le32(p + 8)};
        if (!FindPackageEntryType(e.tag)) continue;
        // An image whose data leave the file (a cut file, or an offset or length that runs past
        // its end or wraps) makes the whole package invalid, whichever board takes it.
        if (!EntryInFile(e)) {
            layoutOutsideFile_ = true;
            return;
        }
        directory_[uint32_t(1) << (i % 32)] = e;
    }
}

void FwPackage::MatchPciIds()
{
    const size_t at = kHeaderSize + dirSize_;
    if (at + kTableHeaderSize > fileSize_) {
        layoutOutsideFile_ = true;
        return;
    }
    const size_t rowCount = platform::load_le16(file_ + at);
    tableSize_ = kTableHeaderSize + kRowSize * rowCount;
    if (at + tableSize_ > fileSize_) {
        layoutOutsideFile_ = true;
        return;
    }
    rows_.reserve(rowCount);
    for (size_t r = 0; r < rowCount; ++r) {
        const uint8_t* p = file_ + at + kTableHeaderSize + kRowSize * r;
        PciRow row{platform::load_le16(p), platform::load_le16(p + 2), platform::load_le16(p + 4),
                   platform::load_le16(p + 6), platform::load_le32(p + 8)};
        if (row.vid == vid_ && row.did == did_ && row.svid == svid_ && row.ssid == ssid_)
            matchedRow_ = static_cast<int>(r);  // the last matching row wins
        rows_.push_back(row);
    }
    ready_ = true;
}

uint32_t FwPackage::Validate() const
{
    if (tooLarge_) return imgcode::kNvmSize;
    if (!loaded_ || !headerValid_) return imgcode::kUnknownOption;
    const size_t headerLength = platform::load_le16(header_ + 6);
    if (!ready_ || layoutOutsideFile_ || headerLength != kHeaderSize + dirSize_ + tableSize_)
        return imgcode::kPackageLayout;
    // A boot-agent image is a ROM chain whose x86 images carry their own byte sum: a damaged one
    // is refused here, before any image of the package is written.
    for (const auto& [key, e] : directory_)
        if (e.tag == kPkgTagMba && !RomChainSumsHold(file_ + e.offset, e.length)) return imgcode::kNotMba;
    if (matchedRow_ < 0) return imgcode::kChipMask;
    return imgcode::kNone;
}

void FwPackage::GetVersionAndDate(uint32_t* version, uint32_t* date) const
{
    if (version) *version = uint32_t(header_[13]) << 16 | uint32_t(header_[14]) << 8 | header_[15];
    if (date)
        *date = uint32_t(header_[18]) << 24 | uint32_t(header_[19]) << 16 | uint32_t(header_[20]) << 8 |
                header_[21];
}

bool FwPackage::GetVersionString(char* buffer, size_t size) const
{
    if (!buffer || size < 6) return false;
    std::snprintf(buffer, size, "%d.%d.%d", header_[13], header_[14], header_[15]);
    return true;
}

bool FwPackage::EntryInFile(const Entry& e) const
{
    return uint64_t(e.offset) + uint64_t(e.length) <= fileSize_;
}

uint32_t FwPackage::ExtractImage(const char* name, std::vector<uint8_t>& out) const
{
    out.clear();
    if (Validate() != 0 || !name) return imgcode::kBadPackage;
    const uint32_t mask = rows_[matchedRow_].mask;
    for (const auto& [key, e] : directory_) {
        if (!(key & mask)) continue;
        const PackageEntryType* type = FindPackageEntryType(e.tag);
        if (!type || !std::strstr(type->name, name)) continue;
        if (!EntryInFile(e)) return imgcode::kBadPackage;
        out.assign(file_ + e.offset, file_ + e.offset + e.length);
        return imgcode::kNone;
    }
    return imgcode::kNotOnAdapter;
}

size_t FwPackage::GetCommandCount()
{
    if (commands_.empty()) ExtractImages();
    return commands_.size();
}

std::string FwPackage::GetCommand(size_t index) const
{
    return index < commands_.size() ? commands_[index] : std::string();
}

int FwPackage::OrderMfwAndPk(bool mfwFirst)
{
    if (mfwIndex_ < 0 || pkIndex_ < 0) return 0;
    if ((mfwFirst && mfwIndex_ > pkIndex_) || (!mfwFirst && pkIndex_ > mfwIndex_))
        std::swap(commands_[static_cast<size_t>(mfwIndex_)], commands_[static_cast<size_t>(pkIndex_)]);
    return 0;
}

}  // namespace fwupg
