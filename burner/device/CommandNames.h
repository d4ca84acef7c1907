#pragma once
// Names of MMC commands by opcode, as they appear in log lines.
#include <cstdint>
#include <string>

namespace kestrel {

// Width of a command name in log lines; names are padded with blanks to it.
constexpr size_t COMMAND_NAME_WIDTH = 22;

// The padded name of a known opcode, else the opcode as two upper-case
// hexadecimal digits ("2C"). Opcode FFh has no entry and gives an empty text.
const std::string& CommandName(uint8_t Opcode);

}  // namespace kestrel
