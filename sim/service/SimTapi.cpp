#include "service/SimTapi.h"

#include <cstddef>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "service/SimTapiValues.h"

namespace sim {

namespace {

constexpr DWORD kAllLineStates = 0x01FFFFFF;     // LINEDEVSTATE_OTHER .. LINEDEVSTATE_REMOVED
constexpr DWORD kAllAddressStates = 0x000001FF;  // LINEADDRESSSTATE_OTHER .. LINEADDRESSSTATE_CAPSCHANGE

std::string Hex(DWORD dw) {
    char sz[16];
    std::snprintf(sz, sizeof sz, "0x%08X", static_cast<unsigned>(dw));
    return sz;
}

std::string Quoted(LPCSTR psz) {
    if (psz == nullptr) {
        return "(null)";
    }
    std::string str(1, '"');
    str.append(psz);
    str.push_back('"');
    return str;
}

}  // namespace

CSimTapi::CSimTapi(const CSimScenario& scenario, const CSimHost& host)
    : m_scenario(scenario), m_host(host), m_pPbx(BuildPbx(scenario)) {}

void CSimTapi::Journal(const std::string& str) const {
    if (m_fnJournal) {
        m_fnJournal(str);
    }
}

LONG CSimTapi::CheckVersion(DWORD dwDeviceID, DWORD dwAPIVersion) const {
    if (dwAPIVersion < TAPI_VERSION_1_3 || dwAPIVersion > TAPI_VERSION_2_0) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    for (DWORD dwRefused : m_pPbx->GetLine(dwDeviceID).m_refusedVersions) {
        if (dwRefused == dwAPIVersion) {
            return LINEERR_INCOMPATIBLEAPIVERSION;
        }
    }
    return 0;
}

LONG CSimTapi::CheckExtVersion(DWORD dwExtVersion) {
    if (dwExtVersion != 0 && (dwExtVersion < kExtVersionLow || dwExtVersion > kExtVersionHigh)) {
        return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    return 0;
}

const CSimTapi::COpen* CSimTapi::FindOpen(HLINE hLine) const {
    auto it = m_opens.find(hLine);
    return it == m_opens.end() ? nullptr : &it->second;
}

CSimTapi::CCallHandle* CSimTapi::FindCall(HCALL hCall) {
    auto it = m_calls.find(hCall);
    return it == m_calls.end() ? nullptr : &it->second;
}

const CSimTapi::CCallHandle* CSimTapi::FindCall(HCALL hCall) const {
    auto it = m_calls.find(hCall);
    return it == m_calls.end() ? nullptr : &it->second;
}

HCALL CSimTapi::FindHandle(HLINE hLine, DWORD dwAppearance) const {
    for (const auto& [hCall, call] : m_calls) {
        if (call.m_hLine == hLine && call.m_dwAppearance == dwAppearance) {
            return hCall;
        }
    }
    return 0;
}

HCALL CSimTapi::NewHandle(const COpen& open, DWORD dwAppearance, DWORD dwPrivilege, const CSimAppearance& call) {
    CCallHandle handle;
    handle.m_h = m_dwNextCall++;
    handle.m_hLine = open.m_h;
    handle.m_hApp = open.m_hApp;
    handle.m_dwAppearance = dwAppearance;
    handle.m_dwPrivilege = dwPrivilege;
    handle.m_last = call;
    m_calls[handle.m_h] = handle;
    return handle.m_h;
}

DWORD CSimTapi::NextRequest() {
    DWORD dw = m_dwNextRequest;
    m_dwNextRequest = m_dwNextRequest >= 0x7FFFFFFF ? 1 : m_dwNextRequest + 1;
    return dw;
}

void CSimTapi::Queue(HLINEAPP hApp, DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                     DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
    CSimMessage message;
    message.m_hApp = hApp;
    message.m_hDevice = hDevice;
    message.m_dwMessage = dwMessage;
    message.m_dwInstance = dwInstance;
    message.m_dwParam1 = dwParam1;
    message.m_dwParam2 = dwParam2;
    message.m_dwParam3 = dwParam3;
    m_messages.push_back(message);
}

std::vector<CSimMessage> CSimTapi::TakeMessages() {
    std::vector<CSimMessage> messages;
    messages.swap(m_messages);
    return messages;
}

bool CSimTapi::IsDeliverable(const CSimMessage& message) const {
    if (!HasApp(message.m_hApp)) {
        return false;
    }
    switch (message.m_dwMessage) {
        case LINE_CALLSTATE:
        case LINE_CALLINFO:
            return FindCall(message.m_hDevice) != nullptr;
        case LINE_APPNEWCALL:
            return FindCall(static_cast<HCALL>(message.m_dwParam2)) != nullptr;
        case LINE_LINEDEVSTATE:
            return message.m_hDevice == 0 || FindOpen(message.m_hDevice) != nullptr;
        default:
            return true;
    }
}

// Turns the model's events into messages for every application that has the line open.
void CSimTapi::ProcessEvents() {
    for (const CSimEvent& event : m_pPbx->TakeEvents()) {
        if (event.m_eKind == EEventKind::Reinit) {
            for (auto& [hApp, app] : m_apps) {
                app.m_bBeforeReinit = true;
                Queue(hApp, 0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_REINIT, 0, 0);
            }
            continue;
        }
        for (const auto& [hLine, open] : m_opens) {
            if (open.m_dwDevice != event.m_dwLine) {
                continue;
            }
            if (event.m_eKind == EEventKind::LineState) {
                DWORD dwState =
                    event.m_eLineState == ELineState::OutOfService ? LINEDEVSTATE_OUTOFSERVICE : LINEDEVSTATE_INSERVICE;
                if (open.m_dwLineStates & dwState) {
                    Queue(open.m_hApp, hLine, LINE_LINEDEVSTATE, open.m_dwInstance, dwState, 0, 0);
                }
                continue;
            }
            const CSimAppearance& call = event.m_call;
            HCALL hCall = FindHandle(hLine, call.m_dwId);
            bool bCreate =
                hCall == 0 && (event.m_eKind == EEventKind::NewCall ||
                               (event.m_eKind == EEventKind::CallState && call.m_eState != ECallState::Idle));
            if (bCreate) {
                // Monitors see every call; an owner open also owns the calls that arrive.
                DWORD dwPrivilege = (open.m_dwPrivileges & LINECALLPRIVILEGE_OWNER) ? LINECALLPRIVILEGE_OWNER
                                                                                    : LINECALLPRIVILEGE_MONITOR;
                hCall = NewHandle(open, call.m_dwId, dwPrivilege, call);
                Queue(open.m_hApp, hLine, LINE_APPNEWCALL, open.m_dwInstance, 0, hCall, dwPrivilege);
            }
            CCallHandle* pHandle = FindCall(hCall);
            if (pHandle == nullptr) {
                continue;
            }
            pHandle->m_last = call;
            if (event.m_eKind == EEventKind::CallState) {
                DWORD dwPrivilege = pHandle->m_bStateSent ? 0 : pHandle->m_dwPrivilege;
                pHandle->m_bStateSent = true;
                Queue(open.m_hApp, hCall, LINE_CALLSTATE, open.m_dwInstance, TapiState(call.m_eState),
                      TapiMode(call.m_eMode), dwPrivilege);
            } else if (event.m_eKind == EEventKind::CallInfo) {
                Queue(open.m_hApp, hCall, LINE_CALLINFO, open.m_dwInstance, TapiInfoStates(event.m_dwInfo), 0, 0);
            }
        }
    }
}

void CSimTapi::Advance(SimTime tDelta) {
    m_pPbx->Advance(tDelta);
    ProcessEvents();
}

bool CSimTapi::Inject(const std::string& strJson, std::string* pstrError) {
    CSimAction action;
    std::vector<CSimLineConfig> lines;
    for (std::size_t i = 0; i < m_pPbx->GetLineCount(); ++i) {
        lines.push_back(m_pPbx->GetLine(static_cast<DWORD>(i)));
    }
    if (!ParseAction(strJson, lines, &action, pstrError)) {
        return false;
    }
    if (action.m_tAt > 0) {
        action.m_tAt += m_pPbx->GetTime();
        m_pPbx->Schedule(action);
        return true;
    }
    bool bOk = m_pPbx->RunAction(action, pstrError);
    ProcessEvents();
    return bOk;
}

LONG CSimTapi::InitializeEx(HLINEAPP* phApp, LINECALLBACK pfnCallback, LPCSTR pszAppName, DWORD* pdwNumDevs,
                            DWORD* pdwAPIVersion, LINEINITIALIZEEXPARAMS* pParams) {
    LONG lResult = 0;
    if (phApp == nullptr || pdwNumDevs == nullptr || pdwAPIVersion == nullptr || pParams == nullptr) {
        lResult = LINEERR_INVALPOINTER;
    } else if (pParams->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) {
        lResult = LINEERR_STRUCTURETOOSMALL;
    } else if ((pParams->dwOptions & ~LINEINITIALIZEEXOPTION_CALLHUBTRACKING) !=
               LINEINITIALIZEEXOPTION_USEHIDDENWINDOW) {
        DWORD dwMode = pParams->dwOptions & ~LINEINITIALIZEEXOPTION_CALLHUBTRACKING;
        // Event and completion-port delivery exist in TAPI, but not here.
        lResult = dwMode == LINEINITIALIZEEXOPTION_USEEVENT || dwMode == LINEINITIALIZEEXOPTION_USECOMPLETIONPORT
                      ? LINEERR_OPERATIONUNAVAIL
                      : LINEERR_INVALPARAM;
    } else if (pfnCallback == nullptr) {
        lResult = LINEERR_INVALPOINTER;
    } else if (*pdwAPIVersion < TAPI_VERSION_2_0) {
        lResult = LINEERR_INCOMPATIBLEAPIVERSION;
    } else {
        for (const auto& [h, app] : m_apps) {
            if (app.m_bBeforeReinit) {
                lResult = LINEERR_REINIT;
            }
        }
    }
    if (lResult != 0) {
        Journal("lineInitializeExA app=" + Quoted(pszAppName) + " -> " + Hex(static_cast<DWORD>(lResult)));
        return lResult;
    }
    CApp app;
    app.m_h = m_dwNextApp++;
    app.m_pfnCallback = pfnCallback;
    app.m_strName = pszAppName != nullptr ? pszAppName : m_host.m_strModule;
    m_apps[app.m_h] = app;
    *phApp = app.m_h;
    *pdwNumDevs = static_cast<DWORD>(m_pPbx->GetLineCount());
    *pdwAPIVersion = TAPI_VERSION_2_0;
    pParams->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
    pParams->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    Journal("lineInitializeExA app=" + Quoted(pszAppName) + " -> 0 hLineApp=" + Hex(app.m_h) +
            " devices=" + std::to_string(*pdwNumDevs));
    return 0;
}

void CSimTapi::CloseOpen(HLINE hLine) {
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        it = it->second.m_hLine == hLine ? m_calls.erase(it) : std::next(it);
    }
    m_opens.erase(hLine);
}

LONG CSimTapi::Shutdown(HLINEAPP hApp) {
    if (!HasApp(hApp)) {
        Journal("lineShutdown hLineApp=" + Hex(hApp) + " -> " + Hex(static_cast<DWORD>(LINEERR_INVALAPPHANDLE)));
        return LINEERR_INVALAPPHANDLE;
    }
    int nClosed = 0;
    for (auto it = m_opens.begin(); it != m_opens.end();) {
        if (it->second.m_hApp == hApp) {
            HLINE hLine = it->first;
            ++it;
            CloseOpen(hLine);
            ++nClosed;
        } else {
            ++it;
        }
    }
    m_apps.erase(hApp);
    std::erase_if(m_messages, [hApp](const CSimMessage& m) { return m.m_hApp == hApp; });
    Journal("lineShutdown hLineApp=" + Hex(hApp) + " -> 0 linesStillOpen=" + std::to_string(nClosed));
    return 0;
}

LONG CSimTapi::NegotiateExtVersion(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtLow, DWORD dwExtHigh,
                                   DWORD* pdwExtVersion) {
    if (!HasApp(hApp)) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (!IsValidDevice(dwDeviceID)) {
        return LINEERR_BADDEVICEID;
    }
    if (pdwExtVersion == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (LONG lResult = CheckVersion(dwDeviceID, dwAPIVersion); lResult != 0) {
        return lResult;
    }
    if (dwExtLow > dwExtHigh || dwExtLow > kExtVersionHigh || dwExtHigh < kExtVersionLow) {
        return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    *pdwExtVersion = dwExtHigh < kExtVersionHigh ? dwExtHigh : kExtVersionHigh;
    return 0;
}

LONG CSimTapi::Open(HLINEAPP hApp, DWORD dwDeviceID, HLINE* phLine, DWORD dwAPIVersion, DWORD dwExtVersion,
                    DWORD_PTR dwInstance, DWORD dwPrivileges, DWORD dwMediaModes, const void* pCallParams) {
    (void)pCallParams;
    LONG lResult = 0;
    constexpr DWORD kMediaAll = 0x00FFFFFE;  // the defined LINEMEDIAMODE_ bits
    bool bOwner = (dwPrivileges & LINECALLPRIVILEGE_OWNER) != 0;
    if (!HasApp(hApp)) {
        lResult = LINEERR_INVALAPPHANDLE;
    } else if (!IsValidDevice(dwDeviceID)) {
        lResult = LINEERR_BADDEVICEID;
    } else if (phLine == nullptr) {
        lResult = LINEERR_INVALPOINTER;
    } else if ((lResult = CheckVersion(dwDeviceID, dwAPIVersion)) != 0 ||
               (lResult = CheckExtVersion(dwExtVersion)) != 0) {
    } else if (dwPrivileges != LINECALLPRIVILEGE_NONE && dwPrivileges != LINECALLPRIVILEGE_MONITOR &&
               dwPrivileges != LINECALLPRIVILEGE_OWNER &&
               dwPrivileges != (LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR)) {
        lResult = LINEERR_INVALPRIVSELECT;
    } else if (bOwner && (dwMediaModes == 0 || (dwMediaModes & ~kMediaAll) != 0)) {
        lResult = LINEERR_INVALMEDIAMODE;
    } else if (m_pPbx->GetLine(dwDeviceID).m_bOpenFails) {
        lResult = LINEERR_RESOURCEUNAVAIL;
    }
    std::string strCall = "lineOpenA hLineApp=" + Hex(hApp) + " device=" + std::to_string(dwDeviceID) +
                          " api=" + Hex(dwAPIVersion) + " ext=" + Hex(dwExtVersion) +
                          " privileges=" + Hex(dwPrivileges) + " media=" + Hex(dwMediaModes);
    if (lResult != 0) {
        Journal(strCall + " -> " + Hex(static_cast<DWORD>(lResult)));
        return lResult;
    }
    COpen open;
    open.m_h = m_dwNextLine++;
    open.m_hApp = hApp;
    open.m_dwDevice = dwDeviceID;
    open.m_dwAPIVersion = dwAPIVersion;
    open.m_dwExtVersion = dwExtVersion;
    open.m_dwInstance = dwInstance;
    open.m_dwPrivileges = dwPrivileges;
    open.m_dwMediaModes = dwMediaModes;
    m_opens[open.m_h] = open;
    *phLine = open.m_h;
    Journal(strCall + " -> 0 hLine=" + Hex(open.m_h));
    return 0;
}

LONG CSimTapi::Close(HLINE hLine) {
    const COpen* pOpen = FindOpen(hLine);
    if (pOpen == nullptr) {
        Journal("lineClose hLine=" + Hex(hLine) + " -> " + Hex(static_cast<DWORD>(LINEERR_INVALLINEHANDLE)));
        return LINEERR_INVALLINEHANDLE;
    }
    DWORD dwDevice = pOpen->m_dwDevice;
    CloseOpen(hLine);
    Journal("lineClose hLine=" + Hex(hLine) + " device=" + std::to_string(dwDevice) + " -> 0");
    return 0;
}

LONG CSimTapi::SetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
    LONG lResult = 0;
    auto it = m_opens.find(hLine);
    if (it == m_opens.end()) {
        lResult = LINEERR_INVALLINEHANDLE;
    } else if ((dwLineStates & ~kAllLineStates) != 0) {
        lResult = LINEERR_INVALLINESTATE;
    } else if ((dwAddressStates & ~kAllAddressStates) != 0) {
        lResult = LINEERR_INVALADDRESSSTATE;
    } else {
        it->second.m_dwLineStates = dwLineStates;
        it->second.m_dwAddressStates = dwAddressStates;
    }
    Journal("lineSetStatusMessages hLine=" + Hex(hLine) + " lineStates=" + Hex(dwLineStates) +
            " addressStates=" + Hex(dwAddressStates) + " -> " + Hex(static_cast<DWORD>(lResult)));
    return lResult;
}

LONG CSimTapi::MakeCall(HLINE hLine, HCALL* phCall, LPCSTR pszDest, DWORD dwCountryCode, const void* pCallParams) {
    (void)pCallParams;
    const COpen* pOpen = FindOpen(hLine);
    LONG lResult = 0;
    DWORD dwAppearance = 0;
    std::string strDest = pszDest != nullptr ? pszDest : "";
    if (pOpen == nullptr) {
        lResult = LINEERR_INVALLINEHANDLE;
    } else if (phCall == nullptr) {
        lResult = LINEERR_INVALPOINTER;
    } else if (dwCountryCode != 0) {
        lResult = LINEERR_INVALCOUNTRYCODE;
    } else {
        switch (m_pPbx->MakeCall(pOpen->m_dwDevice, strDest, &dwAppearance)) {
            case ESimResult::Ok:
                break;
            case ESimResult::BadAddress:
                lResult = LINEERR_INVALADDRESS;
                break;
            case ESimResult::LineBusy:
                lResult = LINEERR_CALLUNAVAIL;
                break;
            case ESimResult::OutOfService:
                lResult = LINEERR_RESOURCEUNAVAIL;
                break;
            default:
                lResult = LINEERR_OPERATIONFAILED;
                break;
        }
    }
    std::string strCall = "lineMakeCallA hLine=" + Hex(hLine) + " dest=" + Quoted(pszDest);
    if (lResult != 0) {
        Journal(strCall + " -> " + Hex(static_cast<DWORD>(lResult)));
        return lResult;
    }
    // The caller owns the new call; the handle reaches it with LINE_REPLY,
    // ahead of the call's first state.
    HCALL hCall = NewHandle(*pOpen, dwAppearance, LINECALLPRIVILEGE_OWNER, *m_pPbx->FindCall(dwAppearance));
    DWORD dwRequest = NextRequest();
    Queue(pOpen->m_hApp, hLine, LINE_REPLY, pOpen->m_dwInstance, dwRequest, 0, 0);
    m_messages.back().m_phCallOut = phCall;
    m_messages.back().m_hCallOut = hCall;
    ProcessEvents();
    Journal(strCall + " -> " + std::to_string(dwRequest) + " hCall=" + Hex(hCall));
    return static_cast<LONG>(dwRequest);
}

LONG CSimTapi::ControlCall(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize, bool bAnswer) {
    CCallHandle* pHandle = FindCall(hCall);
    LONG lResult = 0;
    if (pHandle == nullptr) {
        lResult = LINEERR_INVALCALLHANDLE;
    } else if (psUserUserInfo != nullptr && dwSize != 0) {
        lResult = LINEERR_USERUSERINFOTOOBIG;  // the PBX carries no user-user information
    } else if (pHandle->m_dwPrivilege != LINECALLPRIVILEGE_OWNER && !m_scenario.m_bMonitorMayControl) {
        lResult = LINEERR_NOTOWNER;
    } else {
        ESimResult eResult = bAnswer ? m_pPbx->Answer(pHandle->m_dwAppearance) : m_pPbx->Drop(pHandle->m_dwAppearance);
        lResult = eResult == ESimResult::Ok ? 0 : LINEERR_INVALCALLSTATE;
    }
    std::string strCall = std::string(bAnswer ? "lineAnswer" : "lineDrop") + " hCall=" + Hex(hCall);
    if (lResult != 0) {
        Journal(strCall + " -> " + Hex(static_cast<DWORD>(lResult)));
        return lResult;
    }
    DWORD dwRequest = NextRequest();
    const COpen* pOpen = FindOpen(pHandle->m_hLine);
    Queue(pHandle->m_hApp, pHandle->m_hLine, LINE_REPLY, pOpen != nullptr ? pOpen->m_dwInstance : 0, dwRequest, 0, 0);
    ProcessEvents();
    Journal(strCall + " -> " + std::to_string(dwRequest));
    return static_cast<LONG>(dwRequest);
}

LONG CSimTapi::Answer(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize) {
    return ControlCall(hCall, psUserUserInfo, dwSize, true);
}

LONG CSimTapi::Drop(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize) {
    return ControlCall(hCall, psUserUserInfo, dwSize, false);
}

LONG CSimTapi::DeallocateCall(HCALL hCall) {
    CCallHandle* pHandle = FindCall(hCall);
    LONG lResult = 0;
    if (pHandle == nullptr) {
        lResult = LINEERR_INVALCALLHANDLE;
    } else if (pHandle->m_dwPrivilege == LINECALLPRIVILEGE_OWNER && pHandle->m_last.m_eState != ECallState::Idle) {
        // The sole owner of a live call must drop it first.
        bool bOtherOwner = false;
        for (const auto& [h, other] : m_calls) {
            bOtherOwner |= h != hCall && other.m_dwAppearance == pHandle->m_dwAppearance &&
                           other.m_dwPrivilege == LINECALLPRIVILEGE_OWNER;
        }
        lResult = bOtherOwner ? 0 : LINEERR_INVALCALLSTATE;
    }
    if (lResult == 0) {
        m_calls.erase(hCall);
    }
    Journal("lineDeallocateCall hCall=" + Hex(hCall) + " -> " + Hex(static_cast<DWORD>(lResult)));
    return lResult;
}

std::string CSimTapi::GetStateJson() const {
    using nlohmann::json;
    json state;
    state["scenario"] = m_scenario.m_strName;
    state["time"] = m_pPbx->GetTime();
    state["randomCalls"] = m_pPbx->GetRandomCallCount();
    json apps = json::array();
    for (const auto& [hApp, app] : m_apps) {
        json lines = json::array();
        for (const auto& [hLine, open] : m_opens) {
            if (open.m_hApp == hApp) {
                lines.push_back({{"hLine", hLine},
                                 {"device", open.m_dwDevice},
                                 {"apiVersion", open.m_dwAPIVersion},
                                 {"privileges", open.m_dwPrivileges},
                                 {"lineStates", open.m_dwLineStates},
                                 {"addressStates", open.m_dwAddressStates}});
            }
        }
        apps.push_back(
            {{"hLineApp", hApp}, {"name", app.m_strName}, {"reinitPending", app.m_bBeforeReinit}, {"lines", lines}});
    }
    state["apps"] = apps;
    json lines = json::array();
    for (std::size_t i = 0; i < m_pPbx->GetLineCount(); ++i) {
        const CSimLineConfig& line = m_pPbx->GetLine(static_cast<DWORD>(i));
        static const char* const pszKinds[] = {"ext", "co", "etc", "other"};
        json calls = json::array();
        for (const CSimAppearance* pCall : m_pPbx->GetCalls(static_cast<DWORD>(i))) {
            calls.push_back({{"id", pCall->m_dwId},
                             {"callId", pCall->m_dwCallID},
                             {"state", CallStateText(pCall->m_eState)},
                             {"caller", pCall->m_caller.m_strNumber},
                             {"called", pCall->m_called.m_strNumber},
                             {"connected", pCall->m_connected.m_strNumber}});
        }
        lines.push_back({{"device", i},
                         {"number", line.m_strNumber},
                         {"name", line.m_strName},
                         {"kind", pszKinds[static_cast<int>(line.m_eKind)]},
                         {"permanentLineId", line.m_dwPermanentLineID},
                         {"inService", m_pPbx->IsInService(static_cast<DWORD>(i))},
                         {"calls", calls}});
    }
    state["lines"] = lines;
    json handles = json::array();
    for (const auto& [hCall, call] : m_calls) {
        handles.push_back({{"hCall", hCall},
                           {"hLine", call.m_hLine},
                           {"hLineApp", call.m_hApp},
                           {"call", call.m_dwAppearance},
                           {"privilege", call.m_dwPrivilege},
                           {"state", CallStateText(call.m_last.m_eState)}});
    }
    state["callHandles"] = handles;
    return state.dump(1);
}

}  // namespace sim
