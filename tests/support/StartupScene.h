// The maker's provider for the start-up tests: its name, and address
// statuses that carry a display name the way it lays them out.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "support/FakeTapi.h"

namespace startup_scene {

constexpr const char* kMakerProvider = "Talvora ZR-40N";

// A LINEADDRESSSTATUS whose device-specific part is cbPart bytes of the
// provider's DWORDs followed by the name; the DWORD at cbLengthAt holds the
// name's length, the one at cbOffsetAt its offset from the structure's start.
inline CStructImage NamedAddressStatus(std::size_t cbPart, std::size_t cbLengthAt, std::size_t cbOffsetAt,
                                       const std::string& strName) {
    CStructImage image = CStructImage::Of<LINEADDRESSSTATUS>();
    std::vector<BYTE> part(cbPart + strName.size(), 0);
    const DWORD dwLength = static_cast<DWORD>(strName.size());
    const DWORD dwOffset = static_cast<DWORD>(image.Bytes().size() + cbPart);
    std::memcpy(part.data() + cbLengthAt, &dwLength, 4);
    std::memcpy(part.data() + cbOffsetAt, &dwOffset, 4);
    std::memcpy(part.data() + cbPart, strName.data(), strName.size());
    image.AddBytes(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), part.data(), part.size());
    return image;
}

inline CStructImage ExtNameStatus(const std::string& strName) {
    return NamedAddressStatus(52, 28, 32, strName);
}
inline CStructImage CoNameStatus(const std::string& strName) {
    return NamedAddressStatus(8, 0, 4, strName);
}
inline CStructImage EtcNameStatus(const std::string& strName) {
    return NamedAddressStatus(32, 24, 28, strName);
}

}  // namespace startup_scene
