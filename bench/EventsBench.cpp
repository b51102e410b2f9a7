// The costs that matter while a busy PBX reports: one call-state change of a
// known call, one call-information change with its ten details, and the
// fill of a large group's tree with its sort. The bare open-append-close of
// one log record is measured beside them, as the yardstick of the log.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "monitor/TapiMonitor.h"
#include "platform/Platform.h"
#include "presentation/EventLogWriter.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/TestApp.h"
#include "views/MemoryTreeCtrl.h"

namespace {

constexpr HCALL kCall = 0x501;
// The fake TAPI records every call; forget them now and then so that memory
// stays flat over millions of iterations.
constexpr int kForgetCallsEvery = 4096;

std::string TempLogPath(const char* pszName) {
    return (std::filesystem::temp_directory_path() / pszName).string();
}

// A monitor with one open EXT line "201" holding one call with its details.
class CEventBench {
public:
    explicit CEventBench(const std::string& strLogFile) {
        m_tapi.m_pfnCallback = &LineCallback;
        m_app.m_pMonitor = &m_monitor;
        m_tapi.m_devCaps[0] = CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x3000, "");
        m_tapi.m_addressCaps[0] = CFakeTapi::MakeAddressCaps(0, "201");
        std::unique_ptr<CLineDevCaps> pLine = m_monitor.FetchDevCaps(0);
        std::unique_ptr<CLineAddressCaps> pCaps = m_monitor.FetchAddressCaps(0, 0);
        pLine->m_hLine = CFakeTapi::LineHandleFor(0);
        pLine->m_pAddressCaps = pCaps.get();
        Internals(m_monitor).m_addressCaps.push_back(std::move(pCaps));
        Internals(m_monitor).m_extByLine[pLine->m_hLine] = pLine.get();
        const HLINE hLine = pLine->m_hLine;
        Internals(m_monitor).m_extLines.push_back(std::move(pLine));
        m_monitor.SetExtTree(&m_tree);
        m_monitor.FillExtTree();

        CStructImage info = CFakeTapi::MakeCallInfo(hLine, "301", "201");
        info.As<LINECALLINFO>()->dwOrigin = LINECALLORIGIN_INTERNAL;
        info.As<LINECALLINFO>()->dwReason = LINECALLREASON_DIRECT;
        info.As<LINECALLINFO>()->dwTrunk = 3;
        m_tapi.m_callInfo[kCall] = info;
        m_tapi.Deliver(hLine, LINE_APPNEWCALL, 0, kCall, LINECALLPRIVILEGE_MONITOR);
        m_strLogFile = strLogFile;
        if (!m_strLogFile.empty()) std::remove(m_strLogFile.c_str());
        Internals(m_monitor).m_strLogFile = m_strLogFile;
    }
    ~CEventBench() {
        if (!m_strLogFile.empty()) std::remove(m_strLogFile.c_str());
    }

    void Forget(int nIteration) {
        if (nIteration % kForgetCallsEvery == 0) m_tapi.ClearCalls();
    }
    bool CallIsShown() const { return Internals(m_monitor).m_extCalls.count(kCall) == 1; }

    CFakeTapi m_tapi;
    CTestApp m_app;
    CMemoryTreeCtrl m_tree;
    CTapiMonitor m_monitor;
    std::string m_strLogFile;
};

void RunCallState(benchmark::State& state, const std::string& strLogFile) {
    CEventBench bench(strLogFile);
    int n = 0;
    for (auto _ : state) {
        bench.m_tapi.Deliver(kCall, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE, 0);
        bench.Forget(++n);
    }
    if (!bench.CallIsShown() || Internals(bench.m_monitor).m_pLogWriter->GetWaitingCount() != 0)
        state.SkipWithError("the call was lost");
    state.SetItemsProcessed(state.iterations());
}

// LINE_CALLSTATE of a known call, without a log file: the tree and TAPI work.
void BM_CallStateWithoutLog(benchmark::State& state) {
    RunCallState(state, "");
}
BENCHMARK(BM_CallStateWithoutLog);

// The same with every record appended to the log file.
void BM_CallStateWithLog(benchmark::State& state) {
    RunCallState(state, TempLogPath("lsc_bench_callstate.csv"));
}
BENCHMARK(BM_CallStateWithLog);

// LINE_CALLINFO of a known call: ten details refreshed, one record appended.
void BM_CallInfoWithLog(benchmark::State& state) {
    CEventBench bench(TempLogPath("lsc_bench_callinfo.csv"));
    int n = 0;
    for (auto _ : state) {
        bench.m_tapi.Deliver(kCall, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
        bench.Forget(++n);
    }
    if (!bench.CallIsShown()) state.SkipWithError("the call was lost");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallInfoWithLog);

// The yardstick: open, append one call-state record, close.
void BM_BareAppend(benchmark::State& state) {
    const std::string strPath = TempLogPath("lsc_bench_append.csv");
    std::remove(strPath.c_str());
    const std::string strRecord = "2004/01/05 13:07:15:930,201,LINE_CALLSTATE,CONNECTED - ACTIVE\r\n";
    for (auto _ : state) {
        if (!platform::AppendRecord(strPath, strRecord)) state.SkipWithError("cannot append");
    }
    std::remove(strPath.c_str());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareAppend);

// FillExtTree of 10,000 lines with labels of three to four digits and some
// display names, sorted; the emptying of the tree before each fill is not timed.
void BM_Fill10000Lines(benchmark::State& state) {
    CFakeTapi tapi;
    CTapiMonitor monitor;
    CMemoryTreeCtrl tree;
    tapi.m_devCaps[0] = CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x3000, "");
    const int nLines = 10000;
    unsigned uSeed = 12345;
    for (int i = 0; i < nLines; ++i) {
        uSeed = uSeed * 1103515245u + 12345u;
        const std::string strAddress = std::to_string(100 + (uSeed >> 8) % 9900);
        tapi.m_addressCaps[0] = CFakeTapi::MakeAddressCaps(0, strAddress);
        std::unique_ptr<CLineDevCaps> pLine = monitor.FetchDevCaps(0);
        std::unique_ptr<CLineAddressCaps> pCaps = monitor.FetchAddressCaps(0, 0);
        if (!pLine || !pCaps) {
            state.SkipWithError("cannot build the lines");
            return;
        }
        pLine->m_pAddressCaps = pCaps.get();
        if (i % 3 == 0) pLine->m_strDisplayName = "Desk " + std::to_string(i);
        Internals(monitor).m_addressCaps.push_back(std::move(pCaps));
        Internals(monitor).m_extLines.push_back(std::move(pLine));
    }
    tapi.ClearCalls();
    monitor.SetExtTree(&tree);
    for (auto _ : state) {
        state.PauseTiming();
        tree.DeleteItem(TVI_ROOT);
        monitor.ClearExtCalls();
        state.ResumeTiming();
        monitor.FillExtTree();
    }
    if (tree.GetCount() != static_cast<UINT>(nLines + 1)) state.SkipWithError("lines missing");
    state.SetItemsProcessed(state.iterations() * nLines);
}
BENCHMARK(BM_Fill10000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
