#include <gtest/gtest.h>

#include <map>
#include <set>

#include "model/SimClock.h"
#include "model/SimLayouts.h"
#include "model/SimScenario.h"
#include "sim/SimTestData.h"

using namespace sim;

namespace {

// pbx-office.json: extensions 201..203 (203 reached by the DID digits 0312), trunks 801 and 802.
CSimScenario Office(std::uint64_t qwSeed = 1) {
    CSimScenario office;
    std::string strError;
    EXPECT_TRUE(LoadScenarioFile(SIM_TEST_DATA "/pbx-office.json", &office, &strError)) << strError;
    office.m_qwSeed = qwSeed;
    return office;
}

// Moves the clock by tFor in steps of tStep (0: one step), collecting the events.
void RunFor(CSimPbx& pbx, SimTime tFor, std::vector<CSimEvent>* pEvents, SimTime tStep = 0) {
    for (SimTime t = 0; t < tFor; t += tStep == 0 ? tFor : tStep) {
        pbx.Advance(tStep == 0 ? tFor : tStep);
        std::vector<CSimEvent> events = pbx.TakeEvents();
        pEvents->insert(pEvents->end(), events.begin(), events.end());
    }
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
            for (int i = 0; i < 6; ++i) str += (e.m_dwInfo & (1u << i)) != 0 ? std::string(" +") + kInfos[i] : "";
        } else if (e.m_eKind != EEventKind::NewCall) {
            str += e.m_eKind == EEventKind::Reinit           ? " reinit"
                   : e.m_eLineState == ELineState::InService ? " in"
                                                             : " out";
        }
        if (e.m_eKind == EEventKind::NewCall) {
            str += " new";
        } else {
            str += '@';
            str += std::to_string(e.m_tAt);
        }
        if (e.m_eKind != EEventKind::LineState && e.m_eKind != EEventKind::Reinit) last[dwLine] = e.m_call;
    }
    std::ostringstream out;
    for (const auto& [dwLine, str] : seen) {
        out << (dwLine < pbx.GetLineCount() ? pbx.GetLine(dwLine).m_strNumber : "pbx") << ":" << str;
        if (last.count(dwLine) != 0) {
            const CSimAppearance& a = last[dwLine];
            out << std::hex << std::uppercase << " | " << a.m_dwCallID << ">" << a.m_dwRelatedCallID << " o"
                << a.m_dwOrigin << std::dec << " " << kReasons[static_cast<int>(a.m_eReason)]
                << (a.m_dwTrunk == kNoTrunk ? "" : " t" + std::to_string(a.m_dwTrunk))
                << (a.m_strDid.empty() ? "" : " did") << a.m_strDid << " " << Party(a.m_caller) << ">"
                << Party(a.m_called) << "=" << Party(a.m_connected);
            if (!a.m_redirecting.IsEmpty()) out << " " << Party(a.m_redirecting) << "~" << Party(a.m_redirection);
        }
        out << "\n";
    }
    return out.str();
}

}  // namespace

// flows.txt: "run" and the milliseconds to run the office for, its timeline, and steps
// taken on the way ("at <ms>" make, answer or drop on a line, or an injected event);
// then what each step returned, Trace and the calls still up. A line that does not
// exist stands for a call that does not exist.
TEST(SimPbx, CallsGoThroughTheirStatesOnEveryLineTheyAppearOn) {
    static const char* const kResults[] = {"ok",       "bad line",  "out of service", "line busy",
                                           "bad call", "bad state", "bad address"};
    ExpectDataFile("flows.txt", [](const std::string& strInput) {
        std::istringstream in(strInput);
        std::string strLine, strOut, strError;
        SimTime tFor = 0, tNow = 0;
        CSimScenario office = Office();
        CSimAction action;
        std::unique_ptr<CSimPbx> pPbx;
        std::vector<CSimEvent> events;
        std::map<std::string, DWORD> lastCall;  // per line, the call a step last used
        while (std::getline(in, strLine)) {
            if (strLine.rfind("run ", 0) == 0) {
                tFor = std::stoull(strLine.substr(4));
                continue;
            } else if (strLine.rfind("at ", 0) != 0) {
                EXPECT_TRUE(ParseAction(strLine, office.m_lines, &action, &strError)) << strError;
                office.m_timeline.push_back(action);
                continue;
            }
            if (!pPbx) pPbx = BuildPbx(office);
            std::istringstream step(strLine.substr(3));
            SimTime tAt = 0;
            std::string strVerb, strNumber, strArg;
            step >> tAt >> strVerb >> std::ws;
            RunFor(*pPbx, tAt - tNow, &events);
            tNow = tAt;
            if (strVerb == "event" && std::getline(step, strArg)) {
                bool bOk = ParseAction(strArg, office.m_lines, &action, &strArg) && pPbx->RunAction(action, &strArg);
                strOut += strLine + ": " + (bOk ? "ok" : strArg) + "\n";
                continue;
            }
            step >> strNumber >> strArg;
            const int nLine = pPbx->FindLine(strNumber);
            const std::vector<const CSimAppearance*> calls = pPbx->GetCalls(nLine < 0 ? 99 : nLine);
            DWORD& dwCall = lastCall[strNumber];
            dwCall = nLine < 0 ? 12345 : calls.empty() ? dwCall : calls[0]->m_dwId;
            ESimResult eResult = strVerb == "make"     ? pPbx->MakeCall(nLine < 0 ? 99 : nLine, strArg, &dwCall)
                                 : strVerb == "answer" ? pPbx->Answer(dwCall)
                                                       : pPbx->Drop(dwCall);
            strOut += strLine + ": " + kResults[static_cast<int>(eResult)] + "\n";
        }
        if (!pPbx) pPbx = BuildPbx(office);
        RunFor(*pPbx, tFor - tNow, &events);
        strOut += Trace(*pPbx, events) + "left:";
        for (const CSimAppearance* pCall : pPbx->GetAllCalls())
            strOut += " " + pPbx->GetLine(pCall->m_dwLine).m_strNumber + " " + CallStateText(pCall->m_eState);
        return strOut;
    });
}

TEST(SimPbx, RandomTrafficIsReproducibleAndKeepsEveryCallConsistent) {
    auto hour = [](std::uint64_t qwSeed, SimTime tStep, std::vector<CSimEvent>* pEvents) {
        pEvents->clear();
        std::unique_ptr<CSimPbx> pPbx = BuildPbx(Office(qwSeed));
        CSimTraffic traffic;
        traffic.m_bEnabled = true;
        traffic.m_tMeanInterval = 10000;  // six calls a minute
        pPbx->SetTraffic(traffic);
        RunFor(*pPbx, 3600000, pEvents, tStep);
        // About 360 calls were attempted; a small office is often full.
        EXPECT_NEAR(pPbx->GetRandomCallCount(), 360, 60);
        EXPECT_LT(pPbx->GetSkippedCallCount(), pPbx->GetRandomCallCount() / 2);
        // Switching traffic off lets the calls in progress finish.
        pPbx->SetTraffic(CSimTraffic{});
        RunFor(*pPbx, 120000, pEvents);
        EXPECT_TRUE(pPbx->GetAllCalls().empty());
        return Trace(*pPbx, *pEvents);
    };
    std::vector<CSimEvent> events;
    const std::string strFirst = hour(7, 100, &events);
    EXPECT_NE(hour(8, 100, &events), strFirst);
    // A clock that comes late catches up: one step over the whole hour gives
    // the same calls at the same times as steps of a tenth of a second.
    EXPECT_EQ(hour(7, 0, &events), strFirst);

    // Every appearance starts with NewCall, ends with idle, has nothing after
    // that, and no line ever carries two calls at once.
    std::map<DWORD, int> lifecycle;   // 1 = alive, 2 = ended
    std::map<DWORD, DWORD> busyLine;  // line -> appearance
    std::set<ECallState> states;
    for (const CSimEvent& e : events) {
        const DWORD dwId = e.m_call.m_dwId;
        if (e.m_eKind == EEventKind::NewCall) {
            ASSERT_TRUE(lifecycle[dwId]++ == 0 && busyLine.emplace(e.m_dwLine, dwId).second) << "at " << e.m_tAt;
        } else if (e.m_eKind == EEventKind::CallState || e.m_eKind == EEventKind::CallInfo) {
            ASSERT_EQ(lifecycle[dwId], 1) << "event after idle at " << e.m_tAt;
            states.insert(e.m_call.m_eState);
            if (e.m_eKind == EEventKind::CallState && e.m_call.m_eState == ECallState::Idle) {
                lifecycle[dwId] = 2;
                busyLine.erase(e.m_dwLine);
            }
        }
    }
    // The mix produced every state a call can pass through.
    EXPECT_EQ(states.size(), 10u);
    EXPECT_EQ(states.count(ECallState::OnHold), 0u);
}

// The provider's parts themselves are checked where TAPI hands them out, in
// the structures of the simulator's sessions.
TEST(SimLayouts, DwordsOutsideTheBytesAreNeitherWrittenNorRead) {
    std::vector<BYTE> bytes(6, 0xAA);
    PutDword(bytes, 3, 0x11223344);  // would end at 7: ignored
    EXPECT_EQ(bytes, std::vector<BYTE>(6, 0xAA));
    PutDword(bytes, 2, 0x11223344);
    EXPECT_EQ(GetDword(bytes, 2), 0x11223344u);
    EXPECT_EQ(bytes[2], 0x44);
    EXPECT_EQ(GetDword(bytes, 3), 0u);
}

TEST(SimClock, LocalTimeRunsPastTheEndOfALeapFebruary) {
    const SYSTEMTIME t = AddMilliseconds(SYSTEMTIME{2024, 2, 0, 28, 23, 59, 59, 900}, 86400000 + 200);
    EXPECT_EQ(
        (std::vector<WORD>{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds}),
        (std::vector<WORD>{2024, 3, 5, 1, 0, 0, 0, 100}));  // Friday 1 March
}
