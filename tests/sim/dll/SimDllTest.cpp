// The simulator DLL driven the way the program drives TAPI: bound through the
// program's own entry table, its messages delivered through the hidden window.
// What the real program reads of its devices and calls through it is checked
// end to end (tests/e2e/scenarios/calls.expected).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/Platform.h"
#include "sim/SimTestData.h"
#include "support/TestFiles.h"
#include "tapi/TapiEntry.h"

namespace {

// The messages delivered, one a line: kind, device, the first two
// parameters; LINE_REPLY with the call handle lineMakeCall was to write by
// then, and any delivered inside a TAPI call or on another thread marked.
std::vector<std::string> g_records;
bool g_bInsideTapi = false;
HCALL g_hMade = 0;

void CALLBACK Record(DWORD hDevice, DWORD dwMessage, DWORD_PTR, DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR) {
    static const DWORD dwThread = GetCurrentThreadId();
    static const std::map<DWORD, const char*> kKinds = {
        {LINE_REPLY, "reply"}, {LINE_CALLSTATE, "state"}, {LINE_APPNEWCALL, "new"}, {LINE_CALLINFO, "info"}};
    char sz[120];
    const int n = std::snprintf(sz, sizeof sz, "%s %X %X %X%s", kKinds.count(dwMessage) ? kKinds.at(dwMessage) : "?",
                                unsigned(hDevice), unsigned(dwParam1), unsigned(dwParam2),
                                g_bInsideTapi || dwThread != GetCurrentThreadId() ? " WRONG" : "");
    if (dwMessage == LINE_REPLY) std::snprintf(sz + n, sizeof sz - n, " made %X", unsigned(g_hMade));
    g_records.push_back(sz);
}

// Marks the time spent inside a TAPI call, no callback may run then: as
// (CInTapi(), call), whose temporary lasts until the call has returned.
struct CInTapi {
    CInTapi() { g_bInsideTapi = true; }
    ~CInTapi() { g_bInsideTapi = false; }
};

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

const std::string kOffice = std::string(SIM_TEST_DATA) + "/dll-office.json";

class SimDll : public testing::Test {
protected:
    void SetUp() override {
        std::string strDll = platform::ExecutableDirectory() + "\\..\\sim\\TAPI32.dll";
        tapi::ResetEntryTableForTests(strDll.c_str());
        m_hDll = LoadLibraryA(strDll.c_str());
        ASSERT_TRUE(m_hDll != nullptr && Resolve("simAdvanceClock", &m_pfnAdvance) &&
                    Resolve("simInjectEvent", &m_pfnInject) && Resolve("simGetLastError", &m_pfnLastError) &&
                    Resolve("simSetManualClock", &m_pfnManual) && Resolve("simGetState", &m_pfnState) &&
                    Resolve("simReset", &m_pfnReset) && Resolve("simGetPendingCount", &m_pfnPending))
            << strDll << " not loaded, or not the simulator (Wine's own tapi32 was loaded)";
        m_pfnReset();
        m_pfnManual(TRUE);
        g_records.clear();
    }

    void TearDown() override {
        if (m_hApp != 0) tapi::lineShutdown(m_hApp);
        if (m_pfnReset != nullptr) m_pfnReset();
        Pump();
        SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", nullptr);
        SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", nullptr);
    }

    // GetProcAddress gives a generic pointer; going through void* keeps the cast honest.
    template <typename Fn>
    bool Resolve(const char* pszName, Fn* ppfn) {
        return (*ppfn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_hDll, pszName)))) != nullptr;
    }

    LONG Start(const std::string& strScenario) {
        SetEnvironmentVariableA("LINOSCOPE3_SCENARIO", strScenario.c_str());
        DWORD dwVersion = TAPI_VERSION_2_0;
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
        return (CInTapi(), tapi::lineInitializeEx(&m_hApp, GetModuleHandleA(nullptr), Record, "Linoscope3",
                                                  &m_dwDevices, &dwVersion, &params));
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

    // The scenario time, from the model's state (with room for what the clock
    // may add to it between asking its size and fetching it).
    unsigned long long ScenarioTime() const {
        std::string strState(m_pfnState(nullptr, 0) + 65536, '\0');
        m_pfnState(strState.data(), static_cast<DWORD>(strState.size()));
        const std::size_t pos = strState.find("\"time\":");
        return pos == std::string::npos ? 0 : std::stoull(strState.substr(pos + 7));
    }

    std::string LastError() const {
        char szError[400] = {};
        m_pfnLastError(szError, sizeof szError);
        return szError;
    }

    HMODULE m_hDll = nullptr;
    LONG(WINAPI* m_pfnAdvance)(DWORD) = nullptr;
    LONG(WINAPI* m_pfnInject)(LPCSTR) = nullptr;
    DWORD(WINAPI* m_pfnLastError)(LPSTR, DWORD) = nullptr;
    void(WINAPI* m_pfnManual)(BOOL) = nullptr;
    DWORD(WINAPI* m_pfnState)(LPSTR, DWORD) = nullptr;
    void(WINAPI* m_pfnReset)() = nullptr;
    DWORD(WINAPI* m_pfnPending)() = nullptr;
    HLINEAPP m_hApp = 0;
    DWORD m_dwDevices = 0;
};

}  // namespace

// dll-journal.txt: the messages of a call made on 201 and seen on 202,
// dropped, deallocated, both lines closed and TAPI shut down; then the
// journal of it all, where every line ends in CR LF.
TEST_F(SimDll, CallbacksComeOnTheThreadAfterTheCallAndTheJournalRecordsThem) {
    const std::string strJournal = UniqueTempPath("lsc_sim_journal").string();
    std::filesystem::remove(strJournal);
    SetEnvironmentVariableA("LINOSCOPE3_SIM_JOURNAL", strJournal.c_str());
    ASSERT_EQ(Start(kOffice), 0);
    HLINE hLine = Open(0);
    HLINE hOther = Open(1);  // refuses 2.0: opened for 1.4
    ASSERT_TRUE(hLine != 0 && hOther != 0);
    EXPECT_EQ(m_pfnInject(R"({"event": "answer", "line": "202"})"), LINEERR_INVALPARAM);
    EXPECT_EQ(LastError(), "line \"202\" has no ringing call");
    ASSERT_GT((CInTapi(), tapi::lineMakeCall(hLine, &g_hMade, "202", 0, nullptr)), 0);
    EXPECT_EQ(g_hMade, 0u);  // written when LINE_REPLY comes
    Pump();
    for (DWORD dwStep : {300, 500, 3000}) {
        EXPECT_GT(m_pfnAdvance(dwStep), 0);
        Pump();
    }
    ASSERT_GT((CInTapi(), tapi::lineDrop(g_hMade, nullptr, 0)), 0);
    m_pfnAdvance(3000);
    Pump();
    EXPECT_EQ(tapi::lineDeallocateCall(g_hMade), 0);
    EXPECT_EQ(tapi::lineClose(hLine) | tapi::lineClose(hOther), 0);
    EXPECT_EQ(tapi::lineShutdown(m_hApp), 0);
    m_hApp = 0;
    const std::string strText = ReadFileBytes(strJournal);
    std::string strLines;
    std::copy_if(strText.begin(), strText.end(), std::back_inserter(strLines), [](char c) { return c != '\r'; });
    EXPECT_EQ(strText.size() - strLines.size(), std::count(strLines.begin(), strLines.end(), '\n'));
    std::string strTrace;
    for (const std::string& strRecord : g_records) strTrace += strRecord + "\n";
    ExpectDataFile("dll-journal.txt", [&](const std::string&) { return strTrace + strLines; });
}

TEST_F(SimDll, ScenarioFaultFailsInitializeAndIsLoggedBesideTheScenario) {
    const std::string strPath = UniqueTempPath("lsc_sim_broken.json").string();
    std::filesystem::remove(strPath + ".log");
    WriteFileBytes(strPath, R"({"devices": [{"kind": "trunk", "number": "801"}]})");
    EXPECT_EQ(Start(strPath), LINEERR_INIFILECORRUPT);
    EXPECT_EQ(m_hApp, 0u);
    const std::string strError = strPath + ": devices[0].kind: unknown kind \"trunk\" (expected ext, co, etc or other)";
    EXPECT_NE(ReadFileBytes(strPath + ".log").find(strError), std::string::npos);
    EXPECT_EQ(LastError(), strError);
}

// A PBX far busier than the application: what else the thread is asked waits
// for one batch of messages, not for all of them, and the PBX keeps to the
// wall clock even when the thread's queue is never empty.
TEST_F(SimDll, ABusyPbxNeitherFloodsTheQueueNorWaitsForIt) {
    ASSERT_EQ(Start(std::string(SIM_TEST_DATA) + "/dll-busy.json"), 0);
    for (DWORD i = 0; i < m_dwDevices; ++i) ASSERT_NE(Open(i), 0u) << "device " << i;
    Pump();
    g_records.clear();
    constexpr UINT WM_MARK = WM_APP + 1;
    LONG lPosted = m_pfnAdvance(60000);
    ASSERT_GT(lPosted, 2000);
    EXPECT_EQ(m_pfnPending(), static_cast<DWORD>(lPosted));
    PostThreadMessageA(GetCurrentThreadId(), WM_MARK, 0, 0);
    std::size_t nBeforeMark = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && !(msg.hwnd == nullptr && msg.message == WM_MARK)) {
        DispatchMessageA(&msg);
        nBeforeMark = g_records.size();
    }
    EXPECT_EQ(msg.message, WM_MARK);
    EXPECT_LE(nBeforeMark, 64u) << "of " << lPosted;
    EXPECT_GT(m_pfnPending(), 0u);
    Pump();
    EXPECT_EQ(g_records.size(), static_cast<std::size_t>(lPosted));
    EXPECT_EQ(m_pfnPending(), 0u);

    // The real-time clock, with a message always waiting in the queue, so
    // that no timer message ever comes: the scenario clock still moves on,
    // and never ahead of the wall clock.
    const unsigned long long qwStartTime = ScenarioTime();
    const std::size_t nRecords = g_records.size();
    const ULONGLONG qwStart = GetTickCount64();  // before the clock starts, so it cannot run ahead of it
    m_pfnManual(FALSE);
    unsigned long long qwScenario = 0;
    while ((qwScenario = ScenarioTime() - qwStartTime) < 1000 && GetTickCount64() - qwStart < 30000) {
        for (const ULONGLONG qwSpin = GetTickCount64(); GetTickCount64() - qwSpin < 100;) {
            PostThreadMessageA(GetCurrentThreadId(), WM_MARK, 0, 0);
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    }
    const ULONGLONG qwWall = GetTickCount64() - qwStart;
    m_pfnManual(TRUE);
    EXPECT_GE(qwScenario, 1000u) << "in " << qwWall << " ms";
    EXPECT_LE(qwScenario, qwWall + 100);
    EXPECT_GT(g_records.size(), nRecords) << "nothing was delivered meanwhile";
    Pump();
}
