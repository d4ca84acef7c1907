// ExtractFile: one file of an imported session copied from the disc, piece
// by piece, into a temporary file that is renamed into place only when every
// byte has been read and written.
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "burner/device/BusyWait.h"
#include "burner/engine/DirectoryRecord.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/PartFile.h"
#include "burner/engine/SessionPlace.h"
#include "burner/iso/DateTime.h"

namespace kestrel {

namespace {

// Each READ (10) asks for at most 31 sectors (63,488 bytes).
constexpr uint32_t kPieceSectors = 31;
constexpr size_t kBufferBytes = 65536;
constexpr const char* kExtractCancelled = "CANCELLED BY THE USER";

struct TExtractBuffer {
    alignas(4) uint8_t Bytes[kBufferBytes] = {};
};

std::string SectorRange(uint64_t First, uint64_t Count) {
    if (Count <= 1) return "SECTOR " + std::to_string(First);
    return "SECTORS " + std::to_string(First) + ".." + std::to_string(First + Count - 1);
}

}  // namespace

bool TKestrelBurner::ExtractFile(const TFEntry* Entry, const std::string& FileName, bool ReplaceExisting) {
    const auto fail = [&](const std::string& Why) {
        DebugMsg(">>> ERROR EXTRACTING FILE " + (Entry ? PrintableName(Entry->LongName) : std::string("?")) + ": " + Why,
                 mtFailure);
        return false;
    };
    if (!Entry || Entry->Dir || !Entry->Imported) return fail("NOT A FILE OF A SESSION ON THE DISC");
    if (Writing()) return fail("THE DRIVE IS WRITING");
    InfoMsg(">>> EXTRACTING FILE " + PrintableName(Entry->LongName) + " TO " + PrintableName(FileName));
    if (Entry->ISOSize < 0 || Entry->ISOSize >= (int64_t{1} << 32)) return fail("SIZE OF 4 GB OR MORE");

    const uint64_t sectors = SectorsFor(static_cast<uint32_t>(Entry->ISOSize));
    const uint64_t first = static_cast<uint32_t>(Entry->ISOExtent);
    if (const auto end = ReadableEnd(*this); end && first + sectors > *end)
        return fail("ITS DATA (" + SectorRange(first, sectors) + ") RUNS PAST THE END OF THE DISC (SECTOR " +
                    std::to_string(*end - 1) + ")");
    struct stat existing{};
    if (::lstat(FileName.c_str(), &existing) == 0) {
        if (!ReplaceExisting) return fail(FileName + " ALREADY EXISTS (NOT REPLACED)");
        if (S_ISDIR(existing.st_mode)) return fail(FileName + " IS A DIRECTORY");
    }

    TPartFile part(FileName);  // throws when the local file cannot be created
    auto buffer = std::make_unique<TExtractBuffer>();
    std::string error;
    uint32_t lba = static_cast<uint32_t>(first);
    uint64_t remaining = static_cast<uint64_t>(Entry->ISOSize);
    while (remaining > 0) {
        const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(remaining, kPieceSectors * kDiscSectorBytes));
        const uint32_t count = SectorsFor(bytes);
        const bool read = AskWhileBusy(*this, [&] {
            return Read10(lba, static_cast<uint16_t>(count), buffer->Bytes, count * uint32_t(kDiscSectorBytes));
        });
        if (!read && DriveBusy(*this)) return fail(DriveBusyText(*this));
        if (!read || LastTransferred < bytes) return fail("READ ERROR IN " + SectorRange(lba, count));
        if (!part.Write(buffer->Bytes, bytes, error)) return fail(error);
        lba += count;
        remaining -= bytes;
        const auto size = static_cast<uint64_t>(Entry->ISOSize);
        if (OnExtractProgress && !OnExtractProgress(size - remaining, size)) return fail(kExtractCancelled);
    }
    if (!part.Commit(DateTimeToUnix(Entry->DateTime), ReplaceExisting, error)) return fail(error);
    return true;
}

}  // namespace kestrel
