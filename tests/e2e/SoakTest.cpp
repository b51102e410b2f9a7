// The real Linoscope3.exe left to run on a busy simulated PBX (hundreds of
// lines, hundreds of calls a minute, the clock in real time), with its event
// log held by another program for a stretch in the middle, then closed
// through File > Exit. Afterwards: it ended at once and cleanly, every call
// the PBX ended is in the log, every record is whole and written once, and
// its memory and window-system objects did not grow once it had warmed up.
// LINOSCOPE3_SOAK_MINUTES sets the length (default 1; ./dev soak passes it).
#include <windows.h>
#include <gtest/gtest.h>

// after windows.h
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

#include "ProgramRun.h"

using namespace e2e;

namespace {

constexpr int ID_APP_EXIT = 0xE141;
// "Within seconds": generous for a loaded machine, far below a hang.
constexpr DWORD kCloseLimitMs = 15000;
// A call that ended this long before the exit must be in the log: a program
// further behind the PBX than this has stopped keeping up, however loaded
// the machine.
constexpr ULONGLONG kLagLimitMs = 30000;

// What is sampled, in this order: private bytes, GDI and USER objects,
// windows, the journal's size.
enum { kPrivate, kGdi, kUser, kWindows, kJournal, kValues };
struct CSample {
    ULONGLONG qwTick;  // since the traffic began
    double values[kValues];
};

std::streamoff FileSize(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary | std::ios::ate);
    return file ? static_cast<std::streamoff>(file.tellg()) : 0;
}

BOOL CALLBACK CountChildWindow(HWND, LPARAM lParam) {
    ++*reinterpret_cast<double*>(lParam);
    return TRUE;
}

CSample TakeSample(const CProgramRun& run, ULONGLONG qwTick) {
    CSample sample{qwTick, {}};
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
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
    sample.values[kJournal] = double(FileSize(run.GetFolder() + "\\journal.txt"));
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
    const auto median3 = [](double a, double b, double c) {
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    };
    const size_t n = v.size();
    const double dStart = median3(v[0], v[1], v[2]), dEnd = median3(v[n - 3], v[n - 2], v[n - 1]);
    const double dAllowed = std::max(dStart * dTolerance, dLeast);
    if (dEnd - dStart <= dAllowed) return ::testing::AssertionSuccess();
    static const char* const names[] = {"private bytes", "GDI objects", "USER objects", "windows"};
    return ::testing::AssertionFailure() << names[nValue] << " grew from " << dStart << " to " << dEnd << " (allowed "
                                         << dAllowed << ")";
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

// The devices' names in scenario order: device N of the PBX is the Nth.
std::vector<std::string> DeviceNames(const std::string& strScenario) {
    std::ifstream file(strScenario, std::ios::binary);
    const std::string strText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    static const std::regex device(R"re(\{"kind": "[a-z]+", "number": "[0-9]+", "name": "([A-Za-z0-9]+)"\})re");
    std::vector<std::string> names;
    for (std::sregex_iterator it(strText.begin(), strText.end(), device), end; it != end; ++it)
        names.push_back((*it)[1]);
    return names;
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
    const std::streamoff cbJournalReady = FileSize(run.GetFolder() + "\\journal.txt");

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

    // Memory and objects level after the warm-up. Wine does not count GDI
    // and USER objects (it answers 0); Windows does.
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

    // The PBX's side: every opened line closed, TAPI shut down once. Per
    // line, from the calls the PBX ended there: how many the program was
    // handed (not noted as undelivered), how many it dealt with (it
    // deallocates a call once IDLE), how many ended early enough before the
    // exit (the lag), and all of them.
    std::streamoff cbJournalBefore = 0;
    for (const CSample& sample : samples) {
        if (sample.qwTick + kLagLimitMs <= qwExitAt) cbJournalBefore = std::streamoff(sample.values[kJournal]);
    }
    const std::vector<std::string> names = DeviceNames(ScenarioPath("soak.json"));
    ASSERT_FALSE(names.empty());
    static const std::regex open(R"(^lineOpenA .* device=(\d+) .*-> 0 hLine=(0x[0-9A-F]+)$)");
    static const std::regex close(R"(^lineClose hLine=(0x[0-9A-F]+) .* -> 0$)");
    static const std::regex shutdown(R"(^lineShutdown hLineApp=0x[0-9A-F]+ -> 0 linesStillOpen=0$)");
    static const std::regex offered(R"(^callOffered hCall=(0x[0-9A-F]+) hLine=0x[0-9A-F]+$)");
    static const std::regex undelivered(R"(^callEndUndelivered hCall=(0x[0-9A-F]+)$)");
    static const std::regex deallocated(R"(^lineDeallocateCall hCall=(0x[0-9A-F]+) -> 0x00000000$)");
    static const std::regex ended(R"(^callEnded hCall=(0x[0-9A-F]+) hLine=(0x[0-9A-F]+) device=\d+$)");
    enum { kDelivered, kHandled, kEndedBefore, kEndedAll, kCounts };
    std::map<std::string, std::string> nameOfLine, nameOfCall;  // handle: the line's name
    std::set<std::string> opened, closed, offeredEarly, notDelivered;
    std::vector<std::pair<std::string, bool>> ends;  // handle, ended before the lag limit
    std::map<std::string, std::array<int, kCounts>> counts;
    int nShutdowns = 0;
    std::streamoff cbAt = 0;
    for (const std::string& strLine : run.JournalLines()) {
        cbAt += static_cast<std::streamoff>(strLine.size()) + 2;
        std::smatch m;
        if (std::regex_match(strLine, m, open)) {
            opened.insert(m[2]);
            nameOfLine[m[2]] = std::stoul(m[1]) < names.size() ? names[std::stoul(m[1])] : "?";
        } else if (std::regex_match(strLine, m, close)) {
            closed.insert(m[1]);
        } else if (std::regex_match(strLine, m, offered)) {
            if (cbAt <= cbJournalReady) offeredEarly.insert(m[1]);
        } else if (std::regex_match(strLine, m, undelivered)) {
            notDelivered.insert(m[1]);
        } else if (std::regex_match(strLine, shutdown)) {
            ++nShutdowns;
        } else if (std::regex_match(strLine, m, deallocated) && nameOfCall.count(m[1]) != 0) {
            ++counts[nameOfCall[m[1]]][kHandled];
        } else if (strLine.rfind("callEnded ", 0) == 0) {
            EXPECT_TRUE(std::regex_match(strLine, m, ended)) << strLine;
            if (m.empty()) continue;
            nameOfCall[m[1]] = nameOfLine[m[2]];
            ++counts[nameOfCall[m[1]]][kEndedAll];
            if (offeredEarly.count(m[1]) == 0) ends.emplace_back(m[1], cbAt <= cbJournalBefore);
        }
    }
    int nEndsBefore = 0;
    for (const auto& [strCall, bBefore] : ends) {
        counts[nameOfCall[strCall]][kDelivered] += notDelivered.count(strCall) == 0;
        counts[nameOfCall[strCall]][kEndedBefore] += bBefore;
        nEndsBefore += bBefore;
    }
    EXPECT_EQ(opened.size(), names.size());
    EXPECT_EQ(closed, opened);
    EXPECT_EQ(nShutdowns, 1);
    EXPECT_GT(nEndsBefore, 0);

    // The program's side: whole records, each once, in time order, inside
    // the run, some of them made while the log was held; an IDLE record for
    // every call end it was handed or dealt with, and for every one the PBX
    // made early enough; none for a call that did not end.
    const Texts log = run.LogLines();
    const std::string strEndTime = LocalNow();
    std::set<std::string> seen;
    std::map<std::string, int> idles;
    std::string strPrevious;
    int nFaults = 0, nHeld = 0;
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
        std::smatch m;
        static const std::regex idle(R"(^[^,]*,(?:[^,]* )?([^ ,]+),LINE_CALLSTATE,IDLE.*)");
        if (std::regex_match(strRecord, m, idle)) ++idles[m[1]];
    }
    EXPECT_EQ(nFaults, 0);
    ASSERT_FALSE(strHeldFrom.empty()) << "the log could not be held";
    EXPECT_GT(nHeld, 0) << "no record made while the log was held (" << strHeldFrom << " to " << strHeldTo
                        << ") reached it";
    int nLost = 0;
    for (const std::string& strName : names) {
        const auto& c = counts[strName];
        const int nLogged = idles[strName];
        const int nOwed = std::max({c[kDelivered], c[kHandled], c[kEndedBefore]});
        nLost += std::max(nOwed - nLogged, 0);
        EXPECT_TRUE(nLogged >= nOwed || nLost > 5)
            << strName << ": " << nLogged << " IDLE records; the program was handed " << c[kDelivered]
            << " call ends and dealt with " << c[kHandled] << ", and " << c[kEndedBefore] << " ended " << kLagLimitMs
            << " ms and more before the exit";
        EXPECT_LE(nLogged, c[kEndedAll]) << strName << ": IDLE records for calls that did not end";
    }
    EXPECT_EQ(nLost, 0) << "IDLE records lost or far behind the PBX";
    std::printf(
        "soak: %zu lines; %zu call ends on lines (%.0f a minute); %zu records, %d made while the log was held\n",
        opened.size(), ends.size(), ends.size() * 60000.0 / (qwExitAt + qwStartUp), log.size(), nHeld);
}
