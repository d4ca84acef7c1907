#pragma once
// Mode page 05h (write parameters) as the burner sets it for each medium.
#include <array>
#include <cstdint>

namespace kestrel {

using TWriteParametersPage = std::array<uint8_t, 54>;

// What the page depends on besides the drive's current page.
struct TWritePageRequest {
    bool TestWrite = false;
    bool UnderrunProtection = false;
    bool Finalize = false;          // only the dual-layer rule reads it
    uint16_t Type = 0;              // medium type code
    bool FinalizeDisc = false;      // the component's property
    bool SetLinkSizeValid = false;  // drive quirk
    bool DriveUnderrunProtection = false;  // capability flag
    bool DriveWriteTest = false;            // capability flag
    bool PageReportsBUF = false;            // mode page 2Ah byte 4 bit 7
};

// Changes the fields of Page (the drive's current page 05h, page code at
// byte 0) that depend on the medium and the options.
void PrepareWriteParametersPage(TWriteParametersPage& Page, const TWritePageRequest& Request);

// The MODE SELECT (10) parameter list: 8 zero header bytes and the page.
std::array<uint8_t, 62> WriteParametersList(const TWriteParametersPage& Page);

}  // namespace kestrel
