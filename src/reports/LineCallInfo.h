// Snapshot of LINECALLINFO: who calls whom, how and why. Besides its report it
// gives the texts that the call node details and the event log show.
#pragma once

#include <string>
#include <vector>

#include "reports/SubRecords.h"
#include "reports/TapiSnapshot.h"

class CLineCallInfo : public CTapiSnapshot {
public:
    explicit CLineCallInfo(const void* pStruct, const void* pBase = nullptr);
    std::string Report(int nLevel) const override;

    std::string GetCallerID() const { return m_strCallerID; }
    std::string GetCalledID() const { return m_strCalledID; }
    std::string GetConnectedID() const { return m_strConnectedID; }
    std::string GetRedirectionID() const { return m_strRedirectionID; }
    std::string GetRedirectingID() const { return m_strRedirectingID; }
    // Empty when no trunk is known (0xFFFFFFFF); otherwise signed decimal.
    std::string GetTrunkText() const;
    std::string GetOriginText() const;
    std::string GetReasonText() const;
    // The DID/DDI digits the maker's provider puts in the device-specific
    // part; empty when the part is shorter than 60 bytes or the digits do not
    // lie inside it.
    std::string GetDidDdiText() const;
    // CallerID,CalledID,ConnectedID,origin,reason,RedirectionID,RedirectingID,
    // each followed by a comma: the tail of the event log's call-info record.
    std::string GetLogFields() const;

    HLINE m_hLine = 0;
    DWORD m_dwLineDeviceID = 0;
    DWORD m_dwAddressID = 0;
    DWORD m_dwBearerMode = 0;
    DWORD m_dwRate = 0;
    DWORD m_dwMediaMode = 0;
    DWORD m_dwAppSpecific = 0;
    DWORD m_dwCallID = 0;
    DWORD m_dwRelatedCallID = 0;
    DWORD m_dwCallParamFlags = 0;
    DWORD m_dwCallStates = 0;
    DWORD m_dwMonitorDigitModes = 0;
    DWORD m_dwMonitorMediaModes = 0;
    CLineDialParams m_DialParams;
    DWORD m_dwOrigin = 0;
    DWORD m_dwReason = 0;
    DWORD m_dwCompletionID = 0;
    DWORD m_dwNumOwners = 0;
    DWORD m_dwNumMonitors = 0;
    DWORD m_dwCountryCode = 0;
    DWORD m_dwTrunk = 0;
    DWORD m_dwCallerIDFlags = 0;
    std::string m_strCallerID;
    std::string m_strCallerIDName;
    DWORD m_dwCalledIDFlags = 0;
    std::string m_strCalledID;
    std::string m_strCalledIDName;
    DWORD m_dwConnectedIDFlags = 0;
    std::string m_strConnectedID;
    std::string m_strConnectedIDName;
    DWORD m_dwRedirectionIDFlags = 0;
    std::string m_strRedirectionID;
    std::string m_strRedirectionIDName;
    DWORD m_dwRedirectingIDFlags = 0;
    std::string m_strRedirectingID;
    std::string m_strRedirectingIDName;
    std::string m_strAppName;
    std::string m_strDisplayableAddress;
    std::string m_strCalledParty;
    std::string m_strComment;
    std::string m_strDisplay;
    std::string m_strUserUserInfo;
    std::string m_strHighLevelComp;
    std::string m_strLowLevelComp;
    std::string m_strChargingInfo;
    std::string m_strTerminalModes;
    DWORD m_dwDevSpecificSize = 0;
    DWORD m_dwDevSpecificOffset = 0;
    std::vector<BYTE> m_pDevSpecific;
    DWORD m_dwCallTreatment = 0;
    DWORD m_dwCallDataSize = 0;
    std::vector<BYTE> m_pCallData;
    DWORD m_dwSendingFlowspecSize = 0;
    std::vector<BYTE> m_pSendingFlowspec;
    DWORD m_dwReceivingFlowspecSize = 0;
    std::vector<BYTE> m_pReceivingFlowspec;
};
