#include "ProgramRun.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace e2e {

namespace {

constexpr char kDesktopName[] = "Linoscope3E2E";
constexpr char kDesktopSize[] = "1280x800";
constexpr char kFrameTitle[] = "Linoscope3";
constexpr DWORD kRemoteCallTimeoutMs = 30000;
// The variable that chooses the TAPI library, and the simulator's name when chosen.
constexpr char kTapiLibraryVariable[] = "LINOSCOPE3_TAPI_DLL";
constexpr char kChosenName[] = "PbxSimulator.dll";

// The build hands its paths over as Unix paths; Wine shows / as drive Z:.
std::string WindowsPath(std::string str) {
    if (!str.empty() && str[0] == '/') str = "Z:" + str;
    std::replace(str.begin(), str.end(), '/', '\\');
    return str;
}

bool IsTreeView(HWND hWnd) {
    char szClass[64] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    return lstrcmpiA(szClass, WC_TREEVIEWA) == 0;
}

// Named rather than a lambda: 32-bit callbacks are WINAPI functions.
static BOOL CALLBACK CollectTreeView(HWND hWnd, LPARAM lParam) {
    if (IsTreeView(hWnd)) reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

std::vector<HWND> TreeViewsOf(HWND hFrame) {
    std::vector<HWND> trees;
    EnumChildWindows(hFrame, CollectTreeView, reinterpret_cast<LPARAM>(&trees));
    // Left to right, as a person reads the window.
    std::sort(trees.begin(), trees.end(), [](HWND a, HWND b) {
        RECT ra{}, rb{};
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return trees;
}

}  // namespace

bool EnterTestDesktop() {
    // Wine makes a desktop whose name has a size under this key a virtual
    // desktop of that size, with its own explorer drawing it.
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &hKey, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(hKey, kDesktopName, 0, REG_SZ, reinterpret_cast<const BYTE*>(kDesktopSize), sizeof kDesktopSize);
        RegCloseKey(hKey);
    }
    HDESK hDesktop = CreateDesktopA(kDesktopName, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return hDesktop != nullptr && SetThreadDesktop(hDesktop);
}

std::string ProgramPath() {
    return WindowsPath(E2E_PROGRAM);
}
std::string SimulatorPath() {
    return WindowsPath(E2E_SIMULATOR);
}
std::string ScenarioPath(const std::string& strName) {
    return WindowsPath(E2E_SCENARIOS) + "\\" + strName;
}
std::string ShotPath(const std::string& strName) {
    return WindowsPath(E2E_SHOTS) + "\\" + strName + ".bmp";
}

std::vector<std::string> ReadCrLfLines(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        // A line that ends at the end of the file had no line end at all.
        const bool bCrLf = !file.eof() && !line.empty() && line.back() == '\r';
        if (bCrLf) line.pop_back();
        lines.push_back(bCrLf ? line : line + "<no CR LF>");
    }
    return lines;
}

// --- CProgramRun -------------------------------------------------------------------

CProgramRun::CProgramRun(const std::string& strName, const std::string& strScenario, ESimulator eSimulator)
    : m_strName(strName),
      m_strScenario(strScenario),
      m_strFolder(WindowsPath(E2E_RUNS) + "\\" + strName),
      m_eSimulator(eSimulator),
      m_strSimulator(m_strFolder + "\\" + (eSimulator == ESimulator::Chosen ? kChosenName : "TAPI32.DLL")) {}

CProgramRun::~CProgramRun() {
    if (m_process.hProcess == nullptr) return;
    if (!HasExited()) {
        // A test that failed half-way leaves dialogs open: no waiting for a
        // polite close that may never come.
        Close();
        if (!WaitForExit(10000)) TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

bool CProgramRun::Launch(std::string* pError) {
    auto fail = [&](const std::string& strWhy) {
        *pError = strWhy;
        return false;
    };
    CreateDirectoryA(WindowsPath(E2E_RUNS).c_str(), nullptr);
    std::error_code error;
    std::filesystem::remove_all(m_strFolder, error);
    if (!CreateDirectoryA(m_strFolder.c_str(), nullptr)) return fail("cannot make " + m_strFolder);
    const std::string strExe = m_strFolder + "\\Linoscope3.exe";
    const std::string strScenario = m_strFolder + "\\scenario.json";
    for (const auto& [strFrom, strTo] : {std::pair{ProgramPath(), strExe},
                                         {SimulatorPath(), m_strSimulator},
                                         {ScenarioPath(m_strScenario), strScenario}}) {
        if (!CopyFileA(strFrom.c_str(), strTo.c_str(), FALSE)) return fail("cannot copy " + strFrom);
    }

    // The program inherits these; unless the test wants the PBX to run on its
    // own, the clock stands still until the test moves it.
    SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenario.c_str());
    SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", (m_strFolder + "\\journal.txt").c_str());
    SetEnvironmentVariableA("LINOSCOPE3_SIM_MANUAL_CLOCK", m_bRealTimeClock ? "0" : "1");
    SetEnvironmentVariableA(kTapiLibraryVariable,
                            m_eSimulator == ESimulator::Planted ? nullptr : m_strSimulator.c_str());

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<LPSTR>(kDesktopName);
    std::string strCommand = "\"" + strExe + "\"";
    if (!CreateProcessA(strExe.c_str(), strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, m_strFolder.c_str(),
                        &startup, &m_process)) {
        m_process = PROCESS_INFORMATION{};
        return fail("cannot start " + strExe);
    }
    return true;
}

bool CProgramRun::Start(std::string* pError, bool bRealTimeClock) {
    auto fail = [&](const std::string& strWhy) {
        *pError = strWhy;
        return false;
    };
    m_bRealTimeClock = bRealTimeClock;
    if (!Launch(pError)) return false;
    if (!WaitUntil([this] { return HasExited() || FindWindows(); }, m_dwStartTimeoutMs) || HasExited()) {
        Screenshot(m_strName + "-start-failed");
        return fail(std::string("the main window with its three trees did not show") +
                    (HasExited() ? " (the program ended)" : "") + "; windows: " + DescribeWindows());
    }
    m_pfnAdvanceClock = FindSimulatorExport("simAdvanceClock");
    m_pfnPendingCount = FindSimulatorExport("simGetPendingCount");
    if (m_pfnAdvanceClock == nullptr || m_pfnPendingCount == nullptr) {
        return fail("the program did not load the simulator " + m_strSimulator);
    }
    // A PBX on its own clock keeps the program busy: no waiting for a quiet moment.
    if (bRealTimeClock) return true;
    if (!Sync()) return fail("the program does not handle its messages");
    return true;
}

std::string CProgramRun::DescribeWindows() const {
    std::string str;
    for (HWND hWnd : TopLevelWindows(m_process.dwProcessId)) {
        char szClass[64] = "";
        GetClassNameA(hWnd, szClass, sizeof szClass);
        str.append("[").append(szClass).append(" \"").append(WindowText(hWnd)).append("\"");
        for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
            str.append(" {").append(WindowText(hChild)).append("}");
        }
        str.append("] ");
    }
    return str.empty() ? "none" : str;
}

bool CProgramRun::FindWindows() {
    for (HWND hWnd : TopLevelWindows(m_process.dwProcessId, kFrameTitle)) {
        std::vector<HWND> trees = TreeViewsOf(hWnd);
        if (trees.size() != 3) continue;
        // The trees are filled once the start-up is over.
        bool bFilled = true;
        for (HWND hTree : trees) {
            DWORD_PTR dwCount = 0;
            bFilled =
                bFilled && SendMessageTimeoutA(hTree, TVM_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &dwCount) && dwCount > 0;
        }
        if (!bFilled) continue;
        m_hFrame = hWnd;
        std::copy(trees.begin(), trees.end(), m_hTrees);
        return true;
    }
    return false;
}

// The address of an export of the simulator's file in the run's folder, as
// the program loaded it: its place in the file, as this process finds it in
// the same file mapped without running it, from where the program has it.
void* CProgramRun::FindSimulatorExport(const char* pszName) const {
    static HMODULE hImage = LoadLibraryExA(SimulatorPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    auto* pLocal = reinterpret_cast<BYTE*>(GetProcAddress(hImage, pszName));
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, m_process.dwProcessId);
    if (pLocal == nullptr || hSnapshot == INVALID_HANDLE_VALUE) return nullptr;
    BYTE* pRemote = nullptr;
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL b = Module32First(hSnapshot, &module); b; b = Module32Next(hSnapshot, &module)) {
        if (lstrcmpiA(module.szExePath, m_strSimulator.c_str()) == 0)
            pRemote = module.modBaseAddr + (pLocal - reinterpret_cast<BYTE*>(hImage));
    }
    CloseHandle(hSnapshot);
    return pRemote;
}

namespace {

struct CRemoteStart {
    HANDLE m_hProcess;
    void* m_pFunction;
    DWORD m_dwArgument;
    HANDLE m_hThread;
};

DWORD WINAPI StartRemoteThread(void* p) {
    auto* pStart = static_cast<CRemoteStart*>(p);
    pStart->m_hThread = CreateRemoteThread(
        pStart->m_hProcess, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(pStart->m_pFunction),
        reinterpret_cast<void*>(static_cast<ULONG_PTR>(pStart->m_dwArgument)), 0, nullptr);
    return 0;
}

}  // namespace

bool CProgramRun::CallRemote(void* pFunction, DWORD dwArgument, DWORD* pdwResult) const {
    // Under Wine, CreateRemoteThread itself waits, without a limit, for a
    // thread of the target to start the new one: it runs on a thread of its
    // own, which is left behind (with its block) if the target never does.
    auto* pStart = new CRemoteStart{m_process.hProcess, pFunction, dwArgument, nullptr};
    HANDLE hStarter = CreateThread(nullptr, 0, StartRemoteThread, pStart, 0, nullptr);
    if (hStarter == nullptr) {
        delete pStart;
        return false;
    }
    const bool bStarted = WaitForSingleObject(hStarter, kRemoteCallTimeoutMs) == WAIT_OBJECT_0;
    CloseHandle(hStarter);
    if (!bStarted) return false;
    HANDLE hThread = pStart->m_hThread;
    delete pStart;
    if (hThread == nullptr) return false;
    bool bOk = WaitForSingleObject(hThread, kRemoteCallTimeoutMs) == WAIT_OBJECT_0 &&
               GetExitCodeThread(hThread, pdwResult) != FALSE;
    CloseHandle(hThread);
    return bOk;
}

bool CProgramRun::Advance(DWORD dwMs, DWORD dwStepMs) {
    while (dwMs > 0) {
        const DWORD dwStep = std::min(dwMs, dwStepMs);
        DWORD dwResult = 0;
        if (!CallRemote(m_pfnAdvanceClock, dwStep, &dwResult) || static_cast<LONG>(dwResult) < 0) return false;
        if (!Sync()) return false;
        dwMs -= dwStep;
    }
    return true;
}

bool CProgramRun::Sync(DWORD dwTimeoutMs) {
    // The simulator hands its messages over a batch at a time: the queue is
    // in sync once nothing waits in the simulator after a round through it.
    const ULONGLONG qwStart = GetTickCount64();
    for (;;) {
        const ULONGLONG qwSpent = GetTickCount64() - qwStart;
        if (qwSpent >= dwTimeoutMs || !SyncQueue(static_cast<DWORD>(dwTimeoutMs - qwSpent))) return false;
        DWORD dwPending = 0;
        if (!CallRemote(m_pfnPendingCount, 0, &dwPending)) return false;
        if (dwPending == 0) return true;
    }
}

bool CProgramRun::SyncQueue(DWORD dwTimeoutMs) {
    // A posted message is handled after everything posted to the thread
    // before it. The tree view's scroll time is a value nobody sees: set it
    // by a posted message and wait until it reads back.
    HWND hTree = m_hTrees[0];
    if (hTree == nullptr || !IsWindow(hTree)) return false;
    DWORD_PTR dwCurrent = 0;
    if (!SendMessageTimeoutA(hTree, TVM_GETSCROLLTIME, 0, 0, SMTO_NORMAL, dwTimeoutMs, &dwCurrent)) return false;
    const auto uCurrent = static_cast<UINT>(dwCurrent);
    // The control keeps at most 100.
    m_nSyncValue = m_nSyncValue % 99 + 1;
    if (m_nSyncValue == uCurrent) m_nSyncValue = m_nSyncValue % 99 + 1;
    const UINT uWanted = m_nSyncValue;
    if (!PostMessageA(hTree, TVM_SETSCROLLTIME, uWanted, 0)) return false;
    return WaitUntil(
        [&] {
            DWORD_PTR dwValue = 0;
            return SendMessageTimeoutA(hTree, TVM_GETSCROLLTIME, 0, 0, SMTO_NORMAL, 1000, &dwValue) &&
                   dwValue == uWanted;
        },
        dwTimeoutMs);
}

void CProgramRun::Close() {
    if (m_hFrame != nullptr && IsWindow(m_hFrame)) PostMessageA(m_hFrame, WM_CLOSE, 0, 0);
}

bool CProgramRun::HasExited() const {
    return m_process.hProcess == nullptr || WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0;
}

bool CProgramRun::WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode) {
    if (m_process.hProcess == nullptr || WaitForSingleObject(m_process.hProcess, dwTimeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD dwCode = 0;
    GetExitCodeProcess(m_process.hProcess, &dwCode);
    if (pdwExitCode != nullptr) *pdwExitCode = dwCode;
    return true;
}

HWND CProgramRun::WaitForDialog(const char* pszTitle, DWORD dwTimeoutMs) const {
    HWND hFound = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> found = TopLevelWindows(m_process.dwProcessId, pszTitle);
            for (HWND hWnd : found) {
                if (hWnd != m_hFrame) hFound = hWnd;
            }
            return hFound != nullptr;
        },
        dwTimeoutMs);
    return hFound;
}

void CProgramRun::Screenshot(const std::string& strName) const {
    // Let the program paint what it has just changed.
    if (m_hFrame != nullptr) RedrawWindow(m_hFrame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(500);
    CreateDirectoryA(WindowsPath(E2E_SHOTS).c_str(), nullptr);
    SaveScreenBmp(ShotPath(strName));
}

}  // namespace e2e
