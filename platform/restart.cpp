#include "platform/restart.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_registry.h"

namespace platform {
namespace {

constexpr char16_t kKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char16_t kValue[] = u"PendingFileRenameOperations";
constexpr std::u16string_view kPrefix = u"\\??\\";

// The texts of the list (empty ones included: they mark deletes).
std::vector<std::u16string> read_list(win::HKEY key)
{
    win::DWORD type = 0, size = 0;
    std::vector<std::u16string> texts;
    if (win::RegQueryValueExW(key, kValue, nullptr, &type, nullptr, &size) != win::ERROR_SUCCESS ||
        type != win::REG_MULTI_SZ)
        return texts;
    std::u16string data(size / 2 + 1, u'\0');
    if (win::RegQueryValueExW(key, kValue, nullptr, &type, reinterpret_cast<win::BYTE*>(data.data()), &size) !=
        win::ERROR_SUCCESS)
        return texts;
    data.resize(size / 2);
    // Pairs of NUL-terminated texts; the list's closing NUL is not a text of its own.
    size_t at = 0;
    while (at < data.size()) {
        size_t end = data.find(u'\0', at);
        if (end == std::u16string::npos) end = data.size();
        texts.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    if (texts.size() % 2) texts.pop_back();
    return texts;
}

std::u16string path_of(std::u16string_view text)
{
    if (!text.empty() && text[0] == u'!') text.remove_prefix(1);
    if (text.substr(0, kPrefix.size()) == kPrefix) text.remove_prefix(kPrefix.size());
    return std::u16string(text);
}

}  // namespace

bool schedule_at_restart(std::u16string_view source, std::optional<std::u16string_view> target, bool replace)
{
    win::HKEY key = nullptr;
    if (win::LSTATUS e = win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, kKey, 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                              win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, nullptr, &key, nullptr)) {
        win::SetLastError(win::DWORD(e));
        return false;
    }
    std::vector<std::u16string> texts = read_list(key);
    texts.push_back(std::u16string(kPrefix) + std::u16string(source));
    texts.push_back(target ? (replace ? u"!" : u"") + std::u16string(kPrefix) + std::u16string(*target) : u"");
    std::u16string data;
    for (const auto& t : texts) data += t + u'\0';
    data += u'\0';
    win::LSTATUS e = win::RegSetValueExW(key, kValue, 0, win::REG_MULTI_SZ, reinterpret_cast<const win::BYTE*>(data.data()),
                                         win::DWORD(data.size() * 2));
    win::RegCloseKey(key);
    if (e) win::SetLastError(win::DWORD(e));
    return e == win::ERROR_SUCCESS;
}

int restart_machine()
{
    // Volatile keys do not survive the restart.
    for (registry::Root root : {registry::Root::ClassesRoot, registry::Root::CurrentUser, registry::Root::LocalMachine,
                                registry::Root::Users, registry::Root::CurrentConfig})
        registry::update_hive(root, [](registry::Hive& hive) {
            hive.drop_volatile();
            return true;
        });
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, &key) !=
        win::ERROR_SUCCESS)
        return 0;
    std::vector<std::u16string> texts = read_list(key);
    int failed = 0;
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        const std::u16string source = path_of(texts[i]);
        const std::u16string& target = texts[i + 1];
        bool ok;
        if (target.empty())
            ok = win::DeleteFileW(source.c_str()) || win::GetLastError() == win::ERROR_FILE_NOT_FOUND;
        else
            ok = win::MoveFileExW(source.c_str(), path_of(target).c_str(),
                                  target[0] == u'!' ? win::MOVEFILE_REPLACE_EXISTING : 0);
        failed += ok ? 0 : 1;
    }
    win::RegDeleteValueW(key, kValue);
    win::RegCloseKey(key);
    return failed;
}

}  // namespace platform
