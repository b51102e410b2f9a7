// Scenes: the monitor driven step by step against the fake TAPI, each step's
// whole effect written out (TAPI calls with their arguments, log records byte
// for byte, refreshes, questions, posted commands, Information texts,
// progress) and compared with the scene file. A scene file holds steps
// ("> command args"), each followed by what it must produce, and set-up
// steps ("@ command args") whose output is not looked at; '#' lines are
// notes. LSC_UPDATE_SCENES=1 rewrites the files with what the program does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <sstream>

#include "monitor/TapiMonitor.h"
#include "platform/Platform.h"
#include "presentation/EventLogWriter.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/SnapshotTestSupport.h"
#include "support/StartupScene.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"
#include "tapi/TapiEntry.h"
#include "views/MemoryTreeCtrl.h"

namespace {

using Args = std::vector<std::string>;

// A value of a scene: hex or decimal, "Ln" for line n's handle, "-" for 0.
DWORD_PTR Num(const std::string& s) {
    if (s.size() > 1 && s[0] == 'L') return CFakeTapi::LineHandleFor(std::stoul(s.substr(1)));
    return s == "-" ? 0 : std::stoull(s, nullptr, 0);
}
std::string Text(const std::string& s) {
    return s == "-" ? "" : s;
}
std::string Hex(DWORD_PTR v) {
    std::ostringstream out;
    if (v > 9) out << "0x" << std::hex << std::uppercase;
    out << v;
    return out.str();
}
// Bytes shown as they are, except control bytes: \r, \n, \xHH.
std::string Shown(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        char sz[8] = {static_cast<char>(c)};
        if (c < 0x20 || c >= 0x7F) std::snprintf(sz, sizeof sz, "\\x%02X", c);
        out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : sz;
    }
    return out;
}
Args Split(const std::string& line) {
    Args args;
    std::istringstream in(line);
    for (std::string word; in >> std::quoted(word);) args.push_back(word);
    return args;
}

const std::map<std::string, DWORD> kMessages = {{"CALLINFO", LINE_CALLINFO},         {"CALLSTATE", LINE_CALLSTATE},
                                                {"LINEDEVSTATE", LINE_LINEDEVSTATE}, {"REPLY", LINE_REPLY},
                                                {"APPNEWCALL", LINE_APPNEWCALL},     {"DEVSPECIFIC", 3}};
// The three groups, by their index in the scenes' order: ext, co, etc.
const char* const kGroups[] = {"ext", "co", "etc"};
int Group(const std::string& s) {
    return s == "ext" ? 0 : s == "co" ? 1 : 2;
}
void (CTapiMonitor::*const kFill[])() = {&CTapiMonitor::FillExtTree, &CTapiMonitor::FillCoTree,
                                         &CTapiMonitor::FillEtcTree};
void (CTapiMonitor::*const kSetTree[])(CTreeCtrl*) = {&CTapiMonitor::SetExtTree, &CTapiMonitor::SetCoTree,
                                                      &CTapiMonitor::SetEtcTree};
void (CTapiMonitor::*const kLineInfo[])(HTREEITEM) = {&CTapiMonitor::ShowExtLineInfo, &CTapiMonitor::ShowCoLineInfo,
                                                      &CTapiMonitor::ShowEtcLineInfo};
void (CTapiMonitor::*const kCallInfo[])(HTREEITEM) = {&CTapiMonitor::ShowExtCallInfo, &CTapiMonitor::ShowCoCallInfo,
                                                      &CTapiMonitor::ShowEtcCallInfo};

SYSTEMTIME g_now{};  // the local time the monitor sees

// The monitor wired up as the program wires it: the fake TAPI, the recording
// application, three trees, a log file of its own and a clock of the scene's.
class CScene {
public:
    CScene() {
        m_app.m_pMonitor = &m_monitor;
        Run({"clock", "2004/01/05", "13:07:09:045"});
        platform::SetLocalTimeSourceForTests([](SYSTEMTIME* p) { *p = g_now; });
        std::remove(m_strLogPath.c_str());
        Internals(m_monitor).m_strLogFile = m_strLogPath;
        for (int g = 0; g < 3; ++g) (m_monitor.*kSetTree[g])(&m_trees[g]);
    }
    ~CScene() {
        platform::SetLocalTimeSourceForTests(nullptr);
        m_holder.reset();
        m_sideHolder.reset();
        Writer().Close(0);  // whatever still waits goes now, not after the files are gone
        std::remove(m_strLogPath.c_str());
        std::remove(CEventLogWriter::SideFileOf(m_strLogPath).c_str());
    }

    // Runs one step and returns what it did.
    std::string Step(const Args& a) {
        m_out.str("");
        const size_t nCalls = m_tapi.m_calls.size();
        const int nRefresh = m_app.m_nUpdateAllViews;
        const size_t nQuestions = m_app.m_questions.size(), nPosted = m_app.m_postedCommands.size();
        const size_t nInfo = m_app.m_information.size(), nProgress = m_app.m_progress.size();
        Run(a);
        for (size_t i = nCalls; i < m_tapi.m_calls.size(); ++i) {
            const FakeTapiCall& c = m_tapi.m_calls[i];
            std::string args;
            for (DWORD_PTR v : c.args) (args += args.empty() ? "" : ",") += Hex(v);
            m_out << c.strFunction << "(" << args << ")" << (c.strText.empty() ? "" : " \"" + c.strText + "\"") << "\n";
        }
        const std::string strLog = ReadFileBytes(m_strLogPath);
        if (strLog.size() > m_cbLogSeen) Lines("log ", strLog.substr(m_cbLogSeen));
        m_cbLogSeen = strLog.size();
        if (m_app.m_nUpdateAllViews > nRefresh) m_out << "refresh x" << m_app.m_nUpdateAllViews - nRefresh << "\n";
        for (size_t i = nQuestions; i < m_app.m_questions.size(); ++i)
            m_out << "ask " << Shown(m_app.m_questions[i]) << "\n";
        for (size_t i = nPosted; i < m_app.m_postedCommands.size(); ++i)
            m_out << "post " << Hex(m_app.m_postedCommands[i]) << "\n";
        for (size_t i = nInfo; i < m_app.m_information.size(); ++i) m_out << "info " << Info(i) << "\n";
        std::string strProgress;
        for (size_t i = nProgress; i < m_app.m_progress.size(); ++i)
            strProgress += (strProgress.empty() ? "" : ", ") + m_app.m_progress[i];
        if (!strProgress.empty()) m_out << "progress " << strProgress << "\n";
        return m_out.str();
    }

private:
    void Run(const Args& a) {
        const std::string& cmd = a.at(0);
        auto in = Internals(m_monitor);
        if (cmd == "device") {  // DEV PROVIDER PERMID ADDRESS LINENAME; "!" leaves a structure out
            const DWORD dwDev = static_cast<DWORD>(Num(a[1]));
            const std::string strProvider = a[2] == "maker" ? startup_scene::kMakerProvider : Text(a[2]);
            if (a[2] != "!") m_tapi.m_devCaps[dwDev] = CFakeTapi::MakeDevCaps(strProvider, Num(a[3]), Text(a[5]));
            if (a[4] != "!") m_tapi.m_addressCaps[dwDev] = CFakeTapi::MakeAddressCaps(dwDev, Text(a[4]));
            m_tapi.m_dwNumDevs = std::max<DWORD>(m_tapi.m_dwNumDevs, dwDev + 1);
        } else if (cmd == "name") {  // DEV ext|co|etc NAME: the address status naming the line
            m_tapi.m_addressStatus[Num(a[1])] = startup_scene::NameStatus(Group(a[2]), Text(a[3]));
        } else if (cmd == "fail") {  // FUNCTION [ERROR]: an ignored result fails
            m_tapi.m_failures[a[1]] = a.size() > 2 ? static_cast<LONG>(Num(a[2])) : LINEERR_OPERATIONFAILED;
        } else if (cmd == "openfail") {  // DEV VERSION...
            for (size_t i = 2; i < a.size(); ++i) m_tapi.m_openFailVersions[Num(a[1])].insert(Num(a[i]));
        } else if (cmd == "extversion") {
            m_tapi.m_dwNegotiatedExtVersion = Num(a[1]);
        } else if (cmd == "cancel") {
            m_app.m_nCancelOnCheck = static_cast<int>(Num(a[1]));
        } else if (cmd == "nohandle") {  // DEV: lineOpen succeeds without a handle
            m_tapi.OnOpen = [this, dwDev = Num(a[1])](HLINEAPP, DWORD dwDevice, HLINE* phLine, DWORD dwApi, DWORD) {
                if (m_tapi.m_openFailVersions[dwDevice].count(dwApi)) return LONG{LINEERR_INCOMPATIBLEAPIVERSION};
                if (dwDevice != dwDev) *phLine = CFakeTapi::LineHandleFor(dwDevice);
                return LONG{0};
            };
        } else if (cmd == "pump") {  // LINE HCALL: the call is reported whenever messages get through
            m_app.OnPump = [this, hLine = Num(a[1]), hCall = Num(a[2])] {
                if (!m_tapi.m_pfnCallback) return;
                m_tapi.Deliver(hLine, LINE_APPNEWCALL, 0, hCall, LINECALLPRIVILEGE_MONITOR);
                m_tapi.Deliver(hCall, LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
                m_tapi.Deliver(hCall, LINE_CALLSTATE, LINECALLSTATE_IDLE);
                m_out << "pumped\n";
            };
        } else if (cmd == "noprogress") {
            m_app.m_bProgress = false;
        } else if (cmd == "initresult") {
            m_tapi.m_lInitializeResult = static_cast<LONG>(Num(a[1]));
        } else if (cmd == "nolibrary" || cmd == "library") {
            tapi::ResetEntryTableForTests(cmd == "library" ? CFakeTapi::LibraryPath().c_str() : "no-such-tapi.dll");
        } else if (cmd == "init" && a.size() > 1) {  // "init noapp"
            SetMonitorApp(nullptr);
            m_out << "= " << m_monitor.Initialize() << "\n";
            SetMonitorApp(&m_app);
        } else if (cmd == "init") {
            const BOOL bResult = m_monitor.Initialize();
            m_out << "= " << bResult << " starting " << m_app.m_bTapiStarting << " TAPI loaded "
                  << tapi::GetEntryTableCountersForTests().nLoadAttempts << " times\n";
            // What lineInitializeEx was given besides the recorded values.
            const DWORD dwParams = sizeof(void*) == 8 ? 28 : 24;
            if (m_tapi.m_pfnCallback != &LineCallback || m_tapi.m_hInstance != m_app.m_hInstance ||
                m_tapi.m_initParams.dwTotalSize != dwParams ||
                m_tapi.m_initParams.dwOptions != LINEINITIALIZEEXOPTION_USEHIDDENWINDOW)
                m_out << "lineInitializeEx given callback " << (m_tapi.m_pfnCallback == &LineCallback) << " instance "
                      << (m_tapi.m_hInstance == m_app.m_hInstance) << " params " << m_tapi.m_initParams.dwTotalSize
                      << " options " << m_tapi.m_initParams.dwOptions << "\n";
            Run({"fill", "ext", "co", "etc"});
        } else if (cmd == "fill") {  // GROUP...: the groups' trees filled
            for (size_t i = 1; i < a.size(); ++i) (m_monitor.*kFill[Group(a[i])])();
        } else if (cmd == "tree") {  // GROUP [none]: the view's tree comes, or goes
            (m_monitor.*kSetTree[Group(a[1])])(a.size() > 2 ? nullptr : &m_trees[Group(a[1])]);
        } else if (cmd == "shutdown") {
            m_monitor.Shutdown();
        } else if (cmd == "lines") {
            for (int g = 0; g < 3; ++g) {
                const auto& lines = g == 0 ? in.m_extLines : g == 1 ? in.m_coLines : in.m_etcLines;
                const auto& byLine = g == 0 ? in.m_extByLine : g == 1 ? in.m_coByLine : in.m_etcByLine;
                for (const auto& p : lines) {
                    const auto it = byLine.find(p->m_hLine);
                    m_out << kGroups[g] << " dev " << p->m_dwDeviceID << " line " << Hex(p->m_hLine)
                          << (it != byLine.end() && it->second == p.get() ? " mapped" : "") << " address "
                          << (p->m_pAddressCaps ? p->m_pAddressCaps->m_strAddress : "!") << " name \""
                          << p->m_strDisplayName << "\"\n";
                }
                if (byLine.size() !=
                    (size_t)std::count_if(lines.begin(), lines.end(), [](auto& p) { return p->m_hLine; }))
                    m_out << kGroups[g] << " handle map holds " << byLine.size() << "\n";
            }
        } else if (cmd == "trees") {
            for (const auto& tree : m_trees) Dump(tree, TVI_ROOT, "");
        } else if (cmd == "info") {  // HCALL LINE [FIELD=VALUE...], as a structure text; "info HCALL -": fails
            m_tapi.m_callInfo.erase(Num(a[1]));
            std::string strText = "LINECALLINFO\ndwTrunk = 0xFFFFFFFF\nhLine = " + std::to_string(Num(a[2]));
            for (size_t i = 3; i < a.size(); ++i)
                (strText += "\n") += std::string(a[i]).replace(a[i].find('='), 1, " = ");
            if (a[2] != "-") m_tapi.m_callInfo[Num(a[1])] = snaptest::StructureOf(strText);
        } else if (cmd == "status") {  // HCALL STATE: what lineGetCallStatus answers; "-": fails
            m_tapi.m_callStatus.erase(Num(a[1]));
            if (a[2] != "-") m_tapi.m_callStatus[Num(a[1])] = CFakeTapi::MakeCallStatus(Num(a[2]));
        } else if (cmd == "deliver") {  // DEVICE MESSAGE [P1 P2 P3]
            const auto it = kMessages.find(a[2]);
            DWORD_PTR p[3] = {};
            for (size_t i = 3; i < a.size() && i < 6; ++i) p[i - 3] = Num(a[i]);
            m_tapi.Deliver(Num(a[1]), it == kMessages.end() ? Num(a[2]) : it->second, p[0], p[1], p[2]);
        } else if (cmd == "clock") {  // YYYY/MM/DD HH:MM:SS:mmm
            int n[7] = {};
            std::sscanf((a[1] + " " + a[2]).c_str(), "%d/%d/%d %d:%d:%d:%d", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5],
                        &n[6]);
            g_now = {static_cast<WORD>(n[0]), static_cast<WORD>(n[1]), 0,
                     static_cast<WORD>(n[2]), static_cast<WORD>(n[3]), static_cast<WORD>(n[4]),
                     static_cast<WORD>(n[5]), static_cast<WORD>(n[6])};
        } else if (cmd == "writelog") {
            m_monitor.WriteLog(Text(a[1]));
        } else if (cmd == "makecall") {
            m_out << "= " << m_monitor.MakeCall(Item(a[1]), Text(a[2])) << "\n";
        } else if (cmd == "answer" || cmd == "drop") {
            const HTREEITEM h = Item(a[1]);
            if (cmd == "answer") m_out << "can " << m_monitor.CanAnswer(h) << " = " << m_monitor.Answer(h) << "\n";
            if (cmd == "drop") m_out << "can " << m_monitor.CanDrop(h) << " = " << m_monitor.Drop(h) << "\n";
        } else if (cmd == "lineinfo" || cmd == "callinfo") {  // GROUP ITEM: the group's command on the item
            const HTREEITEM h = Item(a[2]);
            if (cmd == "lineinfo") (m_monitor.*kLineInfo[Group(a[1])])(h);
            if (cmd == "callinfo") (m_monitor.*kCallInfo[Group(a[1])])(h);
        } else if (cmd == "pending") {
            m_out << "make " << in.m_dwMakeCallRequest << " line " << Hex(in.m_hMakeCallLine) << " call "
                  << Hex(in.m_hMakeCallCall) << " answer " << in.m_dwAnswerRequest << " drop " << in.m_dwDropRequest
                  << "\n";
        } else if (cmd == "setpending") {  // MAKE LINE CALL ANSWER DROP
            in.m_dwMakeCallRequest = Num(a[1]);
            in.m_hMakeCallLine = Num(a[2]);
            in.m_hMakeCallCall = Num(a[3]);
            in.m_dwAnswerRequest = Num(a[4]);
            in.m_dwDropRequest = Num(a[5]);
        } else if (cmd == "collapse" || cmd == "delete") {
            const HTREEITEM h = Item(a[1]);
            for (auto& tree : m_trees)
                if (tree.IsItem(h)) cmd == "delete" ? tree.DeleteItem(h) : tree.Expand(h, TVE_COLLAPSE);
        } else if (cmd == "noapp") {  // DELIVERY...: delivered with no application, then with no monitor
            SetMonitorApp(nullptr);
            Run(Args(a.begin() + 1, a.end()));
            SetMonitorApp(&m_app);
            m_app.m_pMonitor = nullptr;
            Run(Args(a.begin() + 1, a.end()));
            m_app.m_pMonitor = &m_monitor;
        } else if (cmd == "devstatus" || cmd == "addressstatus") {  // LINE: one active call, or one user
            (cmd == "devstatus" ? m_tapi.m_lineDevStatus : m_tapi.m_addressStatus)[Num(a[1])] = snaptest::StructureOf(
                cmd == "devstatus" ? "LINEDEVSTATUS\ndwNumActiveCalls = 1" : "LINEADDRESSSTATUS\ndwNumInUse = 1");
        } else if (cmd == "nocaps") {  // DEV: its LINEADDRESSCAPS can no longer be fetched
            m_tapi.m_addressCaps.erase(Num(a[1]));
        } else if (cmd == "logfile") {  // - | default: the monitor's log file name
            in.m_strLogFile = a[1] == "-" ? "" : m_strLogPath;
        } else if (cmd == "append") {  // TEXT: a line an earlier run left in the log
            WriteFileBytes(m_strLogPath, a[1] + "\r\n", std::ios::app);
            m_cbLogSeen += a[1].size() + 2;
        } else if (cmd == "appendside") {  // TEXT: bytes, without a line end, left in the side file
            WriteFileBytes(CEventLogWriter::SideFileOf(m_strLogPath), a[1], std::ios::app);
        } else if (cmd == "cat" || cmd == "side") {  // the whole log file, or the side file
            const std::string strFile = cmd == "cat" ? m_strLogPath : CEventLogWriter::SideFileOf(m_strLogPath);
            if (!std::ifstream(strFile)) m_out << "no " << cmd << " file\n";
            Lines(cmd + " ", ReadFileBytes(strFile));
        } else if (cmd == "hold" || cmd == "holdside") {  // another program holds the file open
            auto& holder = cmd == "hold" ? m_holder : m_sideHolder;
            holder.emplace(cmd == "hold" ? m_strLogPath : CEventLogWriter::SideFileOf(m_strLogPath));
            if (!holder->IsHeld()) ADD_FAILURE() << "cannot hold the file";
        } else if (cmd == "release" || cmd == "releaseside") {
            (cmd == "release" ? m_holder : m_sideHolder).reset();
        } else if (cmd == "writer") {
            m_out << "waiting " << Writer().GetWaitingCount() << " in memory " << Writer().GetMemoryBytes()
                  << " bytes, side file " << Writer().GetSideFileCount() << ", dropped " << Writer().GetDroppedCount()
                  << (Writer().IsFileHeld() ? ", held" : "") << "\n";
        } else if (cmd == "flush") {
            m_out << "= " << Writer().Flush() << "\n";
        } else if (cmd == "budget") {
            Writer().SetMemoryBudget(Num(a[1]));
        } else if (cmd == "close") {  // the end of the program: what waits goes to the side file
            Writer().Close(0);
        } else if (cmd == "nextrun") {  // the next run's writer
            in.m_pLogWriter = std::make_shared<CEventLogWriter>();
        } else if (cmd == "records") {  // FIRST COUNT: records R<n> at 13:07:09.0<n>
            for (int n = static_cast<int>(Num(a[1])); n < static_cast<int>(Num(a[1]) + Num(a[2])); ++n) {
                Run({"clock", "2004/01/05", std::string("13:07:09:") += std::to_string(n)});
                m_monitor.WriteLog((std::string("R") += std::to_string(n / 10)) += std::to_string(n % 10));
            }
        } else if (cmd == "capsfail") {  // devcaps|addresscaps VERSION...: the query fails for these
            auto& versions = a[1] == "devcaps" ? m_tapi.m_devCapsFailVersions : m_tapi.m_addressCapsFailVersions;
            for (size_t i = 2; i < a.size(); ++i) versions.insert(static_cast<DWORD>(Num(a[i])));
        } else if (cmd == "provider") {  // FUNCTION ANSWER...: one answer per query, the last repeated
            m_tapi.OnQuery = [answers = Args(a.begin() + 2, a.end()), fn = a[1], n = size_t{0}](
                                 const std::string& strFunction, void* p, LONG* pResult) mutable {
                if (strFunction != fn) return false;
                // fit: from the structure set; fail; zerofail: dwTotalSize 0, and fails
                // for the version; need=N / more=N (beyond what was given), total=N,
                // used=N; @OFFSET=N a DWORD, @OFFSET:TEXT a text, at that byte.
                const std::string answer = answers.at(std::min(n++, answers.size() - 1));
                DWORD* pdw = static_cast<DWORD*>(p);
                const DWORD cbBuffer = pdw[0];
                *pResult = answer == "fail" ? LINEERR_OPERATIONFAILED : 0;
                if (answer == "zerofail") pdw[0] = 0, *pResult = LINEERR_INCOMPATIBLEAPIVERSION;
                std::istringstream in(answer);
                for (std::string part; std::getline(in, part, ',');) {
                    const DWORD dw = part.find('=') == std::string::npos ? 0 : Num(part.substr(part.find('=') + 1));
                    if (part.rfind("need=", 0) == 0) pdw[1] = dw;
                    if (part.rfind("more=", 0) == 0) pdw[1] = pdw[0] + dw;
                    if (part.rfind("total=", 0) == 0) pdw[0] = dw;
                    if (part.rfind("used=", 0) == 0) pdw[2] = dw;
                    const size_t at = part[0] == '@' ? Num(part.substr(1, part.find_first_of("=:") - 1)) : cbBuffer;
                    const std::string text = part.find(':') == std::string::npos
                                                 ? std::string(reinterpret_cast<const char*>(&dw), 4)
                                                 : part.substr(part.find(':') + 1) + '\0';
                    if (at + text.size() <= cbBuffer) std::memcpy(static_cast<BYTE*>(p) + at, text.data(), text.size());
                }
                return answer != "fit";
            };
        } else if (cmd == "fetch" || cmd == "report") {  // KIND ARGS: one fetch; what is set in its report, or all
            const DWORD_PTR n = Num(a[2]);
            const DWORD dwAddress = a.size() > 3 ? static_cast<DWORD>(Num(a[3])) : 0;
            std::unique_ptr<CTapiSnapshot> p;
            if (a[1] == "devcaps") p = m_monitor.FetchDevCaps(n);
            if (a[1] == "addresscaps") p = m_monitor.FetchAddressCaps(n, dwAddress);
            if (a[1] == "callinfo") p = m_monitor.FetchCallInfo(n);
            if (a[1] == "callstatus") p = m_monitor.FetchCallStatus(n);
            if (a[1] == "devstatus") p = m_monitor.FetchDevStatus(n);
            if (a[1] == "addressstatus") p = m_monitor.FetchAddressStatus(n, dwAddress);
            if (!p) m_out << "= nothing\n";
            if (p) Lines("= ", p->Report(0), cmd == "fetch");
        } else if (cmd == "answerno") {
            m_app.m_bAnswerYes = FALSE;
        } else {
            FAIL() << "unknown step " << cmd;
        }
    }

    // ITEM, found in the trees as a user sees them: line:LABEL, call:HCALL,
    // detail:HCALL:N (the N-th detail, from 0), root:GROUP, or none.
    HTREEITEM Item(const std::string& s) {
        const size_t colon = s.find(':');
        const std::string kind = s.substr(0, colon), rest = colon == std::string::npos ? "" : s.substr(colon + 1);
        if (kind == "root") return m_trees[Group(rest)].GetChildItem(TVI_ROOT);
        if (kind == "none") return nullptr;
        for (auto& tree : m_trees) {
            for (HTREEITEM hLine = tree.GetChildItem(tree.GetChildItem(TVI_ROOT)); hLine;
                 hLine = tree.GetNextSiblingItem(hLine)) {
                if (kind == "line" && tree.GetItemText(hLine) == rest) return hLine;
                for (HTREEITEM h = tree.GetChildItem(hLine); h && kind != "line"; h = tree.GetNextSiblingItem(h)) {
                    if (tree.GetItemData(h) != Num(rest.substr(0, rest.find(':')))) continue;
                    if (kind == "call") return h;
                    h = tree.GetChildItem(h);
                    for (int n = std::stoi(rest.substr(rest.find(':') + 1)); h && n > 0; --n)
                        h = tree.GetNextSiblingItem(h);
                    return h;
                }
            }
        }
        return nullptr;
    }

    // Each item: its text, then its data, whether expanded and whether it
    // was made visible, when so.
    void Dump(const CMemoryTreeCtrl& tree, HTREEITEM hParent, const std::string& strIndent) {
        for (HTREEITEM h = tree.GetChildItem(hParent); h; h = tree.GetNextSiblingItem(h)) {
            m_out << strIndent << "\"" << Shown(tree.GetItemText(h)) << "\"";
            if (tree.GetItemData(h)) m_out << " data " << Hex(tree.GetItemData(h));
            if (tree.IsExpanded(h)) m_out << " expanded";
            if (tree.WasMadeVisible(h)) m_out << " shown";
            m_out << "\n";
            Dump(tree, h, strIndent + "  ");
        }
    }

    // The reports an Information box shows, by their first lines.
    std::string Info(size_t i) {
        std::string strFirstLines;
        std::istringstream text(m_app.m_information[i]);
        for (std::string line; std::getline(text, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && line[0] != ' ') (strFirstLines += " ") += Shown(line);
        }
        return std::to_string(m_app.m_information[i].size()) + " bytes:" + strFirstLines;
    }

    CEventLogWriter& Writer() { return *Internals(m_monitor).m_pLogWriter; }
    // Each line of a text, its line end shown; bSetOnly leaves out blank
    // lines and the fields of a report that are 0 or empty.
    void Lines(const std::string& strPrefix, const std::string& strText, bool bSetOnly = false) {
        for (size_t pos = 0, end; pos < strText.size(); pos = end) {
            end = strText.find("\r\n", pos);
            end = end == std::string::npos ? strText.size() : end + 2;
            const std::string line = strText.substr(pos, end - pos);
            if (!bSetOnly || (line.find_first_not_of(" \r\n") != std::string::npos &&
                              !line.ends_with("= 0x00000000 \r\n") && !line.ends_with("= \"\" \r\n")))
                m_out << strPrefix << Shown(line) << "\n";
        }
    }

    std::ostringstream m_out;
    size_t m_cbLogSeen = 0;
    const std::string m_strLogPath = UniqueTempPath("lsc_scene").string();
    std::optional<CFileHolder> m_holder, m_sideHolder;

public:
    // Declared so that the monitor goes first: its shutdown still talks to TAPI.
    CFakeTapi m_tapi;
    CTestApp m_app;
    CMemoryTreeCtrl m_trees[3];
    CTapiMonitor m_monitor;
};

class SceneTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SceneTest, DoesWhatItsFileSays) {
    const std::string strPath = std::string(LSC_GOLDEN_DIR) + "/scenes/" + GetParam() + ".txt";
    const std::string strExpected = ReadFileBytes(strPath);
    ASSERT_FALSE(strExpected.empty()) << strPath;
    std::string strActual;
    {
        // "---" starts the next case of the file, with everything new.
        std::unique_ptr<CScene> pScene;
        std::istringstream in("---\n" + strExpected);
        for (std::string line; std::getline(in, line);) {
            if (line == "---") {
                pScene.reset();
                pScene = std::make_unique<CScene>();
                if (strActual.empty()) continue;
            }
            // "@ ": a step whose output is of no interest here.
            const bool bStep = line.rfind("> ", 0) == 0 || line.rfind("@ ", 0) == 0;
            if (bStep || line.empty() || line[0] == '#' || line == "---") strActual += line + "\n";
            std::istringstream out(bStep ? pScene->Step(Split(line.substr(2))) : "");
            for (std::string text; line[0] == '>' && std::getline(out, text);) strActual += "  " + text + "\n";
        }
    }
    if (std::getenv("LSC_UPDATE_SCENES")) WriteFileBytes(strPath, strActual);
    EXPECT_EQ(strExpected, strActual) << strPath;
}

INSTANTIATE_TEST_SUITE_P(Monitor, SceneTest,
                         ::testing::Values("startup", "retrieval", "startup_failures", "events", "commands", "details",
                                           "eventlog"));

}  // namespace
