// The provider's device-specific byte layouts, built the way the maker's
// service provider lays them out, so a monitor reads DID/DDI digits and
// display names from the simulator exactly as from the real PBX.
//
// LINECALLINFO part (60 bytes, then the digits):
//   0 layout version (1)   4 PBX call reference   8 trunk number
//  12 DID/DDI length      16 DID/DDI offset from the start of LINECALLINFO
//  20..59 reserved (0), then the digits and a NUL.
// LINEADDRESSSTATUS part, offsets again from the start of the structure:
//   EXT (52 bytes + texts):  4/8 station number length/offset, 28/32 display name
//   CO  (8 bytes + text):    0/4 display name
//   ETC (32 bytes + texts):  4/8 number length/offset, 24/28 display name
// Lengths exclude the NUL that follows every text. Other providers' lines
// carry no part.
#pragma once

#include <string>
#include <vector>

#include "model/SimTypes.h"

namespace sim {

constexpr DWORD kCallPartFixed = 60;
constexpr DWORD kExtPartFixed = 52;
constexpr DWORD kCoPartFixed = 8;
constexpr DWORD kEtcPartFixed = 32;

// dwPartOffset is where the part will stand inside its structure; the offsets
// written into the part count from the structure's start.
std::vector<BYTE> BuildCallPart(const CSimAppearance& call, DWORD dwPartOffset);
std::vector<BYTE> BuildAddressPart(const CSimLineConfig& line, DWORD dwPartOffset);

// Little-endian DWORD access for building and for tests reading parts back.
void PutDword(std::vector<BYTE>& bytes, std::size_t nAt, DWORD dw);
DWORD GetDword(const std::vector<BYTE>& bytes, std::size_t nAt);

}  // namespace sim
