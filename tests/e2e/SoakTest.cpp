// The real Linoscope3.exe on a busy simulated PBX (hundreds of lines,
// hundreds of calls a minute, the clock in real time), its event log held by
// another program for a stretch in the middle, then closed. Afterwards: it
// ended at once and cleanly, every call the PBX ended in time is in the log,
// every record is whole and written once, and in a soak its memory and
// windows did not grow once it had warmed up. LINOSCOPE3_SOAK_MINUTES sets
// the soak's length (default 1; ./dev soak passes it).
#include <windows.h>
#include <gtest/gtest.h>

// after windows.h
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>

#include "ProgramRun.h"
#include "views/win/resource.h"

using namespace e2e;

namespace {

// A call that ended this long before the exit must be in the log: a program
// further behind the PBX than this has stopped keeping up, however loaded
// the machine.
constexpr ULONGLONG kLagLimitMs = 30000;

// What is sampled, in this order: private bytes, windows, the journal's
// lines. (GDI and USER object counts are not: Wine answers 0 for both.)
enum { kPrivate, kWindows, kJournal, kValues };
struct CSample {
    ULONGLONG qwTick;  // since the traffic began
    double values[kValues];
};

BOOL CALLBACK CountChildWindow(HWND, LPARAM lParam) {
    ++*reinterpret_cast<double*>(lParam);
    return TRUE;
}

CSample TakeSample(const CProgramRun& run, ULONGLONG qwTick) {
    CSample sample{qwTick, {}};
    PROCESS_MEMORY_COUNTERS_EX counters{};
    if (GetProcessMemoryInfo(run.GetProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        // Wine leaves PrivateUsage at 0; its PagefileUsage counts the same
        // committed private bytes, as it does on Windows.
        sample.values[kPrivate] = double(counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage);
    for (HWND hWnd : TopLevelWindows(run.GetProcessId())) {
        ++sample.values[kWindows];
        EnumChildWindows(hWnd, CountChildWindow, reinterpret_cast<LPARAM>(&sample.values[kWindows]));
    }
    sample.values[kJournal] = double(run.JournalLines().size());
    return sample;
}

// Flat: after the warm-up, the end of the run (the median of its last three
// samples) lies no further above its beginning (the median of the first
// three) than the tolerance. A steady load keeps memory and objects level; a
// leak per call or per record climbs with the calls.
::testing::AssertionResult Flat(const std::vector<CSample>& samples, ULONGLONG qwWarmUpMs, int nValue,
                                double dTolerance, double dLeast) {
    std::vector<double> v;
    for (const CSample& sample : samples) {
        if (sample.qwTick >= qwWarmUpMs) v.push_back(sample.values[nValue]);
    }
    if (v.size() < 6) return ::testing::AssertionFailure() << "too few samples after the warm-up";
    const auto median3 = [](const double* p) {
        return std::max(std::min(p[0], p[1]), std::min(std::max(p[0], p[1]), p[2]));
    };
    const double dStart = median3(&v[0]), dEnd = median3(&v[v.size() - 3]);
    const double dAllowed = std::max(dStart * dTolerance, dLeast);
    if (dEnd - dStart <= dAllowed) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "value " << nValue << " (private bytes, windows) grew from " << dStart
                                         << " to " << dEnd << " (allowed " << dAllowed << ")";
}

std::string LocalNow() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char sz[32];
    std::snprintf(sz, sizeof sz, "%04d/%02d/%02d %02d:%02d:%02d:%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond, t.wMilliseconds);
    return sz;
}

// A whole record of testlog.csv: a time stamp with every field in its range,
// then OUTOFSERVICE or REINIT; or label, LINE_CALLSTATE and the state; or
// label, LINE_CALLINFO, what changed, seven identification fields (a comma
// inside one adds a column) and an empty last column.
bool IsRecord(const std::string& strLine) {
    static const std::regex record(
        R"(\d{4}/(0[1-9]|1[0-2])/(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d:\d{3},)"
        R"((OUTOFSERVICE|REINIT|[^,]+,LINE_CALLSTATE,[^,]+|[^,]+,LINE_CALLINFO(,[^,]*){8,},))");
    return strLine.compare(0, 4, "2000") >= 0 && std::regex_match(strLine, record);
}

// One run on a busy PBX and how it is closed: a command, a message, or the
// two of logging off (Windows sends them, and may end the process once the
// second returns); the line reports being saved when it comes, or not.
struct CBusyRun {
    const char *pszName, *pszScenario;
    size_t nLines;  // the scenario's devices
    ULONGLONG qwRunMs;
    UINT uMsg;
    WPARAM wParam;
    bool bSavingReports;
    ULONGLONG qwCloseLimitMs;  // "within seconds": generous for a loaded machine, far below a hang
};

void RunBusy(const CBusyRun& busy) {
    SCOPED_TRACE(busy.pszName);
    const ULONGLONG qwHoldFromMs = busy.qwRunMs * 35 / 100, qwHoldToMs = busy.qwRunMs / 2;
    const ULONGLONG qwWarmUpMs = std::max<ULONGLONG>(15000, busy.qwRunMs / 4);
    const ULONGLONG qwSampleMs = std::clamp<ULONGLONG>(busy.qwRunMs / 30, 2000, 10000);
    CProgramRun run(busy.pszName, busy.pszScenario);
    const std::string strLaunchTime = LocalNow();
    const ULONGLONG qwLaunched = GetTickCount64();
    ASSERT_TRUE(run.Start(EStart::RealTime, 180000)) << run.Fault();
    const ULONGLONG qwStartUp = GetTickCount64() - qwLaunched;
    // Calls offered before this point began while the program was starting,
    // when it takes no events: they are not its to log.
    const double dJournalReady = TakeSample(run, 0).values[kJournal];

    // Run, sample, and hold the log in the middle: at least for the stretch
    // planned, and then until the program says records wait for it, so that
    // some were made while it was held, however slow the machine.
    std::vector<CSample> samples;
    HANDLE hHold = INVALID_HANDLE_VALUE;
    std::string strHeldFrom, strHeldTo;
    std::printf("%s: %.1f min of traffic after a %.1f s start-up\n       s   private KiB  windows\n", busy.pszName,
                busy.qwRunMs / 60000.0, qwStartUp / 1000.0);
    const ULONGLONG qwBegin = GetTickCount64();
    for (ULONGLONG qwNow = 0, qwNextSample = 0; !run.HasExited(); qwNow = GetTickCount64() - qwBegin) {
        if (strHeldFrom.empty() && qwNow >= qwHoldFromMs) {
            const std::string strNow = LocalNow();
            if ((hHold = run.HoldLog()) != INVALID_HANDLE_VALUE) strHeldFrom = strNow;
        }
        if (hHold != INVALID_HANDLE_VALUE && qwNow >= qwHoldToMs &&
            run.StatusText(3).find(" records waiting") != std::string::npos) {
            strHeldTo = LocalNow();
            CloseHandle(hHold);
            hHold = INVALID_HANDLE_VALUE;
        }
        if (qwNow >= qwNextSample || qwNow >= busy.qwRunMs) {
            const CSample& s = samples.emplace_back(TakeSample(run, qwNow));
            std::printf("  %6.0f  %12.0f  %7.0f\n", s.qwTick / 1000.0, s.values[kPrivate] / 1024, s.values[kWindows]);
            qwNextSample += qwSampleMs;
        }
        if (qwNow >= busy.qwRunMs) break;
        Sleep(100);
    }
    if (hHold != INVALID_HANDLE_VALUE) CloseHandle(hHold);
    ASSERT_FALSE(run.HasExited()) << "the program ended on its own during the run";
    // Memory and windows level after the warm-up, in a run long enough to tell.
    if (busy.qwRunMs >= 2 * qwWarmUpMs) {
        EXPECT_TRUE(Flat(samples, qwWarmUpMs, kPrivate, 0.10, 4.0 * 1024 * 1024));
        EXPECT_TRUE(Flat(samples, qwWarmUpMs, kWindows, 0.0, 2.0));
    }

    if (busy.bSavingReports) {
        // The progress while the reports are gathered, pictured; the close
        // comes in the middle of it.
        run.Command(ID_FILE_SAVE_REPORTS);
        HWND hSave = run.WaitForDialog("Save As");
        ASSERT_NE(hSave, nullptr) << run.DescribeWindows();
        PressButton(hSave, IDOK);
        if (run.WaitForDialog("Linoscope3", 10000) != nullptr) run.Screenshot("save-line-reports", 200);
    }
    const ULONGLONG qwExitAt = GetTickCount64() - qwBegin;
    if (busy.uMsg == WM_QUERYENDSESSION) {
        EXPECT_EQ(Ask(run.GetFrame(), WM_QUERYENDSESSION), TRUE);
        Ask(run.GetFrame(), WM_ENDSESSION, TRUE);
    } else {
        ASSERT_TRUE(PostMessageA(run.GetFrame(), busy.uMsg, busy.wParam, 0));
    }
    run.WaitForExit(60000);
    EXPECT_LE(GetTickCount64() - qwBegin - qwExitAt, busy.qwCloseLimitMs) << "ms to end";
    EXPECT_TRUE(run.EndsCleanly(busy.nLines));

    // The PBX's side, from the calls it ended: how many the program was
    // handed (not noted as undelivered), how many it dealt with (it
    // deallocates a call once IDLE), how many ended early enough before the
    // exit (the lag), and all of them.
    double dJournalBefore = 0;
    for (const CSample& sample : samples) {
        if (sample.qwTick + kLagLimitMs <= qwExitAt) dJournalBefore = sample.values[kJournal];
    }
    static const std::regex event(
        R"(^(callOffered|callEndUndelivered|callEnded|lineDeallocateCall) hCall=(0x[0-9A-F]+)( .*)?$)");
    std::set<std::string> offeredEarly, notDelivered, ended;
    size_t nDelivered = 0, nHandled = 0, nEndsBefore = 0;
    double dAt = 0;
    for (const std::string& strLine : run.JournalLines()) {
        ++dAt;
        std::smatch m;
        if (!std::regex_match(strLine, m, event)) continue;
        if (m[1] == "callOffered" && dAt <= dJournalReady) offeredEarly.insert(m[2]);
        if (m[1] == "callEndUndelivered") notDelivered.insert(m[2]);
        if (m[1] == "lineDeallocateCall") nHandled += ended.count(m[2]) != 0 && m[3] == " -> 0x00000000";
        if (m[1] == "callEnded" && ended.insert(m[2]).second && offeredEarly.count(m[2]) == 0)
            nEndsBefore += dAt <= dJournalBefore;
    }
    for (const std::string& strCall : ended)
        nDelivered += offeredEarly.count(strCall) + notDelivered.count(strCall) == 0;
    EXPECT_TRUE(nDelivered > 0 && (nEndsBefore > 0 || busy.qwRunMs < 2 * kLagLimitMs));

    // The program's side: whole records, each once, in time order, inside
    // the run, some of them made while the log was held; an IDLE record for
    // every call end it was handed or dealt with, and for every one the PBX
    // made early enough; none for a call that did not end.
    const Texts log = run.LogLines();
    const std::string strEndTime = LocalNow();
    std::set<std::string> seen;
    std::string strPrevious;
    size_t nFaults = 0, nHeld = 0, nIdle = 0;
    for (const std::string& strRecord : log) {
        const std::string strTime = strRecord.substr(0, 23);
        const char* pszFault = !IsRecord(strRecord)                              ? "not a whole record: "
                               : !seen.insert(strRecord).second                  ? "written twice: "
                               : strTime < strPrevious                           ? "out of order: "
                               : strTime < strLaunchTime || strTime > strEndTime ? "time outside the run: "
                                                                                 : nullptr;
        if (pszFault != nullptr && nFaults++ < 5) ADD_FAILURE() << pszFault << strRecord;
        strPrevious = std::max(strPrevious, strTime);
        nHeld += strTime >= strHeldFrom && strTime <= strHeldTo;
        nIdle += strRecord.find(",LINE_CALLSTATE,IDLE") != std::string::npos;
    }
    EXPECT_EQ(nFaults, 0u);
    ASSERT_FALSE(strHeldFrom.empty()) << "the log could not be held";
    EXPECT_GT(nHeld, 0u) << "no record made while the log was held (" << strHeldFrom << " to " << strHeldTo
                         << ") reached it";
    EXPECT_GE(nIdle, std::max({nDelivered, nHandled, nEndsBefore}))
        << "IDLE records lost or far behind the PBX: the program was handed " << nDelivered
        << " call ends and dealt with " << nHandled << ", and " << nEndsBefore << " ended " << kLagLimitMs
        << " ms and more before the exit";
    EXPECT_LE(nIdle, ended.size()) << "IDLE records for calls that did not end";
    std::printf(
        "%s: %zu lines; %zu call ends (%.0f a minute); %zu records, %zu made while the log was held (%s to %s)\n",
        busy.pszName, busy.nLines, ended.size(), ended.size() * 60000.0 / (qwExitAt + qwStartUp), log.size(), nHeld,
        strHeldFrom.c_str(), strHeldTo.c_str());
}

}  // namespace

// 350 lines, 600 calls a minute, the program never idle: File > Exit (in
// the middle of saving the line reports), closing the window and logging off
// each end the program within seconds.
TEST(BusyPbx, EndsPromptlyWhicheverWayItIsClosed) {
    for (const CBusyRun& busy :
         {CBusyRun{"busy-exit", "busy-pbx.json", 350, 10000, WM_COMMAND, ID_APP_EXIT, true, 5000},
          {"busy-close", "busy-pbx.json", 350, 10000, WM_CLOSE, 0, false, 5000},
          {"busy-logoff", "busy-pbx.json", 350, 10000, WM_QUERYENDSESSION, 0, false, 5000}})
        RunBusy(busy);
}

TEST(Soak, BusyPbxHeldLogAndFileExit) {
    const char* pszMinutes = std::getenv("LINOSCOPE3_SOAK_MINUTES");
    const double dMinutes = pszMinutes != nullptr && *pszMinutes != '\0' ? std::atof(pszMinutes) : 1.0;
    RunBusy({"soak", "soak.json", 280, static_cast<ULONGLONG>(std::max(dMinutes, 0.5) * 60000.0), WM_COMMAND,
             ID_APP_EXIT, false, 15000});
}
