// The option-by-option merge of an adapter's configuration with a new default configuration. The
// options are the sub-arrays of the "nvm_cfg" array of the new meta text; each names its entity
// (global, path, port or function block), its bit offset in that block, its size and element size.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/cfg_editor.h"
#include "fwupg/nvm/e4/cfg_upgrade.h"
#include "fwupg/nvm/e4/meta.h"
#include "fwupg/nvm/e4/nvm_cfg.h"

namespace fwupg::nvm::e4 {
namespace {

struct TreeDeleter {
    void operator()(nvm_meta_node* n) const { nvm_meta_free(n); }
};
using Tree = std::unique_ptr<nvm_meta_node, TreeDeleter>;

// At most this many characters of an option name are compared.
constexpr size_t kNameRoom = 64;

const char* attr(const nvm_meta_node* option, const char* key)
{
    const char* t = nvm_meta_text(nvm_meta_get(option, key));
    return t ? t : "";
}

uint32_t decimal(const char* text) { return uint32_t(std::strtoul(text, nullptr, 10)); }

std::string lower(std::string text)
{
    if (text.size() > kNameRoom) text.resize(kNameRoom);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

struct OptionDesc {
    std::string entity;
    uint32_t offset = 0, size = 0, element_size = 0, elements = 0;
    bool hw = false, keep = false, present = false;
};

// The option's description, or false when it is not merged on this chip.
bool describe(const nvm_meta_node* option, const char* id, const nvm_meta_node* old_options, OptionDesc& d)
{
    const std::string ex = attr(option, "exChipNumAttrs");
    if ((ex == "57940" && common_nvm_is_e4_group_b()) || (ex == "57980" && common_nvm_is_e4_group_a())) return false;
    d.entity = attr(option, "entity_name");
    if (e4_meta_entity_bit_offset(d.entity, 0, 0, 0, 0) < 0) {
        fwupg_dbg_printf("Bad entity type %s, must be glob/path/port/func.\n", d.entity.c_str());
        return false;
    }
    const std::string size = lower(attr(option, "size"));
    d.size = size == "mac" ? 64 : decimal(size.c_str());
    d.offset = decimal(attr(option, "offset"));
    const nvm_meta_node* element = nvm_meta_get(option, "elementSize");
    d.element_size = element ? decimal(nvm_meta_text(element) ? nvm_meta_text(element) : "") : std::min(d.size, 32u);
    // An explicit element size of 0 has no elements to divide the size into.
    if (d.element_size == 0) return false;
    d.elements = d.size / d.element_size;
    d.hw = std::strcmp(attr(option, "configType"), "hw") == 0;
    d.keep = e4_meta_keep_name(lower(attr(option, "name")));
    d.present = nvm_meta_has(old_options, id) != nullptr;
    return true;
}

struct Images {
    const MergeInputs& in;
    std::vector<uint8_t>& out_cfg;
    std::vector<uint8_t>& out_default;
};

uint32_t field(const ByteSpan& image, uint32_t bit, uint32_t width)
{
    return cfg_field_get(image.data, image.length, bit, width);
}

// One instance of an option, element by element.
void merge_option(const Images& im, uint32_t start, const OptionDesc& d)
{
    const uint32_t w = d.element_size;
    for (uint32_t k = 0; k < d.elements; ++k) {
        const uint32_t bit = start + k * w;
        const uint32_t fresh = field(im.in.new_default, bit, w);
        uint32_t current = 0, old_default = 0;
        if (d.present) {
            current = field(im.in.old_cfg, bit, w);
            old_default = field(im.in.old_default, bit, w);
        }
        if (d.present && !d.hw && (d.keep || current != old_default)) {
            cfg_field_set(im.out_cfg.data(), uint32_t(im.out_cfg.size()), bit, w, current);
            if (d.keep) cfg_field_set(im.out_default.data(), uint32_t(im.out_default.size()), bit, w, current);
        } else {
            cfg_field_set(im.out_cfg.data(), uint32_t(im.out_cfg.size()), bit, w, fresh);
        }
    }
}

uint32_t instances(const std::string& entity)
{
    if (entity == "path") return common_nvm_is_e4_group_b() ? 1 : 2;
    if (entity == "port") {
        uint32_t ports = 2;  // left as is when NVM_CFG1 is missing
        e4_nvm_cfg_port_count(&ports);
        return ports;
    }
    if (entity == "func") return kFuncBlocks;
    return 1;
}

std::vector<uint8_t> padded_copy(const ByteSpan& image, uint32_t at_least)
{
    std::vector<uint8_t> out(std::max({image.length, at_least, kCfgImageBytes}), 0);
    if (image.data && image.length) std::memcpy(out.data(), image.data, image.length);
    return out;
}

}  // namespace

bool e4_meta_keep_name(std::string_view name)
{
    return name.find("mac") != std::string_view::npos || name.find("mbi") != std::string_view::npos ||
           name == "serial number" || name == "manufacturing id";
}

int64_t e4_meta_entity_bit_offset(std::string_view entity, uint32_t offset, uint32_t path, uint32_t port,
                                  uint32_t function)
{
    if (entity == "glob") return offset;
    if (entity == "path") return (552 + 4 * int64_t(path)) * 8 + offset;
    if (entity == "port") return (560 + 600 * int64_t(port)) * 8 + offset;
    if (entity == "func") return (2960 + 80 * int64_t(function)) * 8 + offset;
    return -1;
}

int e4_cfg_merge_meta(const MergeInputs& in, std::vector<uint8_t>& out_cfg, std::vector<uint8_t>& out_default)
{
    out_cfg = padded_copy(in.old_cfg, in.new_default.length);
    out_default = padded_copy(in.new_default, 0);
    const auto text = [](const ByteSpan& b) { return reinterpret_cast<const char*>(b.data); };
    Tree fresh(nvm_meta_parse(text(in.new_meta), in.new_meta.length));
    const nvm_meta_node* new_options = nvm_meta_get(fresh.get(), "nvm_cfg");
    if (!new_options) {
        fwupg_dbg_printf("ERROR: Failed to parse new nvm_meta buffer.\n");
        return -1;
    }
    Tree onboard(nvm_meta_parse(text(in.old_meta), in.old_meta.length));
    const nvm_meta_node* old_options = nvm_meta_get(onboard.get(), "nvm_cfg");
    if (!old_options) {
        fwupg_dbg_printf("ERROR: Failed to parse the onboard meta options array.\n");
        return -1;
    }
    const Images im{in, out_cfg, out_default};
    for (nvm_meta_item* i = nvm_meta_first(new_options); i; i = nvm_meta_next(i)) {
        const nvm_meta_node* option = nvm_meta_item_node(i);
        const char* id = nvm_meta_item_key(i);
        OptionDesc d;
        if (!id || nvm_meta_count(option) < 0 || !describe(option, id, old_options, d)) continue;
        const uint32_t n = instances(d.entity);
        for (uint32_t k = 0; k < n; ++k) {
            const int64_t bit = e4_meta_entity_bit_offset(d.entity, d.offset, k, k, k);
            if (bit >= 0 && bit < int64_t(UINT32_MAX) - int64_t(d.size)) merge_option(im, uint32_t(bit), d);
        }
    }
    return 0;
}

}  // namespace fwupg::nvm::e4
