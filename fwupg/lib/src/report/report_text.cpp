// Report text helpers (see report_text.h).
#include "fwupg/report_text.h"

#include <platform/utf16.h>

namespace fwupg {

std::string XmlAttributeText(std::string_view value)
{
    // A round trip through UTF-16 replaces bytes that are not UTF-8 (records of the management
    // library carry 8-bit texts), so the file stays the UTF-8 its declaration says.
    const std::string utf8 = platform::to_utf8(platform::to_utf16(value));
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default:
            // Other control characters cannot stand in XML 1.0 at all.
            if (static_cast<unsigned char>(c) >= 0x20) out += c;
        }
    }
    return out;
}

void AppendLine(std::string* out, int indent, std::string_view text)
{
    out->append(static_cast<size_t>(indent), ' ');
    out->append(text);
    out->append("\r\n");
}

void AppendLeaf(std::string* out, int indent, std::string_view name, std::string_view value)
{
    out->append(static_cast<size_t>(indent), ' ');
    out->append("<").append(name).append(" value=\"").append(XmlAttributeText(value)).append("\" />\r\n");
}

}  // namespace fwupg
