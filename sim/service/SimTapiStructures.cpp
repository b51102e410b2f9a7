// The six structures the simulator fills: LINEDEVCAPS, LINEADDRESSCAPS,
// LINEDEVSTATUS, LINEADDRESSSTATUS, LINECALLINFO and LINECALLSTATUS, each
// after its function's argument checks, sized by the caller's API version.
#include <cstddef>
#include <cstring>

#include "model/SimLayouts.h"
#include "service/SimStructWriter.h"
#include "service/SimTapi.h"
#include "service/SimTapiValues.h"

namespace sim {

namespace {

// Fixed parts by API version: what TAPI 1.3 and 1.4 define ends earlier.
DWORD DevCapsFixed(DWORD dwVersion) {
    if (dwVersion >= TAPI_VERSION_2_0) {
        return sizeof(LINEDEVCAPS);
    }
    return dwVersion >= TAPI_VERSION_1_4 ? offsetof(LINEDEVCAPS, dwSettableDevStatus)
                                         : offsetof(LINEDEVCAPS, dwLineFeatures);
}

DWORD AddressCapsFixed(DWORD dwVersion) {
    if (dwVersion >= TAPI_VERSION_2_0) {
        return sizeof(LINEADDRESSCAPS);
    }
    return dwVersion >= TAPI_VERSION_1_4 ? offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates)
                                         : offsetof(LINEADDRESSCAPS, dwAddressFeatures);
}

DWORD DevStatusFixed(DWORD dwVersion) {
    return dwVersion >= TAPI_VERSION_2_0 ? sizeof(LINEDEVSTATUS) : offsetof(LINEDEVSTATUS, dwAvailableMediaModes);
}

DWORD CallInfoFixed(DWORD dwVersion) {
    return dwVersion >= TAPI_VERSION_2_0 ? sizeof(LINECALLINFO) : offsetof(LINECALLINFO, dwCallTreatment);
}

DWORD CallStatusFixed(DWORD dwVersion) {
    return dwVersion >= TAPI_VERSION_2_0 ? sizeof(LINECALLSTATUS) : offsetof(LINECALLSTATUS, dwCallFeatures2);
}

constexpr DWORD kSupportedCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED |
                                       LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING | LINECALLSTATE_PROCEEDING |
                                       LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED |
                                       LINECALLSTATE_DISCONNECTED;
constexpr DWORD kSupportedInfoStates = LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                                       LINECALLINFOSTATE_CONNECTEDID | LINECALLINFOSTATE_REDIRECTIONID |
                                       LINECALLINFOSTATE_REDIRECTINGID | LINECALLINFOSTATE_TRUNK |
                                       LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON;
const char kDeviceClasses[] = "tapi/line\0";  // the list ends with a second NUL

}  // namespace

LONG CSimTapi::GetDevCaps(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion, LINEDEVCAPS* pCaps) {
    if (!HasApp(hApp)) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (!IsValidDevice(dwDeviceID)) {
        return LINEERR_BADDEVICEID;
    }
    if (LONG lResult = CheckVersion(dwDeviceID, dwAPIVersion); lResult != 0) {
        return lResult;
    }
    if (LONG lResult = CheckExtVersion(dwExtVersion); lResult != 0) {
        return lResult;
    }
    if (pCaps == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const CSimLineConfig& line = m_pPbx->GetLine(dwDeviceID);
    bool bPhone = line.m_eKind == ELineKind::Ext;
    CSimStructWriter w(pCaps, DevCapsFixed(dwAPIVersion));
    if (w.IsTooSmall()) {
        return LINEERR_STRUCTURETOOSMALL;
    }
#define LSC_SET(field, value) w.Set(offsetof(LINEDEVCAPS, field), value)
#define LSC_PART(name) offsetof(LINEDEVCAPS, dw##name##Size), offsetof(LINEDEVCAPS, dw##name##Offset)
    w.AddText(LSC_PART(ProviderInfo), line.m_strProvider);
    w.AddText(LSC_PART(SwitchInfo), line.m_strSwitchInfo);
    LSC_SET(dwPermanentLineID, line.m_dwPermanentLineID);
    w.AddText(LSC_PART(LineName), line.m_strLineName);
    LSC_SET(dwStringFormat, STRINGFORMAT_ASCII);
    LSC_SET(dwAddressModes, LINEADDRESSMODE_ADDRESSID);
    LSC_SET(dwNumAddresses, 1);
    LSC_SET(dwBearerModes, LINEBEARERMODE_VOICE);
    LSC_SET(dwMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    LSC_SET(dwDevCapFlags, LINEDEVCAPFLAGS_CLOSEDROP);
    LSC_SET(dwMaxNumActiveCalls, 1);
    LSC_SET(dwAnswerMode, LINEANSWERMODE_DROP);
    LSC_SET(dwRingModes, bPhone ? 1 : 0);
    LSC_SET(dwLineStates, LINEDEVSTATE_OTHER | LINEDEVSTATE_INSERVICE | LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_OPEN |
                              LINEDEVSTATE_CLOSE | LINEDEVSTATE_REINIT);
    const LINEDIALPARAMS minDial{0, 50, 50, 0};
    const LINEDIALPARAMS maxDial{5000, 500, 500, 10000};
    const LINEDIALPARAMS defaultDial{1000, 100, 100, 3000};
    w.SetBytes(offsetof(LINEDEVCAPS, MinDialParams), &minDial, sizeof minDial);
    w.SetBytes(offsetof(LINEDEVCAPS, MaxDialParams), &maxDial, sizeof maxDial);
    w.SetBytes(offsetof(LINEDEVCAPS, DefaultDialParams), &defaultDial, sizeof defaultDial);
    if (bPhone) {
        // One handset with a display.
        const LINETERMCAPS handset{LINETERMDEV_PHONE,
                                   LINETERMMODE_BUTTONS | LINETERMMODE_LAMPS | LINETERMMODE_DISPLAY |
                                       LINETERMMODE_RINGER | LINETERMMODE_HOOKSWITCH | LINETERMMODE_MEDIABIDIRECT,
                                   LINETERMSHARING_SHAREDEXCL};
        const char szText[8] = "Handset";
        LSC_SET(dwNumTerminals, 1);
        w.AddPart(LSC_PART(TerminalCaps), &handset, sizeof handset);
        LSC_SET(dwTerminalTextEntrySize, sizeof szText);
        w.AddPart(LSC_PART(TerminalText), szText, sizeof szText);
    }
    LSC_SET(dwLineFeatures, line.m_eKind == ELineKind::Co ? 0 : LINEFEATURE_MAKECALL);
    if (dwAPIVersion >= TAPI_VERSION_2_0) {
        w.AddPart(LSC_PART(DeviceClasses), kDeviceClasses, sizeof kDeviceClasses);
    }
#undef LSC_SET
#undef LSC_PART
    return w.Finish();
}

LONG CSimTapi::GetAddressCaps(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                              DWORD dwExtVersion, LINEADDRESSCAPS* pCaps) {
    if (!HasApp(hApp)) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (!IsValidDevice(dwDeviceID)) {
        return LINEERR_BADDEVICEID;
    }
    if (dwAddressID != 0) {
        return LINEERR_INVALADDRESSID;
    }
    if (LONG lResult = CheckVersion(dwDeviceID, dwAPIVersion); lResult != 0) {
        return lResult;
    }
    if (LONG lResult = CheckExtVersion(dwExtVersion); lResult != 0) {
        return lResult;
    }
    if (pCaps == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const CSimLineConfig& line = m_pPbx->GetLine(dwDeviceID);
    CSimStructWriter w(pCaps, AddressCapsFixed(dwAPIVersion));
    if (w.IsTooSmall()) {
        return LINEERR_STRUCTURETOOSMALL;
    }
#define LSC_SET(field, value) w.Set(offsetof(LINEADDRESSCAPS, field), value)
#define LSC_PART(name) offsetof(LINEADDRESSCAPS, dw##name##Size), offsetof(LINEADDRESSCAPS, dw##name##Offset)
    constexpr DWORD dwIdFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME | LINECALLPARTYID_UNKNOWN;
    LSC_SET(dwLineDeviceID, dwDeviceID);
    w.AddText(LSC_PART(Address), line.m_strNumber);
    LSC_SET(dwAddressSharing, LINEADDRESSSHARING_PRIVATE);
    LSC_SET(dwAddressStates, LINEADDRESSSTATE_INUSEZERO | LINEADDRESSSTATE_INUSEONE | LINEADDRESSSTATE_NUMCALLS);
    LSC_SET(dwCallInfoStates, kSupportedInfoStates);
    LSC_SET(dwCallerIDFlags, dwIdFlags);
    LSC_SET(dwCalledIDFlags, dwIdFlags);
    LSC_SET(dwConnectedIDFlags, dwIdFlags);
    LSC_SET(dwRedirectionIDFlags, dwIdFlags);
    LSC_SET(dwRedirectingIDFlags, dwIdFlags);
    LSC_SET(dwCallStates, kSupportedCallStates);
    LSC_SET(dwDialToneModes, LINEDIALTONEMODE_INTERNAL | LINEDIALTONEMODE_EXTERNAL);
    LSC_SET(dwBusyModes, LINEBUSYMODE_STATION | LINEBUSYMODE_TRUNK);
    LSC_SET(dwDisconnectModes, LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_BUSY | LINEDISCONNECTMODE_NOANSWER |
                                   LINEDISCONNECTMODE_UNREACHABLE);
    LSC_SET(dwMaxNumActiveCalls, 1);
    LSC_SET(dwCallFeatures, LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER | LINECALLFEATURE_BLINDTRANSFER |
                                LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP);
    LSC_SET(dwTransferModes, LINETRANSFERMODE_TRANSFER);
    // Two canned completion texts, NUL-padded to the entry size.
    const char szMessages[2][10] = {"Busy", "Later"};
    LSC_SET(dwNumCompletionMessages, 2);
    LSC_SET(dwCompletionMsgTextEntrySize, 10);
    w.AddPart(LSC_PART(CompletionMsgText), szMessages, sizeof szMessages);
    LSC_SET(dwAddressFeatures, line.m_eKind == ELineKind::Co ? 0 : LINEADDRFEATURE_MAKECALL);
    if (dwAPIVersion >= TAPI_VERSION_2_0) {
        w.AddPart(LSC_PART(DeviceClasses), kDeviceClasses, sizeof kDeviceClasses);
        LSC_SET(dwConnectedModes, LINECONNECTEDMODE_ACTIVE);
        LSC_SET(dwOfferingModes, LINEOFFERINGMODE_ACTIVE);
        LSC_SET(dwAvailableMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    }
#undef LSC_SET
#undef LSC_PART
    return w.Finish();
}
LONG CSimTapi::GetLineDevStatus(HLINE hLine, LINEDEVSTATUS* pStatus) {
    const COpen* pOpen = FindOpen(hLine);
    if (pOpen == nullptr) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (pStatus == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    DWORD dwDevice = pOpen->m_dwDevice;
    CSimStructWriter w(pStatus, DevStatusFixed(pOpen->m_dwAPIVersion));
    if (w.IsTooSmall()) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    std::vector<const COpen*> opens;
    DWORD dwMedia = 0;
    for (const auto& [h, open] : m_opens) {
        if (open.m_dwDevice == dwDevice) {
            opens.push_back(&open);
            dwMedia |= open.m_dwMediaModes;
        }
    }
    bool bInService = m_pPbx->IsInService(dwDevice);
    std::size_t nCalls = m_pPbx->GetCalls(dwDevice).size();
#define LSC_SET(field, value) w.Set(offsetof(LINEDEVSTATUS, field), value)
    LSC_SET(dwNumOpens, static_cast<DWORD>(opens.size()));
    LSC_SET(dwOpenMediaModes, dwMedia);
    LSC_SET(dwNumActiveCalls, static_cast<DWORD>(nCalls));
    LSC_SET(dwLineFeatures,
            bInService && nCalls == 0 && m_pPbx->GetLine(dwDevice).m_eKind != ELineKind::Co ? LINEFEATURE_MAKECALL : 0);
    LSC_SET(dwDevStatusFlags, bInService ? (LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE) : 0);
    LSC_SET(dwAvailableMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);

    // One LINEAPPINFO per opener; its texts follow the records, with offsets
    // counted from the start of LINEDEVSTATUS.
    DWORD dwRecords = w.NextOffset();
    DWORD dwRecordsSize = static_cast<DWORD>(opens.size() * sizeof(LINEAPPINFO));
    std::vector<BYTE> block(dwRecordsSize, 0);
    for (std::size_t i = 0; i < opens.size(); ++i) {
        auto it = m_apps.find(opens[i]->m_hApp);
        std::string strTexts[4] = {m_host.m_strMachine, m_host.m_strUser, m_host.m_strModule,
                                   it != m_apps.end() ? it->second.m_strName : std::string()};
        DWORD dwFields[10] = {};
        for (int k = 0; k < 4; ++k) {
            dwFields[2 * k] = static_cast<DWORD>(strTexts[k].size() + 1);
            dwFields[2 * k + 1] = dwRecords + static_cast<DWORD>(block.size());
            block.insert(block.end(), strTexts[k].begin(), strTexts[k].end());
            block.push_back(0);
        }
        dwFields[8] = opens[i]->m_dwMediaModes;
        dwFields[9] = 0;
        std::memcpy(block.data() + i * sizeof(LINEAPPINFO), dwFields, sizeof dwFields);
    }
    // Only the records count as the AppInfo part; their texts ride behind them.
    if (w.AddPart(offsetof(LINEDEVSTATUS, dwAppInfoSize), offsetof(LINEDEVSTATUS, dwAppInfoOffset), block)) {
        LSC_SET(dwAppInfoSize, dwRecordsSize);
    }
#undef LSC_SET
    return w.Finish();
}

LONG CSimTapi::GetAddressStatus(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* pStatus) {
    const COpen* pOpen = FindOpen(hLine);
    if (pOpen == nullptr) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (dwAddressID != 0) {
        return LINEERR_INVALADDRESSID;
    }
    if (pStatus == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    CSimStructWriter w(pStatus, sizeof(LINEADDRESSSTATUS));
    if (w.IsTooSmall()) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    const CSimLineConfig& line = m_pPbx->GetLine(pOpen->m_dwDevice);
    std::size_t nCalls = m_pPbx->GetCalls(pOpen->m_dwDevice).size();
#define LSC_SET(field, value) w.Set(offsetof(LINEADDRESSSTATUS, field), value)
    LSC_SET(dwNumInUse, nCalls != 0 ? 1 : 0);
    LSC_SET(dwNumActiveCalls, static_cast<DWORD>(nCalls));
    LSC_SET(dwAddressFeatures, m_pPbx->IsInService(pOpen->m_dwDevice) && nCalls == 0 && line.m_eKind != ELineKind::Co
                                   ? LINEADDRFEATURE_MAKECALL
                                   : 0);
    w.AddPart(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset),
              BuildAddressPart(line, w.NextOffset()));
#undef LSC_SET
    return w.Finish();
}

LONG CSimTapi::GetCallInfo(HCALL hCall, LINECALLINFO* pInfo) {
    const CCallHandle* pHandle = FindCall(hCall);
    if (pHandle == nullptr) {
        return LINEERR_INVALCALLHANDLE;
    }
    if (pInfo == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const COpen* pOpen = FindOpen(pHandle->m_hLine);
    DWORD dwVersion = pOpen != nullptr ? pOpen->m_dwAPIVersion : TAPI_VERSION_2_0;
    CSimStructWriter w(pInfo, CallInfoFixed(dwVersion));
    if (w.IsTooSmall()) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    const CSimAppearance& call = pHandle->m_last;
    const CSimLineConfig& line = m_pPbx->GetLine(call.m_dwLine);
    DWORD dwOwners = 0;
    DWORD dwMonitors = 0;
    for (const auto& [h, other] : m_calls) {
        if (other.m_dwAppearance == pHandle->m_dwAppearance) {
            (other.m_dwPrivilege == LINECALLPRIVILEGE_OWNER ? dwOwners : dwMonitors) += 1;
        }
    }
#define LSC_SET(field, value) w.Set(offsetof(LINECALLINFO, field), value)
#define LSC_PART(name) offsetof(LINECALLINFO, dw##name##Size), offsetof(LINECALLINFO, dw##name##Offset)
    LSC_SET(hLine, pHandle->m_hLine);
    LSC_SET(dwLineDeviceID, call.m_dwLine);
    LSC_SET(dwBearerMode, LINEBEARERMODE_VOICE);
    LSC_SET(dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
    LSC_SET(dwCallID, call.m_dwCallID);
    LSC_SET(dwRelatedCallID, call.m_dwRelatedCallID);
    LSC_SET(dwCallStates, kSupportedCallStates);
    const LINEDIALPARAMS dial{1000, 100, 100, 3000};
    w.SetBytes(offsetof(LINECALLINFO, DialParams), &dial, sizeof dial);
    LSC_SET(dwOrigin, TapiOrigin(call.m_dwOrigin));
    LSC_SET(dwReason, TapiReason(call.m_eReason));
    LSC_SET(dwNumOwners, dwOwners);
    LSC_SET(dwNumMonitors, dwMonitors);
    LSC_SET(dwTrunk, call.m_dwTrunk);
    LSC_SET(dwCallerIDFlags, PartyFlags(call.m_caller));
    w.AddText(LSC_PART(CallerID), call.m_caller.m_strNumber);
    w.AddText(LSC_PART(CallerIDName), call.m_caller.m_strName);
    LSC_SET(dwCalledIDFlags, PartyFlags(call.m_called));
    w.AddText(LSC_PART(CalledID), call.m_called.m_strNumber);
    w.AddText(LSC_PART(CalledIDName), call.m_called.m_strName);
    LSC_SET(dwConnectedIDFlags, PartyFlags(call.m_connected));
    w.AddText(LSC_PART(ConnectedID), call.m_connected.m_strNumber);
    w.AddText(LSC_PART(ConnectedIDName), call.m_connected.m_strName);
    LSC_SET(dwRedirectionIDFlags, PartyFlags(call.m_redirection));
    w.AddText(LSC_PART(RedirectionID), call.m_redirection.m_strNumber);
    w.AddText(LSC_PART(RedirectionIDName), call.m_redirection.m_strName);
    LSC_SET(dwRedirectingIDFlags, PartyFlags(call.m_redirecting));
    w.AddText(LSC_PART(RedirectingID), call.m_redirecting.m_strNumber);
    w.AddText(LSC_PART(RedirectingIDName), call.m_redirecting.m_strName);
    if (call.m_bAppMade) {
        auto it = m_apps.find(pHandle->m_hApp);
        w.AddText(LSC_PART(AppName), it != m_apps.end() ? it->second.m_strName : std::string());
        w.AddText(LSC_PART(DisplayableAddress), call.m_called.m_strNumber);
    }
    if (line.m_eKind != ELineKind::Other) {
        w.AddPart(LSC_PART(DevSpecific), BuildCallPart(call, w.NextOffset()));
    }
#undef LSC_SET
#undef LSC_PART
    return w.Finish();
}

LONG CSimTapi::GetCallStatus(HCALL hCall, LINECALLSTATUS* pStatus) {
    const CCallHandle* pHandle = FindCall(hCall);
    if (pHandle == nullptr) {
        return LINEERR_INVALCALLHANDLE;
    }
    if (pStatus == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const COpen* pOpen = FindOpen(pHandle->m_hLine);
    CSimStructWriter w(pStatus, CallStatusFixed(pOpen != nullptr ? pOpen->m_dwAPIVersion : TAPI_VERSION_2_0));
    if (w.IsTooSmall()) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    const CSimAppearance& call = pHandle->m_last;
    w.Set(offsetof(LINECALLSTATUS, dwCallState), TapiState(call.m_eState));
    w.Set(offsetof(LINECALLSTATUS, dwCallStateMode), TapiMode(call.m_eMode));
    w.Set(offsetof(LINECALLSTATUS, dwCallPrivilege), pHandle->m_dwPrivilege);
    w.Set(offsetof(LINECALLSTATUS, dwCallFeatures), CallFeatures(call.m_eState));
    SYSTEMTIME entry = TimeOf(call.m_tStateEntry);
    w.SetBytes(offsetof(LINECALLSTATUS, tStateEntryTime), &entry, sizeof entry);
    return w.Finish();
}

}  // namespace sim
