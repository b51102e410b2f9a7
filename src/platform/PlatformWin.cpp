#ifdef _WIN32
#include "platform/Platform.h"

namespace platform {

void* LoadLibraryModule(const char* pszName) {
    // With a full path, the altered search order looks for the library's own
    // needs in its folder and the system's, not in the program's folder.
    // The loader wants backslashes in a path.
    std::string strName = pszName;
    if (!IsFullyQualifiedPath(strName)) return reinterpret_cast<void*>(LoadLibraryA(pszName));
    for (char& c : strName) c = c == '/' ? '\\' : c;
    return reinterpret_cast<void*>(LoadLibraryExA(strName.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void RestrictLibrarySearch() {
    // Windows 7 without its loader update lacks SetDefaultDllDirectories;
    // SetDllDirectoryA("") still takes the current folder out there.
    using PfnSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    void* pfn = hKernel ? reinterpret_cast<void*>(GetProcAddress(hKernel, "SetDefaultDllDirectories")) : nullptr;
    if (pfn) reinterpret_cast<PfnSetDefaultDllDirectories>(pfn)(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
}

std::string SystemLibraryDirectory() {
    char path[MAX_PATH];
    const UINT n = GetSystemDirectoryA(path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

bool IsFullyQualifiedPath(const std::string& strPath) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    // "\\server\share\..." and "\\?\C:\..."
    if (strPath.size() > 2 && separator(strPath[0]) && separator(strPath[1])) return true;
    // "C:\..." but not "C:name" (relative to that drive's current folder)
    const char c = strPath.empty() ? '\0' : strPath[0];
    return strPath.size() > 3 && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && strPath[1] == ':' &&
           separator(strPath[2]);
}

std::string EnvironmentValue(const char* pszName) {
    const DWORD n = GetEnvironmentVariableA(pszName, nullptr, 0);
    if (n == 0) return std::string();
    std::string str(n, '\0');
    const DWORD nCopied = GetEnvironmentVariableA(pszName, str.data(), n);
    str.resize(nCopied < n ? nCopied : 0);
    return str;
}

void* GetModuleSymbol(void* hModule, const char* pszName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(hModule), pszName));
}

std::string ExecutableDirectory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ".";
    std::string s(path, n);
    const size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? "." : s.substr(0, slash);
}

namespace {

// One value of the classification key in one registry view: true when it is
// there as a REG_DWORD and was stored. Closing the key must succeed too.
bool ReadRangeValueInView(REGSAM samView, const char* pszName, DWORD* pdwValue) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRangesRegistryKey, 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    DWORD dwSize = sizeof(value);
    DWORD dwType = 0;
    const bool bRead =
        RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&value), &dwSize) == ERROR_SUCCESS &&
        dwType == REG_DWORD && dwSize == sizeof(value);
    if (RegCloseKey(hKey) != ERROR_SUCCESS || !bRead) return false;
    *pdwValue = value;
    return true;
}

}  // namespace

int ReadRangeRegistryValue(const char* pszName, DWORD* pdwValue) {
    if (pszName == nullptr || *pszName == '\0' || pdwValue == nullptr) return -1;
    // The maker's set-up tools are 32-bit programs: on 64-bit Windows they
    // write the key into the 32-bit view. Both builds look there first, then
    // in the 64-bit view, so both sort the lines alike. On 32-bit Windows the
    // two flags name the one registry there is.
    for (REGSAM samView : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        if (ReadRangeValueInView(samView, pszName, pdwValue)) return 0;
    }
    return -1;
}

namespace {
LocalTimeSource g_pfnTimeSource = nullptr;
}

void GetLocalTimeNow(SYSTEMTIME* pTime) {
    if (g_pfnTimeSource)
        g_pfnTimeSource(pTime);
    else
        GetLocalTime(pTime);
}

void SetLocalTimeSourceForTests(LocalTimeSource pfnSource) {
    g_pfnTimeSource = pfnSource;
}

void SleepMilliseconds(unsigned nMs) {
    Sleep(nMs);
}

CAppendFile::CAppendFile(const std::string& path) {
    // Readers may share the file; writers are shut out while it is open.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    m_hFile = h;
    // The end, where the append begins and where a failed one is cut back to.
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(h, zero, &end, FILE_END)) {
        Close();
        return;
    }
    m_ullStartSize = static_cast<unsigned long long>(end.QuadPart);
    m_bOpen = true;
}

CAppendFile::~CAppendFile() {
    if (m_bOpen && !m_bFailed) CutBack();
    Close();
}

bool CAppendFile::Write(const char* pData, std::size_t cb) {
    if (!m_bOpen || m_bFailed) return false;
    while (cb > 0) {
        const DWORD dwChunk = cb > 0x40000000u ? 0x40000000u : static_cast<DWORD>(cb);
        DWORD dwWritten = 0;
        if (!WriteFile(static_cast<HANDLE>(m_hFile), pData, dwChunk, &dwWritten, nullptr) || dwWritten == 0) {
            CutBack();
            return false;
        }
        pData += dwWritten;
        cb -= dwWritten;
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
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(m_ullStartSize);
    if (SetFilePointerEx(static_cast<HANDLE>(m_hFile), start, nullptr, FILE_BEGIN)) {
        SetEndOfFile(static_cast<HANDLE>(m_hFile));
    }
}

void CAppendFile::Close() {
    if (m_hFile != nullptr) CloseHandle(static_cast<HANDLE>(m_hFile));
    m_hFile = nullptr;
}

bool AppendRecord(const std::string& path, const std::string& text) {
    CAppendFile file(path);
    return file.Write(text) && file.Commit();
}

}  // namespace platform
#endif
