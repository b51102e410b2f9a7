#include "model/SimScenario.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <type_traits>

namespace sim {

using nlohmann::json;

namespace {

constexpr const char* kMakerProvider = "Talvora ZR-40N";
constexpr const char* kMakerSwitch = "ZR-40N R3.1";
constexpr double kMaxSeconds = 1.0e7;
constexpr double kMinCallsPerMinute = 60.0 / kMaxSeconds;

// Collects the first fault with its place ("devices[2].kind").
class CReader {
public:
    explicit CReader(std::string strSource) : m_strSource(std::move(strSource)) {}

    bool Fail(const std::string& strPlace, const std::string& strFault) {
        if (m_strError.empty()) {
            m_strError =
                m_strSource + ": " + (strPlace.empty() ? std::string("top level") : strPlace) + ": " + strFault;
        }
        return false;
    }
    const std::string& GetError() const { return m_strError; }

    bool CheckKeys(const json& j, const std::string& strPlace, std::initializer_list<const char*> keys) {
        if (!j.is_object()) {
            return Fail(strPlace, "expected an object");
        }
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (std::none_of(keys.begin(), keys.end(), [&](const char* psz) { return it.key() == psz; })) {
                return Fail(Join(strPlace, it.key()), "unknown key \"" + it.key() + "\"");
            }
        }
        return true;
    }

    static std::string Join(const std::string& strPlace, const std::string& strKey) {
        return strPlace.empty() ? strKey : strPlace + "." + strKey;
    }

    bool GetString(const json& j, const std::string& strPlace, std::string* pstr) {
        if (!j.is_string()) {
            return Fail(strPlace, "expected a text in double quotes");
        }
        *pstr = j.get<std::string>();
        return true;
    }

    bool GetBool(const json& j, const std::string& strPlace, bool* pb) {
        if (!j.is_boolean()) {
            return Fail(strPlace, "expected true or false");
        }
        *pb = j.get<bool>();
        return true;
    }

    // Seconds (fractions allowed) into milliseconds.
    bool GetSeconds(const json& j, const std::string& strPlace, SimTime* pt) {
        if (!j.is_number()) {
            return Fail(strPlace, "expected a number of seconds");
        }
        double d = j.get<double>();
        if (!(d >= 0.0) || d > kMaxSeconds) {
            return Fail(strPlace, "seconds must lie between 0 and 10000000");
        }
        *pt = static_cast<SimTime>(d * 1000.0 + 0.5);
        return true;
    }

    // A 32-bit value as a number or as a "0x..." text.
    bool GetDword(const json& j, const std::string& strPlace, DWORD* pdw) {
        if (j.is_number_unsigned() || (j.is_number_integer() && j.get<std::int64_t>() >= 0)) {
            std::uint64_t qw = j.get<std::uint64_t>();
            if (qw > 0xFFFFFFFFull) {
                return Fail(strPlace, "value does not fit in 32 bits");
            }
            *pdw = static_cast<DWORD>(qw);
            return true;
        }
        if (j.is_string()) {
            std::string str = j.get<std::string>();
            if (str.size() > 2 && str.size() <= 10 && str[0] == '0' && (str[1] == 'x' || str[1] == 'X') &&
                str.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos) {
                *pdw = static_cast<DWORD>(std::stoul(str.substr(2), nullptr, 16));
                return true;
            }
        }
        return Fail(strPlace, "expected a whole number from 0 to 4294967295 or a text like \"0x3001\"");
    }

    // Seconds as a pair [min, max].
    bool GetRange(const json& j, const std::string& strPlace, SimTime* ptMin, SimTime* ptMax) {
        if (!j.is_array() || j.size() != 2) {
            return Fail(strPlace, "expected [lowest, highest] in seconds");
        }
        if (!GetSeconds(j[0], strPlace + "[0]", ptMin) || !GetSeconds(j[1], strPlace + "[1]", ptMax)) {
            return false;
        }
        if (*ptMin > *ptMax) {
            return Fail(strPlace, "the lowest value is above the highest");
        }
        return true;
    }

private:
    std::string m_strSource;
    std::string m_strError;
};

bool ParseKind(CReader& r, const json& j, const std::string& strPlace, ELineKind* peKind) {
    std::string str;
    if (!r.GetString(j, strPlace, &str)) {
        return false;
    }
    if (str == "ext") {
        *peKind = ELineKind::Ext;
    } else if (str == "co") {
        *peKind = ELineKind::Co;
    } else if (str == "etc") {
        *peKind = ELineKind::Etc;
    } else if (str == "other") {
        *peKind = ELineKind::Other;
    } else {
        return r.Fail(strPlace, "unknown kind \"" + str + "\" (expected ext, co, etc or other)");
    }
    return true;
}

bool ParseDevice(CReader& r, const json& j, const std::string& strPlace, CSimLineConfig* pLine) {
    if (!r.CheckKeys(j, strPlace,
                     {"kind", "number", "name", "lineName", "provider", "switchInfo", "permanentLineId", "trunk", "did",
                      "refuseVersions", "openFails", "inService"})) {
        return false;
    }
    if (!j.contains("kind")) {
        return r.Fail(strPlace, "missing \"kind\"");
    }
    if (!j.contains("number")) {
        return r.Fail(strPlace, "missing \"number\"");
    }
    bool bOk = ParseKind(r, j["kind"], strPlace + ".kind", &pLine->m_eKind) &&
               r.GetString(j["number"], strPlace + ".number", &pLine->m_strNumber);
    if (bOk && pLine->m_strNumber.empty()) {
        return r.Fail(strPlace + ".number", "a line needs a number");
    }
    auto optString = [&](const char* pszKey, std::string* pstr) {
        return !bOk || !j.contains(pszKey) || r.GetString(j[pszKey], r.Join(strPlace, pszKey), pstr);
    };
    bOk = bOk && optString("name", &pLine->m_strName) && optString("lineName", &pLine->m_strLineName) &&
          optString("provider", &pLine->m_strProvider) && optString("switchInfo", &pLine->m_strSwitchInfo) &&
          optString("did", &pLine->m_strDid);
    if (bOk && j.contains("permanentLineId")) {
        bOk = r.GetDword(j["permanentLineId"], strPlace + ".permanentLineId", &pLine->m_dwPermanentLineID);
    }
    if (bOk && j.contains("trunk")) {
        if (pLine->m_eKind != ELineKind::Co) {
            return r.Fail(strPlace + ".trunk", "only co lines have a trunk number");
        }
        bOk = r.GetDword(j["trunk"], strPlace + ".trunk", &pLine->m_dwTrunk);
    }
    if (bOk && j.contains("openFails")) {
        bOk = r.GetBool(j["openFails"], strPlace + ".openFails", &pLine->m_bOpenFails);
    }
    if (bOk && j.contains("inService")) {
        bOk = r.GetBool(j["inService"], strPlace + ".inService", &pLine->m_bInService);
    }
    if (bOk && j.contains("refuseVersions")) {
        const json& versions = j["refuseVersions"];
        if (!versions.is_array()) {
            return r.Fail(strPlace + ".refuseVersions", "expected a list of API versions like \"0x00020000\"");
        }
        for (std::size_t i = 0; bOk && i < versions.size(); ++i) {
            DWORD dw = 0;
            bOk = r.GetDword(versions[i], strPlace + ".refuseVersions[" + std::to_string(i) + "]", &dw);
            pLine->m_refusedVersions.push_back(dw);
        }
    }
    return bOk;
}

// Defaults that depend on the kind and on the order of lines of that kind.
void CompleteDevice(CSimLineConfig* pLine, DWORD dwOrdinal, bool bHasPermanentID) {
    bool bMaker = pLine->m_eKind != ELineKind::Other;
    if (pLine->m_strName.empty()) {
        pLine->m_strName = pLine->m_strNumber;
    }
    if (pLine->m_strProvider.empty()) {
        pLine->m_strProvider = bMaker ? kMakerProvider : "Sample Line Provider";
    }
    if (pLine->m_strSwitchInfo.empty() && bMaker) {
        pLine->m_strSwitchInfo = kMakerSwitch;
    }
    if (!bHasPermanentID) {
        switch (pLine->m_eKind) {
            case ELineKind::Ext:
                pLine->m_dwPermanentLineID = 0x3000 + dwOrdinal;
                break;
            case ELineKind::Co:
                pLine->m_dwPermanentLineID = 0x1000 + dwOrdinal;
                break;
            case ELineKind::Etc:
                pLine->m_dwPermanentLineID = 0x0500 + dwOrdinal;
                break;
            case ELineKind::Other:
                pLine->m_dwPermanentLineID = 0x00020000 + dwOrdinal;
                break;
        }
    }
    if (pLine->m_eKind == ELineKind::Co && pLine->m_dwTrunk == kNoTrunk) {
        pLine->m_dwTrunk = dwOrdinal;
    }
    if (pLine->m_strLineName.empty()) {
        switch (pLine->m_eKind) {
            case ELineKind::Ext:
                pLine->m_strLineName = "Ext " + pLine->m_strNumber;
                break;
            case ELineKind::Co:
                pLine->m_strLineName = "Trunk " + std::to_string(pLine->m_dwTrunk);
                break;
            default:
                pLine->m_strLineName = pLine->m_strName;
                break;
        }
    }
}

bool ParseDevices(CReader& r, const json& j, std::vector<CSimLineConfig>* pLines) {
    if (!j.is_array() || j.empty()) {
        return r.Fail("devices", "expected a list of at least one device");
    }
    DWORD dwOrdinals[4] = {0, 0, 0, 0};
    std::set<std::string> numbers;
    for (std::size_t i = 0; i < j.size(); ++i) {
        std::string strPlace = "devices[" + std::to_string(i) + "]";
        CSimLineConfig line;
        if (!ParseDevice(r, j[i], strPlace, &line)) {
            return false;
        }
        if (!numbers.insert(line.m_strNumber).second) {
            return r.Fail(strPlace + ".number", "the number \"" + line.m_strNumber + "\" is used twice");
        }
        DWORD dwOrdinal = ++dwOrdinals[static_cast<int>(line.m_eKind)];
        CompleteDevice(&line, dwOrdinal, j[i].contains("permanentLineId"));
        pLines->push_back(line);
    }
    return true;
}

// Checks that a number names a line of the right kind.
bool CheckLine(CReader& r, const std::vector<CSimLineConfig>& lines, const std::string& strNumber,
               const std::string& strPlace, bool bTrunk, bool bAnyKind = false) {
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const CSimLineConfig& line) { return line.m_strNumber == strNumber; });
    if (it == lines.end()) {
        return r.Fail(strPlace, "no device has the number \"" + strNumber + "\"");
    }
    if (!bAnyKind && bTrunk != (it->m_eKind == ELineKind::Co)) {
        return r.Fail(strPlace, bTrunk ? "\"" + strNumber + "\" is not a co line"
                                       : "\"" + strNumber + "\" is a co line; expected an extension");
    }
    return true;
}

bool ParseActionJson(CReader& r, const json& j, const std::string& strPlace, bool bNeedAt,
                     const std::vector<CSimLineConfig>& lines, CSimAction* pAction) {
    if (!r.CheckKeys(j, strPlace,
                     {"at", "event", "from", "to", "line", "trunk", "number", "caller", "callerName", "did", "ring",
                      "talk", "busy", "noAnswer", "transferTo", "transferAfter", "for"})) {
        return false;
    }
    if (bNeedAt && !j.contains("at")) {
        return r.Fail(strPlace, "missing \"at\" (seconds from the start)");
    }
    if (j.contains("at") && !r.GetSeconds(j["at"], CReader::Join(strPlace, "at"), &pAction->m_tAt)) {
        return false;
    }
    if (!j.contains("event")) {
        return r.Fail(strPlace, "missing \"event\"");
    }
    std::string strEvent;
    if (!r.GetString(j["event"], CReader::Join(strPlace, "event"), &strEvent)) {
        return false;
    }
    struct CKind {
        const char* psz;
        EActionKind eKind;
        std::initializer_list<const char*> required;
    };
    static const CKind kinds[] = {
        {"internal", EActionKind::Internal, {"from", "to"}},
        {"inbound", EActionKind::Inbound, {"to", "caller"}},
        {"outbound", EActionKind::Outbound, {"from", "number"}},
        {"outOfService", EActionKind::OutOfService, {"line"}},
        {"inService", EActionKind::InService, {"line"}},
        {"reinit", EActionKind::Reinit, {}},
        {"answer", EActionKind::Answer, {"line"}},
        {"hangup", EActionKind::Hangup, {"line"}},
    };
    const CKind* pKind = nullptr;
    for (const CKind& kind : kinds) {
        if (strEvent == kind.psz) {
            pKind = &kind;
        }
    }
    if (pKind == nullptr) {
        return r.Fail(CReader::Join(strPlace, "event"), "unknown event \"" + strEvent +
                                                            "\" (expected internal, inbound, outbound, outOfService, "
                                                            "inService, reinit, answer or hangup)");
    }
    pAction->m_eKind = pKind->eKind;
    for (const char* pszKey : pKind->required) {
        if (!j.contains(pszKey)) {
            return r.Fail(strPlace, "a " + strEvent + " event needs \"" + pszKey + "\"");
        }
    }
    std::string strCallerNumber;
    std::string strCallerName;
    auto optString = [&](const char* pszKey, std::string* pstr) {
        return !j.contains(pszKey) || r.GetString(j[pszKey], r.Join(strPlace, pszKey), pstr);
    };
    if (!optString("from", &pAction->m_strFrom) || !optString("to", &pAction->m_strTo) ||
        !optString("line", &pAction->m_strLine) || !optString("trunk", &pAction->m_strTrunk) ||
        !optString("number", &pAction->m_strNumber) || !optString("caller", &strCallerNumber) ||
        !optString("callerName", &strCallerName) || !optString("did", &pAction->m_strDid) ||
        !optString("transferTo", &pAction->m_strTransferTo)) {
        return false;
    }
    pAction->m_caller = CSimParty{strCallerNumber, strCallerName};
    if ((j.contains("ring") && !r.GetSeconds(j["ring"], CReader::Join(strPlace, "ring"), &pAction->m_timing.m_tRing)) ||
        (j.contains("talk") && !r.GetSeconds(j["talk"], CReader::Join(strPlace, "talk"), &pAction->m_timing.m_tTalk)) ||
        (j.contains("transferAfter") &&
         !r.GetSeconds(j["transferAfter"], CReader::Join(strPlace, "transferAfter"), &pAction->m_tTransferAfter)) ||
        (j.contains("for") && !r.GetSeconds(j["for"], CReader::Join(strPlace, "for"), &pAction->m_tFor)) ||
        (j.contains("busy") && !r.GetBool(j["busy"], CReader::Join(strPlace, "busy"), &pAction->m_bBusy)) ||
        (j.contains("noAnswer") &&
         !r.GetBool(j["noAnswer"], CReader::Join(strPlace, "noAnswer"), &pAction->m_bNoAnswer))) {
        return false;
    }
    // References to devices are checked now, so a typo is found at start-up.
    bool bOk = true;
    if (j.contains("from")) {
        bOk = bOk && CheckLine(r, lines, pAction->m_strFrom, CReader::Join(strPlace, "from"), false);
    }
    if (j.contains("to")) {
        bOk = bOk && CheckLine(r, lines, pAction->m_strTo, CReader::Join(strPlace, "to"), false);
    }
    if (j.contains("trunk")) {
        bOk = bOk && CheckLine(r, lines, pAction->m_strTrunk, CReader::Join(strPlace, "trunk"), true);
    }
    if (j.contains("transferTo")) {
        bOk = bOk && CheckLine(r, lines, pAction->m_strTransferTo, CReader::Join(strPlace, "transferTo"), false);
    }
    if (j.contains("line")) {
        bOk = bOk && CheckLine(r, lines, pAction->m_strLine, CReader::Join(strPlace, "line"), false, true);
    }
    if (bOk && pAction->m_eKind == EActionKind::Internal && pAction->m_strFrom == pAction->m_strTo) {
        return r.Fail(CReader::Join(strPlace, "to"), "a line cannot call itself");
    }
    return bOk;
}

bool ParseTraffic(CReader& r, const json& j, CSimTraffic* pTraffic) {
    if (!r.CheckKeys(j, "traffic", {"callsPerMinute", "mix", "ring", "talk", "callers"})) {
        return false;
    }
    if (!j.contains("callsPerMinute")) {
        return r.Fail("traffic", "missing \"callsPerMinute\"");
    }
    const json& cpm = j["callsPerMinute"];
    if (!cpm.is_number() || !(cpm.get<double>() >= 0.0) || cpm.get<double>() > 600.0) {
        return r.Fail("traffic.callsPerMinute", "expected a number from 0 to 600");
    }
    // The mean gap in milliseconds must be a time a scenario can name; a
    // slower rate would not fit the clock's integer at all.
    double dPerMinute = cpm.get<double>();
    if (dPerMinute > 0.0 && dPerMinute < kMinCallsPerMinute) {
        return r.Fail("traffic.callsPerMinute",
                      "a rate above 0 must be at least 0.000006 (one call in 10000000 seconds)");
    }
    pTraffic->m_bEnabled = dPerMinute > 0.0;
    pTraffic->m_tMeanInterval = pTraffic->m_bEnabled ? static_cast<SimTime>(60000.0 / dPerMinute + 0.5) : 0;
    if (j.contains("mix")) {
        const json& mix = j["mix"];
        if (!r.CheckKeys(mix, "traffic.mix", {"internal", "inbound", "outbound", "busy", "noAnswer", "transfer"})) {
            return false;
        }
        struct CWeight {
            const char* psz;
            DWORD* pdw;
        } weights[] = {{"internal", &pTraffic->m_dwInternal}, {"inbound", &pTraffic->m_dwInbound},
                       {"outbound", &pTraffic->m_dwOutbound}, {"busy", &pTraffic->m_dwBusy},
                       {"noAnswer", &pTraffic->m_dwNoAnswer}, {"transfer", &pTraffic->m_dwTransfer}};
        DWORD dwSum = 0;
        for (CWeight& weight : weights) {
            *weight.pdw = 0;
            if (mix.contains(weight.psz)) {
                std::string strPlace = std::string("traffic.mix.") + weight.psz;
                if (!r.GetDword(mix[weight.psz], strPlace, weight.pdw)) {
                    return false;
                }
                if (*weight.pdw > 1000) {
                    return r.Fail(strPlace, "weights go from 0 to 1000");
                }
                dwSum += *weight.pdw;
            }
        }
        if (dwSum == 0) {
            return r.Fail("traffic.mix", "at least one kind of call needs a weight above 0");
        }
    }
    if (j.contains("ring") && !r.GetRange(j["ring"], "traffic.ring", &pTraffic->m_tRingMin, &pTraffic->m_tRingMax)) {
        return false;
    }
    if (j.contains("talk") && !r.GetRange(j["talk"], "traffic.talk", &pTraffic->m_tTalkMin, &pTraffic->m_tTalkMax)) {
        return false;
    }
    if (j.contains("callers")) {
        const json& callers = j["callers"];
        if (!callers.is_array()) {
            return r.Fail("traffic.callers", "expected a list of {\"number\": ..., \"name\": ...}");
        }
        for (std::size_t i = 0; i < callers.size(); ++i) {
            std::string strPlace = "traffic.callers[" + std::to_string(i) + "]";
            CSimParty party;
            if (!r.CheckKeys(callers[i], strPlace, {"number", "name"})) {
                return false;
            }
            if (!callers[i].contains("number")) {
                return r.Fail(strPlace, "missing \"number\"");
            }
            if (!r.GetString(callers[i]["number"], strPlace + ".number", &party.m_strNumber) ||
                (callers[i].contains("name") &&
                 !r.GetString(callers[i]["name"], strPlace + ".name", &party.m_strName))) {
                return false;
            }
            pTraffic->m_externalCallers.push_back(party);
        }
    }
    return true;
}

// Builds the document as nlohmann's own DOM builder does, but keeps where the
// parser stopped and why instead of throwing: a syntax error and a number no
// double can hold (out of range, which carries no position of its own) are
// then reported alike.
class CPlacedParser : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    explicit CPlacedParser(json& j) : nlohmann::detail::json_sax_dom_parser<json>(j, false) {}

    // A syntax error stands where the parser stopped; a number out of range
    // is named by its first character.
    template <class Exception>
    bool parse_error(std::size_t nPosition, const std::string& strToken, const Exception& e) {
        bool bOutOfRange = std::is_same_v<Exception, json::out_of_range>;
        m_nPosition = bOutOfRange && nPosition >= strToken.size() ? nPosition - strToken.size() + 1 : nPosition;
        m_strWhat = e.what();
        return false;
    }

    std::size_t m_nPosition = 0;
    std::string m_strWhat;
};

// The fault of a parser message without its "[json.exception...] " tag and,
// for a syntax error, without the place it names in its own way.
std::string ParserFault(const std::string& strWhat) {
    std::string strFault = strWhat;
    if (!strFault.empty() && strFault[0] == '[') {
        std::size_t nEnd = strFault.find("] ");
        if (nEnd != std::string::npos) {
            strFault.erase(0, nEnd + 2);
        }
    }
    std::size_t nColumn = strFault.find("column");
    std::size_t nAt = nColumn == std::string::npos ? std::string::npos : strFault.find(": ", nColumn);
    return nAt == std::string::npos ? strFault : strFault.substr(nAt + 2);
}

// Parses JSON text; a fault is reported with line and column.
bool ParseJson(const std::string& strText, const std::string& strSource, json* pj, std::string* pstrError) {
    json j;
    CPlacedParser parser(j);
    bool bOk = false;
    std::string strWhat;
    std::size_t nPosition = 0;
    try {
        bOk = json::sax_parse(strText, &parser) && !parser.is_errored();
        strWhat = parser.m_strWhat;
        nPosition = parser.m_nPosition;
    } catch (const json::exception& e) {
        // Not expected from the parser above; still a fault of the text, not of the simulator.
        strWhat = e.what();
    }
    if (bOk) {
        *pj = std::move(j);
        return true;
    }
    std::size_t nByte = nPosition > 0 ? nPosition - 1 : 0;
    std::size_t nLine = 1;
    std::size_t nColumn = 1;
    for (std::size_t i = 0; i < nByte && i < strText.size(); ++i) {
        if (strText[i] == '\n') {
            ++nLine;
            nColumn = 1;
        } else {
            ++nColumn;
        }
    }
    *pstrError = strSource + ": line " + std::to_string(nLine) + ", column " + std::to_string(nColumn) + ": " +
                 ParserFault(strWhat.empty() ? std::string("the text cannot be read") : strWhat);
    return false;
}

}  // namespace

bool ParseScenario(const std::string& strText, const std::string& strSource, CSimScenario* pScenario,
                   std::string* pstrError) {
    json j;
    if (!ParseJson(strText, strSource, &j, pstrError)) {
        return false;
    }
    CReader r(strSource);
    CSimScenario scenario;
    bool bOk = r.CheckKeys(j, "", {"name", "seed", "monitorMayControl", "devices", "timeline", "traffic"});
    if (bOk && j.contains("name")) {
        bOk = r.GetString(j["name"], "name", &scenario.m_strName);
    }
    if (bOk && j.contains("seed")) {
        DWORD dwSeed = 0;
        bOk = r.GetDword(j["seed"], "seed", &dwSeed);
        scenario.m_qwSeed = dwSeed;
    }
    if (bOk && j.contains("monitorMayControl")) {
        bOk = r.GetBool(j["monitorMayControl"], "monitorMayControl", &scenario.m_bMonitorMayControl);
    }
    if (bOk && !j.contains("devices")) {
        bOk = r.Fail("", "missing \"devices\"");
    }
    bOk = bOk && ParseDevices(r, j["devices"], &scenario.m_lines);
    if (bOk && j.contains("timeline")) {
        const json& timeline = j["timeline"];
        if (!timeline.is_array()) {
            bOk = r.Fail("timeline", "expected a list of events");
        }
        for (std::size_t i = 0; bOk && i < timeline.size(); ++i) {
            CSimAction action;
            bOk =
                ParseActionJson(r, timeline[i], "timeline[" + std::to_string(i) + "]", true, scenario.m_lines, &action);
            scenario.m_timeline.push_back(action);
        }
    }
    if (bOk && j.contains("traffic")) {
        bOk = ParseTraffic(r, j["traffic"], &scenario.m_traffic);
    }
    if (!bOk) {
        *pstrError = r.GetError();
        return false;
    }
    *pScenario = std::move(scenario);
    return true;
}

bool LoadScenarioFile(const std::string& strPath, CSimScenario* pScenario, std::string* pstrError) {
    std::ifstream file(strPath, std::ios::binary);
    if (!file) {
        *pstrError = strPath + ": the file cannot be opened";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        *pstrError = strPath + ": the file cannot be read";
        return false;
    }
    return ParseScenario(text.str(), strPath, pScenario, pstrError);
}

bool ParseAction(const std::string& strText, const std::vector<CSimLineConfig>& lines, CSimAction* pAction,
                 std::string* pstrError) {
    json j;
    if (!ParseJson(strText, "event", &j, pstrError)) {
        return false;
    }
    CReader r("event");
    CSimAction action;
    if (!ParseActionJson(r, j, "", false, lines, &action)) {
        *pstrError = r.GetError();
        return false;
    }
    *pAction = action;
    return true;
}

CSimScenario DefaultOffice() {
    CSimScenario scenario;
    scenario.m_strName = "Built-in office";
    scenario.m_qwSeed = 20240506;
    static const char* const pszNames[] = {"Reception",    "Sales 1",   "Sales 2",   "Accounts",
                                           "Manager",      "Warehouse", "Support 1", "Support 2",
                                           "Meeting Room", "Workshop",  "Assistant", "Lab"};
    // A device of the office: its kind, number and name, the rest as a scenario would default it.
    auto add = [&scenario](ELineKind eKind, const std::string& strNumber, const std::string& strName, DWORD dwOrdinal,
                           const std::string& strDid = std::string()) {
        CSimLineConfig line;
        line.m_eKind = eKind;
        line.m_strNumber = strNumber;
        line.m_strName = strName;
        line.m_strDid = strDid;
        CompleteDevice(&line, dwOrdinal, false);
        scenario.m_lines.push_back(line);
    };
    DWORD dwOrdinal = 0;
    for (const char* pszName : pszNames) {
        std::string strNumber = std::to_string(201 + dwOrdinal);
        add(ELineKind::Ext, strNumber, pszName, ++dwOrdinal, "0" + strNumber);
    }
    for (DWORD i = 1; i <= 4; ++i) {
        add(ELineKind::Co, std::to_string(800 + i), "City Line " + std::to_string(i), i);
    }
    add(ELineKind::Etc, "700", "Voice Mail", 1);
    add(ELineKind::Etc, "710", "Door Phone", 2);
    add(ELineKind::Other, "750", "Fax Modem", 1);

    scenario.m_traffic.m_bEnabled = true;
    scenario.m_traffic.m_tMeanInterval = 15000;
    scenario.m_traffic.m_externalCallers = {{"0301234567", "Customer"},
                                            {"0409876543", "Supplier"},
                                            {"0201112223", ""},
                                            {"0705550199", "Courier"},
                                            {"0612345678", "Field Staff"}};
    return scenario;
}

std::unique_ptr<CSimPbx> BuildPbx(const CSimScenario& scenario) {
    auto pPbx = std::make_unique<CSimPbx>(scenario.m_lines, scenario.m_qwSeed);
    for (const CSimAction& action : scenario.m_timeline) {
        pPbx->Schedule(action);
    }
    pPbx->SetTraffic(scenario.m_traffic);
    return pPbx;
}

}  // namespace sim
