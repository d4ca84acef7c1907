#pragma once
// The recorded structure of one disc: its kind, sessions and tracks, and the
// rules for where it may be written. Pure state, no I/O: the drive moves the
// sector data and asks this class what is allowed.
//
// Sequential media keep a list of tracks. A track that is neither closed nor
// reserved is the incomplete track being written; after the last track comes
// the "invisible" track, the free space where a new track would start.
// CD sessions after a closed one start behind the lead-out and lead-in a real
// recorder leaves: 11,400 blocks after the first session (6,750 lead-out,
// 4,500 lead-in, 150 pre-gap) and 6,900 after later ones (2,250 lead-out,
// 4,500 lead-in, 150 pre-gap). DVD sessions follow each other directly.
//
// Overwritable media (DVD+RW, DVD-RAM, DVD-RW restricted overwrite, BD-RE)
// hold one track over the formatted area; its "recorded" count is the
// high-water mark of what was ever written.
//
// BD is recorded in clusters of 32 blocks. A BD-R takes writes of any length
// at its next writable address; the drive holds a cluster it has only partly
// received until more follows, and pads its rest when its cache is flushed
// or the track is closed, so the next writable address then moves on to the
// start of the next cluster. BD-R and BD-RE may be formatted with spare
// areas; the drive then verifies each write and replaces bad clusters from
// the spare blocks, which are no longer part of the user capacity.
#include <cstdint>
#include <string>
#include <vector>

#include "model/MediaKind.h"

namespace vdrive {

struct Track {
    uint32_t session = 1;
    uint32_t start = 0;
    uint32_t reserved = 0;  // reserved size in blocks; 0 when not reserved
    uint32_t recorded = 0;  // blocks written from start
    bool closed = false;

    uint32_t Size() const { return reserved > recorded ? reserved : recorded; }
    uint32_t End() const { return start + Size(); }
    uint32_t Nwa() const { return start + recorded; }
    bool operator==(const Track&) const = default;
};

enum class DiscStatus : uint8_t { Empty = 0, Incomplete = 1, Complete = 2 };
enum class SessionState : uint8_t { Empty = 0, Incomplete = 1, Complete = 3 };

// Blanking types of the BLANK command.
enum class BlankType : uint8_t { Full = 0, Minimal = 1, UncloseSession = 5, LastSession = 6 };

inline constexpr uint32_t kFirstSessionGap = 11400;
inline constexpr uint32_t kLaterSessionGap = 6900;

struct BlockRange {
    uint32_t start = 0;
    uint32_t count = 0;
};

class Medium {
public:
    static Medium Blank(MediaKind Kind);
    // A disc holding Blocks of data as one closed session. Pressed media are
    // complete; writable ones stay appendable when Appendable is set.
    static Medium WithImage(MediaKind Kind, uint32_t Blocks, bool Appendable);

    const MediaTraits& Traits() const { return TraitsOf(kind); }
    bool IsCd() const { return Traits().cd; }
    bool IsSequential() const { return Traits().recording == Recording::Sequential; }
    bool IsOverwrite() const { return Traits().recording == Recording::Overwrite; }
    bool IsPressed() const { return Traits().recording == Recording::Pressed; }
    bool IsBd() const { return Traits().bd; }
    // Writes are read back and checked (BD with spare areas).
    bool VerifiesWrites() const { return spareBlocks > 0; }

    // What READ DISC INFORMATION reports.
    DiscStatus Status() const;
    SessionState LastSessionState() const;
    uint32_t SessionCount() const;  // the empty open session included
    uint32_t OpenSession() const { return closedSessions + 1; }
    uint32_t FirstTrackInLastSession() const;
    uint32_t LastTrackInLastSession() const;
    uint32_t CompleteSessions() const;  // sessions with a table of contents

    // The incomplete or invisible track; 0 when the disc takes no new data.
    uint32_t InvisibleTrackNumber() const;
    bool LastIsIncomplete() const;
    uint32_t NextTrackStart() const;  // where a new track would begin
    // Where the open session begins: its first track, written or reserved,
    // or where a new track would begin when it holds none.
    uint32_t OpenSessionStart() const;
    bool Appendable() const;          // a new track may still start
    uint32_t RecordedEnd() const;     // one past the last recorded block

    // Reading: true when the block holds recorded data (or, on formatted
    // overwritable media, lies inside the formatted area).
    bool IsReadable(uint32_t Lba) const;
    uint32_t FormattedBlocks() const;  // overwritable media; 0 when unformatted

    // Writing: PlanWrite checks the address and returns the index of the
    // track that receives the data, or tracks.size() for a new track;
    // CommitWrite records it. Both throw CheckCondition on a broken rule.
    size_t PlanWrite(uint32_t Lba, uint32_t Count) const;
    void CommitWrite(size_t TrackIndex, uint32_t Lba, uint32_t Count);

    void ReserveTrack(uint32_t Blocks);
    void CloseTrack(uint32_t Number);
    void CloseSession(bool Finalize);
    // Flushing the drive's cache: the partly written cluster of an open BD-R
    // track is padded.
    void PadPartialUnits();
    // Returns the blocks whose content is erased.
    BlockRange BlankDisc(BlankType Type);
    // Format type, block count and subtype of a FORMAT UNIT descriptor.
    // Returns true when the recorded content is erased.
    bool FormatDisc(uint8_t FormatType, uint32_t Blocks, uint8_t Subtype = 0);

    std::string ToText() const;
    static Medium FromText(const std::string& Text);  // throws std::runtime_error

    bool operator==(const Medium&) const = default;

    MediaKind kind = MediaKind::CdR;
    uint32_t capacity = 0;
    bool formatted = false;
    bool finalized = false;
    uint32_t closedSessions = 0;
    uint32_t spareBlocks = 0;  // BD formatted with spare areas
    std::vector<Track> tracks;

private:
    void RequireWritable() const;
    void CloseOpenTracks();
    uint32_t WholeUnits(uint32_t Blocks) const;  // rounded up to the recording unit
    bool FormatBd(uint8_t FormatType, uint32_t Blocks, uint8_t Subtype);
    void FormatOverwritable(MediaKind Kind, uint32_t Blocks, uint32_t Spare);
};

}  // namespace vdrive
