// The document: a new document starts monitoring, deleting its contents
// shuts the monitor down, and a restart after a cancelled start-up closes
// the old lines before TAPI is initialized again.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_tapi/FakeTapi.h"
#include "monitor/LinoscopeDoc.h"
#include "monitor/TestApp.h"
#include "reports/Snapshots.h"
#include "StartupScene.h"

using namespace startup_scene;

TEST(Document, NewDocumentStartsAMonitorAndDeleteContentsShutsItDown) {
    CFakeTapi fake;
    CTestApp app;
    fake.m_dwNumDevs = 2;
    AddDevice(fake, 0, kMakerProvider, 0x3000);
    AddDevice(fake, 1, kMakerProvider, 0x1000);

    CLinoscopeDoc doc;
    EXPECT_EQ(doc.m_pMonitor, nullptr);
    EXPECT_FALSE(doc.m_bInitFailed);
    EXPECT_TRUE(doc.OnNewDocument());
    ASSERT_NE(doc.m_pMonitor, nullptr);
    EXPECT_FALSE(doc.m_bInitFailed);
    EXPECT_EQ(doc.m_pMonitor->m_strLogFile, "testlog.csv");
    EXPECT_EQ(doc.m_pMonitor->GetExtLineCount(), 1);
    EXPECT_EQ(doc.m_pMonitor->GetCoLineCount(), 1);

    fake.ClearCalls();
    doc.DeleteContents();
    EXPECT_EQ(doc.m_pMonitor, nullptr);
    EXPECT_EQ(fake.Sequence(), "lineClose,lineClose,lineShutdown");
    doc.DeleteContents();  // nothing left to delete
    EXPECT_EQ(fake.Count("lineShutdown"), 1u);
}

TEST(Document, FailedStartupStillGivesADocument) {
    CFakeTapi fake;
    CTestApp app;
    fake.m_dwNumDevs = 0;
    {
        CLinoscopeDoc doc;
        EXPECT_TRUE(doc.OnNewDocument());
        EXPECT_TRUE(doc.m_bInitFailed);
        ASSERT_NE(doc.m_pMonitor, nullptr);  // kept until the document is replaced
        EXPECT_EQ(fake.Sequence(), "lineInitializeEx");
    }
    // Destroying the document releases the monitor, which shuts TAPI down.
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx,lineShutdown");
}

TEST(Document, RestartAfterCancelClosesTheOldLinesFirst) {
    CFakeTapi fake;
    CTestApp app;
    fake.m_dwNumDevs = 4;
    AddDevice(fake, 0, kMakerProvider, 0x3000);  // EXT
    AddDevice(fake, 1, kMakerProvider, 0x3001);  // EXT
    AddDevice(fake, 2, kMakerProvider, 0x1000);  // CO
    AddDevice(fake, 3, kMakerProvider, 0x1001);  // CO
    // Four device queries, two EXT lines, the first CO line: Cancel is seen
    // before the second CO line opens.
    app.m_nCancelOnCheck = 8;

    CLinoscopeDoc doc;
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(doc.m_bInitFailed);
    ASSERT_NE(doc.m_pMonitor, nullptr);
    EXPECT_TRUE(app.m_bTapiStarting);
    EXPECT_EQ(app.m_progress.back(), "destroy");
    CTapiMonitor& first = *doc.m_pMonitor;
    EXPECT_EQ(first.GetExtLine(0)->m_hLine, CFakeTapi::LineHandleFor(0));
    EXPECT_EQ(first.GetExtLine(1)->m_hLine, CFakeTapi::LineHandleFor(1));
    EXPECT_EQ(first.GetCoLine(0)->m_hLine, CFakeTapi::LineHandleFor(2));
    EXPECT_EQ(first.GetCoLine(1)->m_hLine, 0u);
    EXPECT_EQ(fake.Count("lineOpen"), 3u);

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
    EXPECT_EQ(closed, (std::vector<DWORD_PTR>{CFakeTapi::LineHandleFor(0), CFakeTapi::LineHandleFor(1),
                                              CFakeTapi::LineHandleFor(2)}));
    EXPECT_EQ(doc.m_pMonitor->GetCoLine(1)->m_hLine, CFakeTapi::LineHandleFor(3));
    EXPECT_EQ(fake.Count("lineOpen"), 4u);
}
