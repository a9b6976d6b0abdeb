#include "installer_common/CTvnXMLNode.h"

#include "platform/utf16.h"

CTvnXMLNode::CTvnXMLNode() = default;

CTvnXMLNode::CTvnXMLNode(const char16_t* name, const char16_t* const* attributes, int type)
    : m_type(type), m_name(platform::u16_view(name))
{
    for (size_t i = 0; attributes && attributes[i] && attributes[i + 1]; i += 2) {
        m_attributes.emplace_back(attributes[i]);
        m_attributes.emplace_back(attributes[i + 1]);
    }
}

CTvnXMLNode::~CTvnXMLNode()
{
    // Frees the subtree and the later siblings without recursion: a long list of siblings must
    // not take a stack frame per node.
    std::vector<CTvnXMLNode*> pending;
    if (m_firstChild) pending.push_back(m_firstChild);
    if (m_next) pending.push_back(m_next);
    m_firstChild = m_next = nullptr;
    while (!pending.empty()) {
        CTvnXMLNode* n = pending.back();
        pending.pop_back();
        if (n->m_firstChild) pending.push_back(n->m_firstChild);
        if (n->m_next) pending.push_back(n->m_next);
        n->m_firstChild = n->m_next = nullptr;
        delete n;
    }
}

const char16_t* CTvnXMLNode::GetName() const { return m_type == -1 ? nullptr : m_name.c_str(); }

const char16_t* CTvnXMLNode::GetText() const { return m_hasText ? m_text.c_str() : nullptr; }

void CTvnXMLNode::SetText(const char16_t* text, size_t count)
{
    m_text.assign(text ? text : u"", text ? count : 0);
    m_hasText = true;
}

void CTvnXMLNode::AppendText(const char16_t* text, size_t count)
{
    if (text) m_text.append(text, count);
    m_hasText = true;
}

const char16_t* CTvnXMLNode::GetAttribute(const char16_t* name) const
{
    if (!name) return nullptr;
    for (size_t i = 0; i + 1 < m_attributes.size(); i += 2)
        if (m_attributes[i] == name) return m_attributes[i + 1].c_str();
    return nullptr;
}

const char16_t* CTvnXMLNode::GetAttributeValue(int index) const
{
    if (index < 0 || index >= GetAttributeCount()) return nullptr;
    return m_attributes[size_t(index) * 2 + 1].c_str();
}

CTvnXMLNode* CTvnXMLNode::FindChild(const char16_t* name) const
{
    for (CTvnXMLNode* c = m_firstChild; c; c = c->m_next)
        if (name && c->m_type != -1 && c->m_name == name) return c;
    return nullptr;
}

CTvnXMLNode* CTvnXMLNode::FindNextSibling(const char16_t* name) const
{
    for (CTvnXMLNode* s = m_next; s; s = s->m_next)
        if (name && s->m_type != -1 && s->m_name == name) return s;
    return nullptr;
}

bool CTvnXMLNode::SetFirstChild(CTvnXMLNode* node)
{
    if (m_firstChild || !node) return false;
    m_firstChild = node;
    node->m_parent = this;
    return true;
}

bool CTvnXMLNode::InsertAfter(CTvnXMLNode* node, bool force)
{
    if (!node || (m_next && !force)) return false;
    node->m_next = m_next;
    m_next = node;
    node->m_parent = m_parent;
    return true;
}
