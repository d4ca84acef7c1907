#include <gtest/gtest.h>

#include "burner/device/MediumTables.h"
#include "burner/device/WriteParameters.h"

namespace kestrel {
namespace {

// The drive's current page as a drive typically reports it.
TWriteParametersPage SensedPage() {
    TWriteParametersPage page{};
    page[0] = 0x85;  // page code with the PS bit
    page[1] = 0x32;
    page[8] = 0x20;  // session format the drive had
    return page;
}

TWritePageRequest Request(uint16_t Type) {
    TWritePageRequest r;
    r.Type = Type;
    r.UnderrunProtection = true;
    r.DriveUnderrunProtection = true;
    r.DriveWriteTest = true;
    return r;
}

TWriteParametersPage Prepared(const TWritePageRequest& R) {
    auto page = SensedPage();
    PrepareWriteParametersPage(page, R);
    return page;
}

uint32_t PacketSize(const TWriteParametersPage& P) {
    return uint32_t(P[10]) << 24 | uint32_t(P[11]) << 16 | uint32_t(P[12]) << 8 | P[13];
}

TEST(WriteParametersPage, CommonFieldsForEveryMedium) {
    for (uint16_t type : {1, 2, 3, 5, 8, 9, 10, 11, 12}) {
        SCOPED_TRACE(type);
        const auto page = Prepared(Request(type));
        EXPECT_EQ(page[0], 0x05) << "MODE SELECT needs the PS bit clear";
        EXPECT_EQ(page[1], 50);
        EXPECT_EQ(page[4], 8) << "mode 1, 2,048-byte blocks";
        EXPECT_EQ(page[7], 0);
        EXPECT_EQ(page[8], 0);
        EXPECT_EQ(page[14], 0);
        EXPECT_EQ(page[15], 150);
    }
}

TEST(WriteParametersPage, CDRecordableKeepsTheNextSessionOpenUnlessFinalizedOrTesting) {
    auto open = Prepared(Request(mtCDR));
    EXPECT_EQ(open[2], 0x41) << "track at once with BUFE";
    EXPECT_EQ(open[3], 0xC4) << "multisession 11b, mode 1 track";
    EXPECT_EQ(open[5], 0);
    EXPECT_EQ(PacketSize(open), 0u);

    auto finalizing = Request(mtCDR);
    finalizing.FinalizeDisc = true;
    EXPECT_EQ(Prepared(finalizing)[3], 0x04);

    auto test = Request(mtCDR);
    test.TestWrite = true;
    const auto testPage = Prepared(test);
    EXPECT_EQ(testPage[2], 0x51) << "test bit set";
    EXPECT_EQ(testPage[3], 0x04);

    test.DriveWriteTest = false;
    EXPECT_EQ(Prepared(test)[2] & 0x10, 0) << "no test bit where the drive cannot simulate";

    auto noUnderrun = Request(mtCDR);
    noUnderrun.UnderrunProtection = false;
    EXPECT_EQ(Prepared(noUnderrun)[2], 0x01);

    auto linkSize = Request(mtCDRW);
    linkSize.SetLinkSizeValid = true;
    EXPECT_EQ(Prepared(linkSize)[2] & 0x20, 0x20);
}

TEST(WriteParametersPage, DVDMinusRIsIncrementalWithSixteenBlockPackets) {
    for (bool finalize : {false, true}) {
        auto r = Request(mtDVDR);
        r.Finalize = finalize;
        r.FinalizeDisc = finalize;
        const auto page = Prepared(r);
        EXPECT_EQ(page[2] & 0x0F, 0) << "write type 0";
        EXPECT_EQ(page[2] & 0x20, 0x20) << "link size valid";
        EXPECT_EQ(page[3], 0xE5);
        EXPECT_EQ(page[5], 0x10);
        EXPECT_EQ(PacketSize(page), 16u);
    }
}

TEST(WriteParametersPage, DVDMinusRWAndPlusMedia) {
    const auto rw = Prepared(Request(mtDVDRWSequential));
    EXPECT_EQ(rw[2], 0x20) << "BUFE only when the capabilities page reports BUF";
    EXPECT_EQ(rw[3], 0xC5);
    EXPECT_EQ(rw[5], 0x10);

    auto rwBuf = Request(mtDVDRWRestricted);
    rwBuf.PageReportsBUF = true;
    EXPECT_EQ(Prepared(rwBuf)[2], 0x60);

    auto rwTest = Request(mtDVDRWSequential);
    rwTest.TestWrite = true;
    EXPECT_EQ(Prepared(rwTest)[2] & 0x10, 0x10) << "a test write on DVD-RW must stay a test write";

    const auto plusRW = Prepared(Request(mtDVDPlusRW));
    EXPECT_EQ(plusRW[2], 0x62);
    EXPECT_EQ(plusRW[3], 0x04);
    EXPECT_EQ(plusRW[5], 0x10);

    const auto plusR = Prepared(Request(mtDVDPlusR));
    EXPECT_EQ(plusR[2], 0x62);
    EXPECT_EQ(plusR[3], 0xC4);
    EXPECT_EQ(plusR[6], 0);
    EXPECT_EQ(PacketSize(plusR), 16u);

    auto dl = Request(mtDVDPlusRDL);
    dl.Finalize = true;
    const auto dlClosed = Prepared(dl);
    EXPECT_EQ(dlClosed[2], 0x62);
    EXPECT_EQ(dlClosed[3], 0xC4);
    EXPECT_EQ(dlClosed[5], 0);
    EXPECT_EQ(PacketSize(dlClosed), 0u);
    dl.Finalize = false;
    EXPECT_EQ(Prepared(dl)[3], 0x04);
}

TEST(WriteParametersPage, ParameterListIsHeaderAndPage) {
    const auto page = Prepared(Request(mtCDR));
    const auto list = WriteParametersList(page);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(list[size_t(i)], 0);
    for (size_t i = 0; i < page.size(); ++i) EXPECT_EQ(list[8 + i], page[i]);
}

}  // namespace
}  // namespace kestrel
