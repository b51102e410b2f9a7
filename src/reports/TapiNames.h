// The TAPI vocabulary of the reports, the call nodes and the event log: every
// flag set and enumerated value is spelled out by its TAPI constant names, with
// the family prefix cut off (LINECALLSTATE_CONNECTED reads CONNECTED), so that a
// reader never needs a TAPI header beside the screen.
//
// Three kinds of formatter:
//  - ...Text  (flag sets): the names of the set bits in ascending bit order,
//    joined by "," with no blank; bits without a name are dropped.
//  - ...Name  (single values): the name of the one value that matches exactly;
//    anything else (0, a combination of bits, an unknown value) is unnamed.
//  - CallStateModeName: the call state picks the mode family.
// An unnamed field gives the empty text; that is a result, not a failure, and
// callers append it unchanged (the report line already shows the number).
//
// The second half of this header is the report layout every structure report
// shares: the indent of a nesting level, the byte dump, and the line forms.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

// ---------------------------------------------------------------------------
// Name formatters, one per TAPI constant family.

std::string StringFormatName(DWORD dwValue);        // STRINGFORMAT_
std::string AddressModeName(DWORD dwValue);         // LINEADDRESSMODE_
std::string BearerModesText(DWORD dwFlags);         // LINEBEARERMODE_
std::string MediaModesText(DWORD dwFlags);          // LINEMEDIAMODE_ (bit 0x1 unnamed)
std::string ToneModesText(DWORD dwFlags);           // LINETONEMODE_
std::string GenerateDigitModesText(DWORD dwFlags);  // LINEDIGITMODE_ without DTMFEND
std::string MonitorDigitModesText(DWORD dwFlags);   // LINEDIGITMODE_
std::string DevCapFlagsText(DWORD dwFlags);         // LINEDEVCAPFLAGS_
std::string AnswerModesText(DWORD dwFlags);         // LINEANSWERMODE_
std::string DevStatusFlagsText(DWORD dwFlags);      // LINEDEVSTATUSFLAGS_
std::string LineFeaturesText(DWORD dwFlags);        // LINEFEATURE_
std::string RoamModesText(DWORD dwFlags);           // LINEROAMMODE_
std::string TermModeName(DWORD dwValue);            // LINETERMMODE_
std::string CallInfoStateName(DWORD dwValue);       // LINECALLINFOSTATE_
std::string CallInfoStatesText(DWORD dwFlags);      // LINECALLINFOSTATE_
std::string CallStateName(DWORD dwValue);           // LINECALLSTATE_
std::string CallStatesText(DWORD dwFlags);          // LINECALLSTATE_
std::string LineDevStatesText(DWORD dwFlags);       // LINEDEVSTATE_
std::string PartyIDFlagsText(DWORD dwFlags);        // LINECALLPARTYID_
std::string DialToneModesText(DWORD dwFlags);       // LINEDIALTONEMODE_
std::string BusyModesText(DWORD dwFlags);           // LINEBUSYMODE_
std::string SpecialInfoText(DWORD dwFlags);         // LINESPECIALINFO_
std::string DisconnectModesText(DWORD dwFlags);     // LINEDISCONNECTMODE_
std::string CallFeaturesText(DWORD dwFlags);        // LINECALLFEATURE_
std::string CallFeatures2Text(DWORD dwFlags);       // LINECALLFEATURE2_
std::string TransferModesText(DWORD dwFlags);       // LINETRANSFERMODE_
std::string ParkModesText(DWORD dwFlags);           // LINEPARKMODE_
std::string ForwardModesText(DWORD dwFlags);        // LINEFORWARDMODE_
std::string CallComplCondsText(DWORD dwFlags);      // LINECALLCOMPLCOND_
std::string CallComplModesText(DWORD dwFlags);      // LINECALLCOMPLMODE_
std::string AddressFeaturesText(DWORD dwFlags);     // LINEADDRFEATURE_
std::string AddressSharingText(DWORD dwFlags);      // LINEADDRESSSHARING_
std::string AddressStatesText(DWORD dwFlags);       // LINEADDRESSSTATE_
std::string AddrCapFlagsText(DWORD dwFlags);        // LINEADDRCAPFLAGS_
std::string RemoveFromConfName(DWORD dwValue);      // LINEREMOVEFROMCONF_
std::string ConnectedModesText(DWORD dwFlags);      // LINECONNECTEDMODE_
std::string OfferingModesText(DWORD dwFlags);       // LINEOFFERINGMODE_
std::string CallOriginText(DWORD dwFlags);          // LINECALLORIGIN_ (bit 0x08 unnamed)
std::string CallReasonText(DWORD dwFlags);          // LINECALLREASON_
std::string CallParamFlagsText(DWORD dwFlags);      // LINECALLPARAMFLAGS_
std::string CallPrivilegesText(DWORD dwFlags);      // LINECALLPRIVILEGE_

// The mode of a call state (dwParam2 of LINE_CALLSTATE, dwCallStateMode) named
// in the family its state uses: OFFERING, DIALTONE, BUSY, SPECIALINFO,
// CONNECTED (ACTIVE and INACTIVE only) and DISCONNECTED (up to UNAVAIL only).
// Any other state leaves the mode unnamed.
std::string CallStateModeName(DWORD dwCallState, DWORD dwCallStateMode);

// ---------------------------------------------------------------------------
// Report layout.
//
// A report made at level L is a text of lines, each ending in CR LF, and each
// beginning with IndentText(L). Sub-reports are made at L + 1 and byte dumps at
// L + 2. The Append... helpers add one piece to a report under construction.
// (Implemented in ReportLayout.cpp.)

inline constexpr std::string_view kLineEnd = "\r\n";

// Four blanks per level; a level of 0 or below gives the empty text.
std::string IndentText(int nLevel);

// 16 bytes a line, each as two upper-case hex digits and a blank, every line
// starting with IndentText(nLevel). The text does not end in CR LF; a count
// that is a non-zero multiple of 16 ends with CR LF and the indent. A null
// pBytes dumps nothing, whatever dwCount says.
std::string HexDumpText(const void* pBytes, DWORD dwCount, int nLevel);

// indent, "<< name >>", CR LF: the header of a top-level structure report.
void AppendHeaderLine(std::string& strReport, int nLevel, std::string_view structName);

// indent, name, CR LF: the header of an embedded sub-report.
void AppendSubHeaderLine(std::string& strReport, int nLevel, std::string_view structName);

// indent, "    field = 0x%08X ", names, CR LF. Pass the family formatter's text
// as names, or nothing for a field without names.
void AppendValueLine(std::string& strReport, int nLevel, std::string_view fieldName, DWORD dwValue,
                     std::string_view names = {});

// indent, "    part = \"%s\" ", CR LF. Like %s, the text ends at its first NUL.
void AppendTextLine(std::string& strReport, int nLevel, std::string_view partName, std::string_view text);

// indent, "    list[%d] = %08X ", names, CR LF: one entry of a DWORD list.
void AppendListEntryLine(std::string& strReport, int nLevel, std::string_view listName, std::size_t nIndex,
                         DWORD dwValue, std::string_view names = {});

// The value line of a size field (its value is dwCount), then the dump of the
// block at nLevel + 2, then CR LF.
void AppendDumpBlock(std::string& strReport, int nLevel, std::string_view sizeFieldName, const void* pBytes,
                     DWORD dwCount);

// indent, "    label = ": what stands before an embedded sub-report (which
// follows on the same line with its own indent and header) or before the
// text of an indexed text entry. No CR LF.
void AppendLabel(std::string& strReport, int nLevel, std::string_view label);

// indent, "    label[%d] = ", no CR LF.
void AppendLabel(std::string& strReport, int nLevel, std::string_view label, std::size_t nIndex);

// What stands after the nShown entries of a list whose snapshot left
// nLeftOut entries out: indent, "    label[first..last] = %d more entries
// not shown", CR LF. Nothing when none was left out.
void AppendLeftOutLine(std::string& strReport, int nLevel, std::string_view label, std::size_t nShown,
                       std::size_t nLeftOut);
