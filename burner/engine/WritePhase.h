#pragma once
// The steps of a write, as front ends name them while it runs.
#include <cstdint>

namespace kestrel {

// What the running write of a TKestrelBurner is doing. The write thread sets
// it at each step; front ends poll it with WritePhase() and, for the phases
// whose progress is known, WritePhaseProgress(). A write passes through the
// phases in this order, leaving out those its target and medium do not
// need (an image file goes Preparing, Writing, Idle); a failure or an abort
// goes on with Flushing, skips Closing and ends in Idle. A burn that
// verifies reads the disc back in Verifying before it ends.
enum class TWritePhase : uint8_t {
    Idle,        // no write runs (also once the write has ended)
    Preparing,   // checks, the layout for the disc, the read-ahead filling,
                 // the drive's speeds and write parameters
    Formatting,  // the drive formats the disc (a DVD-RW or a blank BD-RE
                 // before the burn, a DVD+RW on its first write); it may
                 // report its progress
    Writing,     // the image's data goes to the drive or to the image file;
                 // progress is the bytes sent of WriteTotalBytes()
    Flushing,    // the drive writes out its buffer (and, on overwritable
                 // media, the copy of the volume descriptors at its start)
    Closing,     // the drive closes the track and the session (and the disc
                 // when it is finalized); it may report its progress
    Verifying,   // the new session is read back and compared with what was
                 // written; progress is BytesVerified() of VerifyTotalBytes()
};

}  // namespace kestrel
