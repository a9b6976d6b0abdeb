// NVRAM access of the adapter access helper: the four NVRAM slots of the host record, served
// through the management library with the read cache, or from the NVRAM image file / the raw dump
// file when one of those stands in for the adapter.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "fwupg/bkv9_helper.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/nvm_read_cache.h"
#include "fwupg/nvm_write_log.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/wrapped_record.h"
#include "fwupg/yxmapi_client.h"

Bkv9Helper g_Bkv9Helper;

namespace {

constexpr uint32_t kPageMarkerA = 0x57105710u;
constexpr uint32_t kPageMarkerB = 0x57095709u;
constexpr size_t kPageData = 256;
constexpr size_t kPageSpare = 8;

uint32_t bswap(uint32_t v)
{
    return __builtin_bswap32(v);
}

void swap_dwords(uint8_t* buf, uint32_t dwords)
{
    for (uint32_t i = 0; i < dwords; ++i) {
        uint32_t v;
        std::memcpy(&v, buf + 4 * i, 4);
        v = bswap(v);
        std::memcpy(buf + 4 * i, &v, 4);
    }
}

uint32_t fail(uint32_t code)
{
    g_uUpgRetCode = code;
    return code;
}

bool pending_mfw_note()
{
    static constexpr char16_t kMfw[] = u"-mfw";
    std::u16string_view note(g_PendingMfwNote, std::char_traits<char16_t>::length(g_PendingMfwNote));
    return note.find(kMfw) != std::u16string_view::npos;
}

bool is_marker_pair(const uint8_t* p)
{
    uint32_t a, b;
    std::memcpy(&a, p, 4);
    std::memcpy(&b, p + 4, 4);
    return a == b && (a == kPageMarkerA || a == kPageMarkerB);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

uint32_t short_read_code(FILE* f)
{
    return std::feof(f) ? BKV9_END_OF_FILE : BKV9_FILE_ERROR;
}

// Paged when the first 512 bytes can be read and bytes 256..263 hold the marker pair.
uint32_t detect_paged(FILE* f, bool* paged)
{
    uint8_t head[512];
    if (std::fseek(f, 0, SEEK_SET) != 0) return BKV9_FILE_ERROR;
    if (std::fread(head, 1, sizeof head, f) != sizeof head) return short_read_code(f);
    *paged = is_marker_pair(head + kPageData);
    return BKV9_OK;
}

}  // namespace

namespace fwupg {

size_t StripPageSpares(uint8_t* buf, size_t length)
{
    size_t in = 0, out = 0;
    while (in < length) {
        size_t chunk = std::min(kPageData, length - in);
        std::memmove(buf + out, buf + in, chunk);
        in += chunk;
        out += chunk;
        if (chunk == kPageData && in + kPageSpare <= length && is_marker_pair(buf + in)) in += kPageSpare;
    }
    return out;
}

}  // namespace fwupg

bool Bkv9Helper::SetImageFileName(const std::string& path)
{
    if (path.size() >= sizeof m_imageFile || path.find('\0') != std::string::npos) return false;
    std::memset(m_imageFile, 0, sizeof m_imageFile);
    std::memcpy(m_imageFile, path.data(), path.size());
    return true;
}

uint32_t Bkv9Helper::DumpFileTransfer(uint32_t offset, void* buf, uint32_t dwords, bool write)
{
    const uint32_t failure = write ? BKV9_DUMP_WRITE_FAILED : BKV9_DUMP_READ_FAILED;
    std::string name(g_CurPhyNic.get(yxmapi::phy::kMac));
    name += ".dmp";
    File f(std::fopen(name.c_str(), "r+b"));
    if (!f) {
        ConsolePrint(0, "Failed to open dump file.\r\n");
        return failure;
    }
    if (std::fseek(f.get(), 0, SEEK_SET) != 0 || std::fseek(f.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        ConsolePrint(0, "Error seeking to uOffset (%u).\r\n", offset);
        return failure;
    }
    const size_t want = size_t{dwords} * 4;
    if (write) {
        size_t n = std::fwrite(buf, 1, want, f.get());
        if (n != want) {
            ConsolePrint(0, "nWriteenBytes (%u) != uBufLen (%u) .\r\n", unsigned(n), unsigned(want));
            return failure;
        }
    } else {
        size_t n = std::fread(buf, 1, want, f.get());
        if (n != want) {
            ConsolePrint(0, "nReadBytes (%u) != uBufLen (%u) .\r\n", unsigned(n), unsigned(want));
            return failure;
        }
    }
    return BKV9_OK;
}

// Reads go through the read cache, which serves what this claim of the adapter has read already.
uint32_t Bkv9Helper::NvmApiRead(uint32_t handle, uint32_t offset, uint32_t* buf, uint32_t dwords)
{
    if (g_FwUpgOptions & kFwUpgOptionDumpFile) return DumpFileTransfer(offset, buf, dwords, false);
    return fwupg::yx::ReadNvramCached(handle, offset, buf, dwords);
}

uint32_t Bkv9Helper::NvmApiWrite(uint32_t handle, uint32_t offset, const uint32_t* buf, uint32_t dwords)
{
    if (fwupg::SelectedFamily() == yxmapi::kFamilyE4) {
        // In an image or management-firmware write mode the library places the bytes itself.
        g_NvmReadCache.DropAll();
        if (pending_mfw_note()) {
            fwupg::yx::SetNvramWriteMode(handle, yxmapi::kWriteModeMfw);
            ClearPendingMfwNote();
        } else if (dwords > 0 && buf[0] == fwupg::kWrappedMagic) {
            fwupg::yx::SetNvramWriteMode(handle, yxmapi::kWriteModeImage);
        }
    }
    if (g_FwUpgOptions & kFwUpgOptionDumpFile)
        return DumpFileTransfer(offset, const_cast<uint32_t*>(buf), dwords, true);
    // Logged before the call: a write that fails may still have changed some of its bytes.
    fwupg::LogNvmWrite(handle, offset, dwords > UINT32_MAX / 4 ? UINT32_MAX : dwords * 4);
    return fwupg::yx::WriteNvram(handle, offset, buf, dwords);
}

uint32_t Bkv9Helper::NvmReadDword(uint32_t, uint32_t offset, uint32_t* out, uint8_t swap)
{
    if (m_imageFile[0]) return FileNvmRead(offset, out, swap);
    if (!fwupg::SelectedHasDriverAccess()) return fail(BKV9_NO_ACCESS);
    uint32_t value = 0;
    if (NvmApiRead(fwupg::SelectedApiHandle(), offset, &value, 1) != 0) return fail(BKV9_READ_FAILED);
    *out = swap ? bswap(value) : value;
    return BKV9_OK;
}

uint32_t Bkv9Helper::NvmReadBlock(uint32_t, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
{
    if (m_imageFile[0]) return FileNvmReadBlock(offset, length, buf, swap);
    if (!fwupg::SelectedHasDriverAccess()) return fail(BKV9_NO_ACCESS);
    const uint32_t handle = fwupg::SelectedApiHandle();
    const uint32_t whole = length / 4;
    const uint32_t tail = length % 4;
    if (whole > 0) {
        uint32_t status;
        if (reinterpret_cast<uintptr_t>(buf) % alignof(uint32_t) == 0) {
            status = NvmApiRead(handle, offset, reinterpret_cast<uint32_t*>(buf), whole);
        } else {
            std::vector<uint32_t> tmp(whole);
            status = NvmApiRead(handle, offset, tmp.data(), whole);
            if (status == 0) std::memcpy(buf, tmp.data(), size_t{whole} * 4);
        }
        if (status != 0) return fail(BKV9_READ_FAILED);
    }
    if (tail > 0) {
        uint32_t last = 0;
        if (NvmApiRead(handle, offset + whole * 4, &last, 1) != 0) return fail(BKV9_READ_FAILED);
        std::memcpy(buf + size_t{whole} * 4, &last, tail);
    }
    if (swap && length >= 4) swap_dwords(buf, whole);
    return BKV9_OK;
}

uint32_t Bkv9Helper::NvmWriteDword(uint32_t, uint32_t offset, uint32_t value, uint8_t swap)
{
    if (m_imageFile[0]) return BKV9_OK;
    if (!fwupg::SelectedHasDriverAccess()) return fail(BKV9_NO_ACCESS);
    if (swap) value = bswap(value);
    if (NvmApiWrite(fwupg::SelectedApiHandle(), offset, &value, 1) != 0) {
        g_bCommandError = 1;
        return fail(BKV9_WRITE_FAILED);
    }
    g_bNvmWritten = 1;
    return BKV9_OK;
}

uint32_t Bkv9Helper::NvmWriteBlock(uint32_t, uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
{
    if (m_imageFile[0]) return BKV9_OK;
    if (!fwupg::SelectedHasDriverAccess()) return fail(BKV9_NO_ACCESS);
    const uint32_t handle = fwupg::SelectedApiHandle();
    const uint32_t whole = length / 4;
    const uint32_t tail = length % 4;
    if (swap) swap_dwords(buf, whole);
    auto failed = [] {
        g_bCommandError = 1;
        return fail(BKV9_WRITE_FAILED);
    };
    if (whole > 0) {
        std::vector<uint32_t> data(whole);
        std::memcpy(data.data(), buf, size_t{whole} * 4);
        if (NvmApiWrite(handle, offset, data.data(), whole) != 0) return failed();
        g_bNvmWritten = 1;
    }
    if (tail > 0) {
        const uint32_t at = offset + whole * 4;
        uint32_t last = 0;
        if (NvmApiRead(handle, at, &last, 1) != 0) return failed();
        std::memcpy(&last, buf + size_t{whole} * 4, tail);
        if (NvmApiWrite(handle, at, &last, 1) != 0) return failed();
        g_bNvmWritten = 1;
    }
    return BKV9_OK;
}

uint32_t Bkv9Helper::FileNvmRead(uint32_t offset, uint32_t* out, uint8_t swap)
{
    File f(std::fopen(m_imageFile, "rb"));
    if (!f) return fail(BKV9_FILE_ERROR);
    bool paged = false;
    if (uint32_t status = detect_paged(f.get(), &paged)) return fail(status);
    uint64_t at = offset;
    if (paged) at += kPageSpare * (offset / kPageData);
    uint32_t value = 0;
    if (std::fseek(f.get(), static_cast<long>(at), SEEK_SET) != 0 || std::fread(&value, 1, 4, f.get()) != 4)
        return fail(BKV9_FILE_ERROR);
    *out = swap ? bswap(value) : value;
    return BKV9_OK;
}

uint32_t Bkv9Helper::FileNvmReadBlock(uint32_t offset, uint32_t length, uint8_t* buf, uint8_t swap)
{
    File f(std::fopen(m_imageFile, "rb"));
    if (!f) return fail(BKV9_FILE_ERROR);
    bool paged = false;
    if (uint32_t status = detect_paged(f.get(), &paged)) return fail(status);
    if (!paged) {
        if (std::fseek(f.get(), static_cast<long>(offset), SEEK_SET) != 0) return fail(BKV9_FILE_ERROR);
        if (std::fread(buf, 1, length, f.get()) != length) return fail(short_read_code(f.get()));
    } else {
        uint32_t size = 0;
        if (gpIFwUpgKv9->file_size(m_imageFile, &size) != 0) return fail(BKV9_FILE_ERROR);
        const size_t rounded = (size_t{size} + 3) & ~size_t{3};
        std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[rounded + 4]());
        if (!image) return fail(BKV9_NO_MEMORY);
        if (std::fseek(f.get(), 0, SEEK_SET) != 0) return fail(BKV9_FILE_ERROR);
        if (std::fread(image.get(), 1, size, f.get()) != size) return fail(short_read_code(f.get()));
        const size_t stripped = fwupg::StripPageSpares(image.get(), size);
        // A range past the end of the stripped image is refused, never read out of bounds.
        if (uint64_t{offset} + length > stripped) return fail(BKV9_END_OF_FILE);
        std::memcpy(buf, image.get() + offset, length);
    }
    if (swap && length >= 4) swap_dwords(buf, length / 4);
    return BKV9_OK;
}
