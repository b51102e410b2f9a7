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
constexpr DWORD kStartTimeoutMs = 180000;
// "Within seconds": generous for a loaded machine, far below a hang.
constexpr DWORD kCloseLimitMs = 15000;
// A call that ended this long before the exit must be in the log: a program
// further behind the PBX than this has stopped keeping up, however loaded
// the machine.
constexpr ULONGLONG kLagLimitMs = 30000;

struct CSample {
    ULONGLONG qwTick = 0;  // since the traffic began
    SIZE_T cbPrivate = 0;
    DWORD dwGdi = 0;
    DWORD dwUser = 0;
    DWORD dwWindows = 0;
    std::streamoff cbJournal = 0;
};

ULONGLONG SoakMs() {
    const char* psz = std::getenv("LINOSCOPE3_SOAK_MINUTES");
    const double dMinutes = psz != nullptr && *psz != '\0' ? std::atof(psz) : 1.0;
    return static_cast<ULONGLONG>(std::max(dMinutes, 0.5) * 60000.0);
}

std::streamoff FileSize(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary | std::ios::ate);
    return file ? static_cast<std::streamoff>(file.tellg()) : 0;
}

BOOL CALLBACK CountChildWindow(HWND, LPARAM lParam) {
    ++*reinterpret_cast<DWORD*>(lParam);
    return TRUE;
}

DWORD CountWindows(DWORD dwProcessId) {
    DWORD dwCount = 0;
    for (HWND hWnd : TopLevelWindows(dwProcessId)) {
        ++dwCount;
        EnumChildWindows(hWnd, CountChildWindow, reinterpret_cast<LPARAM>(&dwCount));
    }
    return dwCount;
}

CSample TakeSample(const CProgramRun& run, ULONGLONG qwTick) {
    CSample sample;
    sample.qwTick = qwTick;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(run.GetProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        // Wine leaves PrivateUsage at 0; its PagefileUsage counts the same
        // committed private bytes, as it does on Windows.
        sample.cbPrivate = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    }
    sample.dwGdi = GetGuiResources(run.GetProcess(), GR_GDIOBJECTS);
    sample.dwUser = GetGuiResources(run.GetProcess(), GR_USEROBJECTS);
    sample.dwWindows = CountWindows(run.GetProcessId());
    sample.cbJournal = FileSize(run.GetFolder() + "\\journal.txt");
    return sample;
}

// Flat: after the warm-up, the end of the run (the median of its last three
// samples) lies no further above its beginning (the median of the first
// three) than the tolerance. A steady load keeps memory and objects level; a
// leak per call or per record climbs with the calls.
template <typename T>
::testing::AssertionResult Flat(const std::vector<CSample>& samples, ULONGLONG qwWarmUpMs, const char* pszWhat,
                                T CSample::*pValue, double dTolerance, double dLeast) {
    std::vector<double> values;
    for (const CSample& sample : samples) {
        if (sample.qwTick >= qwWarmUpMs) values.push_back(static_cast<double>(sample.*pValue));
    }
    if (values.size() < 6) return ::testing::AssertionFailure() << pszWhat << ": too few samples after the warm-up";
    auto median3 = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[1];
    };
    const double dStart = median3({values[0], values[1], values[2]});
    const size_t n = values.size();
    const double dEnd = median3({values[n - 3], values[n - 2], values[n - 1]});
    const double dAllowed = std::max(dStart * dTolerance, dLeast);
    if (dEnd - dStart <= dAllowed) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << pszWhat << " grew from " << dStart << " to " << dEnd << " (allowed "
                                         << dAllowed << ")";
}

// "yyyy/mm/dd hh:mm:ss:mmm" with every field in its range.
bool IsTimestamp(const std::string& str) {
    static const std::regex shape(R"((\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2}):\d{3})");
    std::smatch match;
    if (!std::regex_match(str, match, shape)) return false;
    const auto field = [&](int i) { return std::stoi(match[i]); };
    return field(1) >= 2000 && field(2) >= 1 && field(2) <= 12 && field(3) >= 1 && field(3) <= 31 && field(4) <= 23 &&
           field(5) <= 59 && field(6) <= 59;
}

std::string LocalNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char sz[32];
    std::snprintf(sz, sizeof sz, "%04d/%02d/%02d %02d:%02d:%02d:%03d", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    return sz;
}

std::vector<std::string> Split(const std::string& str, char c) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t pos; (pos = str.find(c, start)) != std::string::npos; start = pos + 1) {
        fields.push_back(str.substr(start, pos - start));
    }
    fields.push_back(str.substr(start));
    return fields;
}

// What is wrong with one line of testlog.csv; empty when it is a whole record.
std::string RecordFault(const std::string& strLine) {
    if (strLine.size() < 24 || !IsTimestamp(strLine.substr(0, 23)) || strLine[23] != ',') return "time stamp";
    const std::vector<std::string> fields = Split(strLine.substr(24), ',');
    if (fields.size() == 1 && (fields[0] == "OUTOFSERVICE" || fields[0] == "REINIT")) return "";
    if (fields.size() == 3 && fields[1] == "LINE_CALLSTATE" && !fields[0].empty() && !fields[2].empty()) return "";
    // Label, LINE_CALLINFO, what changed, seven identification fields (a
    // comma inside one adds a column) and an empty last column.
    if (fields.size() >= 11 && fields[1] == "LINE_CALLINFO" && !fields[0].empty() && fields.back().empty()) return "";
    return "not a record";
}

// The devices' names in scenario order: device N of the PBX is the Nth.
std::vector<std::string> DeviceNames(const std::string& strScenario) {
    std::ifstream file(strScenario, std::ios::binary);
    const std::string strText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    static const std::regex device(R"re(\{"kind": "[a-z]+", "number": "[0-9]+", "name": "([A-Za-z0-9]+)"\})re");
    std::vector<std::string> names;
    for (std::sregex_iterator it(strText.begin(), strText.end(), device), end; it != end; ++it) {
        names.push_back((*it)[1]);
    }
    return names;
}

std::string Series(const std::vector<CSample>& samples) {
    std::string str = "       s   private KiB   GDI  USER  windows\n";
    char sz[96];
    for (const CSample& s : samples) {
        std::snprintf(sz, sizeof sz, "  %6.0f  %12llu  %4lu  %4lu  %7lu\n", s.qwTick / 1000.0,
                      static_cast<unsigned long long>(s.cbPrivate / 1024), static_cast<unsigned long>(s.dwGdi),
                      static_cast<unsigned long>(s.dwUser), static_cast<unsigned long>(s.dwWindows));
        str += sz;
    }
    return str;
}

}  // namespace

TEST(Soak, BusyPbxHeldLogAndFileExit) {
    const ULONGLONG qwRunMs = SoakMs();
    const ULONGLONG qwHoldFromMs = qwRunMs * 35 / 100;
    const ULONGLONG qwHoldToMs = qwHoldFromMs + std::max<ULONGLONG>(10000, qwRunMs * 15 / 100);
    const ULONGLONG qwWarmUpMs = std::max<ULONGLONG>(15000, qwRunMs / 4);
    const ULONGLONG qwSampleMs = std::clamp<ULONGLONG>(qwRunMs / 30, 2000, 10000);

    CProgramRun run("soak", "soak.json");
    run.SetStartTimeout(kStartTimeoutMs);
    std::string strError;
    const std::string strLaunchTime = LocalNow();
    const ULONGLONG qwLaunched = GetTickCount64();
    ASSERT_TRUE(run.Start(&strError, true)) << strError;
    const ULONGLONG qwStartUp = GetTickCount64() - qwLaunched;
    // Calls offered before this point began while the program was starting,
    // when it takes no events: they are not its to log.
    const std::streamoff cbJournalReady = FileSize(run.GetFolder() + "\\journal.txt");
    const std::string strLog = run.GetFolder() + "\\testlog.csv";

    // Run, sample, and hold the log in the middle.
    std::vector<CSample> samples;
    HANDLE hHold = INVALID_HANDLE_VALUE;
    std::string strHeldFrom, strHeldTo;
    const ULONGLONG qwBegin = GetTickCount64();
    ULONGLONG qwNextSample = 0;
    for (ULONGLONG qwNow = 0; qwNow < qwRunMs && !run.HasExited(); qwNow = GetTickCount64() - qwBegin) {
        if (hHold == INVALID_HANDLE_VALUE && strHeldFrom.empty() && qwNow >= qwHoldFromMs) {
            // Read access shared, write access not: the program cannot open it to append.
            hHold = CreateFileA(strLog.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
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

    // Memory and objects level after the warm-up.
    EXPECT_TRUE(Flat(samples, qwWarmUpMs, "private bytes", &CSample::cbPrivate, 0.10, 4.0 * 1024 * 1024));
    EXPECT_TRUE(Flat(samples, qwWarmUpMs, "windows", &CSample::dwWindows, 0.0, 2.0));
    // Wine does not count GDI and USER objects (it answers 0); Windows does.
    const bool bCounted = std::any_of(samples.begin(), samples.end(), [](const CSample& s) { return s.dwGdi != 0; });
    const std::vector<std::string> journalSoFar = run.JournalLines();
    const auto nEndsSoFar = std::count_if(journalSoFar.begin(), journalSoFar.end(),
                                          [](const std::string& line) { return line.rfind("callEnded ", 0) == 0; });
    std::printf(
        "soak: %.1f min of traffic after a %.1f s start-up: %ld call ends on lines (%.0f a minute, start-up included); "
        "the log held from %s to %s%s\n%s",
        qwRunMs / 60000.0, qwStartUp / 1000.0, static_cast<long>(nEndsSoFar),
        nEndsSoFar * 60000.0 / (qwRunMs + qwStartUp), strHeldFrom.c_str(), strHeldTo.c_str(),
        bCounted ? "" : "; GDI/USER counts not reported by this platform", Series(samples).c_str());
    std::fflush(stdout);
    if (bCounted) {
        EXPECT_TRUE(Flat(samples, qwWarmUpMs, "GDI objects", &CSample::dwGdi, 0.10, 20.0));
        EXPECT_TRUE(Flat(samples, qwWarmUpMs, "USER objects", &CSample::dwUser, 0.10, 20.0));
    }

    // File > Exit, and the time until the process is gone.
    const ULONGLONG qwExitAt = GetTickCount64() - qwBegin;
    ASSERT_TRUE(PostMessageA(run.GetFrame(), WM_COMMAND, ID_APP_EXIT, 0));
    DWORD dwExitCode = 0;
    const bool bEnded = run.WaitForExit(kCloseLimitMs, &dwExitCode);
    const ULONGLONG qwCloseMs = GetTickCount64() - qwBegin - qwExitAt;
    std::printf("soak: File > Exit to the end of the process: %.1f s%s\n", qwCloseMs / 1000.0,
                bEnded ? "" : " and still running");
    EXPECT_TRUE(bEnded) << "still running " << kCloseLimitMs
                        << " ms after File > Exit; windows: " << run.DescribeWindows();
    if (!bEnded) return;  // the run's end terminates it; nothing below would mean anything
    EXPECT_EQ(dwExitCode, 0u) << "exit code 0x" << std::hex << dwExitCode;

    // The PBX's side: every opened line closed, TAPI shut down; every call
    // that ended on a line, in the part of the journal written before the
    // program was asked to exit less the allowed lag.
    std::streamoff cbJournalBefore = 0;
    for (const CSample& sample : samples) {
        if (sample.qwTick + kLagLimitMs <= qwExitAt) cbJournalBefore = sample.cbJournal;
    }
    const std::vector<std::string> names = DeviceNames(ScenarioPath("soak.json"));
    ASSERT_FALSE(names.empty());
    static const std::regex open(R"(^lineOpenA .* device=(\d+) .*-> 0 hLine=(0x[0-9A-F]+)$)");
    static const std::regex close(R"(^lineClose hLine=(0x[0-9A-F]+) .* -> 0$)");
    static const std::regex shutdown(R"(^lineShutdown hLineApp=0x[0-9A-F]+ -> 0 linesStillOpen=0$)");
    static const std::regex offered(R"(^callOffered hCall=(0x[0-9A-F]+) hLine=0x[0-9A-F]+$)");
    static const std::regex ended(R"(^callEnded hCall=(0x[0-9A-F]+) hLine=(0x[0-9A-F]+) device=\d+$)");
    static const std::regex undelivered(R"(^callEndUndelivered hCall=(0x[0-9A-F]+)$)");
    static const std::regex deallocated(R"(^lineDeallocateCall hCall=(0x[0-9A-F]+) -> 0x00000000$)");
    std::map<std::string, std::string> nameOfLine, nameOfCall;
    std::set<std::string> opened, closed, offeredEarly, notDelivered;
    // Per line: calls the PBX ended (all, and early enough), and calls the
    // program dealt with (it deallocates a call once it is IDLE).
    std::map<std::string, int> endsBefore, endsAll, delivered, handled;
    std::vector<std::pair<std::string, std::string>> endedCalls;  // handle, line name
    int nShutdowns = 0, nEnds = 0, nEndsBefore = 0, nHandled = 0, nEarly = 0;
    std::streamoff cbAt = 0;
    for (const std::string& line : run.JournalLines()) {
        cbAt += static_cast<std::streamoff>(line.size()) + 2;
        std::smatch match;
        if (std::regex_match(line, match, open)) {
            opened.insert(match[2]);
            const size_t nDevice = std::stoul(match[1]);
            nameOfLine[match[2]] = nDevice < names.size() ? names[nDevice] : "?";
        } else if (std::regex_match(line, match, close)) {
            closed.insert(match[1]);
        } else if (std::regex_match(line, match, offered)) {
            if (cbAt <= cbJournalReady) offeredEarly.insert(match[1]);
        } else if (std::regex_match(line, match, undelivered)) {
            notDelivered.insert(match[1]);
        } else if (std::regex_match(line, shutdown)) {
            ++nShutdowns;
        } else if (std::regex_match(line, match, deallocated) && nameOfCall.count(match[1]) != 0) {
            ++handled[nameOfCall[match[1]]];
            ++nHandled;
        } else if (line.rfind("callEnded ", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, match, ended)) << line;
            const std::string strName = match.empty() ? "?" : nameOfLine[match[2]];
            if (!match.empty()) nameOfCall[match[1]] = strName;
            ++endsAll[strName];
            ++nEnds;
            if (!match.empty() && offeredEarly.count(match[1]) != 0) {
                ++nEarly;
                continue;
            }
            if (!match.empty()) endedCalls.emplace_back(match[1], strName);
            if (cbAt <= cbJournalBefore) {
                ++endsBefore[strName];
                ++nEndsBefore;
            }
        }
    }
    // An IDLE state the program was handed (its end noted before it, and not
    // noted as undelivered after) must have its record.
    for (const auto& [strCall, strName] : endedCalls) {
        if (notDelivered.count(strCall) == 0) ++delivered[strName];
    }
    EXPECT_EQ(opened.size(), names.size());
    EXPECT_EQ(closed, opened);
    EXPECT_EQ(nShutdowns, 1);

    // The program's side: whole records, each once, in time order, inside the
    // run; an IDLE record for every call end.
    const std::vector<std::string> log = run.LogLines();
    const std::string strEndTime = LocalNow();
    std::set<std::string> seen;
    std::map<std::string, int> idles;
    std::string strPrevious;
    int nBroken = 0, nTwice = 0, nOutOfOrder = 0, nHeld = 0;
    for (const std::string& line : log) {
        const std::string strFault = RecordFault(line);
        if (!strFault.empty()) {
            if (nBroken++ < 5) ADD_FAILURE() << strFault << ": " << line;
            continue;
        }
        if (!seen.insert(line).second && nTwice++ < 5) ADD_FAILURE() << "written twice: " << line;
        const std::string strTime = line.substr(0, 23);
        if (strTime < strPrevious && nOutOfOrder++ < 5) ADD_FAILURE() << "out of order: " << line;
        strPrevious = std::max(strPrevious, strTime);
        if (strTime < strLaunchTime || strTime > strEndTime) ADD_FAILURE() << "time outside the run: " << line;
        if (!strHeldFrom.empty() && strTime > strHeldFrom && strTime < strHeldTo) ++nHeld;
        const std::vector<std::string> fields = Split(line.substr(24), ',');
        if (fields.size() == 3 && fields[1] == "LINE_CALLSTATE" && fields[2].rfind("IDLE", 0) == 0) {
            ++idles[fields[0].substr(fields[0].rfind(' ') + 1)];
        }
    }
    EXPECT_EQ(nBroken, 0);
    EXPECT_EQ(nTwice, 0);
    EXPECT_EQ(nOutOfOrder, 0);
    // The records made while the log was held waited and came later.
    ASSERT_FALSE(strHeldFrom.empty()) << "the log could not be held";
    EXPECT_GT(nHeld, 0) << "no record made while the log was held (" << strHeldFrom << " to " << strHeldTo
                        << ") reached it";
    // A call end the program was handed and did not log is a lost record; a
    // call the PBX ended long enough before the exit that the program never
    // got to means the program fell behind.
    int nLost = 0, nMissing = 0, nExtra = 0;
    for (const std::string& strName : names) {
        const int nLogged = idles[strName];
        if (nLogged < std::max(delivered[strName], handled[strName])) {
            nLost += std::max(delivered[strName], handled[strName]) - nLogged;
            if (nLost <= 5)
                ADD_FAILURE() << strName << ": the program was handed " << delivered[strName]
                              << " call ends and dealt with " << handled[strName] << ", " << nLogged << " IDLE records";
        }
        if (nLogged < endsBefore[strName]) {
            nMissing += endsBefore[strName] - nLogged;
            if (nMissing <= 5)
                ADD_FAILURE() << strName << ": " << endsBefore[strName] << " calls ended, " << nLogged
                              << " IDLE records";
        }
        if (nLogged > endsAll[strName] && nExtra++ < 5) {
            ADD_FAILURE() << strName << ": " << nLogged << " IDLE records for " << endsAll[strName] << " calls ended";
        }
    }
    EXPECT_EQ(nLost, 0) << "IDLE records lost";
    EXPECT_EQ(nMissing, 0) << "call ends the program had not logged " << kLagLimitMs << " ms and more after the PBX";
    EXPECT_GT(nEndsBefore, 0);

    std::printf(
        "soak: %zu lines; %d call ends on lines (%.0f a minute; a call ends on one or two lines), %d of them dealt "
        "with by the program before it ended, %d begun during its start-up; %zu records, %d of them made while the "
        "log was held\n",
        opened.size(), nEnds, nEnds * 60000.0 / (qwExitAt + qwStartUp), nHandled, nEarly, log.size(), nHeld);
}
