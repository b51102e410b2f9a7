#include "reports/TapiSnapshot.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kHeaderSize = 12;  // dwTotalSize, dwNeededSize, dwUsedSize

// Addresses are compared as integers so that no pointer is ever formed that
// lies outside the buffer.
std::uintptr_t AddressOf(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

}  // namespace

bool CByteRange::Holds(const BYTE* p, std::uint64_t cbWanted) const {
    if (pBegin == nullptr || p == nullptr) return false;
    const std::uintptr_t begin = AddressOf(pBegin);
    const std::uintptr_t at = AddressOf(p);
    if (at < begin) return false;
    const std::uint64_t skip = at - begin;
    return skip <= cb && cbWanted <= cb - skip;
}

CTapiSnapshot::CTapiSnapshot(const void* pStruct, const void* pBase)
    : m_pBase(static_cast<const BYTE*>(pBase != nullptr ? pBase : pStruct)),
      m_pStruct(static_cast<const BYTE*>(pStruct)) {
    if (m_pStruct == nullptr) return;
    // The header is always there; what follows counts only as far as the
    // structure says it was filled.
    DWORD dwTotalSize = 0;
    DWORD dwUsedSize = 0;
    std::memcpy(&dwTotalSize, m_pStruct, 4);
    std::memcpy(&dwUsedSize, m_pStruct + 8, 4);
    m_readable = CByteRange{m_pStruct, std::max(kHeaderSize, std::min(dwUsedSize, dwTotalSize))};
}

CTapiSnapshot::CTapiSnapshot(const void* pStruct, const void* pBase, CByteRange range, DWORD cbFixed)
    : m_pBase(static_cast<const BYTE*>(pBase != nullptr ? pBase : pStruct)),
      m_pStruct(static_cast<const BYTE*>(pStruct)),
      m_readable(range.IsEmpty() ? CByteRange{m_pStruct, cbFixed} : range) {}

std::string CTapiSnapshot::MakeString(const void* p, DWORD dwSize) {
    if (p == nullptr || dwSize == 0) return {};
    const char* psz = static_cast<const char*>(p);
    const void* pNul = std::memchr(psz, '\0', dwSize);
    const std::size_t cch = pNul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(pNul) - psz) : dwSize;
    return std::string(psz, cch);
}

bool CTapiSnapshot::IsVarPartReadable(DWORD dwOffset, DWORD dwSize) const {
    return VarPartPointer(dwOffset, dwSize) != nullptr;
}

const BYTE* CTapiSnapshot::VarPartPointer(DWORD dwOffset, DWORD cb) const {
    if (m_pBase == nullptr) return nullptr;
    if (std::uint64_t{dwOffset} + cb > 0xFFFFFFFFu) return nullptr;
    const std::uintptr_t base = AddressOf(m_pBase);
    if (dwOffset > UINTPTR_MAX - base) return nullptr;
    const std::uintptr_t at = base + dwOffset;
    if (m_readable.pBegin == nullptr || at < AddressOf(m_readable.pBegin)) return nullptr;
    const std::uint64_t skip = at - AddressOf(m_readable.pBegin);
    if (skip > m_readable.cb || cb > m_readable.cb - skip) return nullptr;
    return m_readable.pBegin + skip;
}

const BYTE* CTapiSnapshot::FixedPartPointer(std::size_t cbOffset) const {
    if (m_pStruct == nullptr || m_readable.pBegin == nullptr || cbOffset >= m_cbFixedPart) return nullptr;
    const std::uintptr_t at = AddressOf(m_pStruct);
    const std::uintptr_t begin = AddressOf(m_readable.pBegin);
    if (at < begin) return nullptr;
    const std::uint64_t skip = std::uint64_t{at - begin} + cbOffset;
    if (skip > m_readable.cb) return nullptr;
    return m_readable.pBegin + skip;
}

DWORD CTapiSnapshot::ReadField(std::size_t cbFieldOffset) const {
    const BYTE* p = FixedPartPointer(cbFieldOffset);
    DWORD dwValue = 0;
    if (p != nullptr && m_readable.Holds(p, sizeof(dwValue))) std::memcpy(&dwValue, p, sizeof(dwValue));
    return dwValue;
}

WORD CTapiSnapshot::ReadWordField(std::size_t cbFieldOffset) const {
    const BYTE* p = FixedPartPointer(cbFieldOffset);
    WORD wValue = 0;
    if (p != nullptr && m_readable.Holds(p, sizeof(wValue))) std::memcpy(&wValue, p, sizeof(wValue));
    return wValue;
}

std::string CTapiSnapshot::GetVarString(DWORD dwOffset, DWORD dwSize) const {
    if (dwSize == 0) return {};
    std::string text = MakeString(VarPartPointer(dwOffset, dwSize), dwSize);
    m_cbCopied += text.size();
    return text;
}

std::vector<BYTE> CTapiSnapshot::CopyVarBytes(DWORD dwOffset, DWORD dwSize) const {
    if (dwSize == 0) return {};
    const BYTE* p = VarPartPointer(dwOffset, dwSize);
    if (p == nullptr) return {};
    m_cbCopied += dwSize;
    return std::vector<BYTE>(p, p + dwSize);
}

std::string CTapiSnapshot::ReadText(std::size_t cbSizeField) const {
    return GetVarString(ReadField(cbSizeField + 4), ReadField(cbSizeField));
}

std::vector<BYTE> CTapiSnapshot::ReadBytes(std::size_t cbSizeField) const {
    return CopyVarBytes(ReadField(cbSizeField + 4), ReadField(cbSizeField));
}

std::size_t CTapiSnapshot::EntriesHeld(DWORD dwCount, DWORD dwListSize, DWORD dwOffset, DWORD cbEntry) const {
    if (cbEntry == 0 || m_pBase == nullptr || m_readable.pBegin == nullptr) return 0;
    // The bytes readable from base + dwOffset on: up to the extent's end, and
    // no further than a 32-bit offset reaches.
    const std::uintptr_t base = AddressOf(m_pBase);
    if (dwOffset > UINTPTR_MAX - base) return 0;
    const std::uintptr_t at = base + dwOffset;
    const std::uintptr_t begin = AddressOf(m_readable.pBegin);
    if (at < begin || at - begin > m_readable.cb) return 0;
    const std::uint64_t cbReadable =
        std::min<std::uint64_t>(m_readable.cb - (at - begin), std::uint64_t{0xFFFFFFFFu} - dwOffset);
    const std::uint64_t cbList = std::min<std::uint64_t>(cbReadable, dwListSize);
    return static_cast<std::size_t>(std::min<std::uint64_t>(dwCount, cbList / cbEntry));
}

std::size_t CTapiSnapshot::ReadDwordList(std::vector<DWORD>& values, DWORD dwOffset, DWORD dwSize) const {
    values.clear();
    const std::size_t nCount = dwSize / 4;
    if (nCount == 0) return 0;
    // All or nothing: a list that reaches outside is unreadable as a whole.
    const BYTE* p = VarPartPointer(dwOffset, dwSize);
    if (p == nullptr) return 0;
    values.resize(std::min(nCount, kMaxListEntries));
    std::memcpy(values.data(), p, values.size() * 4);
    return nCount - values.size();
}

std::size_t CTapiSnapshot::ReadTextEntries(std::vector<std::string>& texts, DWORD dwCount, DWORD dwListSize,
                                           DWORD dwEntrySize, DWORD dwOffset) const {
    texts.clear();
    const std::size_t nHeld = EntriesHeld(dwCount, dwListSize, dwOffset, dwEntrySize);
    texts.reserve(std::min(nHeld, kMaxListEntries));
    std::size_t cbTexts = 0;
    while (texts.size() < nHeld && texts.size() < kMaxListEntries && cbTexts < kMaxListTextBytes) {
        const std::uint64_t off = std::uint64_t{dwOffset} + std::uint64_t{texts.size()} * dwEntrySize;
        const BYTE* p = VarPartPointer(static_cast<DWORD>(off), dwEntrySize);
        if (p == nullptr) break;
        texts.push_back(MakeString(p, dwEntrySize));
        cbTexts += texts.back().size();
    }
    m_cbCopied += cbTexts;
    return nHeld - texts.size();
}

void CTapiSnapshot::ForgetBuffer() {
    m_pBase = nullptr;
    m_pStruct = nullptr;
    m_readable = CByteRange{};
}
