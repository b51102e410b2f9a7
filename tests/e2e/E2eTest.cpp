// The real Linoscope3.exe against the simulated PBX, checked from outside:
// what its trees show, what its dialogs say, what it writes to testlog.csv
// and what the PBX saw it do (the simulator's journal). What a scenario must
// show at each point stands in <scenario>.expected beside it. On the way the
// suite takes one picture of each feature (named by the feature).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>

#include "ProgramRun.h"
#include "views/win/resource.h"

using namespace e2e;

namespace {

std::string Join(const Texts& lines) {
    std::string str;
    for (const std::string& line : lines) str += "    " + line + "\n";
    return str;
}

// Every line as expected, in order, nothing more; {time} in an expected line
// stands for a time stamp.
::testing::AssertionResult LinesMatch(const Texts& actual, const Texts& expected) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    bool bSame = actual.size() == expected.size() && !expected.empty();
    for (size_t i = 0; bSame && i < actual.size(); ++i) {
        std::string strPattern = std::regex_replace(expected[i], special, R"(\$&)");
        for (size_t pos; (pos = strPattern.find(R"(\{time\})")) != std::string::npos;)
            strPattern.replace(pos, 8, R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3})");
        bSame = std::regex_match(actual[i], std::regex(strPattern));
    }
    if (bSame) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n" << Join(expected) << "actual:\n" << Join(actual);
}

void ExpectExit(CProgramRun& run, const char* pszAfter) {
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForExit(60000, &dwExitCode)) << "the program did not end after " << pszAfter;
    EXPECT_EQ(dwExitCode, 0u);
}

// A dialog the command opens, once it shows.
HWND OpenDialog(CProgramRun& run, UINT nCommand, const char* pszTitle) {
    run.Command(nCommand);
    HWND hDlg = run.WaitForDialog(pszTitle);
    EXPECT_NE(hDlg, nullptr) << pszTitle << ": " << run.DescribeWindows();
    return hDlg;
}

bool CloseDialog(HWND hDlg, int nButton) {
    PressButton(hDlg, nButton);
    return WaitUntil([&] { return !IsWindow(hDlg); });
}

class EndToEnd : public ::testing::Test {
protected:
    // The sections of <scenario>.expected: "== name" and the lines under it.
    void Load(const std::string& strScenario) {
        m_expected.clear();
        std::ifstream file(ScenarioPath(strScenario + ".expected"), std::ios::binary);
        Texts* pSection = nullptr;
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("== ", 0) == 0)
                pSection = &m_expected[line.substr(3)];
            else if (pSection != nullptr)
                pSection->push_back(line);
        }
    }
    const Texts& Section(const std::string& strName) {
        static const Texts none;
        const auto it = m_expected.find(strName);
        EXPECT_NE(it, m_expected.end()) << "no section " << strName;
        return it == m_expected.end() ? none : it->second;
    }
    // Each of "<point> co", "<point> ext" and "<point> etc" that the file
    // has. The views bring changes to the controls at their own pace: each
    // tree is read until it matches or a few seconds have gone.
    void ExpectTrees(const CProgramRun& run, const std::string& strPoint) {
        int nChecked = 0;
        for (const auto& [pszTree, eTree] : {std::pair{"co", kCo}, {"ext", kExt}, {"etc", kEtc}}) {
            const auto it = m_expected.find(strPoint + " " + pszTree);
            if (it == m_expected.end()) continue;
            ++nChecked;
            Texts lines;
            WaitUntil([&] { return LinesMatch(lines = run.TreeLines(eTree), it->second); }, 5000);
            EXPECT_TRUE(LinesMatch(lines, it->second)) << strPoint << " " << pszTree;
        }
        EXPECT_GT(nChecked, 0) << "nothing expected at " << strPoint;
    }
    // The Information dialog the command opens for the item: its headings
    // ("<<" lines) exactly those of the section, in order, and each other
    // line of the section one of its lines. It closes again with OK.
    void ExpectInformation(CProgramRun& run, HTREEITEM hItem, UINT nCommand, const std::string& strSection,
                           bool bShot = false) {
        SCOPED_TRACE(strSection);
        ASSERT_TRUE(run.Select(kExt, hItem)) << run.Fault();
        HWND hDlg = OpenDialog(run, nCommand, "Information");
        ASSERT_NE(hDlg, nullptr);
        Texts report, headings, wanted, found;
        const std::string strText = WindowText(GetDlgItem(hDlg, IDC_INFO_TEXT));
        for (size_t start = 0, end = 0; end != std::string::npos; start = end + 2) {
            end = strText.find("\r\n", start);
            report.push_back(strText.substr(start, end == std::string::npos ? end : end - start));
            if (report.back().rfind("<<", 0) == 0) found.push_back(report.back());
        }
        for (const std::string& line : Section(strSection))
            (line.rfind("<<", 0) == 0 ? headings : wanted).push_back(line);
        EXPECT_EQ(found, headings) << Join(report);
        for (const std::string& line : wanted)
            EXPECT_NE(std::find(report.begin(), report.end(), line), report.end()) << line << " missing from:\n"
                                                                                   << Join(report);
        if (bShot) {
            // Larger, as a technician reading it makes it; the text follows.
            SetWindowPos(hDlg, nullptr, 40, 40, 1000, 700, SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
            run.Screenshot("information-dialog");
        }
        ASSERT_TRUE(CloseDialog(hDlg, IDOK));
    }

    std::map<std::string, Texts> m_expected;
};

}  // namespace

// An inbound call over a trunk, an internal call and an outbound call, held
// up together: the trees, both information texts, Find, About; the event
// log, written late while another program held it; and a close of the
// window that leaves no line open.
TEST_F(EndToEnd, CallsOfEveryKindInTheTreesTheReportsAndTheLog) {
    Load("calls");
    CProgramRun run("calls", "calls.json");
    ASSERT_TRUE(run.Start()) << run.Fault();
    ExpectTrees(run, "start");
    ASSERT_TRUE(run.Advance(14000)) << run.Fault();
    ExpectTrees(run, "up");
    run.Screenshot("trees-with-calls");

    const std::vector<CTreeNode> ext = run.ReadTree(kExt);
    const CTreeNode* pManager = CProgramRun::FindLine(ext, "203 Manager");
    const CTreeNode* pReception = CProgramRun::FindLine(ext, "201 Reception");
    ASSERT_TRUE(pManager != nullptr && pManager->m_children.size() == 1 && pReception != nullptr);
    ExpectInformation(run, pManager->m_hItem, ID_LINE_INFORMATION, "line information", true);
    ExpectInformation(run, pManager->m_children[0].m_hItem, ID_CALL_INFORMATION, "call information");

    // Find, from another line: the manager's line by part of its name.
    ASSERT_TRUE(run.Select(kExt, pReception->m_hItem)) << run.Fault();
    HWND hFind = OpenDialog(run, ID_EDIT_FIND, "Find Line");
    ASSERT_NE(hFind, nullptr);
    TypeText(GetDlgItem(hFind, IDC_FIND_TEXT), "mANAGER");
    ASSERT_TRUE(WaitUntil([&] { return WindowText(GetDlgItem(hFind, IDC_FIND_TEXT)) == "mANAGER"; }));
    run.Screenshot("find-dialog");
    ASSERT_TRUE(CloseDialog(hFind, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return run.Sync() && run.Selected(kExt) == pManager->m_hItem; }, 5000));
    HWND hAbout = OpenDialog(run, ID_APP_ABOUT, "About Linoscope3");
    ASSERT_NE(hAbout, nullptr);
    run.Screenshot("about-dialog");
    ASSERT_TRUE(CloseDialog(hAbout, IDOK));

    // The calls end while another program holds the log without write
    // sharing: the records wait, the status bar says so, and they follow
    // once it lets go, in order.
    const std::string strLog = run.GetFolder() + "\\testlog.csv";
    HANDLE hHold = CreateFileA(strLog.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHold, INVALID_HANDLE_VALUE);
    const size_t nBefore = run.LogLines().size();
    const bool bAdvanced = run.Advance(16000);
    run.Screenshot("status-bar-log-held", 1500);
    EXPECT_EQ(run.LogLines().size(), nBefore);
    CloseHandle(hHold);
    ASSERT_TRUE(bAdvanced) << run.Fault();
    ExpectTrees(run, "down");
    const Texts& log = Section("log");
    WaitUntil([&] { return run.LogLines().size() >= log.size(); }, 10000);
    EXPECT_TRUE(LinesMatch(run.LogLines(), log));
    run.Close();
    ExpectExit(run, "WM_CLOSE");
    EXPECT_TRUE(EndedCleanly(run, 8));
}

// A blind transfer of an inbound call, a line going out of service while it
// has a call, and REINIT: answered Yes, monitoring starts again and the next
// call is seen as before; answered No, the program ends, having closed every
// line it opened and shut TAPI down before it asked (the call that was up
// when TAPI went away is not logged as ending: the monitor was gone by then).
TEST_F(EndToEnd, TransferOutageAndReinitAnsweredYesOrNo) {
    for (const bool bYes : {true, false}) {
        const std::string strScenario = bYes ? "transfer-outage-reinit" : "reinit-no";
        SCOPED_TRACE(strScenario);
        Load(strScenario);
        CProgramRun run(strScenario, strScenario + ".json");
        ASSERT_TRUE(run.Start()) << run.Fault();
        if (bYes) {
            // The transfer has gone through: the call is at Sales, Reception is
            // free. 204 calls 203; then 204 goes out of service: its call goes
            // from the tree at once, the far end sees its own call end.
            for (const auto& [dwMs, pszPoint] :
                 {std::pair{10000u, "transfer"}, {9000u, "busy"}, {1000u, "out-of-service"}}) {
                ASSERT_TRUE(run.Advance(dwMs)) << run.Fault();
                ExpectTrees(run, pszPoint);
            }
        }
        ASSERT_TRUE(run.Advance(bYes ? 10000 : 5000)) << run.Fault();
        HWND hBox = run.WaitForDialog("Linoscope3");
        ASSERT_NE(hBox, nullptr) << run.DescribeWindows();
        EXPECT_EQ(WindowText(GetDlgItem(hBox, 0xFFFF)), "TAPI Reinit.\nRetry?");
        if (bYes) run.Screenshot("reinit-question");
        PressButton(hBox, bYes ? IDYES : IDNO);
        if (bYes) {
            // The restart's progress dialog runs the message loop while the
            // lines open: the trees are read once it has gone.
            ASSERT_TRUE(WaitUntil(
                [&] {
                    const CJournal journal(run.JournalLines());
                    return journal.m_nInitialized == 2 && journal.m_opened.size() == 12 &&
                           TopLevelWindows(run.GetProcessId()).size() == 1;
                },
                60000))
                << "no second start of TAPI with every line; " << run.DescribeWindows();
            ASSERT_TRUE(run.Sync()) << run.Fault();
            ExpectTrees(run, "restarted");
            ASSERT_TRUE(run.Advance(10000)) << run.Fault();  // the call after the restart is monitored
            const CJournal journal(run.JournalLines());
            EXPECT_EQ(journal.m_opened.size(), 12u);
            EXPECT_EQ(journal.m_closed.size(), 6u);
            EXPECT_EQ(journal.m_nShutdownsClean, 1);
        } else {
            ExpectExit(run, "No");
            EXPECT_TRUE(EndedCleanly(run, 4));
        }
        EXPECT_TRUE(LinesMatch(run.LogLines(), Section("log")));
    }
}

// ID_MAKECALL with an extension selected: the DIAL dialog, centred over the
// frame, takes at most 40 characters, and the number typed into it becomes a
// call of the program's own, first NEW, then its states; Cancel makes no
// call.
TEST_F(EndToEnd, MakeCallThroughTheDialDialog) {
    Load("makecall");
    CProgramRun run("makecall", "makecall.json");
    ASSERT_TRUE(run.Start()) << run.Fault();
    std::vector<CTreeNode> ext = run.ReadTree(kExt);
    const CTreeNode* pReception = CProgramRun::FindLine(ext, "201 Reception");
    ASSERT_NE(pReception, nullptr);
    ASSERT_TRUE(run.Select(kExt, pReception->m_hItem)) << run.Fault();
    for (const bool bCancel : {true, false}) {
        HWND hDial = OpenDialog(run, ID_MAKECALL, "DIAL");
        ASSERT_NE(hDial, nullptr);
        EXPECT_EQ(WindowText(GetWindow(hDial, GW_CHILD)), "Dial No.");
        RECT rcDial{}, rcFrame{};
        GetWindowRect(hDial, &rcDial);
        GetWindowRect(run.GetFrame(), &rcFrame);
        EXPECT_NEAR(rcDial.left + rcDial.right, rcFrame.left + rcFrame.right, 4);
        EXPECT_NEAR(rcDial.top + rcDial.bottom, rcFrame.top + rcFrame.bottom, 4);
        HWND hNumber = GetDlgItem(hDial, IDC_DIAL_NUMBER);
        TypeText(hNumber, std::string(45, '9'));
        ASSERT_TRUE(WaitUntil([&] { return WindowText(hNumber).size() >= 40; }));
        Sleep(500);
        EXPECT_EQ(WindowText(hNumber), std::string(40, '9'));
        if (!bCancel) {
            PostMessageA(hNumber, EM_SETSEL, 0, -1);
            TypeText(hNumber, "202");
            ASSERT_TRUE(WaitUntil([&] { return WindowText(hNumber) == "202"; })) << WindowText(hNumber);
            run.Screenshot("dial-dialog");
        }
        ASSERT_TRUE(CloseDialog(hDial, bCancel ? IDCANCEL : IDOK));
        ASSERT_TRUE(run.Sync()) << run.Fault();
        const Texts journal = run.JournalLines();
        EXPECT_EQ(
            std::count_if(journal.begin(), journal.end(), [](auto& s) { return s.rfind("lineMakeCallA ", 0) == 0; }),
            bCancel ? 0 : 1);
    }

    // The PBX handed the call's handle back with LINE_REPLY; the node under
    // the line carries it. The first state comes with the reply, so the node
    // reads its state at once; its details were built when it was still NEW,
    // before the first state was logged.
    std::smatch match;
    static const std::regex makeCall(R"(^lineMakeCallA hLine=0x00020001 dest="202" -> \d+ hCall=(0x[0-9A-F]+)$)");
    const std::string strLast = CJournal(run.JournalLines()).m_strLast;
    ASSERT_TRUE(std::regex_match(strLast, match, makeCall)) << strLast;
    const auto callShown = [&] {
        ext = run.ReadTree(kExt);
        pReception = CProgramRun::FindLine(ext, "201 Reception");
        return pReception != nullptr && pReception->m_children.size() == 1 &&
               pReception->m_children[0].m_children.size() == 10;
    };
    ASSERT_TRUE(WaitUntil(callShown, 5000));
    const CTreeNode& call = pReception->m_children[0];
    EXPECT_EQ(call.m_lParam, static_cast<LPARAM>(std::stoul(match[1].str(), nullptr, 16)));
    EXPECT_EQ(call.m_strText, "DIALTONE - INTERNAL - (OWNER)");
    const std::string strCreated = call.m_children[0].m_strText.substr(std::string("Create Time        = ").size());
    const Texts log = run.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_LE(strCreated, log[0].substr(0, strCreated.size()));

    // Follow Events off: the call's progress changes the trees' texts and
    // nothing else (the window tests check what stays still).
    run.Command(ID_VIEW_FOLLOW_EVENTS);
    ASSERT_TRUE(run.Advance(6000)) << run.Fault();
    ExpectTrees(run, "connected");
    run.Screenshot("follow-events-off");
    EXPECT_TRUE(LinesMatch(run.LogLines(), Section("log")));
}

// A TAPI32.DLL somebody dropped beside the program never runs inside it: the
// program takes the system's TAPI (under the tests' Wine setting, which would
// hand out a TAPI32.DLL beside a program, the system's cannot be loaded, so
// start-up fails and asks to retry). The same file runs when the variable
// chooses it by its full path.
TEST_F(EndToEnd, ATapi32DllBesideTheProgramRunsOnlyWhenChosen) {
    {
        CProgramRun run("planted", "calls.json", ESimulator::Planted);
        ASSERT_TRUE(run.Launch()) << run.Fault();
        // Either the retry question (no usable TAPI) or the main window (a
        // system TAPI without the simulated PBX's lines).
        std::vector<HWND> windows;
        ASSERT_TRUE(WaitUntil(
            [&] { return !(windows = TopLevelWindows(run.GetProcessId(), "Linoscope3")).empty() || run.HasExited(); },
            60000));
        Sleep(1000);
        EXPECT_FALSE(run.HasLoadedSimulator());
        for (HWND hWnd : windows) {
            char szClass[16] = "";
            GetClassNameA(hWnd, szClass, sizeof szClass);
            if (lstrcmpA(szClass, "#32770") != 0) {
                PostMessageA(hWnd, WM_CLOSE, 0, 0);
                continue;
            }
            EXPECT_EQ(WindowText(GetDlgItem(hWnd, 0xFFFF)), "Tapi Initizlize Error.\nRetry?");
            PressButton(hWnd, IDNO);
        }
        EXPECT_TRUE(run.WaitForExit(60000)) << run.DescribeWindows();
        EXPECT_TRUE(run.JournalLines().empty()) << Join(run.JournalLines());
    }
    CProgramRun run("planted-chosen", "calls.json", ESimulator::PlantedAndChosen);
    ASSERT_TRUE(run.Start()) << run.Fault();
    run.Close();
    ExpectExit(run, "WM_CLOSE");
    EXPECT_TRUE(EndedCleanly(run, 8));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!EnterTestDesktop()) {
        std::fprintf(stderr, "cannot make the tests' desktop\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
