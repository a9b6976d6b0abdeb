// oem_get_adapter_info never writes more records than the caller's array holds: with an array, the
// count on entry is its capacity. Discovery is replaced by a double that finds three usable
// adapters, as a second call may find more adapters than the first one counted.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "frame_test_support.h"
#include "fwupg/frame_work.h"
#include "fwupg/oem_interface.h"

namespace {
constexpr size_t kUsable = 3;
}

bool DiscoverDevices(const char*)
{
    return true;
}

size_t UsableDeviceCount()
{
    return kUsable;
}

void FillVendorAdaptInfo(size_t index, VendorAdaptInfo* out)
{
    out->fwCount = static_cast<uint32_t>(index + 1);
    out->productName[0] = static_cast<char16_t>(u'A' + index);
}

TEST(AdapterInfoCapacity, CountIsTheCapacityOfTheCallersArray)
{
    frametest::TempRoot root;
    std::filesystem::create_directory(root.file("fw"));
    const std::u16string folder = u"fw";

    uint32_t count = 0;
    EXPECT_EQ(oem_get_adapter_info(nullptr, &count, folder.c_str()), 0u);
    EXPECT_EQ(count, kUsable) << "without an array only the count is set";

    // An array counted for two adapters: exactly two records are written (ASan guards the end).
    std::vector<VendorAdaptInfo> two(2);
    count = 2;
    EXPECT_EQ(oem_get_adapter_info(two.data(), &count, folder.c_str()), 0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(two[0].productName[0], u'A');
    EXPECT_EQ(two[1].fwCount, 2u);

    // A larger array: every usable adapter, and the count says how many.
    std::vector<VendorAdaptInfo> five(5);
    count = 5;
    EXPECT_EQ(oem_get_adapter_info(five.data(), &count, folder.c_str()), 0u);
    EXPECT_EQ(count, kUsable);
    EXPECT_EQ(five[2].productName[0], u'C');
    EXPECT_EQ(five[3].fwCount, 0u) << "records past the adapters found stay as the caller left them";

    count = 0;
    EXPECT_EQ(oem_get_adapter_info(five.data(), &count, folder.c_str()), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(oem_get_adapter_info(five.data(), nullptr, folder.c_str()), 7u) << "no count: nothing to fill";
}
