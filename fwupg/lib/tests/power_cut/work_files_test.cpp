// The files a change writes beside the tool on demo boards of the test kit, with the real engines:
// a backup left behind by another run is programmed back only when it is this adapter's whole
// NVRAM, and is otherwise kept aside and never overwritten; a planted link at any name a change
// writes refuses the change before its first NVRAM write and leaves the linked file as it was; a
// backup that cannot be written whole refuses the change the same way and leaves nothing behind.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "power_cut_machine.h"
#include "sim/adapter_builder.h"

using namespace powercut;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRestoreFailed = 140;   // the change refused: the board cannot be repaired
constexpr uint32_t kWorkFilesFailed = 150;
constexpr uint32_t kWorkFileUnsafe = 151;

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    std::string hex;
    char two[3];
    for (unsigned char d : digest) {
        std::snprintf(two, sizeof two, "%02x", d);
        hex += two;
    }
    return hex;
}

uint32_t Be32(const std::string& b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint8_t(b[at + 3]);
}

void PutBe32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (24 - 8 * i));
}

// The CRC word of b[at, at + len) stored least significant byte first behind it.
void Seal(std::string& b, size_t at, size_t len)
{
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(b.data() + at), uInt(len)));
    for (int i = 0; i < 4; ++i) b[at + len + size_t(i)] = char(crc >> (8 * i));
}

// Places of the MAC address words (low word of the pair) in an NVRAM of the family: E1-E3 port
// parts (and their backup copy) of both paths and ports; the legacy hardware blocks of both
// functions.
std::vector<size_t> MacLowWords(bool legacy)
{
    if (legacy) return {0x134 + 4, 0x188 + 4};
    std::vector<size_t> at;
    for (size_t part : {300u, 700u, 2068u, 2468u}) at.insert(at.end(), {part + 20, part + 396});
    return at;
}

// The same board's NVRAM with other MAC addresses, every CRC sealed again: another board.
std::string AnotherBoard(std::string nvram, bool legacy)
{
    for (size_t at : MacLowWords(legacy)) PutBe32(nvram, at, Be32(nvram, at) ^ 0x00440000u);
    if (legacy) {
        Seal(nvram, 0x100, 252);
    } else {
        Seal(nvram, 256, 844);
        Seal(nvram, 2024, 844);
    }
    return nvram;
}

struct Board {
    const char* name;
    bool legacy;
    const char* line;  // an upgrade with its backup at $ROOT/backup.bin
};
const Board kE3{"e3-57810", false, "upgrade -F -mba {$FW/mba_e3.bin} {$ROOT/backup.bin}"};
const Board kLegacy{"l-5709", true, "upgrade -F -mba {$FW/mba_legacy.bin} {$ROOT/backup.bin}"};

// A demo board with its own dump at hand and its pristine state saved.
struct Bench {
    explicit Bench(const Board& b) : board(b), m(b.name, b.legacy)
    {
        const RunResult r = m.Run({Expand("_dump {$ROOT/own.dump}", m)});
        if (r.exitCode != 0) throw std::runtime_error("the board's own dump failed: " + r.failedLine);
        own = Slurp(m.root.file("own.dump"));
        fs::remove(m.root.file("own.dump"));
        m.Save("pristine");
    }
    std::string Identity() const
    {
        char did[16];
        std::snprintf(did, sizeof did, " %04X", unsigned(m.target.did));
        return m.target.mac + did;
    }
    std::string Fingerprint(const std::string& bytes) const { return Sha256Hex(bytes) + "\n" + Identity() + "\n"; }
    std::string Backup() const { return m.root.file("backup.bin"); }
    // An erasing power cut through the configuration: the MAC addresses read all ones and the
    // NVRAM fails its check.
    void EraseConfiguration()
    {
        const size_t end = board.legacy ? 0x300 : 0x540;
        sim::set_nvram(m.root.path, m.target.name, std::vector<uint8_t>(end - 0x100, 0xFF), 0x100);
    }
    std::string Nvram() const
    {
        const testkit::Bytes b = m.Nvram();
        return std::string(b.begin(), b.end());
    }

    Board board;
    Machine m;
    std::string own;
};

// ---------------------------------------------------------------------------------------------

// SwitchCut: a run refreshing its backup ended between putting the new dump at the backup's name
// and its fingerprint beside it in place: the old fingerprint names other bytes, the new one is
// still under its side name.
enum class Leftover { Own, NoFingerprint, EditedFingerprint, OtherBoard, HalfSize, SwitchCut };
struct LeftoverCase {
    const char* name;
    const Board* board;
    Leftover leftover;
    bool damaged;  // the NVRAM fails its check when the run starts
};
void PrintTo(const LeftoverCase& c, std::ostream* os) { *os << c.name; }

const LeftoverCase kLeftovers[] = {
    {"e3_own_backup_repairs", &kE3, Leftover::Own, true},
    {"e3_own_backup_cut_between_its_switch", &kE3, Leftover::SwitchCut, true},
    {"e3_no_fingerprint", &kE3, Leftover::NoFingerprint, true},
    {"e3_edited_fingerprint", &kE3, Leftover::EditedFingerprint, true},
    {"e3_other_board_with_matching_line", &kE3, Leftover::OtherBoard, true},
    {"e3_half_size", &kE3, Leftover::HalfSize, true},
    {"e3_no_fingerprint_healthy_board", &kE3, Leftover::NoFingerprint, false},
    {"e3_other_board_healthy_board", &kE3, Leftover::OtherBoard, false},
    {"legacy_own_backup_repairs", &kLegacy, Leftover::Own, true},
    {"legacy_own_backup_cut_between_its_switch", &kLegacy, Leftover::SwitchCut, true},
    {"legacy_edited_fingerprint", &kLegacy, Leftover::EditedFingerprint, true},
    {"legacy_other_board_with_matching_line", &kLegacy, Leftover::OtherBoard, true},
    {"legacy_half_size", &kLegacy, Leftover::HalfSize, true},
    {"legacy_half_size_healthy_board", &kLegacy, Leftover::HalfSize, false},
};

class LeftoverBackups : public ::testing::TestWithParam<LeftoverCase> {};

// A leftover that belongs here repairs a damaged board with its own MAC addresses; any other is
// kept, bytes unchanged, under "<name>.unverified-1", never programmed back: a damaged board is
// then left untouched with a message naming the kept file, a healthy one is updated.
TEST_P(LeftoverBackups, AreProgrammedBackOnlyWhenTheyAreTheBoardsOwn)
{
    const LeftoverCase& c = GetParam();
    Bench b(*c.board);
    std::string bytes = b.own, print = b.Fingerprint(b.own);
    switch (c.leftover) {
    case Leftover::Own: break;
    case Leftover::SwitchCut:
        Put(b.Backup() + ".sha256.new", print);
        print = b.Fingerprint(AnotherBoard(b.own, c.board->legacy));
        break;
    case Leftover::NoFingerprint: print.clear(); break;
    case Leftover::EditedFingerprint: print[7] = print[7] == '0' ? '1' : '0'; break;
    case Leftover::OtherBoard:
        bytes = AnotherBoard(b.own, c.board->legacy);
        print = b.Fingerprint(bytes);
        break;
    case Leftover::HalfSize:
        bytes.resize(bytes.size() / 2);
        print = b.Fingerprint(bytes);
        break;
    }
    Put(b.Backup(), bytes);
    if (!print.empty()) Put(b.Backup() + ".sha256", print);
    if (c.damaged) b.EraseConfiguration();
    const std::string before = b.Nvram();

    const RunResult r = b.m.Run({Expand(c.board->line, b.m)});

    const std::string aside = b.Backup() + ".unverified-1";
    if (c.leftover == Leftover::Own || c.leftover == Leftover::SwitchCut) {
        EXPECT_EQ(r.exitCode, 0) << r.failedLine;
        EXPECT_EQ(FirstComplaint(b.m.Verify()), "");
        const std::string now = b.Nvram();
        for (size_t at : MacLowWords(c.board->legacy))
            EXPECT_EQ(now.substr(at - 4, 8), b.own.substr(at - 4, 8)) << "MAC words at 0x" << std::hex << at - 4;
        EXPECT_FALSE(fs::exists(b.Backup())) << "the repair's leftover and the run's backup are removed";
        EXPECT_FALSE(fs::exists(aside));
        return;
    }
    ASSERT_TRUE(fs::exists(aside)) << "the leftover is kept aside";
    EXPECT_EQ(Slurp(aside), bytes) << "the kept leftover's bytes";
    if (!print.empty()) {
        EXPECT_EQ(Slurp(aside + ".sha256"), print);
    }
    if (c.damaged) {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.lineCode, kRestoreFailed) << r.failedLine;
        EXPECT_TRUE(b.m.Writes().empty()) << "nothing is written to the damaged board";
        EXPECT_TRUE(b.Nvram() == before) << "the NVRAM changed";
        EXPECT_FALSE(fs::exists(b.Backup())) << "no new backup of the damaged board";
    } else {
        EXPECT_EQ(r.exitCode, 0) << r.failedLine;
        EXPECT_EQ(FirstComplaint(b.m.Verify()), "");
        EXPECT_FALSE(b.m.Writes().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(WorkFiles, LeftoverBackups, ::testing::ValuesIn(kLeftovers),
                         [](const auto& info) { return std::string(info.param.name); });

// A second leftover of a later run is kept beside the first, never over it.
TEST(WorkFiles, KeptLeftoversAreNeverOverwritten)
{
    Bench b(kE3);
    b.EraseConfiguration();
    for (const char* content : {"first", "second"}) {
        Put(b.Backup(), content);
        const RunResult r = b.m.Run({Expand(kE3.line, b.m)});
        EXPECT_EQ(r.lineCode, kRestoreFailed) << r.failedLine;
    }
    EXPECT_EQ(Slurp(b.Backup() + ".unverified-1"), "first");
    EXPECT_EQ(Slurp(b.Backup() + ".unverified-2"), "second");
}

// ---------------------------------------------------------------------------------------------

// A link at each name a change writes or removes, pointing at a file of the user's: the change is
// refused before its first NVRAM write, and the linked file keeps its bytes and mode.
struct PlantedLink {
    const char* name;
    const char* line;
    const char* link;  // in the working folder ($ROOT)
    bool refused;      // false: the change goes on around it (the name is not one it uses)
    bool dangling = false;  // the link points where no file is: none may be made there
};
void PrintTo(const PlantedLink& c, std::ostream* os) { *os << c.name; }

const PlantedLink kLinks[] = {
    {"backup", kE3.line, "backup.bin", true},
    {"fingerprint", kE3.line, "backup.bin.sha256", true},
    {"fingerprint_new", kE3.line, "backup.bin.sha256.new", true},
    {"dump_scratch", kE3.line, "backup.bin.part", true},
    {"kept_backup_new", kE3.line, "backup.bin.new", true},
    {"lock", kE3.line, "backup.bin.lock", true},
    {"backup_dangling", kE3.line, "backup.bin", true, true},
    {"fingerprint_new_dangling", kE3.line, "backup.bin.sha256.new", true, true},
    {"legacy_backup", kLegacy.line, "backup.bin", true},
    // The configuration change's backup lives in the working folder under the adapter's MAC.
    {"cfg_backup", "cfg -vpdv0 7.99.1", "NVMCfgDump#_001018E30100.BIN", true},
    // Package images go to the call's private folder: the names of the old fixed files are not used.
    {"package_image_names", "upgrade -F -mbi {$FW/mbi_e2e3.bin} {$ROOT/backup.bin}", "MFW.bin", false},
};

class PlantedLinks : public ::testing::TestWithParam<PlantedLink> {};

TEST_P(PlantedLinks, NeverLeadAWriteOrARemovalElsewhere)
{
    const PlantedLink& c = GetParam();
    Bench b(std::string(c.line).find("legacy") != std::string::npos ? kLegacy : kE3);
    const std::string victim = b.m.root.file("victim");
    Put(victim, "the user's own file");
    chmod(victim.c_str(), 0640);
    const std::string nowhere = b.m.root.file("nowhere");
    fs::create_symlink(c.dangling ? nowhere : victim, b.m.root.file(c.link));
    const std::string before = b.Nvram();

    const RunResult r = b.m.Run({Expand(c.line, b.m)});

    EXPECT_EQ(Slurp(victim), "the user's own file");
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(b.m.root.file(c.link)))) << "the link itself stays";
    EXPECT_FALSE(fs::exists(nowhere));
    if (c.refused) {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.lineCode, kWorkFileUnsafe) << r.failedLine;
        EXPECT_TRUE(b.m.Writes().empty()) << "nothing is written";
        EXPECT_TRUE(b.Nvram() == before) << "the NVRAM changed";
    } else {
        EXPECT_EQ(r.exitCode, 0) << r.failedLine;
        EXPECT_EQ(FirstComplaint(b.m.Verify()), "");
    }
}

INSTANTIATE_TEST_SUITE_P(WorkFiles, PlantedLinks, ::testing::ValuesIn(kLinks),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

// Backups that cannot be written whole: the change is refused before its first NVRAM write, with
// its own code, and nothing that looks like a backup stays.
struct Shortage {
    const char* name;
    const Board* board;
    rlim_t fileSizeLimit;  // bytes; RLIM_INFINITY: none
    const char* blocker;   // a folder made at this name beside the backup; null: none
    uint32_t code;
    const char* line = nullptr;  // instead of the board's line
};
void PrintTo(const Shortage& c, std::ostream* os) { *os << c.name; }

const Shortage kShortages[] = {
    {"e3_file_size_limit_below_the_nvram", &kE3, 64 * 1024, nullptr, kWorkFilesFailed},
    {"legacy_file_size_limit_below_the_nvram", &kLegacy, 64 * 1024, nullptr, kWorkFilesFailed},
    {"e3_fingerprint_name_taken_by_a_folder", &kE3, RLIM_INFINITY, "backup.bin.sha256", kWorkFileUnsafe},
    // A folder that cannot take the backup's files (here: it is not there).
    {"e3_backup_folder_unusable", &kE3, RLIM_INFINITY, nullptr, kWorkFilesFailed,
     "upgrade -F -mba {$FW/mba_e3.bin} {$ROOT/gone/backup.bin}"},
};

class BackupShortages : public ::testing::TestWithParam<Shortage> {};

TEST_P(BackupShortages, RefuseTheChangeBeforeItsFirstWrite)
{
    const Shortage& c = GetParam();
    Bench b(*c.board);
    if (c.blocker) fs::create_directory(b.m.root.file(c.blocker));
    const std::string before = b.Nvram();

    // The run's child inherits the limit, and SIGXFSZ ignored as an exported call ignores it.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = c.fileSizeLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
    const RunResult r = b.m.Run({Expand(c.line ? c.line : c.board->line, b.m)});
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lineCode, c.code) << r.failedLine;
    EXPECT_TRUE(b.m.Writes().empty()) << "nothing is written";
    EXPECT_TRUE(b.Nvram() == before) << "the NVRAM changed";
    for (const char* suffix : {"", ".part", ".sha256.new", ".new", ".lock"})
        EXPECT_FALSE(fs::exists(b.Backup() + suffix)) << "backup.bin" << suffix << " stays";
    if (!c.blocker) {
        EXPECT_FALSE(fs::exists(b.Backup() + ".sha256"));
    }
}

INSTANTIATE_TEST_SUITE_P(WorkFiles, BackupShortages, ::testing::ValuesIn(kShortages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
