// Building the discovery report's text: leaf lines of one shape, escaped values, CR LF line ends.
#pragma once

#include <string>
#include <string_view>

namespace fwupg {

// The value made safe for a double-quoted XML attribute: invalid UTF-8 replaced, "&", "<", ">",
// "\"" and line-structure characters written as references, other control characters dropped.
// Plain ASCII text without those characters comes back unchanged.
std::string XmlAttributeText(std::string_view value);

// Appends `indent` blanks, "<name value=\"...\" />" and CR LF.
void AppendLeaf(std::string* out, int indent, std::string_view name, std::string_view value);
// Appends `indent` blanks, the text and CR LF.
void AppendLine(std::string* out, int indent, std::string_view text);

}  // namespace fwupg
