// The document: a new document starts monitoring, deleting its contents
// shuts the monitor down, a restart after a cancelled start-up closes the
// old lines before TAPI is initialized again, and log records still waiting
// for the file outlive every monitor, in the folder current at each write.
// The event log file where the scenes cannot reach it: a write cut short by
// a full disk, and the side file's name.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "monitor/LinoscopeDoc.h"
#include "presentation/EventLogWriter.h"
#include "support/FakeTapi.h"
#include "support/StartupScene.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"
#include "views/win/resource.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

// A fake TAPI with maker lines of these permanent IDs, in device order.
struct CDevices : CFakeTapi {
    CDevices(std::initializer_list<DWORD> ids) {
        for (DWORD dwID : ids) {
            m_devCaps[m_dwNumDevs] = MakeDevCaps(startup_scene::kMakerProvider, dwID, "");
            m_addressCaps[m_dwNumDevs] = MakeAddressCaps(m_dwNumDevs, std::to_string(dwID & 0xFFFF));
            ++m_dwNumDevs;
        }
    }
};

// A start-up that fails (here: cancelled once three lines are open) still
// gives a document, whose monitor is kept until the document is replaced,
// which first closes the old lines and shuts TAPI down, or destroyed.
TEST(DocumentTest, NewDocumentReplacesTheMonitorAfterClosingTheOldLines) {
    CDevices fake({0x3000, 0x3001, 0x1000, 0x1001});  // two EXT, two CO
    CTestApp app;
    app.m_nCancelOnCheck = 8;
    {
        CLinoscopeDoc doc;
        EXPECT_TRUE(doc.OnNewDocument());
        EXPECT_TRUE(doc.m_bInitFailed);
        // The user answers Yes: a new document.
        doc.m_bInitFailed = FALSE;
        app.m_nCancelOnCheck = 0;
        fake.ClearCalls();
        EXPECT_TRUE(doc.OnNewDocument());
        EXPECT_FALSE(doc.m_bInitFailed);
        const std::string strSequence = fake.Sequence();
        EXPECT_EQ(strSequence.rfind("lineClose,lineClose,lineClose,lineShutdown,lineInitializeEx,", 0), 0u)
            << strSequence;
        fake.ClearCalls();
        doc.DeleteContents();
        EXPECT_EQ(doc.m_pMonitor, nullptr);
        EXPECT_EQ(fake.Sequence(), "lineClose,lineClose,lineClose,lineClose,lineShutdown");
        // Zero devices: TAPI is shut down with the document, and only once.
        fake.m_dwNumDevs = 0;
        fake.ClearCalls();
        doc.OnNewDocument();
        EXPECT_TRUE(doc.m_bInitFailed);
        ASSERT_NE(doc.m_pMonitor, nullptr);
    }
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx,lineShutdown");
}

// The texts of a log's records, without their time stamps.
std::string LogTexts(const std::string& strPath) {
    std::string strTexts;
    const std::string strLog = ReadFileBytes(strPath);
    for (size_t pos = 0, end; (end = strLog.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        strTexts += strLog.substr(pos + 24, end - pos - 24) + ";";
    return strTexts;
}

TEST(DocumentTest, LogRecordsStillWaitingSurviveRestartsAndTheEndOfTheProgram) {
    namespace fs = std::filesystem;
    const fs::path oldDir = fs::current_path();
    const fs::path dir = UniqueTempPath("lsc_document_log");
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    CDevices fake({0x3000});
    CTestApp app;
    CFileHolder holder("testlog.csv");
    ASSERT_TRUE(holder.IsHeld());
    {
        CLinoscopeDoc doc;
        doc.m_nLogFinalWaitMs = 0;
        doc.OnNewDocument();
        app.m_pMonitor = doc.m_pMonitor.get();
        doc.m_pMonitor->WriteLog("OUTOFSERVICE");
        // REINIT: the record, the monitor shut down, the user asked; Yes
        // restarts with a new monitor while the file is still held.
        fake.Deliver(0, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT);
        ASSERT_EQ(app.m_postedCommands, (std::vector<UINT>{ID_FILE_NEW}));
        doc.OnNewDocument();
        app.m_pMonitor = doc.m_pMonitor.get();
        doc.m_pMonitor->WriteLog("A");
        EXPECT_EQ(doc.m_pEventLog->GetWaitingCount(), 3u);
        EXPECT_TRUE(doc.m_pEventLog->IsFileHeld());
        holder.Release();
        doc.m_pMonitor->WriteLog("B");
        EXPECT_EQ(LogTexts("testlog.csv"), "OUTOFSERVICE;REINIT;A;B;");
        // The relative name is resolved in the current folder at each write.
        fs::create_directory("b");
        fs::current_path("b");
        doc.m_pMonitor->WriteLog("X");
        fs::current_path(dir);
        EXPECT_EQ(LogTexts("b/testlog.csv"), "X;");
        // The end, with the file held again: after the wait, the side file.
        holder.Hold();
        doc.m_pMonitor->WriteLog("C");
    }
    EXPECT_EQ(LogTexts("testlog-waiting.csv"), "C;");
    EXPECT_EQ(LogTexts("testlog.csv"), "OUTOFSERVICE;REINIT;A;B;");

    // The next run takes the side file over; its end waits for the file,
    // which is freed during the wait.
    const auto start = std::chrono::steady_clock::now();
    {
        std::jthread releaser;
        CLinoscopeDoc doc;
        doc.m_nLogFinalWaitMs = 10000;
        doc.OnNewDocument();
        doc.m_pMonitor->WriteLog("D");
        EXPECT_EQ(doc.m_pEventLog->GetWaitingCount(), 2u);
        releaser = std::jthread([&holder] {
            platform::SleepMilliseconds(300);
            holder.Release();
        });
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(LogTexts("testlog.csv"), "OUTOFSERVICE;REINIT;A;B;C;D;");
    EXPECT_FALSE(fs::exists("testlog-waiting.csv"));
    fs::current_path(oldDir);
    fs::remove_all(dir);
}

#ifndef _WIN32
// Runs fn with this process's file-size limit lowered. SIGXFSZ is ignored
// meanwhile, so a write past the limit fails (EFBIG) after writing what fits.
template <class Fn>
void WithFileSizeLimit(rlim_t cbLimit, Fn fn) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto pfnOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = cbLimit;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    fn();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, pfnOldHandler);
}

TEST(EventLog, AWriteCutShortLeavesNothingOfTheRecordsWhichWaitWhole) {
    const std::string strPath = UniqueTempPath("lsc_eventlog_full").string();
    const std::string strEarlier = "an earlier run\r\n";
    WriteFileBytes(strPath, strEarlier);
    CEventLogWriter writer;
    const std::string strFirst = "2004/01/05 13:07:09:045,OUTOFSERVICE\r\n";
    const std::string strSecond = "2004/01/05 13:07:10:000,REINIT\r\n";
    // Room for 10 more bytes: the record is cut back and waits.
    WithFileSizeLimit(strEarlier.size() + 10, [&] { writer.Write(strPath, strFirst); });
    EXPECT_EQ(ReadFileBytes(strPath), strEarlier);
    EXPECT_EQ(writer.GetWaitingCount(), 1u);
    EXPECT_FALSE(writer.IsFileHeld());
    // Room for the waiting record and half the next: neither goes in.
    WithFileSizeLimit(strEarlier.size() + strFirst.size() + 15, [&] { writer.Write(strPath, strSecond); });
    EXPECT_EQ(ReadFileBytes(strPath), strEarlier);
    EXPECT_EQ(writer.GetWaitingCount(), 2u);
    EXPECT_TRUE(writer.Flush());
    EXPECT_EQ(ReadFileBytes(strPath), strEarlier + strFirst + strSecond);
    EXPECT_EQ(writer.GetWaitingCount(), 0u);
    std::remove(strPath.c_str());
}
#endif

TEST(EventLog, TheSideFileLiesBesideTheLogWithWaitingBeforeTheExtension) {
    EXPECT_EQ(CEventLogWriter::SideFileOf("C:\\logs.d\\testlog.csv"), "C:\\logs.d\\testlog-waiting.csv");
    EXPECT_EQ(CEventLogWriter::SideFileOf("/tmp/logs.d/testlog"), "/tmp/logs.d/testlog-waiting");
}

}  // namespace
