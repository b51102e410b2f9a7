// The snapshots as the rest of the program reads them: texts, blocks, lists
// and records taken from the structure, and never anything from outside it,
// whatever sizes, offsets and counts the provider wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "tapi/TapiAbi.h"

using snaptest::AddRaw;
using snaptest::AppendRaw;
using snaptest::CExactBuffer;
using snaptest::SnapshotOf;

namespace {

std::string CallerIDOf(CStructImage img) {
    return SnapshotOf<CLineCallInfo>(img).m_strCallerID;
}

TEST(SnapshotTexts, EndAtTheFirstNulOrAfterTheirSize) {
    auto img = CStructImage::Of<LINECALLINFO>();
    AddRaw(img, offsetof(LINECALLINFO, dwCallerIDSize), std::string("AB\0XY", 5));
    EXPECT_EQ(CallerIDOf(img), "AB");

    auto sized = CStructImage::Of<LINECALLINFO>();
    AddRaw(sized, offsetof(LINECALLINFO, dwCallerIDSize), "ABCDE");
    AppendRaw(sized, "FGH");  // not part of the text
    EXPECT_EQ(CallerIDOf(sized), "ABCDE");

    auto empty = CStructImage::Of<LINECALLINFO>();
    empty.As<LINECALLINFO>()->dwCallerIDOffset = 0xFFFFFFF0;  // size 0: never looked at
    EXPECT_EQ(CallerIDOf(empty), "");

    EXPECT_EQ(CTapiSnapshot::MakeString("XY\0Z", 4), "XY");
    EXPECT_EQ(CTapiSnapshot::MakeString("XYZ", 2), "XY");
    EXPECT_EQ(CTapiSnapshot::MakeString(nullptr, 4), "");
}

TEST(SnapshotLists, TerminalModesAreWholeDwords) {
    auto make = [](DWORD cbList) {
        auto img = CStructImage::Of<LINEDEVSTATUS>();
        const DWORD modes[2] = {LINETERMMODE_LAMPS, LINETERMMODE_DISPLAY};
        img.AddBytes(offsetof(LINEDEVSTATUS, dwTerminalModesSize), modes, sizeof(modes));
        img.SetDword(offsetof(LINEDEVSTATUS, dwTerminalModesSize), cbList);
        return SnapshotOf<CLineDevStatus>(img).m_terminalModes;
    };
    EXPECT_EQ(make(6), std::vector<DWORD>{LINETERMMODE_LAMPS});
    EXPECT_EQ(make(3), std::vector<DWORD>{});
    EXPECT_EQ(make(8), (std::vector<DWORD>{LINETERMMODE_LAMPS, LINETERMMODE_DISPLAY}));
    EXPECT_EQ(make(9), std::vector<DWORD>{});  // reaches one byte past the structure
}

TEST(SnapshotRecords, AppInfoCountedByNumOpensAsFarAsTheListSizeHolds) {
    // The golden report of LINEDEVSTATUS shows the records of a sized list.
    auto make = [](DWORD dwNumOpens, DWORD cbList) {
        auto img = CStructImage::Of<LINEDEVSTATUS>();
        img.As<LINEDEVSTATUS>()->dwNumOpens = dwNumOpens;
        img.As<LINEDEVSTATUS>()->dwAppInfoSize = cbList;
        img.As<LINEDEVSTATUS>()->dwAppInfoOffset = sizeof(LINEDEVSTATUS);
        AppendRaw(img, std::string(3 * sizeof(LINEAPPINFO), '\x01'));
        auto status = SnapshotOf<CLineDevStatus>(img);
        EXPECT_EQ(status.m_nAppInfoLeftOut, 0u);
        return status.m_appInfo.size();
    };
    EXPECT_EQ(make(2, 0), 0u);
    EXPECT_EQ(make(2, 2 * sizeof(LINEAPPINFO)), 2u);
    // Three records lie there, but the list says it holds fewer.
    EXPECT_EQ(make(3, 2 * sizeof(LINEAPPINFO)), 2u);
    EXPECT_EQ(make(3, 2 * sizeof(LINEAPPINFO) + 39), 2u);
    EXPECT_EQ(make(0xFFFFFFFF, 0xFFFFFFFF), 3u);  // the extent ends it
}

TEST(SnapshotTextEntries, CompletionMessagesOfFixedSize) {
    using S = LINEADDRESSCAPS;
    auto make = [](DWORD dwCount, DWORD cbEntry, std::size_t cbCut, DWORD cbList = 20) {
        auto img = CStructImage::Of<S>();
        img.As<S>()->dwNumCompletionMessages = dwCount;
        img.As<S>()->dwCompletionMsgTextEntrySize = cbEntry;
        AddRaw(img, offsetof(S, dwCompletionMsgTextSize), std::string("Busy\0\0\0\0\0\0Later\0\0\0\0\0", 20));
        img.As<S>()->dwCompletionMsgTextSize = cbList;
        auto bytes = CExactBuffer::WithSizes(img);
        bytes.resize(bytes.size() - cbCut);
        const DWORD cb = static_cast<DWORD>(bytes.size());
        std::memcpy(bytes.data(), &cb, 4);
        std::memcpy(bytes.data() + 8, &cb, 4);
        return SnapshotOf<CLineAddressCaps>(bytes).m_completionMsgs;
    };
    EXPECT_EQ(make(2, 10, 0), (std::vector<std::string>{"Busy", "Later"}));
    EXPECT_EQ(make(2, 0, 0), std::vector<std::string>{});         // no entry size: no entries
    EXPECT_EQ(make(2, 10, 1), std::vector<std::string>{"Busy"});  // the second reaches outside
    EXPECT_EQ(make(0xFFFFFFFF, 10, 0), (std::vector<std::string>{"Busy", "Later"}));
    EXPECT_EQ(make(4, 5, 0), (std::vector<std::string>{"Busy", "", "Later", ""}));
    // The list's own size bounds it too: no more entries than it has room for.
    EXPECT_EQ(make(2, 10, 0, 19), std::vector<std::string>{"Busy"});
    EXPECT_EQ(make(4, 5, 0, 10), (std::vector<std::string>{"Busy", ""}));
    EXPECT_EQ(make(2, 10, 0, 0), std::vector<std::string>{});
}

TEST(SnapshotAccessors, PaddedAddress) {
    auto padded = [](const std::string& strAddress) {
        auto img = CFakeTapi::MakeAddressCaps(0, strAddress);
        auto caps = SnapshotOf<CLineAddressCaps>(img);
        EXPECT_EQ(caps.GetAddress(), strAddress);
        return caps.GetPaddedAddress();
    };
    EXPECT_EQ(padded("21"), "0021");
    EXPECT_EQ(padded("7"), "0007");
    EXPECT_EQ(padded("321"), "0321");
    EXPECT_EQ(padded("4321"), "4321");
    EXPECT_EQ(padded("54321"), "54321");
    EXPECT_EQ(padded(""), "");
}

// LINEADDRESSSTATUS whose device-specific part (cbPart bytes) holds a name's
// length and offset at the given places; the name itself lies at nameAt
// inside the part (or, with bOutside, right after the part).
CStructImage AddressStatusWithName(DWORD cbPart, std::size_t lengthAt, std::size_t offsetAt, DWORD dwLength,
                                   std::size_t nameAt, bool bOutside = false) {
    using S = LINEADDRESSSTATUS;
    auto img = CStructImage::Of<S>();
    const DWORD dwPartOffset = static_cast<DWORD>(img.Bytes().size());
    std::string part(cbPart, '\0');
    const DWORD dwNameOffset = static_cast<DWORD>(bOutside ? dwPartOffset + cbPart : dwPartOffset + nameAt);
    if (lengthAt + 4 <= part.size()) std::memcpy(&part[lengthAt], &dwLength, 4);
    if (offsetAt + 4 <= part.size()) std::memcpy(&part[offsetAt], &dwNameOffset, 4);
    if (!bOutside && nameAt + 8 <= part.size()) part.replace(nameAt, 8, "Sales 1\0", 8);
    AddRaw(img, offsetof(S, dwDevSpecificSize), part);
    if (bOutside) AppendRaw(img, std::string("Sales 1\0", 8));
    return img;
}

std::string NameBy(std::string (CLineAddressStatus::*pfnName)() const, CStructImage img) {
    return (SnapshotOf<CLineAddressStatus>(img).*pfnName)();
}
std::string ExtName(CStructImage img) {
    return NameBy(&CLineAddressStatus::GetExtDisplayName, img);
}
std::string CoName(CStructImage img) {
    return NameBy(&CLineAddressStatus::GetCoDisplayName, img);
}
std::string EtcName(CStructImage img) {
    return NameBy(&CLineAddressStatus::GetEtcDisplayName, img);
}

TEST(SnapshotAccessors, DisplayNamesByGroup) {
    EXPECT_EQ(ExtName(AddressStatusWithName(60, 28, 32, 8, 52)), "Sales 1");
    EXPECT_EQ(ExtName(AddressStatusWithName(60, 28, 32, 5, 52)), "Sales");
    EXPECT_EQ(ExtName(AddressStatusWithName(51, 28, 32, 8, 40)), "");  // part too short
    EXPECT_EQ(CoName(AddressStatusWithName(16, 0, 4, 8, 8)), "Sales 1");
    EXPECT_EQ(CoName(AddressStatusWithName(4, 0, 4, 8, 0)), "");
    EXPECT_EQ(EtcName(AddressStatusWithName(40, 24, 28, 8, 32)), "Sales 1");
    EXPECT_EQ(EtcName(AddressStatusWithName(31, 24, 28, 8, 16)), "");
    // Each accessor reads its own places only.
    EXPECT_EQ(CoName(AddressStatusWithName(60, 28, 32, 8, 52)), "");

    // A name that the provider placed outside its device-specific part, or
    // that runs past it, or whose length is absurd, gives nothing.
    EXPECT_EQ(CoName(AddressStatusWithName(16, 0, 4, 8, 0, true)), "");
    EXPECT_EQ(CoName(AddressStatusWithName(16, 0, 4, 9, 8)), "");
    EXPECT_EQ(CoName(AddressStatusWithName(16, 0, 4, 0xFFFFFFFF, 8)), "");
    EXPECT_EQ(CoName(AddressStatusWithName(16, 0, 4, 0, 8)), "");
}

TEST(SnapshotAccessors, DisplayNameOffsetBeforeThePartGivesNothing) {
    using S = LINEADDRESSSTATUS;
    auto img = CStructImage::Of<S>();
    const DWORD part[2] = {4, 0};  // offset 0: the structure's own header
    img.AddBytes(offsetof(S, dwDevSpecificSize), part, sizeof(part));
    EXPECT_EQ(CoName(img), "");
}

// --- The readable extent --------------------------------------------------------

TEST(SnapshotExtent, FieldsBeyondUsedSizeReadAsZero) {
    using S = LINEDEVCAPS;
    // Filled for API 1.4: TAPI stops before dwSettableDevStatus and leaves the
    // rest of the buffer as it was.
    auto img = CStructImage::Of<S>();
    img.As<S>()->dwLineFeatures = LINEFEATURE_MAKECALL;
    img.As<S>()->dwSettableDevStatus = 0xCCCCCCCC;
    img.As<S>()->dwDeviceClassesSize = 4;
    img.As<S>()->dwDeviceClassesOffset = 0;
    auto bytes = CExactBuffer::WithSizes(img);
    const DWORD dwUsed = offsetof(S, dwSettableDevStatus);
    std::memcpy(bytes.data() + 8, &dwUsed, 4);
    auto record = SnapshotOf<CLineDevCaps>(bytes);
    EXPECT_EQ(record.m_dwLineFeatures, LINEFEATURE_MAKECALL);
    EXPECT_EQ(record.m_dwSettableDevStatus, 0u);
    EXPECT_EQ(record.m_strDeviceClasses, "");

    // A buffer no longer than what was used, cut inside a field: that field
    // and everything after it read 0 (AddressSanitizer watches the end).
    auto status = CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED, 1, 4);
    status.As<LINECALLSTATUS>()->dwCallFeatures2 = 3;
    status.As<LINECALLSTATUS>()->tStateEntryTime = SYSTEMTIME{2004, 1, 1, 5, 13, 7, 9, 45};
    auto cut = CExactBuffer::WithSizes(status);
    cut.resize(offsetof(LINECALLSTATUS, tStateEntryTime) + 5);
    const DWORD cb = static_cast<DWORD>(cut.size());
    std::memcpy(cut.data(), &cb, 4);
    std::memcpy(cut.data() + 8, &cb, 4);
    auto callStatus = SnapshotOf<CLineCallStatus>(cut);
    EXPECT_EQ(callStatus.m_dwCallFeatures2, 3u);
    EXPECT_EQ(callStatus.m_tStateEntryTime.wYear, 2004);
    EXPECT_EQ(callStatus.m_tStateEntryTime.wMonth, 1);
    EXPECT_EQ(callStatus.m_tStateEntryTime.wDayOfWeek, 0);  // cut in half
    EXPECT_EQ(callStatus.m_tStateEntryTime.wSecond, 0);
}

TEST(SnapshotExtent, TakenFromTheSmallerOfUsedAndTotalButNeverBelowTheHeader) {
    auto img = CFakeTapi::MakeCallInfo(0x1001, "201", "301");
    auto bytes = CExactBuffer::WithSizes(img);
    const DWORD dwFull = static_cast<DWORD>(bytes.size());

    auto build = [&](DWORD dwTotal, DWORD dwUsed) {
        std::memcpy(bytes.data(), &dwTotal, 4);
        std::memcpy(bytes.data() + 8, &dwUsed, 4);
        CExactBuffer buf(bytes);
        return std::make_unique<CLineCallInfo>(buf.Data());
    };
    EXPECT_EQ(build(dwFull, dwFull)->GetCalledID(), "301");
    EXPECT_EQ(build(dwFull, dwFull - 1)->GetCalledID(), "");  // its NUL lies outside
    EXPECT_EQ(build(dwFull - 1, 0xFFFFFFFF)->GetCalledID(), "");
    EXPECT_EQ(build(dwFull - 1, dwFull)->GetCallerID(), "201");
    const auto pHeaderOnly = build(0, 0);
    EXPECT_EQ(pHeaderOnly->m_hLine, 0u);
    EXPECT_EQ(pHeaderOnly->m_dwTrunk, 0u);
    EXPECT_EQ(pHeaderOnly->GetCallerID(), "");
    const auto pHandleOnly = build(16, 16);
    EXPECT_EQ(pHandleOnly->m_hLine, 0x1001u);
    EXPECT_EQ(pHandleOnly->m_dwLineDeviceID, 0u);
}

TEST(SnapshotExtent, PartsOutsideOrOverflowingAreEmpty) {
    using S = LINECALLINFO;
    auto img = CStructImage::Of<S>();
    img.AddText(offsetof(S, dwCallerIDSize), "201");
    const DWORD dwEnd = static_cast<DWORD>(img.Bytes().size());
    S* p = img.As<S>();
    p->dwCalledIDSize = 4;
    p->dwCalledIDOffset = dwEnd;  // starts at the end
    p->dwConnectedIDSize = 0x20;
    p->dwConnectedIDOffset = 0xFFFFFFF0;  // offset + size overflows
    p->dwRedirectionIDSize = 0xFFFFFFFF;
    p->dwRedirectionIDOffset = 1;
    p->dwDevSpecificSize = 5;
    p->dwDevSpecificOffset = dwEnd - 4;  // one byte too far
    p->dwCallDataSize = 4;
    p->dwCallDataOffset = dwEnd - 4;  // the caller ID and its NUL, exactly
    p->dwSendingFlowspecSize = 0x80000000;
    p->dwSendingFlowspecOffset = 0x80000000;
    auto info = SnapshotOf<CLineCallInfo>(img);
    EXPECT_EQ(info.GetCallerID(), "201");
    EXPECT_EQ(info.GetCalledID(), "");
    EXPECT_EQ(info.GetConnectedID(), "");
    EXPECT_EQ(info.GetRedirectionID(), "");
    EXPECT_EQ(info.m_dwDevSpecificSize, 5u);   // what the provider said
    EXPECT_TRUE(info.m_pDevSpecific.empty());  // what could be read
    EXPECT_EQ(info.m_pCallData, (std::vector<BYTE>{'2', '0', '1', 0}));
    EXPECT_TRUE(info.m_pSendingFlowspec.empty());
    // The report still has every line; the unreadable block dumps nothing.
    const std::string report = info.Report(0);
    EXPECT_NE(report.find("    dwDevSpecificSize = 0x00000005 \r\n        \r\n    dwCallTreatment"), std::string::npos);
    EXPECT_NE(report.find("    dwCallDataSize = 0x00000004 \r\n        32 30 31 00 \r\n"), std::string::npos);
    EXPECT_NE(report.find("    dwSendingFlowspecSize = 0x80000000 \r\n        \r\n"), std::string::npos);
}

TEST(SnapshotExtent, SubRecordsObeyTheirContainingStructure) {
    using S = LINEADDRESSCAPS;
    auto img = CStructImage::Of<S>();
    const std::size_t at = img.Bytes().size();
    AppendRaw(img, std::string(3 * sizeof(LINECALLTREATMENTENTRY), '\0'));
    const DWORD dwName = AppendRaw(img, std::string("Music\0", 6));
    const LINECALLTREATMENTENTRY entries[3] = {
        {1, 6, dwName}, {2, 7, dwName}, {3, 6, 0xFFFFFFFE}};  // the 2nd runs one byte out
    std::memcpy(const_cast<BYTE*>(img.Bytes().data()) + at, entries, sizeof(entries));
    S* p = img.As<S>();
    p->dwNumCallTreatments = 5;  // only three are there
    p->dwCallTreatmentListSize = sizeof(entries);
    p->dwCallTreatmentListOffset = static_cast<DWORD>(at);
    auto caps = SnapshotOf<CLineAddressCaps>(img);
    ASSERT_EQ(caps.m_callTreatments.size(), 3u);  // the 6 bytes after them are no 4th
    EXPECT_EQ(caps.m_callTreatments[0]->m_strCallTreatmentName, "Music");
    EXPECT_EQ(caps.m_callTreatments[1]->m_dwCallTreatmentID, 2u);
    EXPECT_EQ(caps.m_callTreatments[1]->m_strCallTreatmentName, "");
    EXPECT_EQ(caps.m_callTreatments[2]->m_strCallTreatmentName, "");
}

TEST(SnapshotExtent, MisalignedAndMissingStructures) {
    // A provider's buffer need not be aligned: every field is copied, never
    // dereferenced in place (UndefinedBehaviorSanitizer watches).
    auto img = CFakeTapi::MakeCallInfo(0x1001, "201", "301");
    auto bytes = CExactBuffer::WithSizes(img);
    bytes.insert(bytes.begin(), 0xEE);
    CExactBuffer buf(bytes);
    CLineCallInfo info(buf.Data() + 1);
    EXPECT_EQ(info.GetCallerID(), "201");
    EXPECT_EQ(info.m_dwTrunk, 0xFFFFFFFFu);

    // No structure at all: every member empty, every report made.
    EXPECT_EQ(CLineCallStatus(nullptr).Report(0).substr(0, 22), "<< LINECALLSTATUS >>\r\n");
    EXPECT_EQ(CLineCallInfo(nullptr).GetLogFields(), ",,,,,,,");
    EXPECT_FALSE(CLineDevStatus(nullptr).Report(0).empty());
    EXPECT_FALSE(CLineAddressCaps(nullptr).Report(0).empty());
    EXPECT_FALSE(CLineAddressStatus(nullptr).Report(0).empty());
    EXPECT_EQ(CLineForward(nullptr).m_strDestAddress, "");
    EXPECT_EQ(CLineDialParams(nullptr).m_dwDialPause, 0u);
}

// --- Random structures --------------------------------------------------------------

// Random bytes, with the header and many DWORDs made small enough to point
// inside or just around the buffer, so that every reading path is taken.
std::vector<BYTE> RandomStructure(std::mt19937& rng, std::size_t cbFixed) {
    std::uniform_int_distribution<int> pick(0, 99);
    const std::size_t cb = 12 + std::uniform_int_distribution<std::size_t>(0, cbFixed + 200)(rng);
    std::vector<BYTE> bytes(cb);
    for (auto& b : bytes) b = static_cast<BYTE>(rng());
    for (std::size_t at = 0; at + 4 <= cb; at += 4) {
        DWORD dw = static_cast<DWORD>(rng());
        const int kind = pick(rng);
        if (kind < 45)
            dw = static_cast<DWORD>(rng() % (cb + 16));
        else if (kind < 60)
            dw = static_cast<DWORD>(rng() % 8);
        else if (kind < 65)
            dw = 0xFFFFFFFF - static_cast<DWORD>(rng() % 64);
        std::memcpy(bytes.data() + at, &dw, 4);
    }
    // dwTotalSize never claims more than the buffer holds (TAPI's contract
    // with the caller); dwUsedSize may say anything.
    const DWORD dwTotal = static_cast<DWORD>(rng() % (cb + 1));
    std::memcpy(bytes.data(), &dwTotal, 4);
    return bytes;
}

DWORD ExtentOf(const std::vector<BYTE>& bytes) {
    DWORD dwTotal = 0, dwUsed = 0;
    std::memcpy(&dwTotal, bytes.data(), 4);
    std::memcpy(&dwUsed, bytes.data() + 8, 4);
    return std::max<DWORD>(12, std::min(dwTotal, dwUsed));
}

void ExpectWholeReport(const std::string& report, const std::string& strHeader) {
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(report.compare(0, strHeader.size(), strHeader), 0);
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

// Builds T from random bytes of about its size, checks what was read against
// the readable extent, and reports at a random level.
template <typename T, typename Check>
void RandomSnapshot(std::mt19937& rng, std::size_t cbFixed, const char* pszName, Check check) {
    const auto bytes = RandomStructure(rng, cbFixed);
    CExactBuffer buf(bytes);
    T snapshot(buf.Data());
    check(snapshot, static_cast<std::size_t>(ExtentOf(bytes)));
    const int nLevel = static_cast<int>(rng() % 3);
    ExpectWholeReport(snapshot.Report(nLevel), std::string(4 * nLevel, ' ') + "<< " + pszName + " >>\r\n");
}

TEST(SnapshotRandom, AnyBytesGiveSaneSnapshotsAndReports) {
    std::mt19937 rng(20040105);
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        RandomSnapshot<CLineCallInfo>(
            rng, sizeof(LINECALLINFO), "LINECALLINFO", [](CLineCallInfo& info, std::size_t cb) {
                EXPECT_LE(info.m_strCallerID.size(), cb);
                EXPECT_TRUE(info.m_pDevSpecific.empty() || info.m_pDevSpecific.size() == info.m_dwDevSpecificSize);
                EXPECT_LE(info.m_pCallData.size(), cb);
                EXPECT_LE(info.GetDidDdiText().size(), info.m_pDevSpecific.size());
                info.GetLogFields();
                info.GetTrunkText();
            });
        RandomSnapshot<CLineCallStatus>(
            rng, sizeof(LINECALLSTATUS), "LINECALLSTATUS",
            [](CLineCallStatus& status, std::size_t cb) { EXPECT_LE(status.m_pDevSpecific.size(), cb); });
        RandomSnapshot<CLineDevCaps>(rng, sizeof(LINEDEVCAPS), "LINEDEVCAPS", [](CLineDevCaps& caps, std::size_t cb) {
            caps.CheckMakerProvider();
            caps.IsExtLine();
            caps.IsCoLine();
            caps.HasEtcName();
            EXPECT_LE((caps.m_termCaps.size() + caps.m_nTermCapsLeftOut) * sizeof(LINETERMCAPS), cb);
            EXPECT_LE(caps.m_terminalTexts.size() + caps.m_nTerminalTextsLeftOut, cb);
        });
        RandomSnapshot<CLineDevStatus>(
            rng, sizeof(LINEDEVSTATUS), "LINEDEVSTATUS", [](CLineDevStatus& status, std::size_t cb) {
                EXPECT_LE((status.m_appInfo.size() + status.m_nAppInfoLeftOut) * sizeof(LINEAPPINFO), cb);
                EXPECT_LE((status.m_terminalModes.size() + status.m_nTerminalModesLeftOut) * 4, cb);
                for (const auto& pApp : status.m_appInfo) EXPECT_LE(pApp->m_strMachineName.size(), cb);
            });
        RandomSnapshot<CLineAddressCaps>(
            rng, sizeof(LINEADDRESSCAPS), "LINEADDRESSCAPS", [](CLineAddressCaps& caps, std::size_t cb) {
                EXPECT_LE(
                    (caps.m_callTreatments.size() + caps.m_nCallTreatmentsLeftOut) * sizeof(LINECALLTREATMENTENTRY),
                    cb);
                EXPECT_LE(caps.m_completionMsgs.size() + caps.m_nCompletionMsgsLeftOut, cb);
                EXPECT_TRUE(caps.m_strAddress.empty() || caps.GetPaddedAddress().size() >= 4);
            });
        RandomSnapshot<CLineAddressStatus>(
            rng, sizeof(LINEADDRESSSTATUS), "LINEADDRESSSTATUS", [](CLineAddressStatus& status, std::size_t cb) {
                EXPECT_LE((status.m_forwards.size() + status.m_nForwardsLeftOut) * sizeof(LINEFORWARD), cb);
                EXPECT_LE(status.GetExtDisplayName().size(), cb);
                EXPECT_LE(status.GetCoDisplayName().size(), cb);
                EXPECT_LE(status.GetEtcDisplayName().size(), cb);
            });
        // Sub-records straight from random bytes, inside a random range: a
        // sub-structure that runs past the range reads 0 for what lies outside.
        const auto bytes = RandomStructure(rng, 40);
        CExactBuffer buf(bytes);
        const CByteRange range{buf.Data(), static_cast<DWORD>(buf.Size())};
        const BYTE* pAt = buf.Data() + (rng() % (buf.Size() - 11)) / 4 * 4;
        ExpectWholeReport(CLineAppInfo(pAt, buf.Data(), range).Report(1), "    LINEAPPINFO\r\n");
        ExpectWholeReport(CLineForward(pAt, buf.Data(), range).Report(1), "    LINEFORWARD\r\n");
        ExpectWholeReport(CLineDialParams(pAt, buf.Data(), range).Report(1), "    LINEDIALPARAMS\r\n");
        ExpectWholeReport(CLineTermCaps(pAt, buf.Data(), range).Report(1), "    LINETERMCAPS\r\n");
        ExpectWholeReport(CLineCallTreatmentEntry(pAt, buf.Data(), range).Report(1), "    LINECALLTREATMENTENTRY\r\n");
    }
}

}  // namespace
