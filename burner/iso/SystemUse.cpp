#include "burner/iso/SystemUse.h"

#include <cstring>
#include <stdexcept>

#include "burner/iso/IsoFormat.h"
#include "burner/iso/SuspLayout.h"

namespace kestrel::iso {

namespace {

// Byte ranges of the entries of a packed run, in order.
struct TSpan {
    size_t From = 0, To = 0;
    size_t Bytes() const { return To - From; }
};

std::vector<TSpan> SplitEntries(const std::vector<uint8_t>& Entries) {
    std::vector<TSpan> spans;
    for (size_t at = 0; at < Entries.size();) {
        const size_t len = at + susp::LengthAt < Entries.size() ? Entries[at + susp::LengthAt] : 0;
        if (len < susp::HeaderBytes || at + len > Entries.size())
            throw std::logic_error("a system-use entry of a broken length was produced");
        spans.push_back({at, at + len});
        at += len;
    }
    return spans;
}

void PutCe(uint8_t* P, int64_t Sector, int64_t Offset, int64_t Length) {
    P[susp::SignatureAt] = 'C';
    P[susp::SignatureAt + 1] = 'E';
    P[susp::LengthAt] = susp::ce::Bytes;
    P[susp::VersionAt] = susp::EntryVersion;
    PutBoth32(P + susp::ce::BlockAt, FitU32(Sector, "continuation area"));
    PutBoth32(P + susp::ce::OffsetAt, FitU32(Offset, "continuation offset"));
    PutBoth32(P + susp::ce::LengthAt, FitU32(Length, "continuation length"));
}

// One continuation area of a chain: the entries it holds and where it lies.
struct TPiece {
    size_t FirstSpan = 0, EndSpan = 0;
    int64_t Offset = 0;
    int64_t Bytes = 0;  // entries plus the CE to the next piece, if any
};

size_t TakeWhileFits(const std::vector<TSpan>& Spans, size_t From, size_t Room, size_t& Taken) {
    size_t i = From;
    Taken = 0;
    while (i < Spans.size() && Taken + Spans[i].Bytes() <= Room) Taken += Spans[i++].Bytes();
    return i;
}

}  // namespace

int64_t TContinuationArea::Allocate(int64_t Bytes) {
    if (Bytes > SectorSize) throw std::logic_error("a continuation area larger than a sector was asked for");
    const int64_t room = SectorSize - used_ % SectorSize;
    if (Bytes > room) used_ += room;
    const int64_t at = used_;
    used_ += Bytes;
    if (keep_) data_.resize(static_cast<size_t>(SectorsFor(used_) * SectorSize), 0);
    return at;
}

int64_t TContinuationArea::Sectors() const { return SectorsFor(used_); }

std::vector<uint8_t> PackSystemUse(const std::vector<uint8_t>& Entries, size_t RecordRoom, TContinuationArea& Area,
                                   int64_t AreaSector) {
    std::vector<uint8_t> record;
    if (Entries.size() <= RecordRoom) {
        record = Entries;
    } else {
        if (RecordRoom < susp::ce::Bytes)
            throw std::logic_error("a directory record leaves no room for a continuation entry");
        const std::vector<TSpan> spans = SplitEntries(Entries);
        size_t inRecord = 0;
        const size_t kept = TakeWhileFits(spans, 0, RecordRoom - susp::ce::Bytes, inRecord);

        // Plan the chain: each piece fills what is left of the current
        // sector, ending in a CE when more is to come.
        std::vector<TPiece> pieces;
        for (size_t next = kept; next < spans.size();) {
            size_t rest = 0;
            for (size_t i = next; i < spans.size(); ++i) rest += spans[i].Bytes();
            TPiece piece;
            piece.FirstSpan = next;
            if (rest <= SectorSize) {
                piece.EndSpan = spans.size();
                piece.Bytes = static_cast<int64_t>(rest);
            } else {
                size_t taken = 0;
                piece.EndSpan = TakeWhileFits(spans, next, SectorSize - susp::ce::Bytes, taken);
                piece.Bytes = static_cast<int64_t>(taken + susp::ce::Bytes);
            }
            piece.Offset = Area.Allocate(piece.Bytes);
            pieces.push_back(piece);
            next = piece.EndSpan;
        }

        record.assign(Entries.begin(), Entries.begin() + static_cast<std::ptrdiff_t>(inRecord));
        record.resize(inRecord + susp::ce::Bytes);
        const auto ceFor = [&](uint8_t* At, const TPiece& Piece) {
            PutCe(At, AreaSector + Piece.Offset / SectorSize, Piece.Offset % SectorSize, Piece.Bytes);
        };
        ceFor(record.data() + inRecord, pieces.front());
        for (size_t p = 0; p < pieces.size(); ++p) {
            uint8_t* out = Area.At(pieces[p].Offset);
            if (!out) continue;
            const size_t from = spans[pieces[p].FirstSpan].From, to = spans[pieces[p].EndSpan - 1].To;
            std::memcpy(out, Entries.data() + from, to - from);
            if (p + 1 < pieces.size()) ceFor(out + (to - from), pieces[p + 1]);
        }
    }
    if (record.size() % 2) record.push_back(0);
    return record;
}

}  // namespace kestrel::iso
