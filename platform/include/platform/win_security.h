// Security descriptors, as far as the registry's access lists need them: a descriptor carries
// only a discretionary access list (DACL). A DACL that is present and null grants everyone every
// access.
#pragma once

#include "platform/win_types.h"

namespace win {

using SECURITY_INFORMATION = DWORD;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_SELF_RELATIVE = 0x8000;

constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;

struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
static_assert(sizeof(ACL) == 8);

// Absolute form. The self-relative form (Control has SE_SELF_RELATIVE) holds DWORD offsets from
// its start in place of the four pointers: owner at 4, group at 8, SACL at 12, DACL at 16.
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    void* Owner;
    void* Group;
    ACL* Sacl;
    ACL* Dacl;
};
static_assert(sizeof(SECURITY_DESCRIPTOR) == 40);
using PSECURITY_DESCRIPTOR = void*;

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, ACL* dacl, BOOL defaulted);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);

}  // namespace win

namespace platform {
// The DACL of a descriptor in either form: present (with `dacl` null for a null DACL) or not.
bool descriptor_dacl(const void* descriptor, bool* present, const win::ACL** dacl);
// True when the ACL denies `mask` (any bit of it) to everyone (S-1-1-0).
bool acl_denies_everyone(const win::ACL* acl, win::DWORD mask);
}  // namespace platform
