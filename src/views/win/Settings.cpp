#include "views/win/Settings.h"

#include <string>

namespace settings {

namespace {

std::string SettingsKey() {
    return std::string(kApplicationKey) + "\\Settings";
}

}  // namespace

BOOL ReadInt(const char* pszName, int& nValue) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) {
        return FALSE;
    }
    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof dwValue;
    const LONG nResult = RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbValue);
    RegCloseKey(hKey);
    if (nResult != ERROR_SUCCESS || dwType != REG_DWORD || cbValue != sizeof dwValue) return FALSE;
    nValue = static_cast<int>(dwValue);
    return TRUE;
}

void WriteInt(const char* pszName, int nValue) {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD dwValue = static_cast<DWORD>(nValue);
    RegSetValueExA(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue);
    RegCloseKey(hKey);
}

}  // namespace settings
