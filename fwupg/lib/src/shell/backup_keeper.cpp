// The NVRAM backups of one exported call. The first change of an adapter in a call dumps its whole
// NVRAM; a later change of the same adapter reuses that backup after bringing it up to date with
// one read of every range written since (the adapter's earlier lines, a restore, other functions
// of its board). Restoring it after the later change fails then gives the NVRAM as it was just
// before that change, which is what a fresh dump would give, while the NVRAM is read whole only
// once per adapter and call.
//
// Writes of another process between two lines of the call are not in the log. The first 4 KiB
// (bootstrap record, directory, configuration) are read again with every reuse and must hold the
// backup's bytes wherever this process did not write them; otherwise the backup is dropped and a
// fresh one taken.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "fwupg/frame_work.h"
#include "fwupg/nvm_write_log.h"
#include "fwupg/selected_nic.h"
#include "fwupg/sha256.h"
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

constexpr uint32_t kGuardBytes = 0x1000;
constexpr uint32_t kJoinGap = 0x400;  // ranges closer than this are read in one piece

struct KeptBackup {
    uint32_t handle;
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

void Forget(uint32_t handle)
{
    for (auto it = g_kept.begin(); it != g_kept.end(); ++it) {
        if (it->handle != handle) continue;
        RemoveBackupFiles(it->path);
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

// Reads [begin, end) with the engine's own dump, so that the bytes come in the backup's format.
bool DumpSpan(Tcl_Interp* interp, const std::string& scratch, const Span& span, std::string* bytes)
{
    if (!RemoveFileIfPresent(scratch)) return false;
    const std::vector<std::string> words{"_dump", std::to_string(span.begin), std::to_string(span.end - span.begin),
                                         scratch};
    Tcl_ResetResult(interp);
    const bool ok = EvalWords(interp, words) == TCL_OK && ReadFileToBuffer(scratch, bytes) &&
                    bytes->size() == span.end - span.begin;
    RemoveFileIfPresent(scratch);
    return ok;
}

// Brings the kept backup up to date; false when it cannot be (file changed on disk, a read failed,
// or the NVRAM changed where this process did not write).
bool BringUpToDate(Tcl_Interp* interp, const char* caller, KeptBackup* kept)
{
    std::string image;
    if (!ReadFileToBuffer(kept->path, &image) || Sha256HexDigest(image) != kept->key) {
        LogDebugMsg(DBG_DEBUG, "%s(): the kept NVRAM backup %s changed on disk.", caller, kept->path.c_str());
        return false;
    }
    const uint32_t size = static_cast<uint32_t>(image.size());
    std::vector<Span> written;
    for (const NvmWriteRange& r : NvmWritesSince(kept->mark)) {
        if (r.offset >= size) continue;
        written.push_back({r.offset, static_cast<uint32_t>(std::min<uint64_t>(uint64_t{r.offset} + r.bytes, size))});
    }
    written = Join(written, 0);
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
            if (!Covered(written, at) && fresh[at - span.begin] != image[at]) {
                LogDebugMsg(DBG_DEBUG, "%s(): NVRAM byte 0x%X changed outside this call's writes.", caller, at);
                return false;
            }
        }
        image.replace(span.begin, fresh.size(), fresh);
        readBytes += fresh.size();
    }
    const std::string key = Sha256HexDigest(image);
    const std::string next = kept->path + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        if (!out.good()) return false;
    }
    // The old fingerprint goes first: a backup whose fingerprint file names other bytes is never
    // programmed back by a later run.
    RemoveFileIfPresent(FingerprintPath(kept->path));
    if (std::rename(next.c_str(), kept->path.c_str()) != 0) return false;
    kept->key = key;
    kept->mark = NvmWriteLogMark();
    WriteFingerprintFile(kept->path, key);
    LogDebugMsg(DBG_DEBUG, "%s(): NVM dump %s brought up to date (%llu bytes read again), SHA256_Key1=%s.", caller,
                kept->path.c_str(), static_cast<unsigned long long>(readBytes), key.c_str());
    return true;
}

}  // namespace

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
    if (keep) {
        if (KeptBackup* kept = KeptFor(handle)) {
            const uint32_t code = g_uUpgRetCode;
            const bool current = BringUpToDate(interp, caller, kept);
            g_uUpgRetCode = code;
            Tcl_ResetResult(interp);
            if (current) {
                use->path = kept->path;
                use->key = kept->key;
                return TCL_OK;
            }
            Forget(handle);
        }
    }
    if (!RemoveBackupFiles(path)) return Fail(50);
    if (TakeBackup(interp, caller, path, &use->key) != TCL_OK) return TCL_ERROR;
    use->path = path;
    if (keep) g_kept.push_back({handle, path, use->key, NvmWriteLogMark()});
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
    g_keeping = false;
    fwupg::StopNvmWriteLog();
}
