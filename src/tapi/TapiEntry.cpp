#include "tapi/TapiEntry.h"

#include <cstdint>

#include "platform/Platform.h"

namespace tapi {
namespace {

// A library handle or slot holding this value has failed for good.
void* const kFailed = reinterpret_cast<void*>(~std::uintptr_t{0});

void* g_hLibrary = nullptr;  // null: not loaded yet
std::string g_strLibraryOverride;
bool g_bHaveOverride = false;
EntryTableCounters g_counters{};

struct Slot {
    const char* pszExport;
    void* pfn;  // null: not resolved yet
};

enum SlotIndex {
    kAnswer,
    kClose,
    kDeallocateCall,
    kDrop,
    kGetAddressCaps,
    kGetAddressStatus,
    kGetCallInfo,
    kGetCallStatus,
    kGetDevCaps,
    kGetLineDevStatus,
    kInitializeEx,
    kMakeCall,
    kNegotiateExtVersion,
    kOpen,
    kSetStatusMessages,
    kShutdown,
    kSlotCount
};

// ANSI exports wherever TAPI has both variants.
Slot g_slots[kSlotCount] = {
    {"lineAnswer", nullptr},
    {"lineClose", nullptr},
    {"lineDeallocateCall", nullptr},
    {"lineDrop", nullptr},
    {"lineGetAddressCapsA", nullptr},
    {"lineGetAddressStatusA", nullptr},
    {"lineGetCallInfoA", nullptr},
    {"lineGetCallStatus", nullptr},
    {"lineGetDevCapsA", nullptr},
    {"lineGetLineDevStatus", nullptr},
    {"lineInitializeExA", nullptr},
    {"lineMakeCallA", nullptr},
    {"lineNegotiateExtVersion", nullptr},
    {"lineOpenA", nullptr},
    {"lineSetStatusMessages", nullptr},
    {"lineShutdown", nullptr},
};

LONG BindTapiEntry(const char* pszExport, void** ppSlot) {
    if (g_hLibrary == nullptr) {
        ++g_counters.nLoadAttempts;
        const std::string name = g_bHaveOverride ? g_strLibraryOverride : ChosenTapiLibrary();
        // A bare or relative name would be looked for in the program's or the
        // current folder, where anybody may have dropped a TAPI32.DLL.
        void* h = g_bHaveOverride || platform::IsFullyQualifiedPath(name) ? platform::LoadLibraryModule(name.c_str())
                                                                          : nullptr;
        g_hLibrary = h ? h : kFailed;
    }
    if (g_hLibrary == kFailed) return LINEERR_OPERATIONUNAVAIL;
    ++g_counters.nLookups;
    *ppSlot = platform::GetModuleSymbol(g_hLibrary, pszExport);
    return *ppSlot ? 0 : LINEERR_OPERATIONUNAVAIL;
}

// Resolves the slot on first use; null when the entry is unavailable for good.
template <typename Fn>
Fn Resolve(SlotIndex index) {
    Slot& slot = g_slots[index];
    if (slot.pfn == nullptr && BindTapiEntry(slot.pszExport, &slot.pfn) != 0) slot.pfn = kFailed;
    if (slot.pfn == kFailed) return nullptr;
    return reinterpret_cast<Fn>(slot.pfn);
}

using PfnAnswer = LONG(WINAPI*)(HCALL, LPCSTR, DWORD);
using PfnHLine = LONG(WINAPI*)(HLINE);
using PfnHCall = LONG(WINAPI*)(HCALL);
using PfnGetAddressCaps = LONG(WINAPI*)(HLINEAPP, DWORD, DWORD, DWORD, DWORD, LINEADDRESSCAPS*);
using PfnGetAddressStatus = LONG(WINAPI*)(HLINE, DWORD, LINEADDRESSSTATUS*);
using PfnGetCallInfo = LONG(WINAPI*)(HCALL, LINECALLINFO*);
using PfnGetCallStatus = LONG(WINAPI*)(HCALL, LINECALLSTATUS*);
using PfnGetDevCaps = LONG(WINAPI*)(HLINEAPP, DWORD, DWORD, DWORD, LINEDEVCAPS*);
using PfnGetLineDevStatus = LONG(WINAPI*)(HLINE, LINEDEVSTATUS*);
using PfnInitializeEx = LONG(WINAPI*)(HLINEAPP*, HINSTANCE, LINECALLBACK, LPCSTR, DWORD*, DWORD*,
                                      LINEINITIALIZEEXPARAMS*);
using PfnMakeCall = LONG(WINAPI*)(HLINE, HCALL*, LPCSTR, DWORD, const LINECALLPARAMS*);
using PfnNegotiateExtVersion = LONG(WINAPI*)(HLINEAPP, DWORD, DWORD, DWORD, DWORD, DWORD*);
using PfnOpen = LONG(WINAPI*)(HLINEAPP, DWORD, HLINE*, DWORD, DWORD, DWORD_PTR, DWORD, DWORD, const LINECALLPARAMS*);
using PfnSetStatusMessages = LONG(WINAPI*)(HLINE, DWORD, DWORD);
using PfnShutdown = LONG(WINAPI*)(HLINEAPP);

}  // namespace

#define TAPI_CALL(index, type, ...)                \
    do {                                           \
        type pfn = Resolve<type>(index);           \
        if (!pfn) return LINEERR_OPERATIONUNAVAIL; \
        return pfn(__VA_ARGS__);                   \
    } while (0)

LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    TAPI_CALL(kAnswer, PfnAnswer, hCall, lpsUserUserInfo, dwSize);
}
LONG lineClose(HLINE hLine) {
    TAPI_CALL(kClose, PfnHLine, hLine);
}
LONG lineDeallocateCall(HCALL hCall) {
    TAPI_CALL(kDeallocateCall, PfnHCall, hCall);
}
LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    TAPI_CALL(kDrop, PfnAnswer, hCall, lpsUserUserInfo, dwSize);
}
LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion, DWORD dwExtVersion,
                        LINEADDRESSCAPS* lpAddressCaps) {
    TAPI_CALL(kGetAddressCaps, PfnGetAddressCaps, hLineApp, dwDeviceID, dwAddressID, dwAPIVersion, dwExtVersion,
              lpAddressCaps);
}
LONG lineGetAddressStatus(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* lpAddressStatus) {
    TAPI_CALL(kGetAddressStatus, PfnGetAddressStatus, hLine, dwAddressID, lpAddressStatus);
}
LONG lineGetCallInfo(HCALL hCall, LINECALLINFO* lpCallInfo) {
    TAPI_CALL(kGetCallInfo, PfnGetCallInfo, hCall, lpCallInfo);
}
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus) {
    TAPI_CALL(kGetCallStatus, PfnGetCallStatus, hCall, lpCallStatus);
}
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps) {
    TAPI_CALL(kGetDevCaps, PfnGetDevCaps, hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, lpLineDevCaps);
}
LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus) {
    TAPI_CALL(kGetLineDevStatus, PfnGetLineDevStatus, hLine, lpLineDevStatus);
}
LONG lineInitializeEx(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback, LPCSTR lpszFriendlyAppName,
                      DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion, LINEINITIALIZEEXPARAMS* lpLineInitializeExParams) {
    TAPI_CALL(kInitializeEx, PfnInitializeEx, lphLineApp, hInstance, lpfnCallback, lpszFriendlyAppName, lpdwNumDevs,
              lpdwAPIVersion, lpLineInitializeExParams);
}
LONG lineMakeCall(HLINE hLine, HCALL* lphCall, LPCSTR lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams) {
    TAPI_CALL(kMakeCall, PfnMakeCall, hLine, lphCall, lpszDestAddress, dwCountryCode, lpCallParams);
}
LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtLowVersion,
                             DWORD dwExtHighVersion, DWORD* lpdwExtVersion) {
    TAPI_CALL(kNegotiateExtVersion, PfnNegotiateExtVersion, hLineApp, dwDeviceID, dwAPIVersion, dwExtLowVersion,
              dwExtHighVersion, lpdwExtVersion);
}
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
              const LINECALLPARAMS* lpCallParams) {
    TAPI_CALL(kOpen, PfnOpen, hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion, dwCallbackInstance,
              dwPrivileges, dwMediaModes, lpCallParams);
}
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
    TAPI_CALL(kSetStatusMessages, PfnSetStatusMessages, hLine, dwLineStates, dwAddressStates);
}
LONG lineShutdown(HLINEAPP hLineApp) {
    TAPI_CALL(kShutdown, PfnShutdown, hLineApp);
}

#undef TAPI_CALL

std::string DefaultTapiLibraryName() {
#ifdef _WIN32
    const std::string strSystem = platform::SystemLibraryDirectory();
    return strSystem.empty() ? std::string() : strSystem + "\\TAPI32.DLL";
#else
    return platform::ExecutableDirectory() + "/libtapi32.so";
#endif
}

std::string ChosenTapiLibrary() {
    const std::string strChosen = platform::EnvironmentValue(kTapiLibraryVariable);
    return strChosen.empty() ? DefaultTapiLibraryName() : strChosen;
}

void ResetEntryTableForTests(const char* libraryPath) {
    // The old module stays loaded: a process never unloads its TAPI library.
    g_hLibrary = nullptr;
    g_bHaveOverride = libraryPath != nullptr;
    g_strLibraryOverride = libraryPath ? libraryPath : "";
    for (Slot& slot : g_slots) slot.pfn = nullptr;
    g_counters = {};
}

EntryTableCounters GetEntryTableCountersForTests() {
    return g_counters;
}

}  // namespace tapi
