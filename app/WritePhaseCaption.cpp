#include "app/WritePhaseCaption.h"

namespace kestrel::app {

QString WritePhaseCaption(TWritePhase Phase) {
    switch (Phase) {
        case TWritePhase::Preparing: return QStringLiteral("Preparing");
        case TWritePhase::Formatting: return QStringLiteral("Formatting");
        case TWritePhase::Writing: return QStringLiteral("Writing");
        case TWritePhase::Flushing: return QStringLiteral("Flushing");
        case TWritePhase::Closing: return QStringLiteral("Closing");
        case TWritePhase::Verifying: return QStringLiteral("Verifying");
        case TWritePhase::Idle: break;
    }
    return {};
}

}  // namespace kestrel::app
