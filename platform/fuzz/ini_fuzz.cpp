// Fuzz target of the INI text: any bytes read come back unchanged when nothing changes; every
// section's entries are walked and changed, and the text written back reads again with the change
// in place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    platform::ini::Text text(bytes, 1252);
    // Read and written back unchanged, every byte stays as it was, whatever the encoding.
    if (text.bytes() != bytes) std::abort();
    for (std::u16string_view section : {u"Tvn", u"tvn ", u"[x]", u""}) {
        const auto entries = text.entries(section);
        for (const auto& e : entries) platform::ini::wildcard_match(e.key, e.value);
        if (!entries.empty()) {
            text.set(entries.front().line, u"k", u"v");
            if (entries.size() > 1) text.erase(entries.back().line);
        }
        if (!text.append(section, u"added", u"1")) std::abort();  // ASCII fits every encoding
    }
    // The appended entry of a section with a plain name must read back.
    const platform::ini::Text again(text.bytes(), 1252);
    const auto added = again.find(u"Tvn", u"added");
    if (!added || added->value != u"1") std::abort();
    return 0;
}
