#include <gtest/gtest.h>

#include <vector>

#include "burner/device/Capabilities.h"

namespace kestrel {
namespace {

// A GET CONFIGURATION reply holding one feature descriptor.
std::vector<uint8_t> FeatureReply(uint16_t Feature, uint8_t FirstDataByte, uint32_t DataLength = 12) {
    std::vector<uint8_t> reply(114, 0);
    PutBig32(reply.data(), DataLength);
    PutBig16(&reply[8], Feature);
    reply[11] = 4;
    reply[12] = FirstDataByte;
    return reply;
}

TEST(CapabilityFlags, PageBitsSetTheirFlags) {
    TCapabilitiesPage page;
    page.Bytes[2] = 0x3F;
    page.Bytes[3] = 0x37;
    page.Bytes[4] = 0x80;
    const uint32_t flags = CapabilityFlagsFromPage(page);
    for (uint32_t bit : {cap::ReadCDR, cap::ReadCDRW, cap::ReadMethod2, cap::ReadDVD, cap::ReadDVDR, cap::ReadDVDRW,
                         cap::ReadDVDRAM, cap::WriteCDR, cap::WriteCDRW, cap::WriteTest, cap::WriteDVDR,
                         cap::WriteDVDRW, cap::WriteDVDRAM, cap::UnderrunProtection})
        EXPECT_TRUE(flags & bit) << std::hex << bit;
    EXPECT_FALSE(flags & (cap::ReadDVDPR | cap::WriteDVDPR | cap::ReadDVDPRDL));
    EXPECT_EQ(CapabilityFlagsFromPage(TCapabilitiesPage()), 0u);
}

TEST(CapabilityFlags, FeaturesNeedTheExactWriteByte) {
    auto plus = FeatureReply(0x2A, 0x01);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2A, TReply(plus.data(), plus.size())),
              cap::ReadDVDPR | cap::ReadDVDPRW | cap::WriteDVDPR | cap::WriteDVDPRW);
    auto plusOther = FeatureReply(0x2A, 0x03);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2A, TReply(plusOther.data(), plusOther.size())),
              cap::ReadDVDPR | cap::ReadDVDPRW);
    auto dl = FeatureReply(0x3B, 0x01);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x3B, TReply(dl.data(), dl.size())), cap::ReadDVDPRDL | cap::WriteDVDPRDL);
    auto dashR = FeatureReply(0x2F, 0x00);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2F, TReply(dashR.data(), dashR.size())), cap::ReadDVDR | cap::ReadDVDRW);
    // The drive answered with another feature than the one asked.
    EXPECT_EQ(CapabilityFlagsFromFeature(0x3B, TReply(plus.data(), plus.size())), 0u);
}

TEST(CapabilityFlags, LengthsThatLieAreNotBelieved) {
    // The header says only the header came back: the descriptor is stale.
    auto shortReply = FeatureReply(0x2A, 0x01, 4);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2A, TReply(shortReply.data(), shortReply.size())), 0u);
    // The header claims far more than the buffer holds: read what is there.
    auto longClaim = FeatureReply(0x2F, 0x01, 0xFFFFFFF0);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2F, TReply(longClaim.data(), 13)),
              cap::ReadDVDR | cap::ReadDVDRW | cap::WriteDVDR | cap::WriteDVDRW);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2F, TReply(longClaim.data(), 12)), cap::ReadDVDR | cap::ReadDVDRW);
    EXPECT_EQ(CapabilityFlagsFromFeature(0x2F, TReply(nullptr, 100)), 0u);
}

TEST(CapabilitiesPage, LocatedAt16Or8Or7AndCopiedOnlyFromTheReply) {
    std::vector<uint8_t> reply(40, 0);
    reply[7] = 0x2A;
    EXPECT_EQ(ModePageOffset(TReply(reply.data(), reply.size()), 0x2A, 8), 7u);
    reply[8] = 0xAA;  // page code with the PS bit
    EXPECT_EQ(ModePageOffset(TReply(reply.data(), reply.size()), 0x2A, 8), 8u);
    reply[16] = 0x2A;
    EXPECT_EQ(ModePageOffset(TReply(reply.data(), reply.size()), 0x2A, 8), 16u);
    EXPECT_EQ(ModePageOffset(TReply(reply.data(), 16), 0x2A, 3), 8u);
    std::vector<uint8_t> none(40, 0);
    EXPECT_EQ(ModePageOffset(TReply(none.data(), none.size()), 0x2A, 15), 15u);

    std::vector<uint8_t> page(28, 0xEE);
    page[8] = 0x2A;
    PutBig16(&page[8 + 8], 4234);
    PutBig16(&page[8 + 18], 0x1B3A);
    TCapabilitiesPage copy;
    copy.Assign(TReply(page.data(), page.size()), 8);
    EXPECT_EQ(copy.MaxReadSpeed, 4234);
    EXPECT_EQ(copy.Bytes[19], 0x3A);
    EXPECT_EQ(copy.Bytes[20], 0x00) << "bytes past the reply must not be copied";
    EXPECT_EQ(copy.MaxWriteSpeed, 0x1B3A);
    EXPECT_EQ(copy.CurrentWriteSpeed, 0) << "field lies past the reply";
}

TEST(ModelQuirks, ModelsOfTheTableGetTheirFlags) {
    auto q = EvaluateQuirks("TEAC    ", "CD-W512EB       ");
    EXPECT_TRUE(q.ForceUnderrunProtection);
    EXPECT_TRUE(q.ImmediateClose);
    EXPECT_TRUE(EvaluateQuirks("PLEXTOR ", "CRX175E         ").SetLinkSizeValid);
    EXPECT_TRUE(EvaluateQuirks("SONY    ", "CD-RW  CRX800E  ").SetLinkSizeValid);
    EXPECT_TRUE(EvaluateQuirks("MATSHITA", "UJDA710         ").SlowReadyDrive);
    EXPECT_TRUE(EvaluateQuirks("TDK     ", "anything        ").SlowReadyDrive);
    EXPECT_FALSE(EvaluateQuirks("TD      ", "anything        ").SlowReadyDrive) << "two-letter vendors become blanks";
    EXPECT_TRUE(EvaluateQuirks("PIONEER ", "DVD-RW  DVR-104 ").PollReadyFirst);
    EXPECT_FALSE(EvaluateQuirks("PIONEER ", "DVD-RW  DVR-104X").PollReadyFirst) << "compared untrimmed";
    EXPECT_FALSE(EvaluateQuirks("LITE-ON ", "CDRW321040X     ").ImmediateClose);

    auto plain = EvaluateQuirks("KESTREL ", "VIRTUAL DVD-RW  ");
    EXPECT_FALSE(plain.ForceUnderrunProtection || plain.SetLinkSizeValid || plain.SlowReadyDrive ||
                 plain.PollReadyFirst);
    EXPECT_TRUE(plain.ImmediateClose);
    EXPECT_FALSE(EvaluateQuirks("tdk     ", "ujda            ").SlowReadyDrive) << "case-sensitive";
}

}  // namespace
}  // namespace kestrel
