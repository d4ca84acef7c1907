#include "burner/device/FailureReport.h"

#include <algorithm>
#include <cstdio>

#include "burner/device/CommandNames.h"

namespace kestrel {
namespace {

constexpr uint8_t UnreportedOpcodes[] = {0x00, 0x01, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43,
                                         0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB};
// Bytes of the data buffer shown in the line at most.
constexpr uint32_t MaxDataShown = 257;

std::string Hex(unsigned Value, int Digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", Digits, Value);
    return text;
}

std::string NameOf(uint8_t Opcode) {
    const std::string& name = CommandName(Opcode);
    return name.empty() ? Hex(Opcode, 2) : name;
}

}  // namespace

bool IsReportableFailure(const SRB_ExecSCSICmd& Srb) {
    if (Srb.SRB_Status == SS_COMP || Srb.SRB_Status == SS_PENDING) return false;
    if (std::ranges::find(UnreportedOpcodes, Srb.CDBByte[0]) != std::end(UnreportedOpcodes)) return false;
    return !(Srb.SenseArea[12] == 0x04 && Srb.SenseArea[13] == 0x08);
}

std::string FailureLine(const SRB_ExecSCSICmd& Srb, const std::string& LastError) {
    std::string line = "<<< " + NameOf(Srb.CDBByte[0]) + " ";
    line += "(" + Hex(Srb.CDBByte[0], 2) + ") {" + Hex(Srb.SRB_Flags, 2) + "|" + Hex(Srb.SRB_CDBLen, 2) + "} - ";
    line += std::to_string(Srb.SRB_HaId) + ":" + Hex(Srb.SRB_Target, 1) + ":" + std::to_string(Srb.SRB_Lun);
    line += " <" + Hex(Srb.SRB_Status, 2) + ">" + " [" + Hex(Srb.SRB_BufLen, 5) + "]" + " ";
    for (int i = 1; i < 16; ++i) line += Hex(Srb.CDBByte[i], 2) + " ";
    line += " |";
    const auto* data = static_cast<const uint8_t*>(Srb.SRB_BufPointer);
    if (data) {
        const uint32_t shown = std::min(Srb.SRB_BufLen, MaxDataShown);
        for (uint32_t i = 0; i < shown; ++i) line += Hex(data[i], 2) + " ";
    }
    line += "= " + Hex(Srb.SRB_HaStat, 2) + " " + Hex(Srb.SRB_TargStat, 2) + " " + Hex(Srb.SenseArea[0], 2) + " " +
            Hex(Srb.SenseArea[2], 2) + " ";
    line += "ASC:" + Hex(Srb.SenseArea[12], 2) + ",ASQ:" + Hex(Srb.SenseArea[13], 2) + " " + LastError;
    return line;
}

}  // namespace kestrel
