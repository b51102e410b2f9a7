// Line devices for the start-up tests: what the fake TAPI reports for a
// device of the maker's provider or of another one, and address statuses
// that carry a display name the way the maker's provider lays it out.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "support/FakeTapi.h"

namespace startup_scene {

constexpr const char* kMakerProvider = "Talvora ZR-40N";

// Device capabilities (two passes: the texts do not fit the fixed part) and
// address capabilities of a device.
inline void AddDevice(CFakeTapi& fake, DWORD dwDeviceID, const std::string& strProvider, DWORD dwPermanentLineID) {
    fake.m_devCaps[dwDeviceID] =
        CFakeTapi::MakeDevCaps(strProvider, dwPermanentLineID, "Line " + std::to_string(dwDeviceID));
    fake.m_addressCaps[dwDeviceID] = CFakeTapi::MakeAddressCaps(dwDeviceID, std::to_string(dwPermanentLineID & 0xFFFF));
}

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
