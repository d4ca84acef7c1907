#pragma once
// The recording engine's fixed texts (errors handed to OnWriteDone and log
// lines), and the helpers that fill them in.
#include <cstdint>
#include <string>

namespace kestrel {

inline constexpr const char* msgCantOpenFile = "CAN'T OPEN FILE \"%s\" OR FILE IS IN USES BY OTHER SOFTWARE";
inline constexpr const char* msgCantReadFile = "CAN'T READ FILE \"%s\"";
inline constexpr const char* msgCantCreateFile = "CAN'T CREATE FILE \"%s\"";
inline constexpr const char* msgCantWriteFile = "CAN'T WRITE FILE \"%s\"";
inline constexpr const char* msgAbortedByUser = "OPERATION ABORTED BY USER";
inline constexpr const char* msgWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* msgWriterError = "WRITER ERROR";
inline constexpr const char* msgInternalError0005 = "INTERNAL ERROR 0005";
inline constexpr const char* msgStartingWrite = "STARTING WRITE PROCESS ON %s AT %s";
inline constexpr const char* msgTestWrite = "TEST/DUMMY WRITE";
inline constexpr const char* msgNoNextWritableAddress = "ERROR GETTING NEXT WRITABLE ADDRESS";

// Message with its one %s replaced by Argument.
std::string FormatMessage(const char* Message, const std::string& Argument);
// The warning for a source whose size is not the one laid out.
std::string FormatChangedSize(const std::string& Path, int64_t Actual, int64_t LaidOut);

}  // namespace kestrel
