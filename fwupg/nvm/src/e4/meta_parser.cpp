// Reader of configuration meta texts: lines joined at trailing backslashes, then one statement per
// line. Each parse has its own context, so parses may run side by side.
#include "fwupg/nvm/e4/meta.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

// A joined line longer than this is refused.
constexpr size_t kMaxLine = 65535;

struct ParseError {
    const char* what;
};

nvm_meta_node* new_node(nvm_meta_type type, std::string text = {})
{
    auto* n = new nvm_meta_node;
    n->type = type;
    n->text = std::move(text);
    return n;
}

void append(nvm_meta_node* parent, nvm_meta_node* child, const std::string* key)
{
    auto* item = new nvm_meta_item;
    item->node = child;
    if (key) {
        item->has_key = true;
        item->key = *key;
    }
    if (parent->last)
        parent->last->next = item;
    else
        parent->first = item;
    parent->last = item;
    ++parent->count;
}

// Owns a node until it is handed to its parent.
struct NodeGuard {
    nvm_meta_node* node;
    ~NodeGuard() { nvm_meta_free(node); }
    nvm_meta_node* release() { return std::exchange(node, nullptr); }
};

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_token_char(char c) { return c != ' ' && std::isprint(static_cast<unsigned char>(c)) != 0; }

// A token such as "0x1F" or "-0X10" that strtol reads whole becomes its decimal value, saturated to
// 32 bits the way a 32-bit strtol saturates.
std::string hex_token_to_decimal(const std::string& token)
{
    size_t digits = (token[0] == '-' || token[0] == '+') ? 1 : 0;
    if (token.size() < digits + 2 || token[digits] != '0' || (token[digits + 1] != 'x' && token[digits + 1] != 'X'))
        return token;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(token.c_str(), &end, 0);
    if (end != token.c_str() + token.size())
        return token;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return std::to_string(static_cast<int32_t>(v));
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    nvm_meta_node* run(std::string* error)
    {
        NodeGuard root{new_node(NVM_META_ARRAY)};
        try {
            while (next_line())
                statement(root.node);
        } catch (const ParseError& e) {
            if (error) *error = error_text(e.what);
            return nullptr;
        }
        return root.release();
    }

private:
    std::string_view text_;
    size_t in_ = 0;      // reading position in the text
    std::string line_;   // the joined line
    size_t pos_ = 0;     // reading position in the line
    int line_no_ = 0;
    int newlines_ = 0;   // '\n' characters read so far

    static bool is_eol(char c) { return c == '\n' || c == '\r'; }

    // Fills line_ with the next non-empty joined line; false at the end of the text. line_no_ is
    // the physical line the joined line ends on.
    bool next_line()
    {
        line_.clear();
        pos_ = 0;
        while (in_ < text_.size()) {
            const char c = text_[in_++];
            if (!is_eol(c)) {
                if (line_.size() >= kMaxLine) {
                    line_no_ = newlines_ + 1;
                    throw ParseError{"line too long"};
                }
                line_ += c;
                continue;
            }
            const int ended_on = newlines_ + 1;
            if (c == '\n') ++newlines_;
            while (in_ < text_.size() && is_eol(text_[in_]))
                if (text_[in_++] == '\n') ++newlines_;
            if (!line_.empty() && line_.back() == '\\') {
                line_.back() = ' ';  // the joined lines read as one
                continue;
            }
            if (!line_.empty()) {
                line_no_ = ended_on;
                return true;
            }
        }
        line_no_ = newlines_ + 1;
        return !line_.empty();
    }

    std::string error_text(const char* what) const
    {
        const std::string rest = pos_ < line_.size() ? line_.substr(pos_, 8) : std::string();
        char buf[128];
        std::snprintf(buf, sizeof buf, "pos <%d,%d> ... '%*.*s' - %s error", line_no_, int(pos_), 8, 8, rest.c_str(),
                      what);
        return buf;
    }

    char peek() const { return pos_ < line_.size() ? line_[pos_] : '\0'; }
    bool at_end() const { return pos_ >= line_.size(); }
    void skip_space()
    {
        while (!at_end() && is_space(line_[pos_]))
            ++pos_;
    }
    bool starts_with(std::string_view word) const { return std::string_view(line_).substr(pos_).starts_with(word); }
    void expect(std::string_view word)
    {
        skip_space();
        if (!starts_with(word)) throw ParseError{"syntax"};
        pos_ += word.size();
    }

    std::string key_token()
    {
        skip_space();
        const size_t start = pos_;
        while (!at_end() && is_token_char(line_[pos_]))
            ++pos_;
        if (pos_ == start) throw ParseError{"key expected"};
        return hex_token_to_decimal(line_.substr(start, pos_ - start));
    }

    std::string value()
    {
        skip_space();
        if (peek() == '"') {
            const size_t close = line_.find('"', pos_ + 1);
            if (close == std::string::npos) throw ParseError{"string not ended"};
            std::string v = line_.substr(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
            return v;
        }
        if (peek() == '{') return braced();
        return key_token();
    }

    // The text between a '{' and its matching '}'; quoted parts inside don't count braces.
    std::string braced()
    {
        const size_t start = pos_ + 1;
        int depth = 1;
        size_t i = start;
        for (; i < line_.size(); ++i) {
            const char c = line_[i];
            if (c == '"') {
                const size_t close = line_.find('"', i + 1);
                if (close == std::string::npos) {
                    pos_ = i;
                    throw ParseError{"string not ended inside braces"};
                }
                i = close;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}' && --depth == 0) {
                break;
            }
        }
        if (depth) {
            pos_ = line_.size();
            throw ParseError{"braces sequence not ended"};
        }
        pos_ = i + 1;
        return line_.substr(start, i - start);
    }

    bool at_close()
    {
        skip_space();
        return peek() == '}';
    }

    void statement(nvm_meta_node* root)
    {
        skip_space();
        // Only the first letters are compared: "setting" takes the set path.
        if (starts_with("set"))
            set_statement(root);
        else if (starts_with("array"))
            array_statement(root);
    }

    void set_statement(nvm_meta_node* root)
    {
        expect("set");
        const std::string name = key_token();
        expect("{");
        NodeGuard list{new_node(NVM_META_LIST)};
        while (!at_close())
            append(list.node, new_node(NVM_META_TEXT, value()), nullptr);
        append(root, list.release(), &name);
    }

    void array_statement(nvm_meta_node* root)
    {
        expect("array");
        expect("set");
        const std::string name = key_token();
        expect("{");
        NodeGuard array{new_node(NVM_META_ARRAY)};
        std::unordered_map<std::string, nvm_meta_node*> subs;  // first sub-array of each name
        while (!at_close()) {
            const std::string key = key_token();
            const std::string text = value();
            const size_t comma = key.find(',');
            if (comma == std::string::npos) {
                append(array.node, new_node(NVM_META_TEXT, text), &key);
                continue;
            }
            const std::string sub_name = key.substr(0, comma), attr = key.substr(comma + 1);
            nvm_meta_node*& sub = subs[sub_name];
            if (!sub) {
                sub = new_node(NVM_META_ARRAY);
                append(array.node, sub, &sub_name);
            }
            append(sub, new_node(NVM_META_TEXT, text), &attr);
        }
        append(root, array.release(), &name);
    }
};

nvm_meta_item* find(const nvm_meta_node* node, const char* key)
{
    if (!node || node->type != NVM_META_ARRAY || !key) return nullptr;
    for (nvm_meta_item* i = node->first; i; i = i->next)
        if (i->key == key) return i;
    return nullptr;
}

}  // namespace

nvm_meta_node::~nvm_meta_node()
{
    // Iterative over the chain, so a long list doesn't recurse deeply.
    for (nvm_meta_item* i = first; i;) {
        nvm_meta_item* next = i->next;
        delete i->node;
        delete i;
        i = next;
    }
}

nvm_meta_node* nvm_meta_parse(const char* text, size_t length, std::string* error)
{
    if (error) error->clear();
    if (!text) return nullptr;
    const void* nul = std::memchr(text, '\0', length);
    if (nul) length = static_cast<size_t>(static_cast<const char*>(nul) - text);
    try {
        return Parser(std::string_view(text, length)).run(error);
    } catch (const std::bad_alloc&) {
        if (error) *error = "out of memory";
        return nullptr;
    }
}

void nvm_meta_free(nvm_meta_node* node) { delete node; }

nvm_meta_item* nvm_meta_first(const nvm_meta_node* node)
{
    return node && node->type != NVM_META_TEXT ? node->first : nullptr;
}
nvm_meta_item* nvm_meta_next(const nvm_meta_item* item) { return item ? item->next : nullptr; }
const char* nvm_meta_item_key(const nvm_meta_item* item)
{
    return item && item->has_key ? item->key.c_str() : nullptr;
}
nvm_meta_node* nvm_meta_item_node(const nvm_meta_item* item) { return item ? item->node : nullptr; }

nvm_meta_node* nvm_meta_get(const nvm_meta_node* node, const char* key)
{
    nvm_meta_item* i = find(node, key);
    return i ? i->node : nullptr;
}
const char* nvm_meta_has(const nvm_meta_node* node, const char* key)
{
    nvm_meta_item* i = find(node, key);
    return i ? i->key.c_str() : nullptr;
}
nvm_meta_node* nvm_meta_get_index(const nvm_meta_node* node, int key)
{
    return nvm_meta_get(node, std::to_string(key).c_str());
}
const char* nvm_meta_has_index(const nvm_meta_node* node, int key)
{
    return nvm_meta_has(node, std::to_string(key).c_str());
}

const char* nvm_meta_text(const nvm_meta_node* node)
{
    return node && node->type == NVM_META_TEXT ? node->text.c_str() : nullptr;
}
long nvm_meta_int(const nvm_meta_node* node)
{
    const char* t = nvm_meta_text(node);
    return t ? std::strtol(t, nullptr, 0) : 0;
}
int nvm_meta_count(const nvm_meta_node* node)
{
    if (!node || node->type == NVM_META_TEXT) return -1;
    return node->count;
}
nvm_meta_node* nvm_meta_at(const nvm_meta_node* node, int index)
{
    if (!node || node->type != NVM_META_LIST || index < 0) return nullptr;
    for (nvm_meta_item* i = node->first; i; i = i->next, --index)
        if (index == 0) return i->node;
    return nullptr;
}
