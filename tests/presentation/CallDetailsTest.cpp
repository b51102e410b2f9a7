// The ten detail items under a call item: their exact texts, what a refresh
// keeps and what it changes. (The DID/DDI reading rules are tested on the
// LINECALLINFO snapshot itself.)
#include <gtest/gtest.h>

#include <cstring>

#include "support/MonitorRig.h"

namespace {

using Texts = std::vector<std::string>;

constexpr HCALL kCall = 0x901;

class CallDetailsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pLine = rig.AddLine(ELineGroup::Ext, 0, "201");
        rig.FillTrees();
        m_hCall = rig.m_extTree.InsertItem("NEW", m_pLine->m_hItem);
    }
    Texts Details() const { return rig.m_extTree.GetChildTexts(m_hCall); }
    // Updates the details from this LINECALLINFO (none: the fetch fails).
    void Update(const CStructImage* pInfo) {
        if (pInfo)
            rig.m_tapi.m_callInfo[kCall] = *pInfo;
        else
            rig.m_tapi.m_callInfo.erase(kCall);
        rig.m_monitor.UpdateCallDetails(kCall, &rig.m_extTree, m_hCall);
    }
    CStructImage Info(const std::string& strCaller, const std::string& strCalled) const {
        return CFakeTapi::MakeCallInfo(m_pLine->m_hLine, strCaller, strCalled);
    }

    CMonitorRig rig;
    CLineDevCaps* m_pLine = nullptr;
    HTREEITEM m_hCall = nullptr;
};

// A first fetch that fails leaves the call bare; the first that succeeds
// writes the ten labels and expands the call.
TEST_F(CallDetailsTest, FirstBuildWritesTheTenLabelsAndExpandsTheCall) {
    Update(nullptr);
    EXPECT_FALSE(rig.m_extTree.ItemHasChildren(m_hCall));
    EXPECT_EQ(rig.m_tapi.Count("lineGetCallInfo"), 1u);
    CStructImage img = Info("", "201");
    LINECALLINFO* p = img.As<LINECALLINFO>();
    p->dwOrigin = LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND;
    p->dwReason = LINECALLREASON_DIRECT;
    p->dwTrunk = 3;
    img.AddText(offsetof(LINECALLINFO, dwConnectedIDSize), "305");
    img.AddText(offsetof(LINECALLINFO, dwRedirectionIDSize), "306");
    img.AddText(offsetof(LINECALLINFO, dwRedirectingIDSize), "307");
    // DID/DDI: length at byte 12 and offset at 16 of a part of 60 bytes.
    std::vector<BYTE> part(60, 0xEE);
    std::memcpy(part.data() + 40, "0312", 4);
    img.AddBytes(offsetof(LINECALLINFO, dwDevSpecificSize), part.data(), part.size());
    const DWORD dwPart = img.GetDword(offsetof(LINECALLINFO, dwDevSpecificOffset));
    img.SetDword(dwPart + 12, 4);
    img.SetDword(dwPart + 16, dwPart + 40);
    SetClock(2004, 1, 5, 9, 5, 3, 7);

    Update(&img);
    EXPECT_EQ(Details(), (Texts{
                             "Create Time        = 2004/01/05 09:05:03:007",
                             "Caller ID    = ",
                             "Called ID    = 201",
                             "Connected ID = 305",
                             "Trunk = 3",
                             "Origin = EXTERNAL,INBOUND",
                             "Reason = DIRECT",
                             "RedirectionID = 306",
                             "RedirectingID = 307",
                             "DID/DDI = 0312",
                         }));
    EXPECT_TRUE(rig.m_extTree.IsExpanded(m_hCall));
    // The details carry no item data: only call items do.
    for (HTREEITEM h = rig.m_extTree.GetChildItem(m_hCall); h; h = rig.m_extTree.GetNextSiblingItem(h))
        EXPECT_EQ(rig.m_extTree.GetItemData(h), 0u);
}

TEST_F(CallDetailsTest, RefreshKeepsTheCreationTimeAndTheUsersCollapse) {
    const CStructImage first = Info("301", "");
    SetClock(2004, 1, 5, 13, 7, 9, 45);
    Update(&first);
    rig.m_extTree.Expand(m_hCall, TVE_COLLAPSE);

    CStructImage later = Info("301", "201");
    later.As<LINECALLINFO>()->dwTrunk = 0xFFFFFFFF;
    later.As<LINECALLINFO>()->dwReason = LINECALLREASON_TRANSFER;
    SetClock(2004, 1, 5, 13, 7, 14, 45);
    Update(&later);

    const Texts details = Details();
    ASSERT_EQ(details.size(), 10u);
    EXPECT_EQ(details[0], "Create Time        = 2004/01/05 13:07:09:045");
    EXPECT_EQ(details[2], "Called ID    = 201");
    EXPECT_EQ(details[4], "Trunk = ");
    EXPECT_EQ(details[6], "Reason = TRANSFER");
    EXPECT_FALSE(rig.m_extTree.IsExpanded(m_hCall));

    // A refresh whose fetch fails changes nothing.
    Update(nullptr);
    EXPECT_EQ(Details(), details);

    // Someone removed the last four details: the refresh rewrites what is there.
    for (int i = 0; i < 4; ++i) {
        HTREEITEM hLast = rig.m_extTree.GetChildItem(m_hCall);
        while (rig.m_extTree.GetNextSiblingItem(hLast)) hLast = rig.m_extTree.GetNextSiblingItem(hLast);
        rig.m_extTree.DeleteItem(hLast);
    }
    const CStructImage third = Info("302", "");
    Update(&third);
    ASSERT_EQ(Details().size(), 6u);
    EXPECT_EQ(Details()[1], "Caller ID    = 302");
}

}  // namespace
