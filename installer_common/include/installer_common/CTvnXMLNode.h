// A node of the XML reader's tree: an element (type 0, also the "#DOCROOT" document root), a
// "#TEXT" or "#CDATA" node (type 1), or an empty node (type -1). A node owns its first child and
// its next sibling, and so the whole subtree and every later sibling.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CTvnXMLNode {
public:
    CTvnXMLNode();
    // `attributes`: name, value, name, value, ..., NULL (or NULL for none); every string is copied.
    CTvnXMLNode(const char16_t* name, const char16_t* const* attributes, int type);
    CTvnXMLNode(const CTvnXMLNode&) = delete;
    CTvnXMLNode& operator=(const CTvnXMLNode&) = delete;
    virtual ~CTvnXMLNode();

    const char16_t* GetName() const;  // NULL for an empty node
    const char16_t* GetText() const;  // NULL when the node has no text
    int GetType() const { return m_type; }
    CTvnXMLNode* GetFirstChild() const { return m_firstChild; }
    CTvnXMLNode* GetNextSibling() const { return m_next; }
    CTvnXMLNode* GetParent() const { return m_parent; }

    // The text becomes the first `count` characters of `text`.
    void SetText(const char16_t* text, size_t count);
    void AppendText(const char16_t* text, size_t count);

    // Exact, case-sensitive name compare; NULL when absent.
    const char16_t* GetAttribute(const char16_t* name) const;
    int GetAttributeCount() const { return int(m_attributes.size() / 2); }
    const char16_t* GetAttributeValue(int index) const;

    // The first child (in list order) / later sibling named exactly `name`, or NULL.
    CTvnXMLNode* FindChild(const char16_t* name) const;
    CTvnXMLNode* FindNextSibling(const char16_t* name) const;

    // Links `node` as the first child when there is none yet; false (nothing linked) otherwise.
    bool SetFirstChild(CTvnXMLNode* node);
    // Makes `node` the next sibling, ahead of the old one, when there is none or `force` is set.
    bool InsertAfter(CTvnXMLNode* node, bool force);

private:
    int m_type = -1;
    std::u16string m_name;
    std::vector<std::u16string> m_attributes;  // name, value, ...
    bool m_hasText = false;
    std::u16string m_text;
    CTvnXMLNode* m_next = nullptr;
    CTvnXMLNode* m_firstChild = nullptr;
    CTvnXMLNode* m_parent = nullptr;
};
