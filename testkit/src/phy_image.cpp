#include "testkit/phy_image.h"

#include "testkit/images.h"

#include <stdexcept>

namespace testkit {
namespace {

constexpr uint32_t kMagic = 0x669955AA;
constexpr size_t kHeader = 20;

// A text that ends in digits and dots with at least one dot between digits: "2.1.4", "PHY 2.1".
bool ends_in_version(std::string_view t)
{
    size_t start = t.size();
    while (start > 0 && ((t[start - 1] >= '0' && t[start - 1] <= '9') || t[start - 1] == '.'))
        --start;
    std::string_view v = t.substr(start);
    if (v.empty() || v.front() == '.' || v.back() == '.' || v.find('.') == std::string_view::npos)
        return false;
    return v.find("..") == std::string_view::npos;
}

}  // namespace

Bytes phy_image(std::string_view tag, std::string_view version, size_t size)
{
    if (size < kPhyVersionAt + kPhyVersionField || size % 4)
        throw std::invalid_argument("PHY image size must be a multiple of 4, at least 32");
    const std::vector<unsigned> v = parse_version(version);
    if (v.size() != 3)
        throw std::invalid_argument("PHY version must be a.b.c");
    const std::string text = "PHY " + std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
    if (text.size() >= kPhyVersionField)
        throw std::invalid_argument("PHY version text too long");
    WrappedRecord r;
    r.tag = tag_of(tag);
    r.data.resize(size);
    fill_pattern(r.data.data(), r.data.size(), r.tag);
    for (size_t i = 0; i < kPhyVersionField; ++i)
        r.data[kPhyVersionAt + i] = i < text.size() ? uint8_t(text[i]) : 0;
    return wrapped_file({r});
}

const char* phy_file_fault_name(PhyFileFault f)
{
    switch (f) {
    case PhyFileFault::None:
        return "none";
    case PhyFileFault::Truncated:
        return "record header cut short";
    case PhyFileFault::BadMagic:
        return "record without the magic";
    case PhyFileFault::BadLength:
        return "record longer than the file";
    case PhyFileFault::ShortRecord:
        return "first record ends before the version text";
    case PhyFileFault::BadVersionText:
        return "no version text";
    }
    return "?";
}

std::optional<std::string> phy_image_version(std::span<const uint8_t> file, PhyFileFault* why)
{
    auto fail = [&](PhyFileFault f) -> std::optional<std::string> {
        if (why)
            *why = f;
        return std::nullopt;
    };
    if (file.empty())
        return fail(PhyFileFault::Truncated);
    size_t first_data = 0, first_length = 0;
    for (size_t at = 0; at < file.size();) {
        if (file.size() - at < kHeader)
            return fail(PhyFileFault::Truncated);
        if (get_le32(&file[at]) != kMagic)
            return fail(PhyFileFault::BadMagic);
        const uint32_t length = get_le32(&file[at + 16]);
        if (length > file.size() - at - kHeader)
            return fail(PhyFileFault::BadLength);
        if (at == 0)
            first_data = kHeader, first_length = length;
        at += kHeader + length;
    }
    if (first_length < kPhyVersionAt + kPhyVersionField)
        return fail(PhyFileFault::ShortRecord);
    const uint8_t* field = &file[first_data + kPhyVersionAt];
    std::string text;
    size_t i = 0;
    for (; i < kPhyVersionField && field[i]; ++i) {
        if (field[i] < 0x20 || field[i] > 0x7E)
            return fail(PhyFileFault::BadVersionText);
        text += char(field[i]);
    }
    if (i == kPhyVersionField || !ends_in_version(text))
        return fail(PhyFileFault::BadVersionText);
    if (why)
        *why = PhyFileFault::None;
    return text;
}

}  // namespace testkit
