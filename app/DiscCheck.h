#pragma once
// What stands in the way of writing to the disc in the drive, told before
// any question about the write, in words that say what to do about it.
#include <QString>

#include <cstdint>

#include "app/DiscSpace.h"

namespace kestrel::app {

enum class TWriteKind { Burn, ImageBurn };

enum class TDiscProblem {
    None,
    NoDisc,       // wait for one
    NotWritable,  // a pressed disc (CD-ROM, DVD-ROM)
    WrongMedium,  // the drive cannot write this kind of disc
    Closed,       // finalized: nothing more can be added
    NotBlank,     // an image goes onto a blank disc only
    Full,         // no space left, or too little for the image
};

struct TDiscVerdict {
    TDiscProblem Problem = TDiscProblem::None;
    QString Text;  // the message box's text; empty for None
};

// Judges Disc for a write of Kind by a drive with the capability flags
// Capabilities. ImageBytes is the size of the image an image burn writes
// (0: not known); how much a compilation needs is asked about later, once
// its layout is known.
TDiscVerdict JudgeDisc(const TDiscSpace& Disc, uint32_t Capabilities, TWriteKind Kind, int64_t ImageBytes = 0);

// Whether a drive with these capability flags writes discs of MediumType;
// true for kinds it has no flag for.
bool DriveWritesMedium(uint32_t Capabilities, uint8_t MediumType);

// The kinds of disc the drive writes: "CD-R, CD-RW, DVD+R".
QString WritableMediaText(uint32_t Capabilities);

}  // namespace kestrel::app
