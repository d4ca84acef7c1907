#include <gtest/gtest.h>

#include "burner/device/MediumTables.h"

namespace kestrel {
namespace {

TEST(MediumTables, ProfilesMapToTypeCodesAndNames) {
    struct TCase { uint16_t Profile; uint8_t Type; const char* TypeName; const char* ProfileName; bool Erasable; };
    const TCase cases[] = {
        {0x0008, 1, "CD-ROM", "CD-ROM", false},
        {0x0009, 2, "CD-R", "CD-R", false},
        {0x000A, 3, "CD-RW", "CD-RW", true},
        {0x0010, 4, "DVD-ROM", "DVD-ROM", false},
        {0x0011, 5, "DVD-R", "DVD-R", false},
        {0x0012, 6, "DVD-RAM", "DVD-RAM", false},
        {0x0013, 8, "DVD-RW", "DVD-RW Restricted Overwrite", true},
        {0x0014, 9, "DVD-RW", "DVD-RW Sequential Recording", true},
        {0x001A, 10, "DVD+RW", "DVD+RW", true},
        {0x001B, 11, "DVD+R", "DVD+R", false},
        {0x002B, 12, "DVD+R DL", "???????", false},
        {0x0020, 13, "DDCD-ROM", "DDCD-ROM", false},
        {0x0021, 14, "DDCD-R", "DDCD-R", false},
        {0x0022, 15, "DDCD-RW", "DDCD-RW", true},
        {0x0040, 16, "BD-ROM", "BD-ROM", false},
        {0x0041, 17, "BD-R", "BD-R Sequential Recording", false},
        {0x0042, 0, "UNKNOWN", "BD-R Random Recording", false},
        {0x0043, 18, "BD-RE", "BD-RE", true},
        {0x0003, 0, "UNKNOWN", "MO Eraseable", true},
        {0x0000, 0, "UNKNOWN", "???????", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Profile);
        EXPECT_EQ(MediumTypeFromProfile(c.Profile), c.Type);
        EXPECT_EQ(MediumTypeName(c.Type), c.TypeName);
        EXPECT_EQ(ProfileMediumName(c.Profile), c.ProfileName);
        EXPECT_EQ(ProfileIsErasable(c.Profile), c.Erasable);
    }
    EXPECT_EQ(MediumTypeName(7), "DVD-RW");
    EXPECT_EQ(MediumTypeName(200), "UNKNOWN");
    EXPECT_TRUE(IsCDMedium(3));
    EXPECT_FALSE(IsCDMedium(4));
    EXPECT_FALSE(IsCDMedium(mtBDR));
    EXPECT_TRUE(IsBDMedium(mtBDROM) && IsBDMedium(mtBDR) && IsBDMedium(mtBDRE));
    EXPECT_FALSE(IsBDMedium(mtDDCDRW) || IsBDMedium(mtDVDPlusRDL));
    EXPECT_FALSE(IsDVDMedium(mtBDRE));
}

TEST(MediumTables, SpeedTextCountsCDAndDVDFactorsAndGroupsThousands) {
    EXPECT_EQ(SpeedText(mtCDRW, 1764), "10X (1,764 KB/s)");
    EXPECT_EQ(SpeedText(mtCDR, 176), "1X (176 KB/s)");
    EXPECT_EQ(SpeedText(mtDVDPlusRW, 3324), "2.4X (3,324 KB/s)");
    EXPECT_EQ(SpeedText(mtDVDRAM, 22160), "16.0X (22,160 KB/s)");
    EXPECT_EQ(SpeedText(mtDVDR, 0), "0.0X (0 KB/s)");
    EXPECT_EQ(SpeedText(mtBDR, 17982), "4.0X (17,982 KB/s)");
    EXPECT_EQ(SpeedText(mtBDRE, 53946), "12.0X (53,946 KB/s)");
    EXPECT_EQ(SpeedText(mtBDRE, 8991), "2.0X (8,991 KB/s)");
}

}  // namespace
}  // namespace kestrel
