// The start-up sequence: TAPI initialization, the devices sorted into the
// three groups, the lines opened and named, the progress display, Cancel, and
// every way the sequence can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/StartupScene.h"
#include "support/TestApp.h"
#include "tapi/TapiEntry.h"

using namespace startup_scene;

namespace {

using Strings = std::vector<std::string>;
using Values = std::vector<DWORD_PTR>;

HLINE H(DWORD dwDeviceID) {
    return CFakeTapi::LineHandleFor(dwDeviceID);
}

const Strings kOpenedAndClosed = {"create", "range 0 100", "message Initializing", "destroy"};

class StartupTest : public ::testing::Test {
protected:
    // The devices TAPI reports, in device order: provider and permanent line ID.
    void Devices(std::initializer_list<std::pair<const char*, DWORD>> devices) {
        fake.m_dwNumDevs = static_cast<DWORD>(devices.size());
        DWORD dwID = 0;
        for (const auto& [pszProvider, dwPermanent] : devices) AddDevice(fake, dwID++, pszProvider, dwPermanent);
    }

    // Declared so that the monitor goes first: its shutdown still talks to TAPI.
    CFakeTapi fake;
    CTestApp app;
    CTapiMonitor monitor;
};

TEST_F(StartupTest, SortsOpensAndNamesEveryLine) {
    // An extension and a trunk of the maker, and a device of another
    // provider whose number would be an extension's.
    Devices({{kMakerProvider, 0x00003001}, {kMakerProvider, 0x00021001}, {"Some Modem Provider", 0x00003002}});
    fake.m_addressStatus[H(0)] = ExtNameStatus("Reception");
    fake.m_addressStatus[H(1)] = CoNameStatus("Trunk 1");
    fake.m_addressStatus[H(2)] = EtcNameStatus("Modem");
    fake.m_dwNegotiatedExtVersion = 0x00010007;

    ASSERT_TRUE(monitor.Initialize());
    EXPECT_FALSE(app.m_bTapiStarting);
    EXPECT_TRUE(Internals(monitor).m_bInitialized);
    EXPECT_EQ(Internals(monitor).m_hLineApp, fake.m_hLineApp);

    // 20 + i * 20 / 3 while examining, then one step per group band.
    EXPECT_EQ(app.m_progress, (Strings{"create", "range 0 100", "message Initializing", "position 20", "position 20",
                                       "cancel?", "position 26", "cancel?", "position 33", "cancel?", "position 40",
                                       "cancel?", "position 60", "cancel?", "position 80", "cancel?", "destroy"}));

    // TAPI initialized for this program, with the hidden-window callback.
    ASSERT_EQ(fake.CallsOf("lineInitializeEx").size(), 1u);
    EXPECT_EQ(fake.CallsOf("lineInitializeEx")[0].strText, "Linoscope3");
    EXPECT_EQ(fake.m_hInstance, app.m_hInstance);
    EXPECT_EQ(fake.m_pfnCallback, &LineCallback);
    EXPECT_EQ(fake.m_dwInitApiVersionIn, 0x00020000u);
    EXPECT_EQ(fake.m_initParams.dwTotalSize, sizeof(void*) == 8 ? 28u : 24u);
    EXPECT_EQ(fake.m_initParams.dwOptions, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW);

    // One record per group; the other provider's device is ETC.
    ASSERT_EQ(monitor.GetExtLineCount(), 1);
    ASSERT_EQ(monitor.GetCoLineCount(), 1);
    ASSERT_EQ(monitor.GetEtcLineCount(), 1);
    CLineDevCaps* pExt = monitor.GetExtLine(0);
    CLineDevCaps* pCo = monitor.GetCoLine(0);
    CLineDevCaps* pEtc = monitor.GetEtcLine(0);
    EXPECT_EQ(pCo->m_dwDeviceID, 1u);
    EXPECT_EQ(pEtc->m_dwDeviceID, 2u);
    EXPECT_FALSE(pEtc->m_bMakerLine);
    EXPECT_EQ(monitor.GetCoLine(1), nullptr);
    EXPECT_EQ(monitor.GetEtcLine(-1), nullptr);

    // Address capabilities of address 0, in device order.
    ASSERT_EQ(Internals(monitor).m_addressCaps.size(), 3u);
    EXPECT_EQ(pExt->m_pAddressCaps, Internals(monitor).m_addressCaps[0].get());
    EXPECT_EQ(pEtc->m_pAddressCaps->m_strAddress, "12290");
    EXPECT_EQ(Arg(fake.CallsOf("lineGetAddressCaps"), 2), (Values{0, 0, 0, 0, 0, 0}));

    // Every line opened the same way, group by group: monitor privilege,
    // interactive voice, the negotiated extension version.
    const auto opens = fake.CallsOf("lineOpen");
    ASSERT_EQ(opens.size(), 3u);
    for (std::size_t k = 0; k < opens.size(); ++k) {
        EXPECT_EQ(opens[k].args, (Values{fake.m_hLineApp, k, 0, 0x00020000, 0x00010007, 0, LINECALLPRIVILEGE_MONITOR,
                                         LINEMEDIAMODE_INTERACTIVEVOICE, 0}));
    }
    // Each open is preceded by its own negotiation from the lowest version.
    EXPECT_EQ(fake.CallsOf("lineNegotiateExtVersion").back().args,
              (Values{fake.m_hLineApp, 2, 0x00020000, 0x00010002, 0xFFFFFFFF, 0x00010002}));
    const auto status = fake.CallsOf("lineSetStatusMessages");
    ASSERT_EQ(status.size(), 3u);
    EXPECT_EQ(status[0].args, (Values{H(0), 0x01FFFFFF, 0x000001FF}));
    EXPECT_EQ(Arg(status, 0), (Values{H(0), H(1), H(2)}));
    EXPECT_EQ(Internals(monitor).m_extByLine, (std::map<HLINE, CLineDevCaps*>{{H(0), pExt}}));
    EXPECT_EQ(Internals(monitor).m_coByLine, (std::map<HLINE, CLineDevCaps*>{{H(1), pCo}}));
    EXPECT_EQ(Internals(monitor).m_etcByLine, (std::map<HLINE, CLineDevCaps*>{{H(2), pEtc}}));

    // Names for EXT and CO; the other provider's ETC line gets none and its
    // address status is not even asked for (two passes each for the others:
    // the name does not fit the fixed part).
    EXPECT_EQ(pExt->m_strDisplayName, "Reception");
    EXPECT_EQ(pCo->m_strDisplayName, "Trunk 1");
    EXPECT_EQ(pEtc->m_strDisplayName, "");
    EXPECT_EQ(Arg(fake.CallsOf("lineGetAddressStatus"), 0), (Values{H(0), H(0), H(1), H(1)}));
}

TEST_F(StartupTest, OneLineInTapiOrderAndAnEmptyGroupSkipsItsBand) {
    Devices({{kMakerProvider, 0x1234}});  // a trunk
    fake.m_addressStatus[H(0)] = CoNameStatus("Amt");
    ASSERT_TRUE(monitor.Initialize());
    EXPECT_EQ(fake.Sequence(),
              "lineInitializeEx,"
              "lineNegotiateExtVersion,lineGetDevCaps,lineNegotiateExtVersion,lineGetDevCaps,"
              "lineNegotiateExtVersion,lineGetAddressCaps,lineNegotiateExtVersion,lineGetAddressCaps,"
              "lineNegotiateExtVersion,lineOpen,lineSetStatusMessages,lineGetAddressStatus,lineGetAddressStatus");
    EXPECT_EQ(monitor.GetCoLine(0)->m_strDisplayName, "Amt");
    EXPECT_EQ(app.m_progress, (Strings{"create", "range 0 100", "message Initializing", "position 20", "position 20",
                                       "cancel?", "position 60", "cancel?", "destroy"}));
}

TEST_F(StartupTest, DisplayNamesFollowEachGroupsLayout) {
    // EXT, CO, and three ETC lines of which 0x0500 and 0x05FF carry a name.
    Devices({{kMakerProvider, 0x6FFF},
             {kMakerProvider, 0x2FFF},
             {kMakerProvider, 0x0500},
             {kMakerProvider, 0x0600},
             {kMakerProvider, 0x05FF}});
    fake.m_addressStatus[H(0)] = ExtNameStatus("Sales 6FFF");
    fake.m_addressStatus[H(1)] = CoNameStatus("Line to the city");
    fake.m_addressStatus[H(2)] = EtcNameStatus("Door");
    fake.m_addressStatus[H(3)] = EtcNameStatus("Never asked");
    fake.m_addressStatus[H(4)] = EtcNameStatus("Fax");
    ASSERT_TRUE(monitor.Initialize());
    ASSERT_EQ(monitor.GetEtcLineCount(), 3);
    EXPECT_EQ(monitor.GetExtLine(0)->m_strDisplayName, "Sales 6FFF");
    EXPECT_EQ(monitor.GetCoLine(0)->m_strDisplayName, "Line to the city");
    EXPECT_EQ(monitor.GetEtcLine(0)->m_strDisplayName, "Door");
    EXPECT_EQ(monitor.GetEtcLine(1)->m_strDisplayName, "");
    EXPECT_EQ(monitor.GetEtcLine(2)->m_strDisplayName, "Fax");
    EXPECT_EQ(Arg(fake.CallsOf("lineGetAddressStatus"), 0), (Values{H(0), H(0), H(1), H(1), H(2), H(2), H(4), H(4)}));
    // The line without a name is opened all the same.
    EXPECT_EQ(monitor.GetEtcLine(1)->m_hLine, H(3));
}

// What the program only asks for on the side may fail: the negotiation (each
// open then asks for the lowest extension version), the status messages, the
// address status that names a line (the line stays unnamed, no name is made
// up), the closes and the shutdown. Every line is opened, kept and closed all
// the same.
TEST_F(StartupTest, FailuresOnTheSideLeaveEveryLineOpenedAndClosed) {
    const struct {
        const char* pszFailing;  // answers LINEERR_OPERATIONFAILED; null: none
        bool bTrunkStatus;       // the trunk's address status can be fetched
        DWORD dwOpenExtVersion;
        const char* pszTrunkName;
    } cases[] = {
        {nullptr, true, 0x00010007, "Trunk 1"},
        {"lineNegotiateExtVersion", true, 0x00010002, "Trunk 1"},
        {"lineSetStatusMessages", true, 0x00010007, "Trunk 1"},
        {"lineClose", true, 0x00010007, "Trunk 1"},
        {"lineShutdown", true, 0x00010007, "Trunk 1"},
        {nullptr, false, 0x00010007, ""},
    };
    Devices({{kMakerProvider, 0x00003001}, {kMakerProvider, 0x00021001}});
    fake.m_dwNegotiatedExtVersion = 0x00010007;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszFailing ? c.pszFailing : c.bTrunkStatus ? "nothing fails" : "no address status");
        fake.ClearCalls();
        fake.m_ignoredResults.clear();
        if (c.pszFailing) fake.m_ignoredResults[c.pszFailing] = LINEERR_OPERATIONFAILED;
        fake.m_addressStatus = {{H(0), ExtNameStatus("Reception")}};
        if (c.bTrunkStatus) fake.m_addressStatus[H(1)] = CoNameStatus("Trunk 1");

        CTapiMonitor other;
        ASSERT_TRUE(other.Initialize());
        EXPECT_EQ(Arg(fake.CallsOf("lineOpen"), 4), (Values{c.dwOpenExtVersion, c.dwOpenExtVersion}));
        EXPECT_EQ(Arg(fake.CallsOf("lineSetStatusMessages"), 0), (Values{H(0), H(1)}));
        ASSERT_EQ(other.GetExtLineCount() + other.GetCoLineCount(), 2);
        EXPECT_EQ(Internals(other).m_extByLine, (std::map<HLINE, CLineDevCaps*>{{H(0), other.GetExtLine(0)}}));
        EXPECT_EQ(Internals(other).m_coByLine, (std::map<HLINE, CLineDevCaps*>{{H(1), other.GetCoLine(0)}}));
        EXPECT_EQ(other.GetExtLine(0)->m_strDisplayName, "Reception");
        EXPECT_EQ(other.GetCoLine(0)->m_strDisplayName, c.pszTrunkName);

        other.Shutdown();
        EXPECT_EQ(Arg(fake.CallsOf("lineClose"), 0), (Values{H(0), H(1)}));
        EXPECT_EQ(fake.Count("lineShutdown"), 1u);
        EXPECT_FALSE(Internals(other).m_bInitialized);
        EXPECT_EQ(other.GetExtLineCount() + other.GetCoLineCount(), 0);
    }
}

TEST_F(StartupTest, OpenTriesTheOlderVersionsAndKeepsLinesThatCannotOpen) {
    Devices({{kMakerProvider, 0x3000}, {kMakerProvider, 0x3001}, {kMakerProvider, 0x3002}});
    fake.m_addressStatus[H(0)] = ExtNameStatus("Opened with 1.4");
    fake.m_addressStatus[H(1)] = ExtNameStatus("Never opened");
    fake.m_addressStatus[0] = ExtNameStatus("No handle");
    fake.m_openFailVersions[0] = {0x00020000};
    fake.m_openFailVersions[1] = {0x00020000, 0x00010004, 0x00010003};
    // Device 2 answers success but hands out no handle: that is no open line.
    fake.OnOpen = [&](HLINEAPP, DWORD dwDev, HLINE* phLine, DWORD dwApi, DWORD) -> LONG {
        if (dwDev == 2) return 0;
        if (fake.m_openFailVersions[dwDev].count(dwApi)) return LINEERR_INCOMPATIBLEAPIVERSION;
        *phLine = H(dwDev);
        return 0;
    };
    ASSERT_TRUE(monitor.Initialize());

    const auto opens = fake.CallsOf("lineOpen");
    EXPECT_EQ(Arg(opens, 1), (Values{0, 0, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(Arg(opens, 3),
              (Values{0x00020000, 0x00010004, 0x00020000, 0x00010004, 0x00010003, 0x00020000, 0x00010004, 0x00010003}));
    EXPECT_EQ(Arg(opens, 2), (Values{0, 0, 0, 0, 0, 0, 0, 0}));  // each try starts from handle 0

    ASSERT_EQ(monitor.GetExtLineCount(), 3);
    CLineDevCaps* pOpened = monitor.GetExtLine(0);
    EXPECT_EQ(pOpened->m_hLine, H(0));
    EXPECT_EQ(pOpened->m_strDisplayName, "Opened with 1.4");
    for (CLineDevCaps* pClosed : {monitor.GetExtLine(1), monitor.GetExtLine(2)}) {
        EXPECT_EQ(pClosed->m_hLine, 0u);
        EXPECT_EQ(pClosed->m_strDisplayName, "");
    }
    EXPECT_EQ(Internals(monitor).m_extByLine, (std::map<HLINE, CLineDevCaps*>{{H(0), pOpened}}));
    EXPECT_EQ(Arg(fake.CallsOf("lineSetStatusMessages"), 0), Values{H(0)});
    EXPECT_EQ(Arg(fake.CallsOf("lineGetAddressStatus"), 0), (Values{H(0), H(0)}));

    // Shutdown closes only what was opened, and only once.
    fake.ClearCalls();
    monitor.Shutdown();
    monitor.Shutdown();
    EXPECT_EQ(fake.Sequence(), "lineClose,lineShutdown");
    EXPECT_EQ(fake.CallsOf("lineClose")[0].args[0], H(0));
    EXPECT_EQ(fake.CallsOf("lineShutdown")[0].args[0], fake.m_hLineApp);
}

TEST_F(StartupTest, DevicesWithoutCapabilitiesAreLeftOut) {
    Devices({{kMakerProvider, 0x3000}, {kMakerProvider, 0x3001}, {kMakerProvider, 0x1000}});
    fake.m_devCaps.erase(1);      // device 1 gives no LINEDEVCAPS
    fake.m_addressCaps.erase(2);  // device 2 has no LINEADDRESSCAPS
    ASSERT_TRUE(monitor.Initialize());
    ASSERT_EQ(monitor.GetExtLineCount(), 1);
    ASSERT_EQ(monitor.GetCoLineCount(), 1);
    EXPECT_EQ(monitor.GetCoLine(0)->m_dwDeviceID, 2u);
    EXPECT_EQ(monitor.GetCoLine(0)->m_pAddressCaps, nullptr);
    EXPECT_EQ(Internals(monitor).m_addressCaps.size(), 1u);
    // Only the two records' devices were asked for address capabilities.
    for (const auto& call : fake.CallsOf("lineGetAddressCaps")) EXPECT_NE(call.args[1], 1u);
    EXPECT_EQ(Arg(fake.CallsOf("lineOpen"), 1), (Values{0, 2}));
}

// Every failure closes the progress display and leaves the start-up flag set
// until the document is replaced; what TAPI must still be told follows.
TEST_F(StartupTest, FailuresBeforeAnyLineOpens) {
    fake.m_dwNumDevs = 2;  // neither gives capabilities
    EXPECT_FALSE(monitor.Initialize());
    EXPECT_TRUE(app.m_bTapiStarting);
    EXPECT_EQ(app.m_progress.back(), "destroy");
    EXPECT_EQ(fake.Count("lineOpen"), 0u);
    fake.ClearCalls();
    monitor.Shutdown();
    EXPECT_EQ(fake.Sequence(), "lineShutdown");

    // Zero devices: FALSE, and TAPI is shut down later.
    CTapiMonitor zero;
    fake.m_dwNumDevs = 0;
    fake.ClearCalls();
    app.m_progress.clear();
    EXPECT_FALSE(zero.Initialize());
    EXPECT_TRUE(Internals(zero).m_bInitialized);
    EXPECT_EQ(app.m_progress, kOpenedAndClosed);
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx");
    zero.Shutdown();
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx,lineShutdown");

    // lineInitializeEx fails: nothing to close or shut down.
    CTapiMonitor failed;
    fake.m_lInitializeResult = LINEERR_NOMEM;
    fake.ClearCalls();
    app.m_progress.clear();
    EXPECT_FALSE(failed.Initialize());
    EXPECT_FALSE(Internals(failed).m_bInitialized);
    EXPECT_EQ(app.m_progress, kOpenedAndClosed);
    failed.Shutdown();
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx");

    // No TAPI library: lineInitializeEx was tried, and had the monitor
    // anything to close or shut down, the fake would see it afterwards.
    CTapiMonitor unbound;
    tapi::ResetEntryTableForTests("no-such-tapi-library-here.dll");
    fake.ClearCalls();
    app.m_progress.clear();
    EXPECT_FALSE(unbound.Initialize());
    EXPECT_EQ(tapi::GetEntryTableCountersForTests().nLoadAttempts, 1);
    EXPECT_FALSE(Internals(unbound).m_bInitialized);
    EXPECT_EQ(app.m_progress, kOpenedAndClosed);
    tapi::ResetEntryTableForTests(CFakeTapi::LibraryPath().c_str());
    unbound.Shutdown();
    EXPECT_EQ(fake.Sequence(), "");
}

TEST_F(StartupTest, CancelIsAskedBeforeEveryDevice) {
    Devices({{kMakerProvider, 0x3000}, {kMakerProvider, 0x3001}, {kMakerProvider, 0x1000}});
    app.m_nCancelOnCheck = 2;  // at the second device: it is not examined
    EXPECT_FALSE(monitor.Initialize());
    EXPECT_EQ(monitor.GetExtLineCount(), 1);
    EXPECT_EQ(Arg(fake.CallsOf("lineGetDevCaps"), 1), (Values{0, 0}));
    EXPECT_EQ(fake.Count("lineOpen"), 0u);
    EXPECT_TRUE(app.m_bTapiStarting);
    EXPECT_EQ(std::count(app.m_progress.begin(), app.m_progress.end(), "destroy"), 1);
    EXPECT_EQ(app.m_progress.back(), "destroy");
}

TEST_F(StartupTest, TapiMessagesDuringStartupAreDropped) {
    Devices({{kMakerProvider, 0x3000}, {kMakerProvider, 0x1000}});
    fake.m_callInfo[0x5001] = CFakeTapi::MakeCallInfo(H(0), "201", "202");
    fake.m_callStatus[0x5001] = CFakeTapi::MakeCallStatus(LINECALLSTATE_OFFERING);
    app.m_pMonitor = &monitor;
    // Whenever the progress display lets messages through, TAPI reports a
    // new call on the first line and a state change of it.
    int nDelivered = 0;
    app.OnPump = [&] {
        if (!fake.m_pfnCallback) return;
        fake.Deliver(H(0), LINE_APPNEWCALL, 0, 0x5001, LINECALLPRIVILEGE_MONITOR);
        fake.Deliver(0x5001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
        fake.Deliver(0x5001, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0);
        nDelivered += 3;
    };
    ASSERT_TRUE(monitor.Initialize());
    EXPECT_GT(nDelivered, 0);
    EXPECT_EQ(app.m_nUpdateAllViews, 0);
    EXPECT_TRUE(Internals(monitor).m_extCalls.empty());
    EXPECT_EQ(fake.Count("lineGetCallInfo"), 0u);
    EXPECT_EQ(fake.Count("lineDeallocateCall"), 0u);

    // Once start-up is over, the same message does reach the monitor.
    fake.Deliver(0x5001, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
    EXPECT_EQ(app.m_nUpdateAllViews, 1);
}

// Without an application object nothing starts; without a progress display
// start-up goes on, with nobody to cancel it.
TEST(Startup, NeedsAnApplicationButNoProgressDisplay) {
    class CNoProgressApp : public CTestApp {
    public:
        std::unique_ptr<CInitProgress> CreateProgress() override { return nullptr; }
    };
    CFakeTapi fake;
    fake.m_dwNumDevs = 1;
    AddDevice(fake, 0, kMakerProvider, 0x3000);
    {
        CTapiMonitor monitor;
        EXPECT_FALSE(monitor.Initialize());
    }
    EXPECT_EQ(fake.Sequence(), "");  // nor does destroying the unused monitor
    CNoProgressApp app;
    CTapiMonitor monitor;
    EXPECT_TRUE(monitor.Initialize());
    EXPECT_EQ(monitor.GetExtLine(0)->m_hLine, H(0));
    EXPECT_FALSE(app.m_bTapiStarting);
}

}  // namespace
