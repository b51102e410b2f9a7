// The call reports (LINECALLINFO with its dial parameters, LINECALLSTATUS)
// against hand-written golden texts, and the call texts the call nodes and
// the event log read.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "tapi/TapiAbi.h"

using snaptest::AddRaw;
using snaptest::ReadGoldenText;
using snaptest::SnapshotOf;

namespace {

CStructImage WorkedCallStatus() {
    auto img = CStructImage::Of<LINECALLSTATUS>();
    LINECALLSTATUS* p = img.As<LINECALLSTATUS>();
    p->dwCallState = LINECALLSTATE_DISCONNECTED;
    p->dwCallStateMode = LINEDISCONNECTMODE_BUSY;
    p->dwCallPrivilege = LINECALLPRIVILEGE_OWNER;
    p->dwCallFeatures = LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP;
    p->dwCallFeatures2 = LINECALLFEATURE2_NOHOLDCONFERENCE | LINECALLFEATURE2_ONESTEPTRANSFER;
    p->tStateEntryTime = SYSTEMTIME{2004, 1, 1, 5, 13, 7, 9, 45};
    const BYTE dev[] = {1, 2, 3, 4, 5};
    img.AddBytes(offsetof(LINECALLSTATUS, dwDevSpecificSize), dev, sizeof(dev));
    return img;
}

CStructImage CallInfoWithEverything() {
    using S = LINECALLINFO;
    auto img = CStructImage::Of<S>();
    S* p = img.As<S>();
    p->hLine = 0x1003;
    p->dwLineDeviceID = 3;
    p->dwBearerMode = LINEBEARERMODE_VOICE;
    p->dwRate = 9600;
    p->dwMediaMode = 0x5;  // bit 0x1 has no name
    p->dwAppSpecific = 0xDEADBEEF;
    p->dwCallID = 0x1234;
    p->dwCallParamFlags = LINECALLPARAMFLAGS_BLOCKID;
    p->dwCallStates = LINECALLSTATE_OFFERING | LINECALLSTATE_CONNECTED;
    p->dwMonitorDigitModes = LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
    p->dwMonitorMediaModes = 0x1;
    p->DialParams = LINEDIALPARAMS{100, 50, 200, 5000};
    p->dwOrigin = 0x8C;  // EXTERNAL, INBOUND and the unnamed 0x08
    p->dwReason = LINECALLREASON_DIRECT;
    p->dwNumOwners = 1;
    p->dwNumMonitors = 2;
    p->dwCountryCode = 0x31;
    p->dwTrunk = 0xFFFFFFFF;
    p->dwCallerIDFlags = LINECALLPARTYID_NAME | LINECALLPARTYID_ADDRESS;
    p->dwCalledIDFlags = LINECALLPARTYID_ADDRESS;
    p->dwRedirectionIDFlags = LINECALLPARTYID_UNAVAIL;
    p->dwRedirectingIDFlags = LINECALLPARTYID_PARTIAL | LINECALLPARTYID_UNKNOWN;
    p->dwCalledIDNameOffset = 0x7FFFFFFF;  // size 0: the offset does not matter
    p->dwCallTreatment = 0x101;
    AddRaw(img, offsetof(S, dwCallerIDSize), std::string("201\0XY", 6));
    img.AddText(offsetof(S, dwCallerIDNameSize), "Reception");
    img.AddText(offsetof(S, dwCalledIDSize), "301");
    img.AddText(offsetof(S, dwRedirectingIDSize), "4711");
    img.AddText(offsetof(S, dwAppNameSize), "Linoscope3");
    AddRaw(img, offsetof(S, dwCommentSize), "no NUL");
    AddRaw(img, offsetof(S, dwDisplaySize), std::string("A\0B\0", 4));
    img.AddText(offsetof(S, dwUserUserInfoSize), "uui");
    BYTE dev[20];
    for (int i = 0; i < 20; ++i) dev[i] = static_cast<BYTE>(0x10 + i);
    img.AddBytes(offsetof(S, dwDevSpecificSize), dev, sizeof(dev));
    const BYTE sending[] = {0xAA, 0xBB, 0xCC};
    img.AddBytes(offsetof(S, dwSendingFlowspecSize), sending, sizeof(sending));
    BYTE receiving[16];
    for (int i = 0; i < 16; ++i) receiving[i] = static_cast<BYTE>(i);
    img.AddBytes(offsetof(S, dwReceivingFlowspecSize), receiving, sizeof(receiving));
    return img;
}

TEST(CallReports, CallStatusWorkedExampleAtLevelsZeroAndOne) {
    auto status = SnapshotOf<CLineCallStatus>(WorkedCallStatus());
    EXPECT_EQ(status.Report(0), ReadGoldenText("callstatus_level0.txt"));
    EXPECT_EQ(status.Report(1), ReadGoldenText("callstatus_level1.txt"));
}

TEST(CallReports, CallInfoWithDialParamsTextsAndBlocks) {
    auto info = SnapshotOf<CLineCallInfo>(CallInfoWithEverything());
    const std::string golden = ReadGoldenText("callinfo_level0.txt");
    EXPECT_EQ(info.Report(0), golden);
    // One level deeper, the DialParams sub-report's own indent grows too.
    EXPECT_EQ(info.Report(1), snaptest::OneLevelDeeper(golden));
}

TEST(CallReports, StateModeIsNamedFromTheShortTableOfTheState) {
    // 0x4 is ACTIVEHELD among the connected modes, but not in the state's table.
    const std::string report =
        SnapshotOf<CLineCallStatus>(CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED, 0x4)).Report(0);
    EXPECT_NE(report.find("\r\n    dwCallStateMode = 0x00000004 \r\n"), std::string::npos) << report;
}

TEST(CallTexts, TrunkOriginReasonAndLogFields) {
    auto info = SnapshotOf<CLineCallInfo>(CallInfoWithEverything());
    EXPECT_EQ(info.GetCallerID(), "201");
    EXPECT_EQ(info.GetCalledID(), "301");
    EXPECT_EQ(info.GetConnectedID(), "");
    EXPECT_EQ(info.GetRedirectionID(), "");
    EXPECT_EQ(info.GetRedirectingID(), "4711");
    EXPECT_EQ(info.GetTrunkText(), "");
    EXPECT_EQ(info.GetOriginText(), "EXTERNAL,INBOUND");
    EXPECT_EQ(info.GetReasonText(), "DIRECT");
    EXPECT_EQ(info.GetLogFields(), "201,301,,EXTERNAL,INBOUND,DIRECT,,4711,");
    EXPECT_EQ(info.m_hLine, 0x1003u);

    for (auto [dwTrunk, expected] :
         {std::pair<DWORD, const char*>{3, "3"}, {0, "0"}, {0x80000000, "-2147483648"}, {0xFFFFFFFE, "-2"}}) {
        auto img = CStructImage::Of<LINECALLINFO>();
        img.As<LINECALLINFO>()->dwTrunk = dwTrunk;
        EXPECT_EQ(SnapshotOf<CLineCallInfo>(img).GetTrunkText(), expected) << dwTrunk;
    }
}

// A LINECALLINFO whose device-specific part has cbPart bytes and holds the
// DID/DDI length and offset the maker's provider puts at bytes 12 and 16.
CStructImage CallInfoWithDid(DWORD cbPart, DWORD dwDidLength, DWORD dwDidOffsetFromPart, const std::string& digits) {
    auto img = CStructImage::Of<LINECALLINFO>();
    const DWORD dwPartOffset = static_cast<DWORD>(img.Bytes().size());
    std::string part(cbPart, '\x7F');
    auto put = [&](std::size_t at, DWORD v) {
        if (at + 4 <= part.size()) std::memcpy(&part[at], &v, 4);
    };
    put(12, dwDidLength);
    put(16, dwPartOffset + dwDidOffsetFromPart);
    if (dwDidOffsetFromPart + digits.size() <= part.size()) part.replace(dwDidOffsetFromPart, digits.size(), digits);
    AddRaw(img, offsetof(LINECALLINFO, dwDevSpecificSize), part);
    return img;
}

TEST(CallTexts, DidDdiDigitsComeOnlyFromInsideTheDeviceSpecificPart) {
    auto did = [](CStructImage img) { return SnapshotOf<CLineCallInfo>(img).GetDidDdiText(); };
    EXPECT_EQ(did(CallInfoWithDid(60, 4, 40, "0312")), "0312");
    EXPECT_EQ(did(CallInfoWithDid(59, 4, 40, "0312")), "");      // too short a part
    EXPECT_EQ(did(CallInfoWithDid(64, 4, 60, "0312")), "0312");  // ends exactly at the part's end
    EXPECT_EQ(did(CallInfoWithDid(64, 5, 60, "0312")), "");      // one byte beyond the part
    EXPECT_EQ(did(CallInfoWithDid(64, 0xFFFFFFFF, 40, "0312")), "");
    EXPECT_EQ(did(CallInfoWithDid(64, 4, 0xFFFFFF00u, "")), "");  // points before the part
    EXPECT_EQ(did(CallInfoWithDid(64, 8, 40,
                                  std::string("03\0"
                                              "12",
                                              5))),
              "03");
    EXPECT_EQ(did(CallInfoWithDid(0, 4, 40, "")), "");
}

TEST(CallStatusAccessors, AnswerableOnlyWhenOfferedOrAccepted) {
    const DWORD states[] = {LINECALLSTATE_IDLE,      LINECALLSTATE_OFFERING,     LINECALLSTATE_ACCEPTED,
                            LINECALLSTATE_CONNECTED, LINECALLSTATE_DISCONNECTED, 0x6};
    const BOOL answerable[] = {FALSE, TRUE, TRUE, FALSE, FALSE, FALSE};
    for (std::size_t i = 0; i < std::size(states); ++i) {
        auto status = SnapshotOf<CLineCallStatus>(CFakeTapi::MakeCallStatus(states[i]));
        EXPECT_EQ(status.IsAnswerable(), answerable[i]) << states[i];
        EXPECT_TRUE(status.IsDroppable()) << states[i];
    }
}

}  // namespace
