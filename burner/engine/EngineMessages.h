#pragma once
// The recording engine's fixed texts (errors handed to OnWriteDone and log
// lines), and the helpers that fill them in.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace kestrel {

inline constexpr const char* msgCantOpenFile = "CAN'T OPEN FILE \"%s\" OR FILE IS IN USES BY OTHER SOFTWARE";
inline constexpr const char* msgCantReadFile = "CAN'T READ FILE \"%s\"";
inline constexpr const char* msgAbortedByUser = "OPERATION ABORTED BY USER";
inline constexpr const char* msgWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* msgWriterError = "WRITER ERROR";
inline constexpr const char* msgInternalError0005 = "INTERNAL ERROR 0005";
inline constexpr const char* msgStartingWrite = "STARTING WRITE PROCESS ON %s AT %s";
inline constexpr const char* msgTestWrite = "TEST/DUMMY WRITE";
inline constexpr const char* msgNoNextWritableAddress = "ERROR GETTING NEXT WRITABLE ADDRESS";
inline constexpr const char* msgNothingToWrite = "THE COMPILATION IS EMPTY: NOTHING TO WRITE";
inline constexpr const char* msgEmptyImageFile = "THE IMAGE FILE \"%s\" IS EMPTY: NOTHING TO WRITE";

// Message with its one %s replaced by Argument.
std::string FormatMessage(const char* Message, const std::string& Argument);
// The error for a source that is not a file: "CAN'T OPEN FILE "Path": IT
// IS A DIRECTORY" and so on, Mode giving its type.
std::string FormatNotAFile(const std::string& Path, mode_t Mode);
// A failure with the system's reason: Message (with Argument for its %s)
// followed by ": " and the text of Error.
std::string FormatWithReason(const char* Message, const std::string& Argument, int Error);
// The warnings for a source whose copy is not the file: its size is not the
// one laid out, it ended early while it was read, or it was written to
// while it was read.
std::string FormatChangedSize(const std::string& Path, int64_t Actual, int64_t LaidOut);
std::string FormatShortRead(const std::string& Path, int64_t Read, int64_t Expected);
std::string FormatChangedWhileRead(const std::string& Path);

}  // namespace kestrel
