// The simulator DLL driven the way the program drives TAPI: bound through the
// program's own entry table, its structures read through the program's
// retrieval and snapshots, its messages delivered through the hidden window.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/SimScenario.h"
#include "monitor/TapiMonitor.h"
#include "platform/Platform.h"
#include "reports/LineAddressStatus.h"
#include "reports/LineCallInfo.h"
#include "reports/LineDevCaps.h"
#include "support/MonitorInternals.h"
#include "tapi/TapiEntry.h"

namespace {

struct CRecord {
    DWORD hDevice;
    DWORD dwMessage;
    DWORD_PTR dwParam1;
    DWORD_PTR dwParam2;
    DWORD_PTR dwParam3;
    DWORD dwThread;
    bool bInsideTapi;
    HCALL hMadeAtDelivery;
};

std::vector<CRecord> g_records;
bool g_bInsideTapi = false;
HCALL g_hMade = 0;

void CALLBACK Record(DWORD hDevice, DWORD dwMessage, DWORD_PTR, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                     DWORD_PTR dwParam3) {
    g_records.push_back(
        {hDevice, dwMessage, dwParam1, dwParam2, dwParam3, GetCurrentThreadId(), g_bInsideTapi, g_hMade});
}

// Marks the time spent inside a TAPI call: no callback may run then.
template <typename Fn>
LONG InTapi(Fn fn) {
    g_bInsideTapi = true;
    LONG lResult = fn();
    g_bInsideTapi = false;
    return lResult;
}

// GetProcAddress gives a generic pointer; going through void* keeps the cast honest.
template <typename Fn>
void Resolve(HMODULE hModule, const char* pszName, Fn* ppfn) {
    *ppfn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hModule, pszName)));
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string TempFile(const std::string& strName, const std::string& strText) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "lsc_sim_dll_test";
    std::filesystem::create_directories(dir);
    std::string strPath = (dir / strName).string();
    std::filesystem::remove(strPath + ".log");
    std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText;
    return strPath;
}

std::string ReadFile(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

const char kOffice[] = R"({
  "name": "dll test office",
  "devices": [
    {"kind": "ext", "number": "201", "name": "Reception", "did": "0312"},
    {"kind": "ext", "number": "202", "name": "Sales", "refuseVersions": ["0x00020000"]},
    {"kind": "co", "number": "801", "name": "City Line 1"},
    {"kind": "co", "number": "802", "name": "City Line 2", "provider": "Talvora ZR-40N 1st Party"},
    {"kind": "etc", "number": "700", "name": "Voice Mail", "permanentLineId": "0x0550"},
    {"kind": "etc", "number": "760", "name": "Paging", "permanentLineId": "0x0600"},
    {"kind": "other", "number": "750", "name": "Fax Modem"}
  ]
})";

enum EGroup { EXT, CO, ETC };

class SimDll : public testing::Test {
protected:
    void SetUp() override {
        std::string strDll = platform::ExecutableDirectory() + "\\..\\sim\\TAPI32.dll";
        tapi::ResetEntryTableForTests(strDll.c_str());
        m_hDll = LoadLibraryA(strDll.c_str());
        ASSERT_NE(m_hDll, nullptr) << strDll;
        Resolve(m_hDll, "simAdvanceClock", &m_pfnAdvance);
        Resolve(m_hDll, "simInjectEvent", &m_pfnInject);
        Resolve(m_hDll, "simGetLastError", &m_pfnLastError);
        Resolve(m_hDll, "simSetManualClock", &m_pfnManual);
        Resolve(m_hDll, "simGetState", &m_pfnState);
        Resolve(m_hDll, "simReset", &m_pfnReset);
        ASSERT_TRUE(m_pfnAdvance && m_pfnInject && m_pfnLastError && m_pfnManual && m_pfnState && m_pfnReset)
            << "not the simulator: Wine's own tapi32 was loaded";
        m_pfnReset();
        m_pfnManual(TRUE);
        g_records.clear();
        SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", nullptr);
    }

    void TearDown() override {
        if (m_hApp != 0) {
            tapi::lineShutdown(m_hApp);
        }
        if (m_pfnReset != nullptr) {
            m_pfnReset();
        }
        Pump();
        SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", nullptr);
        SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", nullptr);
    }

    LONG Start(const std::string& strScenario) {
        SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenario.c_str());
        DWORD dwVersion = TAPI_VERSION_2_0;
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
        return InTapi([&] {
            return tapi::lineInitializeEx(&m_hApp, GetModuleHandleA(nullptr), Record, "Linoscope3", &m_dwDevices,
                                          &dwVersion, &params);
        });
    }

    // Opens as start-up does: negotiated extension version, 2.0, then 1.4, then 1.3.
    HLINE Open(DWORD dwDevice) {
        DWORD dwExt = 0x00010002;
        tapi::lineNegotiateExtVersion(m_hApp, dwDevice, TAPI_VERSION_2_0, 0x00010002, 0xFFFFFFFF, &dwExt);
        for (DWORD dwVersion : {TAPI_VERSION_2_0, TAPI_VERSION_1_4, TAPI_VERSION_1_3}) {
            HLINE hLine = 0;
            if (tapi::lineOpen(m_hApp, dwDevice, &hLine, dwVersion, dwExt, 0, LINECALLPRIVILEGE_MONITOR,
                               LINEMEDIAMODE_INTERACTIVEVOICE, nullptr) == 0) {
                tapi::lineSetStatusMessages(hLine, 0x01FFFFFF, 0x000001FF);
                return hLine;
            }
        }
        return 0;
    }

    // The scenario time, from the model's state.
    unsigned long long ScenarioTime() const {
        std::string strState(m_pfnState(nullptr, 0), '\0');
        m_pfnState(strState.data(), static_cast<DWORD>(strState.size()));
        std::size_t pos = strState.find("\"time\":");
        return pos == std::string::npos ? 0 : std::stoull(strState.substr(pos + 7));
    }

    std::vector<DWORD_PTR> StatesOf(HCALL hCall) const {
        std::vector<DWORD_PTR> states;
        for (const CRecord& r : g_records) {
            if (r.dwMessage == LINE_CALLSTATE && r.hDevice == hCall) {
                states.push_back(r.dwParam1);
            }
        }
        return states;
    }

    HMODULE m_hDll = nullptr;
    LONG(WINAPI* m_pfnAdvance)(DWORD) = nullptr;
    LONG(WINAPI* m_pfnInject)(LPCSTR) = nullptr;
    DWORD(WINAPI* m_pfnLastError)(LPSTR, DWORD) = nullptr;
    void(WINAPI* m_pfnManual)(BOOL) = nullptr;
    DWORD(WINAPI* m_pfnState)(LPSTR, DWORD) = nullptr;
    void(WINAPI* m_pfnReset)() = nullptr;
    HLINEAPP m_hApp = 0;
    DWORD m_dwDevices = 0;
};

}  // namespace

TEST_F(SimDll, EveryDeviceParsesClassifiesAndReportsItsDisplayName) {
    std::string strPath = TempFile("office.json", kOffice);
    ASSERT_EQ(Start(strPath), 0);
    sim::CSimScenario scenario;
    std::string strError;
    ASSERT_TRUE(sim::LoadScenarioFile(strPath, &scenario, &strError)) << strError;
    ASSERT_EQ(m_dwDevices, scenario.m_lines.size());

    CTapiMonitor monitor;
    Internals(monitor).m_hLineApp = m_hApp;
    for (DWORD i = 0; i < m_dwDevices; ++i) {
        const sim::CSimLineConfig& line = scenario.m_lines[i];
        std::unique_ptr<CLineDevCaps> pCaps = monitor.FetchDevCaps(i);
        ASSERT_NE(pCaps, nullptr) << "device " << i;
        EXPECT_EQ(pCaps->m_strProviderInfo, line.m_strProvider);
        EXPECT_EQ(pCaps->m_strLineName, line.m_strLineName);
        EXPECT_EQ(pCaps->m_dwPermanentLineID, line.m_dwPermanentLineID);
        EGroup eExpected = line.m_eKind == sim::ELineKind::Ext ? EXT : line.m_eKind == sim::ELineKind::Co ? CO : ETC;
        EGroup eGroup = pCaps->IsExtLine() ? EXT : pCaps->IsCoLine() ? CO : ETC;
        EXPECT_EQ(eGroup, eExpected) << line.m_strNumber;

        HLINE hLine = Open(i);
        ASSERT_NE(hLine, 0u) << "device " << i;
        std::unique_ptr<CLineAddressStatus> pStatus = monitor.FetchAddressStatus(hLine, 0);
        ASSERT_NE(pStatus, nullptr);
        std::string strName = eGroup == EXT         ? pStatus->GetExtDisplayName()
                              : eGroup == CO        ? pStatus->GetCoDisplayName()
                              : pCaps->HasEtcName() ? pStatus->GetEtcDisplayName()
                                                    : std::string();
        bool bNamed = line.m_eKind != sim::ELineKind::Other && (line.m_dwPermanentLineID & 0xFF00) != 0x0600;
        EXPECT_EQ(strName, bNamed ? line.m_strName : std::string()) << line.m_strNumber;
        EXPECT_EQ(tapi::lineClose(hLine), 0);
    }
    Pump();
    EXPECT_TRUE(g_records.empty());  // nothing happened on the lines
}

TEST_F(SimDll, MakeCallRepliesThenReportsStatesInOrderThroughTheHiddenWindow) {
    ASSERT_EQ(Start(TempFile("office.json", kOffice)), 0);
    HLINE hLine = Open(0);
    ASSERT_NE(hLine, 0u);
    Pump();
    g_records.clear();

    LONG lRequest = InTapi([&] { return tapi::lineMakeCall(hLine, &g_hMade, "202", 0, nullptr); });
    ASSERT_GT(lRequest, 0);
    EXPECT_EQ(g_hMade, 0u);
    EXPECT_TRUE(g_records.empty()) << "a callback ran inside lineMakeCall";
    Pump();
    ASSERT_GE(g_records.size(), 2u);
    EXPECT_EQ(g_records[0].dwMessage, LINE_REPLY);
    EXPECT_EQ(g_records[0].dwParam1, static_cast<DWORD_PTR>(lRequest));
    EXPECT_EQ(g_records[0].dwParam2, 0u);
    EXPECT_NE(g_records[0].hMadeAtDelivery, 0u) << "the call handle must be written before LINE_REPLY";
    HCALL hCall = g_hMade;

    for (DWORD dwStep : {300, 500, 3000}) {
        EXPECT_GT(m_pfnAdvance(dwStep), 0);
        Pump();
    }
    EXPECT_EQ(StatesOf(hCall),
              (std::vector<DWORD_PTR>{LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                                      LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED}));
    for (const CRecord& r : g_records) {
        EXPECT_EQ(r.dwThread, GetCurrentThreadId());
        EXPECT_FALSE(r.bInsideTapi);
    }

    CTapiMonitor monitor;
    Internals(monitor).m_hLineApp = m_hApp;
    std::unique_ptr<CLineCallInfo> pInfo = monitor.FetchCallInfo(hCall);
    ASSERT_NE(pInfo, nullptr);
    EXPECT_EQ(pInfo->GetCallerID(), "201");
    EXPECT_EQ(pInfo->GetCalledID(), "202");
    EXPECT_EQ(pInfo->GetConnectedID(), "202");
    EXPECT_EQ(pInfo->GetOriginText(), "OUTBOUND");

    g_records.clear();
    LONG lDrop = InTapi([&] { return tapi::lineDrop(hCall, nullptr, 0); });
    ASSERT_GT(lDrop, 0);
    EXPECT_TRUE(g_records.empty());
    Pump();
    ASSERT_FALSE(g_records.empty());
    EXPECT_EQ(g_records[0].dwMessage, LINE_REPLY);
    EXPECT_EQ(StatesOf(hCall), (std::vector<DWORD_PTR>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
    EXPECT_EQ(tapi::lineDeallocateCall(hCall), 0);
}

TEST_F(SimDll, ProgramReadsIdsLongerThanTheFixedPartLeavesRoomFor) {
    ASSERT_EQ(Start(TempFile("office.json", kOffice)), 0);
    ASSERT_NE(Open(0), 0u);
    std::string strName(400, 'N');
    ASSERT_EQ(m_pfnInject((R"({"event": "inbound", "to": "201", "trunk": "802", "caller": "00493012345678901234",
                                "callerName": ")" +
                           strName + R"(", "ring": 30})")
                              .c_str()),
              0);
    ASSERT_GT(m_pfnAdvance(500), 0);
    Pump();
    ASSERT_EQ(g_records.size(), 2u);  // LINE_APPNEWCALL, then OFFERING
    CTapiMonitor monitor;
    Internals(monitor).m_hLineApp = m_hApp;
    std::unique_ptr<CLineCallInfo> pInfo = monitor.FetchCallInfo(static_cast<HCALL>(g_records[0].dwParam2));
    ASSERT_NE(pInfo, nullptr);
    EXPECT_EQ(pInfo->GetCallerID(), "00493012345678901234");
    EXPECT_EQ(pInfo->m_strCallerIDName, strName);
    EXPECT_EQ(pInfo->GetDidDdiText(), "0312");
    EXPECT_EQ(pInfo->GetTrunkText(), "2");
    EXPECT_EQ(pInfo->GetOriginText(), "EXTERNAL,INBOUND");
    EXPECT_EQ(pInfo->GetReasonText(), "DIRECT");

    // An injected event that cannot happen says why.
    EXPECT_EQ(m_pfnInject(R"({"event": "answer", "line": "202"})"), LINEERR_INVALPARAM);
    char szError[200] = {};
    m_pfnLastError(szError, sizeof szError);
    EXPECT_STREQ(szError, "line \"202\" has no ringing call");
}

TEST_F(SimDll, ScenarioFaultFailsInitializeAndIsLoggedBesideTheScenario) {
    std::string strPath = TempFile("broken.json", R"({"devices": [{"kind": "trunk", "number": "801"}]})");
    EXPECT_EQ(Start(strPath), LINEERR_INIFILECORRUPT);
    EXPECT_EQ(m_hApp, 0u);
    std::string strLog = ReadFile(strPath + ".log");
    EXPECT_NE(strLog.find(strPath + ": devices[0].kind: unknown kind \"trunk\""), std::string::npos) << strLog;
    char szError[400] = {};
    m_pfnLastError(szError, sizeof szError);
    EXPECT_EQ(std::string(szError),
              strPath + ": devices[0].kind: unknown kind \"trunk\" (expected ext, co, etc or other)");
}

TEST_F(SimDll, JournalShowsEveryLineClosedAndTapiShutDown) {
    std::string strJournal = TempFile("journal.txt", "");
    SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", strJournal.c_str());
    ASSERT_EQ(Start(TempFile("office.json", kOffice)), 0);
    HLINE hFirst = Open(0);
    HLINE hSecond = Open(6);
    // A call that ends on a watched line is noted once, with its line.
    ASSERT_EQ(m_pfnInject(R"({"event": "internal", "from": "201", "to": "202", "ring": 1, "talk": 1})"), 0);
    for (int i = 0; i < 40; ++i) {
        m_pfnAdvance(250);
        Pump();
    }
    auto appNew = std::find_if(g_records.begin(), g_records.end(),
                               [](const CRecord& r) { return r.dwMessage == LINE_APPNEWCALL; });
    ASSERT_NE(appNew, g_records.end());
    const auto hCall = static_cast<HCALL>(appNew->dwParam2);
    ASSERT_EQ(StatesOf(hCall).back(), static_cast<DWORD_PTR>(LINECALLSTATE_IDLE));
    EXPECT_EQ(tapi::lineDeallocateCall(hCall), 0);
    EXPECT_EQ(tapi::lineClose(hFirst), 0);
    EXPECT_EQ(tapi::lineClose(hSecond), 0);
    EXPECT_EQ(tapi::lineShutdown(m_hApp), 0);
    m_hApp = 0;
    std::string strText = ReadFile(strJournal);
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "lineClose hLine=0x%08X device=0 -> 0\r\n", static_cast<unsigned>(hFirst));
    EXPECT_NE(strText.find(szLine), std::string::npos) << strText;
    std::snprintf(szLine, sizeof szLine, "lineClose hLine=0x%08X device=6 -> 0\r\n", static_cast<unsigned>(hSecond));
    EXPECT_NE(strText.find(szLine), std::string::npos) << strText;
    EXPECT_NE(strText.find("-> 0 linesStillOpen=0\r\n"), std::string::npos) << strText;
    // The call is noted as offered before it is noted as ended.
    std::snprintf(szLine, sizeof szLine, "callOffered hCall=0x%08X hLine=0x%08X\r\n", static_cast<unsigned>(hCall),
                  static_cast<unsigned>(hFirst));
    const size_t nOffer = strText.find(szLine);
    EXPECT_NE(nOffer, std::string::npos) << strText;
    std::snprintf(szLine, sizeof szLine, "callEnded hCall=0x%08X hLine=0x%08X device=0\r\n",
                  static_cast<unsigned>(hCall), static_cast<unsigned>(hFirst));
    const size_t nEnd = strText.find(szLine);
    EXPECT_NE(nEnd, std::string::npos) << strText;
    EXPECT_LT(nOffer, nEnd) << strText;
    EXPECT_EQ(strText.find("callEnded", nEnd + 1), std::string::npos) << strText;
}

// A PBX far busier than the application: what else the thread is asked waits
// for one batch of messages, not for all of them, and the PBX keeps to the
// wall clock even when the thread's queue is never empty.
TEST_F(SimDll, ABusyPbxNeitherFloodsTheQueueNorWaitsForIt) {
    std::string strScenario = R"({"name": "busy", "seed": 7,
        "traffic": {"callsPerMinute": 600, "ring": [1, 3], "talk": [2, 10]}, "devices": [)";
    for (int i = 0; i < 120; ++i) {
        strScenario += std::string(i == 0 ? "" : ",") + R"({"kind": ")" + (i < 100 ? "ext" : "co") +
                       R"(", "number": ")" + std::to_string(1000 + i) + "\"}";
    }
    ASSERT_EQ(Start(TempFile("busy.json", strScenario + "]}")), 0);
    for (DWORD i = 0; i < m_dwDevices; ++i) {
        ASSERT_NE(Open(i), 0u) << "device " << i;
    }
    Pump();
    g_records.clear();

    DWORD(WINAPI * pfnPending)() = nullptr;
    Resolve(m_hDll, "simGetPendingCount", &pfnPending);
    ASSERT_NE(pfnPending, nullptr);
    constexpr UINT WM_MARK = WM_APP + 1;
    LONG lPosted = m_pfnAdvance(60000);
    ASSERT_GT(lPosted, 2000);
    EXPECT_EQ(pfnPending(), static_cast<DWORD>(lPosted));
    PostThreadMessageA(GetCurrentThreadId(), WM_MARK, 0, 0);
    std::size_t nBeforeMark = 0;
    bool bMarkSeen = false;
    MSG msg;
    while (!bMarkSeen && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        bMarkSeen = msg.hwnd == nullptr && msg.message == WM_MARK;
        nBeforeMark = g_records.size();
        DispatchMessageA(&msg);
    }
    EXPECT_TRUE(bMarkSeen);
    EXPECT_LE(nBeforeMark, 64u) << "of " << lPosted;
    EXPECT_GT(pfnPending(), 0u);
    Pump();
    EXPECT_EQ(g_records.size(), static_cast<std::size_t>(lPosted));
    EXPECT_EQ(pfnPending(), 0u);

    // The real-time clock, with a message always waiting in the queue, so
    // that no timer message ever comes.
    unsigned long long qwStartTime = ScenarioTime();
    std::size_t nRecords = g_records.size();
    m_pfnManual(FALSE);
    ULONGLONG qwStart = GetTickCount64();
    while (GetTickCount64() - qwStart < 1500) {
        PostThreadMessageA(GetCurrentThreadId(), WM_MARK, 0, 0);
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }
    m_pfnManual(TRUE);
    auto qwWall = static_cast<long long>(GetTickCount64() - qwStart);
    auto qwScenario = static_cast<long long>(ScenarioTime() - qwStartTime);
    EXPECT_GE(qwScenario, qwWall - 500);
    EXPECT_LE(qwScenario, qwWall + 100);
    EXPECT_GT(g_records.size(), nRecords) << "nothing was delivered meanwhile";
    Pump();
}
