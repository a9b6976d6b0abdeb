// The device installer's INF calls over the INF reader (platform/inf_file.h), and the profile
// call that lists the section names of an INI-style file. An open INF is an entry of the handle
// table; contexts name their INF by that handle, so a closed INF is refused (6), not followed.
#pragma once

#include "platform/win_types.h"

namespace win {

using HINF = HANDLE;
using INT = int;

constexpr DWORD INF_STYLE_OLDNT = 0x1;
constexpr DWORD INF_STYLE_WIN4 = 0x2;

constexpr DWORD ERROR_EXPECTED_SECTION_NAME = 0xE0000000;
constexpr DWORD ERROR_BAD_SECTION_NAME_LINE = 0xE0000001;
constexpr DWORD ERROR_GENERAL_SYNTAX = 0xE0000003;
constexpr DWORD ERROR_WRONG_INF_STYLE = 0xE0000100;
constexpr DWORD ERROR_SECTION_NOT_FOUND = 0xE0000101;
constexpr DWORD ERROR_LINE_NOT_FOUND = 0xE0000102;
constexpr DWORD ERROR_CLASS_MISMATCH = 0xE0000201;

struct INFCONTEXT {
    void* Inf;
    void* CurrentInf;
    UINT Section;
    UINT Line;
};
static_assert(sizeof(INFCONTEXT) == 24);

// File-queue notifications and answers of a queue callback.
constexpr UINT SPFILENOTIFY_DELETEERROR = 0x7;
constexpr UINT SPFILENOTIFY_COPYERROR = 0xD;
constexpr UINT SPFILENOTIFY_NEEDMEDIA = 0xE;
constexpr UINT SPFILENOTIFY_FILEOPDELAYED = 0x14;
constexpr UINT FILEOP_ABORT = 0;
constexpr UINT FILEOP_DOIT = 1;
constexpr UINT FILEOP_SKIP = 2;

// The first parameter of the delete, copy and delayed-operation notifications.
struct FILEPATHS_W {
    const WCHAR* Target;
    const WCHAR* Source;
    UINT Win32Error;
    DWORD Flags;
};

// A WIN4-style INF needs a [Version] Signature of "$Windows NT$", "$Chicago$" or "$Windows 95$"
// (else 0xE0000100). INVALID_HANDLE_VALUE on failure: 2/3 missing file, 0xE0000003 syntax error
// (its line in `error_line`), 0xE0000201 another class than `class_name`.
HINF SetupOpenInfFileW(const WCHAR* path, const WCHAR* class_name, DWORD style, UINT* error_line);
void SetupCloseInfFile(HINF inf);
// `key` null: the section's first line. 0xE0000102 when there is no such line (or section).
BOOL SetupFindFirstLineW(HINF inf, const WCHAR* section, const WCHAR* key, INFCONTEXT* context);
BOOL SetupFindNextLine(const INFCONTEXT* in, INFCONTEXT* out);
BOOL SetupFindNextMatchLineW(const INFCONTEXT* in, const WCHAR* key, INFCONTEXT* out);
LONG SetupGetLineCountW(HINF inf, const WCHAR* section);
// The line's values joined by ','. Without a context, the line of `section` and `key`. A null
// buffer asks the size; 122 when `size` is too small. Sizes count characters with the NUL.
BOOL SetupGetLineTextW(const INFCONTEXT* context, HINF inf, const WCHAR* section, const WCHAR* key, WCHAR* buffer,
                       DWORD size, DWORD* required);
// Values of the line (the key not counted).
DWORD SetupGetFieldCount(const INFCONTEXT* context);
// Field 0 is the key. 87 past the last field.
BOOL SetupGetStringFieldW(const INFCONTEXT* context, DWORD index, WCHAR* buffer, DWORD size, DWORD* required);
// Decimal ("010" is ten), or hexadecimal with 0x or 0X; 13 for an empty or other field.
BOOL SetupGetIntField(const INFCONTEXT* context, DWORD index, INT* value);

// The name of every section header of the INI-style file (platform/ini_text.h: its encoding, and
// "[name]" with anything after the ']'), each with its NUL, then a closing NUL. Returns the
// characters written without the closing NUL, or size - 2 when the names did not fit (cut at a
// name). A file that cannot be read (platform/ini_file.h: also a FIFO, or a link leading off the
// machine) has no names.
DWORD GetPrivateProfileSectionNamesW(WCHAR* buffer, DWORD size, const WCHAR* file);

}  // namespace win
