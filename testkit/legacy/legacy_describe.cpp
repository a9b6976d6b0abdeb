#include "testkit/legacy_describe.h"

#include <stdexcept>

#include "testkit/bytes.h"
#include "testkit/describe.h"
#include "testkit/legacy_stock.h"

namespace testkit::legacy {
namespace {

using namespace testkit::desc;

// A PCI device id of each board, for descriptions that name only the board.
uint16_t device_of_board(int board)
{
    switch (board) {
    case 5706: return 0x164A;
    case 5708: return 0x164C;
    case 5709: return 0x1639;
    case 5716: return 0x163B;
    case 57728: return 0x1660;
    }
    throw std::invalid_argument("board must be 5706, 5708, 5709, 5716 or 57728");
}

void parse_mac(const std::string& text, uint8_t out[6])
{
    if (text.size() != 12)
        throw std::invalid_argument("a MAC has 12 hexadecimal digits: " + text);
    const uint64_t v = parse_number("0x" + text);
    for (int i = 0; i < 6; ++i)
        out[i] = uint8_t(v >> (8 * (5 - i)));
}

void parse_macs(const std::string& value, uint8_t out[2][6])
{
    const std::vector<std::string> w = split_words(value);
    if (w.empty() || w.size() > 2)
        throw std::invalid_argument("one or two MACs");
    for (size_t i = 0; i < w.size(); ++i)
        parse_mac(w[i], out[i]);
}

bool flag(const std::string& v)
{
    if (v != "0" && v != "1")
        throw std::invalid_argument("expected 0 or 1");
    return v == "1";
}

}  // namespace

description parse_description(std::string_view text, const std::string& base_dir)
{
    description d;
    adapter& a = d.a;
    bool ids_given = false;
    each_line(text, [&](const Line& l) {
        const std::string& k = l.key;
        if (k == "board") {
            a.board = int(num32(l.value));
            const uint16_t did = device_of_board(a.board);
            if (!ids_given)
                a.did = a.ssid = did;
        } else if (k == "size") {
            a.nvm_size = num32(l.value);
            if (a.nvm_size % 4096 || a.nvm_size < 0x1000 || a.nvm_size > 0x1000000)
                throw std::invalid_argument("size must be a multiple of 4096 up to 16 MiB");
        } else if (k == "buffered") {
            a.buffered = flag(l.value);
        } else if (k == "untranslated") {
            a.untranslated_bootstrap = flag(l.value);
        } else if (k == "ids") {
            const std::vector<std::string> w = split_words(l.value);
            if (w.size() != 4)
                throw std::invalid_argument("ids=VID DID SVID SSID");
            a.vid = num16(w[0]);
            a.did = num16(w[1]);
            a.svid = num16(w[2]);
            a.ssid = num16(w[3]);
            ids_given = true;
        } else if (k == "mac") {
            parse_macs(l.value, a.mac);
        } else if (k == "iscsi_mac") {
            parse_macs(l.value, a.iscsi_mac);
        } else if (k == "backup_mac") {
            a.backup_mac_unset = l.value == "unset";
            if (!a.backup_mac_unset)
                parse_macs(l.value, a.backup_mac);
        } else if (k == "smbus") {
            const std::vector<std::string> w = split_words(l.value);
            if (w.empty() || w.size() > 2)
                throw std::invalid_argument("smbus=A [B]");
            for (size_t i = 0; i < w.size(); ++i)
                a.smbus[i] = num8(w[i]);
        } else if (k == "spare") {
            a.spare = l.value;
        } else if (k == "feature_bits") {
            a.feature_bits = num32(l.value);
        } else if (k == "forced_l1") {
            a.forced_l1 = flag(l.value);
        } else if (k.rfind("vpd.", 0) == 0) {
            const std::string f = k.substr(4);
            std::string* field = f == "name" ? &a.product : f == "pn" ? &a.pn : f == "ec" ? &a.ec
                               : f == "sn" ? &a.sn : f == "mn" ? &a.mn : nullptr;
            if (!field)
                throw std::invalid_argument("unknown VPD field " + f);
            *field = l.value;
        } else if (k == "image") {
            const Args args = args_of(l.value);
            if (args.words.empty())
                throw std::invalid_argument("image=KIND VERSION | image=KIND file=PATH");
            const std::string& kind_name = args.words[0];
            bytes data;
            if (const std::string* f = args.opt("file")) {
                data = dword_reversed(read_file(path_in(base_dir, *f)));
            } else {
                stock_options o;
                o.device = a.did;
                if (const std::string* s = args.opt("size"))
                    o.size = num32(*s);
                if (const std::string* s = args.opt("did"))
                    o.device = num16(*s);
                if (const std::string* s = args.opt("ip"))
                    o.ip = *s;
                data = stock_image(kind_name, args.words.size() > 1 ? args.words[1] : "", o);
            }
            const std::string* at = args.opt("at");
            a.images.push_back(placed(kind_name, std::move(data), at ? num32(*at) : 0));
        } else if (k == "corrupt") {
            d.corrupt.push_back(num32(l.value));
        } else {
            throw std::invalid_argument("unknown key " + k);
        }
    });
    return d;
}

bytes build_described(const description& d)
{
    bytes n = build_nvram(d.a);
    for (uint32_t at : d.corrupt) {
        if (at >= n.size())
            throw std::invalid_argument("corrupt offset outside the NVRAM");
        n[at] ^= 1;
    }
    return n;
}

}  // namespace testkit::legacy
