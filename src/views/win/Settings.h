// The program's settings: where the main window was and how wide its panes
// were, the size of the Information dialog. They live under
// HKEY_CURRENT_USER\Software\Local AppWizard-Generated Applications\Linoscope3,
// in the "Settings" key, one REG_DWORD per value.
#pragma once

#include "platform/WinTypes.h"

namespace settings {

inline constexpr char kApplicationKey[] = "Software\\Local AppWizard-Generated Applications\\Linoscope3";

// FALSE when the value is missing or is not a REG_DWORD; nValue is then untouched.
BOOL ReadInt(const char* pszName, int& nValue);
void WriteInt(const char* pszName, int nValue);

}  // namespace settings
