// Sending mode page 05h: the write parameters of a write, and the probe of
// the write types a drive accepts.
#include <algorithm>
#include <vector>

#include "burner/device/SCSIDevice.h"

namespace kestrel {

namespace {

constexpr uint8_t kWriteParametersPage = 0x05;
constexpr uint16_t kSenseLength = 512;

}  // namespace

bool TSCSIDevice::ReadWriteParametersPage(std::vector<uint8_t>& Reply, size_t& Offset, size_t& Available) {
    Reply.assign(kSenseLength, 0);
    if (!ModeSense10(kWriteParametersPage, false, Reply.data(), kSenseLength)) return false;
    const TReply whole(Reply.data(), Reply.size());
    const TReply reply = whole.Prefix(size_t(whole.U16BE(0)) + 2);
    Offset = ModePageOffset(reply, kWriteParametersPage, 8);
    Available = reply.Size() > Offset ? reply.Size() - Offset : 0;
    return true;
}

bool TSCSIDevice::SetWriteParameters(bool TestWriteArg, bool UnderrunArg, bool Finalize, uint16_t Type) {
    // DVD-RAM and BD have no write parameters: BD-R is always written
    // sequentially and its sessions closed by function, BD-RE in place.
    if (Type == mtDVDRAM || IsBDMedium(Type)) return true;
    std::vector<uint8_t> reply;
    size_t offset = 0, available = 0;
    if (!ReadWriteParametersPage(reply, offset, available)) return false;
    writePage_.fill(0);
    std::copy_n(reply.begin() + long(offset), std::min(available, writePage_.size()), writePage_.begin());

    TWritePageRequest request;
    request.TestWrite = TestWriteArg;
    request.UnderrunProtection = UnderrunArg;
    request.Finalize = Finalize;
    request.Type = Type;
    request.FinalizeDisc = FinalizeDisc;
    request.SetLinkSizeValid = quirks_.SetLinkSizeValid;
    request.DriveUnderrunProtection = capabilities_ & cap::UnderrunProtection;
    request.DriveWriteTest = capabilities_ & cap::WriteTest;
    request.PageReportsBUF = capsPage_.ReportsBufferUnderrunFree();
    PrepareWriteParametersPage(writePage_, request);

    const auto list = WriteParametersList(writePage_);
    return ModeSelect10(list.data(), uint16_t(writePage_[1] + 10));
}

void TSCSIDevice::ProbeWriteModes() {
    writeModes_ = 0;
    struct TMode { uint8_t WriteType, DataBlockType, Bit; };
    constexpr TMode kModes[] = {{3, 1, 1}, {2, 0, 2}, {1, 0, 4}};  // raw, session at once, track at once
    for (const TMode& mode : kModes) {
        std::vector<uint8_t> reply;
        size_t offset = 0, available = 0;
        if (!ReadWriteParametersPage(reply, offset, available) || available < 16) continue;
        // The page as the drive sent it, within the bytes it returned.
        const size_t pageLength = std::min<size_t>(size_t(reply[offset + 1]) + 2, available);
        std::vector<uint8_t> list(8 + std::max<size_t>(pageLength, 16), 0);
        std::copy_n(reply.begin() + long(offset), pageLength, list.begin() + 8);
        uint8_t* page = list.data() + 8;
        page[0] &= 0x3F;
        page[2] = uint8_t((page[2] & 0xF0) | mode.WriteType);
        page[3] = 0;
        page[4] = mode.DataBlockType;
        page[8] = page[9] = 0;
        PutBig16(page + 14, 150);
        const size_t length = std::min<size_t>(size_t(page[1]) + 10, list.size());
        if (ModeSelect10(list.data(), uint16_t(length)))
            writeModes_ |= mode.Bit;
    }
}

}  // namespace kestrel
