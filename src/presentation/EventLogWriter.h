// CEventLogWriter: puts complete event-log records into the log file, in
// order, and never loses one that it could not write yet.
//
// A record goes into the file whole or not at all (platform::CAppendFile).
// While the file cannot take it (another program holds it without write
// sharing, the disk is full), the record waits in memory behind the others
// and every later record, every Flush and every Close tries again, oldest
// first. Past the memory budget the waiting records move, in order, to the
// side file beside the log ("testlog.csv" waits in "testlog-waiting.csv");
// the side file's records are older than those in memory and go into the log
// first, after which the side file is removed. A side file left by an earlier
// run is taken over at the first record and goes into the log before it. A
// record is dropped only when neither the log nor the side file takes it and
// memory already holds twice the budget; drops are counted.
#pragma once

#include <cstddef>
#include <string>

namespace platform {
class CAppendFile;
}

class CEventLogWriter {
public:
    static constexpr std::size_t kMemoryBudget = 16u * 1024u * 1024u;
    // How long the end of the program keeps trying a held log file.
    static constexpr unsigned kFinalWaitMs = 2000;

    CEventLogWriter() = default;
    // Close without waiting: what still waits ends up in the side file.
    ~CEventLogWriter();
    CEventLogWriter(const CEventLogWriter&) = delete;
    CEventLogWriter& operator=(const CEventLogWriter&) = delete;

    // Appends one record (time stamp to CR LF) to the log file at strPath,
    // after everything that waits; when the file does not take it, it waits.
    // The name is resolved afresh at every write and remembered for Flush.
    void Write(const std::string& strPath, const std::string& strRecord);
    // Writes everything waiting into the log file last named; true when
    // nothing waits any more.
    bool Flush();
    // The end: tries Flush for up to nWaitMs, then moves whatever is still in
    // memory to the side file.
    void Close(unsigned nWaitMs);

    // Records waiting, in memory and in the side file.
    std::size_t GetWaitingCount() const { return m_nMemoryRecords + m_nSideRecords; }
    std::size_t GetSideFileCount() const { return m_nSideRecords; }
    // The last attempt could not open the log file (another program holds it,
    // or its folder refuses it).
    bool IsFileHeld() const { return m_bHeld; }
    // Records lost because neither the log nor the side file took them.
    std::size_t GetDroppedCount() const { return m_nDropped; }
    // Bytes of waiting record text held in memory.
    std::size_t GetMemoryBytes() const { return m_strMemory.size(); }
    void SetMemoryBudget(std::size_t cbBudget) { m_cbBudget = cbBudget; }

    // The side file of a log file: same folder, "-waiting" before the
    // extension ("testlog.csv" -> "testlog-waiting.csv").
    static std::string SideFileOf(const std::string& strPath);

private:
    void TakeOverLeftover();
    bool CopySideFile(platform::CAppendFile& log);
    bool MoveMemoryToSideFile();
    bool RemoveSideFile();
    void KeepWithinBudget(std::size_t cbBefore);

    std::string m_strPath;
    // Waiting records held in memory, oldest first, as they go into the file.
    std::string m_strMemory;
    std::size_t m_nMemoryRecords = 0;
    // The side file in use (empty when none) and how many records it holds.
    std::string m_strSidePath;
    std::size_t m_nSideRecords = 0;
    // The side file's records are in the log already but it could not be
    // removed: it takes nothing until it is gone.
    bool m_bSideStale = false;
    bool m_bHeld = false;
    std::size_t m_nDropped = 0;
    std::size_t m_cbBudget = kMemoryBudget;
};
