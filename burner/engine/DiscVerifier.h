#pragma once
// Reads a burnt session back from the drive in large READ (10) blocks and
// compares each range of sectors with the fingerprint kept while it was
// written. Only a range that differs (or holds sectors the drive cannot
// read) is looked at more closely: its sectors are read again from the
// sources and compared one by one, and every sector found is named by the
// file it belongs to.
#include <atomic>
#include <cstdint>
#include <functional>
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
    enum class TReadResult { Read, Partly, Fatal };

    // Reads Count sectors into disc_; sectors the drive cannot read are
    // marked in unreadable_ (zeros in disc_). Fatal: Problem says why.
    TReadResult ReadRange(uint32_t Lba, uint32_t Count, std::string& Problem);
    // Names the sectors of a range whose fingerprint differs.
    void Resolve(const TSession& Session, int64_t StreamSector, uint32_t Count, TVerifyReport& Report);
    const TSectorMap& Map(const TSession& Session);

    TSCSICommands& device_;
    const std::atomic<bool>& abort_;
    std::atomic<int64_t>& bytesRead_;
    std::vector<uint8_t> disc_;
    std::vector<uint8_t> source_;
    std::vector<bool> unreadable_;
    int64_t unreadableCount_ = 0;
    std::optional<TSectorMap> map_;
};

}  // namespace kestrel
