// The NVRAM backups of one exported call. The first change of an adapter in a call dumps its whole
// NVRAM; a later change of the same adapter reuses that backup after bringing it up to date with
// one read of every range written since (the adapter's earlier lines, a restore, other functions
// of its board). Restoring it after the later change fails then gives the NVRAM as it was just
// before that change, which is what a fresh dump would give, while the NVRAM is read whole only
// once per adapter and call.
//
// Functions of one board share one flash, so a change of another function of the board takes the
// kept backup over (renamed to that change's backup name, fingerprinted for that adapter). The
// adapter records do not name the board; a kept backup of an adapter of the same family, chip,
// device id and NVRAM size is a candidate, and the 4 KiB guard below (which holds the board's MAC
// addresses) must then match outside the writes of the two functions, else a fresh dump is taken.
//
// Writes of another process between two lines of the call are not in the log. The first 4 KiB
// (bootstrap record, directory, configuration) are read again with every reuse and must hold the
// backup's bytes wherever this process did not write them; otherwise the backup is dropped and a
// fresh one taken.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "fwupg/frame_work.h"
#include "fwupg/nvm_write_log.h"
#include "fwupg/selected_nic.h"
#include "fwupg/sha256.h"
#include "fwupg/shell_commands.h"
#include "backup_registry.h"
#include "platform/safe_file.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

constexpr uint32_t kGuardBytes = 0x1000;
constexpr uint32_t kJoinGap = 0x400;  // ranges closer than this are read in one piece

// What an adapter record tells of its board's flash.
struct FlashKind {
    uint32_t family, chipId, did, flashWord;
    bool operator==(const FlashKind& o) const
    {
        return family == o.family && chipId == o.chipId && did == o.did && flashWord == o.flashWord;
    }
};

FlashKind SelectedFlashKind()
{
    return {SelectedFamily(), SelectedChipId(), g_CurPhyNic.get(yxmapi::phy::kDid),
            g_CurNicInfo.get(yxmapi::nic::kFlashWord)};
}

struct KeptBackup {
    uint32_t handle;
    FlashKind kind;
    std::string path, key;
    size_t mark;  // the write log's mark when the backup was last brought up to date
};

struct Span {
    uint32_t begin, end;
};

bool g_keeping = false;
std::vector<KeptBackup> g_kept;

KeptBackup* KeptFor(uint32_t handle)
{
    for (KeptBackup& k : g_kept)
        if (k.handle == handle) return &k;
    return nullptr;
}

// A kept backup of another adapter whose flash may be this one's. Only an adapter with a MAC
// address of its own may take one over: the guard tells boards apart by the MAC addresses their
// first 4 KiB hold, and blank boards of one kind could hold the same 4 KiB over other contents.
KeptBackup* KeptForSameKind(const FlashKind& kind)
{
    const std::string_view mac = g_CurPhyNic.get(yxmapi::phy::kMac);
    if (mac.find_first_not_of("0fF:-") == std::string_view::npos) return nullptr;
    for (KeptBackup& k : g_kept)
        if (k.kind == kind) return &k;
    return nullptr;
}

KeptBackup* KeptAt(const std::string& path)
{
    for (KeptBackup& k : g_kept)
        if (k.path == path) return &k;
    return nullptr;
}

// Drops kept backups at `path` from the table (their files are the caller's to remove).
void ForgetPath(const std::string& path)
{
    g_kept.erase(std::remove_if(g_kept.begin(), g_kept.end(), [&](const KeptBackup& k) { return k.path == path; }),
                 g_kept.end());
}

// Drops the adapter's kept backup and its files. Its name stays claimed when it is the name the
// change in progress works with (that change lets it go).
void Forget(uint32_t handle, const std::string& inUse)
{
    for (auto it = g_kept.begin(); it != g_kept.end(); ++it) {
        if (it->handle != handle) continue;
        RemoveBackupFiles(it->path);
        if (it->path != inUse) ReleaseBackupName(it->path);
        g_kept.erase(it);
        return;
    }
}

// Sorted, overlapping and near spans joined.
std::vector<Span> Join(std::vector<Span> spans, uint32_t gap)
{
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::vector<Span> out;
    for (const Span& s : spans) {
        if (!out.empty() && uint64_t{out.back().end} + gap >= s.begin)
            out.back().end = std::max(out.back().end, s.end);
        else
            out.push_back(s);
    }
    return out;
}

bool Covered(const std::vector<Span>& joined, uint32_t at)
{
    for (const Span& s : joined)
        if (at >= s.begin && at < s.end) return true;
    return false;
}

bool DumpSpan(Tcl_Interp* interp, const std::string& scratch, const Span& span, std::string* bytes)
{
    return DumpNvmRange(interp, scratch, span.begin, span.end, bytes);
}

// Brings the kept backup up to date; false when it cannot be (file changed on disk, a read failed,
// or the NVRAM changed where this process did not write).
//
// `from` is the handle the backup was taken through. When it is not the selected adapter's, the
// guard bytes may differ only where one of the two wrote: a third function's write there, or
// another board, gives a fresh dump.
bool BringUpToDate(Tcl_Interp* interp, const char* caller, KeptBackup* kept, uint32_t from)
{
    std::string image;
    if (!ReadFileToBuffer(kept->path, &image) || Sha256HexDigest(image) != kept->key) {
        LogDebugMsg(DBG_DEBUG, "%s(): the kept NVRAM backup %s changed on disk.", caller, kept->path.c_str());
        return false;
    }
    const uint32_t size = static_cast<uint32_t>(image.size());
    std::vector<Span> written, vouched;
    for (const NvmWriteRange& r : NvmWritesSince(kept->mark)) {
        if (r.offset >= size) continue;
        const Span span{r.offset, static_cast<uint32_t>(std::min<uint64_t>(uint64_t{r.offset} + r.bytes, size))};
        written.push_back(span);
        if (from == kept->handle || r.handle == from || r.handle == kept->handle) vouched.push_back(span);
    }
    written = Join(written, 0);
    vouched = Join(vouched, 0);
    std::vector<Span> reads = written;
    // The guard also makes every read near the start begin at 0, where a dump adjusts the
    // bootstrap record's address word the way the whole dump did.
    reads.push_back({0, std::min(kGuardBytes, size)});
    reads = Join(reads, kJoinGap);

    const std::string scratch = kept->path + ".part";
    uint64_t readBytes = 0;
    for (const Span& span : reads) {
        std::string fresh;
        if (!DumpSpan(interp, scratch, span, &fresh)) {
            LogDebugMsg(DBG_DEBUG, "%s(): reading NVRAM 0x%X..0x%X again failed.", caller, span.begin, span.end);
            return false;
        }
        for (uint32_t at = span.begin; at < std::min(span.end, kGuardBytes); ++at) {
            if (!Covered(vouched, at) && fresh[at - span.begin] != image[at]) {
                LogDebugMsg(DBG_DEBUG, "%s(): NVRAM byte 0x%X changed outside this call's writes.", caller, at);
                return false;
            }
        }
        image.replace(span.begin, fresh.size(), fresh);
        readBytes += fresh.size();
    }
    const std::string key = Sha256HexDigest(image);
    // The new pair is written beside the old one and switched in: the backup's name holds a whole
    // dump with its fingerprint at every moment, whenever the run ends. Flushed by the switch.
    const std::string next = kept->path + ".new";
    if (!RemoveFileIfPresent(next) ||
        !platform::write_new_file(next, image.data(), image.size(), 0600, platform::Flush::No))
        return false;
    if (!PutBackupInPlace(kept->path, next, key, true /*replace*/)) {
        RemoveFileIfPresent(next);
        return false;  // the old pair, or the new one, stays whole; a fresh dump follows
    }
    kept->key = key;
    kept->mark = NvmWriteLogMark();
    LogDebugMsg(DBG_DEBUG, "%s(): NVM dump %s brought up to date (%llu bytes read again), SHA256_Key1=%s.", caller,
                kept->path.c_str(), static_cast<unsigned long long>(readBytes), key.c_str());
    return true;
}

}  // namespace

bool DumpNvmRange(Tcl_Interp* interp, const std::string& scratch, uint32_t begin, uint32_t end, std::string* bytes)
{
    if (!RemoveFileIfPresent(scratch)) return false;
    const std::vector<std::string> words{"_dump", std::to_string(begin), std::to_string(end - begin), scratch};
    Tcl_ResetResult(interp);
    const bool ok =
        EvalWords(interp, words) == TCL_OK && ReadFileToBuffer(scratch, bytes) && bytes->size() == end - begin;
    RemoveFileIfPresent(scratch);
    return ok;
}

bool IsKeptBackup(const std::string& path)
{
    for (const KeptBackup& k : g_kept)
        if (k.path == path) return true;
    return false;
}

void ReleaseBackup(const std::string& path)
{
    if (!IsKeptBackup(path)) RemoveBackupFiles(path);
}

int ObtainBackup(Tcl_Interp* interp, const char* caller, const std::string& path, BackupUse* use)
{
    const uint32_t handle = SelectedApiHandle();
    // With the dump-file option the engines read and write a file, not the NVRAM: nothing to keep.
    const bool keep = g_keeping && NvmWriteLogOn() && !(g_FwUpgOptions & kFwUpgOptionDumpFile);
    const FlashKind kind = SelectedFlashKind();
    if (keep) {
        KeptBackup* kept = KeptFor(handle);
        uint32_t from = handle;
        if (!kept && (kept = KeptForSameKind(kind)) != nullptr) {
            // Taken over for this adapter: its name and fingerprint become this change's.
            from = kept->handle;
            if (kept->path != path) {
                const std::string old = kept->path;
                ForgetPath(path);  // another kept backup at this name: its files are replaced below
                kept = KeptAt(old);
                // Moved with a fingerprint naming this adapter, which is written first: neither name
                // ever holds the whole dump without its fingerprint.
                if (!RemoveBackupFiles(path) || !PutBackupInPlace(path, old, kept->key, false /*replace*/)) {
                    RemoveBackupFiles(old);
                    ForgetPath(old);
                    kept = nullptr;
                } else {
                    RemoveFileIfPresent(FingerprintPath(old));
                    kept->path = path;
                    RegisterBackup(path);  // first: a run cut here leaves the moved backup named
                    UnregisterBackup(old);
                }
                ReleaseBackupName(old);  // the files at the old name are gone
            }
            if (kept) kept->handle = handle;
        }
        if (kept) {
            const uint32_t code = g_uUpgRetCode;
            const bool current = BringUpToDate(interp, caller, kept, from);
            g_uUpgRetCode = code;
            Tcl_ResetResult(interp);
            if (current) {
                use->path = kept->path;
                use->key = kept->key;
                return TCL_OK;
            }
            Forget(handle, path);
        }
    }
    ForgetPath(path);
    if (!RemoveBackupFiles(path)) return Fail(50);
    if (TakeBackup(interp, caller, path, &use->key) != TCL_OK) return TCL_ERROR;
    use->path = path;
    if (keep) g_kept.push_back({handle, kind, path, use->key, NvmWriteLogMark()});
    return TCL_OK;
}

}  // namespace fwupg::shell

void BeginKeepingBackups()
{
    EndKeepingBackups();
    fwupg::StartNvmWriteLog();
    fwupg::shell::g_keeping = true;
}

void EndKeepingBackups()
{
    using namespace fwupg::shell;
    for (const KeptBackup& k : g_kept) RemoveBackupFiles(k.path);
    g_kept.clear();
    ReleaseAllBackupNames();
    g_keeping = false;
    fwupg::StopNvmWriteLog();
}
