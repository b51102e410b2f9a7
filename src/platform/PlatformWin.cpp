#ifdef _WIN32
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
