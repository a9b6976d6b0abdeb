// The meta-text reader on arbitrary bytes (no NUL terminator: the reader stays within the length),
// and every lookup walked over the tree it builds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fwupg/nvm/e4/meta.h"

namespace {

void walk(const nvm_meta_node* n, int depth)
{
    (void)nvm_meta_int(n);
    (void)nvm_meta_count(n);
    (void)nvm_meta_at(n, 0);
    for (nvm_meta_item* i = nvm_meta_first(n); i; i = nvm_meta_next(i)) {
        if (const char* key = nvm_meta_item_key(i)) (void)nvm_meta_has(n, key);
        if (depth < 4) walk(nvm_meta_item_node(i), depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    nvm_meta_node* root = nvm_meta_parse(reinterpret_cast<const char*>(data), size, &error);
    if (root) {
        walk(root, 0);
        (void)nvm_meta_get(nvm_meta_get(root, "nvm_cfg"), "1");
    }
    nvm_meta_free(root);
    return 0;
}
