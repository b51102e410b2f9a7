#include <gtest/gtest.h>

#include <map>
#include <set>

#include "model/SimPbx.h"
#include "support/SimTestLines.h"

using namespace sim;
using simtest::LastOn;
using simtest::RunFor;
using simtest::StatesOn;
using Strings = std::vector<std::string>;

namespace {

constexpr DWORD EXT201 = 0, EXT202 = 1, EXT203 = 2, TRUNK1 = 3, TRUNK2 = 4;

CSimAction Internal(const std::string& strFrom, const std::string& strTo, SimTime tRing = 3000, SimTime tTalk = 10000) {
    CSimAction action;
    action.m_eKind = EActionKind::Internal;
    action.m_strFrom = strFrom;
    action.m_strTo = strTo;
    action.m_timing = CSimCallTiming{tRing, tTalk};
    return action;
}

CSimAction Inbound(const std::string& strTo, SimTime tRing = 2000, SimTime tTalk = 10000) {
    CSimAction action;
    action.m_eKind = EActionKind::Inbound;
    action.m_strTo = strTo;
    action.m_caller = CSimParty{"0301234567", "Customer"};
    action.m_timing = CSimCallTiming{tRing, tTalk};
    return action;
}

// An external call to 201, answered after a second and passed on to 202 five seconds later.
CSimAction TransferredInbound(SimTime tTalk) {
    CSimAction action = Inbound("201", 1000, tTalk);
    action.m_strTransferTo = "202";
    action.m_tTransferAfter = 5000;
    return action;
}

CSimAction OnLine(EActionKind eKind, const std::string& strLine, SimTime tFor = 0) {
    CSimAction action;
    action.m_eKind = eKind;
    action.m_strLine = strLine;
    action.m_tFor = tFor;
    return action;
}

// The CALLEDID reports on one line, in order.
std::vector<const CSimEvent*> CalledIdInfos(const std::vector<CSimEvent>& events, DWORD dwLine) {
    std::vector<const CSimEvent*> infos;
    for (const CSimEvent& event : events) {
        if (event.m_eKind == EEventKind::CallInfo && event.m_dwLine == dwLine && (event.m_dwInfo & kInfoCalledId)) {
            infos.push_back(&event);
        }
    }
    return infos;
}

}  // namespace

TEST(SimPbx, InternalCallIsSeenOnBothExtensionsFromDialToneToIdle) {
    CSimPbx pbx(simtest::SmallOffice());
    std::string strError;
    ASSERT_TRUE(pbx.RunAction(Internal("201", "202"), &strError)) << strError;
    std::vector<CSimEvent> events;
    RunFor(pbx, 20000, &events);

    EXPECT_EQ(StatesOn(events, EXT201),
              (Strings{"dialtone", "dialing", "proceeding", "ringback", "connected", "disconnected", "idle"}));
    // The caller hangs up; the called extension sees the disconnect until its user hangs up too.
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"offering", "connected", "disconnected", "idle"}));
    EXPECT_TRUE(StatesOn(events, EXT203).empty());
    EXPECT_TRUE(StatesOn(events, TRUNK1).empty());

    const CSimEvent* pOffering = nullptr;
    const CSimEvent* pCalledConnected = nullptr;
    const CSimEvent* pCallerConnected = nullptr;
    for (const CSimEvent& event : events) {
        if (event.m_eKind != EEventKind::CallState) {
            continue;
        }
        if (event.m_dwLine == EXT202 && event.m_call.m_eState == ECallState::Offering) {
            pOffering = &event;
        }
        if (event.m_call.m_eState == ECallState::Connected) {
            (event.m_dwLine == EXT202 ? pCalledConnected : pCallerConnected) = &event;
        }
    }
    ASSERT_NE(pOffering, nullptr);
    EXPECT_EQ(pOffering->m_tAt, 800u);
    EXPECT_EQ(pOffering->m_call.m_dwOrigin, DWORD{kOriginInternal});
    EXPECT_EQ(pOffering->m_call.m_caller, (CSimParty{"201", "Reception"}));
    EXPECT_EQ(pOffering->m_call.m_called, (CSimParty{"202", "Sales"}));
    EXPECT_EQ(pOffering->m_call.m_dwTrunk, kNoTrunk);
    ASSERT_NE(pCalledConnected, nullptr);
    ASSERT_NE(pCallerConnected, nullptr);
    EXPECT_EQ(pCalledConnected->m_tAt, 3800u);
    EXPECT_EQ(pCalledConnected->m_call.m_tStateEntry, 3800u);

    // After connecting, each side knows the other as connected party, and the
    // two appearances point at each other's call reference.
    const CSimEvent* pCallerInfo = LastOn(events, EXT201, EEventKind::CallInfo);
    const CSimEvent* pCalledInfo = LastOn(events, EXT202, EEventKind::CallInfo);
    ASSERT_NE(pCallerInfo, nullptr);
    ASSERT_NE(pCalledInfo, nullptr);
    EXPECT_EQ(pCallerInfo->m_dwInfo, DWORD{kInfoConnectedId});
    EXPECT_EQ(pCallerInfo->m_call.m_connected, (CSimParty{"202", "Sales"}));
    EXPECT_EQ(pCallerInfo->m_call.m_called, (CSimParty{"202", "Sales"}));
    EXPECT_EQ(pCallerInfo->m_call.m_dwOrigin, DWORD{kOriginOutbound});
    EXPECT_EQ(pCalledInfo->m_call.m_connected, (CSimParty{"201", "Reception"}));
    EXPECT_EQ(pCallerInfo->m_call.m_dwRelatedCallID, pCalledInfo->m_call.m_dwCallID);
    EXPECT_EQ(pCalledInfo->m_call.m_dwRelatedCallID, pCallerInfo->m_call.m_dwCallID);
    EXPECT_NE(pCallerInfo->m_call.m_dwCallID, pCalledInfo->m_call.m_dwCallID);

    // The caller's CALLEDID became known while dialling, before the callee
    // rang, whole (number and name), and was not reported again unchanged.
    std::vector<const CSimEvent*> calledInfos = CalledIdInfos(events, EXT201);
    ASSERT_EQ(calledInfos.size(), 1u);
    EXPECT_EQ(calledInfos[0]->m_tAt, 300u);
    EXPECT_EQ(calledInfos[0]->m_call.m_called, (CSimParty{"202", "Sales"}));
    EXPECT_EQ(LastOn(events, EXT201, EEventKind::CallInfo)->m_dwInfo, DWORD{kInfoConnectedId});
    EXPECT_TRUE(pbx.GetAllCalls().empty());

    // The same for a call an application makes.
    CSimPbx app(simtest::SmallOffice());
    DWORD dwMade = 0;
    ASSERT_EQ(app.MakeCall(EXT201, "203", &dwMade), ESimResult::Ok);
    events.clear();
    RunFor(app, 5000, &events);
    calledInfos = CalledIdInfos(events, EXT201);
    ASSERT_EQ(calledInfos.size(), 1u);
    EXPECT_EQ(calledInfos[0]->m_call.m_called, (CSimParty{"203", "Manager"}));
}

TEST(SimPbx, InboundCallOverTrunkCarriesTrunkAndDidToTheExtension) {
    std::vector<CSimLineConfig> lines = simtest::SmallOffice();
    lines[EXT203].m_strDid = "0312";
    CSimPbx pbx(lines);
    std::string strError;
    ASSERT_TRUE(pbx.RunAction(Inbound("203"), &strError)) << strError;
    std::vector<CSimEvent> events;
    RunFor(pbx, 3000, &events);

    EXPECT_EQ(StatesOn(events, TRUNK1), (Strings{"offering", "accepted", "connected"}));
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"offering", "connected"}));
    ASSERT_EQ(pbx.GetCalls(EXT203).size(), 1u);
    const CSimAppearance& ext = *pbx.GetCalls(EXT203)[0];
    const CSimAppearance& trunk = *pbx.GetCalls(TRUNK1)[0];
    EXPECT_EQ(ext.m_dwOrigin, DWORD{kOriginExternal | kOriginInbound});
    EXPECT_EQ(ext.m_eReason, EReason::Direct);
    EXPECT_EQ(ext.m_dwTrunk, 1u);
    EXPECT_EQ(ext.m_strDid, "0312");
    EXPECT_EQ(ext.m_caller, (CSimParty{"0301234567", "Customer"}));
    EXPECT_EQ(ext.m_called, (CSimParty{"203", "Manager"}));
    EXPECT_EQ(ext.m_connected, (CSimParty{"0301234567", "Customer"}));
    EXPECT_EQ(trunk.m_called.m_strNumber, "0312");
    EXPECT_EQ(trunk.m_connected, (CSimParty{"203", "Manager"}));
    EXPECT_EQ(trunk.m_dwTrunk, 1u);

    // The external party hangs up: the trunk clears at once, the extension
    // shows the disconnect until its user hangs up two seconds later.
    events.clear();
    RunFor(pbx, 9300, &events);  // answered at 2.2 s, ten seconds of talk
    EXPECT_EQ(StatesOn(events, TRUNK1), (Strings{"disconnected", "idle"}));
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"disconnected"}));
    events.clear();
    RunFor(pbx, 2100, &events);
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"idle"}));
    EXPECT_TRUE(pbx.GetAllCalls().empty());
}

TEST(SimPbx, OutboundCallSeizesAFreeTrunkAndReportsIt) {
    CSimPbx pbx(simtest::SmallOffice());
    CSimAction action;
    action.m_eKind = EActionKind::Outbound;
    action.m_strFrom = "202";
    action.m_strNumber = "0409876543";
    action.m_timing = CSimCallTiming{4000, 0};
    std::string strError;
    // Trunk 1 is taken by an inbound call, so the outbound call uses trunk 2.
    ASSERT_TRUE(pbx.RunAction(Inbound("201", 60000, 0), &strError)) << strError;
    ASSERT_TRUE(pbx.RunAction(action, &strError)) << strError;
    std::vector<CSimEvent> events;
    RunFor(pbx, 10000, &events);

    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"dialtone", "dialing", "proceeding", "ringback", "connected"}));
    EXPECT_EQ(StatesOn(events, TRUNK2), (Strings{"dialing", "proceeding", "ringback", "connected"}));
    const CSimEvent* pTrunkInfo = nullptr;
    for (const CSimEvent& event : events) {
        if (event.m_eKind == EEventKind::CallInfo && event.m_dwLine == EXT202 && event.m_dwInfo == kInfoTrunk) {
            pTrunkInfo = &event;
        }
    }
    ASSERT_NE(pTrunkInfo, nullptr);
    EXPECT_EQ(pTrunkInfo->m_call.m_dwTrunk, 2u);
    std::vector<const CSimEvent*> calledInfos = CalledIdInfos(events, EXT202);
    ASSERT_EQ(calledInfos.size(), 1u);
    EXPECT_EQ(calledInfos[0]->m_call.m_called.m_strNumber, "0409876543");
    const CSimAppearance& trunk = *pbx.GetCalls(TRUNK2)[0];
    EXPECT_EQ(trunk.m_dwOrigin, DWORD{kOriginOutbound});
    EXPECT_EQ(trunk.m_called.m_strNumber, "0409876543");
    EXPECT_EQ(pbx.GetCalls(EXT202)[0]->m_connected.m_strNumber, "0409876543");

    // With both trunks taken, the next outbound call hears trunk busy.
    action.m_strFrom = "203";
    ASSERT_TRUE(pbx.RunAction(Inbound("201"), &strError) == false);  // 201 is busy, trunk 1 too
    CSimPbx full(simtest::SmallOffice());
    ASSERT_TRUE(full.RunAction(Inbound("201", 60000, 0), &strError));
    ASSERT_TRUE(full.RunAction(Inbound("202", 60000, 0), &strError));
    ASSERT_TRUE(full.RunAction(action, &strError));
    events.clear();
    RunFor(full, 1000, &events);
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"dialtone", "dialing", "busy/trunk"}));
    events.clear();
    RunFor(full, CSimPbx::kBusyListen, &events);
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"disconnected", "idle"}));
}

TEST(SimPbx, BusyAndNoAnswerEndTheCallerSide) {
    CSimPbx pbx(simtest::SmallOffice());
    std::string strError;
    ASSERT_TRUE(pbx.RunAction(Internal("201", "202", 1000, 0), &strError));
    std::vector<CSimEvent> events;
    RunFor(pbx, 3000, &events);
    ASSERT_EQ(pbx.GetCalls(EXT202).size(), 1u);

    // 202 is in a call: 203 calling it hears station busy, and 202 sees nothing new.
    events.clear();
    ASSERT_TRUE(pbx.RunAction(Internal("203", "202"), &strError));
    RunFor(pbx, 1000, &events);
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"dialtone", "dialing", "busy/station"}));
    EXPECT_TRUE(StatesOn(events, EXT202).empty());

    // No answer: the called phone rings, then stops; the caller is told nobody answered.
    CSimPbx quiet(simtest::SmallOffice());
    CSimAction action = Internal("201", "203", 5000);
    action.m_bNoAnswer = true;
    ASSERT_TRUE(quiet.RunAction(action, &strError));
    events.clear();
    RunFor(quiet, 5900, &events);
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"offering", "idle"}));
    EXPECT_EQ(StatesOn(events, EXT201),
              (Strings{"dialtone", "dialing", "proceeding", "ringback", "disconnected/noanswer"}));
    events.clear();
    RunFor(quiet, CSimPbx::kHangupDelay, &events);
    EXPECT_EQ(StatesOn(events, EXT201), (Strings{"idle"}));

    // A busy flag makes an idle extension reject too.
    CSimPbx dnd(simtest::SmallOffice());
    action = Internal("201", "203");
    action.m_bBusy = true;
    ASSERT_TRUE(dnd.RunAction(action, &strError));
    events.clear();
    RunFor(dnd, 1000, &events);
    EXPECT_EQ(StatesOn(events, EXT201).back(), "busy/station");
    EXPECT_TRUE(StatesOn(events, EXT203).empty());
}

TEST(SimPbx, TransferRingsTheNewExtensionWithRedirectionIds) {
    CSimPbx pbx(simtest::SmallOffice());
    CSimAction action = TransferredInbound(20000);
    std::string strError;
    ASSERT_TRUE(pbx.RunAction(action, &strError));
    std::vector<CSimEvent> events;
    RunFor(pbx, 6300, &events);  // answered at 1.2 s, transferred at 6.2 s

    EXPECT_EQ(StatesOn(events, EXT201), (Strings{"offering", "connected", "idle"}));
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"offering"}));
    const CSimAppearance& to = *pbx.GetCalls(EXT202)[0];
    EXPECT_EQ(to.m_eReason, EReason::Transfer);
    EXPECT_EQ(to.m_dwOrigin, DWORD{kOriginExternal | kOriginInbound});
    EXPECT_EQ(to.m_caller, (CSimParty{"0301234567", "Customer"}));
    EXPECT_EQ(to.m_redirecting, (CSimParty{"201", "Reception"}));
    EXPECT_EQ(to.m_redirection, (CSimParty{"202", "Sales"}));
    EXPECT_EQ(to.m_dwTrunk, 1u);
    EXPECT_EQ(to.m_strDid, "201");

    const CSimEvent* pTrunkInfo = LastOn(events, TRUNK1, EEventKind::CallInfo);
    ASSERT_NE(pTrunkInfo, nullptr);
    EXPECT_EQ(pTrunkInfo->m_dwInfo, DWORD{kInfoRedirectionId | kInfoRedirectingId});
    EXPECT_EQ(pTrunkInfo->m_call.m_redirection, (CSimParty{"202", "Sales"}));
    EXPECT_EQ(pTrunkInfo->m_call.m_redirecting, (CSimParty{"201", "Reception"}));
    EXPECT_EQ(pbx.GetCalls(TRUNK1)[0]->m_dwRelatedCallID, to.m_dwCallID);

    events.clear();
    RunFor(pbx, 1000, &events);
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"connected"}));
    const CSimEvent* pConnected = LastOn(events, TRUNK1, EEventKind::CallInfo);
    ASSERT_NE(pConnected, nullptr);
    EXPECT_EQ(pConnected->m_dwInfo, DWORD{kInfoConnectedId});
    EXPECT_EQ(pConnected->m_call.m_connected, (CSimParty{"202", "Sales"}));
    // The trunk never left CONNECTED while the call was passed on.
    EXPECT_TRUE(StatesOn(events, TRUNK1).empty());
}

TEST(SimPbx, TransferredCallKeepsWhatIsLeftOfItsTalkTimeAndZeroStaysUntilHangUp) {
    // Talk 20 s from the answer at 1.2 s, passed on 5 s later: the new
    // extension answers at 7.2 s and has 15 s left.
    CSimPbx timed(simtest::SmallOffice());
    CSimAction action = TransferredInbound(20000);
    std::string strError;
    ASSERT_TRUE(timed.RunAction(action, &strError)) << strError;
    std::vector<CSimEvent> events;
    RunFor(timed, 22100, &events);
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"offering", "connected"}));
    RunFor(timed, 200, &events);
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"offering", "connected", "disconnected"}));

    // Talk 0: nobody hangs up on their own, before or after the transfer.
    CSimPbx open(simtest::SmallOffice());
    action.m_timing.m_tTalk = 0;
    ASSERT_TRUE(open.RunAction(action, &strError)) << strError;
    events.clear();
    RunFor(open, 600000, &events);
    EXPECT_EQ(StatesOn(events, EXT201), (Strings{"offering", "connected", "idle"}));
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"offering", "connected"}));
    EXPECT_EQ(StatesOn(events, TRUNK1), (Strings{"offering", "accepted", "connected"}));
    ASSERT_TRUE(open.RunAction(OnLine(EActionKind::Hangup, "202"), &strError)) << strError;
    RunFor(open, 100, &events);
    EXPECT_EQ(StatesOn(events, TRUNK1).back(), "idle");
    EXPECT_TRUE(open.GetAllCalls().empty());
}

TEST(SimPbx, LineOutOfServiceDropsItsCallsRefusesNewOnesAndComesBack) {
    CSimPbx pbx(simtest::SmallOffice());
    std::string strError;
    ASSERT_TRUE(pbx.RunAction(Internal("201", "202", 1000, 0), &strError));
    std::vector<CSimEvent> events;
    RunFor(pbx, 3000, &events);
    events.clear();

    ASSERT_TRUE(pbx.RunAction(OnLine(EActionKind::OutOfService, "202", 10000), &strError)) << strError;
    EXPECT_FALSE(pbx.RunAction(OnLine(EActionKind::OutOfService, "202"), &strError));
    EXPECT_NE(strError.find("already out of service"), std::string::npos) << strError;
    std::vector<CSimEvent> now = pbx.TakeEvents();
    ASSERT_FALSE(now.empty());
    EXPECT_EQ(now[0].m_eKind, EEventKind::LineState);
    EXPECT_EQ(now[0].m_dwLine, EXT202);
    EXPECT_EQ(now[0].m_eLineState, ELineState::OutOfService);
    EXPECT_EQ(StatesOn(now, EXT202), (Strings{"idle"}));
    EXPECT_EQ(StatesOn(now, EXT201), (Strings{"disconnected/unreachable"}));
    EXPECT_FALSE(pbx.IsInService(EXT202));

    // Calls to it are busy, calls from it are refused.
    ASSERT_TRUE(pbx.RunAction(Internal("203", "202"), &strError));
    EXPECT_FALSE(pbx.RunAction(Internal("202", "203"), &strError));
    DWORD dwId = 0;
    EXPECT_EQ(pbx.MakeCall(EXT202, "203", &dwId), ESimResult::OutOfService);
    RunFor(pbx, 1000, &events);
    EXPECT_EQ(StatesOn(events, EXT203).back(), "busy/station");

    events.clear();
    RunFor(pbx, 9100, &events);
    const CSimEvent* pBack = LastOn(events, EXT202, EEventKind::LineState);
    ASSERT_NE(pBack, nullptr);
    EXPECT_EQ(pBack->m_eLineState, ELineState::InService);
    EXPECT_EQ(pBack->m_tAt, 13000u);
    EXPECT_TRUE(pbx.IsInService(EXT202));
    EXPECT_FALSE(pbx.RunAction(OnLine(EActionKind::InService, "202"), &strError));
}

TEST(SimPbx, ReinitIsOneEventForTheWholeSystem) {
    CSimPbx pbx(simtest::SmallOffice());
    std::string strError;
    ASSERT_TRUE(pbx.RunAction(OnLine(EActionKind::Reinit, ""), &strError));
    std::vector<CSimEvent> events = pbx.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].m_eKind, EEventKind::Reinit);
}

TEST(SimPbx, ApplicationMakesAnswersAndDropsCalls) {
    CSimPbx pbx(simtest::SmallOffice());
    DWORD dwCaller = 0;
    ASSERT_EQ(pbx.MakeCall(EXT201, "203", &dwCaller), ESimResult::Ok);
    ASSERT_NE(pbx.FindCall(dwCaller), nullptr);
    EXPECT_TRUE(pbx.FindCall(dwCaller)->m_bAppMade);
    EXPECT_EQ(pbx.MakeCall(EXT201, "202", &dwCaller), ESimResult::LineBusy);
    EXPECT_EQ(pbx.MakeCall(99, "202", &dwCaller), ESimResult::BadLine);
    DWORD dwOther = 0;
    EXPECT_EQ(pbx.MakeCall(EXT202, "80x", &dwOther), ESimResult::BadAddress);
    EXPECT_EQ(pbx.MakeCall(EXT202, "801", &dwOther), ESimResult::BadAddress);  // a trunk is no destination
    for (const char* pszOutside : {"0", "*", "#", "+", "+49*12#"}) {           // every dialable character goes out
        CSimPbx outside(simtest::SmallOffice());
        EXPECT_EQ(outside.MakeCall(EXT202, pszOutside, &dwOther), ESimResult::Ok) << pszOutside;
    }

    std::vector<CSimEvent> events;
    RunFor(pbx, 1000, &events);
    ASSERT_EQ(pbx.GetCalls(EXT203).size(), 1u);
    DWORD dwCalled = pbx.GetCalls(EXT203)[0]->m_dwId;
    EXPECT_EQ(pbx.Answer(dwCaller), ESimResult::BadState);  // the caller's side cannot be answered
    EXPECT_EQ(pbx.Answer(dwCalled), ESimResult::Ok);
    EXPECT_EQ(pbx.Answer(dwCalled), ESimResult::BadState);
    EXPECT_EQ(pbx.FindCall(dwCaller)->m_eState, ECallState::Connected);

    events = pbx.TakeEvents();
    EXPECT_EQ(pbx.Drop(dwCaller), ESimResult::Ok);
    events = pbx.TakeEvents();
    EXPECT_EQ(StatesOn(events, EXT201), (Strings{"disconnected", "idle"}));
    EXPECT_EQ(StatesOn(events, EXT203), (Strings{"disconnected"}));
    EXPECT_EQ(pbx.Drop(dwCaller), ESimResult::BadCall);
    EXPECT_EQ(pbx.Answer(12345), ESimResult::BadCall);

    // Nothing dialled: the call sits at dial tone until it is dropped.
    DWORD dwIdle = 0;
    ASSERT_EQ(pbx.MakeCall(EXT202, "", &dwIdle), ESimResult::Ok);
    RunFor(pbx, 60000, &events);
    ASSERT_NE(pbx.FindCall(dwIdle), nullptr);
    EXPECT_EQ(pbx.FindCall(dwIdle)->m_eState, ECallState::Dialtone);

    // Dropping a ringing call rejects it: the caller hears busy.
    CSimPbx ring(simtest::SmallOffice());
    ASSERT_EQ(ring.MakeCall(EXT201, "202", &dwCaller), ESimResult::Ok);
    ring.Advance(1000);
    ring.TakeEvents();
    ASSERT_EQ(ring.Drop(ring.GetCalls(EXT202)[0]->m_dwId), ESimResult::Ok);
    events = ring.TakeEvents();
    EXPECT_EQ(StatesOn(events, EXT202), (Strings{"idle"}));
    EXPECT_EQ(StatesOn(events, EXT201), (Strings{"disconnected/busy"}));
}

TEST(SimPbx, RandomTrafficIsReproducibleAndKeepsEveryCallConsistent) {
    CSimTraffic traffic;
    traffic.m_bEnabled = true;
    traffic.m_tMeanInterval = 10000;  // six calls a minute
    auto runFor = [&traffic](std::uint64_t qwSeed, SimTime tFor, CSimPbx** ppKeep = nullptr, bool bOneStep = false) {
        auto* pPbx = new CSimPbx(simtest::SmallOffice(), qwSeed);
        pPbx->SetTraffic(traffic);
        std::vector<CSimEvent> events;
        if (bOneStep) {
            pPbx->Advance(tFor);
            events = pPbx->TakeEvents();
        } else {
            RunFor(*pPbx, tFor, &events);
        }
        if (ppKeep != nullptr) {
            *ppKeep = pPbx;
        } else {
            delete pPbx;
        }
        return events;
    };
    auto signature = [](const std::vector<CSimEvent>& events) {
        std::string str;
        for (const CSimEvent& e : events) {
            str += std::to_string(e.m_tAt) + ":" + std::to_string(e.m_dwLine) + ":" +
                   std::to_string(static_cast<int>(e.m_eKind)) + ":" + CallStateText(e.m_call.m_eState) + ":" +
                   e.m_call.m_caller.m_strNumber + ";";
        }
        return str;
    };
    CSimPbx* pPbx = nullptr;
    std::vector<CSimEvent> first = runFor(7, 3600000, &pPbx);
    std::unique_ptr<CSimPbx> keep(pPbx);
    EXPECT_EQ(signature(first), signature(runFor(7, 3600000)));
    EXPECT_NE(signature(first), signature(runFor(8, 3600000)));
    // A clock that comes late catches up: one step over the whole hour gives
    // the same calls at the same times as steps of a tenth of a second.
    EXPECT_EQ(signature(first), signature(runFor(7, 3600000, nullptr, true)));

    // About 360 calls an hour were attempted; a small office is often full.
    EXPECT_GE(keep->GetRandomCallCount(), 300u);
    EXPECT_LE(keep->GetRandomCallCount(), 420u);
    EXPECT_LT(keep->GetSkippedCallCount(), keep->GetRandomCallCount() / 2);

    // Every appearance starts with NewCall, ends with idle, has nothing after
    // that, and no line ever carries two calls at once.
    std::map<DWORD, int> lifecycle;   // 1 = alive, 2 = ended
    std::map<DWORD, DWORD> busyLine;  // line -> appearance
    std::set<int> kinds;
    for (const CSimEvent& e : first) {
        if (e.m_eKind == EEventKind::NewCall) {
            ASSERT_EQ(lifecycle.count(e.m_call.m_dwId), 0u);
            ASSERT_EQ(busyLine.count(e.m_dwLine), 0u) << "two calls on line " << e.m_dwLine << " at " << e.m_tAt;
            lifecycle[e.m_call.m_dwId] = 1;
            busyLine[e.m_dwLine] = e.m_call.m_dwId;
        } else if (e.m_eKind == EEventKind::CallState || e.m_eKind == EEventKind::CallInfo) {
            ASSERT_EQ(lifecycle[e.m_call.m_dwId], 1) << "event after idle at " << e.m_tAt;
            kinds.insert(static_cast<int>(e.m_call.m_eState));
            if (e.m_eKind == EEventKind::CallState && e.m_call.m_eState == ECallState::Idle) {
                lifecycle[e.m_call.m_dwId] = 2;
                busyLine.erase(e.m_dwLine);
            }
        }
    }
    // The mix produced every state a call can pass through.
    for (ECallState eState :
         {ECallState::Offering, ECallState::Accepted, ECallState::Dialtone, ECallState::Dialing, ECallState::Proceeding,
          ECallState::Ringback, ECallState::Busy, ECallState::Connected, ECallState::Disconnected, ECallState::Idle}) {
        EXPECT_EQ(kinds.count(static_cast<int>(eState)), 1u) << CallStateText(eState);
    }

    // Switching traffic off lets the calls in progress finish.
    CSimTraffic off;
    keep->SetTraffic(off);
    std::vector<CSimEvent> rest;
    RunFor(*keep, 120000, &rest);
    EXPECT_TRUE(keep->GetAllCalls().empty());
}
