#pragma once
// The El Torito options of build-iso and burn: one BIOS boot entry, emulated
// (--boot) or not (--boot-no-emulation, with --boot-load-size and
// --boot-info-table), and an optional UEFI entry (--efi-boot).
#include <string>
#include <vector>

#include "burner/engine/KestrelBurner.h"
#include "cli/CliArgs.h"

namespace kestrel::cli {

// The boot options, for a command's option list.
std::vector<TOptionSpec> BootOptions();
// Their part of a usage line.
inline constexpr char BootUsage[] =
    "[--boot FILE | --boot-no-emulation FILE [--boot-load-size N] [--boot-info-table]] [--efi-boot FILE]";

// Applies the boot options to Burner and checks the boot files as the
// layout will. Empty, or why they cannot be used (nothing written then);
// contradicting options throw TUsageError.
std::string ApplyBootOptions(TKestrelBurner& Burner, const TParsedArgs& Args);

}  // namespace kestrel::cli
