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
#include <set>
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
inline void TypeText(HWND hControl, const std::string& strText) {
    for (char ch : strText) PostMessageA(hControl, WM_CHAR, static_cast<unsigned char>(ch), 1);
}
// A file's lines, each of which must end in CR LF; one without it comes
// back with "<no CR LF>" appended, so a comparison shows it.
Texts ReadCrLfLines(const std::string& strPath);

struct CTreeNode {
    HTREEITEM m_hItem = nullptr;
    std::string m_strText;
    LPARAM m_lParam = 0;
    std::vector<CTreeNode> m_children;
};

// Where the simulator lies and how the program is to find it: beside the
// program under a name of its own chosen through LINOSCOPE3_TAPI_DLL (as
// ./dev run does), or dropped beside it as TAPI32.DLL and not chosen (the
// program must leave it alone), or that planted file chosen.
enum class ESimulator { Chosen, Planted, PlantedAndChosen };
enum ETree { kCo, kExt, kEtc };

class CProgramRun {
public:
    // name: the run's folder under the build's e2e-runs; scenario: a file of tests/e2e/scenarios.
    CProgramRun(const std::string& strName, const std::string& strScenario, ESimulator eSimulator = ESimulator::Chosen);
    ~CProgramRun();
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    // Only lays the folder out and starts the program, the clock held.
    bool Launch();
    // Launch, then wait for the main window with its three trees filled
    // and, with the clock held, for the program to be idle.
    bool Start(bool bRealTimeClock = false, DWORD dwTimeoutMs = 30000);
    // Why the last Start, Advance or Sync failed.
    const std::string& Fault() const { return m_strFault; }
    // Whether the simulator's file is mapped into the program at all.
    bool HasLoadedSimulator() const;

    DWORD GetProcessId() const { return m_process.dwProcessId; }
    HANDLE GetProcess() const { return m_process.hProcess; }
    HWND GetFrame() const { return m_hFrame; }
    const std::string& GetFolder() const { return m_strFolder; }

    std::vector<CTreeNode> ReadTree(ETree eTree) const;
    // The tree as lines: two blanks of indent per level, "  [call]" after an
    // item that carries item data (only call items do).
    Texts TreeLines(ETree eTree) const;
    // A line (a child of the tree's root) by its label; null when absent.
    static const CTreeNode* FindLine(const std::vector<CTreeNode>& roots, const std::string& strLabel);
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

    Texts LogLines() const { return ReadCrLfLines(m_strFolder + "\\testlog.csv"); }
    Texts JournalLines() const { return ReadCrLfLines(m_strFolder + "\\journal.txt"); }

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
    void ReadChildren(HWND hTree, HTREEITEM hParent, std::vector<CTreeNode>* pChildren, int nDepth) const;
    // Sends a message to the simulator's window in the program.
    bool AskSimulator(UINT uMsg, WPARAM wParam, LONG* plResult);
    bool Fail(const std::string& strWhy);

    std::string m_strName, m_strScenario, m_strFolder, m_strSimulator, m_strFault;
    ESimulator m_eSimulator;
    PROCESS_INFORMATION m_process{};
    HWND m_hFrame = nullptr;
    HWND m_hTrees[3] = {};
    char* m_pRemote = nullptr;
    UINT m_nSyncValue = 0;
};

// What the journal says: TAPI sessions begun, line handles opened and
// closed, clean shutdowns, and the last thing the program (not the PBX) did.
struct CJournal {
    explicit CJournal(const Texts& lines);
    int m_nInitialized = 0, m_nShutdownsClean = 0;
    std::multiset<std::string> m_opened, m_closed;
    std::string m_strLast;
};
// Of a run that is over: one TAPI session that opened nLines lines, closed
// each once and ended with a clean lineShutdown as the program's last call.
::testing::AssertionResult EndedCleanly(const CProgramRun& run, size_t nLines);

}  // namespace e2e
