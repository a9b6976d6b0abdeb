#include "installer_common/CTvnXMLReader.h"

#include <clocale>
#include <new>
#include <vector>

#include "SjisEncoding.h"
#include "platform/utf16.h"
#include "platform/wide_ctype.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "xml_expat.h"

using namespace win;

namespace xmlw {
bool LibraryIsWide()
{
    static const bool wide = [] {
        for (const XML_Feature* f = XML_GetFeatureList(); f && f->feature != XML_FEATURE_END; ++f)
            if (f->feature == XML_FEATURE_SIZEOF_XML_CHAR) return f->value == 2;
        return false;
    }();
    return wide;
}
}  // namespace xmlw

namespace {

// Expat's wide build hands over character data in pieces of at most this many units, so a long
// text arrives split at arbitrary places; such a split is not a piece boundary of the document.
constexpr size_t kExpatPiece = 1024;

struct ParseState {
    CTvnXMLNode* current = nullptr;
    CTvnXMLNode* text = nullptr;
    int collecting = 1;
    int firstText = 0;
    int inCdata = 0;
    size_t lastPiece = 0;
    XML_Parser parser = nullptr;
    bool failed = false;
};

ParseState& StateOf(void* data) { return *static_cast<ParseState*>(data); }

// Links a new element or CDATA node: directly after the parent's first child when it has one,
// which leaves the later children in reverse document order.
void Link(CTvnXMLNode* parent, CTvnXMLNode* node)
{
    if (CTvnXMLNode* first = parent->GetFirstChild())
        first->InsertAfter(node, true);
    else
        parent->SetFirstChild(node);
}

// No exception may unwind through expat's C frames: stop the parse instead.
template <typename F>
void Guarded(ParseState& st, F&& body)
{
    if (st.failed) return;
    try {
        body();
    } catch (...) {
        st.failed = true;
        XML_StopParser(st.parser, XML_FALSE);
    }
}

void XMLCALL OnStartElement(void* data, const XML_Char* name, const XML_Char** attributes)
{
    ParseState& st = StateOf(data);
    Guarded(st, [&] {
        st.collecting = 1;
        st.firstText = 1;
        std::vector<std::u16string> copies;
        for (size_t i = 0; attributes && attributes[i]; ++i) copies.push_back(xmlw::ToU16(attributes[i]));
        std::vector<const char16_t*> list;
        for (const auto& c : copies) list.push_back(c.c_str());
        list.push_back(nullptr);
        std::u16string n = xmlw::ToU16(name);
        auto* node = new CTvnXMLNode(n.c_str(), list.data(), 0);
        Link(st.current, node);
        st.current = node;
    });
}

void XMLCALL OnEndElement(void* data, const XML_Char*)
{
    ParseState& st = StateOf(data);
    Guarded(st, [&] {
        if (st.current->GetParent()) st.current = st.current->GetParent();
        // Text after a child element belongs to no node: stop collecting until the next element,
        // so it is not appended to the child's text.
        st.collecting = 0;
        st.text = nullptr;
    });
}

void XMLCALL OnStartCdata(void* data)
{
    ParseState& st = StateOf(data);
    Guarded(st, [&] {
        st.collecting = 1;
        st.inCdata = 1;
        auto* node = new CTvnXMLNode(u"#CDATA", nullptr, 1);
        Link(st.current, node);
        st.current = node;
    });
}

void XMLCALL OnEndCdata(void* data)
{
    ParseState& st = StateOf(data);
    Guarded(st, [&] {
        st.inCdata = 0;
        st.collecting = 0;
        if (st.current->GetParent()) st.current = st.current->GetParent();
    });
}

void XMLCALL OnCharacterData(void* data, const XML_Char* piece, int count)
{
    ParseState& st = StateOf(data);
    Guarded(st, [&] {
        if (count <= 0) return;
        std::u16string text = xmlw::ToU16(piece, size_t(count));
        bool continuation = st.lastPiece + 1 >= kExpatPiece && text[0] != u'\n';
        st.lastPiece = size_t(count);
        if (st.inCdata) {
            st.current->AppendText(text.data(), text.size());
            return;
        }
        if (!st.collecting) return;
        if (st.firstText) {
            st.firstText = 0;
            if (platform::wide_isspace(text[0])) {
                st.collecting = 0;
                return;
            }
            // Only an element without a child gets a text node: one that could not be linked
            // would hold text nobody can reach.
            if (st.current->GetFirstChild()) {
                st.text = nullptr;
                return;
            }
            auto* node = new CTvnXMLNode(u"#TEXT", nullptr, 1);
            node->SetText(text.data(), text.size());
            st.current->SetFirstChild(node);
            st.text = node;
            return;
        }
        if (platform::wide_isspace(text[0]) && !continuation) return;
        if (st.text) st.text->AppendText(text.data(), text.size());
    });
}

}  // namespace

CTvnXMLReader::CTvnXMLReader() { Reset(); }

CTvnXMLReader::~CTvnXMLReader() { Clear(); }

void CTvnXMLReader::Reset()
{
    if (m_root || m_loaded) Clear();
    m_root = new (std::nothrow) CTvnXMLNode(u"#DOCROOT", nullptr, 0);
    std::setlocale(LC_ALL, "");
}

void CTvnXMLReader::Clear()
{
    delete m_root;
    m_root = nullptr;
    m_encoding.reset();
    m_loaded = false;
}

void CTvnXMLReader::SetEncoding(const char16_t* name)
{
    if (name)
        m_encoding = std::u16string(name);
    else
        m_encoding.reset();
}

bool CTvnXMLReader::Parse(const char* bytes, size_t length)
{
    if (!m_root || !xmlw::LibraryIsWide() || length > size_t(INT32_MAX)) return false;
    std::vector<XML_Char> encoding;
    if (m_encoding) {
        for (char16_t c : *m_encoding) encoding.push_back(XML_Char(c));
        encoding.push_back(0);
    }
    XML_Parser parser = XML_ParserCreate(m_encoding ? encoding.data() : nullptr);
    if (!parser) return false;
    ParseState st;
    st.current = m_root;
    st.parser = parser;
    XML_SetUserData(parser, &st);
    XML_SetElementHandler(parser, OnStartElement, OnEndElement);
    XML_SetCharacterDataHandler(parser, OnCharacterData);
    XML_SetCdataSectionHandler(parser, OnStartCdata, OnEndCdata);
    XML_SetUnknownEncodingHandler(parser, SjisEncodingHandler, nullptr);
    bool ok = XML_Parse(parser, bytes, int(length), XML_TRUE) == XML_STATUS_OK && !st.failed;
    XML_ParserFree(parser);
    return ok;
}

int CTvnXMLReader::LoadBuffer(const char* bytes, size_t length)
{
    Reset();
    if (!bytes || !Parse(bytes, length)) return kParseFailed;
    m_loaded = true;
    return kLoaded;
}

int CTvnXMLReader::LoadFile(const char16_t* path)
{
    Reset();
    if (!m_root) return kNoRoot;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0x80, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kCannotOpen;
    std::vector<char> buffer;
    bool read = false;
    DWORD size = SetFilePointer(file, 0, nullptr, FILE_END);
    if (size != INVALID_SET_FILE_POINTER && SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0) {
        try {
            buffer.resize(size);
            DWORD got = 0;
            read = ReadFile(file, buffer.data(), size, &got, nullptr) && got == size;
        } catch (const std::bad_alloc&) {
            read = false;
        }
    }
    CloseHandle(file);
    if (!read) return kCannotRead;
    if (!Parse(buffer.data(), buffer.size())) return kParseFailed;
    m_loaded = true;
    return kLoaded;
}

CTvnXMLNode* CTvnXMLReader::FindChild(CTvnXMLNode* parent, const char16_t* name, const char16_t* attribute,
                                      const char16_t* value) const
{
    if (!m_loaded || !name) return nullptr;
    if (!parent) parent = m_root;
    if (!parent) return nullptr;
    for (CTvnXMLNode* c = parent->GetFirstChild(); c; c = c->GetNextSibling()) {
        const char16_t* n = c->GetName();
        if (!n || platform::u16_view(n) != platform::u16_view(name)) continue;
        if (attribute && value) {
            const char16_t* v = c->GetAttribute(attribute);
            if (!v || platform::wide_icmp(v, value) != 0) continue;
        }
        return c;
    }
    return nullptr;
}
