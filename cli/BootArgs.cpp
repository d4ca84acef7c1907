#include "cli/BootArgs.h"

#include <sys/stat.h>

#include <exception>

namespace kestrel::cli {

namespace {

// Empty, or why Path cannot be a boot file.
std::string Unreadable(const std::string& What, const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return "the " + What + " \"" + Path + "\" is not a readable file";
    return {};
}

void CheckCombination(const TParsedArgs& Args) {
    if (Args.Has("--boot") && Args.Has("--boot-no-emulation"))
        throw TUsageError("--boot and --boot-no-emulation both give the BIOS boot entry; choose one");
    for (const char* option : {"--boot-load-size", "--boot-info-table"})
        if (Args.Has(option) && !Args.Has("--boot-no-emulation"))
            throw TUsageError(std::string(option) + " belongs to --boot-no-emulation");
}

int32_t LoadSize(const TParsedArgs& Args) {
    const long long units = Args.Integer("--boot-load-size", 0);
    if (Args.Has("--boot-load-size") && (units < 1 || units > 65535))
        throw TUsageError("--boot-load-size takes 1..65535 (512-byte sectors), not " + std::to_string(units));
    return static_cast<int32_t>(units);
}

}  // namespace

std::vector<TOptionSpec> BootOptions() {
    return {{"--boot", true, ""},
            {"--boot-no-emulation", true, ""},
            {"--boot-load-size", true, ""},
            {"--boot-info-table", false, ""},
            {"--efi-boot", true, ""}};
}

std::string ApplyBootOptions(TKestrelBurner& Burner, const TParsedArgs& Args) {
    CheckCombination(Args);
    const auto bios = Args.Has("--boot") ? Args.Optional("--boot") : Args.Optional("--boot-no-emulation");
    if (bios) {
        if (std::string why = Unreadable("boot image", *bios); !why.empty()) return why;
        Burner.BootImageFile = *bios;
        Burner.Bootable = true;
        Burner.BootNoEmulation = Args.Has("--boot-no-emulation");
        Burner.BootLoadSize = LoadSize(Args);
        Burner.BootInfoTable = Args.Has("--boot-info-table");
    }
    if (auto efi = Args.Optional("--efi-boot")) {
        if (std::string why = Unreadable("UEFI boot image", *efi); !why.empty()) return why;
        Burner.EfiBootImageFile = *efi;
        Burner.EfiBootable = true;
    }
    try {
        Burner.CheckBootFiles();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace kestrel::cli
