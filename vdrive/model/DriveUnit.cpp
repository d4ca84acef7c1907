// Unit-level commands: readiness, sense, identification, tray and events.
#include <cstdio>

#include "model/Bytes.h"
#include "model/Drive.h"
#include "model/Sense.h"

namespace vdrive {
namespace {

void PutPadded(uint8_t* P, const std::string& Text, size_t Width) {
    for (size_t i = 0; i < Width; ++i) P[i] = i < Text.size() ? static_cast<uint8_t>(Text[i]) : ' ';
}

}  // namespace

size_t Drive::TestUnitReady() {
    RequireReadableMedium();
    return 0;
}

// Reports the drive's present condition: a long operation with its
// progress, no medium, or nothing to report.
size_t Drive::RequestSense(const CommandBuffer& Cmd) {
    std::vector<uint8_t> s(18, 0);
    s[0] = 0x70;
    s[7] = 10;
    try {
        RequireReadableMedium();
    } catch (const CheckCondition& c) {
        s[2] = c.code.key;
        s[12] = c.code.asc;
        s[13] = c.code.ascq;
        if (c.progressValid) {
            s[15] = 0x80;
            Put16(s.data() + 16, c.progress);
        }
    }
    return SendReply(Cmd, s, Cmd.cdb[4]);
}

size_t Drive::Inquiry(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    size_t allocation = Get16(c + 3);
    if (c[1] & 0x02) sense::InvalidField();  // CmdDt
    if (c[1] & 0x01) {
        std::vector<uint8_t> page(4, 0);
        page[0] = model_.peripheralType;
        page[1] = c[2];
        if (c[2] == 0x00) {
            page.insert(page.end(), {0x00, 0x80});
        } else if (c[2] == 0x80) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "VD%08d", index_);
            page.insert(page.end(), serial, serial + 10);
        } else {
            sense::InvalidField();
        }
        page[3] = static_cast<uint8_t>(page.size() - 4);
        return SendReply(Cmd, page, allocation);
    }
    if (c[2] != 0) sense::InvalidField();
    std::vector<uint8_t> d(96, 0);
    d[0] = model_.peripheralType;
    d[1] = 0x80;  // removable medium
    d[2] = 0x05;  // SPC-3
    d[3] = 0x02;  // response data format
    d[4] = static_cast<uint8_t>(d.size() - 5);
    PutPadded(&d[8], model_.vendor, 8);
    PutPadded(&d[16], model_.product, 16);
    PutPadded(&d[32], model_.revision, 4);
    return SendReply(Cmd, d, allocation);
}

size_t Drive::StartStopUnit(const CommandBuffer& Cmd) {
    uint8_t flags = Cmd.cdb[4];
    bool loadEject = flags & 0x02, start = flags & 0x01;
    if (!loadEject) return 0;
    RequireNoLongOp();
    if (!start) {
        if (locked_) sense::Illegal(0x53, 0x02);
        if (!state_.trayOpen) {
            state_.trayOpen = true;
            ++state_.mediaEvents;
            SaveState();
        }
    } else if (state_.trayOpen) {
        state_.trayOpen = false;
        ++state_.mediaEvents;
        SaveState();
    }
    return 0;
}

size_t Drive::PreventAllow(const CommandBuffer& Cmd) {
    locked_ = Cmd.cdb[4] & 0x01;
    return 0;
}

// Polled GET EVENT STATUS NOTIFICATION: media class only.
size_t Drive::GetEventStatus(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    if (!(c[1] & 0x01)) sense::InvalidField();  // asynchronous mode is not offered
    size_t allocation = Get16(c + 7);
    std::vector<uint8_t> d(4, 0);
    d[3] = 0x10;  // supported: media
    if (!(c[4] & 0x10)) {
        d[2] = 0x80;  // no event available of the requested classes
        Put16(d.data(), 2);
        return SendReply(Cmd, d, allocation);
    }
    d[2] = 0x04;
    d.resize(8, 0);
    bool present = state_.MediumPresent();
    if (state_.mediaEvents != reportedMediaEvents_) {
        d[4] = present ? 0x02 : 0x03;  // new media / media removal
        reportedMediaEvents_ = state_.mediaEvents;
    }
    d[5] = uint8_t((present ? 0x02 : 0) | (state_.trayOpen ? 0x01 : 0));
    Put16(d.data(), static_cast<uint32_t>(d.size() - 2));
    return SendReply(Cmd, d, allocation);
}

size_t Drive::MechanismStatus(const CommandBuffer& Cmd) {
    std::vector<uint8_t> d(8, 0);
    d[1] = state_.trayOpen ? 0x10 : 0x00;
    return SendReply(Cmd, d, Get16(Cmd.cdb + 8));
}

// READ BUFFER: the descriptor (mode 3) and the data of the echo buffer
// (modes 2 and 0Ah, all zeros).
size_t Drive::ReadBuffer(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    uint8_t mode = c[1] & 0x1F;
    size_t allocation = Get24(c + 6);
    if (mode == 0x03 || mode == 0x0B) {
        std::vector<uint8_t> d(4, 0);
        Put24(d.data() + 1, mode == 0x03 ? model_.bufferKB * 1024 : 4096);
        return SendReply(Cmd, d, allocation);
    }
    if (mode == 0x02 || mode == 0x0A) return SendReply(Cmd, std::vector<uint8_t>(4096, 0), allocation);
    sense::InvalidField();
}

}  // namespace vdrive
