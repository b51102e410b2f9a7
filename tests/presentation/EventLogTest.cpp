// The event log file: exact records, where the file lies, and that no record
// is lost or written in part while the file is held or short of room.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "presentation/EventLogWriter.h"
#include "support/MonitorInternals.h"
#include "support/MonitorRig.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

using Texts = std::vector<std::string>;

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pLine = rig.AddLine(ELineGroup::Ext, 0, "201");
        rig.FillTrees();
    }
    CEventLogWriter& Writer() { return *Internals(rig.m_monitor).m_pLogWriter; }
    std::string SideFile() const { return CEventLogWriter::SideFileOf(rig.m_strLogPath); }
    CMonitorRig rig;
    CLineDevCaps* m_pLine = nullptr;
};

// Without a file name nothing is kept; the file is made at the first record.
TEST_F(EventLogTest, TheFileIsCreatedOnceAndOnlyAppendedTo) {
    Internals(rig.m_monitor).m_strLogFile.clear();
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    EXPECT_EQ(Writer().GetWaitingCount(), 0u);
    Internals(rig.m_monitor).m_strLogFile = rig.m_strLogPath;
    EXPECT_FALSE(std::filesystem::exists(rig.m_strLogPath));
    rig.m_monitor.WriteLog("REINIT");
    EXPECT_EQ(rig.LogText(), "2004/01/05 13:07:09:045,REINIT\r\n");

    WriteFileBytes(rig.m_strLogPath, "an earlier run\r\n");
    SetClock(2004, 1, 6, 0, 0, 0, 0);
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    EXPECT_EQ(rig.LogText(), "an earlier run\r\n2004/01/06 00:00:00:000,OUTOFSERVICE\r\n");
}

TEST_F(EventLogTest, ARelativeNameIsResolvedInTheCurrentFolderAtEachWrite) {
    namespace fs = std::filesystem;
    const fs::path oldDir = fs::current_path();
    const fs::path base = UniqueTempPath("lsc_eventlog_dirs");
    fs::remove_all(base);
    fs::create_directories(base / "a");
    fs::create_directories(base / "b");
    Internals(rig.m_monitor).m_strLogFile = "testlog.csv";

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
    EXPECT_EQ(Writer().GetWaitingCount(), 2u);
    EXPECT_TRUE(Writer().IsFileHeld());
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
    EXPECT_EQ(Writer().GetWaitingCount(), 0u);
    EXPECT_FALSE(Writer().IsFileHeld());

    // Held again: a retry alone, and the monitor's shutdown, write what waits
    // without a further record.
    holder.Hold();
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    EXPECT_FALSE(Writer().Flush());
    holder.Release();
    EXPECT_TRUE(Writer().Flush());
    holder.Hold();
    rig.m_monitor.WriteLog("REINIT");
    holder.Release();
    rig.m_monitor.Shutdown();
    EXPECT_EQ(Writer().GetWaitingCount(), 0u);
    const Texts records = rig.LogRecords();
    EXPECT_EQ(Texts(records.begin() + 4, records.end()), (Texts{
                                                             "2004/01/05 13:07:12:000,OUTOFSERVICE",
                                                             "2004/01/05 13:07:12:000,REINIT",
                                                         }));
}

#ifndef _WIN32
// Lowers this process's file-size limit until destroyed. SIGXFSZ is ignored
// meanwhile, so a write past the limit fails (EFBIG) after writing what fits.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t cbLimit) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_pfnOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = cbLimit;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_pfnOldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_pfnOldHandler)(int) = nullptr;
};

TEST_F(EventLogTest, AWriteCutShortLeavesNothingOfTheRecordsWhichWaitWhole) {
    const std::string strEarlier = "an earlier run\r\n";
    WriteFileBytes(rig.m_strLogPath, strEarlier);
    {
        // Room for 10 more bytes: the record is cut back and waits.
        CFileSizeLimit limit(strEarlier.size() + 10);
        rig.m_monitor.WriteLog("OUTOFSERVICE");
        EXPECT_EQ(rig.LogText(), strEarlier);
        EXPECT_EQ(Writer().GetWaitingCount(), 1u);
        EXPECT_FALSE(Writer().IsFileHeld());
    }
    {
        // Room for the waiting record and half the next: neither goes in.
        CFileSizeLimit limit(strEarlier.size() + 37 + 15);
        SetClock(2004, 1, 5, 13, 7, 10, 0);
        rig.m_monitor.WriteLog("REINIT");
        EXPECT_EQ(rig.LogText(), strEarlier);
        EXPECT_EQ(Writer().GetWaitingCount(), 2u);
    }
    SetClock(2004, 1, 5, 13, 7, 11, 0);
    rig.m_monitor.WriteLog("OUTOFSERVICE");
    EXPECT_EQ(rig.LogText(), strEarlier +
                                 "2004/01/05 13:07:09:045,OUTOFSERVICE\r\n"
                                 "2004/01/05 13:07:10:000,REINIT\r\n"
                                 "2004/01/05 13:07:11:000,OUTOFSERVICE\r\n");
    EXPECT_EQ(Writer().GetWaitingCount(), 0u);
}
#endif

// Records of "R<n>" at 13:07:09.0nn: 29 bytes each with time stamp and CR LF.
Texts WriteNumbered(CMonitorRig& rig, int nFirst, int nCount) {
    Texts records;
    for (int n = nFirst; n < nFirst + nCount; ++n) {
        SetClock(2004, 1, 5, 13, 7, 9, n);
        char szText[16];
        std::snprintf(szText, sizeof szText, "R%d%d", n / 10, n % 10);
        const std::string strText = szText;
        rig.m_monitor.WriteLog(strText);
        records.push_back(rig.m_monitor.GetTimestamp() + "," + strText);
    }
    return records;
}

Texts Join(Texts first, const Texts& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(EventLogTest, PastTheMemoryBudgetWaitingRecordsMoveInOrderToTheSideFile) {
    Writer().SetMemoryBudget(100);
    CFileHolder holder(rig.m_strLogPath);
    ASSERT_TRUE(holder.IsHeld());
    const Texts written = WriteNumbered(rig, 0, 10);
    EXPECT_EQ(Writer().GetWaitingCount(), 10u);
    EXPECT_LE(Writer().GetMemoryBytes(), 100u);
    // Three records fit, the fourth moves all four out: twice, and two remain.
    ASSERT_EQ(Writer().GetSideFileCount(), 8u);
    EXPECT_EQ(SplitRecords(ReadFileBytes(SideFile())), Texts(written.begin(), written.begin() + 8));
    EXPECT_EQ(rig.LogText(), "");

    holder.Release();
    const Texts last = WriteNumbered(rig, 10, 1);
    EXPECT_EQ(rig.LogRecords(), Join(written, last));
    EXPECT_FALSE(std::filesystem::exists(SideFile()));
    EXPECT_EQ(Writer().GetWaitingCount(), 0u);
    EXPECT_EQ(Writer().GetMemoryBytes(), 0u);
}

TEST_F(EventLogTest, WhenNeitherFileTakesRecordsMemoryHoldsTwiceTheBudgetAndCountsTheRest) {
    Writer().SetMemoryBudget(100);
    CFileHolder holder(rig.m_strLogPath);
    CFileHolder sideHolder(SideFile());
    ASSERT_TRUE(holder.IsHeld() && sideHolder.IsHeld());
    const Texts written = WriteNumbered(rig, 0, 9);
    // Six records (174 bytes) stay in memory; each further one is lost.
    EXPECT_EQ(Writer().GetWaitingCount(), 6u);
    EXPECT_EQ(Writer().GetDroppedCount(), 3u);

    // The side file frees first: memory moves there, in order.
    sideHolder.Release();
    const Texts later = WriteNumbered(rig, 9, 1);
    EXPECT_EQ(Writer().GetSideFileCount(), 7u);
    holder.Release();
    EXPECT_TRUE(Writer().Flush());
    EXPECT_EQ(rig.LogRecords(), Join(Texts(written.begin(), written.begin() + 6), later));
    EXPECT_EQ(Writer().GetDroppedCount(), 3u);
}

TEST_F(EventLogTest, WhatStillWaitsAtTheEndGoesToTheSideFileAndTheNextRunWritesItFirst) {
    CFileHolder holder(rig.m_strLogPath);
    const Texts written = WriteNumbered(rig, 0, 2);
    Writer().Close(0);
    EXPECT_EQ(Writer().GetSideFileCount(), 2u);
    EXPECT_EQ(Writer().GetMemoryBytes(), 0u);
    EXPECT_EQ(SplitRecords(ReadFileBytes(SideFile())), written);

    // The next run, while the file is still held: the side file counts as
    // waiting, and a record cut short when the earlier run died ends its line.
    AppendFileBytes(SideFile(), "2004/01/05 13:07:09:099,OUTOF");
    CEventLogWriter next;
    next.Write(rig.m_strLogPath, "2004/01/05 13:08:00:000,REINIT\r\n");
    EXPECT_EQ(next.GetWaitingCount(), 4u);
    EXPECT_TRUE(next.IsFileHeld());
    holder.Release();
    EXPECT_TRUE(next.Flush());
    EXPECT_EQ(rig.LogRecords(), Join(written, {"2004/01/05 13:07:09:099,OUTOF", "2004/01/05 13:08:00:000,REINIT"}));
    EXPECT_FALSE(std::filesystem::exists(SideFile()));
}

TEST(EventLogSideFile, LiesBesideTheLogWithWaitingBeforeTheExtension) {
    EXPECT_EQ(CEventLogWriter::SideFileOf("testlog.csv"), "testlog-waiting.csv");
    EXPECT_EQ(CEventLogWriter::SideFileOf("C:\\logs.d\\testlog.csv"), "C:\\logs.d\\testlog-waiting.csv");
    EXPECT_EQ(CEventLogWriter::SideFileOf("/tmp/logs.d/testlog"), "/tmp/logs.d/testlog-waiting");
}

}  // namespace
