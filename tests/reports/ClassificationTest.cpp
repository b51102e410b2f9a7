// Which tree a line goes to: the maker's provider text, the low 16 bits of the
// permanent line ID and the four range values, read afresh for every record
// (natively from the values file, under Wine from the real registry).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "support/TestFiles.h"

using snaptest::CExactBuffer;
using snaptest::SnapshotOf;

namespace {

constexpr const char* kMaker = "Talvora ZR-40N";

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

std::string GroupOf(DWORD dwPermanentLineID, const std::string& strProvider = kMaker) {
    return Group(*MakeRecord(strProvider, dwPermanentLineID));
}

void ExpectGroups(std::initializer_list<std::pair<DWORD, const char*>> cases) {
    for (const auto& [dwID, pszGroup] : cases) EXPECT_EQ(GroupOf(dwID), pszGroup) << std::hex << dwID;
}

TEST(Classification, DefaultRangesAreHalfOpenAndUseTheLow16Bits) {
    CRangeValues values;  // no key at all
    const auto pRecord = MakeRecord(kMaker, 0x1000);
    EXPECT_EQ(pRecord->m_nCoLow, 4096);
    EXPECT_EQ(pRecord->m_nCoHigh, 12288);
    EXPECT_EQ(pRecord->m_nExtLow, 12288);
    EXPECT_EQ(pRecord->m_nExtHigh, 28672);
    ExpectGroups({{0x0FFF, "ETC"},
                  {0x1000, "CO"},
                  {0x2FFF, "CO"},
                  {0x3000, "EXT"},
                  {0x6FFF, "EXT"},
                  {0x7000, "ETC"},
                  {0xFFFF, "ETC"},
                  {0x00013000, "EXT"},
                  {0xFFFF1000, "CO"},
                  {0x00010FFF, "ETC"}});
    EXPECT_EQ(GroupOf(0x3000, "Other Provider"), "ETC");
}

// Under Wine both builds also find the key in either view of 64-bit Windows:
// the 32-bit view, where the maker's tools write it, and the 64-bit view.
TEST(Classification, RangeValuesFromTheKey) {
    std::vector<ERegView> views = {ERegView::kOwn};
#ifdef _WIN32
    if (CRangeValues::HasTwoViews()) views.insert(views.end(), {ERegView::k32, ERegView::k64});
#endif
    for (ERegView view : views) {
        SCOPED_TRACE(static_cast<int>(view));
        CRangeValues values;
        values.SetDword("CO_LOW", 0, view);
        values.SetDword("CO_HIGH", 0x10000, view);
        values.SetDword("EXT_HIGH", 0x6000, view);
        // 0x3000 lies in both ranges: EXT wins.
        ExpectGroups({{0x0000, "CO"}, {0xFFFF, "CO"}, {0x3000, "EXT"}, {0x5FFF, "EXT"}, {0x6000, "CO"}});
    }
}

TEST(Classification, AStringValueFallsBackToItsDefaultAlone) {
    CRangeValues values;
    values.SetDword("CO_LOW", 5);
    values.SetDword("CO_HIGH", 6);
    values.SetString("EXT_LOW", "100");
    values.SetDword("EXT_HIGH", 7);
    const auto pRecord = MakeRecord(kMaker, 0x3000);
    EXPECT_EQ(pRecord->m_nCoLow, 5);
    EXPECT_EQ(pRecord->m_nExtLow, 12288);
    EXPECT_EQ(pRecord->m_nExtHigh, 7);
    EXPECT_EQ(Group(*pRecord), "ETC");  // EXT is [12288, 7): empty
    ExpectGroups({{5, "CO"}, {6, "ETC"}});
}

TEST(Classification, HighBitValuesAreNegativeBoundsAndAreReadAfreshForEveryRecord) {
    CRangeValues values;
    const auto pBefore = MakeRecord(kMaker, 0x0000);
    values.SetDword("CO_HIGH", 0xFFFFFFFF);
    const auto pRecord = MakeRecord(kMaker, 0x1000);
    EXPECT_EQ(pRecord->m_nCoHigh, -1);
    EXPECT_EQ(Group(*pRecord), "ETC");     // the CO range is empty
    EXPECT_EQ(pBefore->m_nCoHigh, 12288);  // built with the default; keeps it

    values.Clear();
    values.SetDword("EXT_LOW", 0x80000000);  // most negative: every key is above it
    ExpectGroups({{0x0000, "EXT"}, {0x6FFF, "EXT"}, {0x7000, "ETC"}});
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
        auto record = SnapshotOf<CLineDevCaps>(CFakeTapi::MakeDevCaps(pszProvider, 0x0550, "Line"));
        EXPECT_FALSE(record.CheckMakerProvider()) << pszProvider;
        EXPECT_FALSE(record.m_bMakerLine) << pszProvider;
        EXPECT_EQ(Group(record), "ETC") << pszProvider;
        EXPECT_FALSE(record.HasEtcName()) << pszProvider;
    }
    // Texts end at their first NUL: what follows it does not spoil the match.
    auto img = CStructImage::Of<LINEDEVCAPS>();
    const std::string text("Talvora ZR-40\0junk", 18);
    img.AddBytes(offsetof(LINEDEVCAPS, dwProviderInfoSize), text.data(), text.size());
    EXPECT_TRUE(SnapshotOf<CLineDevCaps>(img).CheckMakerProvider());
}

TEST(Classification, EtcNamesForMakerLinesFrom0500To05FF) {
    CRangeValues values;
    for (DWORD dwID : {0x0500u, 0x0550u, 0x05FFu, 0xABCD0550u}) {
        EXPECT_TRUE(MakeRecord("Talvora ZR-40N 1st Party", dwID)->HasEtcName()) << std::hex << dwID;
    }
    EXPECT_EQ(GroupOf(0x0550), "ETC");
    EXPECT_FALSE(MakeRecord(kMaker, 0x04FF)->HasEtcName());
    EXPECT_FALSE(MakeRecord(kMaker, 0x0600)->HasEtcName());
}

TEST(LineRecord, StartsOutsideAnyGroupUntilChecked) {
    CRangeValues values;
    auto record = SnapshotOf<CLineDevCaps>(CFakeTapi::MakeDevCaps(kMaker, 0x3001, "EXT 201"));
    EXPECT_FALSE(record.m_bMakerLine);  // until CheckMakerProvider
    EXPECT_EQ(record.m_hItem, nullptr);
    EXPECT_EQ(record.m_pAddressCaps, nullptr);
}

}  // namespace
