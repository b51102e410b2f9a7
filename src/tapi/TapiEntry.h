// The sixteen TAPI line functions this program calls, bound at run time.
// Nothing links against the telephony library: it is loaded by the first entry
// that is called, and each entry resolves its own export at its own first call.
// A missing library or export makes the entry return LINEERR_OPERATIONUNAVAIL,
// so callers need no special path for a system without TAPI. Neither a failed
// load nor a failed lookup is ever retried.
#pragma once

#include <string>

#include "tapi/TapiAbi.h"

struct LINECALLPARAMS;  // never built by this program; always passed as null

namespace tapi {

LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
LONG lineClose(HLINE hLine);
LONG lineDeallocateCall(HCALL hCall);
LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion, DWORD dwExtVersion,
                        LINEADDRESSCAPS* lpAddressCaps);
LONG lineGetAddressStatus(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* lpAddressStatus);
LONG lineGetCallInfo(HCALL hCall, LINECALLINFO* lpCallInfo);
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus);
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps);
LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus);
LONG lineInitializeEx(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback, LPCSTR lpszFriendlyAppName,
                      DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion, LINEINITIALIZEEXPARAMS* lpLineInitializeExParams);
LONG lineMakeCall(HLINE hLine, HCALL* lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams);
LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtLowVersion,
                             DWORD dwExtHighVersion, DWORD* lpdwExtVersion);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);
LONG lineShutdown(HLINEAPP hLineApp);

// The library this build loads unless another is chosen: the system's own
// TAPI32.DLL, by its full path in the system folder (never one that happens
// to lie beside the program or in the current folder); elsewhere the
// stand-in "libtapi32.so" beside the executable.
std::string DefaultTapiLibraryName();

// Names another TAPI library by its full path, for example the PBX simulator
// of the demo. A value that is not a full path is refused: the load fails
// and every entry answers LINEERR_OPERATIONUNAVAIL, as without TAPI.
constexpr const char* kTapiLibraryVariable = "LINOSCOPE3_TAPI_DLL";

// The library the entry table loads: the one the variable chooses, or the default.
std::string ChosenTapiLibrary();

// For tests only: forget every binding and load `libraryPath` (or the default
// when null) at the next call, as a freshly started program would.
void ResetEntryTableForTests(const char* libraryPath);

// For tests only: how often the library was loaded and exports were looked up
// since the last reset.
struct EntryTableCounters {
    int nLoadAttempts;
    int nLookups;
};
EntryTableCounters GetEntryTableCountersForTests();

}  // namespace tapi
