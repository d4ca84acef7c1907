#include <gtest/gtest.h>

#include <cstring>

#include "burner/device/DeviceLine.h"

namespace kestrel {
namespace {

const uint8_t* Inquiry(const char* Text28) { return reinterpret_cast<const uint8_t*>(Text28); }

TEST(DeviceLine, ShowsAddressNodeAndRawInquiryText) {
    const char* text = "KESTREL VIRTUAL DVD-RW  1.00";
    ASSERT_EQ(std::strlen(text), 28u);
    EXPECT_EQ(FormatDeviceLine({1, 0, 0}, "/dev/sr0", Inquiry(text), false),
              "1:0:0,/dev/sr0 KESTREL VIRTUAL DVD-RW  1.00");
    EXPECT_EQ(FormatDeviceLine({0, 3, 0}, "", Inquiry(text), true),
              "0:3:0,?: KESTREL VIRTUAL DVD-RW  1.00 (not supported)");
}

TEST(DeviceLine, ControlBytesOfTheInquiryBecomeBlanks) {
    uint8_t raw[28];
    std::memset(raw, 'A', sizeof raw);
    raw[3] = 0;
    raw[10] = '\n';
    const std::string line = FormatDeviceLine({0, 0, 0}, "vdrive0", raw, false);
    EXPECT_EQ(line.find('\0'), std::string::npos);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.size(), std::string("0:0:0,vdrive0 ").size() + 28);
}

TEST(DeviceLine, AddressesOfAnyWidthParseBackAndBadOnesDoNot) {
    auto a = ParseDeviceAddress("12:7:3,/dev/sr12 VENDOR");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->HaId, 12);
    EXPECT_EQ(a->Target, 7);
    EXPECT_EQ(a->Lun, 3);
    auto round = ParseDeviceAddress(FormatDeviceLine({200, 15, 0}, "x", Inquiry("                            "), false));
    ASSERT_TRUE(round);
    EXPECT_EQ(round->HaId, 200);
    EXPECT_EQ(round->Target, 15);

    for (const char* bad : {"", "1:0:0", "1:0,0,x", "a:0:0,x", "1::0,x", "256:0:0,x", "1:0:0:x", "-1:0:0,x"})
        EXPECT_FALSE(ParseDeviceAddress(bad)) << bad;
}

}  // namespace
}  // namespace kestrel
