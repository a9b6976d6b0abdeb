#include "e4_firmware.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "kv_text.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e4_nvram.h"
#include "testkit/e4_reader.h"
#include "yxmapi/yxmapi.h"

namespace sim {
namespace {

namespace k4 = testkit::e4;
using testkit::Bytes;

constexpr uint32_t kHeaderMagic = 0x669955AA;
constexpr uint32_t kBundleMagic = 0xBDBDBDBD;
constexpr uint32_t kHeaderSize = 32, kBundleHeaderSize = 16;

// Chips whose images carry chip group 0x200000 instead of 0x400000.
bool group_b(uint32_t did) { return did == 0x8070 || did == 0x8090; }

struct Header {
    uint32_t type;
    uint32_t length;
};

// An image header the firmware accepts, or nothing.
std::optional<Header> parse_header(const uint8_t* p, std::size_t n, uint32_t did)
{
    if (n < kHeaderSize || testkit::get_le32(p) != kHeaderMagic) return std::nullopt;
    uint32_t version = testkit::get_le32(p + 4), word2 = testkit::get_le32(p + 8);
    uint32_t group = testkit::get_le32(p + 12), length = testkit::get_le32(p + 24);
    uint32_t type = version == 3 ? word2 : version == 1 || version == 2 ? word2 >> 21 : 0;
    if (k4::type_name(type).empty() || type == k4::type::DIR1 || type == k4::type::DIR2) return std::nullopt;
    if (group != (group_b(did) ? 0x200000u : 0x400000u)) return std::nullopt;
    if (length == 0 || length % 4) return std::nullopt;
    return Header{type, length};
}

// The running state belongs to the board: its functions run one firmware.
std::string state_path(const SimState& s, const SimAdapter& a) { return running_state_path(s.root(), a.desc.board_name()); }

std::optional<Bytes> read_nvram(const SimAdapter& a)
{
    if (a.nvram_fd() < 0) return std::nullopt;
    Bytes nv(a.desc.nvram_size());
    if (!pread_all(a.nvram_fd(), nv.data(), nv.size(), 0)) return std::nullopt;
    return nv;
}

// "a.b.c.d" of the TIM image of a bank, or "".
std::string tim_version(const Bytes& nv, unsigned bank)
{
    auto im = k4::find_image(nv, k4::type_in_bank(k4::type::TIM1, bank));
    if (!im || im->version.rfind("TIM ", 0) != 0) return "";
    return im->version.substr(4);
}

struct Running {
    uint32_t bank;
    std::string version;
};

std::optional<Running> stored_running(const SimState& s, const SimAdapter& a)
{
    auto text = read_file(state_path(s, a));
    if (!text) return std::nullopt;
    Running r{a.desc.active_bundle, a.desc.mfw_version};
    for (const KvLine& l : parse_kv(*text)) {
        if (l.key == "active_bundle") r.bank = parse_u32(l.value).value_or(r.bank);
        else if (l.key == "running") r.version = l.value;
    }
    return r;
}

// What runs: the stored state, or before the firmware ever changed, the description's bank and
// the TIM of that bank in NVRAM.
Running running(const SimState& s, const SimAdapter& a, const Bytes& nv)
{
    if (auto r = stored_running(s, a)) return *r;
    Running r{a.desc.active_bundle, tim_version(nv, a.desc.active_bundle & 1)};
    if (r.version.empty()) r.version = a.desc.mfw_version;
    return r;
}

void store_running(const SimState& s, const SimAdapter& a, const Running& r)
{
    write_file_atomic(state_path(s, a), "active_bundle=" + std::to_string(r.bank) + "\nrunning=" + r.version + "\n");
}

struct Item {
    uint32_t type;
    const uint8_t* data;
    uint32_t length;
};

// The lowest 4-aligned offset at 0x4000 or above where `len` bytes overlap nothing busy.
std::optional<uint32_t> free_space(std::vector<std::pair<uint32_t, uint32_t>> busy, uint32_t len, std::size_t size)
{
    std::sort(busy.begin(), busy.end());
    uint64_t at = k4::kFirstImage;
    for (auto [start, end] : busy) {
        if (end <= at) continue;
        if (at + len <= start) break;
        at = (uint64_t(end) + 3) & ~uint64_t(3);
    }
    if (at + len > size) return std::nullopt;
    return uint32_t(at);
}

// Places the items and writes the other directory copy. `bank`: the bank a bundle wrote, which
// boots next; nothing for a single image, which keeps the bank that boots next (seq + 2).
uint32_t install(SimState& s, SimAdapter& a, const std::vector<Item>& items, std::optional<unsigned> bank,
                 const std::optional<FaultRule>& cut)
{
    auto nv = read_nvram(a);
    if (!nv || nv->size() < k4::kFirstImage) return YXSIM_E_IO;
    auto dir = k4::directory(*nv);
    // The running state is what it was before the firmware first changed under it.
    if (!stored_running(s, a)) store_running(s, a, running(s, a, *nv));

    std::vector<k4::Entry> entries;
    uint32_t seq = 0;
    unsigned target = 0;
    if (dir) {
        entries = dir->entries;
        seq = dir->seq;
        target = 1 - dir->copy;
    } else {
        entries = {{k4::type::DIR1, k4::dir_copy_offset(0), 0, 0, 0}, {k4::type::DIR2, k4::dir_copy_offset(1), 0, 0, 0}};
    }
    std::vector<std::pair<uint32_t, uint32_t>> busy;
    for (const k4::Entry& e : entries)
        if (e.type != k4::type::DIR1 && e.type != k4::type::DIR2) busy.emplace_back(e.offset, e.offset + e.length);

    struct Write {
        uint32_t offset;
        Bytes bytes;
    };
    std::vector<Write> writes;
    for (const Item& it : items) {
        Bytes img(it.data, it.data + it.length);
        img.resize(img.size() + 4);
        testkit::put_le32(&img[it.length], k4::crc(it.data, it.length));
        auto at = free_space(busy, uint32_t(img.size()), nv->size());
        if (!at) return YXSIM_E_OUT_OF_RANGE;  // no room: nothing written
        busy.emplace_back(*at, *at + uint32_t(img.size()));
        k4::Entry e{it.type, *at, uint32_t(img.size()), 0, 0};
        auto old = std::find_if(entries.begin(), entries.end(), [&](const k4::Entry& x) { return x.type == it.type; });
        if (old != entries.end()) {
            e.sram = old->sram, e.sram_run = old->sram_run;
            *old = e;
        } else {
            entries.push_back(e);
        }
        writes.push_back({*at, std::move(img)});
    }
    if (entries.size() > k4::kDirMaxCount) return YXSIM_E_OUT_OF_RANGE;
    for (k4::Entry& e : entries)
        if (e.type == k4::type::DIR1 || e.type == k4::type::DIR2) e.length = k4::dir_bytes(uint32_t(entries.size()));
    uint32_t next = seq + (bank ? 1 : 2);
    if (bank && (next & 1) != *bank) ++next;
    if (next >= k4::kSeqEmpty) next = bank ? 2 + *bank : 2 + (seq & 1);  // the sequence starts over
    Bytes copy = k4::dir_copy(next, entries);
    copy.resize(k4::kDirCopySize, 0xFF);
    writes.push_back({k4::dir_copy_offset(target), std::move(copy)});

    std::size_t budget = cut && cut->cut_after ? *cut->cut_after : SIZE_MAX;
    for (const Write& w : writes) {
        std::size_t n = std::min(budget, w.bytes.size());
        if (n && !pwrite_all(a.nvram_fd(), w.bytes.data(), n, w.offset)) return YXSIM_E_IO;
        s.counters().nvramBytesWritten += n;
        budget -= n;
        if (n < w.bytes.size()) break;
    }
    if (cut) {
        if (cut->exit_after_cut) ::_exit(75);
        return cut->status;
    }
    return YXSIM_OK;
}

void end_mode(SimAdapter& a)
{
    a.write_mode = 0;
    a.e4_header.clear();
}

uint32_t image_write(SimState& s, SimAdapter& a, const uint8_t* data, std::size_t bytes,
                     const std::optional<FaultRule>& cut)
{
    if (a.e4_header.empty()) {
        auto h = parse_header(data, bytes, a.desc.did);
        if (!h) {
            end_mode(a);
            return YXSIM_E_BAD_ARGUMENT;
        }
        if (bytes == kHeaderSize) {  // the data follow in the next offset-0 write
            if (cut) {  // power lost during the header: the firmware forgets it
                end_mode(a);
                if (cut->exit_after_cut) ::_exit(75);
                return cut->status;
            }
            a.e4_header.assign(data, data + kHeaderSize);
            return YXSIM_OK;
        }
        end_mode(a);
        if (bytes - kHeaderSize < h->length) return YXSIM_E_BAD_ARGUMENT;
        return install(s, a, {{h->type, data + kHeaderSize, h->length}}, std::nullopt, cut);
    }
    auto h = parse_header(a.e4_header.data(), a.e4_header.size(), a.desc.did);
    end_mode(a);
    if (!h || bytes < h->length) return YXSIM_E_BAD_ARGUMENT;  // the length must lie inside the transfer
    return install(s, a, {{h->type, data, h->length}}, std::nullopt, cut);
}

uint32_t bundle_write(SimState& s, SimAdapter& a, const uint8_t* data, std::size_t bytes,
                      const std::optional<FaultRule>& cut)
{
    end_mode(a);
    if (bytes < kBundleHeaderSize || testkit::get_le32(data) != kBundleMagic) return YXSIM_E_BAD_ARGUMENT;
    std::vector<Item> items;
    std::optional<unsigned> bank;
    std::size_t at = kBundleHeaderSize;
    while (bytes - at >= 4) {  // a transfer may end in up to 3 bytes of padding
        auto h = parse_header(data + at, bytes - at, a.desc.did);
        if (!h || bytes - at - kHeaderSize < h->length) return YXSIM_E_BAD_ARGUMENT;
        items.push_back({h->type, data + at + kHeaderSize, h->length});
        if (!bank) bank = k4::bank_of(h->type);
        at += kHeaderSize + h->length;
    }
    if (items.empty()) return YXSIM_E_BAD_ARGUMENT;
    return install(s, a, items, bank, cut);
}

}  // namespace

bool e4_channel_takes(const SimAdapter& a, uint32_t offset)
{
    return a.desc.family == yxmapi::kFamilyE4 && offset == 0 && a.write_mode != 0;
}

uint32_t e4_channel_write(SimState& s, SimAdapter& a, const uint8_t* data, std::size_t bytes,
                          const std::optional<FaultRule>& cut)
{
    if (a.write_mode == yxmapi::kWriteModeImage) return image_write(s, a, data, bytes, cut);
    return bundle_write(s, a, data, bytes, cut);
}

void e4_reset(SimState& s, SimAdapter& a)
{
    if (a.desc.family != yxmapi::kFamilyE4) return;
    end_mode(a);
    auto nv = read_nvram(a);
    if (!nv) return;
    auto dir = k4::directory(*nv);
    if (!dir) return;  // nothing to start: the firmware that ran stays as reported
    Running r{dir->next_bank(), tim_version(*nv, dir->next_bank())};
    if (r.version.empty()) r.version = running(s, a, *nv).version;
    store_running(s, a, r);
}

std::optional<DerivedFirmware> e4_firmware(SimState& s, const SimAdapter& a)
{
    auto nv = read_nvram(a);
    if (!nv || !k4::directory(*nv)) return std::nullopt;
    DerivedFirmware d;
    std::string mba, mbi;
    auto im = k4::find_image(*nv, k4::type::MBA);
    if (im && im->entry.length > 4 && uint64_t(im->entry.offset) + im->entry.length <= nv->size()) {
        Bytes rom(nv->begin() + im->entry.offset, nv->begin() + im->entry.offset + im->entry.length - 4);
        auto slots = testkit::e1e3::mba_slots(rom);
        if (!slots.empty()) {
            uint16_t r = slots.front().second;
            mba = "MBA " + std::to_string((r >> 12) & 0xF) + "." + std::to_string((r >> 8) & 0xF) + "." +
                  std::to_string(r & 0xFF);
        }
    }
    if (auto cfg = k4::find_image(*nv, k4::type::NVM_CFG1)) mbi = cfg->version;
    d.texts[yxmapi::fw6::kMba.off] = mba;
    d.texts[yxmapi::fw6::kMbi.off] = mbi;
    Running r = running(s, a, *nv);
    if (!r.version.empty()) d.mfw_version = r.version;
    d.active_bundle = r.bank;
    return d;
}

}  // namespace sim
