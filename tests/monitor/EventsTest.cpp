// TAPI's events as the callback receives them: what reaches the trees, the
// call tables, TAPI and the log.
#include <gtest/gtest.h>

#include "support/MonitorInternals.h"
#include "support/MonitorRig.h"
#include "views/win/resource.h"

namespace {

constexpr DWORD LINE_DEVSPECIFIC_MSG = 3;

using Texts = std::vector<std::string>;

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pExt = rig.AddLine(ELineGroup::Ext, 0, "201");
        m_pCo = rig.AddLine(ELineGroup::Co, 1, "21");
        m_pEtc = rig.AddLine(ELineGroup::Etc, 2, "", "", "Fax");
        rig.FillTrees();
        rig.m_app.m_nUpdateAllViews = 0;
    }
    CMonitorRig rig;
    CLineDevCaps* m_pExt = nullptr;
    CLineDevCaps* m_pCo = nullptr;
    CLineDevCaps* m_pEtc = nullptr;
};

// During start-up the callback drops everything (see the start-up tests);
// so it does without a monitor in the active document or an application.
// Messages that find nothing, and device states other than the two handled
// ones (compared as values, not as bits), refresh the views and do no more.
TEST_F(EventsTest, MessagesThatReachNoMonitorOrFindNothingChangeNothing) {
    Internals(rig.m_monitor).m_bInitialized = TRUE;
    HTREEITEM hCall = rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501);
    ASSERT_NE(hCall, nullptr);
    const UINT nItems = rig.m_extTree.GetCount() + rig.m_coTree.GetCount() + rig.m_etcTree.GetCount();
    rig.m_app.m_nUpdateAllViews = 0;
    rig.m_tapi.ClearCalls();

    rig.m_app.m_pMonitor = nullptr;
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    rig.m_app.m_pMonitor = &rig.m_monitor;
    SetMonitorApp(nullptr);
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    SetMonitorApp(&rig.m_app);
    EXPECT_EQ(rig.m_app.m_nUpdateAllViews, 0);
    EXPECT_TRUE(rig.m_extTree.IsItem(hCall));

    rig.m_tapi.Deliver(m_pExt->m_hLine, LINE_DEVSPECIFIC_MSG, 1, 2, 3);
    rig.m_tapi.Deliver(0x999, LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    rig.m_tapi.Deliver(0x999, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
    rig.m_tapi.Deliver(0x999, LINE_APPNEWCALL, 0, 0x600);
    rig.m_tapi.Deliver(0, LINE_REPLY, 77, 0);
    rig.m_tapi.Deliver(m_pExt->m_hLine, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_REINIT);
    rig.m_tapi.Deliver(m_pExt->m_hLine, LINE_LINEDEVSTATE, LINEDEVSTATE_RINGING);
    EXPECT_EQ(rig.m_app.m_nUpdateAllViews, 7);
    EXPECT_EQ(rig.m_extTree.GetCount() + rig.m_coTree.GetCount() + rig.m_etcTree.GetCount(), nItems);
    EXPECT_TRUE(rig.m_extTree.IsItem(hCall));
    EXPECT_EQ(rig.m_tapi.Count("lineDeallocateCall") + rig.m_tapi.Count("lineClose"), 0u);
    EXPECT_TRUE(rig.m_app.m_questions.empty());
    EXPECT_EQ(rig.m_monitor.GetExtLineCount(), 1);
    EXPECT_EQ(rig.LogText(), "");
}

TEST_F(EventsTest, NewCallOnACoLineAppearsInTheCoTreeOnly) {
    const UINT nExt = rig.m_extTree.GetCount();
    const UINT nEtc = rig.m_etcTree.GetCount();
    HTREEITEM hCall = rig.NewCall(ELineGroup::Co, m_pCo->m_hLine, 0x701, "301");
    ASSERT_NE(hCall, nullptr);

    EXPECT_EQ(rig.m_coTree.GetItemText(hCall), "NEW");
    EXPECT_EQ(rig.m_coTree.GetItemData(hCall), 0x701u);
    EXPECT_EQ(rig.m_coTree.GetParentItem(hCall), m_pCo->m_hItem);
    EXPECT_TRUE(rig.m_coTree.IsExpanded(m_pCo->m_hItem));
    EXPECT_TRUE(rig.m_coTree.WasMadeVisible(hCall));
    // The details hang under the call in the CO tree.
    const Texts details = rig.m_coTree.GetChildTexts(hCall);
    ASSERT_EQ(details.size(), 10u);
    EXPECT_EQ(details[1], "Caller ID    = 301");
    EXPECT_TRUE(rig.m_coTree.IsExpanded(hCall));

    EXPECT_EQ(rig.m_extTree.GetCount(), nExt);
    EXPECT_EQ(rig.m_etcTree.GetCount(), nEtc);
    EXPECT_EQ(rig.m_app.m_nUpdateAllViews, 1);
    // A new call is not logged.
    EXPECT_EQ(rig.LogText(), "");

    // A line in no handle map gets no node.
    const UINT nCo = rig.m_coTree.GetCount();
    EXPECT_EQ(rig.NewCall(ELineGroup::Co, 0x4444, 0x702), nullptr);
    EXPECT_EQ(rig.m_coTree.GetCount(), nCo);
}

TEST_F(EventsTest, IdleRemovesTheCallOnceAndASecondIdleFindsNothing) {
    HTREEITEM hCall = rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501);
    HTREEITEM hOther = rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x502);
    ASSERT_NE(hCall, nullptr);
    rig.m_tapi.ClearCalls();

    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_EQ(rig.LogRecords(), (Texts{"2004/01/05 13:07:09:045,201,LINE_CALLSTATE,IDLE"}));
    ASSERT_EQ(rig.m_tapi.CallsOf("lineDeallocateCall").size(), 1u);
    EXPECT_EQ(rig.m_tapi.CallsOf("lineDeallocateCall")[0].args[0], 0x501u);
    EXPECT_FALSE(rig.m_extTree.IsItem(hCall));
    EXPECT_TRUE(rig.m_extTree.IsItem(hOther));
    EXPECT_EQ(rig.m_extTree.GetChildItem(m_pExt->m_hItem), hOther);

    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_EQ(rig.LogRecords().size(), 1u);
    EXPECT_EQ(rig.m_tapi.Count("lineDeallocateCall"), 1u);
    EXPECT_TRUE(rig.m_extTree.IsItem(hOther));

    // A deallocation TAPI refuses removes the call all the same.
    rig.m_tapi.m_ignoredResults["lineDeallocateCall"] = LINEERR_OPERATIONFAILED;
    rig.m_tapi.Deliver(0x502, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    EXPECT_EQ(rig.m_tapi.Count("lineDeallocateCall"), 2u);
    EXPECT_FALSE(rig.m_extTree.IsItem(hOther));
    EXPECT_FALSE(rig.m_extTree.ItemHasChildren(m_pExt->m_hItem));
}

TEST_F(EventsTest, AKnownCallGetsNoSecondNodeAndIsDeallocatedOnce) {
    HTREEITEM hCall = rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501);
    ASSERT_NE(hCall, nullptr);
    // Reported again, on its own line and on a line of another group.
    EXPECT_EQ(rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501), hCall);
    EXPECT_EQ(rig.NewCall(ELineGroup::Co, m_pCo->m_hLine, 0x501), nullptr);
    EXPECT_EQ(rig.m_extTree.GetChildItem(m_pExt->m_hItem), hCall);
    EXPECT_EQ(rig.m_extTree.GetNextSiblingItem(hCall), nullptr);
    EXPECT_EQ(rig.m_coTree.GetChildItem(m_pCo->m_hItem), nullptr);

    rig.m_tapi.ClearCalls();
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_IDLE);
    rig.m_tapi.Deliver(m_pExt->m_hLine, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE);
    EXPECT_EQ(rig.m_tapi.Count("lineDeallocateCall"), 1u);
    EXPECT_EQ(rig.m_extTree.GetChildItem(m_pExt->m_hItem), nullptr);
}

TEST_F(EventsTest, StateTextCarriesModeAndPrivilege) {
    HTREEITEM hCall = rig.NewCall(ELineGroup::Etc, m_pEtc->m_hLine, 0x801, "301");
    ASSERT_NE(hCall, nullptr);
    struct Case {
        DWORD dwState, dwMode, dwPrivilege;
        const char* pszText;
    } cases[] = {
        {LINECALLSTATE_CONNECTED, 0, LINECALLPRIVILEGE_OWNER, "CONNECTED - (OWNER)"},
        {LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE, LINECALLPRIVILEGE_MONITOR, "OFFERING - ACTIVE - (NONITOR)"},
        {LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE, LINECALLPRIVILEGE_NONE, "CONNECTED - ACTIVE"},
        {LINECALLSTATE_CONNECTED, 0, 0, "CONNECTED"},
        // Several privilege bits at once are no privilege text at all.
        {LINECALLSTATE_ACCEPTED, 0, LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR, "ACCEPTED"},
    };
    Texts expectedLog;
    for (const Case& c : cases) {
        rig.m_tapi.Deliver(0x801, LINE_CALLSTATE, c.dwState, c.dwMode, c.dwPrivilege);
        EXPECT_EQ(rig.m_etcTree.GetItemText(hCall), c.pszText);
        expectedLog.push_back(std::string("2004/01/05 13:07:09:045,Fax,LINE_CALLSTATE,") + c.pszText);
    }
    EXPECT_EQ(rig.LogRecords(), expectedLog);
    EXPECT_TRUE(rig.m_etcTree.WasMadeVisible(m_pEtc->m_hItem));

    // Each state change refreshes the details from a fresh LINECALLINFO.
    rig.m_tapi.m_callInfo[0x801] = CFakeTapi::MakeCallInfo(m_pEtc->m_hLine, "302", "");
    rig.m_tapi.Deliver(0x801, LINE_CALLSTATE, LINECALLSTATE_ONHOLD);
    EXPECT_EQ(rig.m_etcTree.GetChildTexts(hCall)[1], "Caller ID    = 302");
}

TEST_F(EventsTest, CallInfoPassesOnlyTheShownStates) {
    HTREEITEM hCall = rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501, "301");
    ASSERT_NE(hCall, nullptr);
    rig.m_tapi.m_callInfo[0x501] = CFakeTapi::MakeCallInfo(m_pExt->m_hLine, "305", "201");
    rig.m_tapi.ClearCalls();

    rig.m_tapi.Deliver(0x501, LINE_CALLINFO, LINECALLINFOSTATE_MEDIAMODE);
    EXPECT_EQ(rig.m_tapi.Count("lineGetCallInfo"), 0u);
    EXPECT_EQ(rig.m_extTree.GetChildTexts(hCall)[1], "Caller ID    = 301");
    EXPECT_EQ(rig.LogText(), "");

    rig.m_tapi.Deliver(0x501, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_MEDIAMODE);
    rig.m_tapi.Deliver(0x501, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
    rig.m_tapi.Deliver(0x501, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID);
    EXPECT_EQ(rig.m_extTree.GetChildTexts(hCall)[1], "Caller ID    = 305");
    EXPECT_EQ(rig.m_extTree.GetChildTexts(hCall)[2], "Called ID    = 201");
    EXPECT_EQ(rig.LogRecords(), (Texts{
                                    "2004/01/05 13:07:09:045,201,LINE_CALLINFO,,305,201,,,,,,",
                                    "2004/01/05 13:07:09:045,201,LINE_CALLINFO,CALLERID,305,201,,,,,,",
                                    "2004/01/05 13:07:09:045,201,LINE_CALLINFO,,305,201,,,,,,",
                                }));
    // Every one of the eight shown states passes on its own.
    const DWORD shown[] = {LINECALLINFOSTATE_CONNECTEDID,   LINECALLINFOSTATE_TRUNK,
                           LINECALLINFOSTATE_ORIGIN,        LINECALLINFOSTATE_REASON,
                           LINECALLINFOSTATE_REDIRECTIONID, LINECALLINFOSTATE_REDIRECTINGID};
    for (DWORD dw : shown) rig.m_tapi.Deliver(0x501, LINE_CALLINFO, dw);
    EXPECT_EQ(rig.LogRecords().size(), 9u);
    // An unknown call: nothing.
    rig.m_tapi.Deliver(0x777, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
    EXPECT_EQ(rig.LogRecords().size(), 9u);
}

TEST_F(EventsTest, OutOfServiceRemovesEveryCallOfTheLineOnly) {
    CLineDevCaps* pExt2 = rig.AddLine(ELineGroup::Ext, 3, "202");
    rig.m_extTree.DeleteItem(TVI_ROOT);
    rig.FillTrees();
    HTREEITEM calls[] = {rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x501),
                         rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x502),
                         rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x503)};
    HTREEITEM hOtherLineCall = rig.NewCall(ELineGroup::Ext, pExt2->m_hLine, 0x504);
    rig.m_tapi.ClearCalls();

    rig.m_tapi.Deliver(m_pExt->m_hLine, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE);
    EXPECT_EQ(rig.m_tapi.Sequence(), "lineDeallocateCall,lineDeallocateCall,lineDeallocateCall");
    const auto deallocated = rig.m_tapi.CallsOf("lineDeallocateCall");
    ASSERT_EQ(deallocated.size(), 3u);
    EXPECT_EQ(deallocated[0].args[0], 0x501u);
    EXPECT_EQ(deallocated[1].args[0], 0x502u);
    EXPECT_EQ(deallocated[2].args[0], 0x503u);
    for (HTREEITEM h : calls) EXPECT_FALSE(rig.m_extTree.IsItem(h));
    EXPECT_FALSE(rig.m_extTree.ItemHasChildren(m_pExt->m_hItem));
    EXPECT_TRUE(rig.m_extTree.IsItem(m_pExt->m_hItem));
    EXPECT_TRUE(rig.m_extTree.IsItem(hOtherLineCall));
    EXPECT_EQ(rig.LogRecords(), (Texts{"2004/01/05 13:07:09:045,OUTOFSERVICE"}));
    // The line stays open and known: its next call appears again.
    EXPECT_NE(rig.NewCall(ELineGroup::Ext, m_pExt->m_hLine, 0x505), nullptr);

    // A line in no map is still logged.
    rig.m_tapi.Deliver(0x4444, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE);
    EXPECT_EQ(rig.LogRecords().size(), 2u);
    EXPECT_EQ(rig.m_tapi.Count("lineDeallocateCall"), 3u);
}

TEST_F(EventsTest, ReinitShutsDownAsksAndPostsTheAnswer) {
    Internals(rig.m_monitor).m_bInitialized = TRUE;
    const HLINE hOldLine = m_pExt->m_hLine;
    const HTREEITEM hOldItem = m_pExt->m_hItem;
    rig.m_tapi.Deliver(0, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT);
    EXPECT_EQ(rig.LogRecords(), (Texts{"2004/01/05 13:07:09:045,REINIT"}));
    EXPECT_EQ(rig.m_tapi.Sequence(), "lineClose,lineClose,lineClose,lineShutdown");
    EXPECT_EQ(rig.m_monitor.GetExtLineCount() + rig.m_monitor.GetCoLineCount() + rig.m_monitor.GetEtcLineCount(), 0);
    EXPECT_EQ(rig.m_app.m_questions, (Texts{"TAPI Reinit.\nRetry?"}));
    EXPECT_EQ(rig.m_app.m_postedCommands, (std::vector<UINT>{ID_FILE_NEW}));
    EXPECT_EQ(rig.m_app.m_nUpdateAllViews, 1);
    // Nothing leads to the records that went with the shutdown.
    rig.m_monitor.ShowExtLineInfo(hOldItem);
    EXPECT_TRUE(rig.m_app.m_information.empty());
    EXPECT_EQ(rig.NewCall(ELineGroup::Ext, hOldLine, 0x501), nullptr);

    // No: the document is closed. TAPI was shut down already.
    rig.m_app.m_bAnswerYes = FALSE;
    rig.m_tapi.ClearCalls();
    rig.m_tapi.Deliver(0, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT);
    EXPECT_TRUE(rig.m_tapi.m_calls.empty());
    EXPECT_EQ(rig.m_app.m_postedCommands, (std::vector<UINT>{ID_FILE_NEW, ID_FILE_CLOSE}));
    EXPECT_EQ(rig.LogRecords().size(), 2u);
}

TEST_F(EventsTest, MakeCallReplyCreatesTheCallOnlyOnSuccess) {
    rig.m_monitor.MakeCall(m_pExt->m_hItem, "301");
    const DWORD dwRequest = Internals(rig.m_monitor).m_dwMakeCallRequest;
    ASSERT_GT(dwRequest, 0u);
    rig.m_tapi.m_callInfo[0x5000] = CFakeTapi::MakeCallInfo(m_pExt->m_hLine, "", "301");

    rig.m_tapi.Deliver(0, LINE_REPLY, dwRequest, 0);
    HTREEITEM hCall = rig.m_extTree.GetChildItem(m_pExt->m_hItem);
    ASSERT_NE(hCall, nullptr);
    EXPECT_EQ(rig.m_extTree.GetItemText(hCall), "NEW");
    EXPECT_EQ(rig.m_extTree.GetParentItem(hCall), m_pExt->m_hItem);
    EXPECT_EQ(rig.m_extTree.GetItemData(hCall), 0x5000u);
    EXPECT_EQ(rig.m_extTree.GetChildTexts(hCall)[2], "Called ID    = 301");
    EXPECT_EQ(Internals(rig.m_monitor).m_dwMakeCallRequest, 0u);

    // Failure: nothing appears, the fields are cleared all the same.
    rig.m_tapi.m_hNextMakeCall = 0x5001;
    rig.m_monitor.MakeCall(m_pExt->m_hItem, "302");
    const DWORD dwSecond = Internals(rig.m_monitor).m_dwMakeCallRequest;
    ASSERT_GT(dwSecond, 0u);
    const UINT nItems = rig.m_extTree.GetCount();
    rig.m_tapi.Deliver(0, LINE_REPLY, dwSecond, static_cast<DWORD>(LINEERR_CALLUNAVAIL));
    // The request is forgotten: the same reply, now a success, finds nothing.
    rig.m_tapi.m_callInfo[0x5001] = CFakeTapi::MakeCallInfo(m_pExt->m_hLine, "", "302");
    rig.m_tapi.Deliver(0, LINE_REPLY, dwSecond, 0);
    EXPECT_EQ(rig.m_extTree.GetCount(), nItems);
    EXPECT_EQ(Internals(rig.m_monitor).m_dwMakeCallRequest, 0u);
}

TEST_F(EventsTest, ReplyClearsOnlyTheFirstMatchingRequest) {
    auto in = Internals(rig.m_monitor);
    const auto Pending = [&] {
        return std::vector<DWORD_PTR>{in.m_dwMakeCallRequest, in.m_hMakeCallLine, in.m_hMakeCallCall,
                                      in.m_dwAnswerRequest, in.m_dwDropRequest};
    };
    const HLINE hLine = m_pExt->m_hLine;
    in.m_dwMakeCallRequest = 7;
    in.m_hMakeCallLine = hLine;
    in.m_hMakeCallCall = 0x5000;
    in.m_dwAnswerRequest = in.m_dwDropRequest = 8;

    rig.m_tapi.Deliver(0, LINE_REPLY, 9, 0);  // matches nothing
    EXPECT_EQ(Pending(), (std::vector<DWORD_PTR>{7, hLine, 0x5000, 8, 8}));
    // Answer comes before drop; a failed result is not looked at.
    rig.m_tapi.Deliver(0, LINE_REPLY, 8, static_cast<DWORD>(LINEERR_OPERATIONFAILED));
    EXPECT_EQ(Pending(), (std::vector<DWORD_PTR>{7, hLine, 0x5000, 0, 8}));
    rig.m_tapi.Deliver(0, LINE_REPLY, 8, 0);
    // A reply with identifier 0 never matches an empty slot.
    rig.m_tapi.Deliver(0, LINE_REPLY, 0, 0);
    EXPECT_EQ(Pending(), (std::vector<DWORD_PTR>{7, hLine, 0x5000, 0, 0}));
    EXPECT_FALSE(rig.m_extTree.ItemHasChildren(m_pExt->m_hItem));  // no call was made
}

TEST_F(EventsTest, CallsBeforeTheTreeIsRegisteredGetNoNode) {
    rig.m_monitor.SetCoTree(nullptr);
    EXPECT_EQ(rig.NewCall(ELineGroup::Co, m_pCo->m_hLine, 0x701), nullptr);
    EXPECT_TRUE(Internals(rig.m_monitor).m_coCalls.empty());
    rig.m_tapi.Deliver(m_pCo->m_hLine, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE);
    EXPECT_EQ(rig.m_tapi.Count("lineDeallocateCall"), 0u);
}

}  // namespace
