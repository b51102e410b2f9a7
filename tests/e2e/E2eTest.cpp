// The real Linoscope3.exe against the simulated PBX, checked from outside:
// what its trees show, what its dialogs say, what it writes to testlog.csv
// and what the PBX saw it do (the simulator's journal). A scenario's
// <scenario>.expected beside it holds what a person at the screen does
// ("== steps", one step a line: a verb and its argument) and what the
// program must show at each point. On the way the suite takes one picture of
// each feature (named by the feature).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "ProgramRun.h"
#include "views/win/resource.h"

using namespace e2e;

namespace {

std::string Join(const Texts& lines) {
    std::string str;
    for (const std::string& line : lines) str += "    " + line + "\n";
    return str;
}

// Every line as expected, in order, nothing more. In an expected line {time}
// stands for a time stamp and {here} for what names this machine, its user and
// the run's folder.
::testing::AssertionResult LinesMatch(const Texts& actual, const Texts& expected) {
    static const std::regex time(R"(\d{4}/\d\d?/\d\d? \d\d?:\d\d?:\d\d?(:\d{3})?)");
    static const std::regex here(R"((MachineName|UserName|ModuleFilename) = ".*")");
    const std::string strActual =
        std::regex_replace(std::regex_replace(Join(actual), time, "{time}"), here, "$1 = {here}");
    if (strActual == Join(expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n" << Join(expected) << "actual:\n" << strActual;
}

// The names the steps give trees, commands, buttons and controls (a label's
// and a message box's text is "static") and ways of finding the simulator,
// and what they stand for.
// clang-format off
const std::map<std::string, int> kNames = {
    {"co", kCo}, {"ext", kExt}, {"etc", kEtc}, {"line-information", ID_LINE_INFORMATION},
    {"call-information", ID_CALL_INFORMATION}, {"find", ID_EDIT_FIND}, {"about", ID_APP_ABOUT},
    {"make-call", ID_MAKECALL}, {"follow-events", ID_VIEW_FOLLOW_EVENTS}, {"OK", IDOK}, {"Cancel", IDCANCEL},
    {"Yes", IDYES}, {"No", IDNO}, {"static", 0xFFFF}, {"find-text", IDC_FIND_TEXT},
    {"dial-number", IDC_DIAL_NUMBER}, {"planted", int(ESimulator::Planted)},
    {"planted-chosen", int(ESimulator::PlantedAndChosen)}};
// clang-format on

class EndToEnd : public ::testing::TestWithParam<const char*> {
protected:
    // What the map holds under the key: a section, or what a name stands for.
    template <typename Map>
    static const typename Map::mapped_type& Find(const Map& map, const std::string& strKey) {
        static const typename Map::mapped_type none{};
        EXPECT_EQ(map.count(strKey), 1u) << "nothing is called " << strKey;
        return map.count(strKey) != 0 ? map.at(strKey) : none;
    }
    // "<tree> <label>": the line's item, or with bCall its (first) call's,
    // once the tree shows it.
    HTREEITEM FindItem(const std::string& strArg, bool bCall, ETree* peTree) {
        *peTree = static_cast<ETree>(Find(kNames, strArg.substr(0, strArg.find(' '))));
        const std::string strLabel = strArg.substr(strArg.find(' ') + 1);
        HTREEITEM hFound = nullptr;
        WaitUntil(
            [&] {
                const std::vector<CTreeRow> rows = m_pRun->ReadTree(*peTree);
                auto it = std::find_if(rows.begin(), rows.end(), [&](const CTreeRow& row) {
                    return row.m_nDepth == 1 && row.m_strText == strLabel;
                });
                it += bCall && it != rows.end();  // the call comes right under its line
                hFound = it != rows.end() && it->m_nDepth == 1 + bCall ? it->m_hItem : nullptr;
                return hFound != nullptr;
            },
            5000);
        return hFound;
    }
    void Step(const std::string& strVerb, const std::string& strArg);

    std::map<std::string, Texts> m_expected;
    HWND m_hDlg = nullptr;                  // the dialog the last "dialog" step found
    HANDLE m_hHold = INVALID_HANDLE_VALUE;  // the event log, while the steps hold it
    std::unique_ptr<CProgramRun> m_pRun;
};

void EndToEnd::Step(const std::string& strVerb, const std::string& strArg) {
    std::istringstream args(strArg);
    std::string strWord;
    if (strVerb == "start" || strVerb == "launch") {  // "<scenario>.json [how the simulator is found]"
        std::string strSimulator;
        args >> strWord >> strSimulator;
        m_pRun = std::make_unique<CProgramRun>(
            GetParam(), strWord, static_cast<ESimulator>(strSimulator.empty() ? 0 : Find(kNames, strSimulator)));
        ASSERT_TRUE(m_pRun->Start(strVerb == "start" ? EStart::Idle : EStart::LaunchOnly)) << m_pRun->Fault();
        return;
    }
    ASSERT_TRUE(m_pRun != nullptr) << "no program started";
    CProgramRun& run = *m_pRun;
    const auto text = [&] {  // after the control's name, with \n for a line break
        return std::regex_replace(strArg.substr(strArg.find(' ') + 1), std::regex(R"(\\n)"), "\n");
    };
    const auto control = [&] { return GetDlgItem(m_hDlg, Find(kNames, strArg.substr(0, strArg.find(' ')))); };
    ETree eTree = kCo;
    if (strVerb == "advance" || strVerb == "sync") {  // the clock moved on so many ms, or held
        ASSERT_TRUE(strArg.empty() ? run.Sync() : run.Advance(std::stoul(strArg))) << run.Fault();
    } else if (strVerb == "trees" || strVerb == "log" || strVerb == "journal" || strVerb == "info") {
        // The whole of it as the section (by default the verb's own) has it, once shown or written.
        const auto now = [&] {
            return strVerb == "trees" ? run.TreeLines()
                   : strVerb == "log" ? run.LogLines()
                   : strVerb == "journal"
                       ? run.JournalLines()
                       : CrLfLines(std::istringstream(WindowText(GetDlgItem(m_hDlg, IDC_INFO_TEXT)) + "\r\n"));
        };
        const Texts& wanted = Find(m_expected, strArg.empty() ? strVerb : strArg);
        Texts lines;
        WaitUntil([&] { return LinesMatch(lines = now(), wanted); }, 30000);
        ASSERT_TRUE(LinesMatch(lines, wanted));
    } else if (strVerb == "shot") {  // a picture: its name, and how long to let the program paint first
        DWORD dwPaintMs = 500;       // unless the step says
        args >> strWord >> dwPaintMs;
        run.Screenshot(strWord, dwPaintMs);
    } else if (strVerb == "select" || strVerb == "select-call") {
        const HTREEITEM hItem = FindItem(strArg, strVerb == "select-call", &eTree);
        ASSERT_NE(hItem, nullptr) << "not in the tree";
        ASSERT_TRUE(run.Select(eTree, hItem)) << run.Fault();
    } else if (strVerb == "selected") {
        const HTREEITEM hItem = FindItem(strArg, false, &eTree);
        EXPECT_TRUE(hItem != nullptr && WaitUntil([&] { return run.Sync() && run.Selected(eTree) == hItem; }, 5000));
    } else if (strVerb == "command") {
        run.Command(static_cast<UINT>(Find(kNames, strArg)));
    } else if (strVerb == "dialog") {
        m_hDlg = run.WaitForDialog(strArg.c_str());
        ASSERT_NE(m_hDlg, nullptr) << run.DescribeWindows();
    } else if (strVerb == "resize") {  // larger, as a technician reading it makes it
        SetWindowPos(m_hDlg, nullptr, 40, 40, 1000, 700, SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
    } else if (strVerb == "type") {  // into the control over all it holds, a key at a time; every key handled
        PostMessageA(control(), EM_SETSEL, 0, -1);
        for (char ch : text()) PostMessageA(control(), WM_CHAR, static_cast<unsigned char>(ch), 1);
        ASSERT_TRUE(run.Sync()) << run.Fault();
    } else if (strVerb == "text") {
        EXPECT_EQ(WindowText(control()), text());
    } else if (strVerb == "press") {  // a button of the dialog, which closes it
        PressButton(m_hDlg, Find(kNames, strArg));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(m_hDlg); }));
    } else if (strVerb == "hold") {
        ASSERT_NE(m_hHold = run.HoldLog(), INVALID_HANDLE_VALUE);
    } else if (strVerb == "release") {
        CloseHandle(m_hHold);
    } else if (strVerb == "close") {
        run.Close();
    } else if (strVerb == "ends") {  // on its own, within a minute and with exit code 0
        DWORD dwExitCode = 1;
        EXPECT_TRUE(run.WaitForExit(60000, &dwExitCode) && dwExitCode == 0) << dwExitCode << run.DescribeWindows();
    } else if (strVerb == "unloaded") {  // the simulator's file not even mapped into the program, a second on
        Sleep(1000);
        EXPECT_FALSE(run.HasLoadedSimulator());
    } else if (strVerb == "windows") {  // once the program shows this many, the progress dialog gone
        ASSERT_TRUE(WaitUntil([&] { return TopLevelWindows(run.GetProcessId()).size() == std::stoul(strArg); }))
            << run.DescribeWindows();
    } else {
        FAIL() << "no such step";
    }
}

}  // namespace

// The steps of each scenario, in order, stopping at the first that cannot go on.
TEST_P(EndToEnd, Steps) {
    // The sections of <scenario>.expected: "== name" and the lines under it.
    std::ifstream file(ScenarioPath(GetParam() + std::string(".expected")), std::ios::binary);
    Texts* pSection = nullptr;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("== ", 0) == 0)
            pSection = &m_expected[line.substr(3)];
        else if (pSection != nullptr)
            pSection->push_back(line);
    }
    for (const std::string& strStep : Find(m_expected, "steps")) {
        SCOPED_TRACE(strStep);
        const size_t cut = strStep.find(' ');
        Step(strStep.substr(0, cut), cut == std::string::npos ? "" : strStep.substr(cut + 1));
        if (HasFatalFailure()) return;
    }
}

// What each scenario is for stands at the head of its .expected file.
INSTANTIATE_TEST_SUITE_P(Scenarios, EndToEnd,
                         ::testing::Values("calls", "transfer-outage-reinit", "reinit-no", "makecall", "planted",
                                           "planted-chosen"));

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The programs under test run on a desktop of their own, as does this
    // thread: Wine makes a desktop whose name has a size under this key a
    // virtual desktop of that size, with its own explorer drawing it (so
    // frames and menus are drawn).
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", kDesktopName, REG_SZ, kDesktopSize,
                    sizeof kDesktopSize);
    HDESK hDesktop = CreateDesktopA(kDesktopName, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (hDesktop == nullptr || !SetThreadDesktop(hDesktop)) {
        std::fprintf(stderr, "cannot make the tests' desktop\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
