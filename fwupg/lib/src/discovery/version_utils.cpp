// Version texts and their comparisons (see fw_utils.h).
#include <cstdio>

#include <platform/utf16.h>

#include "fwupg/debug_log.h"
#include "fwupg/fw_utils.h"

namespace fwupg {

namespace {

bool IsVersionChar(char c)
{
    return (c >= '0' && c <= '9') || c == '.';
}

struct Version4 {
    unsigned part[4] = {0, 0, 0, 0};
};

// Up to four numbers; reading stops at the first character that does not fit.
Version4 ParseVersion(const char* text)
{
    Version4 v;
    if (text) std::sscanf(text, "%u.%u.%u.%u", &v.part[0], &v.part[1], &v.part[2], &v.part[3]);
    return v;
}

int Compare(const char* current, const char* image)
{
    const Version4 a = ParseVersion(current), b = ParseVersion(image);
    for (int i = 0; i < 4; ++i) {
        if (a.part[i] > b.part[i]) return 1;
        if (a.part[i] < b.part[i]) return -1;
    }
    return 0;
}

}  // namespace

std::string GetVersionSuffixA(std::string_view text)
{
    size_t start = text.size();
    while (start > 0 && IsVersionChar(text[start - 1])) --start;
    return std::string(text.substr(start));
}

std::u16string GetVersionSuffix(std::string_view text)
{
    return platform::to_utf16(GetVersionSuffixA(text));
}

int CompareVersion(const char* current, const char* image)
{
    LogDebugMsg(DBG_DEBUG, "%s(): Comparing Versions (Currect Ver = %s, Image Ver = %s)... ", "CompareVersion",
                current ? current : "", image ? image : "");
    return Compare(current, image);
}

bool CompareFwVersions(const char* current, const char* image)
{
    LogDebugMsg(DBG_DEBUG, "%s(): 11.50 Fws Comparing Versions (Current Ver = %s, Image Ver = %s)... ",
                "CompareFwVersions", current ? current : "", image ? image : "");
    return Compare(current, image) <= 0;
}

bool AreNvmSubComponentsTooOld(const yxmapi::FwInfoType5& info)
{
    namespace f5 = yxmapi::fw5;
    struct Step {
        yxmapi::TextField field;
        yxmapi::TextField fallback;  // read when `field` is empty (cap 0: none)
        const char* threshold;
    };
    static constexpr Step kSteps[] = {
        {f5::kText4, {0, 0}, "7.13.23"},        {f5::kMba, {0, 0}, "7.13.2"},
        {f5::kText680, f5::kText632, "7.13.16"}, {f5::kText84, {0, 0}, "7.13.3"},
        {f5::kText516, {0, 0}, "7.13.1"},       {f5::kText764, {0, 0}, "7.13.3"},
        {f5::kText164, {0, 0}, "7.10.31"},
    };
    for (const Step& step : kSteps) {
        std::string_view text = info.get(step.field);
        if (text.empty() && step.fallback.cap != 0) text = info.get(step.fallback);
        if (text.empty()) continue;
        const std::string current = GetVersionSuffixA(text);
        if (CompareFwVersions(current.c_str(), step.threshold)) return true;
    }
    return false;
}

}  // namespace fwupg
