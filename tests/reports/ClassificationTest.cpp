// Which tree a line goes to: the maker's provider text, the low 16 bits of the
// permanent line ID and the four range values, read afresh for every record
// (natively from the values file, under Wine from the real registry).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "reports/Snapshots.h"
#include "SnapshotTestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

using snaptest::CExactBuffer;

namespace {

// The classification key's values, set the way a technician would set them.
class CRangeValues {
public:
    CRangeValues() {
#ifdef _WIN32
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey);
#else
        m_path = std::string(::testing::TempDir()) + "lsc_snapshot_ranges.txt";
        std::remove(m_path.c_str());
        setenv(platform::kRangesFileVariable, m_path.c_str(), 1);
#endif
    }
    ~CRangeValues() {
#ifdef _WIN32
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey);
#else
        std::remove(m_path.c_str());
        unsetenv(platform::kRangesFileVariable);
#endif
    }
    CRangeValues(const CRangeValues&) = delete;
    CRangeValues& operator=(const CRangeValues&) = delete;

    void SetDword(const char* pszName, DWORD dwValue) {
#ifdef _WIN32
        Set(pszName, REG_DWORD, &dwValue, 4);
#else
        std::ofstream(m_path, std::ios::app) << pszName << " REG_DWORD " << dwValue << "\n";
#endif
    }
    void SetString(const char* pszName, const char* pszText) {
#ifdef _WIN32
        Set(pszName, REG_SZ, pszText, static_cast<DWORD>(std::strlen(pszText) + 1));
#else
        std::ofstream(m_path, std::ios::app) << pszName << " REG_SZ " << pszText << "\n";
#endif
    }
    void Clear() {
#ifdef _WIN32
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey);
#else
        std::remove(m_path.c_str());
#endif
    }

private:
#ifdef _WIN32
    void Set(const char* pszName, DWORD dwType, const void* pData, DWORD cb) {
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &hKey, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cb), ERROR_SUCCESS);
        RegCloseKey(hKey);
    }
#endif
    std::string m_path;
};

std::unique_ptr<CLineDevCaps> MakeRecord(const std::string& strProvider, DWORD dwPermanentLineID) {
    CExactBuffer buf(CFakeTapi::MakeDevCaps(strProvider, dwPermanentLineID, "Line"));
    auto pRecord = std::make_unique<CLineDevCaps>(buf.Data());
    pRecord->CheckMakerProvider();
    return pRecord;
}

// The tree start-up puts the line in.
std::string Group(const CLineDevCaps& record) {
    if (record.IsExtLine()) return "EXT";
    if (record.IsCoLine()) return "CO";
    return "ETC";
}

std::string GroupOf(DWORD dwPermanentLineID, const std::string& strProvider = "Talvora ZR-40N") {
    return Group(*MakeRecord(strProvider, dwPermanentLineID));
}

TEST(Classification, DefaultRangesAreHalfOpenAndUseTheLow16Bits) {
    CRangeValues values;  // no key at all
    const auto pRecord = MakeRecord("Talvora ZR-40N", 0x1000);
    EXPECT_EQ(pRecord->m_nCoLow, 4096);
    EXPECT_EQ(pRecord->m_nCoHigh, 12288);
    EXPECT_EQ(pRecord->m_nExtLow, 12288);
    EXPECT_EQ(pRecord->m_nExtHigh, 28672);

    EXPECT_EQ(GroupOf(0x00000FFF), "ETC");
    EXPECT_EQ(GroupOf(0x00001000), "CO");
    EXPECT_EQ(GroupOf(0x00002FFF), "CO");
    EXPECT_EQ(GroupOf(0x00003000), "EXT");
    EXPECT_EQ(GroupOf(0x00006FFF), "EXT");
    EXPECT_EQ(GroupOf(0x00007000), "ETC");
    EXPECT_EQ(GroupOf(0x0000FFFF), "ETC");
    EXPECT_EQ(GroupOf(0x00013000), "EXT");  // the upper half plays no part
    EXPECT_EQ(GroupOf(0xFFFF1000), "CO");
    EXPECT_EQ(GroupOf(0x00010FFF), "ETC");
    EXPECT_EQ(GroupOf(0x00003000, "Other Provider"), "ETC");
}

TEST(Classification, RangeValuesFromTheKey) {
    CRangeValues values;
    values.SetDword("CO_LOW", 0);
    values.SetDword("CO_HIGH", 0x10000);
    EXPECT_EQ(GroupOf(0x0000), "CO");
    EXPECT_EQ(GroupOf(0xFFFF), "CO");
    EXPECT_EQ(GroupOf(0x0550), "CO");
    EXPECT_EQ(GroupOf(0x3000), "EXT");  // in both ranges: EXT wins
    EXPECT_EQ(GroupOf(0x6FFF), "EXT");
    EXPECT_EQ(GroupOf(0x7000), "CO");
}

TEST(Classification, AStringValueFallsBackToItsDefaultAlone) {
    CRangeValues values;
    values.SetDword("CO_LOW", 5);
    values.SetDword("CO_HIGH", 6);
    values.SetString("EXT_LOW", "100");
    values.SetDword("EXT_HIGH", 7);
    const auto pRecord = MakeRecord("Talvora ZR-40N", 0x3000);
    EXPECT_EQ(pRecord->m_nCoLow, 5);
    EXPECT_EQ(pRecord->m_nCoHigh, 6);
    EXPECT_EQ(pRecord->m_nExtLow, 12288);
    EXPECT_EQ(pRecord->m_nExtHigh, 7);
    EXPECT_EQ(Group(*pRecord), "ETC");  // EXT is [12288, 7): empty
    EXPECT_EQ(GroupOf(5), "CO");
    EXPECT_EQ(GroupOf(6), "ETC");
}

TEST(Classification, HighBitValuesAreNegativeBounds) {
    CRangeValues values;
    values.SetDword("CO_HIGH", 0xFFFFFFFF);
    const auto pRecord = MakeRecord("Talvora ZR-40N", 0x1000);
    EXPECT_EQ(pRecord->m_nCoHigh, -1);
    EXPECT_EQ(Group(*pRecord), "ETC");  // the CO range is empty
    EXPECT_EQ(GroupOf(0x0000), "ETC");

    values.Clear();
    values.SetDword("EXT_LOW", 0x80000000);  // most negative: every key is above it
    EXPECT_EQ(GroupOf(0x0000), "EXT");
    EXPECT_EQ(GroupOf(0x6FFF), "EXT");
    EXPECT_EQ(GroupOf(0x7000), "ETC");
}

TEST(Classification, RangesAreReadAfreshForEveryRecord) {
    CRangeValues values;
    const auto pBefore = MakeRecord("Talvora ZR-40N", 0x0100);
    values.SetDword("CO_LOW", 0x0100);
    const auto pAfter = MakeRecord("Talvora ZR-40N", 0x0100);
    EXPECT_EQ(Group(*pBefore), "ETC");  // built with the default; keeps it
    EXPECT_EQ(Group(*pAfter), "CO");
    values.Clear();
    EXPECT_EQ(GroupOf(0x0100), "ETC");
}

TEST(Classification, OnlyTheWholeProviderTextCounts) {
    CRangeValues values;
    for (const char* pszProvider : {"Talvora ZR-40", "Talvora ZR-40N", "Talvora ZR-40N 1st Party"}) {
        const auto pRecord = MakeRecord(pszProvider, 0x3000);
        EXPECT_TRUE(pRecord->m_bMakerLine) << pszProvider;
        EXPECT_EQ(Group(*pRecord), "EXT") << pszProvider;
    }
    for (const char* pszProvider : {"Talvora ZR-40n", "talvora ZR-40", "Talvora ZR-4", "Talvora ZR-40N ",
                                    "Talvora ZR-40N 1st", " Talvora ZR-40", "Talvora ZR-40N 1st Party.", ""}) {
        CExactBuffer buf(CFakeTapi::MakeDevCaps(pszProvider, 0x3000, "Line"));
        CLineDevCaps record(buf.Data());
        EXPECT_FALSE(record.CheckMakerProvider()) << pszProvider;
        EXPECT_FALSE(record.m_bMakerLine) << pszProvider;
        EXPECT_EQ(Group(record), "ETC") << pszProvider;
        EXPECT_FALSE(record.HasEtcName()) << pszProvider;
    }
    // Texts end at their first NUL: what follows it does not spoil the match.
    auto img = CStructImage::Of<LINEDEVCAPS>();
    img.As<LINEDEVCAPS>()->dwPermanentLineID = 0x3000;
    const std::string text("Talvora ZR-40\0junk", 18);
    img.AddBytes(offsetof(LINEDEVCAPS, dwProviderInfoSize), text.data(), text.size());
    CExactBuffer buf(img);
    CLineDevCaps record(buf.Data());
    EXPECT_TRUE(record.CheckMakerProvider());
    EXPECT_EQ(record.m_strProviderInfo, "Talvora ZR-40");
}

TEST(Classification, EtcNamesForMakerLinesFrom0500To05FF) {
    CRangeValues values;
    const auto pRecord = MakeRecord("Talvora ZR-40N 1st Party", 0x0550);
    EXPECT_EQ(Group(*pRecord), "ETC");
    EXPECT_TRUE(pRecord->HasEtcName());
    EXPECT_TRUE(MakeRecord("Talvora ZR-40", 0x0500)->HasEtcName());
    EXPECT_TRUE(MakeRecord("Talvora ZR-40", 0x05FF)->HasEtcName());
    EXPECT_TRUE(MakeRecord("Talvora ZR-40", 0xABCD0550)->HasEtcName());
    EXPECT_FALSE(MakeRecord("Talvora ZR-40", 0x04FF)->HasEtcName());
    EXPECT_FALSE(MakeRecord("Talvora ZR-40", 0x0600)->HasEtcName());
    EXPECT_FALSE(MakeRecord("Someone Else", 0x0550)->HasEtcName());
}

TEST(LineRecord, StartsEmptyAndHoldsTheStructure) {
    CRangeValues values;
    CExactBuffer buf(CFakeTapi::MakeDevCaps("Talvora ZR-40N", 0x3001, "EXT 201"));
    CLineDevCaps record(buf.Data());
    EXPECT_FALSE(record.m_bMakerLine);  // until CheckMakerProvider
    EXPECT_EQ(record.m_dwDeviceID, 0u);
    EXPECT_EQ(record.m_hLine, 0u);
    EXPECT_EQ(record.m_hItem, nullptr);
    EXPECT_EQ(record.m_strDisplayName, "");
    EXPECT_EQ(record.m_pAddressCaps, nullptr);
    EXPECT_EQ(record.m_strProviderInfo, "Talvora ZR-40N");
    EXPECT_EQ(record.m_strLineName, "EXT 201");
    EXPECT_EQ(record.m_dwPermanentLineID, 0x3001u);
    EXPECT_EQ(record.m_dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(CRangeRegistry::ReadRangeValue(nullptr, nullptr), -1);
    DWORD dw = 7;
    EXPECT_EQ(CRangeRegistry::ReadRangeValue("", &dw), -1);
    EXPECT_EQ(CRangeRegistry::ReadRangeValue("CO_LOW", &dw), -1);
    EXPECT_EQ(dw, 7u);
    values.SetDword("CO_LOW", 9);
    EXPECT_EQ(CRangeRegistry::ReadRangeValue("CO_LOW", &dw), 0);
    EXPECT_EQ(dw, 9u);
}

}  // namespace
