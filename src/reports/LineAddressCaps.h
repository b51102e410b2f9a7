// Snapshot of LINEADDRESSCAPS: what an address of a line can do. The monitor
// keeps the one of address 0 of every line; the CO tree labels use its address.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "reports/SubRecords.h"
#include "reports/TapiSnapshot.h"

class CLineAddressCaps : public CTapiSnapshot {
public:
    // dwAPIVersion: the version TAPI filled the structure for; fields that
    // an older version does not define read as 0.
    explicit CLineAddressCaps(const void* pStruct, const void* pBase = nullptr, DWORD dwAPIVersion = 0x00020000);
    ~CLineAddressCaps() override;
    std::string Report(int nLevel) const override;

    std::string GetAddress() const { return m_strAddress; }
    // The address right-aligned in four characters, padded with '0' ("21"
    // gives "0021"); empty for an empty address.
    std::string GetPaddedAddress() const { return m_strPaddedAddress; }

    DWORD m_dwLineDeviceID = 0;
    std::string m_strAddress;
    DWORD m_dwDevSpecificSize = 0;
    std::vector<BYTE> m_pDevSpecific;
    DWORD m_dwAddressSharing = 0;
    DWORD m_dwAddressStates = 0;
    DWORD m_dwCallInfoStates = 0;
    DWORD m_dwCallerIDFlags = 0;
    DWORD m_dwCalledIDFlags = 0;
    DWORD m_dwConnectedIDFlags = 0;
    DWORD m_dwRedirectionIDFlags = 0;
    DWORD m_dwRedirectingIDFlags = 0;
    DWORD m_dwCallStates = 0;
    DWORD m_dwDialToneModes = 0;
    DWORD m_dwBusyModes = 0;
    DWORD m_dwSpecialInfo = 0;
    DWORD m_dwDisconnectModes = 0;
    DWORD m_dwMaxNumActiveCalls = 0;
    DWORD m_dwMaxNumOnHoldCalls = 0;
    DWORD m_dwMaxNumOnHoldPendingCalls = 0;
    DWORD m_dwMaxNumConference = 0;
    DWORD m_dwMaxNumTransConf = 0;
    DWORD m_dwAddrCapFlags = 0;
    DWORD m_dwCallFeatures = 0;
    DWORD m_dwRemoveFromConfCaps = 0;
    DWORD m_dwRemoveFromConfState = 0;
    DWORD m_dwTransferModes = 0;
    DWORD m_dwParkModes = 0;
    DWORD m_dwForwardModes = 0;
    DWORD m_dwMaxForwardEntries = 0;
    DWORD m_dwMaxSpecificEntries = 0;
    DWORD m_dwMinFwdNumRings = 0;
    DWORD m_dwMaxFwdNumRings = 0;
    DWORD m_dwMaxCallCompletions = 0;
    DWORD m_dwCallCompletionConds = 0;
    DWORD m_dwCallCompletionModes = 0;
    DWORD m_dwNumCompletionMessages = 0;
    std::vector<std::string> m_completionMsgs;
    DWORD m_dwAddressFeatures = 0;
    DWORD m_dwPredictiveAutoTransferStates = 0;
    std::vector<std::unique_ptr<CLineCallTreatmentEntry>> m_callTreatments;
    // Entries of the two lists that the snapshot did not keep (TapiSnapshot.h).
    std::size_t m_nCompletionMsgsLeftOut = 0;
    std::size_t m_nCallTreatmentsLeftOut = 0;
    std::string m_strDeviceClasses;
    DWORD m_dwMaxCallDataSize = 0;
    DWORD m_dwCallFeatures2 = 0;
    DWORD m_dwMaxNoAnswerTimeout = 0;
    DWORD m_dwConnectedModes = 0;
    DWORD m_dwOfferingModes = 0;
    DWORD m_dwAvailableMediaModes = 0;
    std::string m_strPaddedAddress;
};
