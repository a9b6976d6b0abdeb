#include "SjisEncoding.h"

#include <cstring>
#include <iconv.h>

#include "platform/wide_ctype.h"

namespace {

// One converter per thread, opened on first use and kept: the reader may run on any thread.
struct Converter {
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    ~Converter()
    {
        if (cd != iconv_t(-1)) iconv_close(cd);
    }
};

}  // namespace

int XMLCALL SjisConvert(void*, const char* bytes)
{
    thread_local Converter conv;
    if (conv.cd == iconv_t(-1) || !bytes) return -1;
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {bytes[0], bytes[1]};
    char* ip = in;
    size_t in_left = 2;
    unsigned char out[8];
    char* op = reinterpret_cast<char*>(out);
    size_t out_left = sizeof out;
    if (iconv(conv.cd, &ip, &in_left, &op, &out_left) == size_t(-1) || in_left != 0 || out_left != 4) return -1;
    return int(out[0] | (out[1] << 8) | (out[2] << 16) | (unsigned(out[3]) << 24));
}

int XMLCALL SjisEncodingHandler(void*, const XML_Char* name, XML_Encoding* info)
{
    std::u16string n = xmlw::ToU16(name);
    if (!info || platform::wide_icmp(n.c_str(), u"SHIFT_JIS") != 0) return XML_STATUS_ERROR;
    for (int b = 0; b < 256; ++b) {
        int v;
        if (b <= 0x08 || (b >= 0x10 && b <= 0x1F) || b == 0xFF)
            v = -1;
        else if ((b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFE))
            v = -2;
        else if (b >= 0xA0 && b <= 0xDF)
            v = b + 0xFEC0;
        else
            v = b;
        info->map[b] = v;
    }
    info->data = nullptr;
    info->convert = SjisConvert;
    info->release = nullptr;
    return XML_STATUS_OK;
}
