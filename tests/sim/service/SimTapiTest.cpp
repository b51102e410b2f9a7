#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/SimLayouts.h"
#include "service/SimTapi.h"

using namespace sim;

namespace {

void CALLBACK IgnoreCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

CSimLineConfig Line(ELineKind eKind, const std::string& strNumber, const std::string& strName, DWORD dwId) {
    CSimLineConfig line;
    line.m_eKind = eKind;
    line.m_strNumber = strNumber;
    line.m_strName = strName;
    line.m_strLineName = strName;
    line.m_strProvider = eKind == ELineKind::Other ? "Sample Line Provider" : "Talvora ZR-40N";
    line.m_dwPermanentLineID = dwId;
    line.m_dwTrunk = eKind == ELineKind::Co ? 1 : kNoTrunk;
    return line;
}

// 0: ext 201, 1: ext 202, 2: trunk 801, 3: voice mail (etc), 4: fax (other provider)
CSimScenario Office() {
    CSimScenario scenario;
    scenario.m_strName = "test";
    scenario.m_lines = {Line(ELineKind::Ext, "201", "Reception", 0x3001), Line(ELineKind::Ext, "202", "Sales", 0x3002),
                        Line(ELineKind::Co, "801", "City Line 1", 0x1001),
                        Line(ELineKind::Etc, "700", "Voice Mail", 0x0501),
                        Line(ELineKind::Other, "750", "Fax", 0x00020001)};
    scenario.m_lines[0].m_strDid = "0312";
    return scenario;
}

CSimHost Host() {
    CSimHost host;
    host.m_strModule = "C:\\demo\\linoscope3.exe";
    host.m_start = SYSTEMTIME{2024, 5, 1, 6, 9, 0, 0, 0};
    return host;
}

// What the program asks for: callbacks through a hidden window.
LINEINITIALIZEEXPARAMS HiddenWindowParams() {
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    return params;
}

HLINEAPP Init(CSimTapi& tapi, const char* pszName = "Linoscope3") {
    HLINEAPP hApp = 0;
    DWORD dwDevices = 0;
    DWORD dwVersion = TAPI_VERSION_2_0;
    LINEINITIALIZEEXPARAMS params = HiddenWindowParams();
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, pszName, &dwDevices, &dwVersion, &params), 0);
    return hApp;
}

HLINE OpenLine(CSimTapi& tapi, HLINEAPP hApp, DWORD dwDevice, DWORD dwPrivileges = LINECALLPRIVILEGE_MONITOR) {
    HLINE hLine = 0;
    EXPECT_EQ(tapi.Open(hApp, dwDevice, &hLine, TAPI_VERSION_2_0, 0, 0, dwPrivileges, LINEMEDIAMODE_INTERACTIVEVOICE,
                        nullptr),
              0);
    EXPECT_EQ(tapi.SetStatusMessages(hLine, 0x01FFFFFF, 0x1FF), 0);
    return hLine;
}

// A buffer that grows like a careful client's: first the given size, then exactly what TAPI asked for.
template <typename T, typename Fn>
std::vector<BYTE> Fetch(DWORD dwFirst, Fn fnQuery, int* pnPasses = nullptr) {
    std::vector<BYTE> buffer(dwFirst, 0xCD);
    int nPasses = 0;
    for (;;) {
        DWORD dwTotal = static_cast<DWORD>(buffer.size());
        std::memcpy(buffer.data(), &dwTotal, 4);
        ++nPasses;
        EXPECT_EQ(fnQuery(reinterpret_cast<T*>(buffer.data())), 0);
        DWORD dwNeeded = 0;
        std::memcpy(&dwNeeded, buffer.data() + 4, 4);
        if (dwNeeded <= buffer.size() || nPasses > 3) {
            break;
        }
        buffer.resize(dwNeeded, 0xCD);
    }
    if (pnPasses != nullptr) {
        *pnPasses = nPasses;
    }
    return buffer;
}

std::string Text(const std::vector<BYTE>& buffer, DWORD dwSize, DWORD dwOffset) {
    EXPECT_LE(std::size_t{dwOffset} + dwSize, buffer.size());
    if (dwSize == 0 || std::size_t{dwOffset} + dwSize > buffer.size()) {
        return "";
    }
    return std::string(reinterpret_cast<const char*>(buffer.data()) + dwOffset, dwSize - 1);
}

std::vector<DWORD_PTR> StatesFor(const std::vector<CSimMessage>& messages, HCALL hCall) {
    std::vector<DWORD_PTR> states;
    for (const CSimMessage& m : messages) {
        if (m.m_dwMessage == LINE_CALLSTATE && m.m_hDevice == hCall) {
            states.push_back(m.m_dwParam1);
        }
    }
    return states;
}

}  // namespace

TEST(SimTapi, InitializeExChecksItsArguments) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = 0;
    DWORD dwDevices = 0;
    DWORD dwVersion = TAPI_VERSION_2_0;
    LINEINITIALIZEEXPARAMS params = HiddenWindowParams();
    EXPECT_EQ(tapi.InitializeEx(nullptr, IgnoreCallback, "x", &dwDevices, &dwVersion, &params), LINEERR_INVALPOINTER);
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", nullptr, &dwVersion, &params), LINEERR_INVALPOINTER);
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", &dwDevices, &dwVersion, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(tapi.InitializeEx(&hApp, nullptr, "x", &dwDevices, &dwVersion, &params), LINEERR_INVALPOINTER);
    params.dwTotalSize = sizeof params - 1;
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", &dwDevices, &dwVersion, &params),
              LINEERR_STRUCTURETOOSMALL);
    params.dwTotalSize = sizeof params;
    params.dwOptions = 7;
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", &dwDevices, &dwVersion, &params), LINEERR_INVALPARAM);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", &dwDevices, &dwVersion, &params), LINEERR_OPERATIONUNAVAIL);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    dwVersion = TAPI_VERSION_1_4;
    EXPECT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", &dwDevices, &dwVersion, &params),
              LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(hApp, 0u);
    EXPECT_EQ(tapi.GetAppCount(), 0u);

    dwVersion = 0x00030001;
    ASSERT_EQ(tapi.InitializeEx(&hApp, IgnoreCallback, "x", &dwDevices, &dwVersion, &params), 0);
    EXPECT_NE(hApp, 0u);
    EXPECT_EQ(dwDevices, 5u);
    EXPECT_EQ(dwVersion, TAPI_VERSION_2_0);
    EXPECT_EQ(tapi.Shutdown(hApp), 0);
    EXPECT_EQ(tapi.Shutdown(hApp), LINEERR_INVALAPPHANDLE);
}

TEST(SimTapi, DevCapsFollowTheNeededSizeProtocolAndTheVersionsOfEachLine) {
    CSimScenario scenario = Office();
    scenario.m_lines[2].m_refusedVersions = {TAPI_VERSION_2_0};
    CSimTapi tapi(scenario, Host());
    HLINEAPP hApp = Init(tapi);
    auto query = [&](DWORD dwDevice, DWORD dwVersion) {
        return [&tapi, hApp, dwDevice, dwVersion](LINEDEVCAPS* p) {
            return tapi.GetDevCaps(hApp, dwDevice, dwVersion, 0, p);
        };
    };

    // One byte short of the fixed part: refused, and nothing written.
    std::vector<BYTE> small(sizeof(LINEDEVCAPS) - 1, 0xCD);
    DWORD dwTotal = static_cast<DWORD>(small.size());
    std::memcpy(small.data(), &dwTotal, 4);
    EXPECT_EQ(tapi.GetDevCaps(hApp, 0, TAPI_VERSION_2_0, 0, reinterpret_cast<LINEDEVCAPS*>(small.data())),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(small[4], 0xCD);

    // The fixed part alone: filled, the texts left out, the need reported.
    std::vector<BYTE> fixed(sizeof(LINEDEVCAPS), 0xCD);
    dwTotal = sizeof(LINEDEVCAPS);
    std::memcpy(fixed.data(), &dwTotal, 4);
    ASSERT_EQ(tapi.GetDevCaps(hApp, 0, TAPI_VERSION_2_0, 0, reinterpret_cast<LINEDEVCAPS*>(fixed.data())), 0);
    const auto* pFixed = reinterpret_cast<const LINEDEVCAPS*>(fixed.data());
    EXPECT_GT(pFixed->dwNeededSize, sizeof(LINEDEVCAPS));
    EXPECT_EQ(pFixed->dwUsedSize, sizeof(LINEDEVCAPS));
    EXPECT_EQ(pFixed->dwProviderInfoSize, 0u);
    EXPECT_EQ(pFixed->dwProviderInfoOffset, 0u);
    EXPECT_EQ(pFixed->dwPermanentLineID, 0x3001u);

    int nPasses = 0;
    std::vector<BYTE> full = Fetch<LINEDEVCAPS>(sizeof(LINEDEVCAPS), query(0, TAPI_VERSION_2_0), &nPasses);
    EXPECT_EQ(nPasses, 2);
    const auto* pCaps = reinterpret_cast<const LINEDEVCAPS*>(full.data());
    EXPECT_EQ(pCaps->dwUsedSize, pCaps->dwNeededSize);
    EXPECT_EQ(Text(full, pCaps->dwProviderInfoSize, pCaps->dwProviderInfoOffset), "Talvora ZR-40N");
    EXPECT_EQ(Text(full, pCaps->dwLineNameSize, pCaps->dwLineNameOffset), "Reception");
    EXPECT_GE(pCaps->dwProviderInfoOffset, sizeof(LINEDEVCAPS));
    EXPECT_EQ(pCaps->dwNumTerminals, 1u);
    EXPECT_EQ(pCaps->dwTerminalCapsSize, sizeof(LINETERMCAPS));
    EXPECT_EQ(pCaps->dwTerminalTextSize, pCaps->dwTerminalTextEntrySize);
    EXPECT_EQ(pCaps->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(pCaps->dwLineFeatures, LINEFEATURE_MAKECALL);

    // Line 2 refuses 2.0 but answers 1.4 with the 1.4 fixed part (240 bytes).
    std::vector<BYTE> refused(sizeof(LINEDEVCAPS), 0);
    dwTotal = sizeof(LINEDEVCAPS);
    std::memcpy(refused.data(), &dwTotal, 4);
    EXPECT_EQ(tapi.GetDevCaps(hApp, 2, TAPI_VERSION_2_0, 0, reinterpret_cast<LINEDEVCAPS*>(refused.data())),
              LINEERR_INCOMPATIBLEAPIVERSION);
    std::vector<BYTE> old = Fetch<LINEDEVCAPS>(240, query(2, TAPI_VERSION_1_4));
    EXPECT_EQ(Text(old, reinterpret_cast<const LINEDEVCAPS*>(old.data())->dwProviderInfoSize,
                   reinterpret_cast<const LINEDEVCAPS*>(old.data())->dwProviderInfoOffset),
              "Talvora ZR-40N");
    EXPECT_GE(reinterpret_cast<const LINEDEVCAPS*>(old.data())->dwProviderInfoOffset, 240u);

    EXPECT_EQ(tapi.GetDevCaps(hApp, 5, TAPI_VERSION_2_0, 0, reinterpret_cast<LINEDEVCAPS*>(full.data())),
              LINEERR_BADDEVICEID);
    EXPECT_EQ(tapi.GetDevCaps(hApp + 99, 0, TAPI_VERSION_2_0, 0, reinterpret_cast<LINEDEVCAPS*>(full.data())),
              LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(tapi.GetDevCaps(hApp, 0, 0x00030000, 0, reinterpret_cast<LINEDEVCAPS*>(full.data())),
              LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(tapi.GetDevCaps(hApp, 0, 0x00010002, 0, reinterpret_cast<LINEDEVCAPS*>(full.data())),
              LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(tapi.GetDevCaps(hApp, 0, TAPI_VERSION_1_3, 0, reinterpret_cast<LINEDEVCAPS*>(full.data())), 0);
    EXPECT_EQ(tapi.GetDevCaps(hApp, 0, TAPI_VERSION_2_0, 0x00090000, reinterpret_cast<LINEDEVCAPS*>(full.data())),
              LINEERR_INCOMPATIBLEEXTVERSION);
    DWORD dwExt = 0x00010002;
    EXPECT_EQ(tapi.NegotiateExtVersion(hApp, 4, TAPI_VERSION_2_0, 0x00010002, 0xFFFFFFFF, &dwExt), 0);
    EXPECT_EQ(dwExt, kExtVersionHigh);
}

TEST(SimTapi, AddressStatusCarriesTheDisplayNameLayoutOfEachGroup) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = Init(tapi);
    struct {
        DWORD dwDevice;
        std::size_t nLengthAt;
        std::size_t nOffsetAt;
        DWORD dwMinimum;
        const char* pszName;
    } cases[] = {{0, 28, 32, 52, "Reception"}, {2, 0, 4, 8, "City Line 1"}, {3, 24, 28, 32, "Voice Mail"}};
    for (const auto& c : cases) {
        HLINE hLine = OpenLine(tapi, hApp, c.dwDevice);
        std::vector<BYTE> status = Fetch<LINEADDRESSSTATUS>(
            sizeof(LINEADDRESSSTATUS), [&](LINEADDRESSSTATUS* p) { return tapi.GetAddressStatus(hLine, 0, p); });
        const auto* pStatus = reinterpret_cast<const LINEADDRESSSTATUS*>(status.data());
        ASSERT_GE(pStatus->dwDevSpecificSize, c.dwMinimum);
        std::vector<BYTE> part(status.begin() + pStatus->dwDevSpecificOffset,
                               status.begin() + pStatus->dwDevSpecificOffset + pStatus->dwDevSpecificSize);
        DWORD dwLength = GetDword(part, c.nLengthAt);
        DWORD dwOffset = GetDword(part, c.nOffsetAt);
        // The offset counts from the start of LINEADDRESSSTATUS and stays inside the part.
        ASSERT_GE(dwOffset, pStatus->dwDevSpecificOffset);
        ASSERT_LE(dwOffset + dwLength, pStatus->dwDevSpecificOffset + pStatus->dwDevSpecificSize);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(status.data()) + dwOffset, dwLength), c.pszName);
    }
    HLINE hFax = OpenLine(tapi, hApp, 4);
    std::vector<BYTE> fax = Fetch<LINEADDRESSSTATUS>(
        sizeof(LINEADDRESSSTATUS), [&](LINEADDRESSSTATUS* p) { return tapi.GetAddressStatus(hFax, 0, p); });
    EXPECT_EQ(reinterpret_cast<const LINEADDRESSSTATUS*>(fax.data())->dwDevSpecificSize, 0u);
    LINEADDRESSSTATUS status{};
    status.dwTotalSize = sizeof status;
    EXPECT_EQ(tapi.GetAddressStatus(hFax, 1, &status), LINEERR_INVALADDRESSID);
    EXPECT_EQ(tapi.GetAddressStatus(0x999, 0, &status), LINEERR_INVALLINEHANDLE);
}

TEST(SimTapi, LineDevStatusNamesTheOpenerInItsAppInfo) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = Init(tapi, "Linoscope3");
    HLINE hLine = OpenLine(tapi, hApp, 1);
    std::vector<BYTE> status =
        Fetch<LINEDEVSTATUS>(sizeof(LINEDEVSTATUS), [&](LINEDEVSTATUS* p) { return tapi.GetLineDevStatus(hLine, p); });
    const auto* pStatus = reinterpret_cast<const LINEDEVSTATUS*>(status.data());
    EXPECT_EQ(pStatus->dwNumOpens, 1u);
    EXPECT_EQ(pStatus->dwAppInfoSize, sizeof(LINEAPPINFO));
    ASSERT_LE(pStatus->dwAppInfoOffset + sizeof(LINEAPPINFO), status.size());
    LINEAPPINFO info;
    std::memcpy(&info, status.data() + pStatus->dwAppInfoOffset, sizeof info);
    EXPECT_EQ(Text(status, info.dwFriendlyNameSize, info.dwFriendlyNameOffset), "Linoscope3");
    EXPECT_EQ(Text(status, info.dwModuleFilenameSize, info.dwModuleFilenameOffset), "C:\\demo\\linoscope3.exe");
    EXPECT_EQ(info.dwMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(pStatus->dwDevStatusFlags, LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE);
    EXPECT_EQ(pStatus->dwLineFeatures, LINEFEATURE_MAKECALL);  // an idle extension calls out, a trunk does not
    HLINE hTrunk = OpenLine(tapi, hApp, 2);
    status =
        Fetch<LINEDEVSTATUS>(sizeof(LINEDEVSTATUS), [&](LINEDEVSTATUS* p) { return tapi.GetLineDevStatus(hTrunk, p); });
    EXPECT_EQ(reinterpret_cast<const LINEDEVSTATUS*>(status.data())->dwLineFeatures, 0u);
}

TEST(SimTapi, OpenSetStatusMessagesAndCloseRefuseWhatTapiRefuses) {
    CSimScenario scenario = Office();
    scenario.m_lines[3].m_bOpenFails = true;
    CSimTapi tapi(scenario, Host());
    HLINEAPP hApp = Init(tapi);
    HLINE hLine = 0;
    auto open = [&](DWORD dwDevice, DWORD dwExt, DWORD dwPrivileges, DWORD dwMedia) {
        return tapi.Open(hApp, dwDevice, &hLine, TAPI_VERSION_2_0, dwExt, 0, dwPrivileges, dwMedia, nullptr);
    };
    EXPECT_EQ(open(9, 0, LINECALLPRIVILEGE_MONITOR, 0), LINEERR_BADDEVICEID);
    EXPECT_EQ(open(0, 0x00090000, LINECALLPRIVILEGE_MONITOR, 0), LINEERR_INCOMPATIBLEEXTVERSION);
    EXPECT_EQ(open(0, 0, 0x8, 0), LINEERR_INVALPRIVSELECT);
    EXPECT_EQ(open(0, 0, LINECALLPRIVILEGE_OWNER, 0), LINEERR_INVALMEDIAMODE);
    EXPECT_EQ(open(3, 0, LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE), LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(tapi.Open(hApp, 0, nullptr, TAPI_VERSION_2_0, 0, 0, 2, 4, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(hLine, 0u);
    ASSERT_EQ(open(0, kExtVersionHigh, LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE), 0);
    EXPECT_EQ(tapi.SetStatusMessages(hLine, 0x02000000, 0), LINEERR_INVALLINESTATE);
    EXPECT_EQ(tapi.SetStatusMessages(hLine, 0, 0x200), LINEERR_INVALADDRESSSTATE);
    EXPECT_EQ(tapi.SetStatusMessages(hLine, 0x01FFFFFF, 0x1FF), 0);
    EXPECT_EQ(tapi.Close(hLine), 0);
    EXPECT_EQ(tapi.Close(hLine), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(tapi.SetStatusMessages(hLine, 0, 0), LINEERR_INVALLINEHANDLE);
}

TEST(SimTapi, MakeCallRepliesFirstThenReportsEveryStateWithTheCallerOwningTheCall) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = Init(tapi);
    HLINEAPP hOther = Init(tapi, "Other");
    HLINE hLine = OpenLine(tapi, hApp, 0);
    HLINE hCalled = OpenLine(tapi, hOther, 1);
    tapi.TakeMessages();

    HCALL hCall = 0;
    LONG lRequest = tapi.MakeCall(hLine, &hCall, "202", 0, nullptr);
    ASSERT_GT(lRequest, 0);
    EXPECT_EQ(hCall, 0u);  // written just before LINE_REPLY is delivered
    std::vector<CSimMessage> messages = tapi.TakeMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].m_dwMessage, LINE_REPLY);
    EXPECT_EQ(messages[0].m_dwParam1, static_cast<DWORD_PTR>(lRequest));
    EXPECT_EQ(messages[0].m_dwParam2, 0u);
    EXPECT_EQ(messages[0].m_phCallOut, &hCall);
    HCALL hMade = messages[0].m_hCallOut;
    EXPECT_EQ(messages[1].m_dwMessage, LINE_CALLSTATE);
    EXPECT_EQ(messages[1].m_hDevice, hMade);
    EXPECT_EQ(messages[1].m_dwParam1, LINECALLSTATE_DIALTONE);
    EXPECT_EQ(messages[1].m_dwParam3, LINECALLPRIVILEGE_OWNER);

    tapi.Advance(1000);
    std::vector<CSimMessage> more = tapi.TakeMessages();
    messages.insert(messages.end(), more.begin(), more.end());
    tapi.Advance(3000);
    more = tapi.TakeMessages();
    messages.insert(messages.end(), more.begin(), more.end());
    EXPECT_EQ(StatesFor(messages, hMade),
              (std::vector<DWORD_PTR>{LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                                      LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED}));
    // The IDs arrive as LINE_CALLINFO while they become known, each once.
    std::vector<DWORD_PTR> infos;
    for (const CSimMessage& m : messages) {
        if (m.m_dwMessage == LINE_CALLINFO && m.m_hDevice == hMade) {
            infos.push_back(m.m_dwParam1);
        }
    }
    EXPECT_EQ(infos, (std::vector<DWORD_PTR>{LINECALLINFOSTATE_CALLEDID, LINECALLINFOSTATE_CONNECTEDID}));

    // The other application monitors 202: a new call, offered with monitor privilege.
    auto appNew = std::find_if(messages.begin(), messages.end(),
                               [](const CSimMessage& m) { return m.m_dwMessage == LINE_APPNEWCALL; });
    ASSERT_NE(appNew, messages.end());
    EXPECT_EQ(appNew->m_hApp, hOther);
    EXPECT_EQ(appNew->m_hDevice, hCalled);
    EXPECT_EQ(appNew->m_dwParam3, LINECALLPRIVILEGE_MONITOR);
    HCALL hOffered = static_cast<HCALL>(appNew->m_dwParam2);
    EXPECT_EQ(StatesFor(messages, hOffered), (std::vector<DWORD_PTR>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));

    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    ASSERT_EQ(tapi.GetCallStatus(hMade, &status), 0);
    EXPECT_EQ(status.dwCallState, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
    EXPECT_EQ(status.dwCallFeatures & LINECALLFEATURE_DROP, LINECALLFEATURE_DROP);
    EXPECT_EQ(status.dwCallFeatures & LINECALLFEATURE_ANSWER, 0u);
    // Connected 3.8 s after 09:00:00.000 on the scenario's start day.
    EXPECT_EQ(status.tStateEntryTime.wHour, 9);
    EXPECT_EQ(status.tStateEntryTime.wSecond, 3);
    EXPECT_EQ(status.tStateEntryTime.wMilliseconds, 800);

    // A monitor may neither answer nor drop; the owner drops: DISCONNECTED, then IDLE.
    EXPECT_EQ(tapi.Drop(hOffered, nullptr, 0), LINEERR_NOTOWNER);
    EXPECT_EQ(tapi.Answer(hOffered, nullptr, 0), LINEERR_NOTOWNER);
    EXPECT_EQ(tapi.DeallocateCall(hMade), LINEERR_INVALCALLSTATE);  // sole owner of a live call
    LONG lDrop = tapi.Drop(hMade, nullptr, 0);
    ASSERT_GT(lDrop, lRequest);
    messages = tapi.TakeMessages();
    EXPECT_EQ(messages[0].m_dwMessage, LINE_REPLY);
    EXPECT_EQ(messages[0].m_dwParam1, static_cast<DWORD_PTR>(lDrop));
    EXPECT_EQ(StatesFor(messages, hMade), (std::vector<DWORD_PTR>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
    EXPECT_EQ(tapi.Drop(hMade, nullptr, 0), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(tapi.DeallocateCall(hMade), 0);
    EXPECT_EQ(tapi.DeallocateCall(hMade), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(tapi.GetCallStatus(hMade, &status), LINEERR_INVALCALLHANDLE);

    EXPECT_EQ(tapi.MakeCall(hLine, &hCall, "20x", 0, nullptr), LINEERR_INVALADDRESS);
    EXPECT_EQ(tapi.MakeCall(hLine, nullptr, "202", 0, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(tapi.MakeCall(0, &hCall, "202", 0, nullptr), LINEERR_INVALLINEHANDLE);
}

TEST(SimTapi, AnOwnerAnswersOfferedCallsAndCallInfoCarriesTheDidLayout) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = Init(tapi);
    OpenLine(tapi, hApp, 0, LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR);
    tapi.TakeMessages();
    std::string strError;
    ASSERT_TRUE(tapi.Inject(R"({"event": "inbound", "to": "201", "caller": "0301234567", "callerName": "Customer",
                                "ring": 60})",
                            &strError))
        << strError;
    tapi.Advance(500);
    std::vector<CSimMessage> messages = tapi.TakeMessages();
    auto appNew = std::find_if(messages.begin(), messages.end(),
                               [](const CSimMessage& m) { return m.m_dwMessage == LINE_APPNEWCALL; });
    ASSERT_NE(appNew, messages.end());
    EXPECT_EQ(appNew->m_dwParam3, LINECALLPRIVILEGE_OWNER);
    HCALL hCall = static_cast<HCALL>(appNew->m_dwParam2);

    int nPasses = 0;
    std::vector<BYTE> info = Fetch<LINECALLINFO>(
        sizeof(LINECALLINFO), [&](LINECALLINFO* p) { return tapi.GetCallInfo(hCall, p); }, &nPasses);
    EXPECT_EQ(nPasses, 2);  // the caller's number alone outgrows the fixed part
    const auto* pInfo = reinterpret_cast<const LINECALLINFO*>(info.data());
    EXPECT_EQ(Text(info, pInfo->dwCallerIDSize, pInfo->dwCallerIDOffset), "0301234567");
    EXPECT_EQ(Text(info, pInfo->dwCallerIDNameSize, pInfo->dwCallerIDNameOffset), "Customer");
    EXPECT_EQ(pInfo->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
    EXPECT_EQ(pInfo->dwOrigin, LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND);
    EXPECT_EQ(pInfo->dwReason, LINECALLREASON_DIRECT);
    EXPECT_EQ(pInfo->dwTrunk, 1u);
    ASSERT_GE(pInfo->dwDevSpecificSize, 60u);
    DWORD dwLength = 0;
    DWORD dwOffset = 0;
    std::memcpy(&dwLength, info.data() + pInfo->dwDevSpecificOffset + 12, 4);
    std::memcpy(&dwOffset, info.data() + pInfo->dwDevSpecificOffset + 16, 4);
    ASSERT_EQ(dwLength, 4u);
    ASSERT_LE(dwOffset + dwLength, pInfo->dwDevSpecificOffset + pInfo->dwDevSpecificSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.data()) + dwOffset, dwLength), "0312");

    // Growing buffers see the same: a short second buffer leaves the late parts out.
    std::vector<BYTE> part(pInfo->dwNeededSize - 1, 0);
    DWORD dwTotal = static_cast<DWORD>(part.size());
    std::memcpy(part.data(), &dwTotal, 4);
    ASSERT_EQ(tapi.GetCallInfo(hCall, reinterpret_cast<LINECALLINFO*>(part.data())), 0);
    const auto* pPart = reinterpret_cast<const LINECALLINFO*>(part.data());
    EXPECT_EQ(pPart->dwNeededSize, pInfo->dwNeededSize);
    EXPECT_EQ(pPart->dwDevSpecificSize, 0u);
    EXPECT_LE(pPart->dwUsedSize, dwTotal);
    EXPECT_EQ(Text(part, pPart->dwCallerIDSize, pPart->dwCallerIDOffset), "0301234567");

    LONG lAnswer = tapi.Answer(hCall, nullptr, 0);
    ASSERT_GT(lAnswer, 0);
    EXPECT_EQ(tapi.Answer(hCall, nullptr, 0), LINEERR_INVALCALLSTATE);
    messages = tapi.TakeMessages();
    EXPECT_EQ(StatesFor(messages, hCall), (std::vector<DWORD_PTR>{LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(tapi.Drop(hCall, "x", 1), LINEERR_USERUSERINFOTOOBIG);
}

TEST(SimTapi, LineStatesGoOnlyWhereAskedAndReinitStopsNewApplications) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = Init(tapi);
    HLINE hAsked = OpenLine(tapi, hApp, 0);
    HLINE hSilent = 0;
    ASSERT_EQ(tapi.Open(hApp, 0, &hSilent, TAPI_VERSION_2_0, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);
    std::string strError;
    ASSERT_TRUE(tapi.Inject(R"({"event": "outOfService", "line": "201"})", &strError)) << strError;
    std::vector<CSimMessage> messages = tapi.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].m_hDevice, hAsked);
    EXPECT_EQ(messages[0].m_dwMessage, LINE_LINEDEVSTATE);
    EXPECT_EQ(messages[0].m_dwParam1, LINEDEVSTATE_OUTOFSERVICE);
    HCALL hCall = 0;
    EXPECT_EQ(tapi.MakeCall(hAsked, &hCall, "202", 0, nullptr), LINEERR_RESOURCEUNAVAIL);

    ASSERT_TRUE(tapi.Inject(R"({"event": "reinit"})", &strError));
    messages = tapi.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].m_hDevice, 0u);
    EXPECT_EQ(messages[0].m_dwParam1, LINEDEVSTATE_REINIT);
    EXPECT_TRUE(tapi.IsDeliverable(messages[0]));

    HLINEAPP hLate = 0;
    DWORD dwDevices = 0;
    DWORD dwVersion = TAPI_VERSION_2_0;
    LINEINITIALIZEEXPARAMS params = HiddenWindowParams();
    EXPECT_EQ(tapi.InitializeEx(&hLate, IgnoreCallback, "x", &dwDevices, &dwVersion, &params), LINEERR_REINIT);
    ASSERT_EQ(tapi.Shutdown(hApp), 0);
    EXPECT_FALSE(tapi.IsDeliverable(messages[0]));
    EXPECT_EQ(tapi.InitializeEx(&hLate, IgnoreCallback, "x", &dwDevices, &dwVersion, &params), 0);
    EXPECT_FALSE(tapi.Inject(R"({"event": "hangup", "line": "201"})", &strError));
    EXPECT_EQ(strError, "line \"201\" has no call");
}

// The line that went away cannot be reached any more: every version of
// TAPI names that mode, so even a line opened for TAPI 1.4 is told why.
TEST(SimTapi, FarEndOfALineGoingOutOfServiceHearsItWasUnreachable) {
    CSimTapi tapi(Office(), Host());
    HLINEAPP hApp = Init(tapi);
    OpenLine(tapi, hApp, 0);
    HLINE hFar = 0;
    ASSERT_EQ(tapi.Open(hApp, 1, &hFar, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);
    HLINE hTrunk = OpenLine(tapi, hApp, 2);
    OpenLine(tapi, hApp, 3);
    std::string strError;
    ASSERT_TRUE(tapi.Inject(R"({"event": "internal", "from": "201", "to": "202", "ring": 1, "talk": 0})", &strError))
        << strError;
    ASSERT_TRUE(
        tapi.Inject(R"({"event": "inbound", "to": "700", "caller": "0301234567", "ring": 1, "talk": 0})", &strError))
        << strError;
    tapi.Advance(3000);
    tapi.TakeMessages();

    // Each DISCONNECTED of a batch, as the line it came on and its mode; the
    // line that went out of service goes straight to IDLE.
    auto disconnects = [&tapi](const std::vector<CSimMessage>& messages) {
        std::vector<std::pair<HLINE, DWORD_PTR>> seen;
        for (const CSimMessage& m : messages) {
            if (m.m_dwMessage == LINE_CALLSTATE && m.m_dwParam1 == LINECALLSTATE_DISCONNECTED) {
                std::vector<BYTE> info(sizeof(LINECALLINFO) + 1024, 0);
                auto* pInfo = reinterpret_cast<LINECALLINFO*>(info.data());
                pInfo->dwTotalSize = static_cast<DWORD>(info.size());
                EXPECT_EQ(tapi.GetCallInfo(static_cast<HCALL>(m.m_hDevice), pInfo), 0);
                seen.emplace_back(pInfo->hLine, m.m_dwParam2);
            }
        }
        return seen;
    };
    using Seen = std::vector<std::pair<HLINE, DWORD_PTR>>;
    ASSERT_TRUE(tapi.Inject(R"({"event": "outOfService", "line": "201"})", &strError)) << strError;
    std::vector<CSimMessage> messages = tapi.TakeMessages();
    EXPECT_EQ(disconnects(messages), (Seen{{hFar, LINEDISCONNECTMODE_UNREACHABLE}}));
    // The trunk of an external caller clears at once, told the same.
    ASSERT_TRUE(tapi.Inject(R"({"event": "outOfService", "line": "700"})", &strError)) << strError;
    std::vector<CSimMessage> trunk = tapi.TakeMessages();
    EXPECT_EQ(disconnects(trunk), (Seen{{hTrunk, LINEDISCONNECTMODE_UNREACHABLE}}));

    // LINECALLSTATUS says the same, and the address capabilities list the mode.
    HCALL hFarCall = 0;
    for (const CSimMessage& m : messages) {
        if (m.m_dwMessage == LINE_CALLSTATE && m.m_dwParam1 == LINECALLSTATE_DISCONNECTED) {
            hFarCall = static_cast<HCALL>(m.m_hDevice);
        }
    }
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    ASSERT_EQ(tapi.GetCallStatus(hFarCall, &status), 0);
    EXPECT_EQ(status.dwCallState, LINECALLSTATE_DISCONNECTED);
    EXPECT_EQ(status.dwCallStateMode, LINEDISCONNECTMODE_UNREACHABLE);
    std::vector<BYTE> caps(sizeof(LINEADDRESSCAPS) + 512, 0);
    auto* pCaps = reinterpret_cast<LINEADDRESSCAPS*>(caps.data());
    pCaps->dwTotalSize = static_cast<DWORD>(caps.size());
    ASSERT_EQ(tapi.GetAddressCaps(hApp, 1, 0, TAPI_VERSION_1_4, 0, pCaps), 0);
    EXPECT_EQ(pCaps->dwDisconnectModes & LINEDISCONNECTMODE_UNREACHABLE, LINEDISCONNECTMODE_UNREACHABLE);
}

TEST(SimTapi, JournalRecordsWhatWasDoneToTheLines) {
    CSimTapi tapi(Office(), Host());
    std::vector<std::string> journal;
    tapi.SetJournal([&journal](const std::string& str) { journal.push_back(str); });
    HLINEAPP hApp = Init(tapi);
    HLINE hLine = OpenLine(tapi, hApp, 3);
    tapi.Close(hLine);
    OpenLine(tapi, hApp, 4);
    tapi.Shutdown(hApp);
    ASSERT_EQ(journal.size(), 7u);
    EXPECT_EQ(journal[0].rfind("lineInitializeExA app=\"Linoscope3\" -> 0 hLineApp=", 0), 0u) << journal[0];
    EXPECT_EQ(journal[3], "lineClose hLine=0x00020001 device=3 -> 0");
    EXPECT_EQ(journal[6], "lineShutdown hLineApp=0x00010001 -> 0 linesStillOpen=1");
}

TEST(SimTapi, StateEntryTimesCrossMidnightAndMonthEnds) {
    SYSTEMTIME t = AddMilliseconds(SYSTEMTIME{2024, 2, 0, 28, 23, 59, 59, 900}, 86400000 + 200);
    EXPECT_EQ(t.wYear, 2024);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 1);
    EXPECT_EQ(t.wHour, 0);
    EXPECT_EQ(t.wMinute, 0);
    EXPECT_EQ(t.wSecond, 0);
    EXPECT_EQ(t.wMilliseconds, 100);
    EXPECT_EQ(t.wDayOfWeek, 5);  // 1 March 2024 was a Friday
}
