#include "support/FakeTapi.h"

#include <cstring>
#include <stdexcept>

#include "platform/Platform.h"

#ifndef FAKE_TAPI_PATH
#error "FAKE_TAPI_PATH must name the fake TAPI library"
#endif

namespace {

CFakeTapi* g_pCurrent = nullptr;

// How each function's arguments are recorded: v as it is, p a pointer as 0
// or 1, t a text as 0 or 1 (and the call's text), s a structure to fill as
// the dwTotalSize it brings (0: none), d the DWORD a pointer points to (0:
// none), h the handle an HLINE pointer holds (0xDEAD: none). The structure
// queries are the functions with an s, which comes last.
const std::string kRecorded =
    " lineAnswer:vpv lineClose:v lineDeallocateCall:v lineDrop:vpv lineGetAddressCaps:vvvvvs lineGetAddressStatus:vvs"
    " lineGetCallInfo:vs lineGetCallStatus:vs lineGetDevCaps:vvvvs lineGetLineDevStatus:vs lineInitializeEx:ppptpdp"
    " lineMakeCall:vptvp lineNegotiateExtVersion:vvvvvd lineOpen:vvhvvvvvp lineSetStatusMessages:vvv lineShutdown:v ";

// Where a structure query finds its answer: the structures by the handle or
// device of argument nKey, and the API versions (argument nVersion) set to fail.
struct Query {
    std::map<DWORD, CStructImage> CFakeTapi::*pStructs;
    std::size_t nKey;
    LONG lMissing;
    std::set<DWORD> CFakeTapi::*pFailVersions = nullptr;
    std::size_t nVersion = 0;
};
const std::map<std::string, Query> kQueries = {
    {"lineGetAddressCaps",
     {&CFakeTapi::m_addressCaps, 1, LINEERR_BADDEVICEID, &CFakeTapi::m_addressCapsFailVersions, 3}},
    {"lineGetAddressStatus", {&CFakeTapi::m_addressStatus, 0, LINEERR_INVALLINEHANDLE}},
    {"lineGetCallInfo", {&CFakeTapi::m_callInfo, 0, LINEERR_INVALCALLHANDLE}},
    {"lineGetCallStatus", {&CFakeTapi::m_callStatus, 0, LINEERR_INVALCALLHANDLE}},
    {"lineGetDevCaps", {&CFakeTapi::m_devCaps, 1, LINEERR_BADDEVICEID, &CFakeTapi::m_devCapsFailVersions, 2}},
    {"lineGetLineDevStatus", {&CFakeTapi::m_lineDevStatus, 0, LINEERR_INVALLINEHANDLE}},
};

// Every call of the fake library: recorded, then answered by the test's
// handler, a failure set up for it, the structures or the defaults.
LONG Answer(const char* pszExport, const DWORD_PTR* a) {
    if (!g_pCurrent) throw std::logic_error("no CFakeTapi");
    CFakeTapi& f = *g_pCurrent;
    std::string strName = pszExport;
    if (strName.back() == 'A') strName.pop_back();
    const std::size_t at = kRecorded.find(" " + strName + ":") + strName.size() + 2;
    const std::string strRecorded = kRecorded.substr(at, kRecorded.find(' ', at) - at);
    FakeTapiCall& call = f.m_calls.emplace_back(FakeTapiCall{strName, {}, ""});
    for (std::size_t i = 0; i < strRecorded.size(); ++i) {
        const char c = strRecorded[i];
        DWORD dw = c == 'h' ? 0xDEAD : 0;
        if (a[i] && std::strchr("sdh", c)) std::memcpy(&dw, reinterpret_cast<const void*>(a[i]), 4);
        if (a[i] && c == 't') call.strText = reinterpret_cast<const char*>(a[i]);
        call.args.push_back(c == 'v' ? a[i] : c == 'p' || c == 't' ? DWORD_PTR{a[i] != 0} : dw);
    }
    auto ptr = [a](std::size_t i) { return reinterpret_cast<void*>(a[i]); };
    const DWORD h = static_cast<DWORD>(a[0]);

    if (const auto q = kQueries.find(strName); q != kQueries.end()) {
        void* const pStruct = ptr(strRecorded.size() - 1);
        if (f.OnGetLineDevStatus && strName == "lineGetLineDevStatus")
            return f.OnGetLineDevStatus(h, static_cast<LINEDEVSTATUS*>(pStruct));
        if (LONG lResult = 0; f.OnQuery && f.OnQuery(strName, pStruct, &lResult)) return lResult;
        const Query& query = q->second;
        if (query.pFailVersions && (f.*query.pFailVersions).count(static_cast<DWORD>(a[query.nVersion])))
            return LINEERR_INCOMPATIBLEAPIVERSION;
        const auto it = (f.*query.pStructs).find(static_cast<DWORD>(a[query.nKey]));
        return it == (f.*query.pStructs).end() ? query.lMissing : it->second.FillInto(pStruct);
    }
    const auto failure = f.m_failures.find(strName);
    const LONG lResult = failure == f.m_failures.end() ? 0 : failure->second;
    if (strName == "lineAnswer" || strName == "lineDrop") return lResult ? lResult : f.m_lNextRequestId++;
    if (strName == "lineInitializeEx") {
        f.m_pfnCallback = reinterpret_cast<LINECALLBACK>(a[2]);
        f.m_hInstance = static_cast<HINSTANCE>(ptr(1));
        if (a[6]) std::memcpy(&f.m_initParams, ptr(6), sizeof(f.m_initParams));
        if (f.m_lInitializeResult != 0) return f.m_lInitializeResult;
        if (a[0]) *static_cast<HLINEAPP*>(ptr(0)) = 0xA1;
        if (a[4]) *static_cast<DWORD*>(ptr(4)) = f.m_dwNumDevs;
        return 0;
    }
    if (strName == "lineMakeCall") {
        if (h == 0) return LINEERR_INVALLINEHANDLE;
        if (a[1]) *static_cast<HCALL*>(ptr(1)) = 0x5000;
        return f.m_lNextRequestId++;
    }
    if (strName == "lineOpen") {
        const DWORD dwDevice = static_cast<DWORD>(a[1]), dwApi = static_cast<DWORD>(a[3]);
        HLINE* const phLine = static_cast<HLINE*>(ptr(2));
        if (f.OnOpen) return f.OnOpen(h, dwDevice, phLine, dwApi, static_cast<DWORD>(a[4]));
        const auto it = f.m_openFailVersions.find(dwDevice);
        if (it != f.m_openFailVersions.end() && it->second.count(dwApi)) return LINEERR_INCOMPATIBLEAPIVERSION;
        if (phLine) *phLine = CFakeTapi::LineHandleFor(dwDevice);
        return 0;
    }
    // The functions whose result the program ignores; a negotiation that
    // succeeds writes the version set, if any.
    if (strName == "lineNegotiateExtVersion" && lResult == 0 && a[5] && f.m_dwNegotiatedExtVersion)
        *static_cast<DWORD*>(ptr(5)) = f.m_dwNegotiatedExtVersion;
    return lResult;
}

}  // namespace

// ---------------------------------------------------------------------------

void CStructImage::SetDword(size_t offset, DWORD value) {
    if (offset + 4 > m_bytes.size()) m_bytes.resize(offset + 4, 0);
    std::memcpy(m_bytes.data() + offset, &value, 4);
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
    Install(Answer);
    tapi::ResetEntryTableForTests(LibraryPath().c_str());
}

CFakeTapi::~CFakeTapi() {
    Install(nullptr);
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

void CFakeTapi::Install(PfnFakeTapiCall pfnCall) {
    void* hModule = platform::LoadLibraryModule(FAKE_TAPI_PATH);
    auto pfnInstall =
        hModule ? reinterpret_cast<PfnFakeTapiInstall>(platform::GetModuleSymbol(hModule, "FakeTapiInstall")) : nullptr;
    if (!pfnInstall)
        throw std::runtime_error(std::string("cannot install into the fake TAPI library ") + FAKE_TAPI_PATH);
    pfnInstall(pfnCall);
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

CStructImage CFakeTapi::MakeCallStatus(DWORD dwCallState) {
    CStructImage img = CStructImage::Of<LINECALLSTATUS>();
    img.As<LINECALLSTATUS>()->dwCallState = dwCallState;
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
