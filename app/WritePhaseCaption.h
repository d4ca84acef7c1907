#pragma once
// What the progress display calls each step of a running write.
#include <QString>

#include "burner/engine/WritePhase.h"

namespace kestrel::app {

// "Preparing", "Formatting", "Writing", "Flushing", "Closing", "Verifying";
// empty while no write runs.
QString WritePhaseCaption(TWritePhase Phase);

}  // namespace kestrel::app
