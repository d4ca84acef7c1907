#pragma once
// Number formats the window shows: sizes in MB with two decimals, byte
// counts with thousands separators, and the write-speed entries.
#include <cstdint>
#include <string>

namespace kestrel::app {

// Value with thousands separators and Decimals digits after the point,
// rounded half away from zero: 1234.5 with 2 gives "1,234.50".
std::string FormatGrouped(double Value, int Decimals);

// Bytes / 1048576 as "#,##0.00": 13107200 gives "12.50".
std::string FormatMB(int64_t Bytes);

// A byte count as "#,##": thousands separators, no decimals, empty for 0.
std::string FormatSizeCell(int64_t Bytes);

// The unit of the speed list: 1x of the disc in the drive.
enum class TSpeedUnit { CD, DVD, BD };
// CD for the CD medium types (codes below 4), BD for Blu-ray, DVD otherwise.
TSpeedUnit SpeedUnitOf(unsigned MediumType);

// One entry of the speed list for an actual speed in KB/s: "24X (4,234 KB/s)"
// for CD media, "4.0X (5,540 KB/s)" for DVD (1x = 1,385 KB/s), "2.0X (8,991
// KB/s)" for BD (1x = 4,495.5 KB/s).
std::string SpeedEntry(int KBps, TSpeedUnit Unit);

// The speed in KB/s an entry stands for: "Max" or an empty text gives 0;
// otherwise the factor before the first "X" times 177 (CD), 1385 (DVD) or
// 4495.5 (BD), rounded. A text that holds no number gives 0 (the drive's
// maximum).
uint16_t SpeedFromText(const std::string& Entry, TSpeedUnit Unit);

// The step between two entries of the speed list in KB/s.
int SpeedListStep(TSpeedUnit Unit);

}  // namespace kestrel::app
