// kestra_host: a stand-in for the update-manager host. It loads a plug-in from a component folder,
// asks its properties, calls its Install and prints what it got as key=value lines (UTF-8).
//
// Its own arguments are the host switches the plug-in reads from the host's command line, and the
// file names that follow them: the host's command line holds each argument as one word, written so
// that the plug-in's scanner reads it as it is (HostWord). Its settings come from the environment:
//   KESTRA_PLUGIN         the plug-in (default "Pelaris.so" in the component folder)
//   KESTRA_COMPONENT_DIR  the component folder, made the current folder before the load (default:
//                         the current folder)
//   KESTRA_LANG           the host's language code (default "en")
//   KESTRA_SILENT         Install's silent flag (default 0)
//   KESTRA_ACTIONS        "props" and "install", comma-separated, run in order (default
//                         "props,install"); an action named twice runs twice
//   KESTRA_LOG_HANDOVER   1: hand the plug-in the host's own logger (verbose, open) as property 9
//   KESTRA_GUI            1: create a window first, so that the calling thread has a message queue
//   KESTRA_VERSION        the host version the plug-in reads; set to "6.0" unless already set
//                         (also when set empty) or KESTRA_NO_VERSION=1 asks for it to be missing
// Exit code: 0 when it ran, 2 for a bad setting, 3 when the plug-in cannot be loaded or lacks an
// export. "-h" or "--help" prints the usage and exits with 0 before anything is loaded.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "component/PelarisExports.h"
#include "installer_common/CCmpLog.h"
#include "platform/utf16.h"
#include "platform/win_process.h"
#include "platform/win_window.h"

namespace {

std::string Env(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v ? v : fallback;
}

std::vector<std::string> Actions(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// One argument as a word of the host's command line. The plug-in finds its switches as substrings
// of the whole line (" /d", " -d", "/verbose_log", ...) and ends a switch's file name at a '/' that
// follows a blank; the update tool it starts splits the name it copied by the system's quoting
// rules. A switch ("/d", "-u", "/verbose_log") and a plain name stand bare. Any other word is
// quoted, and inside the quotes each '/', and each '-' after a blank or tab, stands outside them
// (`"my "-"d x"/"y"` is `my -d x/y`): so no part of a name reads as a switch or ends it, and the
// tool still gets the name as one word. Backslashes before a quote are doubled, a literal quote
// escaped.
std::string HostWord(const std::string& word)
{
    const bool special = word.empty() || word.find_first_of(" \t\"") != std::string::npos;
    const size_t slash = word.find('/', word[0] == '/' || word[0] == '-' ? 1 : 0);
    if (!special && slash == std::string::npos) return word;
    std::string out = "\"";
    size_t backslashes = 0;  // the run just written, doubled when a quote follows it
    char previous = 0;
    for (char c : word) {
        if (c == '"') {
            out.append(backslashes + 1, '\\');
            out += c;
        } else if (c == '/' || (c == '-' && (previous == ' ' || previous == '\t'))) {
            out.append(backslashes, '\\');
            out += '"';
            out += c;
            out += '"';
        } else {
            out += c;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        previous = c;
    }
    out.append(backslashes, '\\');
    return out + '"';
}

// Line ends written out, so that every value stays on its line.
std::string Printable(std::u16string_view text)
{
    std::string out;
    for (char c : platform::to_utf8(text)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

win::LRESULT HostWindowProc(win::HWND h, win::UINT message, win::WPARAM wp, win::LPARAM lp)
{
    return win::DefWindowProcW(h, message, wp, lp);
}

void MakeGuiThread()
{
    win::WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostWindowProc;
    wc.lpszClassName = u"KestraHostWindow";
    win::RegisterClassExW(&wc);
    win::CreateWindowExW(0, u"KestraHostWindow", u"kestra_host", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

void AskProperties(GetProperty_fn getProperty, const std::u16string& lang)
{
    for (int id : {kPropName, kPropDescription, kPropCurrentVersion, kPropPackageVersion}) {
        std::vector<char16_t> text(1024);
        if (getProperty(id, text.data(), int(text.size()), lang.c_str()))
            std::printf("property%d=%s\n", id, Printable(text.data()).c_str());
        else
            std::printf("property%d not handled\n", id);
    }
    // The install-state record, its size in bytes; the state carries the version status.
    PelarisInstallState state{};
    if (getProperty(kPropInstallState, &state, int(sizeof state), lang.c_str())) {
        state.text[std::size(state.text) - 1] = 0;
        std::printf("property5.state=%d\n", int(state.state));
        std::printf("property5.text=%s\n", Printable(state.text).c_str());
    } else {
        std::printf("property5 not handled\n");
    }
    for (int id : {kPropSilent, kPropSilent2, kPropConstantOne}) {
        int32_t value = -1;
        if (getProperty(id, &value, 1, lang.c_str()))
            std::printf("property%d=%d\n", id, value);
        else
            std::printf("property%d not handled\n", id);
    }
}

void RunInstall(Install_fn install, int silent, const std::u16string& lang)
{
    std::vector<char16_t> message(4096);
    int result = install(silent, nullptr, message.data(), int(message.size()), lang.c_str());
    std::printf("install.result=%d\n", result);
    std::printf("install.message=%s\n", Printable(message.data()).c_str());
    std::fflush(stdout);
}

// What the host does, its switches and settings; printed for --help and -h.
constexpr const char* kUsage =
    "Usage: kestra_host [SWITCH [FILE]]...\n"
    "A stand-in for the update manager: loads the plug-in from the component folder, asks its\n"
    "properties, calls its Install and prints what it got as key=value lines.\n"
    "\n"
    "Switches (the host's command line, which the plug-in reads; /X and -X alike where shown):\n"
    "  /d FILE, -d FILE   discovery: the update tool writes its discovery report to FILE\n"
    "  /u FILE, -u FILE   update from the discovery report FILE\n"
    "  /v                 version report\n"
    "  /f, /force         force every firmware change (the normal run)\n"
    "  /e, /rewrite       rewrite firmware of the same version (the normal run, with force)\n"
    "  /g, /downgrade     allow older firmware (the normal run, with force)\n"
    "  /verbose_log       the normal run, with the plug-in's verbose log\n"
    "  (none)             the normal run: the update tool updates every adapter\n"
    "  -h, --help         print this text and exit; nothing is loaded or started\n"
    "\n"
    "Environment:\n"
    "  KESTRA_PLUGIN         the plug-in to load (default Pelaris.so in the component folder)\n"
    "  KESTRA_COMPONENT_DIR  the component folder, made the current folder before the load\n"
    "                        (default: the current folder)\n"
    "  KESTRA_LANG           the host's language code (default en)\n"
    "  KESTRA_SILENT         Install's silent flag (default 0; 1 runs the update tool silently)\n"
    "  KESTRA_ACTIONS        props and install, comma-separated, run in order (default\n"
    "                        props,install); an action named twice runs twice\n"
    "  KESTRA_LOG_HANDOVER   1: hand the plug-in the host's own verbose logger\n"
    "  KESTRA_GUI            1: create a window first, so the calling thread has a message queue\n"
    "  KESTRA_VERSION        the host version the plug-in reads; set to 6.0 unless already set\n"
    "  KESTRA_NO_VERSION     1: leave KESTRA_VERSION unset\n"
    "\n"
    "Exit code: 0 when it ran (Install's result is printed as install.result), 2 for a bad\n"
    "setting, 3 when the plug-in cannot be loaded or lacks an export.\n";

// Whether the user asks for the usage: "-h" or "--help" as a switch (not as the file name that
// follows /d or /u).
bool AsksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "-h" || word == "--help") return true;
        if (word.size() == 2 && (word[0] == '/' || word[0] == '-') &&
            (word[1] == 'd' || word[1] == 'D' || word[1] == 'u' || word[1] == 'U'))
            ++i;  // its file name
    }
    return false;
}

// The host's logger, handed to the plug-in; it lives until the process ends.
CCmpLog* g_hostLog = nullptr;

}  // namespace

int main(int argc, char** argv)
{
    if (AsksForHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // The host's command line, which the plug-in reads: given to this process as the line it was
    // started with (FWUPG_COMMAND_LINE), before anything asks for it.
    std::string line;
    std::vector<std::u16string> words;
    for (int i = 0; i < argc; ++i) {
        line += (i ? " " : "") + HostWord(argv[i]);
        words.push_back(platform::to_utf16(argv[i]));
    }
    if (platform::split_command_line(platform::to_utf16(line)) != words) {
        std::fprintf(stderr, "kestra_host: cannot write the arguments as a host line: %s\n", line.c_str());
        return 2;
    }
    setenv("FWUPG_COMMAND_LINE", line.c_str(), 1);
    std::string folder = Env("KESTRA_COMPONENT_DIR", "");
    if (!folder.empty() && chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "kestra_host: cannot enter %s\n", folder.c_str());
        return 2;
    }
    if (Env("KESTRA_NO_VERSION", "0") == "1")
        unsetenv("KESTRA_VERSION");
    else if (!std::getenv("KESTRA_VERSION"))
        setenv("KESTRA_VERSION", "6.0", 1);
    std::u16string lang = platform::to_utf16(Env("KESTRA_LANG", "en"));
    int silent = std::atoi(Env("KESTRA_SILENT", "0").c_str());
    std::vector<std::string> actions = Actions(Env("KESTRA_ACTIONS", "props,install"));
    for (const auto& a : actions) {
        if (a != "props" && a != "install") {
            std::fprintf(stderr, "kestra_host: unknown action %s\n", a.c_str());
            return 2;
        }
    }
    if (Env("KESTRA_GUI", "0") == "1") MakeGuiThread();

    std::string plugin = Env("KESTRA_PLUGIN", "Pelaris.so");
    if (plugin.find('/') == std::string::npos) plugin = "./" + plugin;
    // Never closed: the component lives until the process ends.
    void* module = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "kestra_host: cannot load %s: %s\n", plugin.c_str(), dlerror());
        return 3;
    }
    auto getVersion = reinterpret_cast<GetInterfaceVersion_fn>(dlsym(module, "GetInterfaceVersion"));
    auto getProperty = reinterpret_cast<GetProperty_fn>(dlsym(module, "GetProperty"));
    auto install = reinterpret_cast<Install_fn>(dlsym(module, "Install"));
    if (!getVersion || !getProperty || !install) {
        std::fprintf(stderr, "kestra_host: %s lacks an export\n", plugin.c_str());
        return 3;
    }
    int version = 0;
    getVersion(&version);
    std::printf("interface_version=%d\n", version);

    if (Env("KESTRA_LOG_HANDOVER", "0") == "1") {
        g_hostLog = new CCmpLog(u"kestra_host_verbose.log", nullptr);
        g_hostLog->SetVerbose(1);
        g_hostLog->Open();
        std::printf("property9=%d\n", getProperty(kPropHostLog, g_hostLog, 0, lang.c_str()));
    }

    for (const auto& action : actions) {
        if (action == "props")
            AskProperties(getProperty, lang);
        else
            RunInstall(install, silent, lang);
    }
    if (g_hostLog && g_hostLog->GetVerboseLogName())
        std::printf("host.verbose_log=%s\n",
                    Printable(std::u16string(platform::u16_view(g_hostLog->GetVerboseLogFolder())) +
                              std::u16string(platform::u16_view(g_hostLog->GetVerboseLogName())))
                        .c_str());
    std::fflush(stdout);
    return 0;
}
