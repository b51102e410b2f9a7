// The real Linoscope3.exe left to run on a busy simulated PBX (hundreds of
// lines, hundreds of calls a minute, the clock in real time), with its event
// log held by another program for a stretch in the middle, then closed
// through File > Exit. Afterwards: it ended at once and cleanly, every call
// the PBX ended is in the log, every record is whole and written once, and
// its memory and windows did not grow once it had warmed up.
// LINOSCOPE3_SOAK_MINUTES sets the length (default 1; ./dev soak passes it).
#include <windows.h>
#include <gtest/gtest.h>

// after windows.h
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "ProgramRun.h"
#include "views/win/resource.h"

using namespace e2e;

namespace {

// "Within seconds": generous for a loaded machine, far below a hang.
constexpr DWORD kCloseLimitMs = 15000;
// A call that ended this long before the exit must be in the log: a program
// further behind the PBX than this has stopped keeping up, however loaded
// the machine.
constexpr ULONGLONG kLagLimitMs = 30000;

// What is sampled, in this order: private bytes, GDI and USER objects (Wine
// answers 0 for both), windows, the journal's size.
enum { kPrivate, kGdi, kUser, kWindows, kJournal, kValues };
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
    sample.values[kGdi] = GetGuiResources(run.GetProcess(), GR_GDIOBJECTS);
    sample.values[kUser] = GetGuiResources(run.GetProcess(), GR_USEROBJECTS);
    for (HWND hWnd : TopLevelWindows(run.GetProcessId())) {
        ++sample.values[kWindows];
        EnumChildWindows(hWnd, CountChildWindow, reinterpret_cast<LPARAM>(&sample.values[kWindows]));
    }
    std::ifstream journal(run.GetFolder() + "\\journal.txt", std::ios::binary | std::ios::ate);
    sample.values[kJournal] = journal ? double(journal.tellg()) : 0;
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
    return ::testing::AssertionFailure() << "value " << nValue << " (private bytes, GDI, USER, windows) grew from "
                                         << dStart << " to " << dEnd << " (allowed " << dAllowed << ")";
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

}  // namespace

TEST(Soak, BusyPbxHeldLogAndFileExit) {
    const char* pszMinutes = std::getenv("LINOSCOPE3_SOAK_MINUTES");
    const auto qwRunMs = static_cast<ULONGLONG>(
        std::max(pszMinutes != nullptr && *pszMinutes != '\0' ? std::atof(pszMinutes) : 1.0, 0.5) * 60000.0);
    const ULONGLONG qwHoldFromMs = qwRunMs * 35 / 100;
    const ULONGLONG qwHoldToMs = qwHoldFromMs + std::max<ULONGLONG>(10000, qwRunMs * 15 / 100);
    const ULONGLONG qwWarmUpMs = std::max<ULONGLONG>(15000, qwRunMs / 4);
    const ULONGLONG qwSampleMs = std::clamp<ULONGLONG>(qwRunMs / 30, 2000, 10000);

    CProgramRun run("soak", "soak.json");
    const std::string strLaunchTime = LocalNow();
    const ULONGLONG qwLaunched = GetTickCount64();
    ASSERT_TRUE(run.Start(true, 180000)) << run.Fault();
    const ULONGLONG qwStartUp = GetTickCount64() - qwLaunched;
    // Calls offered before this point began while the program was starting,
    // when it takes no events: they are not its to log.
    const double dJournalReady = TakeSample(run, 0).values[kJournal];

    // Run, sample, and hold the log in the middle: read access shared, write
    // access not, so the program cannot open it to append.
    std::vector<CSample> samples;
    HANDLE hHold = INVALID_HANDLE_VALUE;
    std::string strHeldFrom, strHeldTo;
    const ULONGLONG qwBegin = GetTickCount64();
    for (ULONGLONG qwNow = 0, qwNextSample = 0; qwNow < qwRunMs && !run.HasExited();
         qwNow = GetTickCount64() - qwBegin) {
        if (strHeldFrom.empty() && qwNow >= qwHoldFromMs) {
            hHold = CreateFileA((run.GetFolder() + "\\testlog.csv").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
            if (hHold != INVALID_HANDLE_VALUE) strHeldFrom = LocalNow();
        }
        if (hHold != INVALID_HANDLE_VALUE && qwNow >= qwHoldToMs) {
            strHeldTo = LocalNow();
            CloseHandle(hHold);
            hHold = INVALID_HANDLE_VALUE;
        }
        if (qwNow >= qwNextSample) {
            samples.push_back(TakeSample(run, qwNow));
            qwNextSample += qwSampleMs;
        }
        Sleep(100);
    }
    if (hHold != INVALID_HANDLE_VALUE) CloseHandle(hHold);
    ASSERT_FALSE(run.HasExited()) << "the program ended on its own during the run";
    samples.push_back(TakeSample(run, GetTickCount64() - qwBegin));
    std::printf(
        "soak: %.1f min of traffic after a %.1f s start-up; the log held from %s to %s\n"
        "       s   private KiB   GDI  USER  windows\n",
        qwRunMs / 60000.0, qwStartUp / 1000.0, strHeldFrom.c_str(), strHeldTo.c_str());
    for (const CSample& s : samples) {
        std::printf("  %6.0f  %12.0f  %4.0f  %4.0f  %7.0f\n", s.qwTick / 1000.0, s.values[kPrivate] / 1024,
                    s.values[kGdi], s.values[kUser], s.values[kWindows]);
    }
    std::fflush(stdout);
    EXPECT_TRUE(Flat(samples, qwWarmUpMs, kPrivate, 0.10, 4.0 * 1024 * 1024));
    EXPECT_TRUE(Flat(samples, qwWarmUpMs, kWindows, 0.0, 2.0));
    if (std::any_of(samples.begin(), samples.end(), [](const CSample& s) { return s.values[kGdi] != 0; })) {
        EXPECT_TRUE(Flat(samples, qwWarmUpMs, kGdi, 0.10, 20.0));
        EXPECT_TRUE(Flat(samples, qwWarmUpMs, kUser, 0.10, 20.0));
    }

    // File > Exit, and the time until the process is gone.
    const ULONGLONG qwExitAt = GetTickCount64() - qwBegin;
    ASSERT_TRUE(PostMessageA(run.GetFrame(), WM_COMMAND, ID_APP_EXIT, 0));
    DWORD dwExitCode = 0;
    const bool bEnded = run.WaitForExit(kCloseLimitMs, &dwExitCode);
    std::printf("soak: File > Exit to the end of the process: %.1f s%s\n",
                (GetTickCount64() - qwBegin - qwExitAt) / 1000.0, bEnded ? "" : " and still running");
    // The run's end terminates it; nothing below would mean anything.
    ASSERT_TRUE(bEnded) << "still running " << kCloseLimitMs << " ms after File > Exit; " << run.DescribeWindows();
    EXPECT_EQ(dwExitCode, 0u) << "exit code 0x" << std::hex << dwExitCode;
    std::ifstream scenario(ScenarioPath("soak.json"), std::ios::binary);
    const std::string strScenario((std::istreambuf_iterator<char>(scenario)), std::istreambuf_iterator<char>());
    const std::regex device(R"("kind": "[a-z]+", "number")");
    const auto nLines = static_cast<size_t>(
        std::distance(std::sregex_iterator(strScenario.begin(), strScenario.end(), device), std::sregex_iterator()));
    EXPECT_TRUE(nLines > 0 && EndedCleanly(run, nLines)) << nLines << " lines in the scenario";

    // The PBX's side, from the calls it ended: how many the program was
    // handed (not noted as undelivered), how many it dealt with (it
    // deallocates a call once IDLE), how many ended early enough before the
    // exit (the lag), and all of them.
    double dJournalBefore = 0;
    for (const CSample& sample : samples) {
        if (sample.qwTick + kLagLimitMs <= qwExitAt) dJournalBefore = sample.values[kJournal];
    }
    static const std::regex event(
        R"(^(callOffered|callEndUndelivered|lineDeallocateCall|callEnded) hCall=(0x[0-9A-F]+)( hLine=0x[0-9A-F]+ device=\d+| hLine=0x[0-9A-F]+| -> 0x00000000)?$)");
    std::set<std::string> offeredEarly, notDelivered, ended;
    std::vector<std::pair<std::string, bool>> ends;  // a call the program was to see end, and whether early enough
    size_t nHandled = 0;
    double dAt = 0;
    for (const std::string& strLine : run.JournalLines()) {
        dAt += double(strLine.size() + 2);
        std::smatch m;
        if (!std::regex_match(strLine, m, event)) {
            EXPECT_NE(strLine.rfind("call", 0), 0u) << strLine;
        } else if (m[1] == "callOffered") {
            if (dAt <= dJournalReady) offeredEarly.insert(m[2]);
        } else if (m[1] == "callEndUndelivered") {
            notDelivered.insert(m[2]);
        } else if (m[1] == "lineDeallocateCall") {
            nHandled += ended.count(m[2]);
        } else if (ended.insert(m[2]).second && offeredEarly.count(m[2]) == 0) {
            ends.emplace_back(m[2], dAt <= dJournalBefore);
        }
    }
    const size_t nEndsBefore = std::count_if(ends.begin(), ends.end(), [](auto& end) { return end.second; });
    const size_t nDelivered =
        std::count_if(ends.begin(), ends.end(), [&](auto& end) { return notDelivered.count(end.first) == 0; });
    EXPECT_GT(nEndsBefore, 0u);

    // The program's side: whole records, each once, in time order, inside
    // the run, some of them made while the log was held; an IDLE record for
    // every call end it was handed or dealt with, and for every one the PBX
    // made early enough; none for a call that did not end.
    const Texts log = run.LogLines();
    const std::string strEndTime = LocalNow();
    std::set<std::string> seen;
    std::string strPrevious;
    size_t nFaults = 0, nHeld = 0, nIdle = 0;
    const auto fault = [&](const std::string& strWhy) {
        if (nFaults++ < 5) ADD_FAILURE() << strWhy;
    };
    for (const std::string& strRecord : log) {
        const std::string strTime = strRecord.substr(0, 23);
        if (!IsRecord(strRecord))
            fault("not a whole record: " + strRecord);
        else if (!seen.insert(strRecord).second)
            fault("written twice: " + strRecord);
        else if (strTime < strPrevious)
            fault("out of order: " + strRecord);
        else if (strTime < strLaunchTime || strTime > strEndTime)
            fault("time outside the run: " + strRecord);
        strPrevious = std::max(strPrevious, strTime);
        nHeld += !strHeldFrom.empty() && strTime > strHeldFrom && strTime < strHeldTo;
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
    std::printf("soak: %zu lines; %zu call ends (%.0f a minute); %zu records, %zu made while the log was held\n",
                nLines, ended.size(), ended.size() * 60000.0 / (qwExitAt + qwStartUp), log.size(), nHeld);
}
