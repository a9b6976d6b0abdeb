#include "HostSwitches.h"

#include <iterator>
#include <string_view>

#include "platform/utf16.h"

// Constant tables, so that they are in place before any code of the plug-in runs at load.
namespace {

constexpr const char16_t* kDiscover[] = {u" /D", u" /d", u" -D", u" -d"};
constexpr const char16_t* kUpgrade[] = {u" /U", u" /u", u" -U", u" -u"};
constexpr const char16_t* kDowngrade[] = {u" /G", u" /g", u" /downgrade"};
constexpr const char16_t* kRewrite[] = {u" /E", u" /e", u" /rewrite"};
constexpr const char16_t* kForce[] = {u" /F", u" /f", u" /force"};
constexpr const char16_t* kVersion[] = {u" /V", u" /v"};
constexpr const char16_t* kVerboseLog[] = {u" /VERBOSE_LOG", u" /verbose_log"};

// Longer host switches whose start reads as a shorter form: " /downgrade" is no discovery
// request, " /verbose_log" no version report.
constexpr std::u16string_view kLongSwitches[] = {u" /downgrade", u" /rewrite", u" /force", u" /verbose_log",
                                                 u" /VERBOSE_LOG"};

}  // namespace

constinit const SwitchGroup DiscoverSwitches{kDiscover, std::size(kDiscover)};
constinit const SwitchGroup UpgradeSwitches{kUpgrade, std::size(kUpgrade)};
constinit const SwitchGroup DowngradeSwitches{kDowngrade, std::size(kDowngrade)};
constinit const SwitchGroup RewriteSwitches{kRewrite, std::size(kRewrite)};
constinit const SwitchGroup ForceSwitches{kForce, std::size(kForce)};
constinit const SwitchGroup VersionSwitches{kVersion, std::size(kVersion)};
constinit const SwitchGroup VerboseLogSwitches{kVerboseLog, std::size(kVerboseLog)};

long FindSwitchForm(const char16_t* line, const char16_t* form)
{
    std::u16string_view text = platform::u16_view(line);
    std::u16string_view f = platform::u16_view(form);
    for (size_t at = text.find(f); at != std::u16string_view::npos; at = text.find(f, at + 1)) {
        bool partOfLonger = false;
        for (auto longer : kLongSwitches)
            if (longer.size() > f.size() && text.substr(at, longer.size()) == longer) partOfLonger = true;
        if (!partOfLonger) return long(at);
    }
    return -1;
}

bool IsSwitchPresent(const char16_t* line, const SwitchGroup& group)
{
    for (size_t i = 0; i < group.count; ++i)
        if (FindSwitchForm(line, group.forms[i]) >= 0) return true;
    return false;
}

bool GetSwitchFileName(const char16_t* line, const SwitchGroup& group, char16_t* out)
{
    std::u16string_view text = platform::u16_view(line);
    for (size_t i = 0; i < group.count; ++i) {
        long at = FindSwitchForm(line, group.forms[i]);
        if (at < 0) continue;
        size_t p = size_t(at) + platform::u16_length(group.forms[i]);
        while (p < text.size() && (text[p] == u' ' || text[p] == u'\t')) ++p;
        size_t n = 0;
        for (; p < text.size() && n < kSwitchFileChars; ++p, ++n) {
            if (text[p] == u'/' && (text[p - 1] == u' ' || text[p - 1] == u'\t')) break;
            out[n] = text[p];
        }
        out[n] = 0;
        return true;
    }
    return false;
}
