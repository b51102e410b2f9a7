// The maker's provider for the start-up tests: its name, and address
// statuses that carry a display name the way it lays them out.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "support/FakeTapi.h"

namespace startup_scene {

constexpr const char* kMakerProvider = "Talvora ZR-40N";

// A LINEADDRESSSTATUS naming a line of a group (0 EXT, 1 CO, 2 ETC): its
// device-specific part is the provider's DWORDs followed by the name; one of
// them holds the name's length, the next its offset from the structure's start.
inline CStructImage NameStatus(int nGroup, const std::string& strName) {
    constexpr std::size_t kDwords[] = {52, 8, 32}, kLengthAt[] = {28, 0, 24};
    const std::size_t cbPart = kDwords[nGroup];
    CStructImage image = CStructImage::Of<LINEADDRESSSTATUS>();
    std::vector<BYTE> part(cbPart + strName.size(), 0);
    const DWORD dwLength = static_cast<DWORD>(strName.size());
    const DWORD dwOffset = static_cast<DWORD>(image.Bytes().size() + cbPart);
    std::memcpy(part.data() + kLengthAt[nGroup], &dwLength, 4);
    std::memcpy(part.data() + kLengthAt[nGroup] + 4, &dwOffset, 4);
    std::memcpy(part.data() + cbPart, strName.data(), strName.size());
    image.AddBytes(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), part.data(), part.size());
    return image;
}
inline CStructImage CoNameStatus(const std::string& strName) {
    return NameStatus(1, strName);
}

}  // namespace startup_scene
