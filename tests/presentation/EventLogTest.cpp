// The event log file: exact records, where the file lies, and that no record
// is lost while another program holds the file.
#include <gtest/gtest.h>

#include <filesystem>

#include "monitor/MonitorRig.h"

namespace {

using Texts = std::vector<std::string>;

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pLine = rig.AddLine(ELineGroup::Ext, 0, "201");
        rig.FillTrees();
    }
    CMonitorRig rig;
    CLineDevCaps* m_pLine = nullptr;
};

TEST_F(EventLogTest, ACallFromOfferToConnectWritesTheThreeRecords) {
    CStructImage info = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "301", "");
    info.As<LINECALLINFO>()->dwOrigin = LINECALLORIGIN_INTERNAL;
    info.As<LINECALLINFO>()->dwReason = LINECALLREASON_DIRECT;
    rig.m_tapi.m_callInfo[0x501] = info;
    rig.m_tapi.Deliver(m_pLine->m_hLine, LINE_APPNEWCALL, 0, 0x501, LINECALLPRIVILEGE_MONITOR);

    SetClock(2004, 1, 5, 13, 7, 9, 45);
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE,
                       LINECALLPRIVILEGE_MONITOR);
    SetClock(2004, 1, 5, 13, 7, 9, 112);
    rig.m_tapi.Deliver(0x501, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
    SetClock(2004, 1, 5, 13, 7, 15, 930);
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE, 0);

    EXPECT_EQ(rig.LogText(),
              "2004/01/05 13:07:09:045,201,LINE_CALLSTATE,OFFERING - ACTIVE - (NONITOR)\r\n"
              "2004/01/05 13:07:09:112,201,LINE_CALLINFO,CALLERID,301,,,INTERNAL,DIRECT,,,\r\n"
              "2004/01/05 13:07:15:930,201,LINE_CALLSTATE,CONNECTED - ACTIVE\r\n");
}

TEST_F(EventLogTest, CallInfoRecordsFieldsAsTheyAre) {
    HTREEITEM hCall = rig.NewCall(ELineGroup::Ext, m_pLine->m_hLine, 0x501);
    // No identifiers, no origin or reason: eight commas follow column 4.
    rig.m_monitor.LogCallInfo(0x501, &rig.m_extTree, hCall, "CALLERID");
    // Commas inside a field are not escaped: they add columns.
    CStructImage info = CFakeTapi::MakeCallInfo(m_pLine->m_hLine, "30,1", "201");
    info.As<LINECALLINFO>()->dwOrigin = LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND;
    rig.m_tapi.m_callInfo[0x501] = info;
    rig.m_monitor.LogCallInfo(0x501, &rig.m_extTree, hCall, "");
    // No LINECALLINFO, no record.
    rig.m_tapi.m_callInfo.erase(0x501);
    rig.m_monitor.LogCallInfo(0x501, &rig.m_extTree, hCall, "CALLERID");

    EXPECT_EQ(rig.LogRecords(), (Texts{
                                    "2004/01/05 13:07:09:045,201,LINE_CALLINFO,CALLERID,,,,,,,,",
                                    "2004/01/05 13:07:09:045,201,LINE_CALLINFO,,30,1,201,,EXTERNAL,INBOUND,,,,",
                                }));
}

TEST_F(EventLogTest, TheFileIsCreatedOnceAndOnlyAppendedTo) {
    EXPECT_FALSE(std::filesystem::exists(rig.m_strLogPath));
    rig.m_monitor.WriteLog("REINIT");
    EXPECT_EQ(rig.LogText(), "2004/01/05 13:07:09:045,REINIT\r\n");

    {
        std::ofstream out(rig.m_strLogPath, std::ios::binary | std::ios::trunc);
        out << "an earlier run\r\n";
    }
    SetClock(2004, 1, 6, 0, 0, 0, 0);
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    EXPECT_EQ(rig.LogText(), "an earlier run\r\n2004/01/06 00:00:00:000,OUTOFSERVICE\r\n");
}

TEST_F(EventLogTest, AMonitorWithoutALogFileNameKeepsNoRecords) {
    rig.m_monitor.m_strLogFile.clear();
    rig.m_monitor.WriteLog("REINIT");
    EXPECT_TRUE(rig.m_monitor.m_logBacklog.empty());
    rig.m_monitor.m_strLogFile = rig.m_strLogPath;
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    EXPECT_EQ(rig.LogRecords(), (Texts{"2004/01/05 13:07:09:045,OUTOFSERVICE"}));
}

TEST_F(EventLogTest, ARelativeNameIsResolvedInTheCurrentFolderAtEachWrite) {
    namespace fs = std::filesystem;
    const fs::path oldDir = fs::current_path();
    const fs::path base = UniqueTempPath("lsc_eventlog_dirs");
    fs::remove_all(base);
    fs::create_directories(base / "a");
    fs::create_directories(base / "b");
    rig.m_monitor.m_strLogFile = "testlog.csv";

    fs::current_path(base / "a");
    rig.m_monitor.WriteLog("REINIT");
    fs::current_path(base / "b");
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    fs::current_path(oldDir);

    EXPECT_EQ(ReadFileBytes((base / "a" / "testlog.csv").string()), "2004/01/05 13:07:09:045,REINIT\r\n");
    EXPECT_EQ(ReadFileBytes((base / "b" / "testlog.csv").string()), "2004/01/05 13:07:09:045,OUTOFSERVICE\r\n");
    fs::remove_all(base);
}

TEST_F(EventLogTest, RecordsWrittenWhileAnotherProgramHoldsTheFileAreNotLost) {
    rig.m_monitor.WriteLog("REINIT");
    HTREEITEM hCall = rig.NewCall(ELineGroup::Ext, m_pLine->m_hLine, 0x501);

    CFileHolder holder(rig.m_strLogPath);
    ASSERT_TRUE(holder.IsHeld());
    SetClock(2004, 1, 5, 13, 7, 10, 0);
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_OFFERING);
    SetClock(2004, 1, 5, 13, 7, 11, 0);
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_ACCEPTED);
    // The trees go on regardless.
    EXPECT_EQ(rig.m_extTree.GetItemText(hCall), "ACCEPTED");
    EXPECT_EQ(rig.m_monitor.m_logBacklog.size(), 2u);
    EXPECT_EQ(rig.LogRecords(), (Texts{"2004/01/05 13:07:09:045,REINIT"}));

    holder.Release();
    SetClock(2004, 1, 5, 13, 7, 12, 0);
    rig.m_tapi.Deliver(0x501, LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(rig.LogRecords(), (Texts{
                                    "2004/01/05 13:07:09:045,REINIT",
                                    "2004/01/05 13:07:10:000,201,LINE_CALLSTATE,OFFERING",
                                    "2004/01/05 13:07:11:000,201,LINE_CALLSTATE,ACCEPTED",
                                    "2004/01/05 13:07:12:000,201,LINE_CALLSTATE,CONNECTED",
                                }));
    EXPECT_TRUE(rig.m_monitor.m_logBacklog.empty());
}

TEST_F(EventLogTest, TheBacklogIsBoundedAndKeepsTheNewestRecords) {
    namespace fs = std::filesystem;
    const fs::path dir = UniqueTempPath("lsc_eventlog_missing");
    fs::remove_all(dir);
    // A folder that does not exist yet: every open fails.
    rig.m_monitor.m_strLogFile = (dir / "testlog.csv").string();
    const size_t nMax = CTapiMonitor::kMaxLogBacklog;
    for (size_t i = 0; i < nMax; ++i) rig.m_monitor.m_logBacklog.push_back("old " + std::to_string(i) + "\r\n");
    rig.m_monitor.WriteLog("A");
    rig.m_monitor.WriteLog("B");
    ASSERT_EQ(rig.m_monitor.m_logBacklog.size(), nMax);
    EXPECT_EQ(rig.m_monitor.m_logBacklog.front(), "old 2\r\n");
    EXPECT_EQ(rig.m_monitor.m_logBacklog.back(), "2004/01/05 13:07:09:045,B\r\n");

    fs::create_directories(dir);
    rig.m_monitor.WriteLog("C");
    const Texts records = SplitRecords(ReadFileBytes(rig.m_monitor.m_strLogFile));
    ASSERT_EQ(records.size(), nMax + 1);
    EXPECT_EQ(records.front(), "old 2");
    EXPECT_EQ(records[nMax - 3], "old " + std::to_string(nMax - 1));
    EXPECT_EQ(records[nMax - 2], "2004/01/05 13:07:09:045,A");
    EXPECT_EQ(records[nMax - 1], "2004/01/05 13:07:09:045,B");
    EXPECT_EQ(records[nMax], "2004/01/05 13:07:09:045,C");
    EXPECT_TRUE(rig.m_monitor.m_logBacklog.empty());
    fs::remove_all(dir);
}

}  // namespace
