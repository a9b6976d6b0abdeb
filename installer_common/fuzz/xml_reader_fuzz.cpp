// Feeds arbitrary bytes to the XML reader and walks the tree it builds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "installer_common/CTvnXMLReader.h"

namespace {
size_t Walk(const CTvnXMLNode* root)
{
    size_t n = 0;
    std::vector<const CTvnXMLNode*> pending{root};
    while (!pending.empty()) {
        const CTvnXMLNode* node = pending.back();
        pending.pop_back();
        if (!node) continue;
        ++n;
        if (node->GetText()) n += node->GetText()[0] != 0;
        for (int i = 0; i < node->GetAttributeCount(); ++i) n += node->GetAttributeValue(i) != nullptr;
        pending.push_back(node->GetNextSibling());
        pending.push_back(node->GetFirstChild());
    }
    return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CTvnXMLReader reader;
    if (reader.LoadBuffer(reinterpret_cast<const char*>(data), size) == CTvnXMLReader::kLoaded) {
        Walk(reader.GetRoot());
        reader.FindChild(nullptr, u"root", u"id", u"X");
    }
    return 0;
}
