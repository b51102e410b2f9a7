// Files and settings the tests share: reading a whole file, a temporary name
// of this process's own, and the classification key's range values set the
// way a technician sets them (natively the values file, under Wine the real
// registry). Header only: tests/support is no test program of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

inline std::string ReadFileBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& strPath, const std::string& strBytes,
                           std::ios::openmode mode = std::ios::trunc) {
    std::ofstream(strPath, std::ios::binary | mode) << strBytes;
}

// Sets a variable of this process's environment, or removes it when the
// value is empty.
inline void SetEnvironment(const char* pszName, const std::string& strValue) {
#ifdef _WIN32
    SetEnvironmentVariableA(pszName, strValue.empty() ? nullptr : strValue.c_str());
#else
    strValue.empty() ? unsetenv(pszName) : setenv(pszName, strValue.c_str(), 1);
#endif
}

// A name in the temporary folder that no other test program running at the
// same time uses: the base name with this process's identifier.
inline std::filesystem::path UniqueTempPath(const std::string& strBase) {
#ifdef _WIN32
    const unsigned long ulPid = GetCurrentProcessId();
#else
    const unsigned long ulPid = static_cast<unsigned long>(getpid());
#endif
    return std::filesystem::temp_directory_path() / (strBase + "_" + std::to_string(ulPid));
}

// Which registry view a value goes to under Windows: the test program's own
// (the 32-bit view for a 32-bit program on 64-bit Windows), or one named.
// Natively there is one values file, whatever the view.
enum class ERegView { kOwn, k32, k64 };

// The classification key, empty (in both views) while the object lives unless
// values are set: a REG_DWORD, a REG_SZ, or (Set) under Windows a REG_DWORD
// of any length, as a careless tool can write one.
class CRangeValues {
public:
    CRangeValues() {
#ifndef _WIN32
        setenv(platform::kRangesFileVariable, m_path.c_str(), 1);
#endif
        Clear();
    }
    ~CRangeValues() {
        Clear();
#ifndef _WIN32
        unsetenv(platform::kRangesFileVariable);
#endif
    }
    CRangeValues(const CRangeValues&) = delete;
    CRangeValues& operator=(const CRangeValues&) = delete;
    void SetDword(const char* pszName, DWORD dwValue, ERegView view = ERegView::kOwn) {
        Set(pszName, false, &dwValue, 4, view);
    }
    void SetString(const char* pszName, const char* pszText, ERegView view = ERegView::kOwn) {
        Set(pszName, true, pszText, static_cast<DWORD>(std::strlen(pszText) + 1), view);
    }
#ifdef _WIN32
    // True when the program runs on 64-bit Windows, where the two views differ.
    static bool HasTwoViews() {
        BOOL bWow64 = FALSE;
        return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64);
    }
    void Clear() {
        for (REGSAM sam : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, sam, 0);
    }
    void Set(const char* pszName, bool bText, const void* pData, DWORD cb, ERegView view) {
        const REGSAM samView = view == ERegView::k32 ? KEY_WOW64_32KEY : view == ERegView::k64 ? KEY_WOW64_64KEY : 0;
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, 0, nullptr, 0, KEY_WRITE | samView,
                                  nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        const DWORD dwType = bText ? REG_SZ : REG_DWORD;
        ASSERT_EQ(RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cb), ERROR_SUCCESS);
        RegCloseKey(hKey);
    }
#else
    void Clear() {
        std::remove(m_path.c_str());
    }

private:
    void Set(const char* pszName, bool bText, const void* pData, DWORD, ERegView) {
        std::ofstream(m_path, std::ios::app)
            << pszName
            << (bText ? " REG_SZ " + std::string(static_cast<const char*>(pData))
                      : " REG_DWORD " + std::to_string(*static_cast<const DWORD*>(pData)))
            << "\n";
    }
    const std::string m_path = UniqueTempPath("lsc_ranges").string();
#endif
};

// Holds a file open for writing with write sharing refused, as a spreadsheet
// program holds an open CSV, until Release (and again after Hold).
class CFileHolder {
public:
    explicit CFileHolder(const std::string& strPath) : m_strPath(strPath) { Hold(); }
    ~CFileHolder() { Release(); }
    CFileHolder(const CFileHolder&) = delete;
    CFileHolder& operator=(const CFileHolder&) = delete;
    void Hold() {
        Release();
#ifdef _WIN32
        const HANDLE hFile = CreateFileA(m_strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        m_handle = hFile == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(hFile);
#else
        m_handle = open(m_strPath.c_str(), O_RDWR | O_CREAT, 0666);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        if (IsHeld() && fcntl(static_cast<int>(m_handle), F_OFD_SETLK, &lock) != 0) Release();
#endif
    }
    bool IsHeld() const {
        return m_handle != -1;
    }
    void Release() {
#ifdef _WIN32
        if (IsHeld()) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
#else
        if (IsHeld()) close(static_cast<int>(m_handle));
#endif
        m_handle = -1;
    }

private:
    std::intptr_t m_handle = -1;
    std::string m_strPath;
};
