#pragma once
// Hand-made discs for the hostile-input tests: volume descriptors and
// directory records written byte by byte, with any length, extent or name
// a broken or malicious disc might carry.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace kestrel::test {

// One directory record. RecordLength and NameLength, when set, override
// the values derived from the name, so records can lie about themselves.
struct TRec {
    std::string Name;  // raw identifier bytes
    uint32_t Extent = 0;
    uint32_t Length = 0;
    uint8_t Flags = 0;
    int RecordLength = -1;
    int NameLength = -1;
    uint8_t Date[7] = {104, 5, 6, 7, 8, 9, 0};  // 2004-05-06 07:08:09
    std::string SystemUse{};  // system-use bytes after the identifier (Rock Ridge)
};

inline TRec FileRec(const std::string& Name, uint32_t Extent, uint32_t Length) { return {Name, Extent, Length}; }
inline TRec DirRec(const std::string& Name, uint32_t Extent, uint32_t Length = 2048) {
    TRec r{Name, Extent, Length};
    r.Flags = 0x02;
    return r;
}

// UCS-2 big-endian bytes of an ASCII text.
inline std::string Ucs2(const std::string& Ascii) {
    std::string out;
    for (char c : Ascii) out += '\0', out += c;
    return out;
}

class TDiscBuilder {
public:
    static constexpr uint32_t kSector = 2048;

    explicit TDiscBuilder(uint32_t Sectors = 64) : bytes_(size_t(Sectors) * kSector, 0) {}

    uint8_t* Sector(uint32_t Lba) {
        if ((size_t(Lba) + 1) * kSector > bytes_.size()) bytes_.resize((size_t(Lba) + 1) * kSector, 0);
        return bytes_.data() + size_t(Lba) * kSector;
    }

    // Type 1 primary, 2 supplementary (Joliet escape unless told not), FFh terminator.
    void Descriptor(uint32_t Lba, uint8_t Type, uint32_t RootExtent = 0, uint32_t RootLength = 2048,
                    bool JolietEscape = true) {
        uint8_t* s = Sector(Lba);
        std::memset(s, 0, kSector);
        s[0] = Type;
        std::memcpy(s + 1, "CD001", 5);
        s[6] = 1;
        if (Type == 2 && JolietEscape) std::memcpy(s + 88, "%/E", 3);
        TRec root{std::string(1, '\0'), RootExtent, RootLength};
        root.Flags = 0x02;
        WriteRecord(s + 156, root);
    }

    // The descriptor fields a peer checks before it reads the tree: volume
    // size, set size and number, block size, file structure version.
    void PeerReadable(uint32_t Lba) {
        uint8_t* s = Sector(Lba);
        Both32(s + 80, Sectors());
        Both16(s + 120, 1);
        Both16(s + 124, 1);
        Both16(s + 128, kSector);
        s[881] = 1;
    }

    // Writes a record at Offset of sector Lba; returns the offset after it.
    size_t Record(uint32_t Lba, size_t Offset, const TRec& R) {
        uint8_t* s = Sector(Lba);
        const size_t length = RecordSize(R);
        if (Offset + 33 + R.Name.size() > kSector || Offset + length > kSector) {
            s[Offset] = static_cast<uint8_t>(length);  // only what fits: the length byte
            return Offset + length;
        }
        WriteRecord(s + Offset, R);
        return Offset + length;
    }

    // A directory at Lba: "." and ".." then Records, continuing in the next
    // sectors when a sector is full.
    // SelfSystemUse goes into the "." record (SP and ER in a root).
    void Directory(uint32_t Lba, uint32_t Parent, const std::vector<TRec>& Records, uint32_t Length = 2048,
                   const std::string& SelfSystemUse = "") {
        TRec self = DirRec(std::string(1, '\0'), Lba, Length);
        self.SystemUse = SelfSystemUse;
        size_t offset = Record(Lba, 0, self);
        offset = Record(Lba, offset, DirRec(std::string(1, '\1'), Parent));
        for (const TRec& r : Records) {
            if (offset + RecordSize(r) > kSector) {
                ++Lba;
                offset = 0;
            }
            offset = Record(Lba, offset, r);
        }
    }

    // Data of a file at Lba.
    void Data(uint32_t Lba, const std::string& Bytes) {
        for (size_t done = 0; done < Bytes.size(); done += kSector)
            std::memcpy(Sector(Lba + uint32_t(done / kSector)), Bytes.data() + done, std::min<size_t>(kSector, Bytes.size() - done));
    }

    // A disc with a primary volume whose root directory is at sector 20.
    static TDiscBuilder Primary(const std::vector<TRec>& Root, uint32_t RootLength = 2048) {
        TDiscBuilder disc;
        disc.Descriptor(16, 1, 20, RootLength);
        disc.Descriptor(17, 0xFF);
        disc.Directory(20, 20, Root, RootLength);
        return disc;
    }

    void Save(const std::string& Path) const { WriteFile(Path, std::string(bytes_.begin(), bytes_.end())); }
    uint32_t Sectors() const { return uint32_t(bytes_.size() / kSector); }

private:
    static size_t RecordSize(const TRec& R) {
        if (R.RecordLength >= 0) return size_t(R.RecordLength);
        const size_t size = 33 + R.Name.size();
        return size + (size % 2) + R.SystemUse.size();
    }

    static void Both16(uint8_t* At, uint16_t Value) {
        At[0] = At[3] = uint8_t(Value);
        At[1] = At[2] = uint8_t(Value >> 8);
    }

    static void Both32(uint8_t* At, uint32_t Value) {
        for (int i = 0; i < 4; ++i) {
            At[i] = uint8_t(Value >> (8 * i));
            At[7 - i] = uint8_t(Value >> (8 * i));
        }
    }

    static void WriteRecord(uint8_t* R, const TRec& Rec) {
        R[0] = static_cast<uint8_t>(RecordSize(Rec));
        Both32(R + 2, Rec.Extent);
        Both32(R + 10, Rec.Length);
        std::memcpy(R + 18, Rec.Date, 7);
        R[25] = Rec.Flags;
        R[28] = 1;
        R[32] = static_cast<uint8_t>(Rec.NameLength >= 0 ? Rec.NameLength : int(Rec.Name.size()));
        std::memcpy(R + 33, Rec.Name.data(), std::min<size_t>(Rec.Name.size(), 255 - 33));
        const size_t su = 33 + Rec.Name.size() + (Rec.Name.size() % 2 == 0 ? 1 : 0);
        if (su + Rec.SystemUse.size() <= 255) std::memcpy(R + su, Rec.SystemUse.data(), Rec.SystemUse.size());
    }

    std::vector<uint8_t> bytes_;
};

}  // namespace kestrel::test
