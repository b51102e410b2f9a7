// The simulated PBX: its lines, the calls on them and how those calls move
// through their states as scenario time passes. Everything a TAPI client could
// observe comes out as a list of events (TakeEvents) plus the current state of
// each call appearance; the TAPI layer turns both into messages and structures.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "model/SimRandom.h"
#include "model/SimTypes.h"

namespace sim {

enum class EActionKind {
    Internal,      // extension calls extension
    Inbound,       // external caller over a trunk to an extension (DID/DDI)
    Outbound,      // extension calls an external number over a trunk
    OutOfService,  // a line goes out of service (for a while, or until InService)
    InService,
    Reinit,
    Answer,  // the user of a line picks up its ringing call
    Hangup,  // the user of a line hangs up its call
};

// One thing that happens: a timeline entry, an injected event or a random call.
struct CSimAction {
    EActionKind m_eKind = EActionKind::Internal;
    SimTime m_tAt = 0;
    std::string m_strFrom;    // calling extension (Internal, Outbound)
    std::string m_strTo;      // called extension (Internal, Inbound)
    std::string m_strLine;    // the line of OutOfService, InService, Answer, Hangup
    std::string m_strTrunk;   // CO line to use; empty picks a free one
    std::string m_strNumber;  // external number dialled (Outbound)
    CSimParty m_caller;       // external caller (Inbound)
    std::string m_strDid;     // DID/DDI digits; empty takes the extension's own
    CSimCallTiming m_timing;
    bool m_bBusy = false;         // the called party rejects as busy
    bool m_bNoAnswer = false;     // nobody answers; the caller gives up after the ring time
    std::string m_strTransferTo;  // the answering extension passes the call on
    SimTime m_tTransferAfter = 5000;
    SimTime m_tFor = 0;  // OutOfService: back in service after this long (0: stays)
};

// Steady random traffic. Weights choose the kind of each call.
struct CSimTraffic {
    bool m_bEnabled = false;
    SimTime m_tMeanInterval = 10000;  // between call starts; each gap is 0.5 to 1.5 times it
    DWORD m_dwInternal = 3;
    DWORD m_dwInbound = 4;
    DWORD m_dwOutbound = 3;
    DWORD m_dwBusy = 1;
    DWORD m_dwNoAnswer = 1;
    DWORD m_dwTransfer = 1;
    SimTime m_tRingMin = 2000;
    SimTime m_tRingMax = 8000;
    SimTime m_tTalkMin = 5000;
    SimTime m_tTalkMax = 60000;
    std::vector<CSimParty> m_externalCallers;  // picked from; generated numbers when empty
};

enum class ESimResult { Ok, BadLine, OutOfService, LineBusy, BadCall, BadState, BadAddress };

class CSimPbx {
public:
    explicit CSimPbx(std::vector<CSimLineConfig> lines, std::uint64_t qwSeed = 1);

    std::size_t GetLineCount() const { return m_lines.size(); }
    const CSimLineConfig& GetLine(DWORD dwLine) const { return m_lines[dwLine]; }
    int FindLine(const std::string& strNumber) const;
    bool IsInService(DWORD dwLine) const { return dwLine < m_inService.size() && m_inService[dwLine]; }
    SimTime GetTime() const { return m_tNow; }

    // Hang-up delays: how long a phone stays off-hook after the far end left,
    // and how long a caller listens to busy tone.
    static constexpr SimTime kHangupDelay = 2000;
    static constexpr SimTime kBusyListen = 3000;

    void SetTraffic(const CSimTraffic& traffic);
    const CSimTraffic& GetTraffic() const { return m_traffic; }

    // Timeline entries run when the clock reaches their time; RunAction runs
    // one now and says why it could not.
    void Schedule(const CSimAction& action);
    bool RunAction(const CSimAction& action, std::string* pstrError);

    // Moves the clock, running every step that falls due, in time order.
    void Advance(SimTime tDelta);

    std::vector<CSimEvent> TakeEvents();

    const CSimAppearance* FindCall(DWORD dwId) const;
    std::vector<const CSimAppearance*> GetCalls(DWORD dwLine) const;
    std::vector<const CSimAppearance*> GetAllCalls() const;

    // Call control from a TAPI application.
    ESimResult MakeCall(DWORD dwLine, const std::string& strDest, DWORD* pdwId);
    ESimResult Answer(DWORD dwId);
    ESimResult Drop(DWORD dwId);

    // How many random calls have been started, and how many found no free line.
    DWORD GetRandomCallCount() const { return m_dwRandomCalls; }
    DWORD GetSkippedCallCount() const { return m_dwSkippedCalls; }

private:
    struct CCall {
        CSimAppearance m_a;
        CSimCallTiming m_timing;
        std::string m_strTransferTo;
        SimTime m_tTransferAfter = 0;
        bool m_bEnder = false;  // this side hangs up when the talk time is over
    };

    CCall* Find(DWORD dwId);
    bool IsLineFree(DWORD dwLine) const;
    int FindFreeTrunk(const std::string& strTrunk) const;
    CSimParty PartyOf(DWORD dwLine) const;
    std::string DidOf(DWORD dwLine) const;

    void At(SimTime tDelay, std::function<void()> fnStep);
    void Emit(EEventKind eKind, const CSimAppearance& a, DWORD dwInfo = 0);
    void EmitLine(EEventKind eKind, DWORD dwLine, ELineState eState);

    DWORD NewCall(DWORD dwLine, DWORD dwOrigin, EReason eReason, ECallState eState, EStateMode eMode,
                  const std::function<void(CSimAppearance&)>& fnFill, const CSimCallTiming& timing);
    void SetState(DWORD dwId, ECallState eState, EStateMode eMode);
    void SetInfo(DWORD dwId, DWORD dwInfo, const std::function<void(CSimAppearance&)>& fnChange);
    void Link(DWORD dwA, DWORD dwB);

    void EndNow(DWORD dwId, EStateMode eMode);  // DISCONNECTED with this mode, then IDLE
    void HangUpAfterBusyTone(DWORD dwId);
    DWORD GoOffHook(DWORD dwLine, EStateMode eDialtone, bool bAppMade, const CSimCallTiming& timing);
    void DialAfterDialTone(DWORD dwId, const CSimParty& called);
    void HangUp(DWORD dwId);
    void FarEndGone(DWORD dwId, EStateMode eMode);
    void Connect(DWORD dwAnswering);
    void StartTalk(DWORD dwAnswering);
    void Transfer(DWORD dwFrom, const std::string& strTo);

    bool StartInternal(const CSimAction& action, bool bAppMade, DWORD* pdwId, std::string* pstrError);
    bool StartInbound(const CSimAction& action, std::string* pstrError);
    bool StartOutbound(const CSimAction& action, bool bAppMade, DWORD* pdwId, std::string* pstrError);
    bool SetService(DWORD dwLine, bool bInService);

    void ScheduleNextRandom();
    void RunRandomCall();

    std::vector<CSimLineConfig> m_lines;
    std::vector<bool> m_inService;
    std::map<DWORD, CCall> m_calls;
    std::map<std::pair<SimTime, std::uint64_t>, std::function<void()>> m_steps;
    std::uint64_t m_qwSeq = 0;
    std::vector<CSimEvent> m_events;
    SimTime m_tNow = 0;
    DWORD m_dwNextId = 1;
    DWORD m_dwNextCallID = 0x1001;
    CSimRandom m_random;
    CSimTraffic m_traffic;
    std::uint64_t m_qwTrafficGeneration = 0;
    DWORD m_dwRandomCalls = 0;
    DWORD m_dwSkippedCalls = 0;
};

const char* CallStateText(ECallState eState);

}  // namespace sim
