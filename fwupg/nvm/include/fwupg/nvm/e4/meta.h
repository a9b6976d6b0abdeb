// The configuration meta text of an E4 adapter (its META image and the NVM_META file of a new
// configuration): "set NAME {v ...}" and "array set NAME {k v ...}" statements read into a tree of
// text, list and array nodes. Nothing is evaluated.
//
// The root is an array of the statements in file order, keyed by their names. A set statement is a
// list of text nodes; an array statement an array of text nodes, where a key "id,attr" puts the
// text under key "attr" of the sub-array "id" (made on first use, in order of first use). Items keep
// file order at every level and keys may repeat; lookups find the first.
#pragma once

#include <cstddef>
#include <string>

enum nvm_meta_type { NVM_META_TEXT = 0, NVM_META_LIST = 1, NVM_META_ARRAY = 2 };

struct nvm_meta_item;

struct nvm_meta_node {
    nvm_meta_type type = NVM_META_TEXT;
    std::string text;                  // text nodes
    nvm_meta_item* first = nullptr;    // lists and arrays
    nvm_meta_item* last = nullptr;
    int count = 0;
    ~nvm_meta_node();
};

struct nvm_meta_item {
    nvm_meta_item* next = nullptr;
    bool has_key = false;
    std::string key;
    nvm_meta_node* node = nullptr;
};

// Parses at most `length` characters of `text` (the text also ends at a NUL, so a NUL-padded image
// can be passed whole). The root array, or null on any error; `error` (optional) then holds
// "pos <line,column> ... 'next 8 characters' - what error".
nvm_meta_node* nvm_meta_parse(const char* text, size_t length, std::string* error = nullptr);
void nvm_meta_free(nvm_meta_node* node);

nvm_meta_item* nvm_meta_first(const nvm_meta_node* node);
nvm_meta_item* nvm_meta_next(const nvm_meta_item* item);
const char* nvm_meta_item_key(const nvm_meta_item* item);
nvm_meta_node* nvm_meta_item_node(const nvm_meta_item* item);
// The node of the first item whose key equals `key` (case-sensitive); null for a non-array.
nvm_meta_node* nvm_meta_get(const nvm_meta_node* node, const char* key);
// The stored key of that item, as a yes/no answer.
const char* nvm_meta_has(const nvm_meta_node* node, const char* key);
nvm_meta_node* nvm_meta_get_index(const nvm_meta_node* node, int key);
const char* nvm_meta_has_index(const nvm_meta_node* node, int key);
// The text of a text node, else null.
const char* nvm_meta_text(const nvm_meta_node* node);
// The text converted by strtol with base 0; 0 for other nodes.
long nvm_meta_int(const nvm_meta_node* node);
// Items of a list or an array; -1 for a text node.
int nvm_meta_count(const nvm_meta_node* node);
// Item `index` of a list; null for other nodes and indices out of range.
nvm_meta_node* nvm_meta_at(const nvm_meta_node* node, int index);
