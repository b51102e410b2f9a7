// The layout pieces every structure report shares: indents, byte dumps and the
// line forms. Reports call these for each line, so they append in place
// rather than build and copy a line of their own.
#include <charconv>

#include "reports/TapiNames.h"

namespace {

constexpr std::size_t kIndentWidth = 4;
constexpr std::size_t kDumpBytesPerLine = 16;
constexpr char kHexDigits[] = "0123456789ABCDEF";

std::size_t IndentWidth(int nLevel) {
    return nLevel > 0 ? static_cast<std::size_t>(nLevel) * kIndentWidth : 0;
}

void AppendIndent(std::string& strText, int nLevel) {
    strText.append(IndentWidth(nLevel), ' ');
}

// Eight upper-case hex digits, as "%08X" writes them.
void AppendHex8(std::string& strText, DWORD dwValue) {
    char digits[8];
    for (int i = 7; i >= 0; --i) {
        digits[i] = kHexDigits[dwValue & 0xF];
        dwValue >>= 4;
    }
    strText.append(digits, sizeof digits);
}

void AppendDecimal(std::string& strText, std::size_t nValue) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, nValue);
    strText.append(digits, result.ptr);
}

// The start every field line shares: indent of the report, then four blanks.
void AppendFieldStart(std::string& strReport, int nLevel, std::string_view name) {
    AppendIndent(strReport, nLevel);
    strReport += "    ";
    strReport += name;
}

std::size_t HexDumpLength(std::size_t nCount, std::size_t nIndent) {
    return nIndent + nCount * 3 + (nCount / kDumpBytesPerLine) * (kLineEnd.size() + nIndent);
}

void AppendHexDump(std::string& strText, const void* pBytes, DWORD dwCount, int nLevel) {
    const std::size_t nIndent = IndentWidth(nLevel);
    const std::size_t nCount = pBytes != nullptr ? dwCount : 0;
    const auto* pByte = static_cast<const unsigned char*>(pBytes);

    strText.append(nIndent, ' ');
    for (std::size_t i = 0; i < nCount; ++i) {
        strText += kHexDigits[pByte[i] >> 4];
        strText += kHexDigits[pByte[i] & 0xF];
        strText += ' ';
        if ((i + 1) % kDumpBytesPerLine == 0) {
            strText += kLineEnd;
            strText.append(nIndent, ' ');
        }
    }
}

}  // namespace

std::string IndentText(int nLevel) {
    return std::string(IndentWidth(nLevel), ' ');
}

std::string HexDumpText(const void* pBytes, DWORD dwCount, int nLevel) {
    std::string text;
    text.reserve(HexDumpLength(pBytes != nullptr ? dwCount : 0, IndentWidth(nLevel)));
    AppendHexDump(text, pBytes, dwCount, nLevel);
    return text;
}

void AppendHeaderLine(std::string& strReport, int nLevel, std::string_view structName) {
    AppendIndent(strReport, nLevel);
    strReport += "<< ";
    strReport += structName;
    strReport += " >>";
    strReport += kLineEnd;
}

void AppendSubHeaderLine(std::string& strReport, int nLevel, std::string_view structName) {
    AppendIndent(strReport, nLevel);
    strReport += structName;
    strReport += kLineEnd;
}

void AppendValueLine(std::string& strReport, int nLevel, std::string_view fieldName, DWORD dwValue,
                     std::string_view names) {
    AppendFieldStart(strReport, nLevel, fieldName);
    strReport += " = 0x";
    AppendHex8(strReport, dwValue);
    strReport += ' ';
    strReport += names;
    strReport += kLineEnd;
}

void AppendTextLine(std::string& strReport, int nLevel, std::string_view partName, std::string_view text) {
    AppendFieldStart(strReport, nLevel, partName);
    strReport += " = \"";
    strReport += text.substr(0, text.find('\0'));
    strReport += "\" ";
    strReport += kLineEnd;
}

void AppendListEntryLine(std::string& strReport, int nLevel, std::string_view listName, std::size_t nIndex,
                         DWORD dwValue, std::string_view names) {
    AppendLabel(strReport, nLevel, listName, nIndex);
    AppendHex8(strReport, dwValue);
    strReport += ' ';
    strReport += names;
    strReport += kLineEnd;
}

void AppendDumpBlock(std::string& strReport, int nLevel, std::string_view sizeFieldName, const void* pBytes,
                     DWORD dwCount) {
    AppendValueLine(strReport, nLevel, sizeFieldName, dwCount);
    AppendHexDump(strReport, pBytes, dwCount, nLevel + 2);
    strReport += kLineEnd;
}

void AppendLabel(std::string& strReport, int nLevel, std::string_view label) {
    AppendFieldStart(strReport, nLevel, label);
    strReport += " = ";
}

void AppendLeftOutLine(std::string& strReport, int nLevel, std::string_view label, std::size_t nShown,
                       std::size_t nLeftOut) {
    if (nLeftOut == 0) return;
    AppendFieldStart(strReport, nLevel, label);
    strReport += '[';
    AppendDecimal(strReport, nShown);
    strReport += "..";
    AppendDecimal(strReport, nShown + nLeftOut - 1);
    strReport += "] = ";
    AppendDecimal(strReport, nLeftOut);
    strReport += " more entries not shown";
    strReport += kLineEnd;
}

void AppendLabel(std::string& strReport, int nLevel, std::string_view label, std::size_t nIndex) {
    AppendFieldStart(strReport, nLevel, label);
    strReport += '[';
    AppendDecimal(strReport, nIndex);
    strReport += "] = ";
}
