// One run of the real Linoscope3.exe for an end-to-end test: a fresh folder
// holding the program, the simulator and the test's scenario; the program
// started there on the tests' own virtual desktop; the scenario clock stepped
// from outside; the event log and the simulator's journal read back. The
// program is ended with the object, whatever happened.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Automation.h"

namespace e2e {

// Puts this thread on the desktop the programs under test run on (a Wine
// virtual desktop of a fixed size, so frames and menus are drawn). Call once,
// before the thread makes any window.
bool EnterTestDesktop();

// Folders and files the build names (Windows paths).
std::string ProgramPath();
std::string SimulatorPath();
std::string ScenarioPath(const std::string& strName);
std::string ShotPath(const std::string& strName);

// The texts of a file's lines, which must each end in CR LF; a line without
// it is returned with "<no CR LF>" appended, so a comparison shows it.
std::vector<std::string> ReadCrLfLines(const std::string& strPath);

// Where the simulator lies and how the program is to find it.
enum class ESimulator {
    // Beside the program under a name of its own, chosen through
    // LINOSCOPE3_TAPI_DLL, as ./dev run and the demo's launcher do.
    Chosen,
    // Dropped beside the program as TAPI32.DLL and not chosen: the program
    // must use the system's TAPI and leave the planted file alone.
    Planted,
    // The same planted file, chosen through the variable.
    PlantedAndChosen,
};

class CProgramRun {
public:
    // name: the run's folder under the build's e2e-runs; scenario: a file of tests/e2e/scenarios.
    CProgramRun(const std::string& strName, const std::string& strScenario, ESimulator eSimulator = ESimulator::Chosen);
    ~CProgramRun();
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    // Lays the folder out, starts the program with the scenario clock held
    // (or running on wall time), and waits for the main window and its three
    // trees. FALSE (and why) on failure.
    bool Start(std::string* pError, bool bRealTimeClock = false);
    // Only lays the folder out and starts the program, the clock held.
    bool Launch(std::string* pError);
    // How long Start waits for the window (a large PBX takes a while).
    void SetStartTimeout(DWORD dwTimeoutMs) { m_dwStartTimeoutMs = dwTimeoutMs; }
    // Whether the program has the simulator's file loaded.
    bool HasLoadedSimulator() const { return FindSimulatorExport("simAdvanceClock") != nullptr; }
    const std::string& GetSimulatorPath() const { return m_strSimulator; }

    DWORD GetProcessId() const { return m_process.dwProcessId; }
    HANDLE GetProcess() const { return m_process.hProcess; }
    HWND GetFrame() const { return m_hFrame; }
    const std::string& GetFolder() const { return m_strFolder; }

    // The views from left to right: CO, EXT, ETC.
    CRemoteTree CoTree() const { return CRemoteTree(m_process.hProcess, m_hTrees[0]); }
    CRemoteTree ExtTree() const { return CRemoteTree(m_process.hProcess, m_hTrees[1]); }
    CRemoteTree EtcTree() const { return CRemoteTree(m_process.hProcess, m_hTrees[2]); }

    // Moves the scenario clock in steps of at most stepMs, letting the program
    // handle everything each step caused before the next one.
    bool Advance(DWORD dwMs, DWORD dwStepMs = 250);
    // Returns once the program has handled every message posted to its
    // thread before the call, and every message the simulator holds for it;
    // FALSE when it did not within the time.
    bool Sync(DWORD dwTimeoutMs = 30000);

    // Asks the program to close as a user does (WM_CLOSE to the frame).
    void Close();
    // Waits for the process to end; its exit code on success.
    bool WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode = nullptr);
    bool HasExited() const;

    std::vector<std::string> LogLines() const { return ReadCrLfLines(m_strFolder + "\\testlog.csv"); }
    std::vector<std::string> JournalLines() const { return ReadCrLfLines(m_strFolder + "\\journal.txt"); }

    // A dialog box of the program with that title, once it shows.
    HWND WaitForDialog(const char* pszTitle, DWORD dwTimeoutMs = 30000) const;
    // Saves the screen as <name>.bmp in the shots folder (the test script
    // turns them into PNG files).
    void Screenshot(const std::string& strName) const;
    // The program's top-level windows with their classes, titles and
    // controls' texts, for a failure message.
    std::string DescribeWindows() const;

private:
    bool FindWindows();
    bool SyncQueue(DWORD dwTimeoutMs);
    void* FindSimulatorExport(const char* pszName) const;
    bool CallRemote(void* pFunction, DWORD dwArgument, DWORD* pdwResult) const;

    std::string m_strName;
    std::string m_strScenario;
    std::string m_strFolder;
    ESimulator m_eSimulator;
    bool m_bRealTimeClock = false;
    DWORD m_dwStartTimeoutMs = 30000;
    std::string m_strSimulator;
    PROCESS_INFORMATION m_process{};
    HWND m_hFrame = nullptr;
    HWND m_hTrees[3] = {};
    void* m_pfnAdvanceClock = nullptr;
    void* m_pfnPendingCount = nullptr;
    UINT m_nSyncValue = 0;
};

}  // namespace e2e
