#include "burner/device/Capabilities.h"

#include <algorithm>

#include "kestrel/mmc.h"

namespace kestrel {

namespace {

std::string Trimmed(const std::string& Text) {
    const auto first = Text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return Text.substr(first, Text.find_last_not_of(" \t\r\n") - first + 1);
}

bool Bit(uint8_t Byte, int N) { return (Byte >> N) & 1; }

// The BD features list, per medium, a bitmap of the versions of class 0
// discs the drive handles; the bitmaps lie at these bytes of the reply.
struct TBdBitmap {
    size_t Offset;
    uint32_t Flag;
};
constexpr TBdBitmap kBdReadBitmaps[] = {{16, cap::ReadBDRE}, {24, cap::ReadBDR}, {32, cap::ReadBD}};
constexpr TBdBitmap kBdWriteBitmaps[] = {{16, cap::WriteBDRE}, {24, cap::WriteBDR}};

template <size_t N>
uint32_t FlagsOfBitmaps(const TReply& Reply, const TBdBitmap (&Bitmaps)[N]) {
    uint32_t flags = 0;
    for (const TBdBitmap& bitmap : Bitmaps)
        if (Reply.Has(bitmap.Offset, 2) && Reply.U16BE(bitmap.Offset) != 0) flags |= bitmap.Flag;
    return flags;
}

}  // namespace

void TCapabilitiesPage::Assign(const TReply& Reply, size_t Offset) {
    Clear();
    for (size_t i = 0; i < kSize && Reply.Has(Offset + i); ++i) Bytes[i] = Reply.U8(Offset + i);
    const TReply page(Bytes.data(), Bytes.size());
    MaxReadSpeed = page.U16BE(8);
    BufferSize = page.U16BE(12);
    CurrentReadSpeed = page.U16BE(14);
    MaxWriteSpeed = page.U16BE(18);
    CurrentWriteSpeed = page.U16BE(20);
}

uint32_t CapabilityFlagsFromPage(const TCapabilitiesPage& Page) {
    const uint8_t read = Page.Bytes[2], write = Page.Bytes[3], misc = Page.Bytes[4];
    uint32_t flags = 0;
    if (Bit(read, 0)) flags |= cap::ReadCDR;
    if (Bit(read, 1)) flags |= cap::ReadCDRW;
    if (Bit(read, 2)) flags |= cap::ReadMethod2;
    if (Bit(read, 3)) flags |= cap::ReadDVD;
    if (Bit(read, 4)) flags |= cap::ReadDVDR | cap::ReadDVDRW;
    if (Bit(read, 5)) flags |= cap::ReadDVDRAM;
    if (Bit(write, 0)) flags |= cap::WriteCDR;
    if (Bit(write, 1)) flags |= cap::WriteCDRW;
    if (Bit(write, 2)) flags |= cap::WriteTest;
    if (Bit(write, 4)) flags |= cap::WriteDVDR | cap::WriteDVDRW;
    if (Bit(write, 5)) flags |= cap::WriteDVDRAM;
    if (Bit(misc, 7)) flags |= cap::UnderrunProtection;
    return flags;
}

uint32_t CapabilityFlagsFromFeature(uint16_t Feature, const TReply& Reply) {
    // Header of 8 bytes, then the feature descriptor: code at 8..9, its own
    // data from byte 12. The data length bounds what the drive really sent.
    const TReply reply = Reply.Prefix(size_t(Reply.U32BE(0)) + 4);
    if (!reply.Has(8, 2) || reply.U16BE(8) != Feature) return 0;
    uint32_t present = 0, writes = 0;
    switch (Feature) {
        case 0x2A: present = cap::ReadDVDPR | cap::ReadDVDPRW; writes = cap::WriteDVDPR | cap::WriteDVDPRW; break;
        case 0x3B: present = cap::ReadDVDPRDL; writes = cap::WriteDVDPRDL; break;
        case 0x2F: present = cap::ReadDVDR | cap::ReadDVDRW; writes = cap::WriteDVDR | cap::WriteDVDRW; break;
        case mmc::feature::kBdRead: return FlagsOfBitmaps(reply, kBdReadBitmaps);
        case mmc::feature::kBdWrite: return FlagsOfBitmaps(reply, kBdWriteBitmaps);
        default: return 0;
    }
    return reply.Has(12) && reply.U8(12) == 0x01 ? present | writes : present;
}

TDriveQuirks EvaluateQuirks(const std::string& Vendor, const std::string& Product) {
    const std::string product = Trimmed(Product);
    std::string vendor = Trimmed(Vendor);
    if (vendor.size() < 3) vendor = "     ";
    const std::string product16 = Product.substr(0, std::min<size_t>(Product.size(), 16));

    TDriveQuirks quirks;
    quirks.ForceUnderrunProtection = product == "CD-W512EB";
    quirks.SetLinkSizeValid = product == "CRX175E" || product == "CD-RW  CRX800E";
    quirks.SlowReadyDrive = product.starts_with("UJDA") || vendor.starts_with("TDK");
    quirks.PollReadyFirst = product16 == "DVD-RW  DVR-103 " || product16 == "DVD-RW  DVR-104 ";
    quirks.ImmediateClose = product != "CDRW321040X";
    return quirks;
}

}  // namespace kestrel
