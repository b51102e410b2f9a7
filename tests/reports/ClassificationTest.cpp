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
    const CLineDevCaps& record = *pRecord;
    return record.IsExtLine() ? "EXT" : record.IsCoLine() ? "CO" : "ETC";
}

void ExpectGroups(std::initializer_list<std::pair<DWORD, const char*>> cases) {
    for (const auto& [dwID, pszGroup] : cases) EXPECT_EQ(Group(Checked(dwID)), pszGroup) << std::hex << dwID;
}

TEST(Classification, DefaultRangesAreHalfOpenAndUseTheLow16Bits) {
    CRangeValues values;  // no key at all
    EXPECT_EQ(Ranges(Checked(0x1000)), (std::vector<int>{4096, 12288, 12288, 28672}));
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

TEST(Classification, StringAndHighBitValuesAndValuesChangedBetweenRecords) {
    CRangeValues values;
    const auto pBefore = Checked(0);
    values.SetDword("CO_LOW", 5);
    values.SetDword("CO_HIGH", 6);
    values.SetString("EXT_LOW", "100");  // falls back to its default alone
    values.SetDword("EXT_HIGH", 7);
    EXPECT_EQ(Ranges(Checked(0x3000)), (std::vector<int>{5, 6, 12288, 7}));
    ExpectGroups({{5, "CO"}, {6, "ETC"}, {0x3000, "ETC"}});                     // EXT is [12288, 7): empty
    EXPECT_EQ(Ranges(pBefore), (std::vector<int>{4096, 12288, 12288, 28672}));  // built before: keeps them

    values.Clear();
    values.SetDword("CO_HIGH", 0xFFFFFFFF);  // -1: the CO range is empty
    values.SetDword("EXT_LOW", 0x80000000);  // most negative: every key is above it
    EXPECT_EQ(Checked(0)->m_nCoHigh, -1);
    ExpectGroups({{0x0000, "EXT"}, {0x6FFF, "EXT"}, {0x7000, "ETC"}});
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
    auto img = CStructImage::Of<LINEDEVCAPS>();
    snaptest::AddRaw(img, offsetof(LINEDEVCAPS, dwProviderInfoSize), std::string("Talvora ZR-40\0junk", 18));
    EXPECT_TRUE(SnapshotOf<CLineDevCaps>(img).CheckMakerProvider());
}

}  // namespace
