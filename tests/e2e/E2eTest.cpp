// The real Linoscope3.exe against the simulated PBX, checked from outside:
// what its trees show, what its dialogs say, what it writes to testlog.csv
// and what the PBX saw it do (the simulator's journal).
#include <gtest/gtest.h>

#include <cstdio>
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

// Written where a time stamp stands in an expected line.
constexpr char kTime[] = "{time}";
const char* const kTimePattern = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3})";

std::string Escape(const std::string& str) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(str, special, R"(\$&)");
}

bool LineMatches(const std::string& strActual, const std::string& strExpected) {
    std::string strPattern;
    size_t start = 0;
    for (size_t pos; (pos = strExpected.find(kTime, start)) != std::string::npos; start = pos + sizeof kTime - 1) {
        strPattern += Escape(strExpected.substr(start, pos - start)) + kTimePattern;
    }
    strPattern += Escape(strExpected.substr(start));
    return std::regex_match(strActual, std::regex(strPattern));
}

std::string Join(const std::vector<std::string>& lines) {
    std::string str;
    for (const std::string& line : lines) str += "    " + line + "\n";
    return str;
}

// Every line as expected, in order, nothing more; {time} stands for a time stamp.
::testing::AssertionResult LinesMatch(const std::vector<std::string>& actual,
                                      const std::vector<std::string>& expected) {
    bool bSame = actual.size() == expected.size();
    for (size_t i = 0; bSame && i < actual.size(); ++i) bSame = LineMatches(actual[i], expected[i]);
    if (bSame) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n" << Join(expected) << "actual:\n" << Join(actual);
}

// A tree as lines: two blanks of indent per level, "  [call]" after an item
// that carries item data (only call items do).
void AddLines(const CTreeNode& node, int nDepth, std::vector<std::string>* pLines) {
    std::string str(static_cast<size_t>(nDepth) * 2, ' ');
    str += node.m_strText;
    if (node.m_lParam != 0) str += "  [call]";
    pLines->push_back(str);
    for (const CTreeNode& child : node.m_children) AddLines(child, nDepth + 1, pLines);
}

std::vector<std::string> TreeLines(const CRemoteTree& tree) {
    std::vector<std::string> lines;
    for (const CTreeNode& node : tree.ReadAll()) AddLines(node, 0, &lines);
    return lines;
}

// The ten detail items of a call, as they stand under its node.
std::vector<std::string> Details(const std::string& strIndent, const std::string& strCaller,
                                 const std::string& strCalled, const std::string& strConnected,
                                 const std::string& strTrunk, const std::string& strOrigin,
                                 const std::string& strReason, const std::string& strRedirection,
                                 const std::string& strRedirecting, const std::string& strDid) {
    return {strIndent + "Create Time        = " + kTime,
            strIndent + "Caller ID    = " + strCaller,
            strIndent + "Called ID    = " + strCalled,
            strIndent + "Connected ID = " + strConnected,
            strIndent + "Trunk = " + strTrunk,
            strIndent + "Origin = " + strOrigin,
            strIndent + "Reason = " + strReason,
            strIndent + "RedirectionID = " + strRedirection,
            strIndent + "RedirectingID = " + strRedirecting,
            strIndent + "DID/DDI = " + strDid};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const CTreeNode* FindLine(const std::vector<CTreeNode>& roots, const std::string& strLabel) {
    return roots.empty() ? nullptr : roots[0].FindChild(strLabel);
}

// Selects the item by a click in its tree (which also makes that view the
// active one), sends the command to the main window as a menu does, and
// returns the text of the Information dialog it opens, closing it again.
std::string InformationText(CProgramRun& run, const CRemoteTree& tree, HTREEITEM hItem, int nCommand,
                            const std::string& strShot) {
    if (!tree.ClickItem(hItem) || !run.Sync() || tree.GetSelected() != hItem) return "<item not selected>";
    PostMessageA(run.GetFrame(), WM_COMMAND, static_cast<WPARAM>(nCommand), 0);
    HWND hDlg = run.WaitForDialog("Information");
    if (hDlg == nullptr) return "<no Information dialog>";
    std::string strText = WindowText(GetDlgItem(hDlg, IDC_INFO_TEXT));
    if (!strShot.empty()) run.Screenshot(strShot);
    PressButton(hDlg, IDOK);
    if (!WaitUntil([&] { return !IsWindow(hDlg); }, 30000)) return "<Information dialog did not close>";
    return strText;
}

// The report's lines, for finding whole lines in it.
std::vector<std::string> SplitLines(const std::string& str) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= str.size()) {
        size_t end = str.find('\n', start);
        std::string line = str.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// The lines that begin with "<<": the report's section headings, in order.
std::vector<std::string> Headings(const std::string& strReport) {
    std::vector<std::string> headings;
    for (const std::string& line : SplitLines(strReport)) {
        if (line.rfind("<<", 0) == 0) headings.push_back(line);
    }
    return headings;
}

bool HasLine(const std::string& strReport, const std::string& strLine) {
    for (const std::string& line : SplitLines(strReport)) {
        if (line == strLine) return true;
    }
    return false;
}

// What the journal says about the lines: opened and closed line handles,
// and whether TAPI was shut down with nothing left open.
struct CJournalSummary {
    int m_nInitialized = 0;
    std::vector<std::string> m_opened;
    std::vector<std::string> m_closed;
    int m_nShutdownsClean = 0;
    std::string m_strLast;
};

CJournalSummary Summarize(const std::vector<std::string>& journal) {
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
        // Call ends come as the PBX pleases; the last call of the program's is wanted.
        if (line.rfind("callEnded ", 0) != 0) summary.m_strLast = line;
    }
    return summary;
}

std::set<std::string> AsSet(const std::vector<std::string>& v) {
    return {v.begin(), v.end()};
}

// One TAPI session that opened nLines lines, closed every one of them and
// ended with a clean lineShutdown as the last thing the program did.
void ExpectCleanEnd(const CJournalSummary& journal, size_t nLines) {
    EXPECT_EQ(journal.m_nInitialized, 1);
    EXPECT_EQ(journal.m_opened.size(), nLines);
    EXPECT_EQ(AsSet(journal.m_closed), AsSet(journal.m_opened));
    EXPECT_EQ(journal.m_nShutdownsClean, 1);
    EXPECT_TRUE(LineMatches(journal.m_strLast, "lineShutdown hLineApp=0x00010001 -> 0 linesStillOpen=0"))
        << journal.m_strLast;
}

}  // namespace

// An inbound call over a trunk, an internal call and an outbound call, held
// up together: the trees, both information texts, the event log, and a close
// of the window that leaves no line open.
TEST(EndToEnd, CallsOfEveryKindInTheTreesTheReportsAndTheLog) {
    CProgramRun run("calls", "calls.json");
    std::string strError;
    ASSERT_TRUE(run.Start(&strError)) << strError;

    EXPECT_TRUE(LinesMatch(TreeLines(run.CoTree()), {"CO", "  0801 City Line 1", "  0802 City Line 2"}));
    EXPECT_TRUE(LinesMatch(TreeLines(run.ExtTree()),
                           {"EXT", "  201 Reception", "  202 Sales", "  203 Manager", "  204 Workshop"}));
    EXPECT_TRUE(LinesMatch(TreeLines(run.EtcTree()), {"ETC", "  Fax 750", "  Voice Mail 700 Voice Mail"}));

    ASSERT_TRUE(run.Advance(14000));
    run.Screenshot("calls-up");
    const std::string d = "      ";
    EXPECT_TRUE(
        LinesMatch(TreeLines(run.CoTree()),
                   Concat({{"CO", "  0801 City Line 1", "    CONNECTED - ACTIVE  [call]"},
                           Details(d, "0301234567", "0312", "203", "1", "EXTERNAL,INBOUND", "DIRECT", "", "", "0312"),
                           {"  0802 City Line 2", "    CONNECTED - ACTIVE  [call]"},
                           Details(d, "204", "0409876543", "0409876543", "2", "OUTBOUND", "DIRECT", "", "", "")})));
    EXPECT_TRUE(LinesMatch(
        TreeLines(run.ExtTree()),
        Concat({{"EXT", "  201 Reception", "    CONNECTED - ACTIVE  [call]"},
                Details(d, "201", "202", "202", "", "OUTBOUND", "DIRECT", "", "", ""),
                {"  202 Sales", "    CONNECTED - ACTIVE  [call]"},
                Details(d, "201", "202", "201", "", "INTERNAL", "DIRECT", "", "", ""),
                {"  203 Manager", "    CONNECTED - ACTIVE  [call]"},
                Details(d, "0301234567", "203", "0301234567", "1", "EXTERNAL,INBOUND", "DIRECT", "", "", "0312"),
                {"  204 Workshop", "    CONNECTED - ACTIVE  [call]"},
                Details(d, "204", "0409876543", "0409876543", "2", "OUTBOUND", "DIRECT", "", "", "")})));
    EXPECT_TRUE(LinesMatch(TreeLines(run.EtcTree()), {"ETC", "  Fax 750", "  Voice Mail 700 Voice Mail"}));

    // Line Information and Call Information of the extension with the inbound call.
    CRemoteTree ext = run.ExtTree();
    std::vector<CTreeNode> extRoots = ext.ReadAll();
    const CTreeNode* pManager = FindLine(extRoots, "203 Manager");
    ASSERT_TRUE(pManager != nullptr && pManager->m_children.size() == 1);
    const std::string strLineInfo =
        InformationText(run, ext, pManager->m_hItem, ID_LINE_INFORMATION, "calls-line-information");
    EXPECT_EQ(Headings(strLineInfo), (std::vector<std::string>{"<< LINEDEVCAPS >>", "<< LINEDEVSTATUS >>",
                                                               "<< LINEADDRESSCAPS >>", "<< LINEADDRESSSTATUS >>"}))
        << strLineInfo;
    for (const char* pszLine : {"    ProviderInfo = \"Talvora ZR-40N\" ", "    dwPermanentLineID = 0x00003003 ",
                                "    LineName = \"Ext 203\" ", "    dwNumActiveCalls = 0x00000001 ",
                                "        FriendlyName = \"Linoscope3\" ", "    Address = \"203\" "}) {
        EXPECT_TRUE(HasLine(strLineInfo, pszLine)) << pszLine << " is missing from:\n" << strLineInfo;
    }
    const std::string strCallInfo =
        InformationText(run, ext, pManager->m_children[0].m_hItem, ID_CALL_INFORMATION, "calls-call-information");
    EXPECT_EQ(Headings(strCallInfo), (std::vector<std::string>{"<< LINECALLINFO >>", "<< LINECALLSTATUS >>"}))
        << strCallInfo;
    for (const char* pszLine :
         {"    dwOrigin = 0x00000084 EXTERNAL,INBOUND", "    dwTrunk = 0x00000001 ", "    CallerID = \"0301234567\" ",
          "    CallerIDName = \"Customer\" ", "    CalledID = \"203\" ", "    dwCallState = 0x00000100 CONNECTED",
          "    dwCallPrivilege = 0x00000002 MONITOR"}) {
        EXPECT_TRUE(HasLine(strCallInfo, pszLine)) << pszLine << " is missing from:\n" << strCallInfo;
    }

    ASSERT_TRUE(run.Advance(16000));
    EXPECT_TRUE(LinesMatch(TreeLines(run.CoTree()), {"CO", "  0801 City Line 1", "  0802 City Line 2"}));
    EXPECT_TRUE(LinesMatch(TreeLines(run.ExtTree()),
                           {"EXT", "  201 Reception", "  202 Sales", "  203 Manager", "  204 Workshop"}));
    EXPECT_TRUE(
        LinesMatch(run.LogLines(),
                   {"{time},0801 City Line 1,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
                    "{time},0801 City Line 1,LINE_CALLSTATE,ACCEPTED",
                    "{time},203 Manager,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
                    "{time},201 Reception,LINE_CALLSTATE,DIALTONE - INTERNAL - (NONITOR)",
                    "{time},203 Manager,LINE_CALLSTATE,CONNECTED - ACTIVE",
                    "{time},203 Manager,LINE_CALLINFO,CONNECTEDID,0301234567,203,0301234567,EXTERNAL,INBOUND,DIRECT,,,",
                    "{time},0801 City Line 1,LINE_CALLSTATE,CONNECTED - ACTIVE",
                    "{time},0801 City Line 1,LINE_CALLINFO,CONNECTEDID,0301234567,0312,203,EXTERNAL,INBOUND,DIRECT,,,",
                    "{time},201 Reception,LINE_CALLSTATE,DIALING",
                    "{time},201 Reception,LINE_CALLINFO,CALLEDID,201,202,,OUTBOUND,DIRECT,,,",
                    "{time},201 Reception,LINE_CALLSTATE,PROCEEDING",
                    "{time},202 Sales,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
                    "{time},201 Reception,LINE_CALLSTATE,RINGBACK",
                    "{time},204 Workshop,LINE_CALLSTATE,DIALTONE - EXTERNAL - (NONITOR)",
                    "{time},204 Workshop,LINE_CALLSTATE,DIALING",
                    "{time},204 Workshop,LINE_CALLINFO,CALLEDID,204,0409876543,,OUTBOUND,DIRECT,,,",
                    "{time},202 Sales,LINE_CALLSTATE,CONNECTED - ACTIVE",
                    "{time},202 Sales,LINE_CALLINFO,CONNECTEDID,201,202,201,INTERNAL,DIRECT,,,",
                    "{time},201 Reception,LINE_CALLSTATE,CONNECTED - ACTIVE",
                    "{time},201 Reception,LINE_CALLINFO,CONNECTEDID,201,202,202,OUTBOUND,DIRECT,,,",
                    "{time},0802 City Line 2,LINE_CALLSTATE,DIALING - (NONITOR)",
                    "{time},0802 City Line 2,LINE_CALLSTATE,PROCEEDING",
                    "{time},204 Workshop,LINE_CALLSTATE,PROCEEDING",
                    "{time},204 Workshop,LINE_CALLINFO,TRUNK,204,0409876543,,OUTBOUND,DIRECT,,,",
                    "{time},0802 City Line 2,LINE_CALLSTATE,RINGBACK",
                    "{time},204 Workshop,LINE_CALLSTATE,RINGBACK",
                    "{time},0802 City Line 2,LINE_CALLSTATE,CONNECTED - ACTIVE",
                    "{time},0802 City Line 2,LINE_CALLINFO,CONNECTEDID,204,0409876543,0409876543,OUTBOUND,DIRECT,,,",
                    "{time},204 Workshop,LINE_CALLSTATE,CONNECTED - ACTIVE",
                    "{time},204 Workshop,LINE_CALLINFO,CONNECTEDID,204,0409876543,0409876543,OUTBOUND,DIRECT,,,",
                    "{time},203 Manager,LINE_CALLSTATE,DISCONNECTED - NORMAL",
                    "{time},203 Manager,LINE_CALLSTATE,IDLE",
                    "{time},0801 City Line 1,LINE_CALLSTATE,DISCONNECTED - NORMAL",
                    "{time},0801 City Line 1,LINE_CALLSTATE,IDLE",
                    "{time},201 Reception,LINE_CALLSTATE,DISCONNECTED - NORMAL",
                    "{time},201 Reception,LINE_CALLSTATE,IDLE",
                    "{time},202 Sales,LINE_CALLSTATE,DISCONNECTED - NORMAL",
                    "{time},204 Workshop,LINE_CALLSTATE,DISCONNECTED - NORMAL",
                    "{time},204 Workshop,LINE_CALLSTATE,IDLE",
                    "{time},0802 City Line 2,LINE_CALLSTATE,DISCONNECTED - NORMAL",
                    "{time},0802 City Line 2,LINE_CALLSTATE,IDLE",
                    "{time},202 Sales,LINE_CALLSTATE,IDLE"}));

    run.Close();
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForExit(60000, &dwExitCode)) << "the program did not end after WM_CLOSE";
    EXPECT_EQ(dwExitCode, 0u);
    CJournalSummary journal = Summarize(run.JournalLines());
    ExpectCleanEnd(journal, 8);
}

// A blind transfer of an inbound call, a line going out of service while it
// has a call, and REINIT answered Yes: monitoring starts again and the next
// call is seen as before.
TEST(EndToEnd, TransferOutageAndReinitAnsweredYes) {
    CProgramRun run("transfer-outage-reinit", "transfer-outage-reinit.json");
    std::string strError;
    ASSERT_TRUE(run.Start(&strError)) << strError;

    // The transfer has gone through: the call is at Sales, Reception is free.
    ASSERT_TRUE(run.Advance(10000));
    const std::string d = "      ";
    EXPECT_TRUE(LinesMatch(TreeLines(run.ExtTree()),
                           Concat({{"EXT", "  201 Reception", "  202 Sales", "    CONNECTED - ACTIVE  [call]"},
                                   Details(d, "0705550199", "202", "0705550199", "1", "EXTERNAL,INBOUND", "TRANSFER",
                                           "202", "201", "0201"),
                                   {"  203 Manager", "  204 Workshop"}})));
    run.Screenshot("transfer");

    // 204 calls 203; then 204 goes out of service: its call goes from the
    // tree at once, the far end sees its own call end.
    ASSERT_TRUE(run.Advance(9000));
    EXPECT_TRUE(
        LinesMatch(TreeLines(run.ExtTree()),
                   Concat({{"EXT", "  201 Reception", "  202 Sales", "  203 Manager", "    CONNECTED - ACTIVE  [call]"},
                           Details(d, "204", "203", "204", "", "INTERNAL", "DIRECT", "", "", ""),
                           {"  204 Workshop", "    CONNECTED - ACTIVE  [call]"},
                           Details(d, "204", "203", "203", "", "OUTBOUND", "DIRECT", "", "", "")})));
    ASSERT_TRUE(run.Advance(1000));
    EXPECT_TRUE(LinesMatch(
        TreeLines(run.ExtTree()),
        Concat({{"EXT", "  201 Reception", "  202 Sales", "  203 Manager", "    DISCONNECTED - UNREACHABLE  [call]"},
                Details(d, "204", "203", "204", "", "INTERNAL", "DIRECT", "", "", ""),
                {"  204 Workshop"}})));
    run.Screenshot("out-of-service");

    // REINIT: the question, answered Yes.
    ASSERT_TRUE(run.Advance(10000));
    HWND hBox = run.WaitForDialog("Linoscope3");
    ASSERT_NE(hBox, nullptr) << run.DescribeWindows();
    EXPECT_EQ(WindowText(GetDlgItem(hBox, 0xFFFF)), "TAPI Reinit.\nRetry?");
    run.Screenshot("reinit-question");
    PressButton(hBox, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return Summarize(run.JournalLines()).m_nInitialized == 2; }, 60000))
        << "no second start of TAPI";
    ASSERT_TRUE(run.Sync());
    EXPECT_TRUE(LinesMatch(TreeLines(run.ExtTree()),
                           {"EXT", "  201 Reception", "  202 Sales", "  203 Manager", "  204 Workshop"}));

    // The call after the restart is monitored.
    ASSERT_TRUE(run.Advance(10000));
    EXPECT_TRUE(LinesMatch(
        run.LogLines(),
        {"{time},0801 City Line 1,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},0801 City Line 1,LINE_CALLSTATE,ACCEPTED",
         "{time},201 Reception,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},201 Reception,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},201 Reception,LINE_CALLINFO,CONNECTEDID,0705550199,201,0705550199,EXTERNAL,INBOUND,DIRECT,,,",
         "{time},0801 City Line 1,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},0801 City Line 1,LINE_CALLINFO,CONNECTEDID,0705550199,0201,201,EXTERNAL,INBOUND,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,IDLE",
         "{time},202 Sales,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},0801 City Line 1,LINE_CALLINFO,,0705550199,0201,201,EXTERNAL,INBOUND,DIRECT,202,201,",
         "{time},202 Sales,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},202 Sales,LINE_CALLINFO,CONNECTEDID,0705550199,202,0705550199,EXTERNAL,INBOUND,TRANSFER,202,201,",
         "{time},0801 City Line 1,LINE_CALLINFO,CONNECTEDID,0705550199,0201,202,EXTERNAL,INBOUND,DIRECT,202,201,",
         "{time},0801 City Line 1,LINE_CALLSTATE,DISCONNECTED - NORMAL",
         "{time},0801 City Line 1,LINE_CALLSTATE,IDLE",
         "{time},202 Sales,LINE_CALLSTATE,DISCONNECTED - NORMAL",
         "{time},204 Workshop,LINE_CALLSTATE,DIALTONE - INTERNAL - (NONITOR)",
         "{time},202 Sales,LINE_CALLSTATE,IDLE",
         "{time},204 Workshop,LINE_CALLSTATE,DIALING",
         "{time},204 Workshop,LINE_CALLINFO,CALLEDID,204,203,,OUTBOUND,DIRECT,,,",
         "{time},204 Workshop,LINE_CALLSTATE,PROCEEDING",
         "{time},203 Manager,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},204 Workshop,LINE_CALLSTATE,RINGBACK",
         "{time},203 Manager,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},203 Manager,LINE_CALLINFO,CONNECTEDID,204,203,204,INTERNAL,DIRECT,,,",
         "{time},204 Workshop,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},204 Workshop,LINE_CALLINFO,CONNECTEDID,204,203,203,OUTBOUND,DIRECT,,,",
         "{time},OUTOFSERVICE",
         "{time},203 Manager,LINE_CALLSTATE,DISCONNECTED - UNREACHABLE",
         "{time},203 Manager,LINE_CALLSTATE,IDLE",
         "{time},REINIT",
         "{time},201 Reception,LINE_CALLSTATE,DIALTONE - INTERNAL - (NONITOR)",
         "{time},201 Reception,LINE_CALLSTATE,DIALING",
         "{time},201 Reception,LINE_CALLINFO,CALLEDID,201,202,,OUTBOUND,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,PROCEEDING",
         "{time},202 Sales,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},201 Reception,LINE_CALLSTATE,RINGBACK",
         "{time},202 Sales,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},202 Sales,LINE_CALLINFO,CONNECTEDID,201,202,201,INTERNAL,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},201 Reception,LINE_CALLINFO,CONNECTEDID,201,202,202,OUTBOUND,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,DISCONNECTED - NORMAL",
         "{time},201 Reception,LINE_CALLSTATE,IDLE",
         "{time},202 Sales,LINE_CALLSTATE,DISCONNECTED - NORMAL"}));
    CJournalSummary journal = Summarize(run.JournalLines());
    EXPECT_EQ(journal.m_opened.size(), 12u);
    EXPECT_EQ(journal.m_closed.size(), 6u);
    EXPECT_EQ(journal.m_nShutdownsClean, 1);
}

// REINIT answered No: the program ends, having closed every line it opened
// and shut TAPI down before it asked.
TEST(EndToEnd, ReinitAnsweredNoEndsTheProgramWithEverythingClosed) {
    CProgramRun run("reinit-no", "reinit-no.json");
    std::string strError;
    ASSERT_TRUE(run.Start(&strError)) << strError;
    ASSERT_TRUE(run.Advance(5000));
    HWND hBox = run.WaitForDialog("Linoscope3");
    ASSERT_NE(hBox, nullptr) << run.DescribeWindows();
    EXPECT_EQ(WindowText(GetDlgItem(hBox, 0xFFFF)), "TAPI Reinit.\nRetry?");
    PressButton(hBox, IDNO);
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForExit(60000, &dwExitCode)) << "the program did not end after No";
    EXPECT_EQ(dwExitCode, 0u);

    CJournalSummary journal = Summarize(run.JournalLines());
    ExpectCleanEnd(journal, 4);
    // The call that was up when TAPI went away is not logged as ending: the
    // monitor was gone by then.
    EXPECT_TRUE(LinesMatch(
        run.LogLines(),
        {"{time},201 Reception,LINE_CALLSTATE,DIALTONE - INTERNAL - (NONITOR)",
         "{time},201 Reception,LINE_CALLSTATE,DIALING",
         "{time},201 Reception,LINE_CALLINFO,CALLEDID,201,202,,OUTBOUND,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,PROCEEDING",
         "{time},202 Sales,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},201 Reception,LINE_CALLSTATE,RINGBACK", "{time},202 Sales,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},202 Sales,LINE_CALLINFO,CONNECTEDID,201,202,201,INTERNAL,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},201 Reception,LINE_CALLINFO,CONNECTEDID,201,202,202,OUTBOUND,DIRECT,,,", "{time},REINIT"}));
}

// The message box the program asks a question with (its title is the frame's).
HWND FindQuestion(const CProgramRun& run) {
    for (HWND hWnd : TopLevelWindows(run.GetProcessId(), "Linoscope3")) {
        char szClass[16] = "";
        GetClassNameA(hWnd, szClass, sizeof szClass);
        if (lstrcmpA(szClass, "#32770") == 0) return hWnd;
    }
    return nullptr;
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
                hQuestion = FindQuestion(run);
                windows = TopLevelWindows(run.GetProcessId(), "Linoscope3");
                return hQuestion != nullptr || !windows.empty() || run.HasExited();
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
    CJournalSummary journal = Summarize(run.JournalLines());
    EXPECT_EQ(journal.m_nInitialized, 1);
    EXPECT_EQ(journal.m_nShutdownsClean, 1);
}

// ID_MAKECALL as a command to the main window with an extension selected:
// the DIAL dialog takes at most 40 characters, and the number typed into it
// becomes a call of the program's own, first NEW, then its states.
TEST(EndToEnd, MakeCallThroughTheDialDialog) {
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

    PostMessageA(run.GetFrame(), WM_COMMAND, ID_MAKECALL, 0);
    HWND hDial = run.WaitForDialog("DIAL");
    ASSERT_NE(hDial, nullptr) << run.DescribeWindows();
    HWND hNumber = GetDlgItem(hDial, IDC_DIAL_NUMBER);
    TypeText(hNumber, std::string(45, '9'));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(hNumber).size() >= 40; }, 30000));
    Sleep(500);
    EXPECT_EQ(WindowText(hNumber), std::string(40, '9'));
    PostMessageA(hNumber, EM_SETSEL, 0, -1);
    TypeText(hNumber, "202");
    ASSERT_TRUE(WaitUntil([&] { return WindowText(hNumber) == "202"; }, 30000)) << WindowText(hNumber);
    run.Screenshot("makecall-dial");
    PressButton(hDial, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(hDial); }, 30000));
    ASSERT_TRUE(run.Sync());

    // The PBX handed the call's handle back with LINE_REPLY; the node under
    // the line carries it. The first state comes with the reply, so the node
    // reads its state at once; its details were built when it was still NEW,
    // before the first state was logged.
    CJournalSummary journal = Summarize(run.JournalLines());
    std::smatch match;
    static const std::regex makeCall(R"(^lineMakeCallA hLine=0x00020001 dest="202" -> \d+ hCall=(0x[0-9A-F]+)$)");
    ASSERT_TRUE(std::regex_match(journal.m_strLast, match, makeCall)) << journal.m_strLast;
    const LPARAM lCall = static_cast<LPARAM>(std::stoul(match[1].str(), nullptr, 16));
    roots = ext.ReadAll();
    pReception = FindLine(roots, "201 Reception");
    ASSERT_TRUE(pReception != nullptr && pReception->m_children.size() == 1);
    const CTreeNode& call = pReception->m_children[0];
    EXPECT_EQ(call.m_lParam, lCall);
    EXPECT_EQ(call.m_strText, "DIALTONE - INTERNAL - (OWNER)");
    ASSERT_EQ(call.m_children.size(), 10u);
    const std::string strCreated = call.m_children[0].m_strText.substr(std::string("Create Time        = ").size());
    std::vector<std::string> log = run.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_LE(strCreated, log[0].substr(0, strCreated.size()));

    ASSERT_TRUE(run.Advance(6000));
    const std::string d = "      ";
    EXPECT_TRUE(
        LinesMatch(TreeLines(ext), Concat({{"EXT", "  201 Reception", "    CONNECTED - ACTIVE  [call]"},
                                           Details(d, "201", "202", "202", "", "OUTBOUND", "DIRECT", "", "", ""),
                                           {"  202 Sales", "    CONNECTED - ACTIVE  [call]"},
                                           Details(d, "201", "202", "201", "", "INTERNAL", "DIRECT", "", "", "")})));
    run.Screenshot("makecall-connected");
    EXPECT_TRUE(LinesMatch(
        run.LogLines(),
        {"{time},201 Reception,LINE_CALLSTATE,DIALTONE - INTERNAL - (OWNER)",
         "{time},201 Reception,LINE_CALLSTATE,DIALING",
         "{time},201 Reception,LINE_CALLINFO,CALLEDID,201,202,,OUTBOUND,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,PROCEEDING",
         "{time},202 Sales,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)",
         "{time},201 Reception,LINE_CALLSTATE,RINGBACK", "{time},202 Sales,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},202 Sales,LINE_CALLINFO,CONNECTEDID,201,202,201,INTERNAL,DIRECT,,,",
         "{time},201 Reception,LINE_CALLSTATE,CONNECTED - ACTIVE",
         "{time},201 Reception,LINE_CALLINFO,CONNECTEDID,201,202,202,OUTBOUND,DIRECT,,,"}));
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

        CJournalSummary journal = Summarize(journalLines);
        ExpectCleanEnd(journal, 350);
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
