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
#include <sstream>
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
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFileBytes(const std::string& strPath, const std::string& strBytes,
                           std::ios::openmode mode = std::ios::trunc) {
    std::ofstream(strPath, std::ios::binary | mode) << strBytes;
}
inline void AppendFileBytes(const std::string& strPath, const std::string& strBytes) {
    WriteFileBytes(strPath, strBytes, std::ios::app);
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
    CRangeValues() {
#ifndef _WIN32
        m_path = UniqueTempPath("lsc_ranges").string();
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
        Set(pszName, "REG_DWORD", std::to_string(dwValue), &dwValue, 4, view);
    }
    void SetString(const char* pszName, const char* pszText, ERegView view = ERegView::kOwn) {
        Set(pszName, "REG_SZ", pszText, pszText, static_cast<DWORD>(std::strlen(pszText) + 1), view);
    }
#ifdef _WIN32
    // A REG_DWORD value of cb bytes, as a careless tool can write one.
    void SetDwordBytes(const char* pszName, const void* pData, DWORD cb, ERegView view = ERegView::kOwn) {
        Set(pszName, "REG_DWORD", "", pData, cb, view);
    }
    // True when the program runs on 64-bit Windows, where the two views differ.
    static bool HasTwoViews() {
        BOOL bWow64 = FALSE;
        return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64);
    }
#endif
    void Clear() {
#ifdef _WIN32
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, KEY_WOW64_32KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, KEY_WOW64_64KEY, 0);
#else
        std::remove(m_path.c_str());
#endif
    }

private:
    void Set(const char* pszName, const char* pszType, const std::string& strText, const void* pData, DWORD cb,
             ERegView view) {
#ifdef _WIN32
        (void)strText;
        const REGSAM samView = view == ERegView::k32 ? KEY_WOW64_32KEY : view == ERegView::k64 ? KEY_WOW64_64KEY : 0;
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::kRangesRegistryKey, 0, nullptr, 0, KEY_WRITE | samView,
                                  nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(hKey, pszName, 0, std::strcmp(pszType, "REG_SZ") == 0 ? REG_SZ : REG_DWORD,
                                 static_cast<const BYTE*>(pData), cb),
                  ERROR_SUCCESS);
        RegCloseKey(hKey);
#else
        (void)pData;
        (void)cb;
        (void)view;
        std::ofstream(m_path, std::ios::app) << pszName << " " << pszType << " " << strText << "\n";
#endif
    }
    std::string m_path;
};

// Holds a file open for writing with write sharing refused, as a spreadsheet
// program holds an open CSV, until Release (and again after Hold).
class CFileHolder {
public:
    explicit CFileHolder(const std::string& strPath) : m_strPath(strPath) { Hold(); }
    void Hold() {
        Release();
#ifdef _WIN32
        m_hFile = CreateFileA(m_strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        m_bHeld = m_hFile != INVALID_HANDLE_VALUE;
#else
        m_fd = open(m_strPath.c_str(), O_RDWR | O_CREAT, 0666);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        m_bHeld = m_fd >= 0 && fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
#endif
    }
    ~CFileHolder() {
        Release();
    }
    CFileHolder(const CFileHolder&) = delete;
    CFileHolder& operator=(const CFileHolder&) = delete;
    bool IsHeld() const {
        return m_bHeld;
    }
    void Release() {
#ifdef _WIN32
        if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
#else
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
#endif
        m_bHeld = false;
    }

private:
    std::string m_strPath;
#ifdef _WIN32
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
#else
    int m_fd = -1;
#endif
    bool m_bHeld = false;
};
