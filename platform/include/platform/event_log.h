// The system event log, stood in for by an append-only text file: "<root>/events.log", one entry a
// line. Every writer goes through the process's event sink, which tests replace with a capturing
// double to see exactly what would have been logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Event types as the system's event log numbers them.
enum EventType : uint16_t {
    EVENT_SUCCESS = 0,
    EVENT_ERROR = 1,
    EVENT_WARNING = 2,
    EVENT_INFORMATION = 4,
};

struct EventEntry {
    std::string source;     // name of the event source
    uint16_t type = 0;
    uint32_t id = 0;
    uint16_t category = 0;
    std::string text;       // UTF-8; may hold line ends
    bool operator==(const EventEntry&) const = default;
};

// Where events go. report() returns false when the log cannot be opened; the entry is then lost
// and the caller goes on (an event log never fails the operation it describes).
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual bool report(const EventEntry& entry) = 0;
};

// Appends to "<root>/events.log" (the root read at each report). Each entry is written with a
// single append, so concurrent writers never interleave inside a line.
class FileEventSink : public EventSink {
public:
    bool report(const EventEntry& entry) override;
};

// Test double: keeps every entry in memory; with `refuse_open` set it behaves like a log that
// cannot be opened.
class CapturingEventSink : public EventSink {
public:
    bool report(const EventEntry& entry) override;
    std::vector<EventEntry> entries;
    bool refuse_open = false;
};

// The process's sink: the installed one, or a FileEventSink.
EventSink& event_sink();
// Installs `sink` (null restores the file sink) and returns the previous installed sink.
EventSink* set_event_sink(EventSink* sink);

// Installs a sink for the lifetime of the guard.
class ScopedEventSink {
public:
    explicit ScopedEventSink(EventSink* sink) : previous_(set_event_sink(sink)) {}
    ~ScopedEventSink() { set_event_sink(previous_); }
    ScopedEventSink(const ScopedEventSink&) = delete;
    ScopedEventSink& operator=(const ScopedEventSink&) = delete;

private:
    EventSink* previous_;
};

// The file's line form: source, type, id, category and text separated by tabs, ended by '\n'.
// In source and text, '\\', tab, CR, LF and other control bytes are escaped ("\\\\", "\\t", "\\r",
// "\\n", "\\xHH"), so one entry is always one line.
std::string format_event_line(const EventEntry& entry);
// Reads one line (without its '\n') back; nullopt when it is not in that form.
std::optional<EventEntry> parse_event_line(std::string_view line);
// Every well-formed entry of an event-log file, in order (empty when it cannot be read).
std::vector<EventEntry> read_event_log(const std::string& path);

}  // namespace platform
