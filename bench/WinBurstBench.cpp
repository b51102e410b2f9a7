// A burst of call events through the program's own windows: the frame, its
// three tree views and the message loop, in this process, with the PBX
// simulator as TAPI. The simulator holds 1,000 lines; waves of calls are
// started and run to their end on its clock before the loop runs, so at
// least 10,000 call events wait in its hidden window when the clock starts.
// Measured: the events per second the program takes them in with the trees
// shown, the time until the loop is idle again (the last coalesced refresh
// painted), and the process memory before the burst, at its peak and once
// the calls are gone.
//
// Run under Wine through ./dev bench win (it needs a display and the
// simulator loaded in place of Wine's own tapi32).
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/LinoscopeApp.h"
#include "app/MainFrame.h"
#include "platform/Platform.h"
#include "views/win/LineView.h"

namespace {

constexpr int kExtLines = 600;
constexpr int kCoLines = 300;
constexpr int kEtcLines = 100;
constexpr unsigned kBurstEvents = 10000;
// One wave: half the extensions call each other, the other half call out
// over every trunk; all of it rings, connects and ends within the wave.
constexpr int kInternalPerWave = kExtLines / 4;
constexpr int kOutboundPerWave = std::min(kExtLines / 2, kCoLines);
constexpr DWORD kWaveMs = 30000;
// The loop is idle once nothing but the status bar's second timer has come
// for this long and every view has shown its changes.
constexpr DWORD kQuietMs = 500;

using PfnInject = LONG(WINAPI*)(LPCSTR);
using PfnAdvance = LONG(WINAPI*)(DWORD);
using PfnPending = DWORD(WINAPI*)();

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const LONGLONG qwFrequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(qwFrequency);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

// The process's private bytes, or their peak so far (Wine leaves
// PrivateUsage at 0 and counts the same in PagefileUsage).
SIZE_T PrivateBytes(bool bPeak = false) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    if (bPeak) return counters.PeakPagefileUsage;
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// The bytes in use in every heap of the process: what the program and the
// simulator hold, without what the heaps keep for reuse (Wine's heap gives
// back only whole free stretches at the end of its regions).
SIZE_T HeapBytesInUse() {
    HANDLE heaps[64];
    const DWORD nHeaps = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    SIZE_T cb = 0;
    for (DWORD i = 0; i < nHeaps; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) cb += entry.cbData + entry.cbOverhead;
        }
        HeapUnlock(heaps[i]);
    }
    return cb;
}

double MiB(SIZE_T cb) {
    return static_cast<double>(cb) / (1024.0 * 1024.0);
}

std::string Number(int n) {
    return std::to_string(n);
}
std::string ExtNumber(int i) {
    return Number(2000 + i);
}

std::string Scenario() {
    std::string str = R"({"name": "burst bench", "devices": [)";
    const char* pszSep = "";
    for (int i = 0; i < kExtLines; ++i, pszSep = ",") {
        str += std::string(pszSep) + R"({"kind": "ext", "number": ")" + ExtNumber(i) + R"(", "name": "Desk )" +
               Number(i) + "\"}";
    }
    for (int i = 0; i < kCoLines; ++i) str += R"(,{"kind": "co", "number": ")" + Number(8000 + i) + "\"}";
    for (int i = 0; i < kEtcLines; ++i) str += R"(,{"kind": "etc", "number": ")" + Number(5000 + i) + "\"}";
    return str + "]}";
}

// What last kept the loop busy, for a loop that never comes to rest.
MSG g_lastWork{};

// Runs the messages waiting for the thread (while the simulator has events
// waiting it posts its next batch behind them, so this runs the burst), for
// a tenth of a second at most so that the caller can take its samples;
// returns how many, not counting what ticks whatever happens (the status
// bar's second timer, the caret's blink) and what it repaints.
int Pump(CLinoscopeApp& app, bool& bQuit) {
    constexpr UINT kSysTimer = 0x0118;  // the system's caret blink
    int nWork = 0;
    MSG msg;
    const LARGE_INTEGER tStart = Now();
    // The program's own order: input first, and the trees refreshed and
    // painted every tenth of a second while events wait.
    while (Seconds(tStart, Now()) < 0.1 && app.NextMessage(&msg, FALSE)) {
        if (msg.message == WM_QUIT) {
            bQuit = true;
            continue;
        }
        const bool bStatusTick =
            msg.message == kSysTimer || msg.hwnd == app.GetMainFrame()->GetStatusBar() ||
            (msg.message == WM_TIMER && msg.hwnd == app.GetMainFrame()->GetHwnd() && msg.wParam == 2);
        if (!bStatusTick) {
            ++nWork;
            g_lastWork = msg;
        }
        if (app.PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return nWork;
}

int ItemCount(HWND hTree) {
    return static_cast<int>(SendMessageA(hTree, TVM_GETCOUNT, 0, 0));
}

// A view still holding changes it has not shown (its refresh is waiting).
bool ViewsPending(CLinoscopeApp& app) {
    CMainFrame* pFrame = app.GetMainFrame();
    return pFrame->GetCoView()->GetTreeCtrl().HasChanges() || pFrame->GetExtView()->GetTreeCtrl().HasChanges() ||
           pFrame->GetEtcView()->GetTreeCtrl().HasChanges();
}

int TotalItems(CLinoscopeApp& app) {
    int n = 0;
    for (int i = 0; i < 3; ++i) n += ItemCount(app.GetMainFrame()->GetSplitter().GetPane(i));
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    // Each line as it comes, also into a pipe.
    setvbuf(stdout, nullptr, _IONBF, 0);
    // A smaller burst for a quicker look: the number of events as the first
    // argument; the number of bursts (2) as the second.
    const unsigned nBurstEvents = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : kBurstEvents;
    const int nBursts = argc > 2 ? std::atoi(argv[2]) : 2;
    char szTemp[MAX_PATH] = "";
    GetTempPathA(sizeof szTemp, szTemp);
    const std::string strFolder = std::string(szTemp) + "lsc_burst_bench";
    CreateDirectoryA(strFolder.c_str(), nullptr);
    SetCurrentDirectoryA(strFolder.c_str());
    DeleteFileA((strFolder + "\\testlog.csv").c_str());
    const std::string strScenario = strFolder + "\\burst.json";
    std::ofstream(strScenario, std::ios::binary | std::ios::trunc) << Scenario();

    const std::string strSim = platform::ExecutableDirectory() + "\\..\\sim\\TAPI32.dll";
    char szSim[MAX_PATH] = "";
    GetFullPathNameA(strSim.c_str(), sizeof szSim, szSim, nullptr);
    HMODULE hSim = LoadLibraryA(szSim);
    const auto pfnInject =
        hSim ? reinterpret_cast<PfnInject>(reinterpret_cast<void*>(GetProcAddress(hSim, "simInjectEvent"))) : nullptr;
    const auto pfnAdvance =
        hSim ? reinterpret_cast<PfnAdvance>(reinterpret_cast<void*>(GetProcAddress(hSim, "simAdvanceClock"))) : nullptr;
    const auto pfnPending =
        hSim ? reinterpret_cast<PfnPending>(reinterpret_cast<void*>(GetProcAddress(hSim, "simGetPendingCount")))
             : nullptr;
    if (!pfnInject || !pfnAdvance || !pfnPending) {
        std::fprintf(stderr, "the simulator was not loaded from %s (WINEDLLOVERRIDES=tapi32=n?)\n", szSim);
        return 2;
    }
    SetEnvironmentVariableA("LINOSCOPE3_TAPI_DLL", szSim);
    SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenario.c_str());
    SetEnvironmentVariableA("LINOSCOPE3_SIM_MANUAL_CLOCK", "1");
    SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", nullptr);

    auto pApp = std::make_unique<CLinoscopeApp>(GetModuleHandleA(nullptr));
    const LARGE_INTEGER tStart = Now();
    if (!pApp->InitInstance()) {
        std::fprintf(stderr, "the program did not start\n");
        return 2;
    }
    bool bQuit = false;
    const int nLineItems = kExtLines + kCoLines + kEtcLines + 3;
    while (TotalItems(*pApp) < nLineItems && Seconds(tStart, Now()) < 120) {
        Pump(*pApp, bQuit);
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (TotalItems(*pApp) != nLineItems) {
        std::fprintf(stderr, "the trees hold %d items after start-up, not %d\n", TotalItems(*pApp), nLineItems);
        return 2;
    }
    std::printf("start-up: %d lines shown in %.2f s\n", nLineItems - 3, Seconds(tStart, Now()));
    // Settled: whatever start-up left to do is done.
    for (LARGE_INTEGER t = Now(); Seconds(t, Now()) < 1.0;) {
        Pump(*pApp, bQuit);
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    const SIZE_T cbBefore = PrivateBytes();
    const SIZE_T cbHeapBefore = HeapBytesInUse();
    // A second burst tells memory the heap keeps for reuse from memory that
    // grows with every burst.
    bool bOk = true;
    for (int nBurst = 1; nBurst <= nBursts && bOk && !bQuit; ++nBurst) {
        std::printf("-- burst %d\n", nBurst);
        const unsigned long long nEventsBefore = pApp->GetMainFrame()->GetEventCount();

        // The burst waits in the simulator's window before the loop runs again.
        const LARGE_INTEGER tMake = Now();
        unsigned nQueued = 0;
        int nWaves = 0;
        int nRefused = 0;
        while (nQueued < nBurstEvents) {
            for (int i = 0; i < kInternalPerWave; ++i) {
                const std::string str = R"({"at": 0, "event": "internal", "from": ")" + ExtNumber(2 * i) +
                                        R"(", "to": ")" + ExtNumber(2 * i + 1) + R"(", "ring": 1, "talk": 5})";
                if (pfnInject(str.c_str()) != 0) ++nRefused;
            }
            for (int i = 0; i < kOutboundPerWave; ++i) {
                const std::string str = R"({"at": 0, "event": "outbound", "from": ")" + ExtNumber(kExtLines / 2 + i) +
                                        R"(", "number": "0123456789", "ring": 1, "talk": 5})";
                if (pfnInject(str.c_str()) != 0) ++nRefused;
            }
            pfnAdvance(kWaveMs);
            ++nWaves;
            nQueued = pfnPending();
        }
        const double dMake = Seconds(tMake, Now());

        const LARGE_INTEGER tBurst = Now();
        LARGE_INTEGER tDelivered{};
        LARGE_INTEGER tLastWork = tBurst;
        SIZE_T cbPeak = cbBefore;
        int nPeakItems = 0;
        bool bDelivered = false;
        while (!bQuit && Seconds(tBurst, Now()) < 600) {
            if (Pump(*pApp, bQuit) > 0) tLastWork = Now();
            cbPeak = std::max(cbPeak, PrivateBytes());
            nPeakItems = std::max(nPeakItems, TotalItems(*pApp));
            if (!bDelivered && pfnPending() == 0) {
                bDelivered = true;
                tDelivered = Now();
            }
            if (ViewsPending(*pApp)) tLastWork = Now();
            if (bDelivered && Seconds(tLastWork, Now()) * 1000 >= kQuietMs) break;
            MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
        if (Seconds(tLastWork, Now()) * 1000 < kQuietMs) {
            char szClass[64] = "";
            GetClassNameA(g_lastWork.hwnd, szClass, sizeof szClass);
            std::fprintf(stderr, "never idle: the last message was 0x%04X (wParam %llu) for a %s window\n",
                         g_lastWork.message, static_cast<unsigned long long>(g_lastWork.wParam), szClass);
        }
        const unsigned long long nDelivered = pApp->GetMainFrame()->GetEventCount() - nEventsBefore;
        cbPeak = std::max(cbPeak, PrivateBytes(true));
        const SIZE_T cbAfter = PrivateBytes();
        const int nItemsAfter = TotalItems(*pApp);

        std::printf("burst: %u call events in %d waves of %d calls (%d refused), queued in %.2f s\n", nQueued, nWaves,
                    kInternalPerWave + kOutboundPerWave, nRefused, dMake);
        std::printf("delivered: %llu events in %.2f s: %.0f events/s with the trees shown\n", nDelivered,
                    Seconds(tBurst, tDelivered), static_cast<double>(nDelivered) / Seconds(tBurst, tDelivered));
        std::printf("idle again after %.2f s (the last refresh %.0f ms after the last event)\n",
                    Seconds(tBurst, tLastWork), Seconds(tDelivered, tLastWork) * 1000);
        std::printf("tree items: %d before, %d at the peak, %d after\n", nLineItems, nPeakItems, nItemsAfter);
        std::printf(
            "memory (private): %.1f MiB before the first burst, %.1f MiB at the peak, %.1f MiB after (%+.1f%%)\n",
            MiB(cbBefore), MiB(cbPeak), MiB(cbAfter),
            100.0 * (static_cast<double>(cbAfter) - static_cast<double>(cbBefore)) / static_cast<double>(cbBefore));
        const SIZE_T cbHeapAfter = HeapBytesInUse();
        std::printf("heap in use: %.2f MiB before the first burst, %.2f MiB after (%+.1f%%)\n", MiB(cbHeapBefore),
                    MiB(cbHeapAfter),
                    100.0 * (static_cast<double>(cbHeapAfter) - static_cast<double>(cbHeapBefore)) /
                        static_cast<double>(cbHeapBefore));
        bOk = bDelivered && nDelivered == nQueued && nItemsAfter == nLineItems;
    }

    pApp->CloseMainFrame();
    pApp.reset();
    if (!bOk) std::fprintf(stderr, "the burst was not taken in whole\n");
    return bOk ? 0 : 1;
}
