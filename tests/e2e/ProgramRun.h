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
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace e2e {

using Texts = std::vector<std::string>;

constexpr char kDesktopName[] = "Linoscope3E2E";
constexpr char kDesktopSize[] = "1280x800";
constexpr DWORD kAnswerMs = 5000;
// The simulator's hidden window in the program and what it answers.
constexpr char kSimulatorWindow[] = "Linoscope3SimTapiWindow";
constexpr UINT kAdvanceClockMessage = WM_APP + 0x55;
constexpr UINT kPendingCountMessage = WM_APP + 0x56;
// Longer than any label, detail line or status text.
constexpr int kTextChars = 1024;

// The build hands its paths over as Unix paths; Wine shows / as drive Z:.
inline std::string WindowsPath(std::string str) {
    if (!str.empty() && str[0] == '/') str = "Z:" + str;
    std::replace(str.begin(), str.end(), '/', '\\');
    return str;
}

inline std::string ClassOf(HWND hWnd) {
    char sz[64] = "";
    GetClassNameA(hWnd, sz, sizeof sz);
    return sz;
}

// A named WINAPI function: a lambda converts only to the default calling
// convention, which is not the callbacks' on 32-bit Windows.
// Tree views by their left edge: left to right, as a person reads the window.
inline BOOL CALLBACK CollectTreeView(HWND hWnd, LPARAM lParam) {
    RECT rc{};
    if (lstrcmpiA(ClassOf(hWnd).c_str(), WC_TREEVIEWA) == 0 && GetWindowRect(hWnd, &rc))
        (*reinterpret_cast<std::map<LONG, HWND>*>(lParam))[rc.left] = hWnd;
    return TRUE;
}

inline std::string ScenarioPath(const std::string& strName) {
    return WindowsPath(E2E_SCENARIOS) + "\\" + strName;
}
// Polls the condition every 50 ms until it holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs = 30000) {
    for (const ULONGLONG qwEnd = GetTickCount64() + dwTimeoutMs; !condition(); Sleep(50)) {
        if (GetTickCount64() >= qwEnd) return false;
    }
    return true;
}
// A message to a window of another process; 0 when it is not answered within seconds.
inline LRESULT Ask(HWND hWnd, UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR dwResult = 0;
    return SendMessageTimeoutA(hWnd, uMsg, wParam, lParam, SMTO_NORMAL, kAnswerMs, &dwResult) ? dwResult : 0;
}
inline std::string WindowText(HWND hWnd) {
    std::string str(static_cast<size_t>(Ask(hWnd, WM_GETTEXTLENGTH)) + 1, '\0');
    const auto nCopied = static_cast<size_t>(Ask(hWnd, WM_GETTEXT, str.size(), reinterpret_cast<LPARAM>(str.data())));
    str.resize(std::min(nCopied, str.size() - 1));
    return str;
}
// The visible top-level windows of a process, optionally only those with the title.
inline std::vector<HWND> TopLevelWindows(DWORD dwProcessId, const char* pszTitle = nullptr) {
    std::vector<HWND> found;
    for (HWND hWnd = nullptr; (hWnd = FindWindowExA(nullptr, hWnd, nullptr, nullptr)) != nullptr;) {
        DWORD dwOwner = 0;
        GetWindowThreadProcessId(hWnd, &dwOwner);
        if (dwOwner == dwProcessId && IsWindowVisible(hWnd) && (pszTitle == nullptr || WindowText(hWnd) == pszTitle))
            found.push_back(hWnd);
    }
    return found;
}
inline void PressButton(HWND hDlg, int nId) {
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}
// A text's lines (a file's, a control's), each of which must end in CR LF;
// one without it comes back with "<no CR LF>" appended, so a comparison shows it.
inline Texts CrLfLines(std::istream&& text) {
    Texts lines;
    for (std::string line; std::getline(text, line);) {
        // A line that ends at the end of the text had no line end at all.
        const bool bCrLf = !text.eof() && !line.empty() && line.back() == '\r';
        if (bCrLf) line.pop_back();
        lines.push_back(bCrLf ? line : line + "<no CR LF>");
    }
    return lines;
}
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
    CProgramRun(const std::string& strName, const std::string& strScenario, ESimulator eSimulator = ESimulator::Chosen)
        : m_strName(strName),
          m_strScenario(strScenario),
          m_strFolder(WindowsPath(E2E_RUNS) + "\\" + strName),
          m_strSimulator(m_strFolder + "\\" + (eSimulator == ESimulator::Chosen ? "PbxSimulator.dll" : "TAPI32.DLL")),
          m_eSimulator(eSimulator) {}
    ~CProgramRun() {
        if (m_process.hProcess == nullptr) return;
        // A test that failed half-way leaves dialogs open: no waiting long for a polite close.
        Close();
        if (!WaitForExit(10000)) TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    // Lays the folder out, starts the program and (but for LaunchOnly) waits
    // for the main window with its three trees filled.
    bool Start(EStart eStart = EStart::Idle, DWORD dwTimeoutMs = 30000) {
        CreateDirectoryA(WindowsPath(E2E_RUNS).c_str(), nullptr);
        std::error_code error;
        std::filesystem::remove_all(m_strFolder, error);
        if (!CreateDirectoryA(m_strFolder.c_str(), nullptr)) return Fail("cannot make " + m_strFolder);
        const std::string strExe = m_strFolder + "\\Linoscope3.exe", strScenario = m_strFolder + "\\scenario.json";
        for (const auto& [strFrom, strTo] : {std::pair{WindowsPath(E2E_PROGRAM), strExe},
                                             {WindowsPath(E2E_SIMULATOR), m_strSimulator},
                                             {ScenarioPath(m_strScenario), strScenario}}) {
            if (!CopyFileA(strFrom.c_str(), strTo.c_str(), FALSE)) return Fail("cannot copy " + strFrom);
        }
        // The program inherits these; the clock stands still until the test
        // moves it, unless the PBX's own clock was asked for.
        SetEnvironmentVariableA("LINOSCOPE3_SIM_MANUAL_CLOCK", eStart == EStart::RealTime ? "0" : "1");
        SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenario.c_str());
        SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", (m_strFolder + "\\journal.txt").c_str());
        SetEnvironmentVariableA("LINOSCOPE3_TAPI_DLL",
                                m_eSimulator == ESimulator::Planted ? nullptr : m_strSimulator.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.lpDesktop = const_cast<LPSTR>(kDesktopName);
        std::string strCommand = "\"" + strExe + "\"";
        if (!CreateProcessA(strExe.c_str(), strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, m_strFolder.c_str(),
                            &startup, &m_process)) {
            m_process = PROCESS_INFORMATION{};
            return Fail("cannot start " + strExe);
        }
        if (eStart == EStart::LaunchOnly) return true;
        if (!WaitUntil([this] { return HasExited() || FindWindows(); }, dwTimeoutMs) || HasExited()) {
            Screenshot(m_strName + "-start-failed", 0);
            return Fail(std::string("the main window with its three trees did not show") +
                        (HasExited() ? " (the program ended)" : "") + "; windows: " + DescribeWindows());
        }
        // A PBX on its own clock keeps the program busy: no waiting for a quiet moment.
        return eStart == EStart::RealTime || Sync();
    }
    // Why the last Start, Advance or Sync failed.
    const std::string& Fault() const { return m_strFault; }
    // Whether the simulator's file is mapped into the program at all.
    bool HasLoadedSimulator() const {
        HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, m_process.dwProcessId);
        bool bFound = false;
        MODULEENTRY32 module{};
        module.dwSize = sizeof module;
        for (BOOL b = Module32First(hSnapshot, &module); b && !bFound; b = Module32Next(hSnapshot, &module))
            bFound = lstrcmpiA(module.szExePath, m_strSimulator.c_str()) == 0;
        if (hSnapshot != INVALID_HANDLE_VALUE) CloseHandle(hSnapshot);
        return bFound;
    }

    DWORD GetProcessId() const { return m_process.dwProcessId; }
    HANDLE GetProcess() const { return m_process.hProcess; }
    HWND GetFrame() const { return m_hFrame; }

    // The items under hParent (all of them from the root), each followed by its own.
    std::vector<CTreeRow> ReadTree(ETree eTree, HTREEITEM hParent = nullptr, int nDepth = 0) const {
        const HWND hTree = m_hTrees[eTree];
        std::vector<CTreeRow> rows;
        const auto next = [&](UINT nFlag, HTREEITEM h) {
            return reinterpret_cast<HTREEITEM>(Ask(hTree, TVM_GETNEXTITEM, nFlag, reinterpret_cast<LPARAM>(h)));
        };
        for (HTREEITEM hItem = next(hParent == nullptr ? TVGN_ROOT : TVGN_CHILD, hParent); hItem != nullptr;
             hItem = next(TVGN_NEXT, hItem)) {
            struct {
                TVITEMA item;
                char szText[kTextChars + 1];
            } block{};
            block.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_HANDLE;
            block.item.hItem = hItem;
            block.item.pszText = m_pRemote + sizeof(TVITEMA);
            block.item.cchTextMax = kTextChars;
            if (!AskRemote(hTree, TVM_GETITEMA, 0, &block, sizeof(TVITEMA) + kTextChars)) continue;
            rows.push_back({nDepth, block.szText, block.item.lParam, hItem});
            const std::vector<CTreeRow> children = ReadTree(eTree, hItem, nDepth + 1);
            rows.insert(rows.end(), children.begin(), children.end());
        }
        return rows;
    }
    // The three trees, left to right, as lines: two blanks of indent per
    // level, and after an item that carries item data (a call) the handle.
    Texts TreeLines() const {
        Texts lines;
        for (ETree eTree : {kCo, kExt, kEtc}) {
            for (const CTreeRow& row : ReadTree(eTree)) {
                char szCall[32] = "";
                if (row.m_lParam != 0) std::snprintf(szCall, sizeof szCall, "  [hCall=0x%08X]", unsigned(row.m_lParam));
                lines.push_back(std::string(row.m_nDepth * 2, ' ') + row.m_strText + szCall);
            }
        }
        return lines;
    }
    // Clicks the item as a person does and waits until it is the selection.
    bool Select(ETree eTree, HTREEITEM hItem) {
        HWND hTree = m_hTrees[eTree];
        Ask(hTree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem));
        // TVM_GETITEMRECT takes the item in the RECT it fills.
        RECT rc{};
        std::memcpy(&rc, &hItem, sizeof hItem);
        if (!AskRemote(hTree, TVM_GETITEMRECT, TRUE, &rc, sizeof rc)) return false;
        const LPARAM lPoint = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        PostMessageA(hTree, WM_LBUTTONDOWN, MK_LBUTTON, lPoint);
        PostMessageA(hTree, WM_LBUTTONUP, 0, lPoint);
        return Sync() && Selected(eTree) == hItem;
    }
    HTREEITEM Selected(ETree eTree) const {
        return reinterpret_cast<HTREEITEM>(Ask(m_hTrees[eTree], TVM_GETNEXTITEM, TVGN_CARET));
    }

    // Moves the scenario clock in steps of at most stepMs, letting the
    // program handle everything each step caused before the next one.
    bool Advance(DWORD dwMs, DWORD dwStepMs = 250) {
        for (DWORD dwStep; dwMs > 0; dwMs -= dwStep) {
            dwStep = std::min(dwMs, dwStepMs);
            LONG lResult = 0;
            if (!AskSimulator(kAdvanceClockMessage, dwStep, &lResult)) return false;
            if (lResult < 0) return Fail("the simulator refused to move its clock");
            if (!Sync()) return false;
        }
        return true;
    }
    // Once the program has handled every message posted to its thread
    // before the call and every one the simulator holds for it.
    bool Sync(DWORD dwTimeoutMs = 30000) {
        // The simulator hands its messages over a batch at a time: the queue is
        // in sync once nothing waits in the simulator after a round through it.
        // A posted message is handled after everything posted to the thread
        // before it. The tree view's scroll time is a value nobody sees (the
        // control keeps at most 100): set it by a posted message and wait until it reads back.
        HWND hTree = m_hTrees[0];
        for (ULONGLONG qwNow = GetTickCount64(), qwEnd = qwNow + dwTimeoutMs; qwNow < qwEnd; qwNow = GetTickCount64()) {
            // Each value differs from the one before, which the control holds.
            const UINT uWanted = m_nSyncValue = m_nSyncValue % 99 + 1;
            LONG lPending = 0;
            if (!PostMessageA(hTree, TVM_SETSCROLLTIME, uWanted, 0) ||
                !WaitUntil([&] { return Ask(hTree, TVM_GETSCROLLTIME) == static_cast<LRESULT>(uWanted); },
                           static_cast<DWORD>(qwEnd - qwNow)))
                break;
            if (!AskSimulator(kPendingCountMessage, 0, &lPending)) return false;
            if (lPending == 0) return true;
        }
        // Busy (a loop) or blocked (a deadlock): the program's processor time tells.
        const auto cpuMs = [this] {
            FILETIME ft[4];
            GetProcessTimes(m_process.hProcess, &ft[0], &ft[1], &ft[2], &ft[3]);
            return ((ULONGLONG(ft[2].dwHighDateTime) << 32 | ft[2].dwLowDateTime) +
                    (ULONGLONG(ft[3].dwHighDateTime) << 32 | ft[3].dwLowDateTime)) /
                   10000;
        };
        const ULONGLONG qwBusyMs = cpuMs();
        Sleep(2000);
        return Fail("the program's window thread did not answer within " + std::to_string(dwTimeoutMs) +
                    " ms; it used " + std::to_string(cpuMs() - qwBusyMs) +
                    " ms of processor time in the 2 s after; windows: " + DescribeWindows());
    }

    void Command(UINT nId) const { PostMessageA(m_hFrame, WM_COMMAND, nId, 0); }
    void Close() const {
        if (m_hFrame != nullptr && IsWindow(m_hFrame)) PostMessageA(m_hFrame, WM_CLOSE, 0, 0);
    }
    bool WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode = nullptr) const {
        if (WaitForSingleObject(m_process.hProcess, dwTimeoutMs) != WAIT_OBJECT_0) return false;
        if (pdwExitCode != nullptr) GetExitCodeProcess(m_process.hProcess, pdwExitCode);
        return true;
    }
    bool HasExited() const { return WaitForExit(0); }
    // Within a minute, with exit code 0, and by the simulator's journal: one
    // TAPI session, which opened nLines lines and ended with a clean
    // lineShutdown (every line closed before it) as the last thing the
    // program (not the PBX) did.
    ::testing::AssertionResult EndsCleanly(size_t nLines) const {
        DWORD dwExitCode = 1;
        if (!WaitForExit(60000, &dwExitCode))
            return ::testing::AssertionFailure() << "the program did not end; windows: " << DescribeWindows();
        static const std::regex open(R"(^lineOpenA .* -> 0 hLine=0x[0-9A-F]+$)");
        size_t nSessions = 0, nOpened = 0;
        std::string strLast;
        for (const std::string& line : JournalLines()) {
            nSessions += line.rfind("lineInitializeExA ", 0) == 0;
            nOpened += std::regex_match(line, open);
            // The PBX's own notes (callOffered, callEnded, ...) come as its calls please.
            if (line.rfind("call", 0) != 0) strLast = line;
        }
        if (dwExitCode == 0 && nSessions == 1 && nOpened == nLines &&
            strLast == "lineShutdown hLineApp=0x00010001 -> 0 linesStillOpen=0")
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "exit code " << dwExitCode << "; " << nSessions << " sessions, "
                                             << nOpened << " lines opened; the last call: " << strLast;
    }

    Texts LogLines() const { return CrLfLines(std::ifstream(m_strFolder + "\\testlog.csv", std::ios::binary)); }
    Texts JournalLines() const { return CrLfLines(std::ifstream(m_strFolder + "\\journal.txt", std::ios::binary)); }
    // A part of the status bar, as it reads now.
    std::string StatusText(int nPart) const {
        char szText[kTextChars] = "";
        const HWND hBar = FindWindowExA(m_hFrame, nullptr, STATUSCLASSNAMEA, nullptr);
        return hBar != nullptr && AskRemote(hBar, SB_GETTEXTA, nPart, szText, sizeof szText) ? szText : "";
    }
    // The event log opened as another program may hold it: read access
    // shared, write access not, so the program cannot open it to append.
    HANDLE HoldLog() const {
        return CreateFileA((m_strFolder + "\\testlog.csv").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }

    // A window of the program other than the frame with that title, once it shows.
    HWND WaitForDialog(const char* pszTitle, DWORD dwTimeoutMs = 30000) const {
        HWND hFound = nullptr;
        WaitUntil(
            [&] {
                for (HWND hWnd : TopLevelWindows(m_process.dwProcessId, pszTitle))
                    hFound = hWnd != m_hFrame ? hWnd : hFound;
                return hFound != nullptr;
            },
            dwTimeoutMs);
        return hFound;
    }
    // Saves the screen as <name>.bmp in the shots folder (the test script
    // turns them into PNG files), after giving the program time to paint.
    void Screenshot(const std::string& strName, DWORD dwPaintMs = 500) const {
        if (m_hFrame != nullptr) RedrawWindow(m_hFrame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
        Sleep(dwPaintMs);
        CreateDirectoryA(WindowsPath(E2E_SHOTS).c_str(), nullptr);
        // The whole virtual desktop as a 24-bit BMP file.
        RECT rc{};
        GetWindowRect(GetDesktopWindow(), &rc);
        // Bottom-up (a positive height), as BMP files keep rows; 24 bits a pixel.
        BITMAPINFOHEADER info{sizeof info, rc.right - rc.left, rc.bottom - rc.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* pBits = nullptr;
        HDC hScreen = GetDC(nullptr), hMemory = CreateCompatibleDC(hScreen);
        HBITMAP hBitmap =
            CreateDIBSection(hScreen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pBits, nullptr, 0);
        HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
        BitBlt(hMemory, 0, 0, info.biWidth, info.biHeight, hScreen, rc.left, rc.top, SRCCOPY);
        GdiFlush();
        const DWORD cbBits = static_cast<DWORD>((info.biWidth * 3 + 3) & ~3) * static_cast<DWORD>(info.biHeight);
        const DWORD cbOffset = sizeof(BITMAPFILEHEADER) + sizeof info;
        const BITMAPFILEHEADER file{0x4D42, cbOffset + cbBits, 0, 0, cbOffset};  // "BM"
        if (pBits != nullptr)
            std::ofstream(WindowsPath(E2E_SHOTS) + "\\" + strName + ".bmp", std::ios::binary)
                .write(reinterpret_cast<const char*>(&file), sizeof file)
                .write(reinterpret_cast<const char*>(&info), sizeof info)
                .write(static_cast<const char*>(pBits), cbBits);
        SelectObject(hMemory, hOld);
        DeleteObject(hBitmap);
        DeleteDC(hMemory);
        ReleaseDC(nullptr, hScreen);
    }
    // The program's top-level windows, their classes, titles and controls' texts.
    std::string DescribeWindows() const {
        std::string str;
        for (HWND hWnd : TopLevelWindows(m_process.dwProcessId)) {
            str.append("[").append(ClassOf(hWnd)).append(" \"").append(WindowText(hWnd)).append("\"");
            for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT))
                str.append(" {").append(WindowText(hChild)).append("}");
            str += "] ";
        }
        return str.empty() ? "none" : str;
    }

private:
    bool FindWindows() {
        for (HWND hWnd : TopLevelWindows(m_process.dwProcessId, "Linoscope3")) {
            std::map<LONG, HWND> trees;
            EnumChildWindows(hWnd, CollectTreeView, reinterpret_cast<LPARAM>(&trees));
            // Filled once the start-up is over.
            if (trees.size() != 3 ||
                !std::all_of(trees.begin(), trees.end(), [](auto& tree) { return Ask(tree.second, TVM_GETCOUNT); }))
                continue;
            m_hFrame = hWnd;
            std::transform(trees.begin(), trees.end(), m_hTrees, [](auto& tree) { return tree.second; });
            // Room in the program for what the tree controls are asked to fill
            // in: a TVITEMA, then the text it points at. It goes with the process.
            m_pRemote = static_cast<char*>(
                VirtualAllocEx(m_process.hProcess, nullptr, sizeof(TVITEMA) + kTextChars, MEM_COMMIT, PAGE_READWRITE));
            return m_pRemote != nullptr;
        }
        return false;
    }
    // Sends a message whose lParam points at the data, copied into the
    // program and back.
    bool AskRemote(HWND hControl, UINT uMsg, WPARAM wParam, void* pData, size_t cb) const {
        SIZE_T cbDone = 0;
        return WriteProcessMemory(m_process.hProcess, m_pRemote, pData, cb, nullptr) &&
               Ask(hControl, uMsg, wParam, reinterpret_cast<LPARAM>(m_pRemote)) &&
               ReadProcessMemory(m_process.hProcess, m_pRemote, pData, cb, &cbDone) && cbDone == cb;
    }
    // Sends a message to the simulator's window in the program.
    bool AskSimulator(UINT uMsg, WPARAM wParam, LONG* plResult) {
        // The window of the program's current TAPI session: a restart makes a new one.
        HWND hWnd = nullptr;
        for (HWND h = nullptr; hWnd == nullptr && (h = FindWindowExA(HWND_MESSAGE, h, kSimulatorWindow, nullptr));) {
            DWORD dwProcessId = 0;
            GetWindowThreadProcessId(h, &dwProcessId);
            if (dwProcessId == m_process.dwProcessId) hWnd = h;
        }
        // Without one (TAPI shut down, say for REINIT) nothing waits for the program.
        DWORD_PTR dwResult = 0;
        *plResult = 0;
        if (hWnd == nullptr) return uMsg == kPendingCountMessage || Fail("the program has no simulator window");
        if (!SendMessageTimeoutA(hWnd, uMsg, wParam, 0, SMTO_NORMAL, 30000, &dwResult))
            return Fail("the simulator's window in the program did not answer");
        *plResult = static_cast<LONG>(dwResult);
        return true;
    }
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
