#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/SimLayouts.h"
#include "service/SimTapi.h"

using namespace sim;

namespace {

void CALLBACK IgnoreCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// 0: ext 201 (DID 0312), 1: ext 202, 2: trunk 801, 3: voice mail (etc), 4: fax of another provider,
// 5: a door phone that cannot be opened and refuses TAPI 2.0; the program started at 09:00 on 6 May 2024.
class SimTapiTest : public testing::Test {
protected:
    SimTapiTest()
        : m_tapi(Scenario(), CSimHost{"SIMPC", "user", "C:\\demo\\linoscope3.exe", {2024, 5, 1, 6, 9, 0, 0, 0}}) {}

    static CSimScenario Scenario() {
        CSimScenario scenario;
        std::string strError;
        EXPECT_TRUE(ParseScenario(R"({"devices": [{"kind": "ext", "number": "201", "name": "Reception", "did": "0312"},
            {"kind": "ext", "number": "202", "name": "Sales"}, {"kind": "co", "number": "801", "name": "City Line 1"},
            {"kind": "etc", "number": "700", "name": "Voice Mail"}, {"kind": "other", "number": "750", "name": "Fax"},
            {"kind": "etc", "number": "710", "openFails": true, "refuseVersions": ["0x00020000"]}]})",
                                  "t.json", &scenario, &strError))
            << strError;
        return scenario;
    }

    static LINEINITIALIZEEXPARAMS Params() {
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
        return params;
    }

    LONG Init(HLINEAPP* phApp, DWORD dwVersion = TAPI_VERSION_2_0, const char* pszName = "Linoscope3") {
        DWORD dwDevices = 0;
        LINEINITIALIZEEXPARAMS params = Params();
        return m_tapi.InitializeEx(phApp, IgnoreCallback, pszName, &dwDevices, &dwVersion, &params);
    }

    HLINE Open(HLINEAPP hApp, DWORD dwDevice, DWORD dwPrivileges = LINECALLPRIVILEGE_MONITOR,
               DWORD dwVersion = TAPI_VERSION_2_0) {
        HLINE hLine = 0;
        EXPECT_EQ(
            m_tapi.Open(hApp, dwDevice, &hLine, dwVersion, 0, 0, dwPrivileges, LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
            0);
        EXPECT_EQ(m_tapi.SetStatusMessages(hLine, 0x01FFFFFF, 0x1FF), 0);
        return hLine;
    }

    // Every message since the last call, one a line: application, device, kind, parameters.
    std::string Messages() {
        std::string str;
        for (const CSimMessage& m : m_tapi.TakeMessages()) {
            const DWORD dwKinds[] = {LINE_REPLY, LINE_CALLSTATE, LINE_CALLINFO, LINE_APPNEWCALL, LINE_LINEDEVSTATE};
            const char* const pszKinds[] = {"reply", "state", "info", "new", "dev", "?"};
            int nKind = static_cast<int>(std::find(dwKinds, dwKinds + 5, m.m_dwMessage) - dwKinds);
            char sz[80];
            std::snprintf(sz, sizeof sz, "%X %X %s %X %X %X\n", unsigned(m.m_hApp & 0xF), unsigned(m.m_hDevice),
                          pszKinds[nKind], unsigned(m.m_dwParam1), unsigned(m.m_dwParam2), unsigned(m.m_dwParam3));
            str += sz;
        }
        return str;
    }

    // A structure fetched like a careful client does: first dwFirst bytes,
    // then exactly what TAPI asked for, at most nPasses times.
    template <typename T, typename Fn>
    std::vector<BYTE> Fetch(Fn fnQuery, DWORD dwFirst = sizeof(T), int nPasses = 4, LONG lExpected = 0) {
        std::vector<BYTE> buffer(dwFirst, 0xCD);
        for (int nPass = 1;; ++nPass) {
            DWORD dwTotal = static_cast<DWORD>(buffer.size());
            std::memcpy(buffer.data(), &dwTotal, 4);
            EXPECT_EQ(fnQuery(reinterpret_cast<T*>(buffer.data())), lExpected);
            DWORD dwNeeded = GetDword(buffer, 4);
            if (lExpected != 0 || dwNeeded <= buffer.size() || nPass >= nPasses) {
                return buffer;
            }
            buffer.resize(dwNeeded, 0xCD);
        }
    }

    // A text part as TAPI counts it (size with the NUL), checked to lie inside the buffer.
    static std::string Text(const std::vector<BYTE>& buffer, std::size_t nSizeField) {
        DWORD dwSize = GetDword(buffer, nSizeField);
        DWORD dwOffset = GetDword(buffer, nSizeField + 4);
        EXPECT_LE(std::size_t{dwOffset} + dwSize, buffer.size());
        return dwSize == 0 || dwOffset + dwSize > buffer.size()
                   ? ""
                   : std::string(reinterpret_cast<const char*>(buffer.data()) + dwOffset, dwSize - 1);
    }

    CSimTapi m_tapi;
    HLINEAPP m_hApp = 0;
};

}  // namespace

TEST_F(SimTapiTest, InitializeExAndShutdownCheckTheirArguments) {
    DWORD dwDevices = 0;
    DWORD dwVersion = TAPI_VERSION_2_0;
    LINEINITIALIZEEXPARAMS params = Params();
    auto init = [&](HLINEAPP* phApp, LINECALLBACK pfn, DWORD* pdwDevices, LINEINITIALIZEEXPARAMS* pParams) {
        return m_tapi.InitializeEx(phApp, pfn, "x", pdwDevices, &dwVersion, pParams);
    };
    EXPECT_EQ(init(nullptr, IgnoreCallback, &dwDevices, &params), LINEERR_INVALPOINTER);
    EXPECT_EQ(init(&m_hApp, IgnoreCallback, nullptr, &params), LINEERR_INVALPOINTER);
    EXPECT_EQ(init(&m_hApp, IgnoreCallback, &dwDevices, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(init(&m_hApp, nullptr, &dwDevices, &params), LINEERR_INVALPOINTER);
    params.dwTotalSize = sizeof params - 1;
    EXPECT_EQ(init(&m_hApp, IgnoreCallback, &dwDevices, &params), LINEERR_STRUCTURETOOSMALL);
    params.dwTotalSize = sizeof params;
    params.dwOptions = 7;
    EXPECT_EQ(init(&m_hApp, IgnoreCallback, &dwDevices, &params), LINEERR_INVALPARAM);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    EXPECT_EQ(init(&m_hApp, IgnoreCallback, &dwDevices, &params), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(Init(&m_hApp, TAPI_VERSION_1_4), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(m_hApp, 0u);
    EXPECT_EQ(m_tapi.GetAppCount(), 0u);

    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    dwVersion = 0x00030001;
    ASSERT_EQ(init(&m_hApp, IgnoreCallback, &dwDevices, &params), 0);
    EXPECT_NE(m_hApp, 0u);
    EXPECT_EQ(dwDevices, 6u);
    EXPECT_EQ(dwVersion, TAPI_VERSION_2_0);
    EXPECT_EQ(m_tapi.Shutdown(m_hApp), 0);
    EXPECT_EQ(m_tapi.Shutdown(m_hApp), LINEERR_INVALAPPHANDLE);
}

TEST_F(SimTapiTest, DevCapsFollowTheNeededSizeProtocolAndTheVersionsOfEachLine) {
    ASSERT_EQ(Init(&m_hApp), 0);
    auto caps = [this](DWORD dwDevice, DWORD dwVersion, DWORD dwExt = 0) {
        return [=, this](LINEDEVCAPS* p) { return m_tapi.GetDevCaps(m_hApp, dwDevice, dwVersion, dwExt, p); };
    };
    // One byte short of the fixed part: refused, and nothing written.
    std::vector<BYTE> small =
        Fetch<LINEDEVCAPS>(caps(0, TAPI_VERSION_2_0), sizeof(LINEDEVCAPS) - 1, 1, LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(small[4], 0xCD);
    // The fixed part alone: filled, the texts left out, the need reported; then all of it.
    std::vector<BYTE> fixed = Fetch<LINEDEVCAPS>(caps(0, TAPI_VERSION_2_0), sizeof(LINEDEVCAPS), 1);
    EXPECT_GT(GetDword(fixed, 4), sizeof(LINEDEVCAPS));
    EXPECT_EQ(GetDword(fixed, 8), sizeof(LINEDEVCAPS));
    EXPECT_EQ(Text(fixed, offsetof(LINEDEVCAPS, dwProviderInfoSize)), "");
    std::vector<BYTE> full = Fetch<LINEDEVCAPS>(caps(0, TAPI_VERSION_2_0), sizeof(LINEDEVCAPS), 2);
    const auto* pCaps = reinterpret_cast<const LINEDEVCAPS*>(full.data());
    EXPECT_EQ(pCaps->dwUsedSize, GetDword(fixed, 4));
    EXPECT_EQ(pCaps->dwNeededSize, GetDword(fixed, 4));
    EXPECT_EQ(Text(full, offsetof(LINEDEVCAPS, dwProviderInfoSize)), "Talvora ZR-40N");
    EXPECT_EQ(Text(full, offsetof(LINEDEVCAPS, dwLineNameSize)), "Ext 201");
    EXPECT_GE(pCaps->dwProviderInfoOffset, sizeof(LINEDEVCAPS));
    EXPECT_EQ(pCaps->dwPermanentLineID, 0x3001u);
    EXPECT_EQ(pCaps->dwNumTerminals, 1u);
    EXPECT_EQ(pCaps->dwTerminalCapsSize, sizeof(LINETERMCAPS));
    EXPECT_EQ(pCaps->dwTerminalTextSize, pCaps->dwTerminalTextEntrySize);
    EXPECT_EQ(pCaps->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(pCaps->dwLineFeatures, LINEFEATURE_MAKECALL);

    // The door phone refuses 2.0 but answers 1.4 with the 1.4 fixed part (240 bytes).
    Fetch<LINEDEVCAPS>(caps(5, TAPI_VERSION_2_0), sizeof(LINEDEVCAPS), 1, LINEERR_INCOMPATIBLEAPIVERSION);
    std::vector<BYTE> old = Fetch<LINEDEVCAPS>(caps(5, TAPI_VERSION_1_4), 240);
    EXPECT_EQ(Text(old, offsetof(LINEDEVCAPS, dwProviderInfoSize)), "Talvora ZR-40N");
    EXPECT_GE(GetDword(old, offsetof(LINEDEVCAPS, dwProviderInfoOffset)), 240u);

    auto* pFull = reinterpret_cast<LINEDEVCAPS*>(full.data());
    EXPECT_EQ(m_tapi.GetDevCaps(m_hApp, 6, TAPI_VERSION_2_0, 0, pFull), LINEERR_BADDEVICEID);
    EXPECT_EQ(m_tapi.GetDevCaps(m_hApp + 99, 0, TAPI_VERSION_2_0, 0, pFull), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(m_tapi.GetDevCaps(m_hApp, 0, 0x00030000, 0, pFull), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(m_tapi.GetDevCaps(m_hApp, 0, 0x00010002, 0, pFull), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(m_tapi.GetDevCaps(m_hApp, 0, TAPI_VERSION_1_3, 0, pFull), 0);
    EXPECT_EQ(m_tapi.GetDevCaps(m_hApp, 0, TAPI_VERSION_2_0, 0x00090000, pFull), LINEERR_INCOMPATIBLEEXTVERSION);
    DWORD dwExt = 0;
    EXPECT_EQ(m_tapi.NegotiateExtVersion(m_hApp, 4, TAPI_VERSION_2_0, 0x00010002, 0xFFFFFFFF, &dwExt), 0);
    EXPECT_EQ(dwExt, kExtVersionHigh);
}

TEST_F(SimTapiTest, OpenSetStatusMessagesAndCloseRefuseWhatTapiRefuses) {
    ASSERT_EQ(Init(&m_hApp), 0);
    HLINE hLine = 0;
    auto open = [&](DWORD dwDevice, DWORD dwExt, DWORD dwPrivileges, DWORD dwMedia) {
        return m_tapi.Open(m_hApp, dwDevice, &hLine, TAPI_VERSION_1_4, dwExt, 0, dwPrivileges, dwMedia, nullptr);
    };
    EXPECT_EQ(open(9, 0, LINECALLPRIVILEGE_MONITOR, 0), LINEERR_BADDEVICEID);
    EXPECT_EQ(open(0, 0x00090000, LINECALLPRIVILEGE_MONITOR, 0), LINEERR_INCOMPATIBLEEXTVERSION);
    EXPECT_EQ(open(0, 0, 0x8, 0), LINEERR_INVALPRIVSELECT);
    EXPECT_EQ(open(0, 0, LINECALLPRIVILEGE_OWNER, 0), LINEERR_INVALMEDIAMODE);
    EXPECT_EQ(open(5, 0, LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE), LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(m_tapi.Open(m_hApp, 0, nullptr, TAPI_VERSION_2_0, 0, 0, 2, 4, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(hLine, 0u);
    ASSERT_EQ(open(0, kExtVersionHigh, LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE), 0);
    EXPECT_EQ(m_tapi.SetStatusMessages(hLine, 0x02000000, 0), LINEERR_INVALLINESTATE);
    EXPECT_EQ(m_tapi.SetStatusMessages(hLine, 0, 0x200), LINEERR_INVALADDRESSSTATE);
    EXPECT_EQ(m_tapi.SetStatusMessages(hLine, 0x01FFFFFF, 0x1FF), 0);
    EXPECT_EQ(m_tapi.Close(hLine), 0);
    EXPECT_EQ(m_tapi.Close(hLine), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(m_tapi.SetStatusMessages(hLine, 0, 0), LINEERR_INVALLINEHANDLE);
}

TEST_F(SimTapiTest, StatusStructuresNameTheOpenerAndPlaceTheDisplayNameOfEachGroup) {
    ASSERT_EQ(Init(&m_hApp), 0);
    struct {
        DWORD dwDevice;
        std::size_t nLengthAt;  // of the display name in the provider's part; its offset follows
        DWORD dwMinimum;
        const char* pszName;
    } const cases[] = {{0, 28, 52, "Reception"}, {2, 0, 8, "City Line 1"}, {3, 24, 32, "Voice Mail"}, {4, 0, 0, ""}};
    for (const auto& c : cases) {
        HLINE hLine = Open(m_hApp, c.dwDevice);
        std::vector<BYTE> status =
            Fetch<LINEADDRESSSTATUS>([&](LINEADDRESSSTATUS* p) { return m_tapi.GetAddressStatus(hLine, 0, p); });
        DWORD dwPart = GetDword(status, offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset));
        DWORD dwPartSize = GetDword(status, offsetof(LINEADDRESSSTATUS, dwDevSpecificSize));
        ASSERT_GE(dwPartSize, c.dwMinimum);
        EXPECT_EQ(dwPartSize == 0, c.dwMinimum == 0);  // another provider's line carries no part
        if (c.dwMinimum != 0) {
            // The offset counts from the start of LINEADDRESSSTATUS and stays inside the part.
            DWORD dwLength = GetDword(status, dwPart + c.nLengthAt);
            DWORD dwOffset = GetDword(status, dwPart + c.nLengthAt + 4);
            ASSERT_GE(dwOffset, dwPart);
            ASSERT_LE(dwOffset + dwLength, dwPart + dwPartSize);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(status.data()) + dwOffset, dwLength), c.pszName);
        }
    }
    LINEADDRESSSTATUS status{};
    status.dwTotalSize = sizeof status;
    EXPECT_EQ(m_tapi.GetAddressStatus(0x00020001, 1, &status), LINEERR_INVALADDRESSID);
    EXPECT_EQ(m_tapi.GetAddressStatus(0x999, 0, &status), LINEERR_INVALLINEHANDLE);

    std::vector<BYTE> dev =
        Fetch<LINEDEVSTATUS>([&](LINEDEVSTATUS* p) { return m_tapi.GetLineDevStatus(0x00020002, p); });
    const auto* pDev = reinterpret_cast<const LINEDEVSTATUS*>(dev.data());
    EXPECT_EQ(pDev->dwNumOpens, 1u);
    EXPECT_EQ(pDev->dwDevStatusFlags, LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE);
    // An idle extension can call out, a trunk cannot.
    EXPECT_EQ(pDev->dwLineFeatures, 0u);
    std::vector<BYTE> ext =
        Fetch<LINEDEVSTATUS>([&](LINEDEVSTATUS* p) { return m_tapi.GetLineDevStatus(0x00020001, p); });
    EXPECT_EQ(reinterpret_cast<const LINEDEVSTATUS*>(ext.data())->dwLineFeatures, LINEFEATURE_MAKECALL);
    ASSERT_EQ(pDev->dwAppInfoSize, sizeof(LINEAPPINFO));
    const std::size_t nInfo = pDev->dwAppInfoOffset;
    EXPECT_EQ(Text(dev, nInfo + offsetof(LINEAPPINFO, dwMachineNameSize)), "SIMPC");
    EXPECT_EQ(Text(dev, nInfo + offsetof(LINEAPPINFO, dwUserNameSize)), "user");
    EXPECT_EQ(Text(dev, nInfo + offsetof(LINEAPPINFO, dwModuleFilenameSize)), "C:\\demo\\linoscope3.exe");
    EXPECT_EQ(Text(dev, nInfo + offsetof(LINEAPPINFO, dwFriendlyNameSize)), "Linoscope3");
    EXPECT_EQ(GetDword(dev, nInfo + offsetof(LINEAPPINFO, dwMediaModes)), LINEMEDIAMODE_INTERACTIVEVOICE);
}

TEST_F(SimTapiTest, MadeCallsReplyFirstThenReportEveryStateToOwnerAndMonitor) {
    HLINEAPP hOther = 0;
    ASSERT_EQ(Init(&m_hApp), 0);
    ASSERT_EQ(Init(&hOther, TAPI_VERSION_2_0, "Other"), 0);
    HLINE hLine = Open(m_hApp, 0);
    Open(hOther, 1);
    HCALL hCall = 0;
    LONG lRequest = m_tapi.MakeCall(hLine, &hCall, "202", 0, nullptr);
    ASSERT_EQ(lRequest, 1);
    EXPECT_EQ(hCall, 0u);  // written just before LINE_REPLY is delivered
    std::vector<CSimMessage> reply = m_tapi.TakeMessages();
    ASSERT_EQ(reply.size(), 2u);
    EXPECT_EQ(reply[0].m_phCallOut, &hCall);
    EXPECT_EQ(reply[0].m_hCallOut, 0x00030001u);
    m_tapi.Advance(1000);
    m_tapi.Advance(3000);
    EXPECT_EQ(reply[0].m_dwMessage, LINE_REPLY);
    EXPECT_EQ(reply[1].m_dwMessage, LINE_CALLSTATE);
    EXPECT_EQ(reply[1].m_dwParam1, LINECALLSTATE_DIALTONE);
    EXPECT_EQ(reply[1].m_dwParam3, LINECALLPRIVILEGE_OWNER);
    // Call states 10 DIALING, 200 PROCEEDING, 20 RINGBACK, 2 OFFERING, 100 CONNECTED, 4000 DISCONNECTED,
    // 1 IDLE; call info 10000 CALLEDID, 20000 CONNECTEDID; the other application monitors 202.
    EXPECT_EQ(Messages(),
              "1 30001 state 10 0 0\n1 30001 info 10000 0 0\n1 30001 state 200 0 0\n2 20002 new 0 30002 2\n"
              "2 30002 state 2 1 2\n1 30001 state 20 0 0\n2 30002 state 100 1 0\n2 30002 info 20000 0 0\n"
              "1 30001 state 100 1 0\n1 30001 info 20000 0 0\n");

    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    ASSERT_EQ(m_tapi.GetCallStatus(0x00030001, &status), 0);
    EXPECT_EQ(status.dwCallState, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
    EXPECT_EQ(status.dwCallFeatures, LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_DROP);
    // Connected 3.8 s after 09:00:00.000 on the scenario's start day, a Monday.
    auto fields = [](const SYSTEMTIME& t) {
        return std::vector<WORD>{t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                                 t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
    };
    EXPECT_EQ(fields(status.tStateEntryTime), (std::vector<WORD>{2024, 5, 1, 6, 9, 0, 3, 800}));
    // Past the end of a leap February, into Friday 1 March.
    EXPECT_EQ(fields(AddMilliseconds(SYSTEMTIME{2024, 2, 0, 28, 23, 59, 59, 900}, 86400000 + 200)),
              (std::vector<WORD>{2024, 3, 5, 1, 0, 0, 0, 100}));

    // A monitor may neither answer nor drop; the owner drops: DISCONNECTED, then IDLE.
    EXPECT_EQ(m_tapi.Drop(0x00030002, nullptr, 0), LINEERR_NOTOWNER);
    EXPECT_EQ(m_tapi.Answer(0x00030002, nullptr, 0), LINEERR_NOTOWNER);
    EXPECT_EQ(m_tapi.DeallocateCall(0x00030001), LINEERR_INVALCALLSTATE);  // sole owner of a live call
    EXPECT_EQ(m_tapi.Drop(0x00030001, nullptr, 0), 2);
    m_tapi.Advance(3000);
    EXPECT_EQ(Messages(),
              "1 20001 reply 2 0 0\n1 30001 state 4000 1 0\n1 30001 state 1 0 0\n2 30002 state 4000 1 0\n"
              "2 30002 state 1 0 0\n");
    EXPECT_EQ(m_tapi.Drop(0x00030001, nullptr, 0), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(m_tapi.DeallocateCall(0x00030001), 0);
    EXPECT_EQ(m_tapi.DeallocateCall(0x00030001), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(m_tapi.GetCallStatus(0x00030001, &status), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(m_tapi.MakeCall(hLine, &hCall, "20x", 0, nullptr), LINEERR_INVALADDRESS);
    EXPECT_EQ(m_tapi.MakeCall(hLine, nullptr, "202", 0, nullptr), LINEERR_INVALPOINTER);
    EXPECT_EQ(m_tapi.MakeCall(0, &hCall, "202", 0, nullptr), LINEERR_INVALLINEHANDLE);
}

TEST_F(SimTapiTest, AnOwnerAnswersOfferedCallsAndCallInfoCarriesTheDidLayout) {
    ASSERT_EQ(Init(&m_hApp), 0);
    Open(m_hApp, 0, LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR);
    std::string strError;
    ASSERT_TRUE(m_tapi.Inject(R"({"event": "inbound", "to": "201", "caller": "0301234567", "callerName": "Customer",
                                  "ring": 60})",
                              &strError))
        << strError;
    m_tapi.Advance(500);
    EXPECT_EQ(Messages(), "1 20001 new 0 30001 4\n1 30001 state 2 1 4\n");  // OFFERING, to the owner
    const HCALL hCall = 0x00030001;
    std::vector<BYTE> fixed =
        Fetch<LINECALLINFO>([&](LINECALLINFO* p) { return m_tapi.GetCallInfo(hCall, p); }, sizeof(LINECALLINFO), 1);
    EXPECT_GT(GetDword(fixed, 4), sizeof(LINECALLINFO));  // the caller's number alone outgrows the fixed part
    std::vector<BYTE> info = Fetch<LINECALLINFO>([&](LINECALLINFO* p) { return m_tapi.GetCallInfo(hCall, p); });
    const auto* pInfo = reinterpret_cast<const LINECALLINFO*>(info.data());
    EXPECT_EQ(Text(info, offsetof(LINECALLINFO, dwCallerIDSize)), "0301234567");
    EXPECT_EQ(Text(info, offsetof(LINECALLINFO, dwCallerIDNameSize)), "Customer");
    EXPECT_EQ(Text(info, offsetof(LINECALLINFO, dwCalledIDSize)), "201");
    EXPECT_EQ(pInfo->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
    EXPECT_EQ(pInfo->dwConnectedIDFlags, LINECALLPARTYID_UNKNOWN);
    EXPECT_EQ(pInfo->dwOrigin, LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND);
    EXPECT_EQ(pInfo->dwReason, LINECALLREASON_DIRECT);
    EXPECT_EQ(pInfo->dwTrunk, 1u);
    EXPECT_EQ(pInfo->dwNumOwners, 1u);
    ASSERT_GE(pInfo->dwDevSpecificSize, 60u);
    DWORD dwLength = GetDword(info, pInfo->dwDevSpecificOffset + 12);
    DWORD dwOffset = GetDword(info, pInfo->dwDevSpecificOffset + 16);
    ASSERT_EQ(dwLength, 4u);
    ASSERT_LE(dwOffset + dwLength, pInfo->dwDevSpecificOffset + pInfo->dwDevSpecificSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.data()) + dwOffset, dwLength), "0312");

    // A buffer one byte short leaves the late parts out and says what it needs.
    std::vector<BYTE> part =
        Fetch<LINECALLINFO>([&](LINECALLINFO* p) { return m_tapi.GetCallInfo(hCall, p); }, pInfo->dwNeededSize - 1, 1);
    const auto* pPart = reinterpret_cast<const LINECALLINFO*>(part.data());
    EXPECT_EQ(pPart->dwNeededSize, pInfo->dwNeededSize);
    EXPECT_EQ(pPart->dwDevSpecificSize, 0u);
    EXPECT_LE(pPart->dwUsedSize, part.size());
    EXPECT_EQ(Text(part, offsetof(LINECALLINFO, dwCallerIDSize)), "0301234567");

    EXPECT_EQ(m_tapi.Drop(hCall, "x", 1), LINEERR_USERUSERINFOTOOBIG);
    EXPECT_EQ(m_tapi.Answer(hCall, nullptr, 0), 1);
    EXPECT_EQ(m_tapi.Answer(hCall, nullptr, 0), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(Messages(), "1 20001 reply 1 0 0\n1 30001 state 100 1 0\n1 30001 info 20000 0 0\n");
}

TEST_F(SimTapiTest, LineStatesGoOnlyWhereAskedAndReinitStopsNewApplications) {
    ASSERT_EQ(Init(&m_hApp), 0);
    HLINE hAsked = Open(m_hApp, 0);
    HLINE hSilent = 0;
    ASSERT_EQ(m_tapi.Open(m_hApp, 0, &hSilent, TAPI_VERSION_2_0, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);
    std::string strError;
    ASSERT_TRUE(m_tapi.Inject(R"({"event": "outOfService", "line": "201"})", &strError)) << strError;
    EXPECT_EQ(Messages(), "1 20001 dev 80 0 0\n");  // OUTOFSERVICE, only where asked
    HCALL hCall = 0;
    EXPECT_EQ(m_tapi.MakeCall(hAsked, &hCall, "202", 0, nullptr), LINEERR_RESOURCEUNAVAIL);

    ASSERT_TRUE(m_tapi.Inject(R"({"event": "reinit"})", &strError));
    std::vector<CSimMessage> messages = m_tapi.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].m_hDevice, 0u);
    EXPECT_EQ(messages[0].m_dwParam1, LINEDEVSTATE_REINIT);
    EXPECT_TRUE(m_tapi.IsDeliverable(messages[0]));
    HLINEAPP hLate = 0;
    EXPECT_EQ(Init(&hLate), LINEERR_REINIT);
    ASSERT_EQ(m_tapi.Shutdown(m_hApp), 0);
    EXPECT_FALSE(m_tapi.IsDeliverable(messages[0]));
    EXPECT_EQ(Init(&hLate), 0);
    EXPECT_FALSE(m_tapi.Inject(R"({"event": "hangup", "line": "201"})", &strError));
    EXPECT_EQ(strError, "line \"201\" has no call");
}

// The line that went away cannot be reached any more: every version of
// TAPI names that mode, so even a line opened for TAPI 1.4 is told why.
TEST_F(SimTapiTest, FarEndOfALineGoingOutOfServiceHearsItWasUnreachable) {
    ASSERT_EQ(Init(&m_hApp), 0);
    Open(m_hApp, 0);
    Open(m_hApp, 1, LINECALLPRIVILEGE_MONITOR, TAPI_VERSION_1_4);
    Open(m_hApp, 2);
    Open(m_hApp, 3);
    std::string strError;
    ASSERT_TRUE(m_tapi.Inject(R"({"event": "internal", "from": "201", "to": "202", "ring": 1, "talk": 0})", &strError));
    ASSERT_TRUE(
        m_tapi.Inject(R"({"event": "inbound", "to": "700", "caller": "0301234567", "ring": 1, "talk": 0})", &strError));
    m_tapi.Advance(3000);
    m_tapi.TakeMessages();
    // 201 goes straight to IDLE, 202 (opened for 1.4) hears DISCONNECTED with UNREACHABLE (100); the
    // trunk of an external caller clears at once, told the same.
    ASSERT_TRUE(m_tapi.Inject(R"({"event": "outOfService", "line": "201"})", &strError)) << strError;
    ASSERT_TRUE(m_tapi.Inject(R"({"event": "outOfService", "line": "700"})", &strError)) << strError;
    EXPECT_EQ(Messages(),
              "1 20001 dev 80 0 0\n1 30001 state 1 0 0\n1 30004 state 4000 100 0\n1 20004 dev 80 0 0\n"
              "1 30003 state 1 0 0\n1 30002 state 4000 100 0\n1 30002 state 1 0 0\n");

    // LINECALLSTATUS says the same, and the address capabilities list the mode.
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    ASSERT_EQ(m_tapi.GetCallStatus(0x00030004, &status), 0);
    EXPECT_EQ(status.dwCallState, LINECALLSTATE_DISCONNECTED);
    EXPECT_EQ(status.dwCallStateMode, LINEDISCONNECTMODE_UNREACHABLE);
    std::vector<BYTE> caps = Fetch<LINEADDRESSCAPS>(
        [&](LINEADDRESSCAPS* p) { return m_tapi.GetAddressCaps(m_hApp, 1, 0, TAPI_VERSION_1_4, 0, p); });
    EXPECT_EQ(GetDword(caps, offsetof(LINEADDRESSCAPS, dwDisconnectModes)) & LINEDISCONNECTMODE_UNREACHABLE,
              LINEDISCONNECTMODE_UNREACHABLE);
}

TEST_F(SimTapiTest, JournalRecordsWhatWasDoneToTheLines) {
    std::vector<std::string> journal;
    m_tapi.SetJournal([&journal](const std::string& str) { journal.push_back(str); });
    ASSERT_EQ(Init(&m_hApp), 0);
    m_tapi.Close(Open(m_hApp, 3));
    Open(m_hApp, 4);
    m_tapi.Shutdown(m_hApp);
    ASSERT_EQ(journal.size(), 7u);
    EXPECT_EQ(journal[0], "lineInitializeExA app=\"Linoscope3\" -> 0 hLineApp=0x00010001 devices=6");
    EXPECT_EQ(journal[3], "lineClose hLine=0x00020001 device=3 -> 0");
    EXPECT_EQ(journal[6], "lineShutdown hLineApp=0x00010001 -> 0 linesStillOpen=1");
}
