// The snapshots as the rest of the program reads them: texts, lists, records
// and the call texts taken from the structure, never anything from outside
// it, whatever sizes, offsets and counts the provider wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "sim/SimTestData.h"
#include "support/SnapshotTestSupport.h"

using namespace snaptest;

std::string snaptest::ReadFrom(const std::string& strStruct, const BYTE* p, int nLevel) {
    std::ostringstream out;
    auto quoted = [&out](const std::string& s) -> std::ostream& { return out << " \"" << s << "\""; };
    auto report = [nLevel](const auto& s) { return nLevel < 0 ? std::string() : s.Report(nLevel) + '\0'; };
    if (strStruct == "LINEDEVSTATUS") {
        const CLineDevStatus s(p);
        out << report(s) << "terminal modes";
        for (DWORD dw : s.m_terminalModes) out << " " << dw;
        out << ", " << s.m_appInfo.size() << " apps, " << s.m_nAppInfoLeftOut << " left out";
    } else if (strStruct == "LINEADDRESSCAPS") {
        const CLineAddressCaps s(p);
        out << report(s);
        quoted(s.GetAddress() + "\" padded \"" + s.GetPaddedAddress()) << ", completion messages";
        for (const std::string& str : s.m_completionMsgs) quoted(str);
        out << ", treatments";
        for (const auto& pTreatment : s.m_callTreatments)
            quoted(std::to_string(pTreatment->m_dwCallTreatmentID) + " " + pTreatment->m_strCallTreatmentName);
    } else if (strStruct == "LINEADDRESSSTATUS") {
        const CLineAddressStatus s(p);
        out << report(s) << "names";
        quoted(s.GetExtDisplayName() + "|" + s.GetCoDisplayName() + "|" + s.GetEtcDisplayName());
    } else if (strStruct == "LINECALLINFO") {
        const CLineCallInfo s(p);
        out << report(s) << std::hex << "line " << s.m_hLine << " device " << s.m_dwLineDeviceID << ", log";
        quoted(s.GetLogFields()) << ", DID";
        quoted(s.GetDidDdiText()) << ", trunk " << s.m_dwTrunk;
        quoted(s.GetTrunkText()) << ", device-specific " << s.m_dwDevSpecificSize << " bytes, "
                                 << s.m_pDevSpecific.size() << " read, call data";
        for (BYTE b : s.m_pCallData) out << " " << unsigned(b);
    } else if (strStruct == "LINECALLSTATUS") {
        const CLineCallStatus s(p);
        const std::string strReport = s.Report(0);
        const std::size_t at = strReport.find("    dwCallStateMode");
        out << report(s) << "answer " << s.IsAnswerable() << " drop " << s.IsDroppable() << ", features2 "
            << s.m_dwCallFeatures2 << ", entered";
        for (WORD w : {s.m_tStateEntryTime.wYear, s.m_tStateEntryTime.wMonth, s.m_tStateEntryTime.wDayOfWeek,
                       s.m_tStateEntryTime.wDay, s.m_tStateEntryTime.wHour, s.m_tStateEntryTime.wMinute,
                       s.m_tStateEntryTime.wSecond, s.m_tStateEntryTime.wMilliseconds})
            out << " " << w;
        quoted(strReport.substr(at, strReport.find('\r', at) - at));
    } else if (strStruct == "LINEDEVCAPS") {
        CLineDevCaps s(p);
        out << report(s) << "features " << s.m_dwLineFeatures << ", settable " << s.m_dwSettableDevStatus
            << ", classes";
        quoted(s.m_strDeviceClasses) << ", maker, EXT, CO, ETC name " << s.CheckMakerProvider() << s.IsExtLine()
                                     << s.IsCoLine() << s.HasEtcName();
    }
    return out.str();
}

namespace {

// snapshots.txt: structures written as text (see StructureOf), each followed
// by what the program reads from it. After the fields: "fill: N" appends N
// bytes of 0x01 that no field points at; the sizes are then set to the whole;
// "cut: N" keeps the first N bytes (and says so in dwTotalSize and
// dwUsedSize), "total: N" and "used: N" set one size, "shift: N" hands the
// structure over N bytes into its buffer, which need not be aligned.
TEST(Snapshots, ReadOnlyWhatTheStructureHolds) {
    ExpectDataFileAt(std::string(LSC_GOLDEN_DIR) + "/snapshots.txt", [](const std::string& strInput) {
        CStructImage img = StructureOf(strInput);
        std::istringstream lines(strInput);
        std::vector<std::pair<std::string, DWORD>> steps;
        for (std::string line, word; std::getline(lines, line);) {
            std::istringstream words(line);
            DWORD dw = 0;
            if (line.find(": ") != std::string::npos && words >> word >> std::setbase(0) >> dw) {
                if (word == "fill:") AppendRaw(img, std::string(dw, '\x01'));
                steps.emplace_back(word, dw);
            }
        }
        std::vector<BYTE> bytes = WithSizes(img);
        std::size_t nShift = 0;
        for (const auto& [word, dw] : steps) {
            if (word == "cut:") bytes.resize(dw);
            if (word == "shift:") nShift = dw;
            for (std::size_t at : {0, 8}) {
                if (word == "cut:" || (word == "total:" && at == 0) || (word == "used:" && at == 8))
                    std::memcpy(bytes.data() + at, &dw, 4);
            }
        }
        bytes.insert(bytes.begin(), nShift, 0xEE);
        CExactBuffer buf(bytes);
        return ReadFrom(strInput.substr(0, strInput.find('\n')), buf.Data() + nShift, -1);
    });
}

}  // namespace
