// Version resources of our own binaries: the version note that fwupg_version_note embeds
// (platform/version_note.h), served through the calls of the original system. The note's four
// numbers are the file version; its "ProductVersion" string, when it holds four dotted numbers,
// is the product version (else the file version is used); every string of the note appears in
// the US English Unicode block "040904B0".
#pragma once

#include "platform/win_types.h"

namespace win {

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

// Bytes needed for the version data; 0 with 2/3 for a missing file and 1813 for a file without a
// version note.
DWORD GetFileVersionInfoSizeW(const WCHAR* path, DWORD* handle);
// Fills `data` (at least the size above); FALSE with 122 when `size` is too small.
BOOL GetFileVersionInfoW(const WCHAR* path, DWORD handle, DWORD size, void* data);
// "\" gives the VS_FIXEDFILEINFO (length in bytes); "\StringFileInfo\040904B0\Name" a
// NUL-terminated wide string (length in characters with the NUL). FALSE when absent.
BOOL VerQueryValueW(const void* data, const WCHAR* sub_block, void** out, UINT* length);

}  // namespace win
