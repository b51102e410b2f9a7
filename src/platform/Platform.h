// The few operating-system services the portable core needs, with one
// implementation for Windows and one for POSIX systems.
#pragma once

#include <cstddef>
#include <string>

#include "platform/WinTypes.h"

namespace platform {

// Loads a shared library; null when it cannot be loaded. On Windows a library
// named by its full path brings the libraries it needs from its own folder
// or the system's, never from the program's folder or the current one.
void* LoadLibraryModule(const char* pszName);
// Takes the program's folder and the current folder out of the search for
// libraries loaded by name later (the system folder only, where Windows
// offers that). Call first thing at start; nothing to do on POSIX.
void RestrictLibrarySearch();
// The folder of the system's own libraries (Windows: System32); empty when
// unknown or when the platform has none.
std::string SystemLibraryDirectory();
// Whether the path names one file whatever the current folder and drive are:
// "C:\x" or "\\server\share\x" on Windows, "/x" on POSIX.
bool IsFullyQualifiedPath(const std::string& strPath);
// An environment variable's value; empty when it is not set.
std::string EnvironmentValue(const char* pszName);
// Resolves an exported symbol; null when the module lacks it.
void* GetModuleSymbol(void* hModule, const char* pszName);
// Folder of the running executable, without a trailing separator.
std::string ExecutableDirectory();

// Reads one DWORD value of the line classification key
// (HKEY_LOCAL_MACHINE\SOFTWARE\Talvora\ZR_40N_LS2 on Windows: the 32-bit
// registry view first, where the maker's 32-bit tools write it, then the 64-bit
// view). Returns 0 when the value was read and stored, -1 otherwise: missing
// key or value, a type other than REG_DWORD (or one not 4 bytes long), a null
// or empty name or a null out pointer. Read afresh at every call. On POSIX the key is a text file named by the
// environment variable LINOSCOPE3_RANGES_FILE, one value a line: NAME TYPE DATA, for example "CO_LOW REG_DWORD 0x1000"
// (decimal or 0x hex data).
int ReadRangeRegistryValue(const char* pszName, DWORD* pdwValue);
constexpr const char* kRangesFileVariable = "LINOSCOPE3_RANGES_FILE";
constexpr const char* kRangesRegistryKey = "SOFTWARE\\Talvora\\ZR_40N_LS2";

// Local time with milliseconds.
void GetLocalTimeNow(SYSTEMTIME* pTime);
// For tests: replaces the clock (null restores the system's).
using LocalTimeSource = void (*)(SYSTEMTIME* pTime);
void SetLocalTimeSourceForTests(LocalTimeSource pfnSource);
// Lets the calling thread wait.
void SleepMilliseconds(unsigned nMs);

// One append to a file that lands whole or not at all. The file (created when
// missing) is opened with other writers shut out while it is open (readers are
// welcome). When a Write cannot put all its bytes into the file (disk full,
// quota, a file-size limit), the file is cut back at once to its size before
// the append and every later Write fails; an append that is never committed
// is cut back the same way when the object goes.
class CAppendFile {
public:
    explicit CAppendFile(const std::string& path);
    ~CAppendFile();
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;

    // False when the file could not be opened, for example while another
    // program holds it without write sharing.
    bool IsOpen() const { return m_bOpen; }
    bool Write(const char* pData, std::size_t cb);
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    // Keeps what was written and closes the file; false when nothing could be
    // kept (not open, or a Write failed).
    bool Commit();

private:
    void CutBack();
    void Close();

    bool m_bOpen = false;
    bool m_bFailed = false;
#ifdef _WIN32
    unsigned long long m_ullStartSize = 0;
    void* m_hFile = nullptr;
#else
    unsigned long long m_ullWritten = 0;
    int m_fd = -1;
#endif
};

// Appends `text` to the file at `path` through CAppendFile: either all of it
// is in the file afterwards, or none of it and the result is false.
bool AppendRecord(const std::string& path, const std::string& text);

}  // namespace platform
