#include "platform/event_log.h"

#include "platform/paths.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace platform {

namespace {

EventSink* g_installed = nullptr;

void append_escaped(std::string& out, std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    for (unsigned char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 'x': {
            if (i + 2 >= text.size()) return std::nullopt;
            int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return out;
}

template <typename T>
bool parse_number(std::string_view field, T& value)
{
    if (field.empty()) return false;
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    return ec == std::errc() && end == field.data() + field.size();
}

}  // namespace

std::string format_event_line(const EventEntry& entry)
{
    std::string line;
    line.reserve(entry.source.size() + entry.text.size() + 32);
    append_escaped(line, entry.source);
    line += '\t';
    line += std::to_string(entry.type);
    line += '\t';
    line += std::to_string(entry.id);
    line += '\t';
    line += std::to_string(entry.category);
    line += '\t';
    append_escaped(line, entry.text);
    line += '\n';
    return line;
}

std::optional<EventEntry> parse_event_line(std::string_view line)
{
    std::string_view fields[5];
    for (int f = 0; f < 4; ++f) {
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return std::nullopt;
        fields[f] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[4] = line;
    EventEntry entry;
    auto source = unescape(fields[0]);
    auto text = unescape(fields[4]);
    if (!source || !text) return std::nullopt;
    if (!parse_number(fields[1], entry.type) || !parse_number(fields[2], entry.id) ||
        !parse_number(fields[3], entry.category))
        return std::nullopt;
    entry.source = std::move(*source);
    entry.text = std::move(*text);
    return entry;
}

std::vector<EventEntry> read_event_log(const std::string& path)
{
    std::vector<EventEntry> entries;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (auto entry = parse_event_line(line)) entries.push_back(std::move(*entry));
    }
    return entries;
}

bool FileEventSink::report(const EventEntry& entry)
{
    const std::string line = format_event_line(entry);
    int fd = ::open(root_path("events.log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // O_APPEND makes one write() land whole at the end; loop only for a short write.
    size_t done = 0;
    bool ok = true;
    while (done < line.size()) {
        ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return ok;
}

bool CapturingEventSink::report(const EventEntry& entry)
{
    if (refuse_open) return false;
    entries.push_back(entry);
    return true;
}

EventSink& event_sink()
{
    static FileEventSink file_sink;
    return g_installed ? *g_installed : file_sink;
}

EventSink* set_event_sink(EventSink* sink)
{
    EventSink* previous = g_installed;
    g_installed = sink;
    return previous;
}

}  // namespace platform
