// Snapshot of LINEDEVSTATUS: who has the line open and what state it is in.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "reports/SubRecords.h"
#include "reports/TapiSnapshot.h"

class CLineDevStatus : public CTapiSnapshot {
public:
    explicit CLineDevStatus(const void* pStruct, const void* pBase = nullptr);
    ~CLineDevStatus() override;
    std::string Report(int nLevel) const override;

    DWORD m_dwNumOpens = 0;
    DWORD m_dwOpenMediaModes = 0;
    DWORD m_dwNumActiveCalls = 0;
    DWORD m_dwNumOnHoldCalls = 0;
    DWORD m_dwNumOnHoldPendCalls = 0;
    DWORD m_dwLineFeatures = 0;
    DWORD m_dwNumCallCompletions = 0;
    DWORD m_dwRingMode = 0;
    DWORD m_dwSignalLevel = 0;
    DWORD m_dwBatteryLevel = 0;
    DWORD m_dwRoamMode = 0;
    DWORD m_dwDevStatusFlags = 0;
    std::vector<DWORD> m_terminalModes;
    DWORD m_dwDevSpecificSize = 0;
    std::vector<BYTE> m_pDevSpecific;
    DWORD m_dwAvailableMediaModes = 0;
    std::vector<std::unique_ptr<CLineAppInfo>> m_appInfo;
    // Entries of the two lists that the snapshot did not keep (TapiSnapshot.h).
    std::size_t m_nTerminalModesLeftOut = 0;
    std::size_t m_nAppInfoLeftOut = 0;
};
