// Loads an XML file into a tree of CTvnXMLNode under a "#DOCROOT" root. Two properties of the tree
// matter to callers: a parent's later children stand in reverse document order after its first
// one (A, B, C, D read as A, D, C, B), and an element has text only when its content begins with a
// character that is not white space and comes before any child element.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "installer_common/CTvnXMLNode.h"

class CTvnXMLReader {
public:
    enum Result { kLoaded = 0, kNoRoot = 1, kCannotOpen = 3, kCannotRead = 4, kParseFailed = 5 };

    CTvnXMLReader();
    CTvnXMLReader(const CTvnXMLReader&) = delete;
    CTvnXMLReader& operator=(const CTvnXMLReader&) = delete;
    virtual ~CTvnXMLReader();

    // Discards the tree, makes a new empty root and sets the C runtime's locale to the user's
    // default for all categories.
    void Reset();
    void Clear();
    // The encoding the parser is told to use (NULL: the document's own). Cleared by every reset.
    void SetEncoding(const char16_t* name);
    CTvnXMLNode* GetRoot() const { return m_root; }
    bool IsLoaded() const { return m_loaded; }

    int LoadFile(const char16_t* path);
    // 0 or 5.
    int LoadBuffer(const char* bytes, size_t length);

    // The first child of `parent` (NULL: the root) in list order named exactly `name` and, when
    // both are given, whose attribute `attribute` equals `value` ignoring case. NULL when the reader
    // is not loaded or nothing matches.
    CTvnXMLNode* FindChild(CTvnXMLNode* parent, const char16_t* name, const char16_t* attribute,
                           const char16_t* value) const;

private:
    bool Parse(const char* bytes, size_t length);

    CTvnXMLNode* m_root = nullptr;
    std::optional<std::u16string> m_encoding;
    bool m_loaded = false;
};
