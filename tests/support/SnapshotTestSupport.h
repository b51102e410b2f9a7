// Helpers of the snapshot tests: structures laid out as a provider lays them
// out, handed to the snapshots in heap blocks of exactly their size, so that
// AddressSanitizer sees any read past the end.
#pragma once

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeTapi.h"

// Fixed parts are written as designated initializers that name only the
// fields that are not 0.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace snaptest {

inline std::string ReadGoldenText(const std::string& strName) {
    std::ifstream file(std::string(LSC_GOLDEN_DIR) + "/" + strName, std::ios::binary);
    if (!file.good()) return "<missing golden file " + strName + ">";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The image of a fixed part, with nothing after it yet.
template <typename T>
CStructImage ImageOf(const T& fixed) {
    CStructImage img(sizeof(T));
    *img.As<T>() = fixed;
    return img;
}

// The image's bytes with dwTotalSize, dwNeededSize and dwUsedSize set to its
// size, as TAPI leaves them when the whole structure fitted.
inline std::vector<BYTE> WithSizes(CStructImage img) {
    const DWORD cb = static_cast<DWORD>(img.Bytes().size());
    for (std::size_t at : {0, 4, 8}) img.SetDword(at, cb);
    return img.Bytes();
}

// A heap copy of exactly the given bytes (nothing readable after them).
class CExactBuffer {
public:
    explicit CExactBuffer(const std::vector<BYTE>& bytes) : m_p(new BYTE[bytes.size()]) {
        if (!bytes.empty()) std::memcpy(m_p.get(), bytes.data(), bytes.size());
    }
    const BYTE* Data() const { return m_p.get(); }

private:
    std::unique_ptr<BYTE[]> m_p;
};

// A snapshot of T taken from an exact copy of the image (sizes set) or bytes.
template <typename T>
T SnapshotOf(const std::vector<BYTE>& bytes) {
    CExactBuffer buf(bytes);
    return T(buf.Data());
}
template <typename T>
T SnapshotOf(const CStructImage& img) {
    return SnapshotOf<T>(WithSizes(img));
}

// Appends bytes (a text: with its NUL) without pointing a field at them;
// returns their offset.
inline DWORD AppendRaw(CStructImage& img, const std::string& bytes) {
    return static_cast<DWORD>(img.Append(bytes.data(), bytes.size()));
}
inline DWORD AppendText(CStructImage& img, const std::string& text) {
    return static_cast<DWORD>(img.Append(text.c_str(), text.size() + 1));
}

// Points the Size/Offset pair whose Size field is at sizeFieldOffset at the
// given bytes, taken as they are (no NUL added).
inline void AddRaw(CStructImage& img, std::size_t sizeFieldOffset, const std::string& bytes) {
    img.AddBytes(sizeFieldOffset, bytes.data(), bytes.size());
}

}  // namespace snaptest
