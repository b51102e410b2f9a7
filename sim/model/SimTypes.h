// The vocabulary of the simulated PBX: lines as the scenario configures them,
// what one line sees of a call (an appearance), and the events the model
// reports. Plain C++ with the 32-bit DWORD of the rest of the project, so the
// model runs and is tested without Windows; the TAPI layer maps these values
// onto TAPI's own constants.
#pragma once

#include <string>
#include <vector>

#include "model/SimClock.h"
#include "platform/WinTypes.h"

namespace sim {

enum class ELineKind { Ext, Co, Etc, Other };

enum class ECallState {
    Idle,
    Offering,
    Accepted,
    Dialtone,
    Dialing,
    Proceeding,
    Ringback,
    Busy,
    Connected,
    Disconnected,
    OnHold,
};

// The detail that goes with a state (TAPI's state mode).
enum class EStateMode {
    None,
    DialtoneInternal,
    DialtoneExternal,
    BusyStation,
    BusyTrunk,
    ConnectedActive,
    OfferingActive,
    DisconnectNormal,
    DisconnectBusy,
    DisconnectNoAnswer,
    DisconnectUnreachable,  // the far party's line went out of service
};

// Origin flags; a call can carry several (an external inbound call is both).
enum : DWORD {
    kOriginOutbound = 0x1,
    kOriginInternal = 0x2,
    kOriginExternal = 0x4,
    kOriginInbound = 0x8,
};

enum class EReason { Direct, Transfer, FwdNoAnswer, FwdBusy, Unknown };

// What changed in a call's identification (drives LINE_CALLINFO).
enum : DWORD {
    kInfoCallerId = 0x1,
    kInfoCalledId = 0x2,
    kInfoConnectedId = 0x4,
    kInfoRedirectionId = 0x8,
    kInfoRedirectingId = 0x10,
    kInfoTrunk = 0x20,
    kInfoOrigin = 0x40,
    kInfoReason = 0x80,
    kInfoDevSpecific = 0x100,
};

constexpr DWORD kNoTrunk = 0xFFFFFFFF;

// One line device as a scenario describes it.
struct CSimLineConfig {
    ELineKind m_eKind = ELineKind::Ext;
    std::string m_strNumber;      // the line's address; unique, used to refer to it
    std::string m_strName;        // the person or purpose shown as display name
    std::string m_strLineName;    // LINEDEVCAPS line name
    std::string m_strProvider;    // LINEDEVCAPS provider info
    std::string m_strSwitchInfo;  // LINEDEVCAPS switch info
    DWORD m_dwPermanentLineID = 0;
    DWORD m_dwTrunk = kNoTrunk;            // trunk number of a CO line
    std::string m_strDid;                  // DID/DDI digits that reach an extension
    std::vector<DWORD> m_refusedVersions;  // API versions the line refuses
    bool m_bOpenFails = false;             // lineOpen fails with every version
    bool m_bInService = true;              // state at start
};

struct CSimParty {
    std::string m_strNumber;
    std::string m_strName;

    bool IsEmpty() const { return m_strNumber.empty() && m_strName.empty(); }
    bool operator==(const CSimParty&) const = default;
};

// What one line sees of a call. An internal call has two appearances, one on
// each extension; an external one has one on the extension and one on the trunk.
struct CSimAppearance {
    DWORD m_dwId = 0;      // model identity, never reused
    DWORD m_dwLine = 0;    // device index
    DWORD m_dwCallID = 0;  // the PBX's call reference
    DWORD m_dwRelatedCallID = 0;
    DWORD m_dwPeer = 0;  // the appearance on the other side, 0 when none
    ECallState m_eState = ECallState::Idle;
    EStateMode m_eMode = EStateMode::None;
    SimTime m_tStateEntry = 0;
    DWORD m_dwOrigin = 0;
    EReason m_eReason = EReason::Direct;
    DWORD m_dwTrunk = kNoTrunk;
    CSimParty m_caller;
    CSimParty m_called;
    CSimParty m_connected;
    CSimParty m_redirection;
    CSimParty m_redirecting;
    std::string m_strDid;     // DID/DDI digits, empty when none
    bool m_bAppMade = false;  // made through lineMakeCall
};

enum class EEventKind {
    NewCall,    // a call appeared on a line (the appearance's first state follows)
    CallState,  // the appearance changed state
    CallInfo,   // identification changed (m_dwInfo says what)
    LineState,  // a line went out of service or back (m_eLineState)
    Reinit,     // the whole telephony configuration changed
};

enum class ELineState { OutOfService, InService };

struct CSimEvent {
    EEventKind m_eKind = EEventKind::CallState;
    SimTime m_tAt = 0;
    DWORD m_dwLine = 0;
    CSimAppearance m_call;  // copy at the moment of the event (call events)
    DWORD m_dwInfo = 0;     // INFO_ bits of a CallInfo event
    ELineState m_eLineState = ELineState::InService;
};

// Timing of one call; zero talk time means "until someone drops it".
struct CSimCallTiming {
    SimTime m_tRing = 3000;   // until the called party answers
    SimTime m_tTalk = 20000;  // from answer to hang-up
};

}  // namespace sim
