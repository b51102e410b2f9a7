// Snapshot of LINEADDRESSSTATUS: the use of an address, its forwarding, and
// the display name the maker's provider keeps in the device-specific part.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "reports/SubRecords.h"
#include "reports/TapiSnapshot.h"

class CLineAddressStatus : public CTapiSnapshot {
public:
    explicit CLineAddressStatus(const void* pStruct, const void* pBase = nullptr);
    ~CLineAddressStatus() override;
    std::string Report(int nLevel) const override;

    // The line's display name, as the maker's provider stores it for each
    // group: a length and an offset (counted from the start of the structure)
    // at fixed places of the device-specific part. Empty when the part is too
    // short or the text does not lie inside it.
    std::string GetExtDisplayName() const;
    std::string GetCoDisplayName() const;
    std::string GetEtcDisplayName() const;

    DWORD m_dwNumInUse = 0;
    DWORD m_dwNumActiveCalls = 0;
    DWORD m_dwNumOnHoldCalls = 0;
    DWORD m_dwNumOnHoldPendCalls = 0;
    DWORD m_dwAddressFeatures = 0;
    DWORD m_dwNumRingsNoAnswer = 0;
    std::vector<std::unique_ptr<CLineForward>> m_forwards;
    std::vector<DWORD> m_terminalModes;
    // Entries of the two lists that the snapshot did not keep (TapiSnapshot.h).
    std::size_t m_nForwardsLeftOut = 0;
    std::size_t m_nTerminalModesLeftOut = 0;
    DWORD m_dwDevSpecificSize = 0;
    DWORD m_dwDevSpecificOffset = 0;
    std::vector<BYTE> m_pDevSpecific;

private:
    std::string GetDisplayName(DWORD cbMinimum, DWORD cbLengthAt, DWORD cbOffsetAt) const;
};
