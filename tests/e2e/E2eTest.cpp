// The real Linoscope3.exe against the simulated PBX, checked from outside:
// what its trees show, what its dialogs say, what it writes to testlog.csv
// and what the PBX saw it do (the simulator's journal). What a scenario must
// show at each point stands in <scenario>.expected beside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "ProgramRun.h"

using namespace e2e;

namespace {

constexpr int ID_APP_EXIT = 0xE141;
constexpr int ID_MAKECALL = 32771;
constexpr int ID_LINE_INFORMATION = 32774;
constexpr int ID_CALL_INFORMATION = 32775;
constexpr int IDC_DIAL_NUMBER = 1000;
constexpr int IDC_INFO_TEXT = 1001;
using Texts = std::vector<std::string>;

// An expected line matches when it is the same text, {time} standing for a time stamp.
bool LineMatches(const std::string& strActual, const std::string& strExpected) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string strPattern = std::regex_replace(strExpected, special, R"(\$&)");
    for (size_t pos; (pos = strPattern.find(R"(\{time\})")) != std::string::npos;)
        strPattern.replace(pos, 8, R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3})");
    return std::regex_match(strActual, std::regex(strPattern));
}

std::string Join(const Texts& lines) {
    std::string str;
    for (const std::string& line : lines) str += "    " + line + "\n";
    return str;
}

// Every line as expected, in order, nothing more.
::testing::AssertionResult LinesMatch(const Texts& actual, const Texts& expected) {
    bool bSame = actual.size() == expected.size() && !expected.empty();
    for (size_t i = 0; bSame && i < actual.size(); ++i) bSame = LineMatches(actual[i], expected[i]);
    if (bSame) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n" << Join(expected) << "actual:\n" << Join(actual);
}

// A tree as lines: two blanks of indent per level, "  [call]" after an item
// that carries item data (only call items do).
void AddLines(const CTreeNode& node, int nDepth, Texts* pLines) {
    pLines->push_back(std::string(static_cast<size_t>(nDepth) * 2, ' ') + node.m_strText +
                      (node.m_lParam != 0 ? "  [call]" : ""));
    for (const CTreeNode& child : node.m_children) AddLines(child, nDepth + 1, pLines);
}

Texts TreeLines(const CRemoteTree& tree) {
    Texts lines;
    for (const CTreeNode& node : tree.ReadAll()) AddLines(node, 0, &lines);
    return lines;
}

// The sections of <scenario>.expected: "== name" and the lines under it.
std::map<std::string, Texts> Expected(const std::string& strScenario) {
    std::ifstream file(ScenarioPath(strScenario + ".expected"), std::ios::binary);
    std::map<std::string, Texts> sections;
    Texts* pSection = nullptr;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("== ", 0) == 0)
            pSection = &sections[line.substr(3)];
        else if (pSection != nullptr)
            pSection->push_back(line);
    }
    return sections;
}

// The trees at a point of the scenario: each of "<point> co", "<point> ext"
// and "<point> etc" the expected file has.
void ExpectTrees(const CProgramRun& run, const std::map<std::string, Texts>& expected, const std::string& strPoint) {
    int nChecked = 0;
    for (const auto& [pszTree, tree] :
         {std::pair{"co", run.CoTree()}, {"ext", run.ExtTree()}, {"etc", run.EtcTree()}}) {
        const auto it = expected.find(strPoint + " " + pszTree);
        if (it == expected.end()) continue;
        ++nChecked;
        EXPECT_TRUE(LinesMatch(TreeLines(tree), it->second)) << strPoint << " " << pszTree;
    }
    EXPECT_GT(nChecked, 0) << "nothing expected at " << strPoint;
}

const CTreeNode* FindLine(const std::vector<CTreeNode>& roots, const std::string& strLabel) {
    return roots.empty() ? nullptr : roots[0].FindChild(strLabel);
}

// Selects the item by a click in its tree (which also makes that view the
// active one), sends the command to the main window as a menu does, and
// returns the lines of the Information dialog it opens, closing it again.
Texts InformationLines(CProgramRun& run, const CRemoteTree& tree, HTREEITEM hItem, int nCommand,
                       const std::string& strShot) {
    if (!tree.ClickItem(hItem) || !run.Sync() || tree.GetSelected() != hItem) return {"<item not selected>"};
    PostMessageA(run.GetFrame(), WM_COMMAND, static_cast<WPARAM>(nCommand), 0);
    HWND hDlg = run.WaitForDialog("Information");
    if (hDlg == nullptr) return {"<no Information dialog>"};
    const std::string strText = WindowText(GetDlgItem(hDlg, IDC_INFO_TEXT));
    if (!strShot.empty()) run.Screenshot(strShot);
    PressButton(hDlg, IDOK);
    if (!WaitUntil([&] { return !IsWindow(hDlg); }, 30000)) return {"<Information dialog did not close>"};
    Texts lines;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = strText.find('\n', start);
        lines.push_back(strText.substr(start, end == std::string::npos ? end : end - start));
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    }
    return lines;
}

// A report's section headings ("<<" lines) are exactly these, in order, and
// each of the other lines is one of its lines.
void ExpectReport(const Texts& report, const Texts& headings, const Texts& lines) {
    Texts found;
    std::copy_if(report.begin(), report.end(), std::back_inserter(found),
                 [](auto& s) { return s.rfind("<<", 0) == 0; });
    EXPECT_EQ(found, headings) << Join(report);
    for (const std::string& line : lines)
        EXPECT_NE(std::find(report.begin(), report.end(), line), report.end()) << line << " is missing from:\n"
                                                                               << Join(report);
}

// What the journal says about the lines: opened and closed line handles,
// and whether TAPI was shut down with nothing left open.
struct CJournalSummary {
    int m_nInitialized = 0;
    Texts m_opened, m_closed;
    int m_nShutdownsClean = 0;
    std::string m_strLast;
};

CJournalSummary Summarize(const Texts& journal) {
    static const std::regex init(R"(^lineInitializeExA .* -> 0 hLineApp=.*)");
    static const std::regex open(R"(^lineOpenA .* -> 0 hLine=(0x[0-9A-F]+)$)");
    static const std::regex close(R"(^lineClose hLine=(0x[0-9A-F]+) .* -> 0$)");
    static const std::regex shutdown(R"(^lineShutdown hLineApp=0x[0-9A-F]+ -> 0 linesStillOpen=0$)");
    CJournalSummary summary;
    std::smatch match;
    for (const std::string& line : journal) {
        if (std::regex_match(line, init)) ++summary.m_nInitialized;
        if (std::regex_match(line, match, open)) summary.m_opened.push_back(match[1]);
        if (std::regex_match(line, match, close)) summary.m_closed.push_back(match[1]);
        if (std::regex_match(line, shutdown)) ++summary.m_nShutdownsClean;
        // The PBX's own notes (callOffered, callEnded, callEndUndelivered) come
        // as its calls please; the last call the program made is wanted.
        if (line.rfind("call", 0) != 0) summary.m_strLast = line;
    }
    return summary;
}

// One TAPI session that opened nLines lines, closed every one of them and
// ended with a clean lineShutdown as the last thing the program did.
void ExpectCleanEnd(const Texts& journalLines, size_t nLines) {
    const CJournalSummary journal = Summarize(journalLines);
    EXPECT_EQ(journal.m_nInitialized, 1);
    EXPECT_EQ(journal.m_opened.size(), nLines);
    EXPECT_EQ(std::set(journal.m_closed.begin(), journal.m_closed.end()),
              std::set(journal.m_opened.begin(), journal.m_opened.end()));
    EXPECT_EQ(journal.m_nShutdownsClean, 1);
    EXPECT_EQ(journal.m_strLast, "lineShutdown hLineApp=0x00010001 -> 0 linesStillOpen=0");
}

}  // namespace

// An inbound call over a trunk, an internal call and an outbound call, held
// up together: the trees, both information texts, the event log, and a close
// of the window that leaves no line open.
TEST(EndToEnd, CallsOfEveryKindInTheTreesTheReportsAndTheLog) {
    const auto expected = Expected("calls");
    CProgramRun run("calls", "calls.json");
    std::string strError;
    ASSERT_TRUE(run.Start(&strError)) << strError;
    ExpectTrees(run, expected, "start");
    ASSERT_TRUE(run.Advance(14000));
    run.Screenshot("calls-up");
    ExpectTrees(run, expected, "up");

    // Line Information and Call Information of the extension with the inbound call.
    CRemoteTree ext = run.ExtTree();
    const std::vector<CTreeNode> extRoots = ext.ReadAll();
    const CTreeNode* pManager = FindLine(extRoots, "203 Manager");
    ASSERT_TRUE(pManager != nullptr && pManager->m_children.size() == 1);
    ExpectReport(
        InformationLines(run, ext, pManager->m_hItem, ID_LINE_INFORMATION, "calls-line-information"),
        {"<< LINEDEVCAPS >>", "<< LINEDEVSTATUS >>", "<< LINEADDRESSCAPS >>", "<< LINEADDRESSSTATUS >>"},
        {"    ProviderInfo = \"Talvora ZR-40N\" ", "    dwPermanentLineID = 0x00003003 ", "    LineName = \"Ext 203\" ",
         "    dwNumActiveCalls = 0x00000001 ", "        FriendlyName = \"Linoscope3\" ", "    Address = \"203\" "});
    ExpectReport(
        InformationLines(run, ext, pManager->m_children[0].m_hItem, ID_CALL_INFORMATION, "calls-call-information"),
        {"<< LINECALLINFO >>", "<< LINECALLSTATUS >>"},
        {"    dwOrigin = 0x00000084 EXTERNAL,INBOUND", "    dwTrunk = 0x00000001 ", "    CallerID = \"0301234567\" ",
         "    CallerIDName = \"Customer\" ", "    CalledID = \"203\" ", "    dwCallState = 0x00000100 CONNECTED",
         "    dwCallPrivilege = 0x00000002 MONITOR"});

    ASSERT_TRUE(run.Advance(16000));
    ExpectTrees(run, expected, "down");
    EXPECT_TRUE(LinesMatch(run.LogLines(), expected.at("log")));
    run.Close();
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForExit(60000, &dwExitCode)) << "the program did not end after WM_CLOSE";
    EXPECT_EQ(dwExitCode, 0u);
    ExpectCleanEnd(run.JournalLines(), 8);
}

// A blind transfer of an inbound call, a line going out of service while it
// has a call, and REINIT: answered Yes, monitoring starts again and the next
// call is seen as before; answered No, the program ends, having closed every
// line it opened and shut TAPI down before it asked (the call that was up
// when TAPI went away is not logged as ending: the monitor was gone by then).
TEST(EndToEnd, TransferOutageAndReinitAnsweredYesOrNo) {
    for (const bool bYes : {true, false}) {
        const std::string strScenario = bYes ? "transfer-outage-reinit" : "reinit-no";
        SCOPED_TRACE(strScenario);
        const auto expected = Expected(strScenario);
        CProgramRun run(strScenario, strScenario + ".json");
        std::string strError;
        ASSERT_TRUE(run.Start(&strError)) << strError;
        if (bYes) {
            // The transfer has gone through: the call is at Sales, Reception is
            // free. 204 calls 203; then 204 goes out of service: its call goes
            // from the tree at once, the far end sees its own call end.
            ASSERT_TRUE(run.Advance(10000));
            ExpectTrees(run, expected, "transfer");
            run.Screenshot("transfer");
            ASSERT_TRUE(run.Advance(9000));
            ExpectTrees(run, expected, "busy");
            ASSERT_TRUE(run.Advance(1000));
            ExpectTrees(run, expected, "out-of-service");
            run.Screenshot("out-of-service");
        }
        ASSERT_TRUE(run.Advance(bYes ? 10000 : 5000));
        HWND hBox = run.WaitForDialog("Linoscope3");
        ASSERT_NE(hBox, nullptr) << run.DescribeWindows();
        EXPECT_EQ(WindowText(GetDlgItem(hBox, 0xFFFF)), "TAPI Reinit.\nRetry?");
        if (bYes) run.Screenshot("reinit-question");
        PressButton(hBox, bYes ? IDYES : IDNO);
        if (bYes) {
            ASSERT_TRUE(WaitUntil([&] { return Summarize(run.JournalLines()).m_nInitialized == 2; }, 60000))
                << "no second start of TAPI";
            ASSERT_TRUE(run.Sync());
            ExpectTrees(run, expected, "restarted");
            ASSERT_TRUE(run.Advance(10000));  // the call after the restart is monitored
            const CJournalSummary journal = Summarize(run.JournalLines());
            EXPECT_EQ(journal.m_opened.size(), 12u);
            EXPECT_EQ(journal.m_closed.size(), 6u);
            EXPECT_EQ(journal.m_nShutdownsClean, 1);
        } else {
            DWORD dwExitCode = 1;
            ASSERT_TRUE(run.WaitForExit(60000, &dwExitCode)) << "the program did not end after No";
            EXPECT_EQ(dwExitCode, 0u);
            ExpectCleanEnd(run.JournalLines(), 4);
        }
        EXPECT_TRUE(LinesMatch(run.LogLines(), expected.at("log")));
    }
}

// ID_MAKECALL as a command to the main window with an extension selected:
// the DIAL dialog, centred over the frame, takes at most 40 characters, and
// the number typed into it becomes a call of the program's own, first NEW,
// then its states; Cancel makes no call.
TEST(EndToEnd, MakeCallThroughTheDialDialog) {
    const auto expected = Expected("makecall");
    CProgramRun run("makecall", "makecall.json");
    std::string strError;
    ASSERT_TRUE(run.Start(&strError)) << strError;
    CRemoteTree ext = run.ExtTree();
    std::vector<CTreeNode> roots = ext.ReadAll();
    const CTreeNode* pReception = FindLine(roots, "201 Reception");
    ASSERT_NE(pReception, nullptr);
    ASSERT_TRUE(ext.ClickItem(pReception->m_hItem));
    ASSERT_TRUE(run.Sync());
    ASSERT_EQ(ext.GetSelected(), pReception->m_hItem);

    const auto countMakeCalls = [&] {
        const Texts journal = run.JournalLines();
        return std::count_if(journal.begin(), journal.end(), [](auto& s) { return s.rfind("lineMakeCallA ", 0) == 0; });
    };
    for (const bool bCancel : {true, false}) {
        PostMessageA(run.GetFrame(), WM_COMMAND, ID_MAKECALL, 0);
        HWND hDial = run.WaitForDialog("DIAL");
        ASSERT_NE(hDial, nullptr) << run.DescribeWindows();
        EXPECT_EQ(WindowText(GetWindow(hDial, GW_CHILD)), "Dial No.");
        RECT rcDial{}, rcFrame{};
        GetWindowRect(hDial, &rcDial);
        GetWindowRect(run.GetFrame(), &rcFrame);
        EXPECT_NEAR(rcDial.left + rcDial.right, rcFrame.left + rcFrame.right, 4);
        EXPECT_NEAR(rcDial.top + rcDial.bottom, rcFrame.top + rcFrame.bottom, 4);
        HWND hNumber = GetDlgItem(hDial, IDC_DIAL_NUMBER);
        TypeText(hNumber, std::string(45, '9'));
        ASSERT_TRUE(WaitUntil([&] { return WindowText(hNumber).size() >= 40; }, 30000));
        Sleep(500);
        EXPECT_EQ(WindowText(hNumber), std::string(40, '9'));
        if (!bCancel) {
            PostMessageA(hNumber, EM_SETSEL, 0, -1);
            TypeText(hNumber, "202");
            ASSERT_TRUE(WaitUntil([&] { return WindowText(hNumber) == "202"; }, 30000)) << WindowText(hNumber);
            run.Screenshot("makecall-dial");
        }
        PressButton(hDial, bCancel ? IDCANCEL : IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(hDial); }, 30000));
        ASSERT_TRUE(run.Sync());
        EXPECT_EQ(countMakeCalls(), bCancel ? 0 : 1);
    }

    // The PBX handed the call's handle back with LINE_REPLY; the node under
    // the line carries it. The first state comes with the reply, so the node
    // reads its state at once; its details were built when it was still NEW,
    // before the first state was logged.
    const CJournalSummary journal = Summarize(run.JournalLines());
    std::smatch match;
    static const std::regex makeCall(R"(^lineMakeCallA hLine=0x00020001 dest="202" -> \d+ hCall=(0x[0-9A-F]+)$)");
    ASSERT_TRUE(std::regex_match(journal.m_strLast, match, makeCall)) << journal.m_strLast;
    roots = ext.ReadAll();
    pReception = FindLine(roots, "201 Reception");
    ASSERT_TRUE(pReception != nullptr && pReception->m_children.size() == 1);
    const CTreeNode& call = pReception->m_children[0];
    EXPECT_EQ(call.m_lParam, static_cast<LPARAM>(std::stoul(match[1].str(), nullptr, 16)));
    EXPECT_EQ(call.m_strText, "DIALTONE - INTERNAL - (OWNER)");
    ASSERT_EQ(call.m_children.size(), 10u);
    const std::string strCreated = call.m_children[0].m_strText.substr(std::string("Create Time        = ").size());
    const Texts log = run.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_LE(strCreated, log[0].substr(0, strCreated.size()));

    ASSERT_TRUE(run.Advance(6000));
    ExpectTrees(run, expected, "connected");
    run.Screenshot("makecall-connected");
    EXPECT_TRUE(LinesMatch(run.LogLines(), expected.at("log")));
}

// A TAPI32.DLL somebody dropped beside the program never runs inside it: the
// program takes the system's TAPI (under the tests' Wine setting, which would
// hand out a TAPI32.DLL beside a program, the system's cannot be loaded, so
// start-up fails and asks to retry). The same file runs when the variable
// chooses it by its full path.
TEST(EndToEnd, ATapi32DllBesideTheProgramRunsOnlyWhenChosen) {
    {
        CProgramRun run("planted", "calls.json", ESimulator::Planted);
        std::string strError;
        ASSERT_TRUE(run.Launch(&strError)) << strError;
        // Either the retry question (no usable TAPI) or the main window (a
        // system TAPI without the simulated PBX's lines).
        HWND hQuestion = nullptr;
        std::vector<HWND> windows;
        ASSERT_TRUE(WaitUntil(
            [&] {
                windows = TopLevelWindows(run.GetProcessId(), "Linoscope3");
                hQuestion = nullptr;
                for (HWND hWnd : windows) {
                    char szClass[16] = "";
                    GetClassNameA(hWnd, szClass, sizeof szClass);
                    if (lstrcmpA(szClass, "#32770") == 0) hQuestion = hWnd;
                }
                return !windows.empty() || run.HasExited();
            },
            60000))
            << run.DescribeWindows();
        Sleep(1000);
        EXPECT_FALSE(run.HasLoadedSimulator()) << run.GetSimulatorPath();
        EXPECT_TRUE(run.JournalLines().empty()) << Join(run.JournalLines());
        if (hQuestion != nullptr) {
            EXPECT_EQ(WindowText(GetDlgItem(hQuestion, 0xFFFF)), "Tapi Initizlize Error.\nRetry?");
            PressButton(hQuestion, IDNO);
        } else {
            for (HWND hWnd : windows) PostMessageA(hWnd, WM_CLOSE, 0, 0);
        }
        EXPECT_TRUE(run.WaitForExit(60000)) << run.DescribeWindows();
        EXPECT_TRUE(run.JournalLines().empty()) << Join(run.JournalLines());
    }
    CProgramRun run("planted-chosen", "calls.json", ESimulator::PlantedAndChosen);
    std::string strError;
    ASSERT_TRUE(run.Start(&strError)) << strError;
    run.Close();
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForExit(60000, &dwExitCode));
    EXPECT_EQ(dwExitCode, 0u);
    const CJournalSummary journal = Summarize(run.JournalLines());
    EXPECT_EQ(journal.m_nInitialized, 1);
    EXPECT_EQ(journal.m_nShutdownsClean, 1);
}

// A busy PBX on its own clock: 350 lines, 600 calls a minute, the program
// never idle. File > Exit, closing the window and logging off each end it
// within seconds, with every line it opened closed and TAPI shut down.
TEST(EndToEnd, EndsPromptlyOnABusyPbx) {
    constexpr DWORD kTrafficMs = 10000;
    constexpr DWORD kCloseLimitMs = 5000;
    struct {
        const char* pszName;
        UINT uMsg;
        WPARAM wParam;
    } const closes[] = {
        {"busy-exit", WM_COMMAND, ID_APP_EXIT}, {"busy-close", WM_CLOSE, 0}, {"busy-logoff", WM_QUERYENDSESSION, 0}};
    for (const auto& close : closes) {
        SCOPED_TRACE(close.pszName);
        CProgramRun run(close.pszName, "busy-pbx.json");
        std::string strError;
        ASSERT_TRUE(run.Start(&strError, true)) << strError;
        Sleep(kTrafficMs);
        ASSERT_FALSE(run.HasExited());
        const ULONGLONG qwAsked = GetTickCount64();
        if (close.uMsg == WM_QUERYENDSESSION) {
            // Windows sends these, and may end the process once the second returns.
            DWORD_PTR dwAnswer = 0;
            ASSERT_TRUE(SendMessageTimeoutA(run.GetFrame(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &dwAnswer));
            EXPECT_EQ(dwAnswer, TRUE);
            SendMessageTimeoutA(run.GetFrame(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &dwAnswer);
        } else {
            ASSERT_TRUE(PostMessageA(run.GetFrame(), close.uMsg, close.wParam, 0));
        }
        const bool bEnded = run.WaitForExit(60000);
        const ULONGLONG qwTaken = GetTickCount64() - qwAsked;
        // For the record: how much of the traffic the program saw end.
        size_t nIdle = 0, nDeallocated = 0;
        for (const std::string& line : run.LogLines()) nIdle += line.find(",LINE_CALLSTATE,IDLE") != std::string::npos;
        const std::vector<std::string> journalLines = run.JournalLines();
        for (const std::string& line : journalLines) nDeallocated += line.rfind("lineDeallocateCall", 0) == 0;
        std::printf("[ %s ] %s after %llu ms; %zu IDLE records, %zu calls deallocated\n", close.pszName,
                    bEnded ? "ended" : "still running", static_cast<unsigned long long>(qwTaken), nIdle, nDeallocated);
        ASSERT_TRUE(bEnded) << "the program did not end within a minute";
        EXPECT_LE(qwTaken, kCloseLimitMs);

        ExpectCleanEnd(journalLines, 350);
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!EnterTestDesktop()) {
        std::fprintf(stderr, "cannot make the tests' desktop\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
