// Folder and version utilities of the adapter model: listing the image files of a firmware folder,
// splitting paths, the trailing version part of a version text, the two version comparisons and
// the rule that decides whether a 57710-class adapter's sub-components are too old.
//
// Paths are narrow (UTF-8) with "/" as the only separator; version texts are narrow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <yxmapi/yxmapi.h>

namespace fwupg {

// True when the path can be examined and is a regular file (or of no reported type).
bool IsRegularFile(const std::string& path);

// The text after the last "/" of `path`; false (name unchanged) when the path is empty, has no
// "/" or ends in "/".
bool ExtractFilename(std::string_view path, std::string* name);

// Lists the image files of a folder: "<folder>/<name>" for every regular file whose extension
// (from the last "." of the whole path, when that is not its first character) is ".bin" or ".xml"
// ignoring case, in name order. A path that names a file gives just that path. 0, or 9 when the
// folder cannot be examined or opened (entries are then appended to what `list` held).
uint32_t EnumFiles(const std::string& folder, std::vector<std::string>* list);

// The longest run of digits and dots at the end of `text`; empty when the text ends in anything
// else.
std::string GetVersionSuffixA(std::string_view text);
std::u16string GetVersionSuffix(std::string_view text);

// Both texts read as up to four dot-separated unsigned numbers (missing parts 0), compared part by
// part: 1 when current is newer, -1 when older, 0 when equal.
int CompareVersion(const char* current, const char* image);
// False exactly when current is newer than image.
bool CompareFwVersions(const char* current, const char* image);

// True when one of the sub-component versions of a 57710-class firmware record is at or below
// its threshold, so that a partial update cannot be trusted.
bool AreNvmSubComponentsTooOld(const yxmapi::FwInfoType5& info);

}  // namespace fwupg
