#include "platform/win_security.h"

#include <cstring>

#include "platform/win_error.h"

namespace win {

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision)
{
    if (!descriptor || revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    *sd = SECURITY_DESCRIPTOR{};
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, ACL* dacl, BOOL)
{
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION || (sd->Control & SE_SELF_RELATIVE)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    if (present) {
        sd->Control |= SE_DACL_PRESENT;
        sd->Dacl = dacl;
    } else {
        sd->Control &= static_cast<WORD>(~SE_DACL_PRESENT);
        sd->Dacl = nullptr;
    }
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor)
{
    bool present = false;
    const ACL* dacl = nullptr;
    if (!platform::descriptor_dacl(descriptor, &present, &dacl)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win

namespace platform {

bool descriptor_dacl(const void* descriptor, bool* present, const win::ACL** dacl)
{
    if (!descriptor) return false;
    const auto* bytes = static_cast<const uint8_t*>(descriptor);
    if (bytes[0] != win::SECURITY_DESCRIPTOR_REVISION) return false;
    win::WORD control;
    std::memcpy(&control, bytes + 2, 2);
    *present = (control & win::SE_DACL_PRESENT) != 0;
    *dacl = nullptr;
    if (!*present) return true;
    if (control & win::SE_SELF_RELATIVE) {
        win::DWORD offset;
        std::memcpy(&offset, bytes + 16, 4);
        if (offset) *dacl = reinterpret_cast<const win::ACL*>(bytes + offset);
    } else {
        *dacl = static_cast<const win::SECURITY_DESCRIPTOR*>(descriptor)->Dacl;
    }
    if (*dacl && (*dacl)->AclSize < sizeof(win::ACL)) return false;
    return true;
}

bool acl_denies_everyone(const win::ACL* acl, win::DWORD mask)
{
    static const uint8_t kEveryone[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    if (!acl) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(acl);
    size_t at = sizeof(win::ACL);
    for (unsigned i = 0; i < acl->AceCount; ++i) {
        if (at + 8 > acl->AclSize) break;
        const uint8_t type = bytes[at];
        win::WORD size;
        win::DWORD ace_mask;
        std::memcpy(&size, bytes + at + 2, 2);
        std::memcpy(&ace_mask, bytes + at + 4, 4);
        if (size < 8 || at + size > acl->AclSize) break;
        if (type == win::ACCESS_DENIED_ACE_TYPE && (ace_mask & mask) && size >= 8 + sizeof kEveryone &&
            std::memcmp(bytes + at + 8, kEveryone, sizeof kEveryone) == 0)
            return true;
        at += size;
    }
    return false;
}

}  // namespace platform
