// Which tree a line goes to: the maker's provider text, the low 16 bits of the
// permanent line ID and the four range values, read afresh for every record
// (natively from the values file, under Wine from the real registry).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "support/TestFiles.h"

using snaptest::SnapshotOf;

namespace {

constexpr const char* kMaker = "Talvora ZR-40N";

std::unique_ptr<CLineDevCaps> Checked(DWORD dwPermanentLineID, const std::string& strProvider = kMaker) {
    snaptest::CExactBuffer buf(snaptest::WithSizes(CFakeTapi::MakeDevCaps(strProvider, dwPermanentLineID, "Line")));
    auto pRecord = std::make_unique<CLineDevCaps>(buf.Data());
    pRecord->CheckMakerProvider();
    return pRecord;
}

std::vector<int> Ranges(const std::unique_ptr<CLineDevCaps>& pRecord) {
    return {pRecord->m_nCoLow, pRecord->m_nCoHigh, pRecord->m_nExtLow, pRecord->m_nExtHigh};
}

// The tree start-up puts the line in.
std::string Group(const std::unique_ptr<CLineDevCaps>& pRecord) {
    return pRecord->IsExtLine() ? "EXT" : pRecord->IsCoLine() ? "CO" : "ETC";
}

// Pairs of a permanent line ID (hex) and the tree of the maker's line.
void ExpectGroups(const std::string& strCases) {
    std::istringstream cases(strCases);
    DWORD dwID = 0;
    for (std::string strGroup; cases >> std::hex >> dwID >> strGroup;)
        EXPECT_EQ(Group(Checked(dwID)), strGroup) << std::hex << dwID;
    EXPECT_TRUE(cases.eof()) << strCases;
}

TEST(Classification, DefaultRangesAreHalfOpenAndUseTheLow16Bits) {
    CRangeValues values;  // no key at all
    EXPECT_EQ(Ranges(Checked(0x1000)), (std::vector<int>{4096, 12288, 12288, 28672}));
    ExpectGroups("FFF ETC 1000 CO 2FFF CO 3000 EXT 6FFF EXT 7000 ETC FFFF ETC 13000 EXT FFFF1000 CO 10FFF ETC");
}

// The values are read afresh for every record; one that is no DWORD falls
// back to its default alone. (The registry views: PlatformTest.)
TEST(Classification, RangeValuesFromTheKeyReadForEachRecord) {
    CRangeValues values;
    const auto pBefore = Checked(0);
    values.SetDword("CO_LOW", 0);
    values.SetDword("CO_HIGH", 0x10000);
    values.SetDword("EXT_HIGH", 0x6000);
    // 0x3000 lies in both ranges: EXT wins.
    ExpectGroups("0 CO FFFF CO 3000 EXT 5FFF EXT 6000 CO");
    EXPECT_EQ(Ranges(pBefore), (std::vector<int>{4096, 12288, 12288, 28672}));  // built before: keeps them

    values.Clear();
    values.SetDword("CO_LOW", 5);
    values.SetDword("CO_HIGH", 6);
    values.SetString("EXT_LOW", "100");
    values.SetDword("EXT_HIGH", 7);
    EXPECT_EQ(Ranges(Checked(0x3000)), (std::vector<int>{5, 6, 12288, 7}));
    ExpectGroups("5 CO 6 ETC 3000 ETC");  // EXT is [12288, 7): empty

    values.Clear();
    values.SetDword("CO_HIGH", 0xFFFFFFFF);  // -1: the CO range is empty
    values.SetDword("EXT_LOW", 0x80000000);  // most negative: every key is above it
    EXPECT_EQ(Checked(0)->m_nCoHigh, -1);
    ExpectGroups("0 EXT 6FFF EXT 7000 ETC");
}

TEST(Classification, OnlyTheWholeProviderTextCountsAndEtcNamesFrom0500To05FF) {
    CRangeValues values;
    for (const char* pszProvider : {"Talvora ZR-40", "Talvora ZR-40N", "Talvora ZR-40N 1st Party"}) {
        EXPECT_TRUE(Checked(0x3000, pszProvider)->m_bMakerLine) << pszProvider;
        EXPECT_EQ(Group(Checked(0x3000, pszProvider)), "EXT") << pszProvider;
        for (DWORD dwID : {0x0500u, 0x0550u, 0x05FFu, 0xABCD0550u}) {
            EXPECT_TRUE(Checked(dwID, pszProvider)->HasEtcName()) << std::hex << dwID;
        }
    }
    EXPECT_EQ(Group(Checked(0x0550)), "ETC");
    EXPECT_FALSE(Checked(0x04FF)->HasEtcName());
    EXPECT_FALSE(Checked(0x0600)->HasEtcName());
    for (const char* pszProvider :
         {"Talvora ZR-40n", "talvora ZR-40", "Talvora ZR-4", "Talvora ZR-40N ", "Talvora ZR-40N 1st", " Talvora ZR-40",
          "Talvora ZR-40N 1st Party.", "", "Other Provider"}) {
        CLineDevCaps record = SnapshotOf<CLineDevCaps>(CFakeTapi::MakeDevCaps(pszProvider, 0x0550, "Line"));
        EXPECT_FALSE(record.m_bMakerLine);  // until checked, and then too
        EXPECT_EQ(record.m_hItem, nullptr);
        EXPECT_EQ(record.m_pAddressCaps, nullptr);
        EXPECT_FALSE(record.CheckMakerProvider()) << pszProvider;
        EXPECT_FALSE(record.m_bMakerLine) << pszProvider;
        EXPECT_FALSE(record.HasEtcName()) << pszProvider;
        EXPECT_EQ(Group(Checked(0x3000, pszProvider)), "ETC") << pszProvider;
    }
    // Texts end at their first NUL: what follows it does not spoil the match.
    EXPECT_TRUE(SnapshotOf<CLineDevCaps>("LINEDEVCAPS\nProviderInfo = \"Talvora ZR-40\\0junk\"").CheckMakerProvider());
}

}  // namespace
