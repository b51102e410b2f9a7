#ifndef _WIN32
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/Platform.h"

namespace platform {

void* LoadLibraryModule(const char* pszName) {
    return dlopen(pszName, RTLD_NOW | RTLD_LOCAL);
}

void RestrictLibrarySearch() {}

std::string SystemLibraryDirectory() {
    return std::string();
}

bool IsFullyQualifiedPath(const std::string& strPath) {
    return strPath.size() > 1 && strPath[0] == '/';
}

std::string EnvironmentValue(const char* pszName) {
    const char* psz = std::getenv(pszName);
    return psz ? std::string(psz) : std::string();
}

void* GetModuleSymbol(void* hModule, const char* pszName) {
    return dlsym(hModule, pszName);
}

std::string ExecutableDirectory() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    std::string s(path, static_cast<size_t>(n));
    const size_t slash = s.rfind('/');
    return slash == std::string::npos ? "." : s.substr(0, slash);
}

int ReadRangeRegistryValue(const char* pszName, DWORD* pdwValue) {
    if (pszName == nullptr || *pszName == '\0' || pdwValue == nullptr) return -1;
    const char* pszFile = std::getenv(kRangesFileVariable);
    if (pszFile == nullptr || *pszFile == '\0') return -1;
    std::ifstream in(pszFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, type, data;
        if (!(fields >> name >> type >> data) || name != pszName) continue;
        if (type != "REG_DWORD") return -1;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(data.c_str(), &end, 0);
        if (end == data.c_str() || *end != '\0' || value > 0xFFFFFFFFull) return -1;
        *pdwValue = static_cast<DWORD>(value);
        return 0;
    }
    return -1;
}

namespace {
LocalTimeSource g_pfnTimeSource = nullptr;
}

void GetLocalTimeNow(SYSTEMTIME* pTime) {
    if (g_pfnTimeSource) {
        g_pfnTimeSource(pTime);
        return;
    }
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    const time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &local);
    pTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    pTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    pTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    pTime->wDay = static_cast<WORD>(local.tm_mday);
    pTime->wHour = static_cast<WORD>(local.tm_hour);
    pTime->wMinute = static_cast<WORD>(local.tm_min);
    pTime->wSecond = static_cast<WORD>(local.tm_sec);
    pTime->wMilliseconds = static_cast<WORD>(tv.tv_usec / 1000);
}

void SetLocalTimeSourceForTests(LocalTimeSource pfnSource) {
    g_pfnTimeSource = pfnSource;
}

void SleepMilliseconds(unsigned nMs) {
    usleep(static_cast<useconds_t>(nMs) * 1000u);
}

CAppendFile::CAppendFile(const std::string& path) {
    m_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (m_fd < 0) return;
    // An open-file-description lock conflicts with every other writer that
    // asks for one, in this process or another: the POSIX stand-in for
    // opening the file with write sharing denied.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(m_fd, F_OFD_SETLK, &lock) != 0) {
        Close();  // also releases the lock
        return;
    }
    m_bOpen = true;
}

CAppendFile::~CAppendFile() {
    if (m_bOpen && !m_bFailed) CutBack();
    Close();
}

bool CAppendFile::Write(const char* pData, std::size_t cb) {
    if (!m_bOpen || m_bFailed) return false;
    std::size_t written = 0;
    while (written < cb) {
        const ssize_t n = write(m_fd, pData + written, cb - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            CutBack();
            return false;
        }
        written += static_cast<std::size_t>(n);
        m_ullWritten += static_cast<unsigned long long>(n);
    }
    return true;
}

bool CAppendFile::Commit() {
    const bool bKept = m_bOpen && !m_bFailed;
    m_bOpen = false;
    Close();
    return bKept;
}

void CAppendFile::CutBack() {
    m_bFailed = true;
    // No other writer appends while the lock is held, so the append began
    // where the file now ends less what this object wrote. Shrinking needs no
    // room: it succeeds where the write did not.
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return;
    const auto ullSize = static_cast<unsigned long long>(st.st_size);
    const unsigned long long ullStart = ullSize > m_ullWritten ? ullSize - m_ullWritten : 0;
    const int nResult = ftruncate(m_fd, static_cast<off_t>(ullStart));
    (void)nResult;
}

void CAppendFile::Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

bool AppendRecord(const std::string& path, const std::string& text) {
    CAppendFile file(path);
    return file.Write(text) && file.Commit();
}

}  // namespace platform
#endif
