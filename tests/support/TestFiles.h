// Files and settings the tests share: reading a whole file, a temporary name
// of this process's own, and the classification key's range values set the
// way a technician sets them (natively the values file, under Wine the real
// registry). Header only: tests/support is no test program of its own.
#pragma once

#include <gtest/gtest.h>

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
inline void AppendFileBytes(const std::string& strPath, const std::string& strBytes) {
    WriteFileBytes(strPath, strBytes, std::ios::app);
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
// values are set.
class CRangeValues {
public:
    CRangeValues(const CRangeValues&) = delete;
    CRangeValues& operator=(const CRangeValues&) = delete;
#ifdef _WIN32
    CRangeValues() {
        Clear();
    }
    ~CRangeValues() {
        Clear();
    }
    void SetDword(const char* pszName, DWORD dwValue, ERegView view = ERegView::kOwn) {
        SetDwordBytes(pszName, &dwValue, 4, view);
    }
    void SetString(const char* pszName, const char* pszText, ERegView view = ERegView::kOwn) {
        Set(pszName, REG_SZ, pszText, static_cast<DWORD>(std::strlen(pszText) + 1), view);
    }
    // A REG_DWORD value of cb bytes, as a careless tool can write one.
    void SetDwordBytes(const char* pszName, const void* pData, DWORD cb, ERegView view = ERegView::kOwn) {
        Set(pszName, REG_DWORD, pData, cb, view);
    }
    // True when the program runs on 64-bit Windows, where the two views differ.
    static bool HasTwoViews() {
        BOOL bWow64 = FALSE;
        return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64);
    }
    void Clear() {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, KEY_WOW64_32KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, KEY_WOW64_64KEY, 0);
    }

private:
    void Set(const char* pszName, DWORD dwType, const void* pData, DWORD cb, ERegView view) {
        const REGSAM samView = view == ERegView::k32 ? KEY_WOW64_32KEY : view == ERegView::k64 ? KEY_WOW64_64KEY : 0;
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, 0, nullptr, 0, KEY_WRITE | samView,
                                  nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cb), ERROR_SUCCESS);
        RegCloseKey(hKey);
    }
#else
    CRangeValues() {
        setenv(platform::kRangesFileVariable, m_path.c_str(), 1);
        Clear();
    }
    ~CRangeValues() {
        Clear();
        unsetenv(platform::kRangesFileVariable);
    }
    void SetDword(const char* pszName, DWORD dwValue, ERegView = ERegView::kOwn) {
        std::ofstream(m_path, std::ios::app) << pszName << " REG_DWORD " << dwValue << "\n";
    }
    void SetString(const char* pszName, const char* pszText, ERegView = ERegView::kOwn) {
        std::ofstream(m_path, std::ios::app) << pszName << " REG_SZ " << pszText << "\n";
    }
    void Clear() {
        std::remove(m_path.c_str());
    }

private:
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
        m_hFile = CreateFileA(m_strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        m_fd = open(m_strPath.c_str(), O_RDWR | O_CREAT, 0666);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        if (m_fd >= 0 && fcntl(m_fd, F_OFD_SETLK, &lock) != 0) Release();
#endif
    }
#ifdef _WIN32
    bool IsHeld() const {
        return m_hFile != INVALID_HANDLE_VALUE;
    }
    void Release() {
        if (IsHeld()) CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
#else
    bool IsHeld() const {
        return m_fd >= 0;
    }
    void Release() {
        if (IsHeld()) close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
#endif
    std::string m_strPath;
};
