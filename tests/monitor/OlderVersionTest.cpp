// Capability structures answered for API 1.4 or 1.3 have a shorter fixed
// part; a provider may place its texts right after it, where the 2.0 fields
// would be. Those fields must read as 0, not as text bytes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"

namespace {

TEST(OlderApiVersions, DevCapsFieldsBeyondTheOlderFixedPartReadAsZero) {
    for (DWORD dwVersion : {TAPI_VERSION_1_4, TAPI_VERSION_1_3}) {
        CFakeTapi fake;
        const size_t cbFixed = dwVersion == TAPI_VERSION_1_4 ? offsetof(LINEDEVCAPS, dwSettableDevStatus)
                                                             : offsetof(LINEDEVCAPS, dwLineFeatures);
        CStructImage img(cbFixed);  // the texts follow the older fixed part
        img.SetDword(offsetof(LINEDEVCAPS, dwPermanentLineID), 0x3001);
        img.SetDword(offsetof(LINEDEVCAPS, dwBearerModes), LINEBEARERMODE_VOICE);
        if (dwVersion == TAPI_VERSION_1_4) img.SetDword(offsetof(LINEDEVCAPS, dwLineFeatures), LINEFEATURE_MAKECALL);
        img.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), "Talvora ZR-40N");
        img.AddText(offsetof(LINEDEVCAPS, dwLineNameSize), "Ext 201 with a long name");
        fake.m_devCaps[0] = img;
        fake.m_devCapsFailVersions = {TAPI_VERSION_2_0};
        if (dwVersion == TAPI_VERSION_1_3) fake.m_devCapsFailVersions.insert(TAPI_VERSION_1_4);

        CTapiMonitor monitor;
        auto pCaps = monitor.FetchDevCaps(0);
        ASSERT_NE(pCaps, nullptr);
        EXPECT_EQ(pCaps->m_strProviderInfo, "Talvora ZR-40N");
        EXPECT_EQ(pCaps->m_strLineName, "Ext 201 with a long name");
        EXPECT_TRUE(pCaps->m_bMakerLine);
        EXPECT_EQ(pCaps->m_dwBearerModes, LINEBEARERMODE_VOICE);
        // The text bytes where the 2.0 fields would be are not taken as fields.
        EXPECT_EQ(pCaps->m_dwSettableDevStatus, 0u);
        EXPECT_EQ(pCaps->m_strDeviceClasses, "");
        EXPECT_EQ(pCaps->m_dwLineFeatures, dwVersion == TAPI_VERSION_1_4 ? LINEFEATURE_MAKECALL : 0u);
        EXPECT_NE(pCaps->Report(0).find("    dwSettableDevStatus = 0x00000000 \r\n"), std::string::npos);
    }
}

TEST(OlderApiVersions, AddressCapsFieldsBeyondTheOlderFixedPartReadAsZero) {
    for (DWORD dwVersion : {TAPI_VERSION_1_4, TAPI_VERSION_1_3}) {
        CFakeTapi fake;
        const size_t cbFixed = dwVersion == TAPI_VERSION_1_4 ? offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates)
                                                             : offsetof(LINEADDRESSCAPS, dwAddressFeatures);
        CStructImage img(cbFixed);
        img.SetDword(offsetof(LINEADDRESSCAPS, dwCallStates), LINECALLSTATE_IDLE);
        if (dwVersion == TAPI_VERSION_1_4)
            img.SetDword(offsetof(LINEADDRESSCAPS, dwAddressFeatures), LINEADDRFEATURE_MAKECALL);
        img.AddText(offsetof(LINEADDRESSCAPS, dwAddressSize), "201-and-more-text-after-it");
        fake.m_addressCaps[0] = img;
        fake.m_addressCapsFailVersions = {TAPI_VERSION_2_0};
        if (dwVersion == TAPI_VERSION_1_3) fake.m_addressCapsFailVersions.insert(TAPI_VERSION_1_4);

        CTapiMonitor monitor;
        auto pCaps = monitor.FetchAddressCaps(0, 0);
        ASSERT_NE(pCaps, nullptr);
        EXPECT_EQ(pCaps->GetAddress(), "201-and-more-text-after-it");
        EXPECT_EQ(pCaps->m_dwCallStates, LINECALLSTATE_IDLE);
        EXPECT_EQ(pCaps->m_dwPredictiveAutoTransferStates, 0u);
        EXPECT_EQ(pCaps->m_dwOfferingModes, 0u);
        EXPECT_EQ(pCaps->m_dwAvailableMediaModes, 0u);
        EXPECT_EQ(pCaps->m_dwAddressFeatures, dwVersion == TAPI_VERSION_1_4 ? LINEADDRFEATURE_MAKECALL : 0u);
    }
}

}  // namespace
