// The simulator as TAPI32.DLL: the sixteen line functions a monitoring
// application binds, over the portable CSimTapi, plus a few control exports
// for tests. Messages reach the application through a hidden window created
// on the thread that called lineInitializeExA, so a callback never runs inside
// the TAPI call that caused it nor on another thread. The window's own queue
// holds the messages; one posted wake at a time tells the window procedure to
// deliver a bounded batch, so whatever the application is asked meanwhile (a
// command, a close) waits for one batch, not for every message of a busy PBX,
// and keyboard and mouse get their turn between batches, painting every
// 100 ms. The scenario clock runs on a thread of its own, as a real PBX runs
// beside the application: however busy the application's thread is, what
// falls due happens in time, unless a test steps the clock itself.
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/WinTypes.h"
#include "service/SimTapi.h"

extern "C" LONG WINAPI simAdvanceClock(DWORD dwMilliseconds);
extern "C" DWORD WINAPI simGetPendingCount();

namespace {

using sim::CSimMessage;

constexpr UINT kWakeMessage = WM_APP + 0x54;
constexpr UINT_PTR kWakeTimer = 1;
constexpr DWORD kClockPeriodMs = 100;
// One wake delivers at most this many messages, and stops starting new ones
// after this long.
constexpr DWORD kBatchMessages = 64;
constexpr ULONGLONG kBatchMs = 25;
// Painting waiting for the queue to empty gets a turn this often; input
// gets one after every batch.
constexpr ULONGLONG kPaintPeriodMs = 100;
constexpr char kWindowClass[] = "Linoscope3SimTapiWindow";
// Sent to an application's window by a test in another process: the same
// as simAdvanceClock (wParam: milliseconds) and simGetPendingCount.
constexpr UINT kAdvanceClockMessage = WM_APP + 0x55;
constexpr UINT kPendingCountMessage = WM_APP + 0x56;

struct CAppWindow {
    HWND m_hWnd = nullptr;
    LINECALLBACK m_pfnCallback = nullptr;
    std::deque<CSimMessage> m_queue;
    // A wake is posted, or its timer set, and has not yet run.
    bool m_bWakePending = false;
    // When painting last got its turn.
    ULONGLONG m_qwLastPaintTurn = 0;
};

HINSTANCE g_hInstance = nullptr;
std::mutex g_mutex;
std::unique_ptr<sim::CSimTapi> g_pTapi;
std::map<HLINEAPP, CAppWindow> g_windows;
bool g_bManualClock = false;
ULONGLONG g_qwLastTick = 0;
bool g_bClockThread = false;
std::string g_strLastError;
std::string g_strJournal;  // LINOSCOPE3_SIM_JOURNAL; empty: no journal
std::unique_ptr<std::ofstream> g_pJournal;

std::string EnvironmentValue(const char* pszName) {
    char sz[1024];
    DWORD dw = GetEnvironmentVariableA(pszName, sz, sizeof sz);
    return dw > 0 && dw < sizeof sz ? std::string(sz, dw) : std::string();
}

// Open for as long as the PBX lives: opening it for every line made a close
// of a thousand lines slow. Each line is written through at once.
void AppendJournal(const std::string& strLine) {
    if (g_pJournal) {
        *g_pJournal << strLine << "\r\n";
        g_pJournal->flush();
    }
}

// Notes each call handed to an application (its LINE_APPNEWCALL goes out)
// and each call the PBX ended on a line an application watches (its IDLE
// state goes out), with the line, so a test can match every end against what
// the application recorded. Called with g_mutex held.
void JournalCallEvent(const CSimMessage& message) {
    if (g_strJournal.empty()) {
        return;
    }
    if (message.m_dwMessage == LINE_APPNEWCALL) {
        char sz[64];
        std::snprintf(sz, sizeof sz, "callOffered hCall=0x%08X hLine=0x%08X", unsigned(message.m_dwParam2),
                      unsigned(message.m_hDevice));
        AppendJournal(sz);
        return;
    }
    if (message.m_dwMessage != LINE_CALLSTATE || message.m_dwParam1 != LINECALLSTATE_IDLE) {
        return;
    }
    alignas(LINECALLINFO) BYTE info[1024] = {};
    auto* pInfo = reinterpret_cast<LINECALLINFO*>(info);
    pInfo->dwTotalSize = sizeof info;
    char sz[96];
    if (g_pTapi->GetCallInfo(message.m_hDevice, pInfo) == 0) {
        std::snprintf(sz, sizeof sz, "callEnded hCall=0x%08X hLine=0x%08X device=%u", unsigned(message.m_hDevice),
                      unsigned(pInfo->hLine), unsigned(pInfo->dwLineDeviceID));
    } else {
        std::snprintf(sz, sizeof sz, "callEnded hCall=0x%08X", unsigned(message.m_hDevice));
    }
    AppendJournal(sz);
}

// Notes a call end that never reaches its application: the application ended,
// closed the line or shut down before its IDLE state was delivered. Called
// with g_mutex held.
void JournalUndelivered(const CSimMessage& message) {
    if (g_strJournal.empty() || message.m_dwMessage != LINE_CALLSTATE || message.m_dwParam1 != LINECALLSTATE_IDLE) {
        return;
    }
    char sz[48];
    std::snprintf(sz, sizeof sz, "callEndUndelivered hCall=0x%08X", unsigned(message.m_hDevice));
    AppendJournal(sz);
}

// Makes sure the window will deliver its queue: a posted wake, or while
// input or painting waits in the thread's queue, a timer (which comes after
// them). Called with g_mutex held; the timer only on the window's own thread.
void ScheduleWake(CAppWindow& window, bool bYield) {
    if (window.m_bWakePending || window.m_queue.empty()) {
        return;
    }
    if (bYield && SetTimer(window.m_hWnd, kWakeTimer, USER_TIMER_MINIMUM, nullptr) != 0) {
        window.m_bWakePending = true;
    } else if (PostMessageA(window.m_hWnd, kWakeMessage, 0, 0)) {
        window.m_bWakePending = true;
    }
}

// Hands the service's new messages to the windows of their applications.
// Called with g_mutex held.
DWORD FlushMessages() {
    DWORD dwCount = 0;
    for (CSimMessage& message : g_pTapi->TakeMessages()) {
        JournalCallEvent(message);
        auto it = g_windows.find(message.m_hApp);
        if (it == g_windows.end()) {
            JournalUndelivered(message);
            continue;
        }
        it->second.m_queue.push_back(message);
        ++dwCount;
    }
    for (auto& [hApp, window] : g_windows) {
        ScheduleWake(window, false);
    }
    return dwCount;
}

// Brings the scenario clock up to the wall clock: whatever fell due since the
// last tick happens now, in order. Called with g_mutex held.
void CatchUpClock() {
    if (!g_pTapi || g_bManualClock) {
        return;
    }
    ULONGLONG qwNow = GetTickCount64();
    if (qwNow > g_qwLastTick) {
        g_pTapi->Advance(qwNow - g_qwLastTick);
        g_qwLastTick = qwNow;
        FlushMessages();
    }
}

DWORD WINAPI ClockThread(LPVOID) {
    for (;;) {
        Sleep(kClockPeriodMs);
        std::lock_guard<std::mutex> lock(g_mutex);
        CatchUpClock();
    }
}

// The clock thread, once per process. It holds a reference to this module,
// so the code it runs stays loaded.
void StartClockThread() {
    if (g_bClockThread) {
        return;
    }
    HMODULE hSelf = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ClockThread), &hSelf)) {
        return;
    }
    HANDLE hThread = CreateThread(nullptr, 0, ClockThread, nullptr, 0, nullptr);
    if (hThread == nullptr) {
        FreeLibrary(hSelf);
        return;
    }
    CloseHandle(hThread);
    g_bClockThread = true;
}

// Takes the window's next message and calls the application's callback with
// it; false when there was nothing to take.
bool DeliverOne(HWND hWnd) {
    CSimMessage message;
    LINECALLBACK pfnCallback = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto hApp = static_cast<HLINEAPP>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        auto it = g_windows.find(hApp);
        if (it == g_windows.end() || it->second.m_queue.empty() || !g_pTapi) {
            return false;
        }
        message = it->second.m_queue.front();
        it->second.m_queue.pop_front();
        if (!g_pTapi->IsDeliverable(message)) {
            JournalUndelivered(message);
            return true;
        }
        pfnCallback = it->second.m_pfnCallback;
    }
    // As TAPI does, the new call's handle lands in the caller's variable just
    // before the reply that makes it valid.
    if (message.m_phCallOut != nullptr) {
        *message.m_phCallOut = message.m_hCallOut;
    }
    pfnCallback(message.m_hDevice, message.m_dwMessage, message.m_dwInstance, message.m_dwParam1, message.m_dwParam2,
                message.m_dwParam3);
    return true;
}

// One wake: a batch delivered, and the next wake scheduled behind whatever
// arrived for the thread meanwhile.
void OnWake(HWND hWnd) {
    KillTimer(hWnd, kWakeTimer);
    auto hApp = static_cast<HLINEAPP>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_windows.find(hApp);
        if (it == g_windows.end()) {
            return;
        }
        it->second.m_bWakePending = false;
    }
    ULONGLONG qwStart = GetTickCount64();
    for (DWORD dw = 0; dw < kBatchMessages && GetTickCount64() - qwStart < kBatchMs; ++dw) {
        if (!DeliverOne(hWnd)) {
            break;
        }
    }
    DWORD dwWaiting = HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT));
    ULONGLONG qwNow = GetTickCount64();
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(hApp);
    // A callback may have shut the application down.
    if (it != g_windows.end() && it->second.m_hWnd == hWnd) {
        CAppWindow& window = it->second;
        bool bPaintTurn = (dwWaiting & QS_PAINT) != 0 && qwNow - window.m_qwLastPaintTurn >= kPaintPeriodMs;
        if (bPaintTurn) {
            window.m_qwLastPaintTurn = qwNow;
        }
        ScheduleWake(window, (dwWaiting & QS_INPUT) != 0 || bPaintTurn);
    }
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kWakeMessage || (uMsg == WM_TIMER && wParam == kWakeTimer)) {
        OnWake(hWnd);
        return 0;
    }
    if (uMsg == kAdvanceClockMessage) {
        return simAdvanceClock(static_cast<DWORD>(wParam));
    }
    if (uMsg == kPendingCountMessage) {
        return simGetPendingCount();
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

void DestroyAppWindow(HWND hWnd) {
    if (GetWindowThreadProcessId(hWnd, nullptr) == GetCurrentThreadId()) {
        DestroyWindow(hWnd);
    } else {
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
    }
}

// Tells whoever starts the program why the scenario cannot be used: in the
// debugger's output and in a log file beside the scenario.
void ReportScenarioFault(const std::string& strPath, const std::string& strError) {
    g_strLastError = strError;
    std::string strText = "Linoscope3 PBX simulator: the scenario cannot be used: " + strError + "\r\n";
    OutputDebugStringA(strText.c_str());
    std::ofstream log(strPath + ".log", std::ios::app | std::ios::binary);
    log << strText;
}

// The PBX behind every application of this process: made at the first
// lineInitializeExA from the scenario the environment names, or the built-in office.
LONG EnsurePbx() {
    if (g_pTapi) {
        return 0;
    }
    sim::CSimScenario scenario;
    std::string strPath = EnvironmentValue("LINOSCOPE3_SCENARIO");
    if (strPath.empty()) {
        scenario = sim::DefaultOffice();
    } else {
        std::string strError;
        if (!sim::LoadScenarioFile(strPath, &scenario, &strError)) {
            ReportScenarioFault(strPath, strError);
            return LINEERR_INIFILECORRUPT;
        }
    }
    sim::CSimHost host;
    char sz[MAX_PATH + 1] = {};
    if (GetModuleFileNameA(nullptr, sz, MAX_PATH) != 0) {
        host.m_strModule = sz;
    }
    DWORD dwSize = MAX_COMPUTERNAME_LENGTH + 1;
    char szMachine[MAX_COMPUTERNAME_LENGTH + 1] = {};
    if (GetComputerNameA(szMachine, &dwSize)) {
        host.m_strMachine = szMachine;
    }
    std::string strUser = EnvironmentValue("USERNAME");
    if (!strUser.empty()) {
        host.m_strUser = strUser;
    }
    GetLocalTime(&host.m_start);
    g_pTapi = std::make_unique<sim::CSimTapi>(scenario, host);
    g_strJournal = EnvironmentValue("LINOSCOPE3_SIM_JOURNAL");
    g_pJournal.reset();
    if (!g_strJournal.empty()) {
        g_pJournal = std::make_unique<std::ofstream>(g_strJournal, std::ios::app | std::ios::binary);
        g_pTapi->SetJournal(AppendJournal);
    }
    if (EnvironmentValue("LINOSCOPE3_SIM_MANUAL_CLOCK") == "1") {
        g_bManualClock = true;
    }
    g_qwLastTick = GetTickCount64();
    StartClockThread();
    return 0;
}

bool RegisterWindowClass() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = g_hInstance;
    wc.lpszClassName = kWindowClass;
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

DWORD CopyText(const std::string& str, LPSTR pszBuffer, DWORD dwSize) {
    if (pszBuffer != nullptr && dwSize > str.size()) {
        std::memcpy(pszBuffer, str.c_str(), str.size() + 1);
    }
    return static_cast<DWORD>(str.size() + 1);
}

// Runs one service call under the lock and posts what it produced.
template <typename Fn>
LONG Call(Fn fn) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_pTapi) {
        return LINEERR_UNINITIALIZED;
    }
    LONG lResult = fn(*g_pTapi);
    FlushMessages();
    return lResult;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hInstance = hInstance;
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

LONG WINAPI lineInitializeExA(HLINEAPP* phApp, HINSTANCE, LINECALLBACK pfnCallback, LPCSTR pszAppName,
                              DWORD* pdwNumDevs, DWORD* pdwAPIVersion, LINEINITIALIZEEXPARAMS* pParams) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (LONG lResult = EnsurePbx(); lResult != 0) {
        return lResult;
    }
    LONG lResult = g_pTapi->InitializeEx(phApp, pfnCallback, pszAppName, pdwNumDevs, pdwAPIVersion, pParams);
    if (lResult != 0) {
        return lResult;
    }
    HWND hWnd = RegisterWindowClass()
                    ? CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_hInstance, nullptr)
                    : nullptr;
    if (hWnd == nullptr) {
        g_pTapi->Shutdown(*phApp);
        *phApp = 0;
        return LINEERR_NOMEM;
    }
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, static_cast<LONG_PTR>(*phApp));
    CAppWindow& window = g_windows[*phApp];
    window.m_hWnd = hWnd;
    window.m_pfnCallback = pfnCallback;
    FlushMessages();
    return 0;
}

LONG WINAPI lineShutdown(HLINEAPP hApp) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_pTapi) {
        return LINEERR_UNINITIALIZED;
    }
    LONG lResult = g_pTapi->Shutdown(hApp);
    auto it = g_windows.find(hApp);
    if (lResult == 0 && it != g_windows.end()) {
        for (const CSimMessage& message : it->second.m_queue) {
            JournalUndelivered(message);
        }
        DestroyAppWindow(it->second.m_hWnd);
        g_windows.erase(it);
    }
    return lResult;
}

LONG WINAPI lineNegotiateExtVersion(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtLow,
                                    DWORD dwExtHigh, DWORD* pdwExtVersion) {
    return Call([&](sim::CSimTapi& t) {
        return t.NegotiateExtVersion(hApp, dwDeviceID, dwAPIVersion, dwExtLow, dwExtHigh, pdwExtVersion);
    });
}

LONG WINAPI lineGetDevCapsA(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                            LINEDEVCAPS* pCaps) {
    return Call([&](sim::CSimTapi& t) { return t.GetDevCaps(hApp, dwDeviceID, dwAPIVersion, dwExtVersion, pCaps); });
}

LONG WINAPI lineGetAddressCapsA(HLINEAPP hApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                                DWORD dwExtVersion, LINEADDRESSCAPS* pCaps) {
    return Call([&](sim::CSimTapi& t) {
        return t.GetAddressCaps(hApp, dwDeviceID, dwAddressID, dwAPIVersion, dwExtVersion, pCaps);
    });
}

LONG WINAPI lineOpenA(HLINEAPP hApp, DWORD dwDeviceID, HLINE* phLine, DWORD dwAPIVersion, DWORD dwExtVersion,
                      DWORD_PTR dwInstance, DWORD dwPrivileges, DWORD dwMediaModes, const void* pCallParams) {
    return Call([&](sim::CSimTapi& t) {
        return t.Open(hApp, dwDeviceID, phLine, dwAPIVersion, dwExtVersion, dwInstance, dwPrivileges, dwMediaModes,
                      pCallParams);
    });
}

LONG WINAPI lineClose(HLINE hLine) {
    return Call([&](sim::CSimTapi& t) { return t.Close(hLine); });
}

LONG WINAPI lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
    return Call([&](sim::CSimTapi& t) { return t.SetStatusMessages(hLine, dwLineStates, dwAddressStates); });
}

LONG WINAPI lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* pStatus) {
    return Call([&](sim::CSimTapi& t) { return t.GetLineDevStatus(hLine, pStatus); });
}

LONG WINAPI lineGetAddressStatusA(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* pStatus) {
    return Call([&](sim::CSimTapi& t) { return t.GetAddressStatus(hLine, dwAddressID, pStatus); });
}

LONG WINAPI lineGetCallInfoA(HCALL hCall, LINECALLINFO* pInfo) {
    return Call([&](sim::CSimTapi& t) { return t.GetCallInfo(hCall, pInfo); });
}

LONG WINAPI lineGetCallStatus(HCALL hCall, LINECALLSTATUS* pStatus) {
    return Call([&](sim::CSimTapi& t) { return t.GetCallStatus(hCall, pStatus); });
}

LONG WINAPI lineMakeCallA(HLINE hLine, HCALL* phCall, LPCSTR pszDest, DWORD dwCountryCode, const void* pCallParams) {
    return Call([&](sim::CSimTapi& t) { return t.MakeCall(hLine, phCall, pszDest, dwCountryCode, pCallParams); });
}

LONG WINAPI lineAnswer(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize) {
    return Call([&](sim::CSimTapi& t) { return t.Answer(hCall, psUserUserInfo, dwSize); });
}

LONG WINAPI lineDrop(HCALL hCall, LPCSTR psUserUserInfo, DWORD dwSize) {
    return Call([&](sim::CSimTapi& t) { return t.Drop(hCall, psUserUserInfo, dwSize); });
}

LONG WINAPI lineDeallocateCall(HCALL hCall) {
    return Call([&](sim::CSimTapi& t) { return t.DeallocateCall(hCall); });
}

// --- Control for tests (not TAPI) ---------------------------------------------

// Moves the scenario clock; returns how many messages were posted.
LONG WINAPI simAdvanceClock(DWORD dwMilliseconds) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_pTapi) {
        return LINEERR_UNINITIALIZED;
    }
    g_pTapi->Advance(dwMilliseconds);
    return static_cast<LONG>(FlushMessages());
}

// Runs one event written like a timeline entry; LINEERR_INVALPARAM when it is
// wrong or cannot happen now (simGetLastError says why).
LONG WINAPI simInjectEvent(LPCSTR pszJson) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_pTapi) {
        return LINEERR_UNINITIALIZED;
    }
    if (pszJson == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    std::string strError;
    bool bOk = g_pTapi->Inject(pszJson, &strError);
    FlushMessages();
    if (!bOk) {
        g_strLastError = strError;
        return LINEERR_INVALPARAM;
    }
    return 0;
}

// When set, only simAdvanceClock moves the scenario clock.
void WINAPI simSetManualClock(BOOL bManual) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_bManualClock = bManual != FALSE;
    g_qwLastTick = GetTickCount64();
}

// How many messages wait for delivery, for every application together. A
// test that wants the application to have seen everything waits for 0.
DWORD WINAPI simGetPendingCount() {
    std::lock_guard<std::mutex> lock(g_mutex);
    DWORD dwCount = 0;
    for (const auto& [hApp, window] : g_windows) {
        dwCount += static_cast<DWORD>(window.m_queue.size());
    }
    return dwCount;
}

// The model's state as JSON; returns the size needed, with the NUL.
DWORD WINAPI simGetState(LPSTR pszBuffer, DWORD dwSize) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return CopyText(g_pTapi ? g_pTapi->GetStateJson() : std::string("{}"), pszBuffer, dwSize);
}

DWORD WINAPI simGetLastError(LPSTR pszBuffer, DWORD dwSize) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return CopyText(g_strLastError, pszBuffer, dwSize);
}

// Forgets every application and the PBX; the next lineInitializeExA reads the
// scenario again. For tests that need a fresh PBX within one process.
void WINAPI simReset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& [hApp, window] : g_windows) {
        DestroyAppWindow(window.m_hWnd);
    }
    g_windows.clear();
    g_pTapi.reset();
    g_pJournal.reset();
    g_strLastError.clear();
}

}  // extern "C"
