// The lines of a text file that carry content: neither comments ("#", ";") nor empty.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace fwupg::nvm::test {

inline std::vector<std::string> content_lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#' && line[0] != ';')
            out.push_back(line);
    return out;
}

}  // namespace fwupg::nvm::test
