#include "burner/engine/WriteDigest.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrel {
namespace {

constexpr size_t kSector = 2048;
constexpr uint64_t kPrime1 = 11400714785074694791ULL;
constexpr uint64_t kPrime2 = 14029467366897019727ULL;
constexpr uint64_t kPrime3 = 1609587929392839161ULL;
constexpr uint64_t kPrime4 = 9650029242287828579ULL;
constexpr uint64_t kSeed = 0x4B657374726C6421ULL;

uint64_t RotateLeft(uint64_t Value, int Bits) { return (Value << Bits) | (Value >> (64 - Bits)); }

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

// Keys of the eight lanes of each stripe of 64 bytes: the same bytes at
// another place of the sector count differently.
struct TStripeKeys {
    uint64_t Key[32][8];
};

constexpr TStripeKeys MakeStripeKeys() {
    constexpr uint64_t lanes[8] = {0xBE4BA423396CFEB8ULL, 0x1CAD21F72C81017CULL, 0xDB979083E96DD4DEULL,
                                   0x1F67B3B7A4A44072ULL, 0x78E5C0CC4EE679CBULL, 0x2172FFCC7DD05A82ULL,
                                   0x8E2443F7744608B8ULL, 0x4C263A81E69035E0ULL};
    TStripeKeys keys{};
    for (int stripe = 0; stripe < 32; ++stripe)
        for (int i = 0; i < 8; ++i) keys.Key[stripe][i] = lanes[i] + uint64_t(stripe) * 0x9E3779B97F4A7C15ULL;
    return keys;
}

constexpr TStripeKeys kStripeKeys = MakeStripeKeys();

// Eight lanes; each word adds the product of its keyed halves to its own
// lane and itself to its neighbour's. The lanes are independent, so the
// work overlaps and the digest keeps far ahead of any drive's reading rate.
#if defined(__SSE2__)
void AddSector(const uint8_t* Sector, uint64_t (&Lane)[8]) {
    __m128i lanes[4];
    for (int v = 0; v < 4; ++v) lanes[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Lane + 2 * v));
    for (size_t stripe = 0; stripe < kSector / 64; ++stripe) {
        for (int v = 0; v < 4; ++v) {
            const __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Sector + stripe * 64 + 16 * v));
            const __m128i key = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kStripeKeys.Key[stripe] + 2 * v));
            const __m128i keyed = _mm_xor_si128(word, key);
            const __m128i product = _mm_mul_epu32(keyed, _mm_srli_epi64(keyed, 32));
            const __m128i neighbour = _mm_shuffle_epi32(word, _MM_SHUFFLE(1, 0, 3, 2));
            lanes[v] = _mm_add_epi64(lanes[v], _mm_add_epi64(product, neighbour));
        }
    }
    for (int v = 0; v < 4; ++v) _mm_storeu_si128(reinterpret_cast<__m128i*>(Lane + 2 * v), lanes[v]);
}
#else
uint64_t Word(const uint8_t* Bytes) {
    uint64_t value;
    std::memcpy(&value, Bytes, sizeof value);
    return value;
}

void AddSector(const uint8_t* Sector, uint64_t (&Lane)[8]) {
    for (size_t stripe = 0; stripe < kSector / 64; ++stripe) {
        const uint64_t* key = kStripeKeys.Key[stripe];
        for (int i = 0; i < 8; ++i) {
            const uint64_t word = Word(Sector + stripe * 64 + 8 * i);
            const uint64_t keyed = word ^ key[i];
            Lane[i ^ 1] += word;
            Lane[i] += (keyed & 0xFFFFFFFFu) * (keyed >> 32);
        }
    }
}
#endif

uint64_t SectorDigest(const uint8_t* Sector) {
    uint64_t lane[8] = {kPrime1, kPrime2, kPrime3, kPrime4, kSeed, kPrime1 ^ kSeed, kPrime2 ^ kSeed, kPrime3 ^ kSeed};
    AddSector(Sector, lane);
    uint64_t digest = kSeed;
    for (uint64_t value : lane) digest = Round(digest, value);
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
