#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "model/SimLayouts.h"
#include "model/SimScenario.h"

using namespace sim;

namespace {

// Extensions 201..203 (203 reached by the DID digits 0312), trunks 801 and 802,
// and a timeline of events.
std::unique_ptr<CSimPbx> Office(const std::string& strTimeline, std::uint64_t qwSeed = 1) {
    CSimScenario scenario;
    std::string strError;
    EXPECT_TRUE(ParseScenario(R"({"seed": )" + std::to_string(qwSeed) + R"(, "devices": [
        {"kind": "ext", "number": "201", "name": "Reception"}, {"kind": "ext", "number": "202", "name": "Sales"},
        {"kind": "ext", "number": "203", "name": "Manager", "did": "0312"},
        {"kind": "co", "number": "801"}, {"kind": "co", "number": "802"}], "timeline": [)" +
                                  strTimeline + "]}",
                              "t.json", &scenario, &strError))
        << strError;
    return BuildPbx(scenario);
}

std::vector<CSimEvent> RunFor(CSimPbx& pbx, SimTime tFor, SimTime tStep = 0) {
    std::vector<CSimEvent> events;
    for (SimTime t = 0; t < tFor; t += tStep == 0 ? tFor : tStep) {
        pbx.Advance(tStep == 0 ? tFor : tStep);
        for (const CSimEvent& event : pbx.TakeEvents()) {
            events.push_back(event);
        }
    }
    return events;
}

std::string Party(const CSimParty& party) {
    return party.m_strNumber + (party.m_strName.empty() ? "" : "/" + party.m_strName);
}

// What each line saw, in order: call states with the mode where it tells
// something, "+" and what identification changed, line states; then the call
// as its last event showed it: call ID>related ID, origin, reason, trunk, DID,
// caller>called=connected and redirecting~redirection.
std::string Trace(const CSimPbx& pbx, const std::vector<CSimEvent>& events) {
    static const char* const kModes[] = {"", "", "/ext",  "/station",  "/trunk",      "",
                                         "", "", "/busy", "/noanswer", "/unreachable"};
    static const char* const kInfos[] = {"caller", "called", "connected", "redirection", "redirecting", "trunk"};
    static const char* const kReasons[] = {"direct", "transfer", "fwdnoanswer", "fwdbusy", "unknown"};
    std::map<DWORD, std::string> seen;
    std::map<DWORD, CSimAppearance> last;
    for (const CSimEvent& e : events) {
        DWORD dwLine = e.m_eKind == EEventKind::Reinit ? 0xFFFFFFFF : e.m_dwLine;
        std::string& str = seen[dwLine];
        if (e.m_eKind == EEventKind::CallState) {
            EXPECT_EQ(e.m_call.m_tStateEntry, e.m_tAt);
            str += std::string(" ") + CallStateText(e.m_call.m_eState) + kModes[static_cast<int>(e.m_call.m_eMode)];
        } else if (e.m_eKind == EEventKind::CallInfo) {
            for (int i = 0; i < 6; ++i) {
                str += (e.m_dwInfo & (1u << i)) != 0 ? std::string(" +") + kInfos[i] : "";
            }
        } else if (e.m_eKind != EEventKind::NewCall) {
            str += e.m_eKind == EEventKind::Reinit           ? " reinit"
                   : e.m_eLineState == ELineState::InService ? " in"
                                                             : " out";
        }
        str += e.m_eKind == EEventKind::NewCall ? " new" : "@" + std::to_string(e.m_tAt);
        if (e.m_eKind != EEventKind::LineState && e.m_eKind != EEventKind::Reinit) {
            last[dwLine] = e.m_call;
        }
    }
    std::string strTrace;
    for (const auto& [dwLine, str] : seen) {
        strTrace += (dwLine < pbx.GetLineCount() ? pbx.GetLine(dwLine).m_strNumber : "pbx") + ":" + str;
        if (last.count(dwLine) != 0) {
            const CSimAppearance& a = last[dwLine];
            char sz[64];
            std::snprintf(sz, sizeof sz, " | %X>%X o%X ", unsigned(a.m_dwCallID), unsigned(a.m_dwRelatedCallID),
                          unsigned(a.m_dwOrigin));
            strTrace += sz + std::string(kReasons[static_cast<int>(a.m_eReason)]) +
                        (a.m_dwTrunk == kNoTrunk ? "" : " t" + std::to_string(a.m_dwTrunk)) +
                        (a.m_strDid.empty() ? "" : " did" + a.m_strDid) + " " + Party(a.m_caller) + ">" +
                        Party(a.m_called) + "=" + Party(a.m_connected) +
                        (a.m_redirecting.IsEmpty() ? "" : " " + Party(a.m_redirecting) + "~" + Party(a.m_redirection));
        }
        strTrace += "\n";
    }
    return strTrace;
}

}  // namespace

TEST(SimPbx, CallsGoThroughTheirStatesOnEveryLineTheyAppearOn) {
    struct {
        const char* pszTimeline;
        SimTime tFor;
        const char* pszTrace;
    } const cases[] = {
        // The caller hangs up; the called extension shows the disconnect until its user hangs up too.
        {R"({"at": 0, "event": "internal", "from": "201", "to": "202", "ring": 3, "talk": 10})", 20000,
         "201: new dialtone@0 dialing@300 +called@300 proceeding@800 ringback@800 connected@3800 +connected@3800 "
         "disconnected@13800 idle@13800 | 1001>1002 o1 direct 201/Reception>202/Sales=202/Sales\n202: new "
         "offering@800 connected@3800 +connected@3800 disconnected@13800 idle@15800 | 1002>1001 o2 direct "
         "201/Reception>202/Sales=201/Reception\n"},
        // The external party hangs up: the trunk clears at once.
        {R"({"at": 0, "event": "inbound", "to": "203", "caller": "0301234567", "callerName": "Customer",
             "ring": 2, "talk": 10})",
         15000,
         "203: new offering@200 connected@2200 +connected@2200 disconnected@12200 idle@14200 | 1002>1001 oC direct "
         "t1 did0312 0301234567/Customer>203/Manager=0301234567/Customer\n801: new offering@0 accepted@200 "
         "connected@2200 +connected@2200 disconnected@12200 idle@12200 | 1001>1002 oC direct t1 did0312 "
         "0301234567/Customer>0312=203/Manager\n"},
        // Trunk 1 rings for 201, so 202 goes out over trunk 2 and 203 finds no trunk left.
        {R"({"at": 0, "event": "inbound", "to": "201", "caller": "0301234567", "ring": 60, "talk": 0},
            {"at": 0, "event": "outbound", "from": "202", "number": "0409876543", "ring": 4, "talk": 0},
            {"at": 1, "event": "outbound", "from": "203", "number": "0409876543"},
            {"at": 20, "event": "hangup", "line": "202"}, {"at": 70, "event": "hangup", "line": "201"})",
         75000,
         "201: new offering@200 connected@60200 +connected@60200 disconnected@70000 idle@70000 | 1003>1001 oC direct "
         "t1 did201 0301234567>201/Reception=0301234567\n202: new dialtone/ext@0 dialing@300 +called@300 "
         "proceeding@800 +trunk@800 ringback@1500 connected@5500 +connected@5500 disconnected@20000 idle@20000 | "
         "1002>1004 o1 direct t2 202/Sales>0409876543=0409876543\n203: new dialtone/ext@1000 dialing@1300 "
         "+called@1300 busy/trunk@1800 disconnected@4800 idle@4800 | 1005>0 o1 direct 203/Manager>0409876543=\n801: "
         "new offering@0 accepted@200 connected@60200 +connected@60200 disconnected@70000 idle@70000 | 1001>1003 oC "
         "direct t1 did201 0301234567>201=201/Reception\n802: new dialing@800 proceeding@800 ringback@1500 "
         "connected@5500 +connected@5500 disconnected@20000 idle@20000 | 1004>1002 o1 direct t2 "
         "202/Sales>0409876543=0409876543\n"},
        // 202 is in a call, so 203 hears busy; nobody answers 203; a busy flag rejects at an idle phone.
        {R"({"at": 0, "event": "internal", "from": "201", "to": "202", "ring": 1, "talk": 0},
            {"at": 3, "event": "internal", "from": "203", "to": "202"}, {"at": 10, "event": "hangup", "line": "202"},
            {"at": 20, "event": "internal", "from": "201", "to": "203", "ring": 5, "noAnswer": true},
            {"at": 30, "event": "internal", "from": "202", "to": "203", "busy": true})",
         40000,
         "201: new dialtone@0 dialing@300 +called@300 proceeding@800 ringback@800 connected@1800 +connected@1800 "
         "disconnected@10000 idle@12000 new dialtone@20000 dialing@20300 +called@20300 proceeding@20800 "
         "ringback@20800 disconnected/noanswer@25800 idle@27800 | 1004>1005 o1 direct "
         "201/Reception>203/Manager=\n202: new offering@800 connected@1800 +connected@1800 disconnected@10000 "
         "idle@10000 new dialtone@30000 dialing@30300 +called@30300 busy/station@30800 disconnected@33800 idle@33800 "
         "| 1006>0 o1 direct 202/Sales>203/Manager=\n203: new dialtone@3000 dialing@3300 +called@3300 "
         "busy/station@3800 disconnected@6800 idle@6800 new offering@20800 idle@25800 | 1005>1004 o2 direct "
         "201/Reception>203/Manager=\n"},
        // Answered at 1.2 s, passed on to 202 at 6.2 s, answered there at 7.2 s with 15 s of talk left.
        {R"({"at": 0, "event": "inbound", "to": "201", "caller": "0301234567", "callerName": "Customer",
             "ring": 1, "talk": 20, "transferTo": "202"})",
         25000,
         "201: new offering@200 connected@1200 +connected@1200 idle@6200 | 1002>1001 oC direct t1 did201 "
         "0301234567/Customer>201/Reception=0301234567/Customer\n202: new offering@6200 connected@7200 "
         "+connected@7200 disconnected@22200 idle@24200 | 1003>1001 oC transfer t1 did201 "
         "0301234567/Customer>202/Sales=0301234567/Customer 201/Reception~202/Sales\n801: new offering@0 "
         "accepted@200 connected@1200 +connected@1200 +redirection +redirecting@6200 +connected@7200 "
         "disconnected@22200 idle@22200 | 1001>1003 oC direct t1 did201 0301234567/Customer>201=202/Sales "
         "201/Reception~202/Sales\n"},
        // Talk 0: nobody hangs up on their own, before or after the transfer.
        {R"({"at": 0, "event": "inbound", "to": "201", "caller": "0301234567", "ring": 1, "talk": 0,
             "transferTo": "202", "transferAfter": 2}, {"at": 600, "event": "hangup", "line": "202"})",
         601000,
         "201: new offering@200 connected@1200 +connected@1200 idle@3200 | 1002>1001 oC direct t1 did201 "
         "0301234567>201/Reception=0301234567\n202: new offering@3200 connected@4200 +connected@4200 "
         "disconnected@600000 idle@600000 | 1003>1001 oC transfer t1 did201 0301234567>202/Sales=0301234567 "
         "201/Reception~202/Sales\n801: new offering@0 accepted@200 connected@1200 +connected@1200 +redirection "
         "+redirecting@3200 +connected@4200 disconnected@600000 idle@600000 | 1001>1003 oC direct t1 did201 "
         "0301234567>201=202/Sales 201/Reception~202/Sales\n"},
        // A line out of service loses its calls; its far ends hear why; calls to it are busy.
        {R"({"at": 0, "event": "internal", "from": "201", "to": "202", "ring": 1, "talk": 0},
            {"at": 0, "event": "inbound", "to": "203", "caller": "0301234567", "ring": 1, "talk": 0},
            {"at": 3, "event": "outOfService", "line": "202", "for": 10}, {"at": 3, "event": "outOfService", "line": "203"},
            {"at": 6, "event": "internal", "from": "201", "to": "202"}, {"at": 14, "event": "reinit"})",
         20000,
         "201: new dialtone@0 dialing@300 +called@300 proceeding@800 ringback@800 connected@1800 +connected@1800 "
         "disconnected/unreachable@3000 idle@5000 new dialtone@6000 dialing@6300 +called@6300 busy/station@6800 "
         "disconnected@9800 idle@9800 | 1005>0 o1 direct 201/Reception>202/Sales=\n202: new offering@800 "
         "connected@1800 +connected@1800 out@3000 idle@3000 in@13000 | 1004>1001 o2 direct "
         "201/Reception>202/Sales=201/Reception\n203: new offering@200 connected@1200 +connected@1200 out@3000 "
         "idle@3000 | 1003>1002 oC direct t1 did0312 0301234567>203/Manager=0301234567\n801: new offering@0 "
         "accepted@200 connected@1200 +connected@1200 disconnected/unreachable@3000 idle@3000 | 1002>1003 oC direct "
         "t1 did0312 0301234567>0312=203/Manager\npbx: reinit@14000\n"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<CSimPbx> pPbx = Office(c.pszTimeline);
        EXPECT_EQ(Trace(*pPbx, RunFor(*pPbx, c.tFor)), c.pszTrace) << c.pszTimeline;
        EXPECT_TRUE(pPbx->GetAllCalls().empty()) << c.pszTimeline;
    }
}

TEST(SimPbx, ActionsThatCannotRunNowSayWhy) {
    std::unique_ptr<CSimPbx> pPbx = Office(R"({"at": 0, "event": "inbound", "to": "201", "caller": "1", "talk": 0},
        {"at": 0, "event": "inbound", "to": "202", "caller": "2", "talk": 0},
        {"at": 0, "event": "outOfService", "line": "203"})");
    RunFor(*pPbx, 5000);
    const std::pair<const char*, const char*> cases[] = {
        {R"({"event": "inbound", "to": "203", "caller": "3"})", "no free trunk"},
        {R"({"event": "outOfService", "line": "203"})", "line \"203\" is already out of service"},
        {R"({"event": "inService", "line": "202"})", "line \"202\" is already in service"},
        {R"({"event": "internal", "from": "203", "to": "202"})", "line \"203\" is busy or out of service"},
        {R"({"event": "answer", "line": "202"})", "line \"202\" has no ringing call"},
        {R"({"event": "hangup", "line": "203"})", "line \"203\" has no call"},
    };
    for (const auto& [pszAction, pszError] : cases) {
        CSimAction action;
        std::string strError;
        std::vector<CSimLineConfig> lines;
        for (DWORD i = 0; i < pPbx->GetLineCount(); ++i) {
            lines.push_back(pPbx->GetLine(i));
        }
        ASSERT_TRUE(ParseAction(pszAction, lines, &action, &strError)) << strError;
        EXPECT_FALSE(pPbx->RunAction(action, &strError));
        EXPECT_EQ(strError, pszError);
    }
    DWORD dwId = 0;
    EXPECT_EQ(pPbx->MakeCall(2, "202", &dwId), ESimResult::OutOfService);
    EXPECT_FALSE(pPbx->IsInService(2));
}

TEST(SimPbx, ApplicationsMakeAnswerAndDropCalls) {
    std::unique_ptr<CSimPbx> pPbx = Office("");
    CSimPbx& pbx = *pPbx;
    DWORD dwCaller = 0;
    DWORD dwOther = 0;
    ASSERT_EQ(pbx.MakeCall(0, "203", &dwCaller), ESimResult::Ok);
    EXPECT_TRUE(pbx.FindCall(dwCaller)->m_bAppMade);
    EXPECT_EQ(pbx.MakeCall(0, "202", &dwOther), ESimResult::LineBusy);
    EXPECT_EQ(pbx.MakeCall(99, "202", &dwOther), ESimResult::BadLine);
    EXPECT_EQ(pbx.MakeCall(1, "80x", &dwOther), ESimResult::BadAddress);
    EXPECT_EQ(pbx.MakeCall(1, "801", &dwOther), ESimResult::BadAddress);  // a trunk is no destination
    for (const char* pszOutside : {"0", "*", "#", "+", "+49*12#"}) {      // every dialable character goes out
        EXPECT_EQ(Office("")->MakeCall(1, pszOutside, &dwOther), ESimResult::Ok) << pszOutside;
    }
    std::vector<CSimEvent> events = RunFor(pbx, 1000);
    DWORD dwCalled = pbx.GetCalls(2)[0]->m_dwId;
    EXPECT_EQ(pbx.Answer(dwCaller), ESimResult::BadState);  // the caller's side cannot be answered
    EXPECT_EQ(pbx.Answer(dwCalled), ESimResult::Ok);
    EXPECT_EQ(pbx.Answer(dwCalled), ESimResult::BadState);
    EXPECT_EQ(pbx.Drop(dwCaller), ESimResult::Ok);
    EXPECT_EQ(pbx.Drop(dwCaller), ESimResult::BadCall);
    EXPECT_EQ(pbx.Answer(12345), ESimResult::BadCall);
    // Nothing dialled: the call sits at dial tone until it is dropped.
    ASSERT_EQ(pbx.MakeCall(1, "", &dwOther), ESimResult::Ok);
    // Dropping a ringing call rejects it: the caller hears busy.
    std::vector<CSimEvent> more = RunFor(pbx, 4000);
    ASSERT_EQ(pbx.MakeCall(0, "203", &dwCaller), ESimResult::Ok);
    events.insert(events.end(), more.begin(), more.end());
    more = RunFor(pbx, 1000);
    events.insert(events.end(), more.begin(), more.end());
    ASSERT_EQ(pbx.Drop(pbx.GetCalls(2)[0]->m_dwId), ESimResult::Ok);
    more = RunFor(pbx, 60000);
    events.insert(events.end(), more.begin(), more.end());
    EXPECT_EQ(Trace(pbx, events),
              "201: new dialtone@0 dialing@300 +called@300 proceeding@800 ringback@800 connected@1000 "
              "+connected@1000 disconnected@1000 idle@1000 new dialtone@5000 dialing@5300 +called@5300 "
              "proceeding@5800 ringback@5800 disconnected/busy@6000 idle@8000 | 1004>1005 o1 direct "
              "201/Reception>203/Manager=\n202: new dialtone@1000 | 1003>0 o1 direct 202/Sales>=\n203: new "
              "offering@800 connected@1000 +connected@1000 disconnected@1000 idle@3000 new offering@5800 idle@6000 | "
              "1005>1004 o2 direct 201/Reception>203/Manager=\n");
    ASSERT_EQ(pbx.GetAllCalls().size(), 1u);
    EXPECT_EQ(pbx.FindCall(dwOther)->m_eState, ECallState::Dialtone);
}

TEST(SimPbx, RandomTrafficIsReproducibleAndKeepsEveryCallConsistent) {
    CSimTraffic traffic;
    traffic.m_bEnabled = true;
    traffic.m_tMeanInterval = 10000;  // six calls a minute
    auto hour = [&traffic](std::uint64_t qwSeed, SimTime tStep, std::vector<CSimEvent>* pEvents = nullptr) {
        std::unique_ptr<CSimPbx> pPbx = Office("", qwSeed);
        pPbx->SetTraffic(traffic);
        std::vector<CSimEvent> events = RunFor(*pPbx, 3600000, tStep);
        // About 360 calls were attempted; a small office is often full.
        EXPECT_GE(pPbx->GetRandomCallCount(), 300u);
        EXPECT_LE(pPbx->GetRandomCallCount(), 420u);
        EXPECT_LT(pPbx->GetSkippedCallCount(), pPbx->GetRandomCallCount() / 2);
        // Switching traffic off lets the calls in progress finish.
        pPbx->SetTraffic(CSimTraffic{});
        RunFor(*pPbx, 120000);
        EXPECT_TRUE(pPbx->GetAllCalls().empty());
        if (pEvents != nullptr) {
            *pEvents = events;
        }
        return Trace(*pPbx, events);
    };
    std::vector<CSimEvent> events;
    const std::string strFirst = hour(7, 100, &events);
    EXPECT_EQ(hour(7, 100), strFirst);
    EXPECT_NE(hour(8, 100), strFirst);
    // A clock that comes late catches up: one step over the whole hour gives
    // the same calls at the same times as steps of a tenth of a second.
    EXPECT_EQ(hour(7, 0), strFirst);

    // Every appearance starts with NewCall, ends with idle, has nothing after
    // that, and no line ever carries two calls at once.
    std::map<DWORD, int> lifecycle;   // 1 = alive, 2 = ended
    std::map<DWORD, DWORD> busyLine;  // line -> appearance
    std::set<ECallState> states;
    for (const CSimEvent& e : events) {
        if (e.m_eKind == EEventKind::NewCall) {
            ASSERT_EQ(lifecycle.count(e.m_call.m_dwId), 0u);
            ASSERT_EQ(busyLine.count(e.m_dwLine), 0u) << "two calls on line " << e.m_dwLine << " at " << e.m_tAt;
            lifecycle[e.m_call.m_dwId] = 1;
            busyLine[e.m_dwLine] = e.m_call.m_dwId;
        } else if (e.m_eKind == EEventKind::CallState || e.m_eKind == EEventKind::CallInfo) {
            ASSERT_EQ(lifecycle[e.m_call.m_dwId], 1) << "event after idle at " << e.m_tAt;
            states.insert(e.m_call.m_eState);
            if (e.m_eKind == EEventKind::CallState && e.m_call.m_eState == ECallState::Idle) {
                lifecycle[e.m_call.m_dwId] = 2;
                busyLine.erase(e.m_dwLine);
            }
        }
    }
    // The mix produced every state a call can pass through.
    EXPECT_EQ(states.size(), 10u);
    EXPECT_EQ(states.count(ECallState::OnHold), 0u);
}

// Texts in the provider's parts stand where each group reads them, with
// offsets from the start of the structure the part goes into.
TEST(SimLayouts, PartsPlaceTheirTextsWhereEachGroupReadsThem) {
    auto dwords = [](const std::vector<BYTE>& part, std::size_t nCount) {
        std::vector<DWORD> values;
        for (std::size_t i = 0; i < nCount; ++i) {
            values.push_back(GetDword(part, 4 * i));
        }
        return values;
    };
    CSimAppearance call;
    call.m_dwCallID = 0x1234;
    call.m_dwTrunk = 3;
    call.m_strDid = "0312";
    std::vector<BYTE> part = BuildCallPart(call, 400);
    ASSERT_EQ(part.size(), 65u);
    EXPECT_EQ(dwords(part, 15), (std::vector<DWORD>{1, 0x1234, 3, 4, 460, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::memcmp(part.data() + 60, "0312", 5), 0);
    call.m_strDid.clear();  // no digits: still the full part, with length 0
    EXPECT_EQ(dwords(BuildCallPart(call, 324), 5), (std::vector<DWORD>{1, 0x1234, 3, 0, 384}));
    EXPECT_EQ(BuildCallPart(call, 324).size(), 61u);

    struct {
        ELineKind eKind;
        const char* pszName;
        std::size_t nSize;
        std::vector<DWORD> fixed;  // the part at 64 in its structure
        int nNameAt;               // where the display name's length stands among them
    } const cases[] = {
        {ELineKind::Ext, "Reception", 66, {1, 3, 116, 0, 0, 0, 0, 9, 120, 0, 0, 0, 0}, 7},
        {ELineKind::Co, "City Line 1", 20, {11, 72}, 0},
        {ELineKind::Etc, "Voice Mail", 47, {1, 3, 96, 0, 0, 0, 10, 100}, 6},
        {ELineKind::Co, "", 9, {0, 72}, 0},  // an empty name: length 0, pointing at a NUL
        {ELineKind::Other, "Fax", 0, {}, -1},
    };
    for (const auto& c : cases) {
        CSimLineConfig line;
        line.m_eKind = c.eKind;
        line.m_strNumber = "201";
        line.m_strName = c.pszName;
        part = BuildAddressPart(line, 64);
        ASSERT_EQ(part.size(), c.nSize) << c.pszName;
        EXPECT_EQ(dwords(part, c.fixed.size()), c.fixed) << c.pszName;
        if (c.nNameAt >= 0) {
            const std::size_t nAt = c.fixed[c.nNameAt + 1] - 64;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(part.data()) + nAt), c.pszName);
            EXPECT_EQ(nAt + c.fixed[c.nNameAt] + 1, part.size());
        }
    }

    std::vector<BYTE> bytes(6, 0xAA);
    PutDword(bytes, 3, 0x11223344);  // would end at 7: ignored
    EXPECT_EQ(bytes, std::vector<BYTE>(6, 0xAA));
    PutDword(bytes, 2, 0x11223344);
    EXPECT_EQ(GetDword(bytes, 2), 0x11223344u);
    EXPECT_EQ(bytes[2], 0x44);
    EXPECT_EQ(GetDword(bytes, 3), 0u);
}
