#include "ProgramRun.h"

#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace e2e {

namespace {

constexpr char kDesktopName[] = "Linoscope3E2E";
constexpr char kDesktopSize[] = "1280x800";
constexpr DWORD kAnswerMs = 5000;
constexpr DWORD kRemoteCallMs = 30000;
// Longer than any label or detail line; call details hang three levels
// below a root, so deeper means a broken tree.
constexpr int kTextChars = 1024;
constexpr int kMaxDepth = 8;

// The build hands its paths over as Unix paths; Wine shows / as drive Z:.
std::string WindowsPath(std::string str) {
    if (!str.empty() && str[0] == '/') str = "Z:" + str;
    std::replace(str.begin(), str.end(), '/', '\\');
    return str;
}

std::string ClassOf(HWND hWnd) {
    char sz[64] = "";
    GetClassNameA(hWnd, sz, sizeof sz);
    return sz;
}

// Named WINAPI functions: a lambda converts only to the default calling
// convention, which is not the callbacks' on 32-bit Windows.
BOOL CALLBACK CollectTreeView(HWND hWnd, LPARAM lParam) {
    if (lstrcmpiA(ClassOf(hWnd).c_str(), WC_TREEVIEWA) == 0)
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

struct CWindowSearch {
    DWORD m_dwProcessId;
    const char* m_pszTitle;
    std::vector<HWND> m_found;
};

BOOL CALLBACK CollectTopLevelWindow(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<CWindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pSearch->m_dwProcessId && IsWindowVisible(hWnd) &&
        (pSearch->m_pszTitle == nullptr || WindowText(hWnd) == pSearch->m_pszTitle))
        pSearch->m_found.push_back(hWnd);
    return TRUE;
}

// Memory in another process, freed with the object.
struct CRemoteBuffer {
    CRemoteBuffer(HANDLE hProcess, SIZE_T cb)
        : m_hProcess(hProcess),
          m_p(static_cast<char*>(VirtualAllocEx(hProcess, nullptr, cb, MEM_COMMIT, PAGE_READWRITE))) {}
    ~CRemoteBuffer() {
        if (m_p != nullptr) VirtualFreeEx(m_hProcess, m_p, 0, MEM_RELEASE);
    }
    bool Write(const void* pData, SIZE_T cb, SIZE_T offset = 0) const {
        SIZE_T cbDone = 0;
        return m_p != nullptr && WriteProcessMemory(m_hProcess, m_p + offset, pData, cb, &cbDone) && cbDone == cb;
    }
    bool Read(void* pData, SIZE_T cb, SIZE_T offset = 0) const {
        SIZE_T cbDone = 0;
        return m_p != nullptr && ReadProcessMemory(m_hProcess, m_p + offset, pData, cb, &cbDone) && cbDone == cb;
    }
    HANDLE m_hProcess;
    char* m_p;
};

void ReadChildren(HANDLE hProcess, HWND hTree, HTREEITEM hParent, std::vector<CTreeNode>* pChildren, int nDepth) {
    // One block in the target: the TVITEMA, then the text buffer it points at.
    CRemoteBuffer buffer(hProcess, sizeof(TVITEMA) + kTextChars);
    const auto next = [&](UINT nFlag, HTREEITEM h) {
        return reinterpret_cast<HTREEITEM>(Ask(hTree, TVM_GETNEXTITEM, nFlag, reinterpret_cast<LPARAM>(h)));
    };
    for (HTREEITEM hItem = next(hParent == nullptr ? TVGN_ROOT : TVGN_CHILD, hParent); hItem != nullptr;
         hItem = next(TVGN_NEXT, hItem)) {
        TVITEMA item{};
        item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_HANDLE;
        item.hItem = hItem;
        item.pszText = buffer.m_p + sizeof(TVITEMA);
        item.cchTextMax = kTextChars;
        char szText[kTextChars + 1] = {};
        if (!buffer.Write(&item, sizeof item) || !buffer.Write(szText, 1, sizeof item) ||
            !Ask(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.m_p)) || !buffer.Read(&item, sizeof item) ||
            !buffer.Read(szText, kTextChars, sizeof item))
            continue;
        CTreeNode node{hItem, szText, item.lParam, {}};
        if (nDepth < kMaxDepth) ReadChildren(hProcess, hTree, hItem, &node.m_children, nDepth + 1);
        pChildren->push_back(std::move(node));
    }
}

void AddLines(const CTreeNode& node, int nDepth, Texts* pLines) {
    pLines->push_back(std::string(static_cast<size_t>(nDepth) * 2, ' ') + node.m_strText +
                      (node.m_lParam != 0 ? "  [call]" : ""));
    for (const CTreeNode& child : node.m_children) AddLines(child, nDepth + 1, pLines);
}

// A remote thread's start, on a thread of its own: under Wine,
// CreateRemoteThread waits without a limit for a thread of the target to
// start the new one. A start that never comes leaves this thread behind.
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

// Saves what the screen shows (the whole virtual desktop) as a 24-bit BMP file.
void SaveScreenBmp(const std::string& strPath) {
    RECT rc{};
    GetWindowRect(GetDesktopWindow(), &rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    HDC hScreen = GetDC(nullptr);
    HDC hMemory = CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = CreateCompatibleBitmap(hScreen, cx, cy);
    HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
    BitBlt(hMemory, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY);
    SelectObject(hMemory, hOld);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = cx;
    info.biHeight = cy;  // bottom-up, as BMP files keep rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string bits(static_cast<size_t>((cx * 3 + 3) & ~3) * static_cast<size_t>(cy), '\0');
    GetDIBits(hMemory, hBitmap, 0, static_cast<UINT>(cy), bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    const DWORD cbOffset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(cbOffset + bits.size()), 0, 0, cbOffset};  // "BM"
    std::ofstream(strPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(&file), sizeof file)
        .write(reinterpret_cast<const char*>(&info), sizeof info)
        .write(bits.data(), static_cast<std::streamsize>(bits.size()));
    DeleteObject(hBitmap);
    DeleteDC(hMemory);
    ReleaseDC(nullptr, hScreen);
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

std::string ScenarioPath(const std::string& strName) {
    return WindowsPath(E2E_SCENARIOS) + "\\" + strName;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs) {
    for (const ULONGLONG qwEnd = GetTickCount64() + dwTimeoutMs; !condition(); Sleep(50)) {
        if (GetTickCount64() >= qwEnd) return false;
    }
    return true;
}

LRESULT Ask(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR dwResult = 0;
    return SendMessageTimeoutA(hWnd, uMsg, wParam, lParam, SMTO_NORMAL, kAnswerMs, &dwResult) ? dwResult : 0;
}

std::string WindowText(HWND hWnd) {
    std::string str(static_cast<size_t>(Ask(hWnd, WM_GETTEXTLENGTH)) + 1, '\0');
    const auto nCopied = static_cast<size_t>(Ask(hWnd, WM_GETTEXT, str.size(), reinterpret_cast<LPARAM>(str.data())));
    str.resize(std::min(nCopied, str.size() - 1));
    return str;
}

std::vector<HWND> TopLevelWindows(DWORD dwProcessId, const char* pszTitle) {
    CWindowSearch search{dwProcessId, pszTitle, {}};
    EnumWindows(CollectTopLevelWindow, reinterpret_cast<LPARAM>(&search));
    return search.m_found;
}

Texts ReadCrLfLines(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    Texts lines;
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
      m_strSimulator(m_strFolder + "\\" + (eSimulator == ESimulator::Chosen ? "PbxSimulator.dll" : "TAPI32.DLL")),
      m_eSimulator(eSimulator) {}

CProgramRun::~CProgramRun() {
    if (m_process.hProcess == nullptr) return;
    // A test that failed half-way leaves dialogs open: no waiting long for a polite close.
    if (!HasExited()) {
        Close();
        if (!WaitForExit(10000)) TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

bool CProgramRun::Fail(const std::string& strWhy) {
    m_strFault = strWhy;
    return false;
}

bool CProgramRun::Launch() {
    CreateDirectoryA(WindowsPath(E2E_RUNS).c_str(), nullptr);
    std::error_code error;
    std::filesystem::remove_all(m_strFolder, error);
    if (!CreateDirectoryA(m_strFolder.c_str(), nullptr)) return Fail("cannot make " + m_strFolder);
    const std::string strExe = m_strFolder + "\\Linoscope3.exe";
    const std::string strScenario = m_strFolder + "\\scenario.json";
    for (const auto& [strFrom, strTo] : {std::pair{WindowsPath(E2E_PROGRAM), strExe},
                                         {WindowsPath(E2E_SIMULATOR), m_strSimulator},
                                         {ScenarioPath(m_strScenario), strScenario}}) {
        if (!CopyFileA(strFrom.c_str(), strTo.c_str(), FALSE)) return Fail("cannot copy " + strFrom);
    }
    // The program inherits these; the clock stands still until the test
    // moves it, unless Start was asked for the PBX's own clock.
    SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenario.c_str());
    SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", (m_strFolder + "\\journal.txt").c_str());
    SetEnvironmentVariableA("LINOSCOPE3_TAPI_DLL",
                            m_eSimulator == ESimulator::Planted ? nullptr : m_strSimulator.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<LPSTR>(kDesktopName);
    std::string strCommand = "\"" + strExe + "\"";
    if (CreateProcessA(strExe.c_str(), strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, m_strFolder.c_str(),
                       &startup, &m_process))
        return true;
    m_process = PROCESS_INFORMATION{};
    return Fail("cannot start " + strExe);
}

bool CProgramRun::Start(bool bRealTimeClock, DWORD dwTimeoutMs) {
    SetEnvironmentVariableA("LINOSCOPE3_SIM_MANUAL_CLOCK", bRealTimeClock ? "0" : "1");
    if (!Launch()) return false;
    if (!WaitUntil([this] { return HasExited() || FindWindows(); }, dwTimeoutMs) || HasExited()) {
        Screenshot(m_strName + "-start-failed", 0);
        return Fail(std::string("the main window with its three trees did not show") +
                    (HasExited() ? " (the program ended)" : "") + "; windows: " + DescribeWindows());
    }
    m_pfnAdvanceClock = FindSimulatorExport("simAdvanceClock");
    m_pfnPendingCount = FindSimulatorExport("simGetPendingCount");
    if (m_pfnAdvanceClock == nullptr || m_pfnPendingCount == nullptr)
        return Fail("the program did not load the simulator " + m_strSimulator);
    // A PBX on its own clock keeps the program busy: no waiting for a quiet moment.
    return bRealTimeClock || Sync();
}

std::string CProgramRun::DescribeWindows() const {
    std::string str;
    for (HWND hWnd : TopLevelWindows(m_process.dwProcessId)) {
        str.append("[").append(ClassOf(hWnd)).append(" \"").append(WindowText(hWnd)).append("\"");
        for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT))
            str.append(" {").append(WindowText(hChild)).append("}");
        str += "] ";
    }
    return str.empty() ? "none" : str;
}

bool CProgramRun::FindWindows() {
    for (HWND hWnd : TopLevelWindows(m_process.dwProcessId, "Linoscope3")) {
        std::vector<HWND> trees;
        EnumChildWindows(hWnd, CollectTreeView, reinterpret_cast<LPARAM>(&trees));
        // Left to right, as a person reads the window; filled once the start-up is over.
        std::sort(trees.begin(), trees.end(), [](HWND a, HWND b) {
            RECT ra{}, rb{};
            GetWindowRect(a, &ra);
            GetWindowRect(b, &rb);
            return ra.left < rb.left;
        });
        if (trees.size() != 3 || !std::all_of(trees.begin(), trees.end(), [](HWND h) { return Ask(h, TVM_GETCOUNT); }))
            continue;
        m_hFrame = hWnd;
        std::copy(trees.begin(), trees.end(), m_hTrees);
        return true;
    }
    return false;
}

std::vector<CTreeNode> CProgramRun::ReadTree(ETree eTree) const {
    std::vector<CTreeNode> roots;
    ReadChildren(m_process.hProcess, m_hTrees[eTree], nullptr, &roots, 0);
    return roots;
}

Texts CProgramRun::TreeLines(ETree eTree) const {
    Texts lines;
    for (const CTreeNode& node : ReadTree(eTree)) AddLines(node, 0, &lines);
    return lines;
}

const CTreeNode* CProgramRun::FindLine(const std::vector<CTreeNode>& roots, const std::string& strLabel) const {
    if (roots.empty()) return nullptr;
    for (const CTreeNode& line : roots[0].m_children) {
        if (line.m_strText == strLabel) return &line;
    }
    return nullptr;
}

HTREEITEM CProgramRun::Selected(ETree eTree) const {
    return reinterpret_cast<HTREEITEM>(Ask(m_hTrees[eTree], TVM_GETNEXTITEM, TVGN_CARET));
}

bool CProgramRun::Select(ETree eTree, HTREEITEM hItem) {
    HWND hTree = m_hTrees[eTree];
    Ask(hTree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem));
    // TVM_GETITEMRECT takes the item in the RECT it fills.
    CRemoteBuffer buffer(m_process.hProcess, sizeof(RECT));
    RECT rc{};
    if (!buffer.Write(&hItem, sizeof hItem) ||
        !Ask(hTree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(buffer.m_p)) || !buffer.Read(&rc, sizeof rc))
        return false;
    const LPARAM lPoint = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageA(hTree, WM_LBUTTONDOWN, MK_LBUTTON, lPoint);
    PostMessageA(hTree, WM_LBUTTONUP, 0, lPoint);
    return Sync() && Selected(eTree) == hItem;
}

// The address of an export of the simulator as the program loaded it: its
// place in the file, as this process finds it in the same file mapped
// without running it, from where the program has the file.
void* CProgramRun::FindSimulatorExport(const char* pszName) const {
    static HMODULE hImage = LoadLibraryExA(WindowsPath(E2E_SIMULATOR).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
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

bool CProgramRun::CallRemote(void* pFunction, DWORD dwArgument, DWORD* pdwResult) {
    auto* pStart = new CRemoteStart{m_process.hProcess, pFunction, dwArgument, nullptr};
    HANDLE hStarter = CreateThread(nullptr, 0, StartRemoteThread, pStart, 0, nullptr);
    const bool bStarted = hStarter != nullptr && WaitForSingleObject(hStarter, kRemoteCallMs) == WAIT_OBJECT_0;
    if (hStarter != nullptr) CloseHandle(hStarter);
    if (!bStarted) return Fail("no thread of the program started the call into the simulator");
    HANDLE hThread = pStart->m_hThread;
    delete pStart;
    if (hThread == nullptr) return Fail("CreateRemoteThread failed");
    // A thread that runs on is left running: ending it could leave the simulator's lock taken.
    const bool bDone =
        WaitForSingleObject(hThread, kRemoteCallMs) == WAIT_OBJECT_0 && GetExitCodeThread(hThread, pdwResult) != FALSE;
    CloseHandle(hThread);
    return bDone || Fail("the call into the simulator did not return");
}

bool CProgramRun::Advance(DWORD dwMs, DWORD dwStepMs) {
    for (DWORD dwStep; dwMs > 0; dwMs -= dwStep) {
        dwStep = std::min(dwMs, dwStepMs);
        DWORD dwResult = 0;
        if (!CallRemote(m_pfnAdvanceClock, dwStep, &dwResult)) return false;
        if (static_cast<LONG>(dwResult) < 0) return Fail("the simulator refused to move its clock");
        if (!Sync()) return false;
    }
    return true;
}

bool CProgramRun::Sync(DWORD dwTimeoutMs) {
    // The simulator hands its messages over a batch at a time: the queue is
    // in sync once nothing waits in the simulator after a round through it.
    for (const ULONGLONG qwEnd = GetTickCount64() + dwTimeoutMs;;) {
        const ULONGLONG qwNow = GetTickCount64();
        if (qwNow >= qwEnd || !SyncQueue(static_cast<DWORD>(qwEnd - qwNow))) break;
        DWORD dwPending = 0;
        if (!CallRemote(m_pfnPendingCount, 0, &dwPending)) return false;
        if (dwPending == 0) return true;
    }
    // Busy (a loop) or blocked (a deadlock): the program's processor time tells.
    FILETIME ft[4][2];
    GetProcessTimes(m_process.hProcess, &ft[0][0], &ft[1][0], &ft[2][0], &ft[3][0]);
    Sleep(2000);
    GetProcessTimes(m_process.hProcess, &ft[0][1], &ft[1][1], &ft[2][1], &ft[3][1]);
    const auto ms = [&](int n, int i) {
        return ((static_cast<ULONGLONG>(ft[n][i].dwHighDateTime) << 32) | ft[n][i].dwLowDateTime) / 10000;
    };
    return Fail("the program's window thread did not answer within " + std::to_string(dwTimeoutMs) + " ms; it used " +
                std::to_string(ms(2, 1) + ms(3, 1) - ms(2, 0) - ms(3, 0)) +
                " ms of processor time in the 2 s after; windows: " + DescribeWindows());
}

bool CProgramRun::SyncQueue(DWORD dwTimeoutMs) {
    // A posted message is handled after everything posted to the thread
    // before it. The tree view's scroll time is a value nobody sees (the
    // control keeps at most 100): set it by a posted message and wait until it reads back.
    HWND hTree = m_hTrees[0];
    DWORD_PTR dwValue = 0;
    if (!SendMessageTimeoutA(hTree, TVM_GETSCROLLTIME, 0, 0, SMTO_NORMAL, dwTimeoutMs, &dwValue)) return false;
    m_nSyncValue = m_nSyncValue % 99 + 1;
    if (m_nSyncValue == dwValue) m_nSyncValue = m_nSyncValue % 99 + 1;
    const UINT uWanted = m_nSyncValue;
    return PostMessageA(hTree, TVM_SETSCROLLTIME, uWanted, 0) &&
           WaitUntil([&] { return Ask(hTree, TVM_GETSCROLLTIME) == static_cast<LRESULT>(uWanted); }, dwTimeoutMs);
}

void CProgramRun::Close() const {
    if (m_hFrame != nullptr && IsWindow(m_hFrame)) PostMessageA(m_hFrame, WM_CLOSE, 0, 0);
}

bool CProgramRun::WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode) const {
    if (m_process.hProcess == nullptr) return true;
    if (WaitForSingleObject(m_process.hProcess, dwTimeoutMs) != WAIT_OBJECT_0) return false;
    if (pdwExitCode != nullptr) GetExitCodeProcess(m_process.hProcess, pdwExitCode);
    return true;
}

HWND CProgramRun::WaitForDialog(const char* pszTitle, DWORD dwTimeoutMs) const {
    HWND hFound = nullptr;
    WaitUntil(
        [&] {
            for (HWND hWnd : TopLevelWindows(m_process.dwProcessId, pszTitle)) {
                if (hWnd != m_hFrame) hFound = hWnd;
            }
            return hFound != nullptr;
        },
        dwTimeoutMs);
    return hFound;
}

void CProgramRun::Screenshot(const std::string& strName, DWORD dwPaintMs) const {
    if (m_hFrame != nullptr) RedrawWindow(m_hFrame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(dwPaintMs);
    CreateDirectoryA(WindowsPath(E2E_SHOTS).c_str(), nullptr);
    SaveScreenBmp(WindowsPath(E2E_SHOTS) + "\\" + strName + ".bmp");
}

}  // namespace e2e
