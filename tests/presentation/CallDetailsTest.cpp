// The ten detail items under a call item: their exact texts, what a refresh
// keeps and what it changes.
#include <gtest/gtest.h>

#include <cstring>

#include "monitor/MonitorRig.h"

namespace {

using Texts = std::vector<std::string>;

constexpr HCALL kCall = 0x901;

// A device-specific part of cbPart bytes whose DID/DDI fields (length at 12,
// offset from the start of LINECALLINFO at 16) point at `digits` placed
// `cbDigitsAt` bytes into the part. dwDidOffsetDelta moves the offset.
void AddDidPart(CStructImage& img, size_t cbPart, const std::string& digits, size_t cbDigitsAt,
                DWORD dwLength, long lDidOffsetDelta = 0) {
    std::vector<BYTE> part(cbPart, 0xEE);
    if (cbDigitsAt + digits.size() <= cbPart) std::memcpy(part.data() + cbDigitsAt, digits.data(), digits.size());
    img.AddBytes(offsetof(LINECALLINFO, dwDevSpecificSize), part.data(), part.size());
    const DWORD dwPartOffset = img.GetDword(offsetof(LINECALLINFO, dwDevSpecificOffset));
    if (cbPart >= 20) {
        img.SetDword(dwPartOffset + 12, dwLength);
        img.SetDword(dwPartOffset + 16, static_cast<DWORD>(static_cast<long>(dwPartOffset + cbDigitsAt) + lDidOffsetDelta));
    }
}

class CallDetailsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pLine = rig.AddLine(ELineGroup::Ext, 0, "201");
        rig.FillTrees();
        m_hCall = rig.m_extTree.InsertItem("NEW", m_pLine->m_hItem);
    }
    Texts Details() const { return rig.m_extTree.GetChildTexts(m_hCall); }
    void Update() { rig.m_monitor.UpdateCallDetails(kCall, &rig.m_extTree, m_hCall); }
    // Builds the details afresh for a call of this LINECALLINFO; returns them.
    Texts BuildFor(const CStructImage& img) {
        rig.m_tapi.m_callInfo[kCall] = img;
        if (m_hCall) rig.m_extTree.DeleteItem(m_hCall);
        m_hCall = rig.m_extTree.InsertItem("NEW", m_pLine->m_hItem);
        Update();
        return Details();
    }

    CMonitorRig rig;
    CLineDevCaps* m_pLine = nullptr;
    HTREEITEM m_hCall = nullptr;
};

TEST_F(CallDetailsTest, FirstBuildWritesTheTenLabelsAndExpandsTheCall) {
    CStructImage img = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "201");
    LINECALLINFO* p = img.As<LINECALLINFO>();
    p->dwOrigin = LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND;
    p->dwReason = LINECALLREASON_DIRECT;
    p->dwTrunk = 3;
    img.AddText(offsetof(LINECALLINFO, dwConnectedIDSize), "305");
    img.AddText(offsetof(LINECALLINFO, dwRedirectionIDSize), "306");
    img.AddText(offsetof(LINECALLINFO, dwRedirectingIDSize), "307");
    SetClock(2004, 1, 5, 9, 5, 3, 7);

    EXPECT_EQ(BuildFor(img), (Texts{
                                 "Create Time        = 2004/01/05 09:05:03:007",
                                 "Caller ID    = ",
                                 "Called ID    = 201",
                                 "Connected ID = 305",
                                 "Trunk = 3",
                                 "Origin = EXTERNAL,INBOUND",
                                 "Reason = DIRECT",
                                 "RedirectionID = 306",
                                 "RedirectingID = 307",
                                 "DID/DDI = ",
                             }));
    EXPECT_TRUE(rig.m_extTree.IsExpanded(m_hCall));
    // The details carry no item data: only call items do.
    for (HTREEITEM h = rig.m_extTree.GetChildItem(m_hCall); h; h = rig.m_extTree.GetNextSiblingItem(h))
        EXPECT_EQ(rig.m_extTree.GetItemData(h), 0u);
}

TEST_F(CallDetailsTest, ValuesOfTrunkOriginAndIdentifiers) {
    CStructImage img = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    img.As<LINECALLINFO>()->dwTrunk = 0xFFFFFFFF;
    EXPECT_EQ(BuildFor(img)[4], "Trunk = ");
    EXPECT_EQ(BuildFor(img)[5], "Origin = ");
    img.As<LINECALLINFO>()->dwTrunk = 0x80000000;
    EXPECT_EQ(BuildFor(img)[4], "Trunk = -2147483648");
    img.As<LINECALLINFO>()->dwTrunk = 0;
    EXPECT_EQ(BuildFor(img)[4], "Trunk = 0");

    // A caller ID ends at its first NUL.
    CStructImage withNul = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    const char caller[] = {'2', '0', '1', '\0', '9', '9'};
    withNul.AddBytes(offsetof(LINECALLINFO, dwCallerIDSize), caller, sizeof caller);
    EXPECT_EQ(BuildFor(withNul)[1], "Caller ID    = 201");
}

TEST_F(CallDetailsTest, DidDdiNeedsSixtyBytesAndDigitsInsideThePart) {
    CStructImage img = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    AddDidPart(img, 60, "0312", 40, 4);
    EXPECT_EQ(BuildFor(img)[9], "DID/DDI = 0312");

    CStructImage shortPart = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    AddDidPart(shortPart, 59, "0312", 40, 4);
    EXPECT_EQ(BuildFor(shortPart)[9], "DID/DDI = ");

    // Digits that end at a NUL before their length.
    CStructImage nul = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    AddDidPart(nul, 64, std::string("03\0" "9", 4), 40, 4);
    EXPECT_EQ(BuildFor(nul)[9], "DID/DDI = 03");

    // Offsets and lengths that reach outside the part give nothing, and read
    // nothing outside it (the sanitizers watch).
    CStructImage tooLong = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    AddDidPart(tooLong, 60, "0312", 56, 8);
    EXPECT_EQ(BuildFor(tooLong)[9], "DID/DDI = ");
    CStructImage before = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    AddDidPart(before, 60, "0312", 0, 4, -8);
    EXPECT_EQ(BuildFor(before)[9], "DID/DDI = ");
    CStructImage huge = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "", "");
    AddDidPart(huge, 60, "0312", 40, 0xFFFFFFF0u);
    EXPECT_EQ(BuildFor(huge)[9], "DID/DDI = ");
}

TEST_F(CallDetailsTest, RefreshKeepsTheCreationTimeAndTheUsersCollapse) {
    rig.m_tapi.m_callInfo[kCall] = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "301", "");
    SetClock(2004, 1, 5, 13, 7, 9, 45);
    Update();
    rig.m_extTree.Expand(m_hCall, TVE_COLLAPSE);

    CStructImage later = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "301", "201");
    later.As<LINECALLINFO>()->dwTrunk = 12;
    later.As<LINECALLINFO>()->dwReason = LINECALLREASON_TRANSFER;
    rig.m_tapi.m_callInfo[kCall] = later;
    SetClock(2004, 1, 5, 13, 7, 14, 45);
    Update();

    const Texts details = Details();
    ASSERT_EQ(details.size(), 10u);
    EXPECT_EQ(details[0], "Create Time        = 2004/01/05 13:07:09:045");
    EXPECT_EQ(details[2], "Called ID    = 201");
    EXPECT_EQ(details[4], "Trunk = 12");
    EXPECT_EQ(details[6], "Reason = TRANSFER");
    EXPECT_FALSE(rig.m_extTree.IsExpanded(m_hCall));

    // A refresh whose fetch fails changes nothing.
    rig.m_tapi.m_callInfo.erase(kCall);
    Update();
    EXPECT_EQ(Details(), details);
}

TEST_F(CallDetailsTest, AFailedFirstFetchLeavesTheCallBareUntilOneSucceeds) {
    SetClock(2004, 1, 5, 13, 7, 9, 45);
    Update();
    EXPECT_FALSE(rig.m_extTree.ItemHasChildren(m_hCall));
    EXPECT_EQ(rig.m_tapi.Count("lineGetCallInfo"), 1u);

    rig.m_tapi.m_callInfo[kCall] = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "301", "");
    SetClock(2004, 1, 5, 13, 7, 12, 500);
    Update();
    const Texts details = Details();
    ASSERT_EQ(details.size(), 10u);
    EXPECT_EQ(details[0], "Create Time        = 2004/01/05 13:07:12:500");
    EXPECT_EQ(details[1], "Caller ID    = 301");
}

TEST_F(CallDetailsTest, ARefreshWithMissingDetailsStopsAtTheGap) {
    rig.m_tapi.m_callInfo[kCall] = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "301", "");
    Update();
    // Someone removed the last four details: the refresh rewrites what is there.
    for (int i = 0; i < 4; ++i) {
        HTREEITEM hLast = rig.m_extTree.GetChildItem(m_hCall);
        while (rig.m_extTree.GetNextSiblingItem(hLast)) hLast = rig.m_extTree.GetNextSiblingItem(hLast);
        rig.m_extTree.DeleteItem(hLast);
    }
    rig.m_tapi.m_callInfo[kCall] = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "302", "");
    Update();
    const Texts details = Details();
    ASSERT_EQ(details.size(), 6u);
    EXPECT_EQ(details[1], "Caller ID    = 302");
}

}  // namespace
