#include "DriveQueries.h"

#include <algorithm>

#include "VirtualDrives.h"

namespace vdrive::sg {
namespace {

constexpr int SectorSize = 2048;

CommandReply Run(int Drive, std::initializer_list<uint8_t> Cdb, uint8_t* Data = nullptr, size_t Len = 0,
                 Direction Dir = Direction::None) {
    const std::vector<uint8_t> cdb(Cdb);
    return VirtualDrives::Instance().Execute(Drive, cdb.data(), cdb.size(), Data, Len, Dir);
}

uint8_t Hi(uint32_t V, int Shift) { return static_cast<uint8_t>(V >> Shift); }

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3];
}

}  // namespace

MediumState QueryMedium(int Drive) {
    const CommandReply reply = Run(Drive, {0x00, 0, 0, 0, 0, 0});
    if (reply.status == 0x02 && (reply.sense[2] & 0x0F) == 0x02 && reply.sense[12] == 0x3A) {
        return reply.sense[13] == 0x02 ? MediumState::TrayOpen : MediumState::Absent;
    }
    return MediumState::Present;
}

uint32_t ReadableSectors(int Drive) {
    uint8_t data[8] = {};
    const CommandReply reply = Run(Drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, data, sizeof data, Direction::In);
    if (reply.status != 0) return 0;
    const uint32_t last = BigEndian32(data);
    return last == 0xFFFFFFFF ? 0 : last + 1;
}

bool ReadSectors(int Drive, uint32_t Lba, uint16_t Count, uint8_t* Out) {
    const CommandReply reply =
        Run(Drive, {0x28, 0, Hi(Lba, 24), Hi(Lba, 16), Hi(Lba, 8), Hi(Lba, 0), 0, Hi(Count, 8), Hi(Count, 0), 0}, Out,
            size_t{Count} * SectorSize, Direction::In);
    return reply.status == 0;
}

bool WriteSectors(int Drive, uint32_t Lba, uint16_t Count, const uint8_t* Data) {
    // The model only reads from an outgoing buffer.
    auto* out = const_cast<uint8_t*>(Data);
    const CommandReply reply =
        Run(Drive, {0x2A, 0, Hi(Lba, 24), Hi(Lba, 16), Hi(Lba, 8), Hi(Lba, 0), 0, Hi(Count, 8), Hi(Count, 0), 0}, out,
            size_t{Count} * SectorSize, Direction::Out);
    return reply.status == 0;
}

uint16_t CurrentProfile(int Drive) {
    uint8_t data[8] = {};
    const CommandReply reply = Run(Drive, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, data, sizeof data, Direction::In);
    if (reply.status != 0 || reply.transferred < 8) return 0;
    return static_cast<uint16_t>((data[6] << 8) | data[7]);
}

bool StartStop(int Drive, bool LoadEject, bool Start) {
    const uint8_t flags = static_cast<uint8_t>((LoadEject ? 0x02 : 0) | (Start ? 0x01 : 0));
    return Run(Drive, {0x1B, 0, 0, 0, flags, 0}).status == 0;
}

bool PreventRemoval(int Drive, bool Prevent) {
    return Run(Drive, {0x1E, 0, 0, 0, static_cast<uint8_t>(Prevent ? 1 : 0), 0}).status == 0;
}

bool SetReadSpeed(int Drive, uint16_t KBps) {
    return Run(Drive, {0xBB, 0, Hi(KBps, 8), Hi(KBps, 0), 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}).status == 0;
}

std::vector<uint8_t> CapabilitiesPage(int Drive) {
    std::vector<uint8_t> data(256);
    const CommandReply reply =
        Run(Drive, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 1, 0, 0}, data.data(), data.size(), Direction::In);
    if (reply.status != 0 || reply.transferred < 10) return {};
    const size_t blockDesc = (size_t{data[6]} << 8) | data[7];
    const size_t start = 8 + blockDesc;
    if (start + 2 > reply.transferred) return {};
    const size_t end = std::min<size_t>(reply.transferred, start + 2 + data[start + 1]);
    return {data.begin() + static_cast<long>(start), data.begin() + static_cast<long>(end)};
}

std::optional<uint32_t> LastSessionStart(int Drive) {
    uint8_t data[12] = {};
    const CommandReply reply = Run(Drive, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, data, sizeof data, Direction::In);
    if (reply.status != 0 || reply.transferred < 12) return std::nullopt;
    return BigEndian32(data + 8);
}

std::vector<uint8_t> ReadToc(int Drive, bool Msf) {
    std::vector<uint8_t> data(2048);
    const CommandReply reply = Run(Drive, {0x43, static_cast<uint8_t>(Msf ? 2 : 0), 0, 0, 0, 0, 0, 0x08, 0x00, 0},
                                   data.data(), data.size(), Direction::In);
    if (reply.status != 0 || reply.transferred < 4) return {};
    data.resize(reply.transferred);
    return data;
}

}  // namespace vdrive::sg
