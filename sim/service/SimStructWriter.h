// Fills one TAPI structure in a caller's buffer the way TAPI does: the caller
// says in dwTotalSize how large its buffer is; the fixed part must fit
// (LINEERR_STRUCTURETOOSMALL otherwise); variable parts follow it in order
// while they fit, and dwNeededSize tells what the whole would take. A part
// that does not fit, and every part after it, is left out with size and
// offset 0, so a reader never finds an offset beyond dwUsedSize.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "tapi/TapiAbi.h"

namespace sim {

class CSimStructWriter {
public:
    CSimStructWriter(void* pStruct, DWORD dwFixedSize) : m_pBytes(static_cast<BYTE*>(pStruct)), m_dwFixed(dwFixedSize) {
        std::memcpy(&m_dwTotal, m_pBytes, sizeof(DWORD));
        if (m_dwTotal < m_dwFixed) {
            return;
        }
        std::memset(m_pBytes + 4, 0, m_dwFixed - 4);
        m_dwUsed = m_dwFixed;
        m_dwNeeded = m_dwFixed;
    }

    bool IsTooSmall() const { return m_dwTotal < m_dwFixed; }

    // Writes a field of the fixed part; fields beyond it (of a newer API
    // version than the caller's) are not written.
    void Set(std::size_t nField, DWORD dw) {
        if (!IsTooSmall() && nField + sizeof(DWORD) <= m_dwFixed) {
            std::memcpy(m_pBytes + nField, &dw, sizeof(DWORD));
        }
    }

    void SetBytes(std::size_t nField, const void* p, std::size_t nSize) {
        if (!IsTooSmall() && nField + nSize <= m_dwFixed) {
            std::memcpy(m_pBytes + nField, p, nSize);
        }
    }

    // Where the next variable part goes, counted from the structure's start.
    DWORD NextOffset() const { return Align(m_dwNeeded); }

    // True when the part was placed in the buffer.
    bool AddPart(std::size_t nSizeField, std::size_t nOffsetField, const void* p, DWORD dwSize) {
        if (IsTooSmall() || dwSize == 0 || nOffsetField + sizeof(DWORD) > m_dwFixed) {
            return false;
        }
        DWORD dwAt = Align(m_dwNeeded);
        m_dwNeeded = dwAt + dwSize;
        if (m_bFull || dwAt + dwSize > m_dwTotal) {
            m_bFull = true;
            return false;
        }
        std::memcpy(m_pBytes + dwAt, p, dwSize);
        Set(nSizeField, dwSize);
        Set(nOffsetField, dwAt);
        m_dwUsed = dwAt + dwSize;
        return true;
    }

    bool AddPart(std::size_t nSizeField, std::size_t nOffsetField, const std::vector<BYTE>& bytes) {
        return AddPart(nSizeField, nOffsetField, bytes.data(), static_cast<DWORD>(bytes.size()));
    }

    // A text with its NUL, as TAPI counts text sizes; an empty text is no part.
    void AddText(std::size_t nSizeField, std::size_t nOffsetField, const std::string& str) {
        if (!str.empty()) {
            AddPart(nSizeField, nOffsetField, str.c_str(), static_cast<DWORD>(str.size() + 1));
        }
    }

    LONG Finish() {
        if (IsTooSmall()) {
            return LINEERR_STRUCTURETOOSMALL;
        }
        std::memcpy(m_pBytes + 4, &m_dwNeeded, sizeof(DWORD));
        std::memcpy(m_pBytes + 8, &m_dwUsed, sizeof(DWORD));
        return 0;
    }

private:
    static DWORD Align(DWORD dw) { return (dw + 3u) & ~3u; }

    BYTE* m_pBytes;
    DWORD m_dwFixed;
    DWORD m_dwTotal = 0;
    DWORD m_dwUsed = 0;
    DWORD m_dwNeeded = 0;
    bool m_bFull = false;
};

}  // namespace sim
