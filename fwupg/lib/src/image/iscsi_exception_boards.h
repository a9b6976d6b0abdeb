// Boards whose full NVRAM image may carry the iSCSI boot image although the adapter lacks it.
#pragma once

#include <cstdint>

namespace fwupg {

bool IsIscsiExceptionBoard(uint32_t vid, uint32_t did, uint32_t svid, uint32_t ssid);

}  // namespace fwupg
