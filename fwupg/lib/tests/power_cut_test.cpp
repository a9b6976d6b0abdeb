// Power lost during an update of an E1, E2, E3 or legacy board: the simulated machine ends the process
// before one NVRAM write of the update, as a power loss would end it, in turn before each write
// the update makes. Whatever write it stops before, the board's NVRAM still verifies (every
// directory, record and image CRC matches what it covers), and no run reported success.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include <sim/adapter_builder.h>
#include <testkit/demo.h>
#include <testkit/e1e3_verify.h>
#include <testkit/legacy_image.h>

#include "fwupg/oem_interface.h"
#include "update_test_support.h"

namespace {

namespace fs = std::filesystem;
namespace e1e3 = testkit::e1e3;
using disctest::World;
using namespace updtest;

// The exit status the simulated machine ends a process with at a power cut.
constexpr int kPowerLost = 75;

// Runs `body` in a child process (the library's process-wide state starts afresh there and a
// power cut ends only the child) and returns the child's exit status, -1 when it died otherwise.
int InChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The adapters folder as a fault-free machine holds it before the update, put back before each run.
class Snapshot {
public:
    explicit Snapshot(const std::string& root) : from_(root + "/adapters"), copy_(root + "/adapters.before")
    {
        fs::copy(from_, copy_, fs::copy_options::recursive);
    }
    void Restore() const
    {
        fs::remove_all(from_);
        fs::copy(copy_, from_, fs::copy_options::recursive);
        fs::remove(sim::journal_path(fs::path(from_).parent_path().string()));
    }

private:
    std::string from_, copy_;
};

struct BoardCase {
    const char* adapter;
    // The MBI package of its family in the demo firmware folder, flashed by PCI address; null for
    // a legacy board, updated from a discovery report of a machine that holds only that board.
    const char* image;
};

const BoardCase kBoards[] = {
    {"e1-57710", "mbi_e1.bin"}, {"e2-57712", "mbi_e2e3.bin"}, {"e3-57810-p0", "mbi_e2e3.bin"},
    {"l-5708", nullptr},        {"l-5709-p0", nullptr},
};

void PrintTo(const BoardCase& c, std::ostream* out) { *out << c.adapter; }

// Leaves the adapters of the victim's board (its name up to "-p") and removes the others.
void KeepOnlyTheBoardOf(const World& w, const std::string& victim)
{
    const std::string board = victim.substr(0, victim.rfind("-p"));
    for (const std::string& name : sim::adapter_names(w.root()))
        if (name.rfind(board, 0) != 0) fs::remove(sim::description_path(w.root(), name));
}

class PowerCut : public ::testing::TestWithParam<BoardCase> {};

TEST_P(PowerCut, BeforeEachWriteLeavesAVerifyingNvramAndNoSuccess)
{
    const BoardCase& c = GetParam();
    World w;
    testkit::make_demo(w.root(), w.fw(), !c.image);
    const sim::AdapterDef victim = Adapter(w, c.adapter);
    const std::string report = w.root() + "/report.xml";
    std::string discovered;
    if (!c.image) {
        KeepOnlyTheBoardOf(w, c.adapter);
        ASSERT_EQ(InChild([&] { return Discover(w, report) == 0 ? 0 : 1; }), 0);
        discovered = Read(report);
        ASSERT_FALSE(DeviceBlock(discovered, victim.mac).empty()) << discovered;
    }
    const auto flash = [&] {
        if (!c.image) {
            std::ofstream(report, std::ios::binary | std::ios::trunc) << discovered;
            return Flash(w, report) == uint32_t(RET_REBOOT_REQUIRED) ? 0 : 1;
        }
        const std::string image = w.fw() + "/" + c.image;
        return FlashPci(image, victim.bus, victim.device, victim.function) == uint32_t(RET_REBOOT_REQUIRED) ? 0 : 1;
    };
    const Snapshot before(w.root());

    // The fault-free run: how many writes the update makes on the board.
    ASSERT_EQ(InChild(flash), 0);
    uint32_t writes = 0;
    for (const YxSimCall& call : sim::read_journal_file(w.root()))
        writes += call.ordinal == 67 && call.handle == victim.api_handle;
    ASSERT_GT(writes, 4u);

    for (uint32_t k = 1; k <= writes; ++k) {
        SCOPED_TRACE("power lost before write " + std::to_string(k) + " of " + std::to_string(writes));
        before.Restore();
        sim::FaultRule cut;
        cut.ordinal = 67;
        cut.adapter = c.adapter;
        cut.nth = k;
        cut.cut_after = 0;
        cut.exit_after_cut = true;
        sim::Control control;
        control.faults = {cut};
        sim::write_control(w.root(), control);

        EXPECT_EQ(InChild(flash), kPowerLost) << "the run went on past the power cut";
        for (const auto& [name, nvram] : Nvrams(w)) {
            const sim::AdapterDef a = Adapter(w, name);
            if (a.family == yxmapi::kFamilyLegacy) {
                EXPECT_EQ(testkit::legacy::verify_nvram(nvram), "") << name;
            } else if (a.family != yxmapi::kFamilyE4) {
                const e1e3::Report r = e1e3::verify(nvram, ChipOf(a.did));
                EXPECT_TRUE(r.ok()) << name << "\n" << r.text();
            }
        }
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, PowerCut, ::testing::ValuesIn(kBoards),
                         [](const ::testing::TestParamInfo<BoardCase>& info) {
                             std::string name;
                             for (const char* p = info.param.adapter; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

}  // namespace
