#pragma once
// Rock Ridge fields of the primary tree: the POSIX attributes, times, full
// names and symbolic links of every record, the relocation marks of deep
// directories, and the SP and ER entries of the root that announce them.
#include <cstdint>
#include <vector>

#include "burner/iso/SystemUse.h"

namespace kestrel::iso {

class TRockRidge : public TSystemUseProducer {
public:
    // Dates go out as the records' own dates do: local time with the zone
    // offset GMTOffset (15-minute units). Now dates the root.
    TRockRidge(int16_t GMTOffset, TDateTime Now) : gmtOffset_(GMTOffset), now_(Now) {}

    void Produce(const TRecordContext& Record, std::vector<uint8_t>& Out) const override;

    // Owner and group written for every file: the image does not carry the
    // source's owners, which mean nothing on another machine.
    static constexpr uint32_t Owner = 0;
    static constexpr uint32_t Group = 0;

private:
    void DescribeDirectory(const TDEntry* Dir, std::vector<uint8_t>& Out) const;
    void DescribeEntry(const TFEntry& Entry, std::vector<uint8_t>& Out) const;

    int16_t gmtOffset_;
    TDateTime now_;
};

// POSIX mode of an entry as written: its type bits from what the entry is,
// its permission bits from the source (defaults for entries without one).
uint32_t RockRidgeMode(const TFEntry* Entry, bool IsDirectory);

}  // namespace kestrel::iso
