// The three functions the update-manager host finds in the plug-in by name. Text is UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// Writes 100 and returns 1.
typedef int (*GetInterfaceVersion_fn)(int* version);
// Property `id` into `out` (`cch` characters for texts); 1 handled, 0 not.
typedef int (*GetProperty_fn)(int id, void* out, int cch, const char16_t* lang);
// 0 error, 1 version report done, 2 installed, 3 nothing to do or discovery done; a message for
// the host in `message` (`cch` characters).
typedef int (*Install_fn)(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang);

}

// The host's interface version.
constexpr int kPelarisInterfaceVersion = 100;
// Property ids.
enum PelarisProperty {
    kPropName = 1,
    kPropDescription = 2,
    kPropCurrentVersion = 3,
    kPropPackageVersion = 4,
    kPropInstallState = 5,
    kPropSilent = 6,
    kPropSilent2 = 7,
    kPropConstantOne = 8,
    kPropHostLog = 9,
};
// Install results.
enum PelarisInstallResult { kInstallError = 0, kInstallVersionReport = 1, kInstallDone = 2, kInstallNothingToDo = 3 };

// Property 5, the install state: a 32-bit state (1 same version, 2 older: update, 3 newer, 4 no
// hardware but installed, 5 hardware but not installed, 6 neither or an unsupported computer
// model, 7 cannot install, 8 other) and a NUL-terminated text. The host passes its size in bytes,
// which must be at least the record's.
struct PelarisInstallState {
    int32_t state;
    char16_t text[1024];
};
static_assert(sizeof(PelarisInstallState) == 2052 && offsetof(PelarisInstallState, text) == 4);
