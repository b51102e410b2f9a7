// The reports against hand-written golden texts, and fed with broken and
// hostile structures: whatever the provider wrote, every report is made with
// all of its fixed lines, and nothing outside the structure is read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "support/TestFiles.h"
#include "tapi/TapiAbi.h"

using namespace snaptest;

namespace {

// --- The structures of the golden texts, laid out as a provider would. ------
// (Their fields are packed a few to a line, as a table.)
// clang-format off

CStructImage DevCapsWithTwoTerminals() {
    // Unnamed: bearer 0x100, media 0x1, line state 0x02000000, feature 0x200;
    // DTMFEND is no generated digit mode.
    auto img = ImageOf(LINEDEVCAPS{
        .dwPermanentLineID = 0x00013010, .dwStringFormat = 1, .dwAddressModes = 1, .dwNumAddresses = 1,
        .dwBearerModes = 0x103, .dwMaxRate = 64000, .dwMediaModes = 0x7, .dwGenerateToneModes = 0x0E,
        .dwGenerateToneMaxNumFreq = 3, .dwGenerateDigitModes = 0x6, .dwMonitorToneMaxNumFreq = 2,
        .dwMonitorToneMaxNumEntries = 4, .dwMonitorDigitModes = 0x6, .dwGatherDigitsMinTimeout = 100,
        .dwGatherDigitsMaxTimeout = 60000, .dwMedCtlDigitMaxListSize = 0x10, .dwMedCtlMediaMaxListSize = 0x11,
        .dwMedCtlToneMaxListSize = 0x12, .dwMedCtlCallStateMaxListSize = 0x13, .dwDevCapFlags = 0x1A0,
        .dwMaxNumActiveCalls = 2, .dwAnswerMode = 0x4, .dwRingModes = 3, .dwLineStates = 0x030400C2,
        .dwUUIAcceptSize = 0x21, .dwUUIAnswerSize = 0x22, .dwUUIMakeCallSize = 0x23, .dwUUIDropSize = 0x24,
        .dwUUISendUserUserInfoSize = 0x25, .dwUUICallInfoSize = 0x26, .MinDialParams = {100, 50, 60, 500},
        .MaxDialParams = {3000, 250, 200, 10000}, .DefaultDialParams = {1000, 100, 80, 3000}, .dwNumTerminals = 2,
        .dwTerminalTextEntrySize = 8, .dwLineFeatures = 0x218, .dwSettableDevStatus = 0x6});
    img.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), "Talvora ZR-40");
    img.AddText(offsetof(LINEDEVCAPS, dwSwitchInfoSize), "ZR-40 R2.1");
    img.AddText(offsetof(LINEDEVCAPS, dwLineNameSize), "Ext 3010");
    const LINETERMCAPS caps[2] = {{1, 0x3, 1}, {2, 0x30, 2}};
    img.AddBytes(offsetof(LINEDEVCAPS, dwTerminalCapsSize), caps, sizeof caps);
    // The second entry fills its eight bytes: no NUL ends it.
    AddRaw(img, offsetof(LINEDEVCAPS, dwTerminalTextSize), std::string("Handset\0Headsets", 16));
    AddRaw(img, offsetof(LINEDEVCAPS, dwDevSpecificSize),
           "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F !\"#");
    img.AddText(offsetof(LINEDEVCAPS, dwDeviceClassesSize), std::string("tapi/line\0wave/in\0wave/out\0", 27));
    return img;
}

CStructImage DevCapsWithoutTerminals() {
    // String format 5 and two address modes have no name.
    auto img = ImageOf(LINEDEVCAPS{
        .dwPermanentLineID = 7, .dwStringFormat = 5, .dwAddressModes = 3, .dwNumAddresses = 2, .dwMediaModes = 0x1,
        .dwGenerateDigitModes = 0x4, .dwMaxNumActiveCalls = 1, .dwAnswerMode = 0x1, .dwSettableDevStatus = 0x8});
    img.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), "ISDN test provider");
    img.AddText(offsetof(LINEDEVCAPS, dwDeviceClassesSize), std::string("tapi/line\0", 10));
    return img;
}

CStructImage DevStatusWithAppInfo() {
    auto img = ImageOf(LINEDEVSTATUS{
        .dwNumOpens = 2, .dwOpenMediaModes = 0x4, .dwNumActiveCalls = 1, .dwLineFeatures = 0x8, .dwRingMode = 1,
        .dwSignalLevel = 0xFFFF, .dwBatteryLevel = 0xFFFF, .dwRoamMode = 0x4, .dwDevStatusFlags = 0x5,
        .dwAvailableMediaModes = 0x14});  // this report names none
    const DWORD modes[3] = {0x2, 0x3, 0x80};
    img.AddBytes(offsetof(LINEDEVSTATUS, dwTerminalModesSize), modes, sizeof modes);
    AddRaw(img, offsetof(LINEDEVSTATUS, dwDevSpecificSize), "\x01\x02\x03\x04\x05");
    // The texts of the entries, counted from the start of LINEDEVSTATUS.
    const LINEAPPINFO info[2] = {{9, AppendText(img, "PBXSRV01"), 5, AppendText(img, "tech"), 15,
                                  AppendText(img, "linoscope3.exe"), 11, AppendText(img, "Linoscope3"), 0x4, 0},
                                 {8, AppendText(img, "DESK-07"), 9, AppendText(img, "operator"), 12,
                                  AppendText(img, "console.exe"), 0, 0, 0x14, 1}};
    img.AddBytes(offsetof(LINEDEVSTATUS, dwAppInfoSize), info, sizeof info);
    return img;
}

CStructImage AddressCapsWithMessagesAndTreatments() {
    // Unnamed: call info state 0x80000000; NODIALTONE is named in capabilities.
    auto img = ImageOf(LINEADDRESSCAPS{
        .dwLineDeviceID = 3, .dwAddressSharing = 0x11, .dwAddressStates = 0x1E0, .dwCallInfoStates = 0x8003C100,
        .dwCallerIDFlags = 0x0C, .dwCalledIDFlags = 0x08, .dwConnectedIDFlags = 0x48, .dwRedirectionIDFlags = 0x20,
        .dwCallStates = 0xC103, .dwDialToneModes = 0x05, .dwBusyModes = 0x03, .dwSpecialInfo = 0x04,
        .dwDisconnectModes = 0x1021, .dwMaxNumActiveCalls = 1, .dwMaxNumOnHoldCalls = 2,
        .dwMaxNumOnHoldPendingCalls = 3, .dwMaxNumConference = 4, .dwMaxNumTransConf = 5,
        .dwAddrCapFlags = 0x20021021, .dwCallFeatures = 0x800000C4, .dwRemoveFromConfCaps = 3,
        .dwRemoveFromConfState = 0x100, .dwTransferModes = 0x1, .dwParkModes = 0x3, .dwForwardModes = 0x30011,
        .dwMaxForwardEntries = 6, .dwMaxSpecificEntries = 7, .dwMinFwdNumRings = 1, .dwMaxFwdNumRings = 9,
        .dwMaxCallCompletions = 10, .dwCallCompletionConds = 0x3, .dwCallCompletionModes = 0x9,
        .dwNumCompletionMessages = 2, .dwCompletionMsgTextEntrySize = 10, .dwAddressFeatures = 0x2003,
        .dwPredictiveAutoTransferStates = 0x102, .dwNumCallTreatments = 2, .dwMaxCallDataSize = 0x100,
        .dwCallFeatures2 = 0x201, .dwMaxNoAnswerTimeout = 30, .dwConnectedModes = 0x5, .dwOfferingModes = 0x2,
        .dwAvailableMediaModes = 0x14});
    img.AddText(offsetof(LINEADDRESSCAPS, dwAddressSize), "3010");
    AddRaw(img, offsetof(LINEADDRESSCAPS, dwDevSpecificSize),
           std::string("\0\1\2\3\4\5\6\7\x8\x9\xA\xB\xC\xD\xE\xF", 16));
    AddRaw(img, offsetof(LINEADDRESSCAPS, dwCompletionMsgTextSize), std::string("Busy\0\0\0\0\0\0Later\0\0\0\0\0", 20));
    const LINECALLTREATMENTENTRY treatments[2] = {{2, 6, AppendText(img, "Music")}, {3, 8, AppendText(img, "Silence")}};
    img.AddBytes(offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize), treatments, sizeof treatments);
    img.AddText(offsetof(LINEADDRESSCAPS, dwDeviceClassesSize), std::string("tapi/line\0tapi/phone\0", 21));
    return img;
}

CStructImage AddressStatusWithForwards() {
    auto img = ImageOf(LINEADDRESSSTATUS{
        .dwNumInUse = 1, .dwNumActiveCalls = 2, .dwNumOnHoldCalls = 3, .dwNumOnHoldPendCalls = 4,
        .dwAddressFeatures = 0x3, .dwNumRingsNoAnswer = 5, .dwForwardNumEntries = 2});
    // The texts follow the list here.
    const LINEFORWARD forwards[2] = {{0x1, 0, 0, 0x31, 5, 0}, {0x40, 11, 0, 0x2C, 12, 0}};
    img.AddBytes(offsetof(LINEADDRESSSTATUS, dwForwardSize), forwards, sizeof forwards);
    const DWORD dwList = img.GetDword(offsetof(LINEADDRESSSTATUS, dwForwardOffset));
    img.SetDword(dwList + offsetof(LINEFORWARD, dwDestAddressOffset), AppendText(img, "3020"));
    img.SetDword(dwList + 24 + offsetof(LINEFORWARD, dwCallerAddressOffset), AppendText(img, "0201234567"));
    img.SetDword(dwList + 24 + offsetof(LINEFORWARD, dwDestAddressOffset), AppendText(img, "08005550100"));
    const DWORD modes[2] = {0x2, 0x10};
    img.AddBytes(offsetof(LINEADDRESSSTATUS, dwTerminalModesSize), modes, sizeof modes);
    AddRaw(img, offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), std::string("\5\0\0\0\x60\0\0\0", 8));
    return img;
}

// A count without a list: TAPI's rule is that the size decides.
CStructImage AddressStatusWithoutForwards() {
    return ImageOf(LINEADDRESSSTATUS{.dwForwardNumEntries = 3});
}

CStructImage CallStatusDisconnectedBusy() {
    auto img = ImageOf(LINECALLSTATUS{
        .dwCallState = LINECALLSTATE_DISCONNECTED, .dwCallStateMode = LINEDISCONNECTMODE_BUSY,
        .dwCallPrivilege = LINECALLPRIVILEGE_OWNER, .dwCallFeatures = LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP,
        .dwCallFeatures2 = 0x3, .tStateEntryTime = SYSTEMTIME{2004, 1, 1, 5, 13, 7, 9, 45}});
    AddRaw(img, offsetof(LINECALLSTATUS, dwDevSpecificSize), "\x01\x02\x03\x04\x05");
    return img;
}

CStructImage CallInfoWithEverything() {
    using S = LINECALLINFO;
    // Origin: EXTERNAL, INBOUND and the unnamed 0x08; a name offset of size 0
    // does not matter.
    auto img = ImageOf(S{
        .hLine = 0x1003, .dwLineDeviceID = 3, .dwBearerMode = LINEBEARERMODE_VOICE, .dwRate = 9600,
        .dwMediaMode = 0x5, .dwAppSpecific = 0xDEADBEEF, .dwCallID = 0x1234,
        .dwCallParamFlags = LINECALLPARAMFLAGS_BLOCKID, .dwCallStates = 0x102, .dwMonitorDigitModes = 0x6,
        .dwMonitorMediaModes = 0x1, .DialParams = {100, 50, 200, 5000}, .dwOrigin = 0x8C,
        .dwReason = LINECALLREASON_DIRECT, .dwNumOwners = 1, .dwNumMonitors = 2, .dwCountryCode = 0x31,
        .dwTrunk = 0xFFFFFFFF, .dwCallerIDFlags = 0xC, .dwCalledIDFlags = 0x8, .dwCalledIDNameOffset = 0x7FFFFFFF,
        .dwRedirectionIDFlags = 0x40, .dwRedirectingIDFlags = 0x30, .dwCallTreatment = 0x101});
    AddRaw(img, offsetof(S, dwCallerIDSize), std::string("201\0XY", 6));
    img.AddText(offsetof(S, dwCallerIDNameSize), "Reception");
    img.AddText(offsetof(S, dwCalledIDSize), "301");
    img.AddText(offsetof(S, dwRedirectingIDSize), "4711");
    img.AddText(offsetof(S, dwAppNameSize), "Linoscope3");
    AddRaw(img, offsetof(S, dwCommentSize), "no NUL");
    AddRaw(img, offsetof(S, dwDisplaySize), std::string("A\0B\0", 4));
    img.AddText(offsetof(S, dwUserUserInfoSize), "uui");
    AddRaw(img, offsetof(S, dwDevSpecificSize),
           "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F !\"#");
    AddRaw(img, offsetof(S, dwSendingFlowspecSize), "\xAA\xBB\xCC");
    AddRaw(img, offsetof(S, dwReceivingFlowspecSize), std::string("\0\1\2\3\4\5\6\7\x8\x9\xA\xB\xC\xD\xE\xF", 16));
    return img;
}

// clang-format on

// --- The cases: an input, its class and its golden text. --------------------

// What the rest of the program reads besides the report.
template <typename T>
std::string TextsOf(T&) {
    return {};
}
std::string TextsOf(CLineCallInfo& info) {
    return info.GetLogFields() + "|" + info.GetDidDdiText() + "|" + info.GetTrunkText();
}
std::string TextsOf(CLineAddressCaps& caps) {
    return caps.GetPaddedAddress();
}
std::string TextsOf(CLineAddressStatus& status) {
    return status.GetExtDisplayName() + "|" + status.GetCoDisplayName() + "|" + status.GetEtcDisplayName();
}
std::string TextsOf(CLineDevCaps& caps) {
    const BOOL flags[] = {caps.CheckMakerProvider(), caps.IsExtLine(), caps.IsCoLine(), caps.HasEtcName()};
    std::string text;
    for (BOOL b : flags) text += b ? '1' : '0';
    return text;
}

// The snapshot of an exact copy of the bytes, reported at a level; with
// bTexts, followed by a NUL (which no report holds) and what the program reads
// from it besides.
template <typename T>
std::string ReadAs(const std::vector<BYTE>& bytes, int nLevel, bool bTexts) {
    T snapshot = SnapshotOf<T>(bytes);
    return snapshot.Report(nLevel) + (bTexts ? std::string(1, '\0') + TextsOf(snapshot) : "");
}

struct Case {
    const char* pszGolden;
    CStructImage (*make)();
    std::string (*read)(const std::vector<BYTE>&, int, bool);
    const char* pszTexts;         // what TextsOf gives
    std::size_t devSpecificSize;  // the offset of its dwDevSpecificSize
    const char* pszLevel1Golden = nullptr;
};

// A case of snapshot class T taken from structure S.
template <typename T, typename S>
Case Row(const char* pszGolden, CStructImage (*make)(), const char* pszTexts, const char* pszLevel1Golden = nullptr) {
    return {pszGolden, make, ReadAs<T>, pszTexts, offsetof(S, dwDevSpecificSize), pszLevel1Golden};
}

// The hostile tests below pick the first four by their place.
const Case kCases[] = {
    Row<CLineDevCaps, LINEDEVCAPS>("linedevcaps_two_terminals.txt", DevCapsWithTwoTerminals, "1100"),
    Row<CLineDevStatus, LINEDEVSTATUS>("linedevstatus_appinfo.txt", DevStatusWithAppInfo, ""),
    Row<CLineAddressCaps, LINEADDRESSCAPS>("lineaddresscaps_completion_treatments.txt",
                                           AddressCapsWithMessagesAndTreatments, "3010"),
    Row<CLineAddressStatus, LINEADDRESSSTATUS>("lineaddressstatus_forwards.txt", AddressStatusWithForwards, "||"),
    Row<CLineDevCaps, LINEDEVCAPS>("linedevcaps_no_terminals.txt", DevCapsWithoutTerminals, "0000"),
    Row<CLineAddressStatus, LINEADDRESSSTATUS>("lineaddressstatus_no_forwards.txt", AddressStatusWithoutForwards, "||"),
    Row<CLineCallStatus, LINECALLSTATUS>("callstatus_level0.txt", CallStatusDisconnectedBusy, "",
                                         "callstatus_level1.txt"),
    Row<CLineCallInfo, LINECALLINFO>("callinfo_level0.txt", CallInfoWithEverything,
                                     "201,301,,EXTERNAL,INBOUND,DIRECT,,4711,||"),
};

std::string Report(const Case& c, const std::vector<BYTE>& bytes, int nLevel = 0) {
    return c.read(bytes, nLevel, false);
}

// A report one level deeper: every line that holds anything gains four
// blanks, and so does the indent of a sub-report that starts on its label's
// line; the empty separator lines stay empty.
std::string OneLevelDeeper(const std::string& text) {
    std::string deeper;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find(" = ");
        const std::size_t header = eq == std::string::npos ? eq : line.find_first_not_of(' ', eq + 3);
        if (header != std::string::npos && header > eq + 3 && line.compare(header, 4, "LINE") == 0) {
            line.insert(eq + 3, "    ");
        }
        deeper += (line.empty() ? "" : "    ") + line + "\r\n";
    }
    return deeper;
}

// A golden text with some of its pieces replaced (each must be there).
std::string GoldenWith(const std::string& strName, std::initializer_list<std::pair<std::string, std::string>> edits) {
    std::string text = ReadGoldenText(strName);
    for (const auto& [from, to] : edits) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

// The lines every report of the class has whatever the structure holds: its
// header and the golden's top-level labels up to " = ", without the list
// entries (which depend on the data). Empty when each is found in order, else
// the first one missing.
std::string MissingLabel(const std::string& report, const Case& c) {
    std::size_t at = 0;
    const std::string golden = ReadGoldenText(c.pszGolden);
    for (std::size_t start = 0, end; (end = golden.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string label = golden.substr(start, end - start + 2);
        const std::size_t eq = label.find(" = ");
        if (label.rfind("<< ", 0) != 0) {
            if (label.compare(0, 4, "    ") != 0 || label[4] == ' ' || eq == std::string::npos || label.find('[') < eq)
                continue;
            label.resize(eq + 3);
        }
        at = report.find(label, at);
        if (at == std::string::npos) return label;
        at += label.size();
    }
    return report.size() >= 2 && report.substr(report.size() - 2) == "\r\n" ? "" : "(no CR LF at the end)";
}

TEST(Reports, MatchTheGoldenTextsByteForByteAtEveryLevel) {
    CRangeValues values;  // the default ranges
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszGolden);
        const std::vector<BYTE> bytes = WithSizes(c.make());
        const std::string golden = ReadGoldenText(c.pszGolden);
        EXPECT_EQ(Report(c, bytes, 0), golden);
        EXPECT_EQ(Report(c, bytes, 1), c.pszLevel1Golden ? ReadGoldenText(c.pszLevel1Golden) : OneLevelDeeper(golden));
        EXPECT_EQ(Report(c, bytes, 2), OneLevelDeeper(OneLevelDeeper(golden)));
        EXPECT_EQ(c.read(bytes, 0, true), golden + std::string(1, '\0') + c.pszTexts);
    }
}

// --- Broken structures --------------------------------------------------------

TEST(Reports, StructureCutToItsHeaderReportsZerosAndEmptyParts) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszGolden);
        std::vector<BYTE> bytes = WithSizes(c.make());
        const std::vector<BYTE> zeros = WithSizes(CStructImage(bytes.size()));
        bytes[8] = 12;  // dwUsedSize: the header only
        bytes[9] = bytes[10] = bytes[11] = 0;
        EXPECT_EQ(Report(c, bytes), Report(c, zeros));
        EXPECT_EQ(MissingLabel(Report(c, bytes), c), "");
    }
    // Nothing but zeros in an address status is exactly the golden without forwards.
    const std::vector<BYTE> zeros = WithSizes(CStructImage::Of<LINEADDRESSSTATUS>());
    EXPECT_EQ(Report(kCases[3], zeros), ReadGoldenText("lineaddressstatus_no_forwards.txt"));
}

TEST(Reports, BlocksOutsideTheStructureDumpNothingButKeepTheirSize) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszGolden);
        CStructImage img = c.make();
        img.SetDword(c.devSpecificSize, 0xFFFFFFF0);  // far longer than the structure
        std::string report = Report(c, WithSizes(img));
        EXPECT_NE(report.find("    dwDevSpecificSize = 0xFFFFFFF0 \r\n        \r\n"), std::string::npos) << report;
        EXPECT_EQ(MissingLabel(report, c), "");

        img.SetDword(c.devSpecificSize, 0x20);
        img.SetDword(c.devSpecificSize + 4, 0xFFFFFFF0);  // offset + size wraps around 32 bits
        report = Report(c, WithSizes(img));
        EXPECT_NE(report.find("    dwDevSpecificSize = 0x00000020 \r\n        \r\n"), std::string::npos) << report;
        EXPECT_EQ(MissingLabel(report, c), "");
    }
}

TEST(Reports, HugeCountsGiveOnlyTheEntriesThatFit) {
    const struct {
        std::vector<std::size_t> countFields;
        std::vector<const char*> present;  // the last entries there are
    } cases[] = {
        {{offsetof(LINEDEVCAPS, dwNumTerminals)}, {"    TerminalCaps[1] = "}},
        {{offsetof(LINEDEVSTATUS, dwNumOpens)}, {"    AppInfo[1] =     LINEAPPINFO\r\n"}},
        {{offsetof(LINEADDRESSCAPS, dwNumCompletionMessages), offsetof(LINEADDRESSCAPS, dwNumCallTreatments)},
         {"    CompletionMsgText[1] = Later\r\n", "    CallTreatmentList[1] = "}},
        {{offsetof(LINEADDRESSSTATUS, dwForwardNumEntries)}, {"    Forward[1] = "}},
    };
    for (std::size_t nCase = 0; nCase < std::size(cases); ++nCase) {
        const auto& k = cases[nCase];
        const Case& c = kCases[nCase];
        SCOPED_TRACE(c.pszGolden);
        CStructImage img = c.make();
        for (std::size_t field : k.countFields) img.SetDword(field, 0xFFFFFFFF);
        const std::string report = Report(c, WithSizes(img));
        for (const char* psz : k.present) EXPECT_NE(report.find(psz), std::string::npos) << psz;
        // These records end their structures: no record after the last.
        for (const char* psz : {"AppInfo[2]", "Forward[2]"}) EXPECT_EQ(report.find(psz), std::string::npos) << psz;
        EXPECT_EQ(MissingLabel(report, c), "");
    }
}

// A 16 MiB structure whose lists all claim 0xFFFFFFFF entries of one byte (or
// of their record size) over the whole structure: the snapshot keeps a few
// thousand entries per list, the report says in one line how many more the
// list held, and both take a small fraction of a second.
TEST(Reports, HostileCountsOverA16MiBStructureStayCheap) {
    constexpr DWORD kSize = 16u << 20;
    constexpr std::size_t kKept = CTapiSnapshot::kMaxListEntries;
#if defined(__SANITIZE_ADDRESS__)
    constexpr double kSecondsAllowed = 3.0;  // the checked build is about ten times slower
#else
    constexpr double kSecondsAllowed = 1.0;
#endif
    struct List {
        const char* pszLabel;
        std::size_t countField;      // 0: the count is the size / 4 (terminal modes)
        std::size_t sizeField;       // the Offset field follows it
        std::size_t entrySizeField;  // 0: records of cbEntry bytes
        DWORD cbEntry;
    };
    using DC = LINEDEVCAPS;
    using DS = LINEDEVSTATUS;
    using AC = LINEADDRESSCAPS;
    using AS = LINEADDRESSSTATUS;
    const struct {
        std::size_t cbFixed;
        std::vector<List> lists;
    } cases[] = {
        {sizeof(DC),
         {{"TerminalCaps", offsetof(DC, dwNumTerminals), offsetof(DC, dwTerminalCapsSize), 0, 12},
          {"TerminalTexts", offsetof(DC, dwNumTerminals), offsetof(DC, dwTerminalTextSize),
           offsetof(DC, dwTerminalTextEntrySize), 1}}},
        {sizeof(DS),
         {{"TerminalMode", 0, offsetof(DS, dwTerminalModesSize), 0, 4},
          {"AppInfo", offsetof(DS, dwNumOpens), offsetof(DS, dwAppInfoSize), 0, 40}}},
        {sizeof(AC),
         {{"CompletionMsgText", offsetof(AC, dwNumCompletionMessages), offsetof(AC, dwCompletionMsgTextSize),
           offsetof(AC, dwCompletionMsgTextEntrySize), 1},
          {"CallTreatmentList", offsetof(AC, dwNumCallTreatments), offsetof(AC, dwCallTreatmentListSize), 0, 12}}},
        {sizeof(AS),
         {{"Forward", offsetof(AS, dwForwardNumEntries), offsetof(AS, dwForwardSize), 0, 24},
          {"TerminalMode", 0, offsetof(AS, dwTerminalModesSize), 0, 4}}},
    };
    for (std::size_t nCase = 0; nCase < std::size(cases); ++nCase) {
        const auto& k = cases[nCase];
        const Case& c = kCases[nCase];
        SCOPED_TRACE(c.pszGolden);
        // Bytes of 0x01: texts without an end, offsets far outside.
        std::vector<BYTE> bytes(kSize, 1);
        std::memset(bytes.data(), 0, k.cbFixed);
        auto put = [&](std::size_t at, DWORD dw) { std::memcpy(bytes.data() + at, &dw, 4); };
        for (std::size_t at : {0, 4, 8}) put(at, kSize);
        std::vector<std::string> leftOutLines;
        for (const List& list : k.lists) {
            if (list.countField != 0) put(list.countField, 0xFFFFFFFF);
            if (list.entrySizeField != 0) put(list.entrySizeField, list.cbEntry);
            put(list.sizeField, kSize - static_cast<DWORD>(k.cbFixed));
            put(list.sizeField + 4, static_cast<DWORD>(k.cbFixed));
            const std::size_t nHeld = (kSize - k.cbFixed) / list.cbEntry;
            const std::string strLabel = std::string("    ") + list.pszLabel + "[";
            leftOutLines.push_back(strLabel + std::to_string(kKept - 1) + "] = ");
            leftOutLines.push_back(strLabel + std::to_string(kKept) + ".." + std::to_string(nHeld - 1) +
                                   "] = " + std::to_string(nHeld - kKept) + " more entries not shown\r\n");
        }
        const auto start = std::chrono::steady_clock::now();
        const std::string report = Report(c, bytes);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), kSecondsAllowed);
        EXPECT_LT(report.size(), 1024u * 1024u);
        // Every list shows its last kept entry, then says how many more it held.
        for (const std::string& line : leftOutLines) EXPECT_NE(report.find(line), std::string::npos) << line;
        EXPECT_EQ(MissingLabel(report, c), "");
    }
}

// Records whose texts all name the same long text: the snapshot stops keeping
// records once their texts reach about a megabyte.
TEST(Reports, RecordsSharingALongTextStopAtTheTextBudget) {
    constexpr DWORD kForwards = 100, kText = 600 * 1024;
    auto img = ImageOf(LINEADDRESSSTATUS{.dwForwardNumEntries = kForwards});
    std::vector<LINEFORWARD> forwards(kForwards, LINEFORWARD{0, 0, 0, 0, kText + 1, 0});
    const DWORD dwText =
        static_cast<DWORD>(sizeof(LINEADDRESSSTATUS) + kForwards * sizeof(LINEFORWARD));  // right after the list
    for (LINEFORWARD& f : forwards) f.dwDestAddressOffset = dwText;
    img.AddBytes(offsetof(LINEADDRESSSTATUS, dwForwardSize), forwards.data(), kForwards * sizeof(LINEFORWARD));
    AppendText(img, std::string(kText, 'D'));
    auto status = SnapshotOf<CLineAddressStatus>(img);
    ASSERT_EQ(status.m_forwards.size(), 2u);
    EXPECT_EQ(status.m_forwards[1]->m_strDestAddress.size(), kText);
    EXPECT_EQ(status.m_nForwardsLeftOut, kForwards - 2);
    const std::string report = status.Report(0);
    EXPECT_LT(report.size(), 2u * 1024u * 1024u);
    EXPECT_NE(report.find("\" \r\n    Forward[2..99] = 98 more entries not shown\r\n\r\n    dwDevSpecificSize"),
              std::string::npos);
}

TEST(Reports, ZeroEntrySizesAndStrayTextOffsetsLeaveTheRestIntact) {
    // Without an entry size there are no terminal texts; the caps stay.
    CStructImage img = DevCapsWithTwoTerminals();
    img.SetDword(offsetof(LINEDEVCAPS, dwTerminalTextEntrySize), 0);
    EXPECT_EQ(Report(kCases[0], WithSizes(img)),
              GoldenWith("linedevcaps_two_terminals.txt",
                         {{"    TerminalTexts[0] = Handset\r\n    TerminalTexts[1] = Headsets\r\n", ""}}));
    // An entry's text that points outside the structure prints as "".
    img = DevStatusWithAppInfo();
    const DWORD dwInfo = img.GetDword(offsetof(LINEDEVSTATUS, dwAppInfoOffset));
    img.SetDword(dwInfo + offsetof(LINEAPPINFO, dwUserNameOffset), 0xFFFFFFFE);
    EXPECT_EQ(Report(kCases[1], WithSizes(img)),
              GoldenWith("linedevstatus_appinfo.txt", {{"UserName = \"tech\" ", "UserName = \"\" "}}));
}

// Random damage to the structures, fixed seed: any DWORD, the used size, the
// buffer cut short (dwTotalSize is always the buffer's real size, as TAPI
// guarantees). Every report is made with all of its fixed lines, and neither
// it nor what the program reads besides changes when the bytes beyond the
// readable extent do: nothing there is read (and the sanitizer builds see no
// read past the buffer).
TEST(Reports, RandomlyDamagedStructuresStillGiveWholeReportsAndReadOnlyTheirExtent) {
    std::mt19937 random(20240305u);
    const DWORD interesting[] = {0, 1, 4, 12, 0x7F, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFF};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszGolden);
        const std::vector<BYTE> original = WithSizes(c.make());
        for (int round = 0; round < 1000 && !HasFailure(); ++round) {
            std::vector<BYTE> bytes = original;
            if (random() % 4 == 0) bytes.resize(12 + random() % (bytes.size() - 11));
            const std::size_t nDwords = bytes.size() / 4;
            for (int hit = 0, nHits = 1 + static_cast<int>(random() % 4); hit < nHits; ++hit) {
                const std::size_t at = 4 * (1 + random() % (nDwords - 1));
                const DWORD kind = random() % 3;
                const DWORD value = kind == 0   ? interesting[random() % std::size(interesting)]
                                    : kind == 1 ? static_cast<DWORD>(random() % (original.size() + 64))
                                                : static_cast<DWORD>(random());
                std::memcpy(bytes.data() + at, &value, 4);
            }
            DWORD dwUsed = static_cast<DWORD>(bytes.size());
            if (random() % 4 == 0) dwUsed = static_cast<DWORD>(random() % bytes.size());
            std::memcpy(bytes.data() + 8, &dwUsed, 4);
            const DWORD dwTotal = static_cast<DWORD>(bytes.size());
            std::memcpy(bytes.data(), &dwTotal, 4);

            const int nLevel = round % 3;
            const std::string read = c.read(bytes, nLevel, true);
            ASSERT_EQ(MissingLabel(read.substr(0, read.find('\0')), c), "") << "round " << round << ":\n" << read;
            for (std::size_t at = std::max<DWORD>(12, dwUsed); at < bytes.size(); ++at) bytes[at] ^= 0x5A;
            ASSERT_EQ(c.read(bytes, nLevel, true), read) << "round " << round;
        }
    }
}

}  // namespace
