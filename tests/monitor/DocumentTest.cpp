// The document: a new document starts monitoring, deleting its contents
// shuts the monitor down, and a restart after a cancelled start-up closes
// the old lines before TAPI is initialized again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_tapi/FakeTapi.h"
#include "monitor/LinoscopeDoc.h"
#include "monitor/TestApp.h"
#include "reports/Snapshots.h"
#include "StartupScene.h"

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

TEST_F(DocumentTest, NewDocumentStartsAMonitorAndDeleteContentsShutsItDown) {
    Devices({0x3000, 0x1000});
    CLinoscopeDoc doc;
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

TEST_F(DocumentTest, FailedStartupStillGivesADocument) {
    {
        CLinoscopeDoc doc;
        EXPECT_TRUE(doc.OnNewDocument());  // zero devices
        EXPECT_TRUE(doc.m_bInitFailed);
        ASSERT_NE(doc.m_pMonitor, nullptr);  // kept until the document is replaced
        EXPECT_EQ(fake.Sequence(), "lineInitializeEx");
    }
    // Destroying the document releases the monitor, which shuts TAPI down.
    EXPECT_EQ(fake.Sequence(), "lineInitializeEx,lineShutdown");
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
    EXPECT_EQ(Arg(fake.CallsOf("lineClose"), 0), (std::vector<DWORD_PTR>{CFakeTapi::LineHandleFor(0),
                                                                        CFakeTapi::LineHandleFor(1),
                                                                        CFakeTapi::LineHandleFor(2)}));
    EXPECT_EQ(doc.m_pMonitor->GetCoLine(1)->m_hLine, CFakeTapi::LineHandleFor(3));
}

}  // namespace
