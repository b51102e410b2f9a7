#include "service/SimTapi.h"

#include <cstddef>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "model/SimLayouts.h"
#include "service/SimStructWriter.h"

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

DWORD TapiState(ECallState eState) {
    switch (eState) {
        case ECallState::Idle:
            return LINECALLSTATE_IDLE;
        case ECallState::Offering:
            return LINECALLSTATE_OFFERING;
        case ECallState::Accepted:
            return LINECALLSTATE_ACCEPTED;
        case ECallState::Dialtone:
            return LINECALLSTATE_DIALTONE;
        case ECallState::Dialing:
            return LINECALLSTATE_DIALING;
        case ECallState::Proceeding:
            return LINECALLSTATE_PROCEEDING;
        case ECallState::Ringback:
            return LINECALLSTATE_RINGBACK;
        case ECallState::Busy:
            return LINECALLSTATE_BUSY;
        case ECallState::Connected:
            return LINECALLSTATE_CONNECTED;
        case ECallState::Disconnected:
            return LINECALLSTATE_DISCONNECTED;
        case ECallState::OnHold:
            return LINECALLSTATE_ONHOLD;
    }
    return LINECALLSTATE_UNKNOWN;
}

DWORD TapiMode(EStateMode eMode) {
    switch (eMode) {
        case EStateMode::None:
            return 0;
        case EStateMode::DialtoneInternal:
            return LINEDIALTONEMODE_INTERNAL;
        case EStateMode::DialtoneExternal:
            return LINEDIALTONEMODE_EXTERNAL;
        case EStateMode::BusyStation:
            return LINEBUSYMODE_STATION;
        case EStateMode::BusyTrunk:
            return LINEBUSYMODE_TRUNK;
        case EStateMode::ConnectedActive:
            return LINECONNECTEDMODE_ACTIVE;
        case EStateMode::OfferingActive:
            return LINEOFFERINGMODE_ACTIVE;
        case EStateMode::DisconnectNormal:
            return LINEDISCONNECTMODE_NORMAL;
        case EStateMode::DisconnectBusy:
            return LINEDISCONNECTMODE_BUSY;
        case EStateMode::DisconnectNoAnswer:
            return LINEDISCONNECTMODE_NOANSWER;
        case EStateMode::DisconnectUnreachable:
            return LINEDISCONNECTMODE_UNREACHABLE;
    }
    return 0;
}

DWORD TapiOrigin(DWORD dwOrigin) {
    DWORD dw = 0;
    dw |= (dwOrigin & ORIGIN_OUTBOUND) ? LINECALLORIGIN_OUTBOUND : 0;
    dw |= (dwOrigin & ORIGIN_INTERNAL) ? LINECALLORIGIN_INTERNAL : 0;
    dw |= (dwOrigin & ORIGIN_EXTERNAL) ? LINECALLORIGIN_EXTERNAL : 0;
    dw |= (dwOrigin & ORIGIN_INBOUND) ? LINECALLORIGIN_INBOUND : 0;
    return dw == 0 ? LINECALLORIGIN_UNKNOWN : dw;
}

DWORD TapiReason(EReason eReason) {
    switch (eReason) {
        case EReason::Direct:
            return LINECALLREASON_DIRECT;
        case EReason::Transfer:
            return LINECALLREASON_TRANSFER;
        case EReason::FwdNoAnswer:
            return LINECALLREASON_FWDNOANSWER;
        case EReason::FwdBusy:
            return LINECALLREASON_FWDBUSY;
        case EReason::Unknown:
            return LINECALLREASON_UNKNOWN;
    }
    return LINECALLREASON_UNKNOWN;
}

DWORD TapiInfoStates(DWORD dwInfo) {
    DWORD dw = 0;
    dw |= (dwInfo & INFO_CALLERID) ? LINECALLINFOSTATE_CALLERID : 0;
    dw |= (dwInfo & INFO_CALLEDID) ? LINECALLINFOSTATE_CALLEDID : 0;
    dw |= (dwInfo & INFO_CONNECTEDID) ? LINECALLINFOSTATE_CONNECTEDID : 0;
    dw |= (dwInfo & INFO_REDIRECTIONID) ? LINECALLINFOSTATE_REDIRECTIONID : 0;
    dw |= (dwInfo & INFO_REDIRECTINGID) ? LINECALLINFOSTATE_REDIRECTINGID : 0;
    dw |= (dwInfo & INFO_TRUNK) ? LINECALLINFOSTATE_TRUNK : 0;
    dw |= (dwInfo & INFO_ORIGIN) ? LINECALLINFOSTATE_ORIGIN : 0;
    dw |= (dwInfo & INFO_REASON) ? LINECALLINFOSTATE_REASON : 0;
    dw |= (dwInfo & INFO_DEVSPECIFIC) ? LINECALLINFOSTATE_DEVSPECIFIC : 0;
    return dw;
}

// What an application may do with a call in this state.
DWORD CallFeatures(ECallState eState) {
    switch (eState) {
        case ECallState::Offering:
            return LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP;
        case ECallState::Accepted:
            return LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP;
        case ECallState::Dialtone:
        case ECallState::Dialing:
            return LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP;
        case ECallState::Connected:
            return LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_DROP;
        case ECallState::OnHold:
            return LINECALLFEATURE_UNHOLD | LINECALLFEATURE_DROP;
        case ECallState::Proceeding:
        case ECallState::Ringback:
        case ECallState::Busy:
        case ECallState::Disconnected:
            return LINECALLFEATURE_DROP;
        case ECallState::Idle:
            return 0;
    }
    return 0;
}

DWORD PartyFlags(const CSimParty& party) {
    DWORD dw = 0;
    dw |= party.m_strNumber.empty() ? 0 : LINECALLPARTYID_ADDRESS;
    dw |= party.m_strName.empty() ? 0 : LINECALLPARTYID_NAME;
    return dw == 0 ? LINECALLPARTYID_UNKNOWN : dw;
}

constexpr DWORD ALL_LINE_STATES = 0x01FFFFFF;     // LINEDEVSTATE_OTHER .. LINEDEVSTATE_REMOVED
constexpr DWORD ALL_ADDRESS_STATES = 0x000001FF;  // LINEADDRESSSTATE_OTHER .. LINEADDRESSSTATE_CAPSCHANGE
constexpr DWORD SUPPORTED_CALL_STATES = LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED |
                                        LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING | LINECALLSTATE_PROCEEDING |
                                        LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED |
                                        LINECALLSTATE_DISCONNECTED;
constexpr DWORD SUPPORTED_INFO_STATES = LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                                        LINECALLINFOSTATE_CONNECTEDID | LINECALLINFOSTATE_REDIRECTIONID |
                                        LINECALLINFOSTATE_REDIRECTINGID | LINECALLINFOSTATE_TRUNK |
                                        LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON;
const char DEVICE_CLASSES[] = "tapi/line\0";  // the list ends with a second NUL

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

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* py, unsigned* pm, unsigned* pd) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *pd = doy - (153 * mp + 2) / 5 + 1;
    *pm = mp < 10 ? mp + 3 : mp - 9;
    *py = static_cast<std::int64_t>(yoe) + era * 400 + (*pm <= 2);
}

}  // namespace

SYSTEMTIME AddMilliseconds(const SYSTEMTIME& base, SimTime tMs) {
    unsigned nMonth = base.wMonth >= 1 && base.wMonth <= 12 ? base.wMonth : 1;
    unsigned nDay = base.wDay >= 1 && base.wDay <= 31 ? base.wDay : 1;
    std::int64_t nDays = DaysFromCivil(base.wYear, nMonth, nDay);
    std::uint64_t qwMs = ((static_cast<std::uint64_t>(base.wHour) * 60 + base.wMinute) * 60 + base.wSecond) * 1000 +
                         base.wMilliseconds + tMs;
    nDays += static_cast<std::int64_t>(qwMs / 86400000);
    qwMs %= 86400000;
    std::int64_t nYear = 0;
    unsigned nM = 0;
    unsigned nD = 0;
    CivilFromDays(nDays, &nYear, &nM, &nD);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(nYear);
    t.wMonth = static_cast<WORD>(nM);
    t.wDay = static_cast<WORD>(nD);
    t.wDayOfWeek = static_cast<WORD>(((nDays % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    t.wHour = static_cast<WORD>(qwMs / 3600000);
    t.wMinute = static_cast<WORD>(qwMs / 60000 % 60);
    t.wSecond = static_cast<WORD>(qwMs / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(qwMs % 1000);
    return t;
}

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
    if (dwExtVersion != 0 && (dwExtVersion < SIM_EXT_VERSION_LOW || dwExtVersion > SIM_EXT_VERSION_HIGH)) {
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
    if (dwExtLow > dwExtHigh || dwExtLow > SIM_EXT_VERSION_HIGH || dwExtHigh < SIM_EXT_VERSION_LOW) {
        return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    *pdwExtVersion = dwExtHigh < SIM_EXT_VERSION_HIGH ? dwExtHigh : SIM_EXT_VERSION_HIGH;
    return 0;
}

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
        w.AddPart(LSC_PART(DeviceClasses), DEVICE_CLASSES, sizeof DEVICE_CLASSES);
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
    LSC_SET(dwCallInfoStates, SUPPORTED_INFO_STATES);
    LSC_SET(dwCallerIDFlags, dwIdFlags);
    LSC_SET(dwCalledIDFlags, dwIdFlags);
    LSC_SET(dwConnectedIDFlags, dwIdFlags);
    LSC_SET(dwRedirectionIDFlags, dwIdFlags);
    LSC_SET(dwRedirectingIDFlags, dwIdFlags);
    LSC_SET(dwCallStates, SUPPORTED_CALL_STATES);
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
        w.AddPart(LSC_PART(DeviceClasses), DEVICE_CLASSES, sizeof DEVICE_CLASSES);
        LSC_SET(dwConnectedModes, LINECONNECTEDMODE_ACTIVE);
        LSC_SET(dwOfferingModes, LINEOFFERINGMODE_ACTIVE);
        LSC_SET(dwAvailableMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    }
#undef LSC_SET
#undef LSC_PART
    return w.Finish();
}

LONG CSimTapi::Open(HLINEAPP hApp, DWORD dwDeviceID, HLINE* phLine, DWORD dwAPIVersion, DWORD dwExtVersion,
                    DWORD_PTR dwInstance, DWORD dwPrivileges, DWORD dwMediaModes, const void* pCallParams) {
    (void)pCallParams;
    LONG lResult = 0;
    constexpr DWORD MEDIA_ALL = 0x00FFFFFE;  // the defined LINEMEDIAMODE_ bits
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
    } else if (bOwner && (dwMediaModes == 0 || (dwMediaModes & ~MEDIA_ALL) != 0)) {
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
    } else if ((dwLineStates & ~ALL_LINE_STATES) != 0) {
        lResult = LINEERR_INVALLINESTATE;
    } else if ((dwAddressStates & ~ALL_ADDRESS_STATES) != 0) {
        lResult = LINEERR_INVALADDRESSSTATE;
    } else {
        it->second.m_dwLineStates = dwLineStates;
        it->second.m_dwAddressStates = dwAddressStates;
    }
    Journal("lineSetStatusMessages hLine=" + Hex(hLine) + " lineStates=" + Hex(dwLineStates) +
            " addressStates=" + Hex(dwAddressStates) + " -> " + Hex(static_cast<DWORD>(lResult)));
    return lResult;
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
    LSC_SET(dwCallStates, SUPPORTED_CALL_STATES);
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
