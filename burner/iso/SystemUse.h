#pragma once
// The hook through which an image extension (Rock Ridge) adds system-use
// entries to directory records, and the packing of those entries: what fits
// goes into the record, the rest into continuation areas reached through
// CE entries.
#include <cstdint>
#include <vector>

#include "burner/iso/Entries.h"

namespace kestrel::iso {

enum class TRecordRole {
    Self,    // "." of Dir
    Parent,  // ".." of Dir
    Entry,   // a file or subdirectory listed in Dir
};

// Marks of the deep-directory relocation on the records they concern.
enum class TRelocationMark {
    None,
    Moved,        // the relocated directory's record in the relocation directory
    Placeholder,  // the record left at the directory's place in its real parent
    MovedParent,  // ".." of a relocated directory
};

// One directory record, as the extension sees it.
struct TRecordContext {
    TRecordRole Role = TRecordRole::Entry;
    const TDEntry* Dir = nullptr;        // the directory whose extent holds the record
    const TDEntry* Described = nullptr;  // the directory a Self, Parent or directory record stands for
    const TFEntry* Entry = nullptr;      // Role Entry: the entry listed
    int Piece = 0;                       // extent number of a file of several extents
    bool LastPiece = true;
    TRelocationMark Mark = TRelocationMark::None;
    int64_t LinkSector = 0;              // Placeholder: the moved directory; MovedParent: the real parent

    bool IsRootSelf() const { return Role == TRecordRole::Self && Dir && Dir->Parent == Dir; }
};

class TSystemUseProducer {
public:
    virtual ~TSystemUseProducer() = default;
    // Appends the system-use entries of one record to Out, complete (each
    // entry at most 255 bytes). The record writer keeps them in the record
    // as far as they fit and moves the rest to continuation areas; an entry
    // that must stay in the record (SP) comes first.
    virtual void Produce(const TRecordContext& Record, std::vector<uint8_t>& Out) const = 0;
};

// The continuation areas of one image: sectors after the primary tree's
// directory extents. Areas never cross a sector boundary. The layout runs
// it counting only; the head build runs it again with Data kept.
class TContinuationArea {
public:
    explicit TContinuationArea(bool KeepData) : keep_(KeepData) {}

    // Room for Bytes (at most a sector): the offset from the area's start.
    int64_t Allocate(int64_t Bytes);
    uint8_t* At(int64_t Offset) { return keep_ ? data_.data() + Offset : nullptr; }
    int64_t Sectors() const;
    const std::vector<uint8_t>& Data() const { return data_; }
    bool Empty() const { return used_ == 0; }

private:
    bool keep_;
    int64_t used_ = 0;
    std::vector<uint8_t> data_;
};

// Splits Entries (whole system-use entries back to back) into what the
// record holds, at most RecordRoom bytes, and continuation areas allocated
// from Area. Returns the bytes for the record (zero-padded to an even
// length); when Area keeps data the continuation bytes are written there,
// with CE entries pointing at AreaSector + their offsets.
std::vector<uint8_t> PackSystemUse(const std::vector<uint8_t>& Entries, size_t RecordRoom, TContinuationArea& Area,
                                   int64_t AreaSector);

}  // namespace kestrel::iso
