// Structure retrieval where the structures' contents matter: texts a
// provider points outside the buffer, and the fields an older version's
// shorter fixed part leaves out. (The queries themselves are in the scenes.)
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"

namespace {

constexpr HLINEAPP kApp = 0x77;

class RetrievalTest : public ::testing::Test {
protected:
    void SetUp() override { Internals(monitor).m_hLineApp = kApp; }
    CFakeTapi fake;
    CTapiMonitor monitor;
};

}  // namespace

TEST_F(RetrievalTest, ProviderCannotWidenTheStructureBeyondTheBuffer) {
    // The provider claims a huge total and used size and points a text far
    // past the 330 bytes actually allocated; a second text lies inside.
    fake.OnQuery = [&](const std::string&, void* pStruct, LONG* pResult) {
        auto* p = static_cast<LINECALLINFO*>(pStruct);
        *pResult = 0;
        if (p->dwTotalSize < 330) {
            p->dwNeededSize = 330;
            return true;
        }
        std::memcpy(reinterpret_cast<BYTE*>(p) + 324, "1234", 5);
        p->dwCalledIDSize = 5;
        p->dwCalledIDOffset = 324;
        p->dwCallerIDSize = 0x1000;
        p->dwCallerIDOffset = 326;
        p->dwTotalSize = 0x100000;
        p->dwNeededSize = 330;
        p->dwUsedSize = 0x100000;
        return true;
    };
    auto pInfo = monitor.FetchCallInfo(0x5005);
    ASSERT_TRUE(pInfo);
    EXPECT_EQ(pInfo->m_strCalledID, "1234");
    EXPECT_EQ(pInfo->m_strCallerID, "");  // would lie outside the buffer
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
