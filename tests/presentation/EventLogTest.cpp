// The event log file where the scenes cannot reach it: where a relative name
// lies, a write cut short by a full disk, and the side file's name. (The
// records themselves, a held file and the side file are in the scenes.)
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "monitor/TapiMonitor.h"
#include "presentation/EventLogWriter.h"
#include "support/MonitorInternals.h"
#include "support/TestFiles.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

// The texts of a log's records, without their time stamps.
std::string Texts(const std::string& strPath) {
    std::string strTexts;
    const std::string strLog = ReadFileBytes(strPath);
    for (size_t pos = 0, end; (end = strLog.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        strTexts += strLog.substr(pos + 24, end - pos - 24) + ";";
    return strTexts;
}

TEST(EventLog, ARelativeNameIsResolvedInTheCurrentFolderAtEachWrite) {
    namespace fs = std::filesystem;
    const fs::path oldDir = fs::current_path();
    const fs::path base = UniqueTempPath("lsc_eventlog_dirs");
    fs::remove_all(base);
    fs::create_directories(base / "a");
    fs::create_directories(base / "b");
    CTapiMonitor monitor;
    Internals(monitor).m_strLogFile = "testlog.csv";
    fs::current_path(base / "a");
    monitor.WriteLog("REINIT");
    fs::current_path(base / "b");
    monitor.WriteLog("OUTOFSERVICE");
    fs::current_path(oldDir);
    EXPECT_EQ(Texts((base / "a" / "testlog.csv").string()), "REINIT;");
    EXPECT_EQ(Texts((base / "b" / "testlog.csv").string()), "OUTOFSERVICE;");
    fs::remove_all(base);
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

TEST(EventLog, AWriteCutShortLeavesNothingOfTheRecordsWhichWaitWhole) {
    const std::string strPath = UniqueTempPath("lsc_eventlog_full").string();
    const std::string strEarlier = "an earlier run\r\n";
    WriteFileBytes(strPath, strEarlier);
    CEventLogWriter writer;
    const std::string strFirst = "2004/01/05 13:07:09:045,OUTOFSERVICE\r\n";
    const std::string strSecond = "2004/01/05 13:07:10:000,REINIT\r\n";
    {
        // Room for 10 more bytes: the record is cut back and waits.
        CFileSizeLimit limit(strEarlier.size() + 10);
        writer.Write(strPath, strFirst);
        EXPECT_EQ(ReadFileBytes(strPath), strEarlier);
        EXPECT_EQ(writer.GetWaitingCount(), 1u);
        EXPECT_FALSE(writer.IsFileHeld());
    }
    {
        // Room for the waiting record and half the next: neither goes in.
        CFileSizeLimit limit(strEarlier.size() + strFirst.size() + 15);
        writer.Write(strPath, strSecond);
        EXPECT_EQ(ReadFileBytes(strPath), strEarlier);
        EXPECT_EQ(writer.GetWaitingCount(), 2u);
    }
    EXPECT_TRUE(writer.Flush());
    EXPECT_EQ(ReadFileBytes(strPath), strEarlier + strFirst + strSecond);
    EXPECT_EQ(writer.GetWaitingCount(), 0u);
    std::remove(strPath.c_str());
}
#endif

TEST(EventLog, TheSideFileLiesBesideTheLogWithWaitingBeforeTheExtension) {
    EXPECT_EQ(CEventLogWriter::SideFileOf("testlog.csv"), "testlog-waiting.csv");
    EXPECT_EQ(CEventLogWriter::SideFileOf("C:\\logs.d\\testlog.csv"), "C:\\logs.d\\testlog-waiting.csv");
    EXPECT_EQ(CEventLogWriter::SideFileOf("/tmp/logs.d/testlog"), "/tmp/logs.d/testlog-waiting");
}

}  // namespace
