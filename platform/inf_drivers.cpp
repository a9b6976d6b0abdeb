#include "platform/inf_drivers.h"

#include <cerrno>
#include <cstdio>

#include "platform/inf_file.h"
#include "platform/state_file.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_setupapi_inf.h"

namespace platform::inf {
namespace {

const std::u16string* value(const Line& line, size_t index)
{
    return index < line.values.size() ? &line.values[index] : nullptr;
}

const Line* find_line(const File& file, std::u16string_view section, std::u16string_view key)
{
    if (const Section* s = file.find(section))
        for (const Line& line : s->lines)
            if (line.key && same_name(*line.key, key)) return &line;
    return nullptr;
}

// "mm/dd/yyyy,a.b.c.d" into the driver record; a missing or bad part stays 0.
void read_driver_ver(const File& file, devices::Driver& driver)
{
    const Line* line = find_line(file, u"Version", u"DriverVer");
    if (!line) return;
    if (const std::u16string* date = value(*line, 0)) {
        unsigned m = 0, d = 0, y = 0;
        if (std::sscanf(to_utf8(*date).c_str(), "%u/%u/%u", &m, &d, &y) == 3 && m <= 12 && d <= 31 && y <= 0xFFFF) {
            driver.date_month = uint16_t(m);
            driver.date_day = uint16_t(d);
            driver.date_year = uint16_t(y);
        }
    }
    if (const std::u16string* version = value(*line, 1))
        driver.version = devices::parse_version(to_utf8(*version)).value_or(0);
}

}  // namespace

unsigned read_drivers(std::u16string_view inf_path, std::vector<DriverNode>& out)
{
    out.clear();
    std::string path;
    if (win::DWORD e = map_win_path(inf_path, path)) return e;
    std::optional<std::string> bytes = read_file(path);
    if (!bytes) return win::error_from_errno(errno, path);
    ParseResult parsed = parse(decode(*bytes));
    if (!parsed.ok) return win::ERROR_GENERAL_SYNTAX;

    devices::Driver common;
    common.inf = to_utf8(inf_path);
    if (const Line* provider = find_line(parsed.file, u"Version", u"Provider"); provider && value(*provider, 0))
        common.provider = to_utf8(*value(*provider, 0));
    read_driver_ver(parsed.file, common);

    const Section* manufacturers = parsed.file.find(u"Manufacturer");
    if (!manufacturers) return 0;
    for (const Line& mfg : manufacturers->lines) {
        if (mfg.values.empty()) continue;
        std::vector<std::u16string> models{mfg.values[0]};
        for (size_t i = 1; i < mfg.values.size(); ++i) models.push_back(mfg.values[0] + u"." + mfg.values[i]);
        for (const std::u16string& name : models) {
            const Section* s = parsed.file.find(name);
            if (!s) continue;
            for (const Line& model : s->lines) {
                if (model.values.empty()) continue;
                DriverNode node{common, {model.values.begin() + 1, model.values.end()}};
                node.driver.description = to_utf8(model.key.value_or(u""));
                node.driver.section = to_utf8(model.values[0]);
                node.driver.manufacturer = to_utf8(mfg.key.value_or(u""));
                out.push_back(std::move(node));
            }
        }
    }
    return 0;
}

}  // namespace platform::inf
