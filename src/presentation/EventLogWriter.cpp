#include "presentation/EventLogWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/Platform.h"

namespace {

constexpr std::size_t kCopyChunk = 64u * 1024u;
constexpr unsigned kRetryStepMs = 100;

// Records in a file: its line ends, plus one for a last record cut short.
std::size_t CountRecords(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) return 0;
    std::size_t nRecords = 0;
    char chLast = '\n';
    std::string strChunk(kCopyChunk, '\0');
    while (in) {
        in.read(strChunk.data(), static_cast<std::streamsize>(strChunk.size()));
        const std::size_t n = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < n; ++i) {
            if (strChunk[i] == '\n') ++nRecords;
        }
        if (n > 0) chLast = strChunk[n - 1];
    }
    return chLast == '\n' ? nRecords : nRecords + 1;
}

bool FileIsGone(const std::string& strPath) {
    std::error_code ec;
    return !std::filesystem::exists(strPath, ec) && !ec;
}

void Release(std::string& strMemory) {
    // A large backlog gives its memory back; a small one keeps it for reuse.
    if (strMemory.capacity() > kCopyChunk) {
        std::string().swap(strMemory);
    } else {
        strMemory.clear();
    }
}

}  // namespace

CEventLogWriter::~CEventLogWriter() {
    Close(0);
}

std::string CEventLogWriter::SideFileOf(const std::string& strPath) {
    const std::size_t nSeparator = strPath.find_last_of("/\\");
    const std::size_t nNameStart = nSeparator == std::string::npos ? 0 : nSeparator + 1;
    const std::size_t nDot = strPath.rfind('.');
    if (nDot == std::string::npos || nDot <= nNameStart) return strPath + "-waiting";
    return strPath.substr(0, nDot) + "-waiting" + strPath.substr(nDot);
}

void CEventLogWriter::Write(const std::string& strPath, const std::string& strRecord) {
    if (strPath != m_strPath) {
        m_strPath = strPath;
        TakeOverLeftover();
    }
    const std::size_t cbBefore = m_strMemory.size();
    m_strMemory += strRecord;
    ++m_nMemoryRecords;
    if (!Flush()) KeepWithinBudget(cbBefore);
}

bool CEventLogWriter::Flush() {
    if (m_bSideStale) RemoveSideFile();
    if (m_nMemoryRecords == 0 && m_nSideRecords == 0) return true;
    if (m_strPath.empty()) return false;
    // One append for everything, oldest first: the side file, then memory.
    // Should any part fail, the log is cut back and all of it waits on.
    platform::CAppendFile log(m_strPath);
    m_bHeld = !log.IsOpen();
    if (m_bHeld) return false;
    if (m_nSideRecords > 0 && !CopySideFile(log)) return false;
    if (!log.Write(m_strMemory) || !log.Commit()) return false;
    if (m_nSideRecords > 0) {
        m_nSideRecords = 0;
        RemoveSideFile();
    }
    m_nMemoryRecords = 0;
    Release(m_strMemory);
    return true;
}

void CEventLogWriter::Close(unsigned nWaitMs) {
    for (unsigned nWaited = 0; !Flush(); nWaited += kRetryStepMs) {
        if (nWaited >= nWaitMs) {
            if (!MoveMemoryToSideFile()) {
                m_nDropped += m_nMemoryRecords;
                m_nMemoryRecords = 0;
                Release(m_strMemory);
            }
            return;
        }
        platform::SleepMilliseconds(kRetryStepMs);
    }
}

void CEventLogWriter::TakeOverLeftover() {
    // One side file at a time: one still in use keeps its place.
    if (m_nSideRecords > 0 || m_bSideStale) return;
    const std::string strSide = SideFileOf(m_strPath);
    const std::size_t nRecords = CountRecords(strSide);
    if (nRecords == 0) return;
    m_strSidePath = strSide;
    m_nSideRecords = nRecords;
}

bool CEventLogWriter::CopySideFile(platform::CAppendFile& log) {
    std::ifstream in(m_strSidePath, std::ios::binary);
    if (!in) {
        if (!FileIsGone(m_strSidePath)) return false;  // unreadable for now: later
        // Removed by someone else: nothing left to copy.
        m_nSideRecords = 0;
        m_strSidePath.clear();
        return true;
    }
    std::string strChunk(kCopyChunk, '\0');
    char chLast = '\n';
    while (in) {
        in.read(strChunk.data(), static_cast<std::streamsize>(strChunk.size()));
        const std::size_t n = static_cast<std::size_t>(in.gcount());
        if (n == 0) break;
        if (!log.Write(strChunk.data(), n)) return false;
        chLast = strChunk[n - 1];
    }
    if (in.bad()) return false;
    // A record cut short when an earlier run died still ends its own line.
    return chLast == '\n' || log.Write("\r\n", 2);
}

bool CEventLogWriter::MoveMemoryToSideFile() {
    if (m_nMemoryRecords == 0) return true;
    if (m_strPath.empty()) return false;
    if (m_bSideStale && !RemoveSideFile()) return false;
    if (m_strSidePath.empty()) m_strSidePath = SideFileOf(m_strPath);
    platform::CAppendFile side(m_strSidePath);
    if (!side.Write(m_strMemory) || !side.Commit()) return false;
    m_nSideRecords += m_nMemoryRecords;
    m_nMemoryRecords = 0;
    Release(m_strMemory);
    return true;
}

bool CEventLogWriter::RemoveSideFile() {
    // Its records are in the log now: it must never be taken over again.
    // Removing it may be refused (a reader holds it); emptying it does as well.
    bool bGone = std::remove(m_strSidePath.c_str()) == 0 || FileIsGone(m_strSidePath);
    if (!bGone) {
        std::ofstream empty(m_strSidePath, std::ios::binary | std::ios::trunc);
        bGone = empty.is_open();
    }
    m_bSideStale = !bGone;
    if (bGone) m_strSidePath.clear();
    return bGone;
}

void CEventLogWriter::KeepWithinBudget(std::size_t cbBefore) {
    if (m_strMemory.size() <= m_cbBudget || MoveMemoryToSideFile()) return;
    if (m_strMemory.size() <= 2 * m_cbBudget) return;
    // Neither file takes records and memory is full: the newest is lost.
    m_strMemory.resize(cbBefore);
    --m_nMemoryRecords;
    ++m_nDropped;
}
