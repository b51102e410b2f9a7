// The monitor's side of the views: filling the trees with labelled, sorted
// lines, and the commands of the menus.
#include <gtest/gtest.h>

#include "support/MonitorInternals.h"
#include "support/MonitorRig.h"

namespace {

using Texts = std::vector<std::string>;

TEST(CommandsFill, LabelsFollowTheGroupsRulesAndAreSortedAsText) {
    CMonitorRig rig;
    rig.AddLine(ELineGroup::Ext, 0, "99");
    rig.AddLine(ELineGroup::Ext, 1, "1000");
    CLineDevCaps* p201 = rig.AddLine(ELineGroup::Ext, 2, "201", "Reception");
    rig.AddLine(ELineGroup::Co, 3, "21");
    rig.AddLine(ELineGroup::Co, 4, "21", "Sales");
    rig.AddLine(ELineGroup::Co, 5, "12345");
    rig.AddLine(ELineGroup::Etc, 6, "Fax", "", "Fax");
    rig.AddLine(ELineGroup::Etc, 7, "305", "Lobby", "Modem");
    rig.AddLine(ELineGroup::Etc, 8, "", "", "Printer");
    // Without address capabilities the address is empty.
    CLineDevCaps* pBare = rig.AddLine(ELineGroup::Co, 9, "", "Night", "", true, false);
    // Until its tree is registered, a group fills nothing.
    rig.m_monitor.SetExtTree(nullptr);
    rig.m_monitor.FillExtTree();
    EXPECT_EQ(rig.m_extTree.GetCount(), 0u);
    rig.m_monitor.SetExtTree(&rig.m_extTree);
    rig.FillTrees();

    const HTREEITEM hExtRoot = rig.m_extTree.GetChildItem(TVI_ROOT);
    EXPECT_EQ(rig.m_extTree.GetChildTexts(TVI_ROOT), (Texts{"EXT"}));
    EXPECT_EQ(rig.m_extTree.GetChildTexts(hExtRoot), (Texts{"1000", "201 Reception", "99"}));
    EXPECT_EQ(rig.m_coTree.GetChildTexts(TVI_ROOT), (Texts{"CO"}));
    EXPECT_EQ(rig.m_coTree.GetChildTexts(rig.m_coTree.GetChildItem(TVI_ROOT)),
              (Texts{" Night", "0021", "0021 Sales", "12345"}));
    EXPECT_EQ(rig.m_etcTree.GetChildTexts(TVI_ROOT), (Texts{"ETC"}));
    EXPECT_EQ(rig.m_etcTree.GetChildTexts(rig.m_etcTree.GetChildItem(TVI_ROOT)),
              (Texts{"Fax", "Modem 305 Lobby", "Printer"}));
    EXPECT_TRUE(rig.m_extTree.IsExpanded(hExtRoot));

    // Every line knows its item, and the item leads back to the line.
    EXPECT_EQ(rig.m_extTree.GetItemText(p201->m_hItem), "201 Reception");
    EXPECT_EQ(Internals(rig.m_monitor).m_extByItem.at(p201->m_hItem), p201);
    EXPECT_EQ(Internals(rig.m_monitor).m_coByItem.at(pBare->m_hItem), pBare);
    EXPECT_EQ(Internals(rig.m_monitor).m_extByItem.size(), 3u);
    EXPECT_EQ(Internals(rig.m_monitor).m_coByItem.size(), 4u);
    EXPECT_EQ(Internals(rig.m_monitor).m_etcByItem.size(), 3u);
    // Line items carry no data.
    EXPECT_EQ(rig.m_extTree.GetItemData(p201->m_hItem), 0u);

    // A refill after the view emptied its tree leaves no stale items behind.
    rig.m_extTree.DeleteItem(TVI_ROOT);
    rig.m_monitor.FillExtTree();
    EXPECT_EQ(Internals(rig.m_monitor).m_extByItem.size(), 3u);
    EXPECT_EQ(rig.m_extTree.GetCount(), 4u);
}

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pExt = rig.AddLine(ELineGroup::Ext, 0, "201");
        m_pClosed = rig.AddLine(ELineGroup::Ext, 1, "202", "", "", false);
        m_pCo = rig.AddLine(ELineGroup::Co, 2, "21");
        rig.FillTrees();
        m_hCall = rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501, "301");
        m_hCoCall = rig.NewCall(ELineGroup::Co, m_pCo->m_hLine, 0x701, "302");
        rig.m_tapi.ClearCalls();
    }
    CMonitorRig rig;
    CLineDevCaps* m_pExt = nullptr;
    CLineDevCaps* m_pClosed = nullptr;
    CLineDevCaps* m_pCo = nullptr;
    HTREEITEM m_hCall = nullptr;
    HTREEITEM m_hCoCall = nullptr;
};

TEST_F(CommandsTest, MakeCallOnAnExtLine) {
    EXPECT_EQ(rig.m_monitor.MakeCall(m_pExt->m_hItem, "301"), 0);
    const auto calls = rig.m_tapi.CallsOf("lineMakeCall");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], m_pExt->m_hLine);
    EXPECT_EQ(calls[0].args[1], 1u);  // the call-handle out-parameter is given
    EXPECT_EQ(calls[0].strText, "301");
    EXPECT_EQ(calls[0].args[3], 0u);  // country code
    EXPECT_EQ(calls[0].args[4], 0u);  // no call parameters

    // Nothing typed: an empty text, never a null pointer.
    rig.m_monitor.MakeCall(m_pExt->m_hItem, "");
    EXPECT_EQ(rig.m_tapi.CallsOf("lineMakeCall")[1].args[2], 1u);
    EXPECT_EQ(Internals(rig.m_monitor).m_dwMakeCallRequest, 2u);  // the newest request is awaited
}

TEST_F(CommandsTest, MakeCallThatFailsOrIsNotOnALineStoresNothing) {
    // A line whose lineOpen failed: called with handle 0, refused.
    EXPECT_EQ(rig.m_monitor.MakeCall(m_pClosed->m_hItem, "301"), 0);
    ASSERT_EQ(rig.m_tapi.Count("lineMakeCall"), 1u);
    EXPECT_EQ(rig.m_tapi.CallsOf("lineMakeCall")[0].args[0], 0u);
    EXPECT_EQ(Internals(rig.m_monitor).m_dwMakeCallRequest, 0u);

    // Not an EXT line item: the call item, the root, a CO line, nothing.
    for (HTREEITEM h : {m_hCall, rig.m_extTree.GetChildItem(TVI_ROOT), m_pCo->m_hItem, static_cast<HTREEITEM>(nullptr)})
        EXPECT_EQ(rig.m_monitor.MakeCall(h, "301"), 0);
    EXPECT_EQ(rig.m_tapi.Count("lineMakeCall"), 1u);
}

TEST_F(CommandsTest, AnswerOnlyOfferedOrAcceptedCalls) {
    rig.m_tapi.m_callStatus[0x501] = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED);
    EXPECT_FALSE(rig.m_monitor.CanAnswer(m_hCall));
    EXPECT_EQ(rig.m_monitor.Answer(m_hCall), -1);
    EXPECT_EQ(rig.m_tapi.Count("lineAnswer"), 0u);

    rig.m_tapi.m_callStatus[0x501] = CFakeTapi::MakeCallStatus(LINECALLSTATE_ACCEPTED);
    EXPECT_TRUE(rig.m_monitor.CanAnswer(m_hCall));
    EXPECT_EQ(rig.m_monitor.Answer(m_hCall), 0);
    const auto calls = rig.m_tapi.CallsOf("lineAnswer");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<DWORD_PTR>{0x501, 0, 0}));
    EXPECT_GT(Internals(rig.m_monitor).m_dwAnswerRequest, 0u);

    // TAPI refuses: nothing stored, but the command ran.
    Internals(rig.m_monitor).m_dwAnswerRequest = 0;
    rig.m_tapi.m_callStatus[0x501] = CFakeTapi::MakeCallStatus(LINECALLSTATE_OFFERING);
    rig.m_tapi.OnAnswer = [](HCALL, LPCSTR, DWORD) { return LINEERR_INVALCALLSTATE; };
    EXPECT_EQ(rig.m_monitor.Answer(m_hCall), 0);
    EXPECT_EQ(Internals(rig.m_monitor).m_dwAnswerRequest, 0u);

    // Items that are not calls, and a call whose status cannot be fetched.
    rig.m_tapi.ClearCalls();
    EXPECT_EQ(rig.m_monitor.Answer(m_pExt->m_hItem), -1);
    EXPECT_EQ(rig.m_monitor.Answer(rig.m_extTree.GetChildItem(m_hCall)), -1);
    EXPECT_EQ(rig.m_tapi.Count("lineGetCallStatus"), 0u);
    rig.m_tapi.m_callStatus.erase(0x501);
    EXPECT_EQ(rig.m_monitor.Answer(m_hCall), -1);
    EXPECT_EQ(rig.m_tapi.Count("lineAnswer"), 0u);
}

TEST_F(CommandsTest, DropAnyCallWhoseStatusCanBeFetched) {
    rig.m_tapi.m_callStatus[0x501] = CFakeTapi::MakeCallStatus(LINECALLSTATE_IDLE);
    EXPECT_TRUE(rig.m_monitor.CanDrop(m_hCall));
    EXPECT_EQ(rig.m_monitor.Drop(m_hCall), 0);
    rig.m_tapi.m_callStatus[0x501] = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED);
    EXPECT_EQ(rig.m_monitor.Drop(m_hCall), 0);
    const auto calls = rig.m_tapi.CallsOf("lineDrop");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args, (std::vector<DWORD_PTR>{0x501, 0, 0}));
    EXPECT_EQ(Internals(rig.m_monitor).m_dwDropRequest, 2u);

    rig.m_tapi.m_callStatus.erase(0x501);
    EXPECT_FALSE(rig.m_monitor.CanDrop(m_hCall));
    EXPECT_EQ(rig.m_monitor.Drop(m_hCall), -1);
    EXPECT_EQ(rig.m_monitor.Drop(m_pExt->m_hItem), -1);
    // The commands read the EXT tree: a CO call's item means nothing there.
    EXPECT_EQ(rig.m_monitor.Drop(m_hCoCall), -1);
    EXPECT_EQ(rig.m_tapi.Count("lineDrop"), 2u);
}

TEST_F(CommandsTest, LineInformationJoinsTheReportsThatCouldBeFetched) {
    // The closed line: device and address capabilities only.
    rig.m_monitor.ShowExtLineInfo(m_pClosed->m_hItem);
    ASSERT_EQ(rig.m_app.m_information.size(), 1u);
    const std::string strCaps = rig.m_monitor.FetchDevCaps(1)->Report(0);
    const std::string strAddressCaps = rig.m_monitor.FetchAddressCaps(1, 0)->Report(0);
    ASSERT_FALSE(strCaps.empty());
    ASSERT_FALSE(strAddressCaps.empty());
    EXPECT_EQ(rig.m_app.m_information[0], strCaps + strAddressCaps);
    EXPECT_EQ(rig.m_tapi.Count("lineGetLineDevStatus"), 0u);
    EXPECT_EQ(rig.m_tapi.Count("lineGetAddressStatus"), 0u);

    // The open line: the four reports in order.
    const HLINE hLine = m_pExt->m_hLine;
    rig.m_tapi.m_lineDevStatus[hLine] = CStructImage::Of<LINEDEVSTATUS>();
    rig.m_tapi.m_lineDevStatus[hLine].As<LINEDEVSTATUS>()->dwNumActiveCalls = 1;
    rig.m_tapi.m_addressStatus[hLine] = CStructImage::Of<LINEADDRESSSTATUS>();
    rig.m_tapi.m_addressStatus[hLine].As<LINEADDRESSSTATUS>()->dwNumInUse = 1;
    rig.m_tapi.ClearCalls();
    rig.m_monitor.ShowExtLineInfo(m_pExt->m_hItem);
    ASSERT_EQ(rig.m_app.m_information.size(), 2u);
    EXPECT_EQ(rig.m_app.m_information[1], rig.m_monitor.FetchDevCaps(0)->Report(0) +
                                              rig.m_monitor.FetchDevStatus(hLine)->Report(0) +
                                              rig.m_monitor.FetchAddressCaps(0, 0)->Report(0) +
                                              rig.m_monitor.FetchAddressStatus(hLine, 0)->Report(0));

    // A failing fetch leaves its report out.
    rig.m_tapi.m_addressCaps.erase(0);
    rig.m_monitor.ShowExtLineInfo(m_pExt->m_hItem);
    EXPECT_EQ(rig.m_app.m_information[2], rig.m_monitor.FetchDevCaps(0)->Report(0) +
                                              rig.m_monitor.FetchDevStatus(hLine)->Report(0) +
                                              rig.m_monitor.FetchAddressStatus(hLine, 0)->Report(0));

    // Only line items of the group's own tree show anything.
    rig.m_monitor.ShowCoLineInfo(m_pExt->m_hItem);
    rig.m_monitor.ShowEtcLineInfo(m_pExt->m_hItem);
    rig.m_monitor.ShowExtLineInfo(m_hCall);
    rig.m_monitor.ShowExtLineInfo(rig.m_extTree.GetChildItem(TVI_ROOT));
    EXPECT_EQ(rig.m_app.m_information.size(), 3u);
    rig.m_monitor.ShowCoLineInfo(m_pCo->m_hItem);
    EXPECT_EQ(rig.m_app.m_information.size(), 4u);
}

TEST_F(CommandsTest, CallInformationOnlyForCallItems) {
    rig.m_monitor.ShowExtCallInfo(m_pExt->m_hItem);
    rig.m_monitor.ShowExtCallInfo(rig.m_extTree.GetChildItem(m_hCall));
    EXPECT_TRUE(rig.m_app.m_information.empty());
    EXPECT_TRUE(rig.m_tapi.m_calls.empty());

    rig.m_monitor.ShowCoCallInfo(m_hCoCall);
    ASSERT_EQ(rig.m_app.m_information.size(), 1u);
    EXPECT_EQ(rig.m_tapi.m_calls[0].args[0], 0x701u);
    const std::string strExpected =
        rig.m_monitor.FetchCallInfo(0x701)->Report(0) + rig.m_monitor.FetchCallStatus(0x701)->Report(0);
    EXPECT_EQ(rig.m_app.m_information[0], strExpected);

    // The call went idle meanwhile: both fetches fail and the text is empty.
    rig.m_tapi.m_callInfo.erase(0x501);
    rig.m_tapi.m_callStatus.erase(0x501);
    rig.m_monitor.ShowExtCallInfo(m_hCall);
    ASSERT_EQ(rig.m_app.m_information.size(), 2u);
    EXPECT_EQ(rig.m_app.m_information[1], "");
}

}  // namespace
