// A snapshot holds a copy of one TAPI structure as it was when it was fetched:
// its fixed fields, the texts and byte blocks its Size/Offset pairs locate, and
// its sub-structures. It is built straight from the fetch buffer, which is
// freed right afterwards; from then on only the snapshot is read.
//
// The provider writes the sizes and offsets, so none of them is trusted. The
// rule every snapshot follows (implemented here, in CTapiSnapshot):
//  - A top-level structure is readable from its start for min(dwUsedSize,
//    dwTotalSize) bytes, never less than its 12-byte header; nothing beyond
//    that extent is ever read.
//  - A fixed-part field that lies beyond the extent reads as 0 (structures
//    filled for API 1.3/1.4 are shorter than the 2.0 fixed part).
//  - A text, byte block, DWORD list or record that would reach beyond the
//    extent, or whose offset + size overflows 32 bits, is empty.
//  - A list never holds more entries than its own size field and the extent
//    hold, whatever its count says (a list of 1-byte text entries has at most
//    one entry per byte), and gives the ones that fit.
//  - A snapshot keeps at most kMaxListEntries entries of a list, and stops
//    keeping texts once those kept reach kMaxListTextBytes; it counts the
//    entries it left out, which the report mentions in one line.
//  - Sub-records obey the extent of the structure that contains them.
//  - A capability structure answered for an older API version has a shorter
//    fixed part, and the provider's texts may follow right after it: the
//    fields that version does not define read as 0 (LimitFixedPart).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

// The bytes a snapshot may read while it is being built: [pBegin, pBegin + cb).
// An empty range (pBegin null) means "nothing beyond the sub-structure itself".
struct CByteRange {
    const BYTE* pBegin = nullptr;
    DWORD cb = 0;

    bool IsEmpty() const { return pBegin == nullptr; }
    // True when the cb bytes at p lie wholly inside the range.
    bool Holds(const BYTE* p, std::uint64_t cbWanted) const;
};

class CTapiSnapshot {
public:
    // What a snapshot keeps of one list at most (see above): a provider's
    // count cannot make a line record or a report grow without bound.
    static constexpr std::size_t kMaxListEntries = 4096;
    static constexpr std::size_t kMaxListTextBytes = 1024 * 1024;

    virtual ~CTapiSnapshot() = default;

    // The text report of the object at an indent level (four blanks a level);
    // every line ends in CR LF.
    virtual std::string Report(int nLevel) const = 0;

    // The text at p: at most dwSize bytes, ending at the first NUL. A null
    // pointer or a size of 0 gives the empty text.
    static std::string MakeString(const void* p, DWORD dwSize);

    // The bytes of texts and blocks this snapshot copied from the structure.
    std::size_t CopiedBytes() const { return m_cbCopied; }

protected:
    // Top-level structure: readable extent taken from its own header.
    CTapiSnapshot(const void* pStruct, const void* pBase);
    // Sub-structure of cbFixed bytes, readable within `range` (the extent of
    // its containing structure); an empty range allows the sub-structure only.
    CTapiSnapshot(const void* pStruct, const void* pBase, CByteRange range, DWORD cbFixed);

    CTapiSnapshot(const CTapiSnapshot&) = default;
    CTapiSnapshot& operator=(const CTapiSnapshot&) = default;

    // The text of a Size/Offset pair, offset counted from m_pBase.
    std::string GetVarString(DWORD dwOffset, DWORD dwSize) const;
    // A copy of the bytes of a Size/Offset pair; empty when unreadable.
    std::vector<BYTE> CopyVarBytes(DWORD dwOffset, DWORD dwSize) const;

    // A DWORD / WORD of the fixed part, at a byte offset from the structure's
    // start; 0 when it lies beyond the readable extent.
    DWORD ReadField(std::size_t cbFieldOffset) const;
    WORD ReadWordField(std::size_t cbFieldOffset) const;

    // Where the structure and the base are, and what may be read; valid only
    // while the constructor runs (the fetch buffer is freed afterwards).
    const BYTE* StructPointer() const { return m_pStruct; }
    const BYTE* BasePointer() const { return m_pBase; }
    // Readable at base + dwOffset for dwSize bytes, without 32-bit overflow.
    bool IsVarPartReadable(DWORD dwOffset, DWORD dwSize) const;
    // The base + dwOffset when the cb bytes there are readable, else null.
    const BYTE* VarPartPointer(DWORD dwOffset, DWORD cb) const;
    // The structure's start + cbOffset when that place is no further than the
    // end of the readable extent (the bytes there may be cut short), else null.
    const BYTE* FixedPartPointer(std::size_t cbOffset) const;

    // The text / byte block of the Size/Offset pair whose Size field is at
    // cbSizeField (the Offset field follows it, as in every TAPI structure).
    std::string ReadText(std::size_t cbSizeField) const;
    std::vector<BYTE> ReadBytes(std::size_t cbSizeField) const;
    // The list readers below fill their vector with the entries kept and
    // return how many entries of the list were left out.
    //
    // dwSize / 4 DWORDs at base + dwOffset; none when the list is unreadable.
    std::size_t ReadDwordList(std::vector<DWORD>& values, DWORD dwOffset, DWORD dwSize) const;
    // dwCount texts of dwEntrySize bytes each from base + dwOffset, as many as
    // the list's dwListSize bytes and the extent hold; none when dwEntrySize
    // is 0.
    std::size_t ReadTextEntries(std::vector<std::string>& texts, DWORD dwCount, DWORD dwListSize, DWORD dwEntrySize,
                                DWORD dwOffset) const;
    // dwCount records of cbRecord bytes from base + dwOffset, as many as the
    // list's dwListSize bytes and the extent hold, each made into a T built
    // against this object's base and extent. A record that cannot be
    // allocated is a null entry.
    template <typename T>
    std::size_t ReadRecords(std::vector<std::unique_ptr<T>>& records, DWORD dwCount, DWORD dwListSize, DWORD dwOffset,
                            DWORD cbRecord) const;
    const CByteRange& Readable() const { return m_readable; }
    // Fields at or beyond this byte offset of the fixed part read as 0: the
    // structure was filled for an API version whose fixed part ends there.
    void LimitFixedPart(std::size_t cbFixedPart) { m_cbFixedPart = cbFixedPart; }
    // Ends the construction: forgets the buffer.
    void ForgetBuffer();

    const BYTE* m_pBase = nullptr;

private:
    // How many entries of cbEntry bytes, at most dwCount, lie one after the
    // other from base + dwOffset within both dwListSize bytes and the extent.
    std::size_t EntriesHeld(DWORD dwCount, DWORD dwListSize, DWORD dwOffset, DWORD cbEntry) const;

    const BYTE* m_pStruct = nullptr;
    CByteRange m_readable;
    std::size_t m_cbFixedPart = SIZE_MAX;
    // Counted while the constructor reads, by the const readers.
    mutable std::size_t m_cbCopied = 0;
};

template <typename T>
std::size_t CTapiSnapshot::ReadRecords(std::vector<std::unique_ptr<T>>& records, DWORD dwCount, DWORD dwListSize,
                                       DWORD dwOffset, DWORD cbRecord) const {
    records.clear();
    const std::size_t nHeld = EntriesHeld(dwCount, dwListSize, dwOffset, cbRecord);
    // Reserved up front, so that no append can throw and lose a record.
    records.reserve(std::min(nHeld, kMaxListEntries));
    std::size_t cbTexts = 0;
    while (records.size() < nHeld && records.size() < kMaxListEntries && cbTexts < kMaxListTextBytes) {
        const std::uint64_t off = std::uint64_t{dwOffset} + std::uint64_t{records.size()} * cbRecord;
        const BYTE* pRecord = VarPartPointer(static_cast<DWORD>(off), cbRecord);
        if (pRecord == nullptr) break;
        T* pEntry = new (std::nothrow) T(pRecord, m_pBase, m_readable);
        if (pEntry != nullptr) cbTexts += pEntry->CopiedBytes();
        records.emplace_back(pEntry);
    }
    return nHeld - records.size();
}
