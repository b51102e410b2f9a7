#include "service/SimTapiValues.h"

namespace sim {

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
    dw |= (dwOrigin & kOriginOutbound) ? LINECALLORIGIN_OUTBOUND : 0;
    dw |= (dwOrigin & kOriginInternal) ? LINECALLORIGIN_INTERNAL : 0;
    dw |= (dwOrigin & kOriginExternal) ? LINECALLORIGIN_EXTERNAL : 0;
    dw |= (dwOrigin & kOriginInbound) ? LINECALLORIGIN_INBOUND : 0;
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
    dw |= (dwInfo & kInfoCallerId) ? LINECALLINFOSTATE_CALLERID : 0;
    dw |= (dwInfo & kInfoCalledId) ? LINECALLINFOSTATE_CALLEDID : 0;
    dw |= (dwInfo & kInfoConnectedId) ? LINECALLINFOSTATE_CONNECTEDID : 0;
    dw |= (dwInfo & kInfoRedirectionId) ? LINECALLINFOSTATE_REDIRECTIONID : 0;
    dw |= (dwInfo & kInfoRedirectingId) ? LINECALLINFOSTATE_REDIRECTINGID : 0;
    dw |= (dwInfo & kInfoTrunk) ? LINECALLINFOSTATE_TRUNK : 0;
    dw |= (dwInfo & kInfoOrigin) ? LINECALLINFOSTATE_ORIGIN : 0;
    dw |= (dwInfo & kInfoReason) ? LINECALLINFOSTATE_REASON : 0;
    dw |= (dwInfo & kInfoDevSpecific) ? LINECALLINFOSTATE_DEVSPECIFIC : 0;
    return dw;
}

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

}  // namespace sim
