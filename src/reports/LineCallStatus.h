// Snapshot of LINECALLSTATUS: what a call can do now and since when it is in
// its state.
#pragma once

#include <string>
#include <vector>

#include "reports/TapiSnapshot.h"

class CLineCallStatus : public CTapiSnapshot {
public:
    explicit CLineCallStatus(const void* pStruct, const void* pBase = nullptr);
    std::string Report(int nLevel) const override;

    // TRUE in the OFFERING and ACCEPTED states.
    BOOL IsAnswerable() const;
    // TRUE in every state.
    BOOL IsDroppable() const;

    DWORD m_dwCallState = 0;
    DWORD m_dwCallStateMode = 0;
    DWORD m_dwCallPrivilege = 0;
    DWORD m_dwCallFeatures = 0;
    DWORD m_dwDevSpecificSize = 0;
    std::vector<BYTE> m_pDevSpecific;
    DWORD m_dwCallFeatures2 = 0;
    SYSTEMTIME m_tStateEntryTime{};
};
