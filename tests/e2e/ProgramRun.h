// One run of the real Linoscope3.exe for an end-to-end test, driven from
// outside as a person at the screen would: a fresh folder holding the
// program, the simulator and the test's scenario; the program started there
// on the tests' own virtual desktop; its trees read across the process
// boundary; the scenario clock stepped through the simulator's window in the
// program; the event log and the simulator's journal read back; pictures of
// the screen. Every wait on the program is bounded. The program is ended with
// the object, whatever happened.
#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

using Texts = std::vector<std::string>;

// Puts this thread on the desktop the programs under test run on (a Wine
// virtual desktop of a fixed size, so frames and menus are drawn).
bool EnterTestDesktop();
std::string ScenarioPath(const std::string& strName);
// Polls the condition every 50 ms until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs = 30000);
// A message to a window of another process; 0 when it is not answered within seconds.
LRESULT Ask(HWND hWnd, UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
std::string WindowText(HWND hWnd);
// The visible top-level windows of a process, optionally only those with the title.
std::vector<HWND> TopLevelWindows(DWORD dwProcessId, const char* pszTitle = nullptr);
inline void PressButton(HWND hDlg, int nId) {
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}
// A file's lines, each of which must end in CR LF; one without it comes
// back with "<no CR LF>" appended, so a comparison shows it.
Texts ReadCrLfLines(const std::string& strPath);
// What the simulator's journal says of the program's TAPI sessions: how many
// began, lines opened, lines closed, clean shutdowns; whether the lines
// closed are the lines opened; the last thing the program (not the PBX) did.
std::string JournalSummary(const Texts& journal);
// The summary of a run that is over and ended as it should: one session that
// opened nLines lines, closed each once and ended with a clean lineShutdown.
std::string CleanEnd(size_t nLines);

// One item of a tree, in the order the tree shows them; a line is at depth 1
// (under the group's root), its calls at 2, their details at 3.
struct CTreeRow {
    int m_nDepth;
    std::string m_strText;
    LPARAM m_lParam;
    HTREEITEM m_hItem;
};

// Where the simulator lies and how the program is to find it: beside the
// program under a name of its own chosen through LINOSCOPE3_TAPI_DLL (as
// ./dev run does), or dropped beside it as TAPI32.DLL and not chosen (the
// program must leave it alone), or that planted file chosen.
enum class ESimulator { Chosen, Planted, PlantedAndChosen };
// How Start waits: for the program idle on the held clock, for its window on
// the PBX's own clock, or not at all (the program started, the clock held).
enum class EStart { Idle, RealTime, LaunchOnly };
enum ETree { kCo, kExt, kEtc };

class CProgramRun {
public:
    // name: the run's folder under the build's e2e-runs; scenario: a file of tests/e2e/scenarios.
    CProgramRun(const std::string& strName, const std::string& strScenario, ESimulator eSimulator = ESimulator::Chosen);
    ~CProgramRun();
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    // Lays the folder out, starts the program and (but for LaunchOnly) waits
    // for the main window with its three trees filled.
    bool Start(EStart eStart = EStart::Idle, DWORD dwTimeoutMs = 30000);
    // Why the last Start, Advance or Sync failed.
    const std::string& Fault() const { return m_strFault; }
    // Whether the simulator's file is mapped into the program at all.
    bool HasLoadedSimulator() const;

    DWORD GetProcessId() const { return m_process.dwProcessId; }
    HANDLE GetProcess() const { return m_process.hProcess; }
    HWND GetFrame() const { return m_hFrame; }

    std::vector<CTreeRow> ReadTree(ETree eTree) const;
    // The tree as lines: two blanks of indent per level, and after an item
    // that carries item data (a call) the handle it carries.
    Texts TreeLines(ETree eTree) const;
    // Clicks the item as a person does and waits until it is the selection.
    bool Select(ETree eTree, HTREEITEM hItem);
    HTREEITEM Selected(ETree eTree) const;

    // Moves the scenario clock in steps of at most stepMs, letting the
    // program handle everything each step caused before the next one.
    bool Advance(DWORD dwMs, DWORD dwStepMs = 250);
    // Once the program has handled every message posted to its thread
    // before the call and every one the simulator holds for it.
    bool Sync(DWORD dwTimeoutMs = 30000);

    void Command(UINT nId) const { PostMessageA(m_hFrame, WM_COMMAND, nId, 0); }
    void Close() const;
    bool WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode = nullptr) const;
    bool HasExited() const { return WaitForExit(0); }
    // Within a minute, with exit code 0 and the journal's CleanEnd(nLines).
    ::testing::AssertionResult EndsCleanly(size_t nLines) const;

    Texts LogLines() const { return ReadCrLfLines(m_strFolder + "\\testlog.csv"); }
    Texts JournalLines() const { return ReadCrLfLines(m_strFolder + "\\journal.txt"); }
    // The event log opened as another program may hold it: read access
    // shared, write access not, so the program cannot open it to append.
    HANDLE HoldLog() const;

    // A window of the program other than the frame with that title, once it shows.
    HWND WaitForDialog(const char* pszTitle, DWORD dwTimeoutMs = 30000) const;
    // Saves the screen as <name>.bmp in the shots folder (the test script
    // turns them into PNG files), after giving the program time to paint.
    void Screenshot(const std::string& strName, DWORD dwPaintMs = 500) const;
    // The program's top-level windows, their classes, titles and controls' texts.
    std::string DescribeWindows() const;

private:
    bool FindWindows();
    // Sends a message whose lParam points at the data, copied into the
    // program and back.
    bool AskRemote(HWND hControl, UINT uMsg, WPARAM wParam, void* pData, size_t cb) const;
    void ReadChildren(HWND hTree, HTREEITEM hParent, int nDepth, std::vector<CTreeRow>* pRows) const;
    // Sends a message to the simulator's window in the program.
    bool AskSimulator(UINT uMsg, WPARAM wParam, LONG* plResult);
    bool Fail(const std::string& strWhy) {
        m_strFault = strWhy;
        return false;
    }

    std::string m_strName, m_strScenario, m_strFolder, m_strSimulator, m_strFault;
    ESimulator m_eSimulator;
    PROCESS_INFORMATION m_process{};
    HWND m_hFrame = nullptr;
    HWND m_hTrees[3] = {};
    char* m_pRemote = nullptr;
    UINT m_nSyncValue = 0;
};

}  // namespace e2e
