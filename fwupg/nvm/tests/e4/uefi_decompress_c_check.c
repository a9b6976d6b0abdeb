/* The decoder called from C: decodes a stream file and compares it with the original file.
 * Usage: uefi_decompress_c_check STREAM ORIGINAL (exit 0 when equal). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fwupg/nvm/e4/uefi_decompress.h"

static unsigned char* slurp(const char* path, long* size)
{
    FILE* f = fopen(path, "rb");
    unsigned char* data;
    if (!f)
        return NULL;
    fseek(f, 0, SEEK_END);
    *size = ftell(f);
    fseek(f, 0, SEEK_SET);
    data = malloc(*size ? (size_t)*size : 1);
    if (data && fread(data, 1, (size_t)*size, f) != (size_t)*size) {
        free(data);
        data = NULL;
    }
    fclose(f);
    return data;
}

int main(int argc, char** argv)
{
    long src_size = 0, want_size = 0;
    unsigned char *src, *want;
    void* out = NULL;
    uint32_t out_size = 0;
    int ok;
    if (argc != 3)
        return 2;
    src = slurp(argv[1], &src_size);
    want = slurp(argv[2], &want_size);
    if (!src || !want)
        return 2;
    ok = uefi_decompress_alloc(src, (uint32_t)src_size, &out, &out_size, 1) == UEFI_DECOMPRESS_OK &&
         out_size == (uint32_t)want_size && memcmp(out, want, out_size) == 0;
    free(out);
    free(src);
    free(want);
    return ok ? 0 : 1;
}
