// Structure retrieval: the growing buffer, the version sequence of the
// capability queries, and a provider that cannot be trusted.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/StartupScene.h"

namespace {

constexpr HLINEAPP kApp = 0x77;

// Writes a text at the end of the caller's buffer and points a Size/Offset
// pair at it, as a provider does once the buffer is large enough.
void PutText(void* pStruct, std::size_t sizeField, DWORD dwOffset, const std::string& strText) {
    BYTE* p = static_cast<BYTE*>(pStruct);
    const DWORD dwSize = static_cast<DWORD>(strText.size() + 1);
    std::memcpy(p + dwOffset, strText.c_str(), dwSize);
    std::memcpy(p + sizeField, &dwSize, 4);
    std::memcpy(p + sizeField + 4, &dwOffset, 4);
}

using Values = std::vector<DWORD_PTR>;
using startup_scene::Arg;

class RetrievalTest : public ::testing::Test {
protected:
    void SetUp() override { Internals(monitor).m_hLineApp = kApp; }
    CFakeTapi fake;
    CTapiMonitor monitor;
};

}  // namespace

TEST_F(RetrievalTest, StructuresThatFitAtOnceTakeOneQuery) {
    fake.m_callStatus[0x5001] = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED, 0, LINECALLPRIVILEGE_OWNER);
    std::vector<DWORD> totals;
    fake.OnGetCallStatus = [&](HCALL hCall, LINECALLSTATUS* p) {
        totals.push_back(p->dwTotalSize);
        return fake.m_callStatus.at(hCall).FillInto(p);
    };
    auto pStatus = monitor.FetchCallStatus(0x5001);
    ASSERT_TRUE(pStatus);
    EXPECT_EQ(pStatus->m_dwCallState, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(pStatus->m_dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
    EXPECT_EQ(fake.Sequence(), "lineGetCallStatus");
    EXPECT_EQ(totals, std::vector<DWORD>{56});

    // A capability query: one negotiation, then the newest version that works.
    fake.ClearCalls();
    CStructImage devCaps = CStructImage::Of<LINEDEVCAPS>();
    devCaps.As<LINEDEVCAPS>()->dwPermanentLineID = 0x00011234;
    fake.m_devCaps[4] = devCaps;
    auto pDevCaps = monitor.FetchDevCaps(4);
    ASSERT_TRUE(pDevCaps);
    EXPECT_EQ(pDevCaps->m_dwPermanentLineID, 0x00011234u);
    EXPECT_EQ(fake.Sequence(), "lineNegotiateExtVersion,lineGetDevCaps");
    const FakeTapiCall negotiate = fake.CallsOf("lineNegotiateExtVersion").at(0);
    EXPECT_EQ(negotiate.args, (std::vector<DWORD_PTR>{kApp, 4, 0x00020000, 0x00010002, 0xFFFFFFFF, 0}));
    const FakeTapiCall query = fake.CallsOf("lineGetDevCaps").at(0);
    EXPECT_EQ(query.args, (std::vector<DWORD_PTR>{kApp, 4, 0x00020000, 0, 1}));

    fake.ClearCalls();
    fake.m_devCapsFailVersions = {0x00020000};
    ASSERT_TRUE(monitor.FetchDevCaps(4));
    EXPECT_EQ(Arg(fake.CallsOf("lineGetDevCaps"), 2), (Values{0x00020000, 0x00010004}));
    EXPECT_EQ(fake.Count("lineNegotiateExtVersion"), 1u);

    // The other three plain queries pass their handles through.
    fake.ClearCalls();
    fake.m_lineDevStatus[0x1003] = CStructImage::Of<LINEDEVSTATUS>();
    fake.m_addressStatus[0x1003] = CStructImage::Of<LINEADDRESSSTATUS>();
    fake.m_callInfo[0x5002] = CStructImage::Of<LINECALLINFO>();
    EXPECT_TRUE(monitor.FetchDevStatus(0x1003) && monitor.FetchAddressStatus(0x1003, 0) &&
                monitor.FetchCallInfo(0x5002));
    EXPECT_EQ(fake.Sequence(), "lineGetLineDevStatus,lineGetAddressStatus,lineGetCallInfo");
    EXPECT_EQ(fake.CallsOf("lineGetAddressStatus").at(0).args, (std::vector<DWORD_PTR>{0x1003, 0, 1}));
}

TEST_F(RetrievalTest, GrowsToExactlyTheNeededSize) {
    std::vector<DWORD> totals;
    fake.OnGetCallInfo = [&](HCALL, LINECALLINFO* p) -> LONG {
        totals.push_back(p->dwTotalSize);
        if (p->dwTotalSize < 400) {
            p->dwNeededSize = 400;
            p->dwUsedSize = 324;
            p->dwOrigin = LINECALLORIGIN_OUTBOUND;
            return 0;
        }
        p->dwNeededSize = 400;
        p->dwUsedSize = 400;
        p->dwOrigin = LINECALLORIGIN_INBOUND;
        PutText(p, offsetof(LINECALLINFO, dwCallerIDSize), 324, "0301234567");
        return 0;
    };
    auto pInfo = monitor.FetchCallInfo(0x5003);
    ASSERT_TRUE(pInfo);
    EXPECT_EQ(totals, (std::vector<DWORD>{324, 400}));
    // Built from the second answer.
    EXPECT_EQ(pInfo->m_dwOrigin, LINECALLORIGIN_INBOUND);
    EXPECT_EQ(pInfo->m_strCallerID, "0301234567");
}

TEST_F(RetrievalTest, SmallerNeedsNeverShrinkTheBuffer) {
    // 300 bytes is less than the 324 of the first buffer: the structure is
    // complete after the first call.
    std::vector<DWORD> totals;
    fake.OnGetCallInfo = [&](HCALL, LINECALLINFO* p) -> LONG {
        totals.push_back(p->dwTotalSize);
        p->dwNeededSize = 300;
        p->dwUsedSize = 300;
        p->dwTrunk = 7;
        return 0;
    };
    auto pInfo = monitor.FetchCallInfo(0x5004);
    ASSERT_TRUE(pInfo);
    EXPECT_EQ(pInfo->m_dwTrunk, 7u);
    EXPECT_EQ(totals, std::vector<DWORD>{324});

    // After growing once, a need below the current size ends the loop too.
    totals.clear();
    fake.OnGetCallInfo = [&](HCALL, LINECALLINFO* p) -> LONG {
        totals.push_back(p->dwTotalSize);
        p->dwNeededSize = totals.size() == 1 ? 500 : 16;
        p->dwUsedSize = 324;
        return 0;
    };
    ASSERT_TRUE(monitor.FetchCallInfo(0x5004));
    EXPECT_EQ(totals, (std::vector<DWORD>{324, 500}));
}

TEST_F(RetrievalTest, ProviderCannotWidenTheStructureBeyondTheBuffer) {
    // The provider claims a huge total and used size and points a text far
    // past the 330 bytes actually allocated; a second text lies inside.
    fake.OnGetCallInfo = [&](HCALL, LINECALLINFO* p) -> LONG {
        if (p->dwTotalSize < 330) {
            p->dwNeededSize = 330;
            return 0;
        }
        PutText(p, offsetof(LINECALLINFO, dwCalledIDSize), 324, "1234");
        p->dwCallerIDSize = 0x1000;
        p->dwCallerIDOffset = 326;
        p->dwTotalSize = 0x100000;
        p->dwNeededSize = 330;
        p->dwUsedSize = 0x100000;
        return 0;
    };
    auto pInfo = monitor.FetchCallInfo(0x5005);
    ASSERT_TRUE(pInfo);
    EXPECT_EQ(pInfo->m_strCalledID, "1234");
    EXPECT_EQ(pInfo->m_strCallerID, "");  // would lie outside the buffer

    // Nor can the dwTotalSize it writes end or prolong a fetch: the need is
    // compared with the buffer's own size.
    for (const DWORD dwClaimed : {DWORD{0}, DWORD{0x100000}}) {
        std::vector<DWORD> totals;
        fake.OnGetCallInfo = [&](HCALL, LINECALLINFO* p) -> LONG {
            totals.push_back(p->dwTotalSize);
            p->dwNeededSize = totals.size() == 1 ? 400 : 350;
            p->dwTotalSize = dwClaimed;
            return 0;
        };
        EXPECT_TRUE(monitor.FetchCallInfo(0x5006)) << dwClaimed;
        EXPECT_EQ(totals, (std::vector<DWORD>{324, 400})) << dwClaimed;
    }
}

TEST_F(RetrievalTest, CapabilityPassesStartAgainWithTheNewestVersion) {
    // Only 1.3 works, and its first answer needs more room than 252 bytes.
    fake.m_devCaps[5] = CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x1005, "CO 1005");
    fake.m_devCapsFailVersions = {0x00020000, 0x00010004};
    auto pDevCaps = monitor.FetchDevCaps(5);
    ASSERT_TRUE(pDevCaps);
    EXPECT_EQ(pDevCaps->m_strLineName, "CO 1005");
    EXPECT_EQ(pDevCaps->m_strProviderInfo, "Talvora ZR-40");
    EXPECT_TRUE(pDevCaps->m_bMakerLine);
    EXPECT_EQ(fake.Sequence(),
              "lineNegotiateExtVersion,lineGetDevCaps,lineGetDevCaps,lineGetDevCaps,"
              "lineNegotiateExtVersion,lineGetDevCaps,lineGetDevCaps,lineGetDevCaps");
    EXPECT_EQ(Arg(fake.CallsOf("lineGetDevCaps"), 2),
              (Values{0x00020000, 0x00010004, 0x00010003, 0x00020000, 0x00010004, 0x00010003}));
    for (const auto& call : fake.CallsOf("lineGetDevCaps")) EXPECT_EQ(call.args[3], 0u);  // extension version
    EXPECT_EQ(fake.CallsOf("lineGetDevCaps").back().args[1], 5u);

    // The address capabilities go the same way, with the address ID passed on.
    fake.ClearCalls();
    CStructImage addressCaps = CFakeTapi::MakeAddressCaps(5, "21");
    fake.m_addressCaps[5] = addressCaps;
    fake.m_addressCapsFailVersions = {0x00020000};
    auto pAddressCaps = monitor.FetchAddressCaps(5, 1);
    ASSERT_TRUE(pAddressCaps);
    EXPECT_EQ(pAddressCaps->m_strAddress, "21");
    EXPECT_EQ(Arg(fake.CallsOf("lineGetAddressCaps"), 3), (Values{0x00020000, 0x00010004, 0x00020000, 0x00010004}));
    EXPECT_EQ(fake.CallsOf("lineGetAddressCaps").at(0).args, (std::vector<DWORD_PTR>{kApp, 5, 1, 0x00020000, 0, 1}));
    EXPECT_EQ(fake.Count("lineNegotiateExtVersion"), 2u);
}

TEST_F(RetrievalTest, EachVersionTriesTheBuffersTrueSize) {
    // The 2.0 attempt fails and zeroes dwTotalSize; 1.4 insists on room for
    // its fixed part. The answer needs a second, larger buffer.
    const CStructImage devCaps = CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x1005, "CO 1005");
    std::vector<DWORD> totals;
    fake.OnGetDevCaps = [&](HLINEAPP, DWORD, DWORD dwVersion, DWORD, LINEDEVCAPS* p) -> LONG {
        if (dwVersion == 0x00020000) {
            p->dwTotalSize = 0;
            return LINEERR_INCOMPATIBLEAPIVERSION;
        }
        totals.push_back(p->dwTotalSize);
        return devCaps.FillInto(p);
    };
    auto pDevCaps = monitor.FetchDevCaps(5);
    ASSERT_TRUE(pDevCaps);
    EXPECT_EQ(pDevCaps->m_strLineName, "CO 1005");
    EXPECT_EQ(totals, (std::vector<DWORD>{sizeof(LINEDEVCAPS), static_cast<DWORD>(devCaps.Bytes().size())}));

    const CStructImage addressCaps = CFakeTapi::MakeAddressCaps(5, "21");
    totals.clear();
    fake.OnGetAddressCaps = [&](HLINEAPP, DWORD, DWORD, DWORD dwVersion, DWORD, LINEADDRESSCAPS* p) -> LONG {
        if (dwVersion != 0x00010003) {
            p->dwTotalSize = 0;
            return LINEERR_INCOMPATIBLEAPIVERSION;
        }
        totals.push_back(p->dwTotalSize);
        return addressCaps.FillInto(p);
    };
    auto pAddressCaps = monitor.FetchAddressCaps(5, 0);
    ASSERT_TRUE(pAddressCaps);
    EXPECT_EQ(pAddressCaps->m_strAddress, "21");
    EXPECT_EQ(totals.front(), sizeof(LINEADDRESSCAPS));
}

TEST_F(RetrievalTest, FailuresGiveNothingAndLeakNothing) {
    fake.m_devCaps[0] = CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x3000, "EXT");
    fake.m_addressCaps[0] = CFakeTapi::MakeAddressCaps(0, "30");
    fake.m_devCapsFailVersions = {0x00020000, 0x00010004, 0x00010003};
    fake.m_addressCapsFailVersions = {0x00020000, 0x00010004, 0x00010003};
    EXPECT_FALSE(monitor.FetchDevCaps(0));
    EXPECT_FALSE(monitor.FetchAddressCaps(0, 0));
    EXPECT_EQ(fake.Count("lineGetDevCaps"), 3u);
    EXPECT_EQ(fake.Count("lineGetAddressCaps"), 3u);

    // Unknown handles.
    EXPECT_FALSE(monitor.FetchDevStatus(0x1000));
    EXPECT_FALSE(monitor.FetchAddressStatus(0x1000, 0));
    EXPECT_FALSE(monitor.FetchCallInfo(0x5000));
    EXPECT_FALSE(monitor.FetchCallStatus(0x5000));

    // A second pass that fails: the line went away between the passes.
    fake.ClearCalls();
    int nCalls = 0;
    fake.OnGetCallInfo = [&](HCALL, LINECALLINFO* p) -> LONG {
        if (++nCalls > 1) return LINEERR_INVALCALLHANDLE;
        p->dwNeededSize = 600;
        return 0;
    };
    EXPECT_FALSE(monitor.FetchCallInfo(0x5006));
    EXPECT_EQ(nCalls, 2);

    // The same for a capability query: the second pass fails for all versions.
    fake.ClearCalls();
    fake.m_devCapsFailVersions.clear();
    int nPasses = 0;
    fake.OnGetDevCaps = [&](HLINEAPP, DWORD, DWORD dwVersion, DWORD, LINEDEVCAPS* p) -> LONG {
        if (dwVersion == 0x00020000) ++nPasses;
        if (nPasses > 1) return LINEERR_BADDEVICEID;
        p->dwNeededSize = 700;
        return 0;
    };
    EXPECT_FALSE(monitor.FetchDevCaps(0));
    EXPECT_EQ(fake.Sequence(),
              "lineNegotiateExtVersion,lineGetDevCaps,"
              "lineNegotiateExtVersion,lineGetDevCaps,lineGetDevCaps,lineGetDevCaps");
}

TEST_F(RetrievalTest, ProviderThatNeverIsSatisfiedCannotHangTheFetch) {
    // Always 8 bytes more than it was given.
    int nCalls = 0;
    fake.OnGetLineDevStatus = [&](HLINE, LINEDEVSTATUS* p) -> LONG {
        ++nCalls;
        p->dwNeededSize = p->dwTotalSize + 8;
        return 0;
    };
    EXPECT_FALSE(monitor.FetchDevStatus(0x1001));
    EXPECT_EQ(nCalls, 32);

    // A need close to 4 GiB is refused at once, without trying to allocate it.
    nCalls = 0;
    fake.OnGetAddressStatus = [&](HLINE, DWORD, LINEADDRESSSTATUS* p) -> LONG {
        ++nCalls;
        p->dwNeededSize = 0xFFFFFFF0;
        return 0;
    };
    EXPECT_FALSE(monitor.FetchAddressStatus(0x1001, 0));
    EXPECT_EQ(nCalls, 1);

    // The same for a capability query, where each pass has its negotiation.
    fake.ClearCalls();
    fake.OnGetAddressCaps = [&](HLINEAPP, DWORD, DWORD, DWORD, DWORD, LINEADDRESSCAPS* p) -> LONG {
        p->dwNeededSize = p->dwTotalSize + 8;
        return 0;
    };
    EXPECT_FALSE(monitor.FetchAddressCaps(0, 0));
    EXPECT_EQ(fake.Count("lineGetAddressCaps"), 32u);
    EXPECT_EQ(fake.Count("lineNegotiateExtVersion"), 32u);
}

// Capability structures answered for API 1.4 or 1.3 have a shorter fixed
// part; a provider may place its texts right after it, where the 2.0 fields
// would be. Those fields must read as 0, not as text bytes.
TEST_F(RetrievalTest, FieldsBeyondAnOlderFixedPartReadAsZero) {
    for (DWORD dwVersion : {TAPI_VERSION_1_4, TAPI_VERSION_1_3}) {
        const bool b14 = dwVersion == TAPI_VERSION_1_4;
        CStructImage devCaps(b14 ? offsetof(LINEDEVCAPS, dwSettableDevStatus) : offsetof(LINEDEVCAPS, dwLineFeatures));
        devCaps.SetDword(offsetof(LINEDEVCAPS, dwBearerModes), LINEBEARERMODE_VOICE);
        if (b14) devCaps.SetDword(offsetof(LINEDEVCAPS, dwLineFeatures), LINEFEATURE_MAKECALL);
        devCaps.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), "Talvora ZR-40N");
        devCaps.AddText(offsetof(LINEDEVCAPS, dwLineNameSize), "Ext 201 with a long name");
        CStructImage addressCaps(b14 ? offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates)
                                     : offsetof(LINEADDRESSCAPS, dwAddressFeatures));
        addressCaps.SetDword(offsetof(LINEADDRESSCAPS, dwCallStates), LINECALLSTATE_IDLE);
        if (b14) addressCaps.SetDword(offsetof(LINEADDRESSCAPS, dwAddressFeatures), LINEADDRFEATURE_MAKECALL);
        addressCaps.AddText(offsetof(LINEADDRESSCAPS, dwAddressSize), "201-and-more-text-after-it");
        fake.m_devCaps[0] = devCaps;
        fake.m_addressCaps[0] = addressCaps;
        fake.m_devCapsFailVersions = fake.m_addressCapsFailVersions = {TAPI_VERSION_2_0};
        if (!b14) fake.m_devCapsFailVersions.insert(TAPI_VERSION_1_4);
        if (!b14) fake.m_addressCapsFailVersions.insert(TAPI_VERSION_1_4);

        auto pCaps = monitor.FetchDevCaps(0);
        ASSERT_NE(pCaps, nullptr);
        EXPECT_EQ(pCaps->m_strProviderInfo, "Talvora ZR-40N");
        EXPECT_EQ(pCaps->m_strLineName, "Ext 201 with a long name");
        EXPECT_TRUE(pCaps->m_bMakerLine);
        EXPECT_EQ(pCaps->m_dwBearerModes, LINEBEARERMODE_VOICE);
        EXPECT_EQ(pCaps->m_dwSettableDevStatus, 0u);
        EXPECT_EQ(pCaps->m_strDeviceClasses, "");
        EXPECT_EQ(pCaps->m_dwLineFeatures, b14 ? LINEFEATURE_MAKECALL : 0u);
        EXPECT_NE(pCaps->Report(0).find("    dwSettableDevStatus = 0x00000000 \r\n"), std::string::npos);
        auto pAddressCaps = monitor.FetchAddressCaps(0, 0);
        ASSERT_NE(pAddressCaps, nullptr);
        EXPECT_EQ(pAddressCaps->GetAddress(), "201-and-more-text-after-it");
        EXPECT_EQ(pAddressCaps->m_dwCallStates, LINECALLSTATE_IDLE);
        EXPECT_EQ(pAddressCaps->m_dwPredictiveAutoTransferStates + pAddressCaps->m_dwOfferingModes +
                      pAddressCaps->m_dwAvailableMediaModes,
                  0u);
        EXPECT_EQ(pAddressCaps->m_dwAddressFeatures, b14 ? LINEADDRFEATURE_MAKECALL : 0u);
    }
}
