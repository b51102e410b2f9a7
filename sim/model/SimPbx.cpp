#include "model/SimPbx.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

bool IsRinging(ECallState eState) {
    return eState == ECallState::Offering || eState == ECallState::Accepted;
}

bool IsDialable(const std::string& str) {
    if (str.empty()) {
        return false;
    }
    return std::all_of(str.begin(), str.end(),
                       [](char ch) { return (ch >= '0' && ch <= '9') || ch == '*' || ch == '#' || ch == '+'; });
}

// Says why an action could not run, to a caller that wants to know.
bool Fail(std::string* pstrError, const std::string& str) {
    if (pstrError != nullptr) {
        *pstrError = str;
    }
    return false;
}

}  // namespace

const char* CallStateText(ECallState eState) {
    switch (eState) {
        case ECallState::Idle:
            return "idle";
        case ECallState::Offering:
            return "offering";
        case ECallState::Accepted:
            return "accepted";
        case ECallState::Dialtone:
            return "dialtone";
        case ECallState::Dialing:
            return "dialing";
        case ECallState::Proceeding:
            return "proceeding";
        case ECallState::Ringback:
            return "ringback";
        case ECallState::Busy:
            return "busy";
        case ECallState::Connected:
            return "connected";
        case ECallState::Disconnected:
            return "disconnected";
        case ECallState::OnHold:
            return "onhold";
    }
    return "?";
}

CSimPbx::CSimPbx(std::vector<CSimLineConfig> lines, std::uint64_t qwSeed)
    : m_lines(std::move(lines)), m_random(qwSeed) {
    for (const CSimLineConfig& line : m_lines) {
        m_inService.push_back(line.m_bInService);
    }
}

int CSimPbx::FindLine(const std::string& strNumber) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].m_strNumber == strNumber) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CSimPbx::CCall* CSimPbx::Find(DWORD dwId) {
    auto it = m_calls.find(dwId);
    return it == m_calls.end() ? nullptr : &it->second;
}

const CSimAppearance* CSimPbx::FindCall(DWORD dwId) const {
    auto it = m_calls.find(dwId);
    return it == m_calls.end() ? nullptr : &it->second.m_a;
}

std::vector<const CSimAppearance*> CSimPbx::GetCalls(DWORD dwLine) const {
    std::vector<const CSimAppearance*> calls;
    for (const auto& [dwId, call] : m_calls) {
        if (call.m_a.m_dwLine == dwLine) {
            calls.push_back(&call.m_a);
        }
    }
    return calls;
}

std::vector<const CSimAppearance*> CSimPbx::GetAllCalls() const {
    std::vector<const CSimAppearance*> calls;
    for (const auto& [dwId, call] : m_calls) {
        calls.push_back(&call.m_a);
    }
    return calls;
}

bool CSimPbx::IsLineFree(DWORD dwLine) const {
    return IsInService(dwLine) && GetCalls(dwLine).empty();
}

int CSimPbx::FindFreeTrunk(const std::string& strTrunk) const {
    if (!strTrunk.empty()) {
        int nLine = FindLine(strTrunk);
        if (nLine < 0 || m_lines[nLine].m_eKind != ELineKind::Co || !IsLineFree(static_cast<DWORD>(nLine))) {
            return -1;
        }
        return nLine;
    }
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].m_eKind == ELineKind::Co && IsLineFree(static_cast<DWORD>(i))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CSimParty CSimPbx::PartyOf(DWORD dwLine) const {
    return CSimParty{m_lines[dwLine].m_strNumber, m_lines[dwLine].m_strName};
}

std::string CSimPbx::DidOf(DWORD dwLine) const {
    const CSimLineConfig& line = m_lines[dwLine];
    return line.m_strDid.empty() ? line.m_strNumber : line.m_strDid;
}

void CSimPbx::At(SimTime tDelay, std::function<void()> fnStep) {
    m_steps.emplace(std::make_pair(m_tNow + tDelay, m_qwSeq++), std::move(fnStep));
}

void CSimPbx::Emit(EEventKind eKind, const CSimAppearance& a, DWORD dwInfo) {
    CSimEvent event;
    event.m_eKind = eKind;
    event.m_tAt = m_tNow;
    event.m_dwLine = a.m_dwLine;
    event.m_call = a;
    event.m_dwInfo = dwInfo;
    m_events.push_back(event);
}

void CSimPbx::EmitLine(EEventKind eKind, DWORD dwLine, ELineState eState) {
    CSimEvent event;
    event.m_eKind = eKind;
    event.m_tAt = m_tNow;
    event.m_dwLine = dwLine;
    event.m_eLineState = eState;
    m_events.push_back(event);
}

std::vector<CSimEvent> CSimPbx::TakeEvents() {
    std::vector<CSimEvent> events;
    events.swap(m_events);
    return events;
}

DWORD CSimPbx::NewCall(DWORD dwLine, DWORD dwOrigin, EReason eReason, ECallState eState, EStateMode eMode,
                       const std::function<void(CSimAppearance&)>& fnFill, const CSimCallTiming& timing) {
    CCall call;
    call.m_a.m_dwId = m_dwNextId++;
    call.m_a.m_dwLine = dwLine;
    call.m_a.m_dwCallID = m_dwNextCallID++;
    call.m_a.m_eState = eState;
    call.m_a.m_eMode = eMode;
    call.m_a.m_tStateEntry = m_tNow;
    call.m_a.m_dwOrigin = dwOrigin;
    call.m_a.m_eReason = eReason;
    if (fnFill) {
        fnFill(call.m_a);
    }
    call.m_timing = timing;
    DWORD dwId = call.m_a.m_dwId;
    auto [it, bInserted] = m_calls.emplace(dwId, call);
    Emit(EEventKind::NewCall, it->second.m_a);
    Emit(EEventKind::CallState, it->second.m_a);
    return dwId;
}

void CSimPbx::SetState(DWORD dwId, ECallState eState, EStateMode eMode) {
    CCall* pCall = Find(dwId);
    if (pCall == nullptr || (pCall->m_a.m_eState == eState && pCall->m_a.m_eMode == eMode)) {
        return;
    }
    pCall->m_a.m_eState = eState;
    pCall->m_a.m_eMode = eMode;
    pCall->m_a.m_tStateEntry = m_tNow;
    Emit(EEventKind::CallState, pCall->m_a);
    if (eState == ECallState::Idle) {
        if (CCall* pPeer = Find(pCall->m_a.m_dwPeer); pPeer != nullptr && pPeer->m_a.m_dwPeer == dwId) {
            pPeer->m_a.m_dwPeer = 0;
        }
        m_calls.erase(dwId);
    }
}

void CSimPbx::SetInfo(DWORD dwId, DWORD dwInfo, const std::function<void(CSimAppearance&)>& fnChange) {
    CCall* pCall = Find(dwId);
    if (pCall == nullptr) {
        return;
    }
    fnChange(pCall->m_a);
    Emit(EEventKind::CallInfo, pCall->m_a, dwInfo);
}

void CSimPbx::Link(DWORD dwA, DWORD dwB) {
    CCall* pA = Find(dwA);
    CCall* pB = Find(dwB);
    if (pA == nullptr || pB == nullptr) {
        return;
    }
    pA->m_a.m_dwPeer = dwB;
    pB->m_a.m_dwPeer = dwA;
    pA->m_a.m_dwRelatedCallID = pB->m_a.m_dwCallID;
    pB->m_a.m_dwRelatedCallID = pA->m_a.m_dwCallID;
}

void CSimPbx::EndNow(DWORD dwId, EStateMode eMode) {
    SetState(dwId, ECallState::Disconnected, eMode);
    SetState(dwId, ECallState::Idle, EStateMode::None);
}

// A caller who hears busy listens a while, then hangs up.
void CSimPbx::HangUpAfterBusyTone(DWORD dwId) {
    At(kBusyListen, [this, dwId]() {
        CCall* p = Find(dwId);
        if (p != nullptr && p->m_a.m_eState == ECallState::Busy) {
            HangUp(dwId);
        }
    });
}

// An extension goes off hook to call; its side ends the call when the talk time is over.
DWORD CSimPbx::GoOffHook(DWORD dwLine, EStateMode eDialtone, bool bAppMade, const CSimCallTiming& timing) {
    CSimParty caller = PartyOf(dwLine);
    DWORD dwId = NewCall(
        dwLine, kOriginOutbound, EReason::Direct, ECallState::Dialtone, eDialtone,
        [&](CSimAppearance& a) {
            a.m_caller = caller;
            a.m_bAppMade = bAppMade;
        },
        timing);
    Find(dwId)->m_bEnder = true;
    return dwId;
}

// The caller dials a moment after dial tone; the called ID is known from then on.
void CSimPbx::DialAfterDialTone(DWORD dwId, const CSimParty& called) {
    At(300, [this, dwId, called]() {
        SetState(dwId, ECallState::Dialing, EStateMode::None);
        SetInfo(dwId, kInfoCalledId, [&called](CSimAppearance& a) { a.m_called = called; });
    });
}

// The user of this appearance's line hangs up (or an application drops it).
void CSimPbx::HangUp(DWORD dwId) {
    CCall* pCall = Find(dwId);
    if (pCall == nullptr) {
        return;
    }
    DWORD dwPeer = pCall->m_a.m_dwPeer;
    bool bRinging = IsRinging(pCall->m_a.m_eState);
    if (bRinging) {
        // Rejecting a ringing call: the caller hears busy.
        SetState(dwId, ECallState::Idle, EStateMode::None);
    } else {
        EndNow(dwId, EStateMode::DisconnectNormal);
    }
    if (dwPeer != 0) {
        FarEndGone(dwPeer, bRinging ? EStateMode::DisconnectBusy : EStateMode::DisconnectNormal);
    }
}

// The other party has left: a ringing phone stops, a trunk clears at once,
// an extension shows the disconnect until its user puts the receiver down.
void CSimPbx::FarEndGone(DWORD dwId, EStateMode eMode) {
    CCall* pCall = Find(dwId);
    if (pCall == nullptr) {
        return;
    }
    pCall->m_a.m_dwPeer = 0;
    if (IsRinging(pCall->m_a.m_eState)) {
        SetState(dwId, ECallState::Idle, EStateMode::None);
        return;
    }
    if (m_lines[pCall->m_a.m_dwLine].m_eKind == ELineKind::Co) {
        EndNow(dwId, eMode);
        return;
    }
    SetState(dwId, ECallState::Disconnected, eMode);
    At(kHangupDelay, [this, dwId]() {
        CCall* p = Find(dwId);
        if (p != nullptr && p->m_a.m_eState == ECallState::Disconnected) {
            SetState(dwId, ECallState::Idle, EStateMode::None);
        }
    });
}

void CSimPbx::Connect(DWORD dwAnswering) {
    CCall* pCall = Find(dwAnswering);
    if (pCall == nullptr || !IsRinging(pCall->m_a.m_eState)) {
        return;
    }
    DWORD dwPeer = pCall->m_a.m_dwPeer;
    CSimParty answering = PartyOf(pCall->m_a.m_dwLine);
    SetState(dwAnswering, ECallState::Connected, EStateMode::ConnectedActive);
    SetInfo(dwAnswering, kInfoConnectedId, [](CSimAppearance& a) { a.m_connected = a.m_caller; });
    if (CCall* pPeer = Find(dwPeer); pPeer != nullptr) {
        if (pPeer->m_a.m_eState != ECallState::Connected) {
            SetState(dwPeer, ECallState::Connected, EStateMode::ConnectedActive);
        }
        SetInfo(dwPeer, kInfoConnectedId, [&answering](CSimAppearance& a) { a.m_connected = answering; });
    }
    StartTalk(dwAnswering);
}

void CSimPbx::StartTalk(DWORD dwAnswering) {
    CCall* pCall = Find(dwAnswering);
    if (pCall == nullptr) {
        return;
    }
    if (!pCall->m_strTransferTo.empty()) {
        std::string strTo = pCall->m_strTransferTo;
        At(pCall->m_tTransferAfter, [this, dwAnswering, strTo]() { Transfer(dwAnswering, strTo); });
    }
    if (pCall->m_timing.m_tTalk == 0) {
        return;
    }
    At(pCall->m_timing.m_tTalk, [this, dwAnswering]() {
        CCall* p = Find(dwAnswering);
        if (p == nullptr || p->m_a.m_eState != ECallState::Connected) {
            return;
        }
        CCall* pPeer = Find(p->m_a.m_dwPeer);
        HangUp(pPeer != nullptr && pPeer->m_bEnder ? pPeer->m_a.m_dwId : dwAnswering);
    });
}

// Blind transfer: the extension passes its connected call on to another one,
// which rings with the transferring extension as the redirecting party.
void CSimPbx::Transfer(DWORD dwFrom, const std::string& strTo) {
    CCall* pFrom = Find(dwFrom);
    if (pFrom == nullptr || pFrom->m_a.m_eState != ECallState::Connected) {
        return;
    }
    DWORD dwPeer = pFrom->m_a.m_dwPeer;
    CCall* pPeer = Find(dwPeer);
    int nTo = FindLine(strTo);
    if (pPeer == nullptr || nTo < 0 || m_lines[nTo].m_eKind == ELineKind::Co || !IsLineFree(static_cast<DWORD>(nTo))) {
        return;
    }
    DWORD dwTo = static_cast<DWORD>(nTo);
    CSimAppearance from = pFrom->m_a;
    CSimCallTiming timing = pFrom->m_timing;
    // The new extension talks for what is left, at least a second; no talk
    // time stays none, so the call lasts until someone hangs up.
    if (timing.m_tTalk != 0) {
        timing.m_tTalk =
            timing.m_tTalk > pFrom->m_tTransferAfter + 1000 ? timing.m_tTalk - pFrom->m_tTransferAfter : 1000;
    }
    DWORD dwOrigin =
        m_lines[pPeer->m_a.m_dwLine].m_eKind == ELineKind::Co ? (kOriginExternal | kOriginInbound) : kOriginInternal;
    CSimParty fromParty = PartyOf(from.m_dwLine);
    CSimParty toParty = PartyOf(dwTo);

    pFrom->m_a.m_dwPeer = 0;
    pPeer->m_a.m_dwPeer = 0;
    SetState(dwFrom, ECallState::Idle, EStateMode::None);

    DWORD dwNew = NewCall(
        dwTo, dwOrigin, EReason::Transfer, ECallState::Offering, EStateMode::OfferingActive,
        [&](CSimAppearance& a) {
            a.m_caller = from.m_connected;
            a.m_called = toParty;
            a.m_redirecting = fromParty;
            a.m_redirection = toParty;
            a.m_dwTrunk = from.m_dwTrunk;
            a.m_strDid = from.m_strDid;
        },
        timing);
    Link(dwPeer, dwNew);
    SetInfo(dwPeer, kInfoRedirectionId | kInfoRedirectingId, [&](CSimAppearance& a) {
        a.m_redirection = toParty;
        a.m_redirecting = fromParty;
    });
    At(timing.m_tRing, [this, dwNew]() { Connect(dwNew); });
}

bool CSimPbx::StartInternal(const CSimAction& action, bool bAppMade, DWORD* pdwId, std::string* pstrError) {
    int nFrom = FindLine(action.m_strFrom);
    int nTo = FindLine(action.m_strTo);
    if (nFrom < 0) {
        return Fail(pstrError, "no line with number \"" + action.m_strFrom + "\"");
    }
    if (nTo < 0) {
        return Fail(pstrError, "no line with number \"" + action.m_strTo + "\"");
    }
    if (nFrom == nTo) {
        return Fail(pstrError, "a line cannot call itself");
    }
    if (m_lines[nFrom].m_eKind == ELineKind::Co || m_lines[nTo].m_eKind == ELineKind::Co) {
        return Fail(pstrError, "internal calls are between extensions, not trunks");
    }
    if (!IsLineFree(static_cast<DWORD>(nFrom))) {
        return Fail(pstrError, "line \"" + action.m_strFrom + "\" is busy or out of service");
    }
    DWORD dwFrom = static_cast<DWORD>(nFrom);
    DWORD dwTo = static_cast<DWORD>(nTo);
    CSimParty caller = PartyOf(dwFrom);
    CSimParty callee = PartyOf(dwTo);

    DWORD dwA = GoOffHook(dwFrom, EStateMode::DialtoneInternal, bAppMade, action.m_timing);
    if (pdwId != nullptr) {
        *pdwId = dwA;
    }

    // The PBX knows its own extension by number and name as soon as it is dialled.
    DialAfterDialTone(dwA, callee);
    At(800, [this, dwA, dwTo, caller, callee, action]() {
        CCall* pA = Find(dwA);
        if (pA == nullptr || pA->m_a.m_eState != ECallState::Dialing) {
            return;
        }
        if (action.m_bBusy || !IsLineFree(dwTo)) {
            SetState(dwA, ECallState::Busy, EStateMode::BusyStation);
            HangUpAfterBusyTone(dwA);
            return;
        }
        SetState(dwA, ECallState::Proceeding, EStateMode::None);
        DWORD dwB = NewCall(
            dwTo, kOriginInternal, EReason::Direct, ECallState::Offering, EStateMode::OfferingActive,
            [&](CSimAppearance& b) {
                b.m_caller = caller;
                b.m_called = callee;
            },
            action.m_timing);
        CCall* pB = Find(dwB);
        pB->m_strTransferTo = action.m_strTransferTo;
        pB->m_tTransferAfter = action.m_tTransferAfter;
        Link(dwA, dwB);
        SetState(dwA, ECallState::Ringback, EStateMode::None);
        if (action.m_bNoAnswer) {
            At(action.m_timing.m_tRing, [this, dwA, dwB]() {
                CCall* p = Find(dwB);
                if (p == nullptr || !IsRinging(p->m_a.m_eState)) {
                    return;
                }
                SetState(dwB, ECallState::Idle, EStateMode::None);
                FarEndGone(dwA, EStateMode::DisconnectNoAnswer);
            });
        } else {
            At(action.m_timing.m_tRing, [this, dwB]() { Connect(dwB); });
        }
    });
    return true;
}

bool CSimPbx::StartInbound(const CSimAction& action, std::string* pstrError) {
    int nTo = FindLine(action.m_strTo);
    if (nTo < 0) {
        return Fail(pstrError, "no line with number \"" + action.m_strTo + "\"");
    }
    if (m_lines[nTo].m_eKind == ELineKind::Co) {
        return Fail(pstrError, "an inbound call goes to an extension, not a trunk");
    }
    int nTrunk = FindFreeTrunk(action.m_strTrunk);
    if (nTrunk < 0) {
        return Fail(pstrError, action.m_strTrunk.empty() ? std::string("no free trunk")
                                                         : "trunk \"" + action.m_strTrunk + "\" is not a free CO line");
    }
    DWORD dwTo = static_cast<DWORD>(nTo);
    DWORD dwTrunkLine = static_cast<DWORD>(nTrunk);
    std::string strDid = action.m_strDid.empty() ? DidOf(dwTo) : action.m_strDid;
    DWORD dwTrunk = m_lines[dwTrunkLine].m_dwTrunk;
    CSimParty caller = action.m_caller;
    CSimParty callee = PartyOf(dwTo);

    DWORD dwT = NewCall(
        dwTrunkLine, kOriginExternal | kOriginInbound, EReason::Direct, ECallState::Offering,
        EStateMode::OfferingActive,
        [&](CSimAppearance& t) {
            t.m_caller = caller;
            t.m_called.m_strNumber = strDid;
            t.m_dwTrunk = dwTrunk;
            t.m_strDid = strDid;
        },
        action.m_timing);
    Find(dwT)->m_bEnder = true;

    At(200, [this, dwT, dwTo, caller, callee, strDid, dwTrunk, action]() {
        CCall* pT = Find(dwT);
        if (pT == nullptr) {
            return;
        }
        SetState(dwT, ECallState::Accepted, EStateMode::None);
        if (action.m_bBusy || !IsLineFree(dwTo)) {
            EndNow(dwT, EStateMode::DisconnectBusy);
            return;
        }
        DWORD dwE = NewCall(
            dwTo, kOriginExternal | kOriginInbound, EReason::Direct, ECallState::Offering, EStateMode::OfferingActive,
            [&](CSimAppearance& e) {
                e.m_caller = caller;
                e.m_called = callee;
                e.m_dwTrunk = dwTrunk;
                e.m_strDid = strDid;
            },
            action.m_timing);
        CCall* pE = Find(dwE);
        pE->m_strTransferTo = action.m_strTransferTo;
        pE->m_tTransferAfter = action.m_tTransferAfter;
        Link(dwT, dwE);
        if (action.m_bNoAnswer) {
            At(action.m_timing.m_tRing, [this, dwT, dwE]() {
                CCall* p = Find(dwE);
                if (p == nullptr || !IsRinging(p->m_a.m_eState)) {
                    return;
                }
                SetState(dwE, ECallState::Idle, EStateMode::None);
                EndNow(dwT, EStateMode::DisconnectNoAnswer);
            });
        } else {
            At(action.m_timing.m_tRing, [this, dwE]() { Connect(dwE); });
        }
    });
    return true;
}

bool CSimPbx::StartOutbound(const CSimAction& action, bool bAppMade, DWORD* pdwId, std::string* pstrError) {
    int nFrom = FindLine(action.m_strFrom);
    if (nFrom < 0) {
        return Fail(pstrError, "no line with number \"" + action.m_strFrom + "\"");
    }
    if (m_lines[nFrom].m_eKind == ELineKind::Co) {
        return Fail(pstrError, "an outbound call starts at an extension, not a trunk");
    }
    if (!IsDialable(action.m_strNumber)) {
        return Fail(pstrError, "the number \"" + action.m_strNumber + "\" is not made of dialable digits");
    }
    if (!IsLineFree(static_cast<DWORD>(nFrom))) {
        return Fail(pstrError, "line \"" + action.m_strFrom + "\" is busy or out of service");
    }
    DWORD dwFrom = static_cast<DWORD>(nFrom);
    CSimParty caller = PartyOf(dwFrom);
    std::string strNumber = action.m_strNumber;

    DWORD dwA = GoOffHook(dwFrom, EStateMode::DialtoneExternal, bAppMade, action.m_timing);
    if (pdwId != nullptr) {
        *pdwId = dwA;
    }

    DialAfterDialTone(dwA, CSimParty{strNumber, ""});
    At(800, [this, dwA, caller, strNumber, action]() {
        CCall* pA = Find(dwA);
        if (pA == nullptr || pA->m_a.m_eState != ECallState::Dialing) {
            return;
        }
        int nTrunk = FindFreeTrunk(action.m_strTrunk);
        if (nTrunk < 0) {
            SetState(dwA, ECallState::Busy, EStateMode::BusyTrunk);
            HangUpAfterBusyTone(dwA);
            return;
        }
        DWORD dwTrunk = m_lines[nTrunk].m_dwTrunk;
        DWORD dwT = NewCall(
            static_cast<DWORD>(nTrunk), kOriginOutbound, EReason::Direct, ECallState::Dialing, EStateMode::None,
            [&](CSimAppearance& t) {
                t.m_caller = caller;
                t.m_called.m_strNumber = strNumber;
                t.m_dwTrunk = dwTrunk;
            },
            action.m_timing);
        Link(dwA, dwT);
        SetState(dwT, ECallState::Proceeding, EStateMode::None);
        SetState(dwA, ECallState::Proceeding, EStateMode::None);
        SetInfo(dwA, kInfoTrunk, [dwTrunk](CSimAppearance& a) { a.m_dwTrunk = dwTrunk; });

        At(700, [this, dwA, dwT, strNumber, action]() {
            if (Find(dwA) == nullptr || Find(dwT) == nullptr) {
                return;
            }
            if (action.m_bBusy) {
                EndNow(dwT, EStateMode::DisconnectBusy);
                SetState(dwA, ECallState::Busy, EStateMode::BusyStation);
                HangUpAfterBusyTone(dwA);
                return;
            }
            SetState(dwT, ECallState::Ringback, EStateMode::None);
            SetState(dwA, ECallState::Ringback, EStateMode::None);
            At(action.m_timing.m_tRing, [this, dwA, dwT, strNumber, action]() {
                CCall* pA = Find(dwA);
                if (pA == nullptr || pA->m_a.m_eState != ECallState::Ringback || Find(dwT) == nullptr) {
                    return;
                }
                if (action.m_bNoAnswer) {
                    EndNow(dwT, EStateMode::DisconnectNoAnswer);
                    FarEndGone(dwA, EStateMode::DisconnectNoAnswer);
                    return;
                }
                CSimParty farEnd{strNumber, ""};
                SetState(dwT, ECallState::Connected, EStateMode::ConnectedActive);
                SetInfo(dwT, kInfoConnectedId, [&](CSimAppearance& t) { t.m_connected = farEnd; });
                SetState(dwA, ECallState::Connected, EStateMode::ConnectedActive);
                SetInfo(dwA, kInfoConnectedId, [&](CSimAppearance& a) { a.m_connected = farEnd; });
                if (action.m_timing.m_tTalk != 0) {
                    At(action.m_timing.m_tTalk, [this, dwA]() {
                        CCall* p = Find(dwA);
                        if (p != nullptr && p->m_a.m_eState == ECallState::Connected) {
                            HangUp(dwA);
                        }
                    });
                }
            });
        });
    });
    return true;
}

bool CSimPbx::SetService(DWORD dwLine, bool bInService) {
    if (dwLine >= m_lines.size() || m_inService[dwLine] == bInService) {
        return false;
    }
    m_inService[dwLine] = bInService;
    EmitLine(EEventKind::LineState, dwLine, bInService ? ELineState::InService : ELineState::OutOfService);
    if (!bInService) {
        for (const CSimAppearance* pCall : GetCalls(dwLine)) {
            DWORD dwId = pCall->m_dwId;
            DWORD dwPeer = pCall->m_dwPeer;
            SetState(dwId, ECallState::Idle, EStateMode::None);
            if (dwPeer != 0) {
                FarEndGone(dwPeer, EStateMode::DisconnectUnreachable);
            }
        }
    }
    return true;
}

bool CSimPbx::RunAction(const CSimAction& action, std::string* pstrError) {
    auto lineOf = [this, &action](int* pnLine) {
        *pnLine = FindLine(action.m_strLine);
        return *pnLine >= 0;
    };
    int nLine = -1;
    switch (action.m_eKind) {
        case EActionKind::Internal:
            return StartInternal(action, false, nullptr, pstrError);
        case EActionKind::Inbound:
            return StartInbound(action, pstrError);
        case EActionKind::Outbound:
            return StartOutbound(action, false, nullptr, pstrError);
        case EActionKind::OutOfService:
            if (!lineOf(&nLine)) {
                return Fail(pstrError, "no line with number \"" + action.m_strLine + "\"");
            }
            if (!SetService(static_cast<DWORD>(nLine), false)) {
                return Fail(pstrError, "line \"" + action.m_strLine + "\" is already out of service");
            }
            if (action.m_tFor != 0) {
                DWORD dwLine = static_cast<DWORD>(nLine);
                At(action.m_tFor, [this, dwLine]() { SetService(dwLine, true); });
            }
            return true;
        case EActionKind::InService:
            if (!lineOf(&nLine)) {
                return Fail(pstrError, "no line with number \"" + action.m_strLine + "\"");
            }
            if (!SetService(static_cast<DWORD>(nLine), true)) {
                return Fail(pstrError, "line \"" + action.m_strLine + "\" is already in service");
            }
            return true;
        case EActionKind::Reinit: {
            CSimEvent event;
            event.m_eKind = EEventKind::Reinit;
            event.m_tAt = m_tNow;
            m_events.push_back(event);
            return true;
        }
        case EActionKind::Answer:
        case EActionKind::Hangup: {
            if (!lineOf(&nLine)) {
                return Fail(pstrError, "no line with number \"" + action.m_strLine + "\"");
            }
            for (const CSimAppearance* pCall : GetCalls(static_cast<DWORD>(nLine))) {
                if (action.m_eKind == EActionKind::Hangup) {
                    HangUp(pCall->m_dwId);
                    return true;
                }
                if (IsRinging(pCall->m_eState)) {
                    Connect(pCall->m_dwId);
                    return true;
                }
            }
            return Fail(pstrError, action.m_eKind == EActionKind::Answer
                                       ? "line \"" + action.m_strLine + "\" has no ringing call"
                                       : "line \"" + action.m_strLine + "\" has no call");
        }
    }
    return Fail(pstrError, "unknown action");
}

void CSimPbx::Schedule(const CSimAction& action) {
    At(action.m_tAt > m_tNow ? action.m_tAt - m_tNow : 0, [this, action]() {
        std::string strError;
        RunAction(action, &strError);
    });
}

void CSimPbx::Advance(SimTime tDelta) {
    SimTime tTarget = m_tNow + tDelta;
    while (!m_steps.empty()) {
        auto it = m_steps.begin();
        if (it->first.first > tTarget) {
            break;
        }
        m_tNow = std::max(m_tNow, it->first.first);
        std::function<void()> fnStep = std::move(it->second);
        m_steps.erase(it);
        fnStep();
    }
    m_tNow = tTarget;
}

ESimResult CSimPbx::MakeCall(DWORD dwLine, const std::string& strDest, DWORD* pdwId) {
    if (dwLine >= m_lines.size()) {
        return ESimResult::BadLine;
    }
    if (!IsInService(dwLine)) {
        return ESimResult::OutOfService;
    }
    if (!IsLineFree(dwLine)) {
        return ESimResult::LineBusy;
    }
    CSimAction action;
    action.m_strFrom = m_lines[dwLine].m_strNumber;
    action.m_timing = CSimCallTiming{3000, 30000};
    if (strDest.empty()) {
        // Nothing dialled yet: the phone sits at dial tone until dropped.
        *pdwId = GoOffHook(dwLine, EStateMode::DialtoneInternal, true, action.m_timing);
        return ESimResult::Ok;
    }
    int nTo = FindLine(strDest);
    if (nTo >= 0 && m_lines[nTo].m_eKind != ELineKind::Co && static_cast<DWORD>(nTo) != dwLine) {
        action.m_strTo = strDest;
        return StartInternal(action, true, pdwId, nullptr) ? ESimResult::Ok : ESimResult::BadAddress;
    }
    if (!IsDialable(strDest) || nTo >= 0) {
        return ESimResult::BadAddress;
    }
    action.m_strNumber = strDest;
    return StartOutbound(action, true, pdwId, nullptr) ? ESimResult::Ok : ESimResult::BadAddress;
}

ESimResult CSimPbx::Answer(DWORD dwId) {
    CCall* pCall = Find(dwId);
    if (pCall == nullptr) {
        return ESimResult::BadCall;
    }
    if (!IsRinging(pCall->m_a.m_eState)) {
        return ESimResult::BadState;
    }
    Connect(dwId);
    return ESimResult::Ok;
}

ESimResult CSimPbx::Drop(DWORD dwId) {
    if (Find(dwId) == nullptr) {
        return ESimResult::BadCall;
    }
    HangUp(dwId);
    return ESimResult::Ok;
}

void CSimPbx::SetTraffic(const CSimTraffic& traffic) {
    m_traffic = traffic;
    ++m_qwTrafficGeneration;
    if (m_traffic.m_bEnabled) {
        ScheduleNextRandom();
    }
}

void CSimPbx::ScheduleNextRandom() {
    SimTime tMean = std::max<SimTime>(m_traffic.m_tMeanInterval, 100);
    SimTime tGap = m_random.Between(tMean / 2, tMean + tMean / 2);
    std::uint64_t qwGeneration = m_qwTrafficGeneration;
    At(tGap, [this, qwGeneration]() {
        if (qwGeneration != m_qwTrafficGeneration || !m_traffic.m_bEnabled) {
            return;
        }
        RunRandomCall();
        ScheduleNextRandom();
    });
}

void CSimPbx::RunRandomCall() {
    const CSimTraffic& t = m_traffic;
    DWORD dwWeights[] = {t.m_dwInternal, t.m_dwInbound, t.m_dwOutbound, t.m_dwBusy, t.m_dwNoAnswer, t.m_dwTransfer};
    std::uint64_t qwSum = 0;
    for (DWORD dw : dwWeights) {
        qwSum += dw;
    }
    if (qwSum == 0) {
        return;
    }
    std::uint64_t qwPick = m_random.Between(0, qwSum - 1);
    int nKind = 0;
    while (qwPick >= dwWeights[nKind]) {
        qwPick -= dwWeights[nKind];
        ++nKind;
    }

    std::vector<DWORD> freeExts;
    std::vector<DWORD> allExts;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].m_eKind == ELineKind::Ext) {
            allExts.push_back(static_cast<DWORD>(i));
            if (IsLineFree(static_cast<DWORD>(i))) {
                freeExts.push_back(static_cast<DWORD>(i));
            }
        }
    }
    auto takeFree = [this, &freeExts]() {
        std::size_t n = m_random.Index(freeExts.size());
        DWORD dwLine = freeExts[n];
        freeExts.erase(freeExts.begin() + static_cast<std::ptrdiff_t>(n));
        return m_lines[dwLine].m_strNumber;
    };
    auto externalParty = [this]() {
        if (!m_traffic.m_externalCallers.empty()) {
            return m_traffic.m_externalCallers[m_random.Index(m_traffic.m_externalCallers.size())];
        }
        char sz[16];
        std::snprintf(sz, sizeof sz, "0%03u%06u", static_cast<unsigned>(m_random.Between(100, 999)),
                      static_cast<unsigned>(m_random.Between(0, 999999)));
        return CSimParty{sz, ""};
    };

    CSimAction action;
    action.m_timing.m_tRing = m_random.Between(t.m_tRingMin, t.m_tRingMax);
    action.m_timing.m_tTalk = m_random.Between(t.m_tTalkMin, t.m_tTalkMax);
    bool bNoAnswerInbound = nKind == 4 && m_random.Between(0, 1) == 1;
    bool bOk = false;
    ++m_dwRandomCalls;
    if (nKind == 0 || nKind == 3 || (nKind == 4 && !bNoAnswerInbound)) {
        // internal, busy (the callee rejects), no answer
        if (freeExts.size() >= 2 || (nKind == 3 && !freeExts.empty() && allExts.size() >= 2)) {
            action.m_eKind = EActionKind::Internal;
            action.m_strFrom = takeFree();
            if (nKind == 3) {
                std::string strTo;
                do {
                    strTo = m_lines[allExts[m_random.Index(allExts.size())]].m_strNumber;
                } while (strTo == action.m_strFrom);
                action.m_strTo = strTo;
                action.m_bBusy = true;
            } else {
                action.m_strTo = takeFree();
            }
            action.m_bNoAnswer = nKind == 4;
            bOk = StartInternal(action, false, nullptr, nullptr);
        }
    } else if (nKind == 1 || nKind == 4 || nKind == 5) {
        // inbound, inbound not answered, inbound transferred
        if (!freeExts.empty() && FindFreeTrunk("") >= 0 && (nKind != 5 || freeExts.size() >= 2)) {
            action.m_eKind = EActionKind::Inbound;
            action.m_strTo = takeFree();
            action.m_caller = externalParty();
            action.m_bNoAnswer = nKind == 4;
            if (nKind == 5) {
                action.m_strTransferTo = takeFree();
                action.m_tTransferAfter = action.m_timing.m_tTalk / 3 + 1000;
            }
            bOk = StartInbound(action, nullptr);
        }
    } else if (!freeExts.empty()) {
        action.m_eKind = EActionKind::Outbound;
        action.m_strFrom = takeFree();
        action.m_strNumber = externalParty().m_strNumber;
        bOk = StartOutbound(action, false, nullptr, nullptr);
    }
    if (!bOk) {
        ++m_dwSkippedCalls;
    }
}

}  // namespace sim
