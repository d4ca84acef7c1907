#include "burner/engine/WriteDigest.h"

#include <cstring>

namespace kestrel {
namespace {

constexpr size_t kSector = 2048;
constexpr uint64_t kPrime1 = 11400714785074694791ULL;
constexpr uint64_t kPrime2 = 14029467366897019727ULL;
constexpr uint64_t kPrime3 = 1609587929392839161ULL;
constexpr uint64_t kPrime4 = 9650029242287828579ULL;
constexpr uint64_t kSeed = 0x4B657374726C6421ULL;

uint64_t RotateLeft(uint64_t Value, int Bits) { return (Value << Bits) | (Value >> (64 - Bits)); }

uint64_t Word(const uint8_t* Bytes) {
    uint64_t value;
    std::memcpy(&value, Bytes, sizeof value);
    return value;
}

uint64_t Round(uint64_t Accumulator, uint64_t Input) {
    return RotateLeft(Accumulator + Input * kPrime2, 31) * kPrime1;
}

uint64_t Avalanche(uint64_t Value) {
    Value ^= Value >> 33;
    Value *= kPrime2;
    Value ^= Value >> 29;
    Value *= kPrime3;
    return Value ^ (Value >> 32);
}

// Four independent lanes over the sector's words, so the multiplications
// overlap: the digest keeps up with any drive's reading rate.
uint64_t SectorDigest(const uint8_t* Sector) {
    uint64_t lane[4] = {kSeed + kPrime1 + kPrime2, kSeed + kPrime2, kSeed, kSeed - kPrime1};
    for (size_t at = 0; at < kSector; at += 32)
        for (int i = 0; i < 4; ++i) lane[i] = Round(lane[i], Word(Sector + at + 8 * i));
    uint64_t digest = RotateLeft(lane[0], 1) + RotateLeft(lane[1], 7) + RotateLeft(lane[2], 12) + RotateLeft(lane[3], 18);
    for (uint64_t value : lane) digest = (digest ^ Round(0, value)) * kPrime1 + kPrime4;
    return Avalanche(digest);
}

uint64_t Fold(uint64_t Range, const uint8_t* Sector) { return Round(Range, SectorDigest(Sector)); }

uint64_t Finish(uint64_t Range, uint32_t Sectors) { return Avalanche(Range ^ Sectors); }

}  // namespace

uint64_t RangeDigest(const uint8_t* Data, uint32_t Sectors) {
    uint64_t range = kSeed;
    for (uint32_t i = 0; i < Sectors; ++i) range = Fold(range, Data + size_t(i) * kSector);
    return Finish(range, Sectors);
}

void TWriteDigest::Start(int64_t Sectors) {
    total_ = Sectors < 0 ? 0 : Sectors;
    added_ = 0;
    current_ = kSeed;
    inCurrent_ = 0;
    ranges_.clear();
    ranges_.reserve(static_cast<size_t>((total_ + kDigestRangeSectors - 1) / kDigestRangeSectors));
}

void TWriteDigest::Add(const uint8_t* Data, size_t Bytes) {
    for (size_t at = 0; at + kSector <= Bytes && added_ < total_; at += kSector) {
        current_ = Fold(current_, Data + at);
        ++added_;
        if (++inCurrent_ == kDigestRangeSectors || added_ == total_) CloseRange();
    }
}

void TWriteDigest::CloseRange() {
    ranges_.push_back(Finish(current_, inCurrent_));
    current_ = kSeed;
    inCurrent_ = 0;
}

}  // namespace kestrel
