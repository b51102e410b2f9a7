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

namespace snaptest {

inline std::string ReadGoldenText(const std::string& strName) {
    std::ifstream file(std::string(LSC_GOLDEN_DIR) + "/" + strName, std::ios::binary);
    if (!file.good()) return "<missing golden file " + strName + ">";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The header sizes as TAPI leaves them when the whole structure fitted.
inline void SetSizes(CStructImage& img) {
    const DWORD cb = static_cast<DWORD>(img.Bytes().size());
    img.SetDword(0, cb);
    img.SetDword(4, cb);
    img.SetDword(8, cb);
}

// A report one level deeper: every line that holds anything gains four
// blanks, and so does the indent of a sub-report that starts on its label's
// line; the empty separator lines stay empty.
inline std::string OneLevelDeeper(const std::string& text) {
    std::string deeper;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find(" = ");
        if (eq != std::string::npos) {
            const std::size_t header = line.find_first_not_of(' ', eq + 3);
            if (header != std::string::npos && header > eq + 3 && line.compare(header, 4, "LINE") == 0) {
                line.insert(eq + 3, "    ");
            }
        }
        if (!line.empty()) deeper += "    ";
        deeper += line + "\r\n";
    }
    return deeper;
}

// A heap copy of exactly the given bytes (nothing readable after them).
class CExactBuffer {
public:
    explicit CExactBuffer(const std::vector<BYTE>& bytes) : m_cb(bytes.size()), m_p(new BYTE[bytes.size()]) {
        if (m_cb != 0) std::memcpy(m_p.get(), bytes.data(), m_cb);
    }
    // The image with dwTotalSize, dwNeededSize and dwUsedSize set to its size,
    // as TAPI leaves them when the whole structure fitted.
    explicit CExactBuffer(CStructImage img) : CExactBuffer(WithSizes(img)) {}
    const BYTE* Data() const { return m_p.get(); }
    std::size_t Size() const { return m_cb; }

    static std::vector<BYTE> WithSizes(CStructImage& img) {
        SetSizes(img);
        return img.Bytes();
    }

private:
    std::size_t m_cb;
    std::unique_ptr<BYTE[]> m_p;
};

// A snapshot of T taken from an exact copy of the image or bytes.
template <typename T, typename Source>
T SnapshotOf(const Source& source) {
    CExactBuffer buf(source);
    return T(buf.Data());
}

// Appends bytes without pointing a field at them; returns their offset.
inline DWORD AppendRaw(CStructImage& img, const std::string& bytes) {
    return static_cast<DWORD>(img.Append(bytes.data(), bytes.size()));
}
// The same for a text and its NUL.
inline DWORD AppendText(CStructImage& img, const std::string& text) {
    return static_cast<DWORD>(img.Append(text.c_str(), text.size() + 1));
}

// Points the Size/Offset pair whose Size field is at sizeFieldOffset at the
// given bytes, taken as they are (no NUL added).
inline void AddRaw(CStructImage& img, std::size_t sizeFieldOffset, const std::string& bytes) {
    img.AddBytes(sizeFieldOffset, bytes.data(), bytes.size());
}

}  // namespace snaptest
