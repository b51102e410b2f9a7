#include "support/FakeTapi.h"

#include <cstring>
#include <stdexcept>

#include "platform/Platform.h"
#include "support/FakeTapiHooks.h"

#ifndef FAKE_TAPI_PATH
#error "FAKE_TAPI_PATH must name the fake TAPI library"
#endif

namespace {

CFakeTapi* g_pCurrent = nullptr;

DWORD_PTR P(const void* p) {
    return p ? 1 : 0;
}
// A structure argument is recorded as the dwTotalSize it brings (0: none).
DWORD_PTR Total(const void* p) {
    DWORD dw = 0;
    if (p) std::memcpy(&dw, p, 4);
    return dw;
}

CFakeTapi& F() {
    if (!g_pCurrent) throw std::logic_error("no CFakeTapi");
    return *g_pCurrent;
}

LONG WINAPI HookAnswer(HCALL hCall, LPCSTR psUUI, DWORD dwSize) {
    F().Record("lineAnswer", {hCall, P(psUUI), dwSize});
    if (F().OnAnswer) return F().OnAnswer(hCall, psUUI, dwSize);
    return F().m_lNextRequestId++;
}
LONG WINAPI HookClose(HLINE hLine) {
    F().Record("lineClose", {hLine});
    return F().IgnoredResult("lineClose");
}
LONG WINAPI HookDeallocateCall(HCALL hCall) {
    F().Record("lineDeallocateCall", {hCall});
    return F().IgnoredResult("lineDeallocateCall");
}
LONG WINAPI HookDrop(HCALL hCall, LPCSTR psUUI, DWORD dwSize) {
    F().Record("lineDrop", {hCall, P(psUUI), dwSize});
    if (F().OnDrop) return F().OnDrop(hCall, psUUI, dwSize);
    return F().m_lNextRequestId++;
}

// One structure query, recorded with the dwTotalSize it brings: the test's
// handler answers first, then a version set to fail, then the structure of
// the handle in the map (lMissing when there is none).
template <typename Map>
LONG Query(const char* pszName, std::vector<DWORD_PTR> args, void* p, const Map& map, const typename Map::key_type& key,
           LONG lMissing, bool bVersionFails = false) {
    args.push_back(Total(p));
    F().Record(pszName, std::move(args));
    if (LONG lResult = 0; F().OnQuery && F().OnQuery(pszName, p, &lResult)) return lResult;
    if (bVersionFails) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (map.count(key) == 0) return lMissing;
    return map.at(key).FillInto(p);
}

LONG WINAPI HookGetAddressCaps(HLINEAPP hApp, DWORD dwDev, DWORD dwAddr, DWORD dwApi, DWORD dwExt, LINEADDRESSCAPS* p) {
    return Query("lineGetAddressCaps", {hApp, dwDev, dwAddr, dwApi, dwExt}, p, F().m_addressCaps, dwDev,
                 LINEERR_BADDEVICEID, F().m_addressCapsFailVersions.count(dwApi));
}
LONG WINAPI HookGetAddressStatus(HLINE hLine, DWORD dwAddr, LINEADDRESSSTATUS* p) {
    return Query("lineGetAddressStatus", {hLine, dwAddr}, p, F().m_addressStatus, hLine, LINEERR_INVALLINEHANDLE);
}
LONG WINAPI HookGetCallInfo(HCALL hCall, LINECALLINFO* p) {
    return Query("lineGetCallInfo", {hCall}, p, F().m_callInfo, hCall, LINEERR_INVALCALLHANDLE);
}
LONG WINAPI HookGetCallStatus(HCALL hCall, LINECALLSTATUS* p) {
    return Query("lineGetCallStatus", {hCall}, p, F().m_callStatus, hCall, LINEERR_INVALCALLHANDLE);
}
LONG WINAPI HookGetDevCaps(HLINEAPP hApp, DWORD dwDev, DWORD dwApi, DWORD dwExt, LINEDEVCAPS* p) {
    return Query("lineGetDevCaps", {hApp, dwDev, dwApi, dwExt}, p, F().m_devCaps, dwDev, LINEERR_BADDEVICEID,
                 F().m_devCapsFailVersions.count(dwApi));
}
LONG WINAPI HookGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* p) {
    if (!F().OnGetLineDevStatus)
        return Query("lineGetLineDevStatus", {hLine}, p, F().m_lineDevStatus, hLine, LINEERR_INVALLINEHANDLE);
    F().Record("lineGetLineDevStatus", {hLine, Total(p)});
    return F().OnGetLineDevStatus(hLine, p);
}
LONG WINAPI HookInitializeEx(HLINEAPP* phApp, HINSTANCE hInst, LINECALLBACK pfn, LPCSTR pszName, DWORD* pdwNum,
                             DWORD* pdwApi, LINEINITIALIZEEXPARAMS* pParams) {
    CFakeTapi& f = F();
    f.Record("lineInitializeEx",
             {P(phApp), P(hInst), P(reinterpret_cast<const void*>(pfn)), P(pszName), P(pdwNum), pdwApi ? *pdwApi : 0,
              P(pParams)},
             pszName);
    f.m_pfnCallback = pfn;
    f.m_hInstance = hInst;
    if (pParams) std::memcpy(&f.m_initParams, pParams, sizeof(f.m_initParams));
    if (f.m_lInitializeResult != 0) return f.m_lInitializeResult;
    if (phApp) *phApp = f.m_hLineApp;
    if (pdwNum) *pdwNum = f.m_dwNumDevs;
    return 0;
}
LONG WINAPI HookMakeCall(HLINE hLine, HCALL* phCall, LPCSTR pszDest, DWORD dwCountry, const LINECALLPARAMS* pParams) {
    F().Record("lineMakeCall", {hLine, P(phCall), P(pszDest), dwCountry, P(pParams)}, pszDest);
    if (hLine == 0) return LINEERR_INVALLINEHANDLE;
    if (phCall) *phCall = F().m_hNextMakeCall;
    return F().m_lNextRequestId++;
}
LONG WINAPI HookNegotiateExtVersion(HLINEAPP hApp, DWORD dwDev, DWORD dwApi, DWORD dwLow, DWORD dwHigh, DWORD* pdw) {
    F().Record("lineNegotiateExtVersion", {hApp, dwDev, dwApi, dwLow, dwHigh, pdw ? *pdw : 0});
    if (const LONG lResult = F().IgnoredResult("lineNegotiateExtVersion")) return lResult;
    if (pdw && F().m_dwNegotiatedExtVersion) *pdw = F().m_dwNegotiatedExtVersion;
    return 0;
}
LONG WINAPI HookOpen(HLINEAPP hApp, DWORD dwDev, HLINE* phLine, DWORD dwApi, DWORD dwExt, DWORD_PTR dwInst,
                     DWORD dwPriv, DWORD dwMedia, const LINECALLPARAMS* pParams) {
    F().Record("lineOpen", {hApp, dwDev, phLine ? *phLine : 0xDEAD, dwApi, dwExt, dwInst, dwPriv, dwMedia, P(pParams)});
    if (F().OnOpen) return F().OnOpen(hApp, dwDev, phLine, dwApi, dwExt);
    auto it = F().m_openFailVersions.find(dwDev);
    if (it != F().m_openFailVersions.end() && it->second.count(dwApi)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (phLine) *phLine = CFakeTapi::LineHandleFor(dwDev);
    return 0;
}
LONG WINAPI HookSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
    F().Record("lineSetStatusMessages", {hLine, dwLineStates, dwAddressStates});
    return F().IgnoredResult("lineSetStatusMessages");
}
LONG WINAPI HookShutdown(HLINEAPP hApp) {
    F().Record("lineShutdown", {hApp});
    return F().IgnoredResult("lineShutdown");
}

const FakeTapiHooks kHooks = {
    HookAnswer,           HookClose,       HookDeallocateCall,      HookDrop,       HookGetAddressCaps,
    HookGetAddressStatus, HookGetCallInfo, HookGetCallStatus,       HookGetDevCaps, HookGetLineDevStatus,
    HookInitializeEx,     HookMakeCall,    HookNegotiateExtVersion, HookOpen,       HookSetStatusMessages,
    HookShutdown,
};

void Install(const std::string& path, const FakeTapiHooks* pHooks) {
    void* hModule = platform::LoadLibraryModule(path.c_str());
    if (!hModule) throw std::runtime_error("cannot load the fake TAPI library " + path);
    auto pfnInstall = reinterpret_cast<PfnFakeTapiInstall>(platform::GetModuleSymbol(hModule, "FakeTapiInstall"));
    if (!pfnInstall) throw std::runtime_error("the fake TAPI library lacks FakeTapiInstall");
    pfnInstall(pHooks);
}

}  // namespace

// ---------------------------------------------------------------------------

void CStructImage::SetDword(size_t offset, DWORD value) {
    if (offset + 4 > m_bytes.size()) m_bytes.resize(offset + 4, 0);
    std::memcpy(m_bytes.data() + offset, &value, 4);
}

DWORD CStructImage::GetDword(size_t offset) const {
    DWORD value = 0;
    if (offset + 4 <= m_bytes.size()) std::memcpy(&value, m_bytes.data() + offset, 4);
    return value;
}

size_t CStructImage::Append(const void* pData, size_t cb) {
    const size_t offset = m_bytes.size();
    const BYTE* p = static_cast<const BYTE*>(pData);
    m_bytes.insert(m_bytes.end(), p, p + cb);
    return offset;
}

void CStructImage::AddBytes(size_t sizeFieldOffset, const void* pData, size_t cb) {
    const size_t offset = Append(pData, cb);
    SetDword(sizeFieldOffset, static_cast<DWORD>(cb));
    SetDword(sizeFieldOffset + 4, static_cast<DWORD>(offset));
    m_pairs.push_back(sizeFieldOffset);
}

void CStructImage::AddText(size_t sizeFieldOffset, const std::string& text) {
    AddBytes(sizeFieldOffset, text.c_str(), text.size() + 1);
}

LONG CStructImage::FillInto(void* pDest) const {
    DWORD dwTotal = 0;
    std::memcpy(&dwTotal, pDest, 4);
    if (dwTotal < m_cbFixed) return LINEERR_STRUCTURETOOSMALL;
    BYTE* pOut = static_cast<BYTE*>(pDest);
    const DWORD dwNeeded = static_cast<DWORD>(m_bytes.size());
    if (dwTotal >= dwNeeded) {
        std::memcpy(pOut + 12, m_bytes.data() + 12, m_bytes.size() - 12);
        std::memcpy(pOut + 4, &dwNeeded, 4);
        std::memcpy(pOut + 8, &dwNeeded, 4);
        return 0;
    }
    // Too small for the variable parts: the fixed part only, its pairs empty.
    std::vector<BYTE> fixed(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_cbFixed));
    for (size_t pair : m_pairs) {
        if (pair + 8 <= m_cbFixed) std::memset(fixed.data() + pair, 0, 8);
    }
    // Every fixed part is longer than the three size fields; the test keeps
    // the 32-bit compiler from warning about a copy it cannot prove positive.
    if (m_cbFixed > 12) std::memcpy(pOut + 12, fixed.data() + 12, m_cbFixed - 12);
    const DWORD dwUsed = static_cast<DWORD>(m_cbFixed);
    std::memcpy(pOut + 4, &dwNeeded, 4);
    std::memcpy(pOut + 8, &dwUsed, 4);
    return 0;
}

// ---------------------------------------------------------------------------

CFakeTapi::CFakeTapi() {
    if (g_pCurrent) throw std::logic_error("only one CFakeTapi at a time");
    g_pCurrent = this;
    Install(LibraryPath(), &kHooks);
    tapi::ResetEntryTableForTests(LibraryPath().c_str());
}

CFakeTapi::~CFakeTapi() {
    Install(LibraryPath(), nullptr);
    tapi::ResetEntryTableForTests(LibraryPath().c_str());
    g_pCurrent = nullptr;
}

CFakeTapi* CFakeTapi::Current() {
    return g_pCurrent;
}

std::string CFakeTapi::LibraryPath() {
    return FAKE_TAPI_PATH;
}
std::string CFakeTapi::LibraryWithoutDropPath() {
    return FAKE_TAPI_NODROP_PATH;
}

void CFakeTapi::Record(const char* pszFunction, std::vector<DWORD_PTR> args, const char* pszText) {
    m_calls.push_back({pszFunction, std::move(args), pszText ? pszText : ""});
}

size_t CFakeTapi::Count(const std::string& strFunction) const {
    return CallsOf(strFunction).size();
}

std::vector<FakeTapiCall> CFakeTapi::CallsOf(const std::string& strFunction) const {
    std::vector<FakeTapiCall> out;
    for (const auto& c : m_calls)
        if (c.strFunction == strFunction) out.push_back(c);
    return out;
}

std::string CFakeTapi::Sequence() const {
    std::string s;
    for (const auto& c : m_calls) (s += s.empty() ? "" : ",") += c.strFunction;
    return s;
}

void CFakeTapi::Deliver(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
    if (m_pfnCallback) m_pfnCallback(hDevice, dwMessage, 0, dwParam1, dwParam2, dwParam3);
}

CStructImage CFakeTapi::MakeDevCaps(const std::string& strProvider, DWORD dwPermanentLineID,
                                    const std::string& strLineName) {
    CStructImage img = CStructImage::Of<LINEDEVCAPS>();
    img.As<LINEDEVCAPS>()->dwPermanentLineID = dwPermanentLineID;
    img.As<LINEDEVCAPS>()->dwStringFormat = STRINGFORMAT_ASCII;
    img.As<LINEDEVCAPS>()->dwNumAddresses = 1;
    img.As<LINEDEVCAPS>()->dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    img.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), strProvider);
    img.AddText(offsetof(LINEDEVCAPS, dwLineNameSize), strLineName);
    return img;
}

CStructImage CFakeTapi::MakeAddressCaps(DWORD dwDeviceID, const std::string& strAddress) {
    CStructImage img = CStructImage::Of<LINEADDRESSCAPS>();
    img.As<LINEADDRESSCAPS>()->dwLineDeviceID = dwDeviceID;
    img.AddText(offsetof(LINEADDRESSCAPS, dwAddressSize), strAddress);
    return img;
}

CStructImage CFakeTapi::MakeCallStatus(DWORD dwCallState, DWORD dwMode, DWORD dwPrivilege) {
    CStructImage img = CStructImage::Of<LINECALLSTATUS>();
    img.As<LINECALLSTATUS>()->dwCallState = dwCallState;
    img.As<LINECALLSTATUS>()->dwCallStateMode = dwMode;
    img.As<LINECALLSTATUS>()->dwCallPrivilege = dwPrivilege;
    return img;
}

CStructImage CFakeTapi::MakeCallInfo(HLINE hLine, const std::string& strCallerID, const std::string& strCalledID) {
    CStructImage img = CStructImage::Of<LINECALLINFO>();
    img.As<LINECALLINFO>()->hLine = hLine;
    img.As<LINECALLINFO>()->dwTrunk = 0xFFFFFFFF;
    if (!strCallerID.empty()) img.AddText(offsetof(LINECALLINFO, dwCallerIDSize), strCallerID);
    if (!strCalledID.empty()) img.AddText(offsetof(LINECALLINFO, dwCalledIDSize), strCalledID);
    return img;
}
