#pragma once
// The few MMC commands the interposer sends on its own behalf, to answer
// the block and cdrom ioctls and plain reads the way the kernel's drivers
// would with a real drive.
#include <cstdint>
#include <optional>
#include <vector>

#include "model/DriveSet.h"

namespace vdrive::sg {

enum class MediumState { Present, Absent, TrayOpen };

MediumState QueryMedium(int Drive);
// Number of readable sectors (READ CAPACITY last LBA + 1); 0 when unknown.
uint32_t ReadableSectors(int Drive);
// Reads Count sectors at Lba into Out (2,048 bytes each).
bool ReadSectors(int Drive, uint32_t Lba, uint16_t Count, uint8_t* Out);
// Writes Count sectors at Lba from Data (WRITE (10)).
bool WriteSectors(int Drive, uint32_t Lba, uint16_t Count, const uint8_t* Data);
// The current profile from GET CONFIGURATION; 0 when none.
uint16_t CurrentProfile(int Drive);
bool StartStop(int Drive, bool LoadEject, bool Start);
bool PreventRemoval(int Drive, bool Prevent);
bool SetReadSpeed(int Drive, uint16_t KBps);
// The capabilities page (2Ah) without its mode header, or empty.
std::vector<uint8_t> CapabilitiesPage(int Drive);
// Start of the first track of the last session (READ TOC format 1).
std::optional<uint32_t> LastSessionStart(int Drive);
// READ TOC format 0 reply (header and descriptors), or empty.
std::vector<uint8_t> ReadToc(int Drive, bool Msf);

}  // namespace vdrive::sg
