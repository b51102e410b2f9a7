// The document: a new document starts monitoring, deleting its contents
// shuts the monitor down, a restart after a cancelled start-up closes the
// old lines before TAPI is initialized again, and log records still waiting
// for the file outlive every monitor.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "monitor/LinoscopeDoc.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/StartupScene.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"
#include "views/win/resource.h"

using namespace startup_scene;

namespace {

class DocumentTest : public ::testing::Test {
protected:
    // Maker lines with these permanent IDs, in device order.
    void Devices(std::initializer_list<DWORD> ids) {
        fake.m_dwNumDevs = static_cast<DWORD>(ids.size());
        DWORD dwDevice = 0;
        for (DWORD dwID : ids) AddDevice(fake, dwDevice++, kMakerProvider, dwID);
    }
    CFakeTapi fake;
    CTestApp app;
};

// A start-up that fails still gives a document, whose monitor is kept until
// the document is replaced or destroyed, which shuts TAPI down.
TEST_F(DocumentTest, NewDocumentStartsAMonitorAndDeleteContentsShutsItDown) {
    {
        CLinoscopeDoc doc;
        EXPECT_TRUE(doc.OnNewDocument());  // zero devices
        EXPECT_TRUE(doc.m_bInitFailed);
        ASSERT_NE(doc.m_pMonitor, nullptr);
        EXPECT_EQ(fake.Sequence(), "lineInitializeEx");
    }
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx,lineShutdown");

    Devices({0x3000, 0x1000});
    CLinoscopeDoc doc;
    EXPECT_TRUE(doc.OnNewDocument());
    ASSERT_NE(doc.m_pMonitor, nullptr);
    EXPECT_FALSE(doc.m_bInitFailed);
    EXPECT_EQ(Internals(*doc.m_pMonitor).m_strLogFile, "testlog.csv");
    EXPECT_EQ(doc.m_pMonitor->GetExtLineCount(), 1);
    EXPECT_EQ(doc.m_pMonitor->GetCoLineCount(), 1);

    fake.ClearCalls();
    doc.DeleteContents();
    EXPECT_EQ(doc.m_pMonitor, nullptr);
    EXPECT_EQ(fake.Sequence(), "lineClose,lineClose,lineShutdown");
    doc.DeleteContents();  // nothing left to delete
    EXPECT_EQ(fake.Count("lineShutdown"), 1u);
}

TEST_F(DocumentTest, RestartAfterCancelClosesTheOldLinesFirst) {
    Devices({0x3000, 0x3001, 0x1000, 0x1001});  // two EXT, two CO
    // Four device queries, two EXT lines, the first CO line: Cancel is seen
    // before the second CO line opens.
    app.m_nCancelOnCheck = 8;

    CLinoscopeDoc doc;
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(doc.m_bInitFailed);
    ASSERT_NE(doc.m_pMonitor, nullptr);
    EXPECT_TRUE(app.m_bTapiStarting);
    EXPECT_EQ(app.m_progress.back(), "destroy");
    EXPECT_EQ(doc.m_pMonitor->GetCoLine(0)->m_hLine, CFakeTapi::LineHandleFor(2));
    EXPECT_EQ(doc.m_pMonitor->GetCoLine(1)->m_hLine, 0u);

    // The user answers Yes: a new document.
    doc.m_bInitFailed = FALSE;
    app.m_nCancelOnCheck = 0;
    fake.ClearCalls();
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.m_bInitFailed);
    EXPECT_FALSE(app.m_bTapiStarting);
    const std::string strSequence = fake.Sequence();
    EXPECT_EQ(strSequence.rfind("lineClose,lineClose,lineClose,lineShutdown,lineInitializeEx,", 0), 0u) << strSequence;
    std::vector<DWORD_PTR> closed;
    for (const auto& call : fake.CallsOf("lineClose")) closed.push_back(call.args[0]);
    EXPECT_EQ(closed, (std::vector<DWORD_PTR>{0x1000, 0x1001, 0x1002}));
    EXPECT_EQ(doc.m_pMonitor->GetCoLine(1)->m_hLine, CFakeTapi::LineHandleFor(3));
}

// The document's log records without their time stamps.
std::vector<std::string> LogTexts(const std::string& strPath) {
    std::vector<std::string> texts;
    std::istringstream in(ReadFileBytes(strPath));
    for (std::string strLine; std::getline(in, strLine);) texts.push_back(strLine.substr(24));
    return texts;
}

TEST_F(DocumentTest, LogRecordsStillWaitingSurviveRestartsAndTheEndOfTheProgram) {
    namespace fs = std::filesystem;
    const fs::path oldDir = fs::current_path();
    const fs::path dir = UniqueTempPath("lsc_document_log");
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    Devices({0x3000});
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
        EXPECT_EQ(LogTexts("testlog.csv"), (std::vector<std::string>{"OUTOFSERVICE\r", "REINIT\r", "A\r", "B\r"}));

        // The end, with the file held again: after the wait, the side file.
        holder.Hold();
        doc.m_pMonitor->WriteLog("C");
    }
    EXPECT_EQ(LogTexts("testlog-waiting.csv"), (std::vector<std::string>{"C\r"}));
    EXPECT_EQ(LogTexts("testlog.csv").size(), 4u);

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
    EXPECT_EQ(LogTexts("testlog.csv"),
              (std::vector<std::string>{"OUTOFSERVICE\r", "REINIT\r", "A\r", "B\r", "C\r", "D\r"}));
    EXPECT_FALSE(fs::exists("testlog-waiting.csv"));
    fs::current_path(oldDir);
    fs::remove_all(dir);
}

}  // namespace
