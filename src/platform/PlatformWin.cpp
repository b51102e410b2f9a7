#ifdef _WIN32
#include <cstring>

#include "platform/Platform.h"

namespace platform {

void* LoadLibraryModule(const char* pszName) { return reinterpret_cast<void*>(LoadLibraryA(pszName)); }

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

int ReadRangeRegistryValue(const char* pszName, DWORD* pdwValue) {
    if (pszName == nullptr || *pszName == '\0' || pdwValue == nullptr) return -1;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRangesRegistryKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return -1;
    BYTE data[256] = {};
    DWORD dwSize = sizeof(data);
    DWORD dwType = 0;
    if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, data, &dwSize) != ERROR_SUCCESS) {
        RegCloseKey(hKey);
        return -1;
    }
    if (dwType != REG_DWORD) {
        RegCloseKey(hKey);
        return -1;
    }
    DWORD value = 0;
    std::memcpy(&value, data, dwSize < 4 ? dwSize : 4);
    *pdwValue = value;
    return RegCloseKey(hKey) == ERROR_SUCCESS ? 0 : -1;
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

void SetLocalTimeSourceForTests(LocalTimeSource pfnSource) { g_pfnTimeSource = pfnSource; }

bool AppendRecord(const std::string& path, const std::string& text) {
    // Readers may share the file; writers are shut out while it is open.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = SetFilePointer(h, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    DWORD written = 0;
    if (ok) ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(h);
    return ok;
}

}  // namespace platform
#endif
