#pragma once
// Turns the outcome of a request block into the texts of the message table:
// the request status, the sense key and the additional sense code.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "kestrel/aspi_srb.h"

namespace kestrel {

// Status text of a request (empty for pending and completed requests).
// Busy is set when the target reported status 08h and cleared otherwise.
std::string StatusText(uint8_t Status, uint8_t HaStat, uint8_t TargStat, bool& Busy);

// Sense key text of fixed-format sense data of Length bytes. Bytes beyond
// Length count as zero.
std::string SenseKeyText(const uint8_t* Sense, size_t Length);

// Additional sense text: the table's text, or the ASC and ASCQ in decimal
// joined by ",".
std::string AdditionalSenseMessage(uint8_t ASC, uint8_t ASCQ);

// The progress indicator of fixed-format sense data of Length bytes, as a
// fraction from 0 to 1: drives report how far a blank, format or close has
// come in the sense key specific bytes 15 to 17 (valid bit set) of their
// NOT READY (or NO SENSE) answers. nullopt when the data carry none.
std::optional<double> SenseProgressIndicator(const uint8_t* Sense, size_t Length);

// The error text of a completed-with-failure request: the status or sense key
// text, followed by " (", the additional sense text and ")" when the sense
// data carry an additional sense length.
std::string ErrorText(const SRB_ExecSCSICmd& Srb, bool& Busy);

}  // namespace kestrel
