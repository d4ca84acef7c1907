// ExtractFile: one file of an imported session copied from the disc, extent
// by extent and piece by piece, into a temporary file that is renamed into
// place only when every byte has been read and written; a symbolic link of
// the disc made a link again.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <system_error>

#include "burner/device/BusyWait.h"
#include "burner/engine/DirectoryRecord.h"
#include "burner/engine/Extract.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/LocalFolder.h"
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

bool AllZero(const uint8_t* Bytes, size_t Length) {
    static const uint8_t zeros[kBufferBytes] = {};
    return std::memcmp(Bytes, zeros, Length) == 0;
}

// The extents an imported file's bytes lie in, in order.
std::vector<TFileExtent> ExtentsToRead(const TFEntry& Entry) {
    if (!Entry.Extents.empty()) return Entry.Extents;
    if (Entry.ISOSize <= 0 || Entry.ISOSize > int64_t(UINT32_MAX)) return {};
    return {{static_cast<uint32_t>(Entry.ISOExtent), static_cast<uint32_t>(Entry.ISOSize)}};
}

uint64_t BytesOf(const std::vector<TFileExtent>& Extents) {
    uint64_t bytes = 0;
    for (const TFileExtent& e : Extents) bytes += e.Bytes;
    return bytes;
}

// Copies the bytes of Extents into Part; runs of zero bytes become holes.
// Progress is told after each piece and stops the copy when it says so.
// False with Error set on the first failure.
bool CopyExtents(TKestrelBurner& Burner, const std::vector<TFileExtent>& Extents, TPartFile& Part,
                 const std::function<bool(uint64_t Copied, uint64_t Size)>& Progress, std::string& Error) {
    auto buffer = std::make_unique<TExtractBuffer>();
    const uint64_t size = BytesOf(Extents);
    uint64_t copied = 0;
    for (const TFileExtent& extent : Extents) {
        uint32_t lba = extent.Lba;
        uint64_t remaining = extent.Bytes;
        while (remaining > 0) {
            const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(remaining, kPieceSectors * kDiscSectorBytes));
            const uint32_t count = SectorsFor(bytes);
            const bool read = AskWhileBusy(Burner, [&] {
                return Burner.Read10(lba, static_cast<uint16_t>(count), buffer->Bytes, count * uint32_t(kDiscSectorBytes));
            });
            if (!read && DriveBusy(Burner)) {
                Error = DriveBusyText(Burner);
                return false;
            }
            if (!read || Burner.LastTransferred < bytes) {
                Error = "READ ERROR IN " + SectorText(lba, count);
                return false;
            }
            if (!(AllZero(buffer->Bytes, bytes) ? Part.Skip(bytes, Error) : Part.Write(buffer->Bytes, bytes, Error)))
                return false;
            lba += count;
            remaining -= bytes;
            copied += bytes;
            if (Progress && !Progress(copied, size)) {
                Error = kExtractCancelled;
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool TKestrelBurner::ExtractFile(const TFEntry* Entry, const std::string& FileName, bool ReplaceExisting) {
    const size_t slash = FileName.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : FileName.substr(0, slash);
    const std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    const auto folder = TLocalFolder::Open(folderPath);
    if (!folder) throw std::system_error(errno, std::generic_category(), "cannot open the folder " + folderPath);
    return ExtractFile(Entry, *folder, name, ReplaceExisting, 0);
}

bool TKestrelBurner::ExtractFile(const TFEntry* Entry, const TLocalFolder& Folder, const std::string& Name,
                                 bool ReplaceExisting, int Depth) {
    const auto fail = [&](const std::string& Why) {
        DebugMsg(">>> ERROR EXTRACTING FILE " + (Entry ? PrintableName(LocalName(*Entry)) : std::string("?")) + ": " + Why,
                 mtFailure);
        return false;
    };
    if (!Entry || Entry->Dir || !Entry->Imported) return fail("NOT A FILE OF A SESSION ON THE DISC");
    if (Writing()) return fail("THE DRIVE IS WRITING");
    const std::string shown = Folder.PathOf(Name);
    InfoMsg(">>> EXTRACTING FILE " + PrintableName(LocalName(*Entry)) + " TO " + PrintableName(shown));
    if (!IsSafeComponent(Name)) return fail("NOT A NAME INSIDE ITS FOLDER: " + PrintableName(Name));

    const std::vector<TFileExtent> extents = Entry->IsLink() ? std::vector<TFileExtent>{} : ExtentsToRead(*Entry);
    if (!Entry->IsLink() && BytesOf(extents) != static_cast<uint64_t>(std::max<int64_t>(Entry->ISOSize, 0)))
        return fail("ITS EXTENTS DO NOT HOLD ITS SIZE OF " + std::to_string(Entry->ISOSize) + " BYTES");
    if (const auto end = ReadableEnd(*this))
        for (const TFileExtent& e : extents)
            if (uint64_t(e.Lba) + SectorsFor(e.Bytes) > *end)
                return fail("ITS DATA (" + SectorText(e.Lba, SectorsFor(e.Bytes)) + ") RUNS PAST THE END OF THE DISC (SECTOR " +
                            std::to_string(*end - 1) + ")");
    struct stat existing{};
    if (::fstatat(Folder.Fd(), Name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!ReplaceExisting) return fail(shown + " ALREADY EXISTS (NOT REPLACED)");
        if (S_ISDIR(existing.st_mode)) return fail(shown + " IS A DIRECTORY");
    }

    const time_t when = DateTimeToUnix(Entry->DateTime);
    std::string error;
    if (Entry->IsLink()) {
        if (LinkLeavesFolder(Entry->LinkTarget, Depth))
            return fail("ITS LINK TARGET " + PrintableName(Entry->LinkTarget) + " LEADS OUT OF THE FOLDER EXTRACTED INTO");
        return PlaceLink(Folder, Name, Entry->LinkTarget, when, ReplaceExisting, error) || fail(error);
    }
    TPartFile part(Folder, Name);  // throws when the local file cannot be created
    if (!CopyExtents(*this, extents, part, OnExtractProgress, error)) return fail(error);
    const mode_t permissions = Entry->Mode ? static_cast<mode_t>(Entry->Mode & kRestoredPermissions) : static_cast<mode_t>(-1);
    if (!part.Commit(when, permissions, ReplaceExisting, error)) return fail(error);
    return true;
}

}  // namespace kestrel
