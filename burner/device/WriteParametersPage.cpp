#include <algorithm>

#include "burner/device/MediumTables.h"
#include "burner/device/ReplyBytes.h"
#include "burner/device/WriteParameters.h"

namespace kestrel {

namespace {

constexpr uint8_t kBUFE = 0x40, kLinkSizeValid = 0x20, kTestWrite = 0x10;
constexpr uint8_t kMultisession = 0xC0, kFixedPacket = 0x20;

void SetPacketSize(TWriteParametersPage& Page, uint32_t Blocks) { PutBig32(&Page[10], Blocks); }

}  // namespace

void PrepareWriteParametersPage(TWriteParametersPage& Page, const TWritePageRequest& R) {
    const uint16_t type = R.Type;
    Page[0] &= 0x3F;  // MODE SELECT wants the PS bit clear
    Page[1] = 50;
    if (type == mtDVDR) {
        Page[2] = 0x60; Page[3] = 0xE5; Page[5] = 0x10;
        SetPacketSize(Page, 16);
    } else {
        Page[2] = 0x01; Page[3] = 0x04; Page[5] = 0;
        SetPacketSize(Page, 0);
    }
    Page[4] = 8;  // mode 1, 2,048-byte blocks
    if (type == mtDVDPlusRW || type == mtDVDPlusR) {
        Page[2] = 0x22;
        Page[3] |= kMultisession;
    }
    if (R.SetLinkSizeValid) Page[2] |= kLinkSizeValid;

    const bool multisessionMedium = type == mtDVDR || type == mtDVDRW || type == mtDVDRWRestricted ||
                                    type == mtDVDRWSequential || type == mtDVDPlusR;
    if (multisessionMedium) {
        Page[3] |= kMultisession | kFixedPacket;
    } else if (R.TestWrite || R.FinalizeDisc) {
        if ((Page[3] & kMultisession) == kMultisession) Page[3] &= uint8_t(~kMultisession);
    } else {
        Page[3] |= kMultisession;
    }

    const bool testBit = R.DriveWriteTest && R.TestWrite;
    Page[2] = uint8_t((Page[2] & ~(kBUFE | kTestWrite)) | (R.DriveUnderrunProtection && R.UnderrunProtection ? kBUFE : 0) |
                      (testBit ? kTestWrite : 0));
    std::fill(Page.begin() + 6, Page.begin() + 10, uint8_t(0));

    if (type == mtDVDPlusR) { Page[6] = 0x10; SetPacketSize(Page, 16); }
    if (type == mtDVDRWRestricted || type == mtDVDRWSequential) {
        Page[2] = 0x20; Page[3] = 0xC5; Page[5] = 0x10;
        // A test write must stay a test write: the page above would record.
        if (testBit) Page[2] |= kTestWrite;
    }
    if (type == mtDVDPlusR) { Page[3] = 0xC4; Page[6] = 0; }

    if (type == mtDVDPlusRDL) {
        Page[2] = uint8_t((Page[2] & 0xF0) | 0x02 | kLinkSizeValid);
        Page[3] = uint8_t((Page[3] & 0xF0 & ~kFixedPacket) | 0x04);
        if (R.Finalize) Page[3] |= kMultisession;
        else Page[3] &= uint8_t(~kMultisession);
        Page[5] = 0; Page[6] = 0;
        SetPacketSize(Page, 0);
    } else if (R.UnderrunProtection && R.PageReportsBUF) {
        Page[2] |= kBUFE;
    }
    if (type == mtDVDPlusRW) { Page[3] = 0x04; Page[5] = 0x10; }
    PutBig16(&Page[14], 150);  // audio pause length
}

std::array<uint8_t, 62> WriteParametersList(const TWriteParametersPage& Page) {
    std::array<uint8_t, 62> list{};
    std::copy(Page.begin(), Page.end(), list.begin() + 8);
    return list;
}

}  // namespace kestrel
