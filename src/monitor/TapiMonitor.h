// CTapiMonitor: everything the program knows about TAPI at run time. It owns
// the TAPI usage handle and the line records of the three groups (EXT, CO,
// ETC), keeps the lookup tables from line handles, tree items and call
// handles to records and call nodes, and handles TAPI's events. A call has no
// record of its own: it is a node in its line's tree (item data = HCALL) plus
// one entry in its group's call table. Whatever is done for all groups is done
// in the order EXT, CO, ETC.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/WinTypes.h"
#include "tapi/TapiAbi.h"

class CTreeCtrl;
class CLineDevCaps;
class CLineDevStatus;
class CLineAddressCaps;
class CLineAddressStatus;
class CLineCallInfo;
class CLineCallStatus;
class CEventLogWriter;

// TAPI's callback for this program: dispatches to the active monitor.
void CALLBACK LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// The three groups of lines. Whatever is done for every group is done in
// this order.
enum class ELineGroup { Ext, Co, Etc };
inline constexpr ELineGroup kLineGroups[] = {ELineGroup::Ext, ELineGroup::Co, ELineGroup::Etc};

class CTapiMonitor {
public:
    CTapiMonitor();
    virtual ~CTapiMonitor();
    CTapiMonitor(const CTapiMonitor&) = delete;
    CTapiMonitor& operator=(const CTapiMonitor&) = delete;

    // --- Start-up and shutdown ---------------------------------------------
    BOOL Initialize();
    // Tries once more to write the log records still waiting, then closes
    // every opened line (EXT, CO, ETC, each in index order), destroys
    // the records and address capabilities, shuts TAPI down; safe to repeat.
    void Shutdown();

    // --- Lines of each group, for the views ----------------------------------
    int GetExtLineCount() const;
    int GetCoLineCount() const;
    int GetEtcLineCount() const;
    // Null when the index is negative or not below the count.
    CLineDevCaps* GetExtLine(int nIndex) const;
    CLineDevCaps* GetCoLine(int nIndex) const;
    CLineDevCaps* GetEtcLine(int nIndex) const;

    // Forget the group's calls (no TAPI call): the view empties its tree.
    void ClearExtCalls();
    void ClearCoCalls();
    void ClearEtcCalls();
    // Register the tree control that shows the group.
    void SetExtTree(CTreeCtrl* pTree);
    void SetCoTree(CTreeCtrl* pTree);
    void SetEtcTree(CTreeCtrl* pTree);
    // Root item and one item per line, sorted by label.
    void FillExtTree();
    void FillCoTree();
    void FillEtcTree();

    // --- Structure retrieval: a new snapshot owned by the caller, or null ------
    std::unique_ptr<CLineDevCaps> FetchDevCaps(DWORD dwDeviceID);
    std::unique_ptr<CLineDevStatus> FetchDevStatus(HLINE hLine);
    std::unique_ptr<CLineAddressCaps> FetchAddressCaps(DWORD dwDeviceID, DWORD dwAddressID);
    std::unique_ptr<CLineAddressStatus> FetchAddressStatus(HLINE hLine, DWORD dwAddressID);
    std::unique_ptr<CLineCallInfo> FetchCallInfo(HCALL hCall);
    std::unique_ptr<CLineCallStatus> FetchCallStatus(HCALL hCall);

    // --- Event handling (from LineCallback) -----------------------------------
    void OnLineCallInfo(DWORD hDevice, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2, DWORD dwParam3);
    void OnLineCallState(DWORD hDevice, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2, DWORD dwParam3);
    void OnLineDevState(DWORD hDevice, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2, DWORD dwParam3);
    void OnLineReply(DWORD hDevice, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2, DWORD dwParam3);
    void OnLineAppNewCall(DWORD hDevice, DWORD_PTR dwCallbackInstance, DWORD dwParam1, DWORD dwParam2, DWORD dwParam3);
    HTREEITEM InsertCallNode(HCALL hCall, CLineDevCaps* pLine, CTreeCtrl* pTree);

    // --- Call details and event log -----------------------------------------
    void UpdateCallDetails(HCALL hCall, CTreeCtrl* pTree, HTREEITEM hCallItem);
    std::string GetTimestamp() const;
    void WriteLog(const std::string& strText);
    void LogCallState(CTreeCtrl* pTree, HTREEITEM hCallItem, const std::string& strStateText);
    void LogCallInfo(HCALL hCall, CTreeCtrl* pTree, HTREEITEM hCallItem, const std::string& strInfoState);

    // --- Commands ------------------------------------------------------------
    int MakeCall(HTREEITEM hItem, const std::string& strNumber);
    BOOL CanAnswer(HTREEITEM hItem);
    int Answer(HTREEITEM hItem);
    BOOL CanDrop(HTREEITEM hItem);
    int Drop(HTREEITEM hItem);
    void ShowExtLineInfo(HTREEITEM hItem);
    void ShowCoLineInfo(HTREEITEM hItem);
    void ShowEtcLineInfo(HTREEITEM hItem);
    void ShowLineInfo(CLineDevCaps* pLine);
    void ShowExtCallInfo(HTREEITEM hItem);
    void ShowCoCallInfo(HTREEITEM hItem);
    void ShowEtcCallInfo(HTREEITEM hItem);
    void ShowCallInfo(HCALL hCall);

    // --- The event log ---------------------------------------------------------
    // The file the records go to (relative to the current directory); none
    // while empty.
    void SetLogFile(const std::string& strLogFile) { m_strLogFile = strLogFile; }
    const std::string& GetLogFile() const { return m_strLogFile; }
    // A monitor starts with a writer of its own; the document gives every
    // monitor it makes its one writer, so waiting records outlive a replaced monitor.
    void SetLogWriter(std::shared_ptr<CEventLogWriter> pWriter) { m_pLogWriter = std::move(pWriter); }
    const CEventLogWriter* GetLogWriter() const { return m_pLogWriter.get(); }

    // --- For the status bar ------------------------------------------------------
    // The lines in the group's tree, and the calls now shown in all trees.
    std::size_t GetShownLineCount(ELineGroup eGroup) const;
    std::size_t GetShownCallCount() const;

private:
    // Tests and the benchmark reach the tables through this one friend.
    friend struct CTapiMonitorTestAccess;

    BOOL m_bInitialized = FALSE;
    HLINEAPP m_hLineApp = 0;
    DWORD m_dwAPIVersion = 0x00020000;
    DWORD m_dwExtLowVersion = 0x00010002;

    std::vector<std::unique_ptr<CLineDevCaps>> m_extLines;
    std::vector<std::unique_ptr<CLineDevCaps>> m_coLines;
    std::vector<std::unique_ptr<CLineDevCaps>> m_etcLines;
    std::vector<std::unique_ptr<CLineAddressCaps>> m_addressCaps;

    std::map<HLINE, CLineDevCaps*> m_extByLine;
    std::map<HLINE, CLineDevCaps*> m_coByLine;
    std::map<HLINE, CLineDevCaps*> m_etcByLine;
    std::map<HTREEITEM, CLineDevCaps*> m_extByItem;
    std::map<HTREEITEM, CLineDevCaps*> m_coByItem;
    std::map<HTREEITEM, CLineDevCaps*> m_etcByItem;

    std::map<HCALL, HTREEITEM> m_extCalls;
    std::map<HCALL, HTREEITEM> m_coCalls;
    std::map<HCALL, HTREEITEM> m_etcCalls;

    CTreeCtrl* m_pExtTree = nullptr;
    CTreeCtrl* m_pCoTree = nullptr;
    CTreeCtrl* m_pEtcTree = nullptr;
    HTREEITEM m_hExtRoot = nullptr;
    HTREEITEM m_hCoRoot = nullptr;
    HTREEITEM m_hEtcRoot = nullptr;

    DWORD m_dwMakeCallRequest = 0;
    HLINE m_hMakeCallLine = 0;
    HCALL m_hMakeCallCall = 0;
    DWORD m_dwAnswerRequest = 0;
    DWORD m_dwDropRequest = 0;

    std::string m_strLogFile;
    // Writes the records, keeping those the file does not take yet.
    std::shared_ptr<CEventLogWriter> m_pLogWriter;

    // One group's part of the state, for the code that treats every group alike.
    struct CGroup {
        std::vector<std::unique_ptr<CLineDevCaps>>& lines;
        std::map<HLINE, CLineDevCaps*>& byLine;
        std::map<HTREEITEM, CLineDevCaps*>& byItem;
        std::map<HCALL, HTREEITEM>& calls;
        CTreeCtrl*& pTree;
        HTREEITEM& hRoot;
    };
    CGroup Group(ELineGroup eGroup);
    // Root item and one item per line of the group, sorted by label.
    void FillTree(const CGroup& group, const char* pszRootText, std::string (*pfnLabel)(const CLineDevCaps&));
};
