// The configuration images of one E4 change (NVM_CFG1, DEFAULT_CFG, META) gathered in memory and
// written once each when the change ends. A package or an image upgrade changes NVM_CFG1 several
// times (the MBI version cleared, the MBA size code, the merged configuration, the new MBI version,
// the board's option fix-ups); each of those goes to the batch, and only the last content of each
// image goes to the NVRAM, after the change's images, and only where it differs from what the
// NVRAM holds. Readers of these images inside the change see the batch's content.
#pragma once

#include <cstdint>
#include <vector>

namespace fwupg::nvm::e4 {

// Opens a batch; a batch opened while one is open joins it (its commit and drop only close it).
void cfg_batch_begin();
// The outermost commit writes the gathered images that differ from the NVRAM's in the order
// DEFAULT_CFG, META, NVM_CFG1 (NVM_CFG1, whose MBI version the adapter reports, last) and closes
// the batch; it stops at the first failed write. 0, or -1.
int cfg_batch_commit();
// Closes the batch; the outermost drop forgets the gathered images unwritten. No-op when none is open.
void cfg_batch_drop();
bool cfg_batch_open();

// While a batch is open: keeps `length` bytes of image data (a whole number of words) as the
// content of the image `type` and returns true. False when no batch is open.
bool cfg_batch_keep(uint32_t type, const uint8_t* data, uint32_t length);
// The gathered image of `type` as the NVRAM would hold it (data and its CRC word), or null.
const std::vector<uint8_t>* cfg_batch_image(uint32_t type);

// A batch for one scope: begun by the constructor, dropped by the destructor unless committed.
class CfgBatch {
public:
    CfgBatch() { cfg_batch_begin(); }
    ~CfgBatch()
    {
        if (!done_) cfg_batch_drop();
    }
    CfgBatch(const CfgBatch&) = delete;
    CfgBatch& operator=(const CfgBatch&) = delete;
    int commit()
    {
        done_ = true;
        return cfg_batch_commit();
    }

private:
    bool done_ = false;
};

}  // namespace fwupg::nvm::e4
