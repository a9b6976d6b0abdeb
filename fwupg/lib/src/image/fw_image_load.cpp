// Loading an image file for the checks: size and bytes through the engine facade, an optional
// cache of the current call keyed by path, and the de-paged, word-swapped view of a full NVRAM image.
#include <new>
#include <optional>
#include <string>

#include <tcl.h>

#include "fwupg/bkv9_helper.h"
#include "fwupg/debug_log.h"
#include "fwupg/file_cache.h"
#include "fwupg/file_size_bound.h"
#include "fwupg/fw_image.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/image_check_codes.h"
#include "fwupg/selected_nic.h"

namespace {

// Largest rounded size whose buffer (size + 4) still has a u32 byte count.
constexpr uint64_t kMaxImageSize = 0xFFFFFFF0u;

}  // namespace

void ClearFwImageCache() { fwupg::CloseFileCache(); }

namespace fwupg {

FwImage::FwImage(Tcl_Interp* interp, const char* path, uint32_t imageType, bool useCache)
    : interp_(interp), imageType_(imageType), useCache_(useCache)
{
    BuildHostOps(&host_, interp, 0);
    if (imageType == kImgUnknown) {
        error_ = imgcode::kUnknownOption;
        return;
    }
    if (imageType == kImgNone) {
        valid_ = true;
        return;
    }
    try {
        path_ = path ? path : "";
        if (imageType != kImgMbi && !Load()) return;
        if (imageType == kImgFullNvm && !PrepareFullImage()) return;
        valid_ = Validate();
    } catch (const std::bad_alloc&) {
        valid_ = false;
        error_ = imgcode::kNoMemory;
    }
}

FwImage::~FwImage() = default;

bool FwImage::Fail(uint32_t code)
{
    error_ = code;
    return false;
}

bool FwImage::Load()
{
    // Cached files: the buffer (rounded size plus 4 spare bytes, zeroed past the file) belongs to
    // the cache of the call.
    std::optional<FileIdentity> identity;
    if (useCache_) {
        if (const CachedFile* c = FindCachedFile(path_)) {
            if (!WithinBound(c->size)) return Fail(imgcode::kNvmSize);
            fileSize_ = c->size;
            size_ = static_cast<uint32_t>((uint64_t(c->size) + 3) & ~uint64_t(3));
            cached_ = c->buffer;
            data_ = cached_->data();
            return true;
        }
        identity = IdentifyFile(path_);
    }
    uint32_t fileSize = 0;
    if (path_.empty() || gpIFwUpgKv9->file_size(path_.c_str(), &fileSize) != 0) return Fail(imgcode::kFileRead);
    if (!WithinBound(fileSize)) return Fail(imgcode::kNvmSize);
    const uint64_t rounded = (uint64_t(fileSize) + 3) & ~uint64_t(3);
    if (rounded > kMaxImageSize) return Fail(imgcode::kNoMemory);
    fileSize_ = fileSize;
    size_ = static_cast<uint32_t>(rounded);
    try {
        own_.assign(rounded + 4, 0);  // the rounding and the spare dword read as zeros
    } catch (const std::bad_alloc&) {
        return Fail(imgcode::kNoMemory);
    }
    uint32_t got = 0;
    if (gpIFwUpgKv9->read_file(host_, path_.c_str(), own_.data(), size_, &got) != 0) return Fail(imgcode::kFileRead);
    const CachedFile* kept = identity ? KeepCachedFile(path_, *identity, fileSize, own_) : nullptr;
    if (kept) cached_ = kept->buffer;
    data_ = kept ? cached_->data() : own_.data();
    return true;
}

// A file larger than the largest NVRAM its kind can go to on the selected adapter is no image for
// it: refused from its size alone, before it is read.
uint64_t FwImage::LargestFile(uint32_t imageType) const
{
    const uint32_t nvram = g_CurNicInfo.get(yxmapi::nic::kFlashWord) & yxmapi::nic::kFlashSizeMask;
    return LargestImageFile(nvram, imageType);
}

bool FwImage::WithinBound(uint64_t fileSize) const
{
    const uint64_t largest = LargestFile(imageType_);
    if (fileSize <= largest) return true;
    LogDebugMsg(DBG_DEBUG, "FwImage::Load(): %s holds %llu bytes, more than the %llu its kind can go to; not read.",
                path_.c_str(), static_cast<unsigned long long>(fileSize), static_cast<unsigned long long>(largest));
    return false;
}

// A full NVRAM image is de-paged and has every dword byte-reversed, so that its words read as the
// engine reads NVRAM. This always happens in a buffer of the object's own: a cached buffer stays
// as the file is.
bool FwImage::PrepareFullImage()
{
    if (data_ != own_.data() || own_.empty()) own_.assign(data_, data_ + size_ + 4);
    const size_t stripped = StripPageSpares(own_.data(), size_);
    std::fill(own_.begin() + static_cast<std::ptrdiff_t>(stripped), own_.end(), uint8_t{0});
    for (size_t i = 0; i + 4 <= stripped; i += 4) {
        std::swap(own_[i], own_[i + 3]);
        std::swap(own_[i + 1], own_[i + 2]);
    }
    size_ = static_cast<uint32_t>(stripped);
    data_ = own_.data();
    return true;
}

HostOps FwImage::Host() const
{
    HostOps h = host_;
    h.devIndex = g_Bkv9Helper.DeviceIndex();
    h.chipId = SelectedChipId();
    return h;
}

std::string FwImage::Toe(const char* name) const
{
    if (!interp_) return {};
    const char* v = Tcl_GetVar2(interp_, "::toe", name, TCL_GLOBAL_ONLY);
    return v ? v : "";
}

uint32_t FwImage::ToeInt(const char* name) const
{
    if (!interp_) return 0;
    Tcl_Obj* obj = Tcl_GetVar2Ex(interp_, "::toe", name, TCL_GLOBAL_ONLY);
    int value = 0;
    if (!obj || Tcl_GetIntFromObj(nullptr, obj, &value) != TCL_OK) return 0;
    return static_cast<uint32_t>(value);
}

void FwImage::SetFuncNum()
{
    if (!interp_) return;
    const std::string func = std::to_string(g_CurPhyNic.get(yxmapi::phy::kPciFunction));
    Tcl_SetVar2(interp_, "::toe", "FUNC_NUM", func.c_str(), TCL_GLOBAL_ONLY);
}

}  // namespace fwupg
