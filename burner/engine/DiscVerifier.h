#pragma once
// Reads a burnt session back from the drive in large READ (10) blocks and
// compares each range of sectors with the fingerprint kept while it was
// written. A helper thread fingerprints what was read while the drive
// reads on, so the read-back goes at the drive's pace. Only a range that
// differs (or holds sectors the drive cannot read) is looked at more
// closely: its sectors are read again from the sources and compared one by
// one, and every sector found is named by the file it belongs to.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "burner/device/SCSICommands.h"
#include "burner/engine/SectorMap.h"
#include "burner/engine/StreamSources.h"
#include "burner/engine/VerifyReport.h"
#include "burner/engine/WriteDigest.h"

namespace kestrel {

class TDiscVerifier {
public:
    // Unreadable sectors after which the reading stops: a disc that bad
    // would keep the drive retrying for hours.
    static constexpr int64_t kMaxUnreadable = 256;

    struct TSession {
        uint32_t StartLBA = 0;  // where the stream's first sector lies on the disc
        const TWriteDigest* Digest = nullptr;
        const TStreamSources* Sources = nullptr;
        // Names the sectors; made the first time a sector must be named.
        std::function<TSectorMap()> MakeMap;
    };

    // Abort stops the reading between two blocks; BytesRead counts the
    // bytes read back so far.
    TDiscVerifier(TSCSICommands& Device, const std::atomic<bool>& Abort, std::atomic<int64_t>& BytesRead);

    // Reads the whole stream back. Report gets the findings, and the
    // outcome Aborted or Failed when the reading did not get to the end
    // (else its outcome is left as it was).
    void Run(const TSession& Session, TVerifyReport& Report);
    // Reads Sectors sectors (at most kDigestRangeSectors) from Lba and
    // compares them with Expected, held in memory; what differs is the file
    // system's own structures.
    void CompareWith(uint32_t Lba, const uint8_t* Expected, uint32_t Sectors, TVerifyReport& Report);

private:
    // Ranges read between two hand-overs to the fingerprinting thread, and
    // the batches in flight.
    static constexpr uint32_t kBatchRanges = 8;
    static constexpr size_t kBatches = 4;

    enum class TReadResult { Read, Partly, Fatal };
    enum class TBatchState { Free, Read, Fingerprinted };

    // Ranges First.. of the stream, read back, with the fingerprints the
    // helper thread found for them.
    struct TBatch {
        TBatchState State = TBatchState::Free;
        int64_t First = 0;
        uint32_t Ranges = 0;
        uint32_t Sectors = 0;
        std::vector<uint8_t> Data;
        std::vector<bool> Unreadable;  // per sector of Data
        std::array<uint64_t, kBatchRanges> Digests{};
    };

    // Reads Count sectors into Into; sectors the drive cannot read are
    // marked in Unreadable (zeros in Into). Fatal: Problem says why.
    TReadResult ReadRange(uint32_t Lba, uint32_t Count, uint8_t* Into, std::vector<bool>::iterator Unreadable,
                          std::string& Problem);
    // Reads the ranges of Batch; false when the reading must stop (Report
    // then says why).
    bool ReadBatch(const TSession& Session, TBatch& Batch, TVerifyReport& Report);
    // The helper thread: fingerprints each batch read, in order.
    void Fingerprint(int64_t Ranges);
    // Waits until the helper has fingerprinted Batch (if it was read) and
    // compares; the batch is free again.
    void Conclude(const TSession& Session, TBatch& Batch, TVerifyReport& Report);
    // Names the sectors of a range whose fingerprint differs.
    void Resolve(const TSession& Session, int64_t StreamSector, uint32_t Count, const uint8_t* Disc,
                 std::vector<bool>::const_iterator Unreadable, TVerifyReport& Report);
    const TSectorMap& Map(const TSession& Session);

    TSCSICommands& device_;
    const std::atomic<bool>& abort_;
    std::atomic<int64_t>& bytesRead_;
    std::array<TBatch, kBatches> batches_;
    std::mutex batchLock_;
    std::condition_variable batchChanged_;
    bool stopFingerprinting_ = false;
    std::vector<uint8_t> source_;
    int64_t unreadableCount_ = 0;
    std::optional<TSectorMap> map_;
};

}  // namespace kestrel
