// The few operating-system services the portable core needs, with one
// implementation for Windows and one for POSIX systems.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace platform {

// Loads a shared library; null when it cannot be loaded.
void* LoadLibraryModule(const char* pszName);
// Resolves an exported symbol; null when the module lacks it.
void* GetModuleSymbol(void* hModule, const char* pszName);
// Folder of the running executable, without a trailing separator.
std::string ExecutableDirectory();

// Reads one DWORD value of the line classification key
// (HKEY_LOCAL_MACHINE\SOFTWARE\Talvora\ZR_40N_LS2 on Windows: the 32-bit
// registry view first, where the maker's 32-bit tools write it, then the 64-bit
// view). Returns 0 when the value was read and stored, -1 otherwise: missing
// key or value, a type other than REG_DWORD (or one not 4 bytes long), a null
// or empty name or a null out pointer. Read afresh at every call. On POSIX the key is a text file named by the environment
// variable LINOSCOPE3_RANGES_FILE, one value a line: NAME TYPE DATA, for
// example "CO_LOW REG_DWORD 0x1000" (decimal or 0x hex data).
int ReadRangeRegistryValue(const char* pszName, DWORD* pdwValue);
constexpr const char* kRangesFileVariable = "LINOSCOPE3_RANGES_FILE";
constexpr const char* kRangesRegistryKey = "SOFTWARE\\Talvora\\ZR_40N_LS2";

// Local time with milliseconds.
void GetLocalTimeNow(SYSTEMTIME* pTime);
// For tests: replaces the clock (null restores the system's).
using LocalTimeSource = void (*)(SYSTEMTIME* pTime);
void SetLocalTimeSourceForTests(LocalTimeSource pfnSource);

// Appends `text` to the file at `path` (created when missing): opened, written
// and closed within the call, with other writers shut out while it is open
// (readers are welcome). Returns false, writing nothing, when the file cannot
// be opened, for example while another program holds it without write sharing.
bool AppendRecord(const std::string& path, const std::string& text);

}  // namespace platform
