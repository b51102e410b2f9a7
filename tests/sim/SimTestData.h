// Cases kept in text files (the simulator's in tests/sim/data): each case is
// its input lines, then "-> " lines with what the code made of it. A test rebuilds the
// file with fresh "-> " lines and compares the whole of it; on a difference the rebuilt
// text is left as <name>.actual in the working folder.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

inline void ExpectDataFileAt(const std::string& strPath, const std::function<std::string(const std::string&)>& fnRun) {
    std::stringstream text;
    text << std::ifstream(strPath, std::ios::binary).rdbuf();
    const std::string strName = strPath.substr(strPath.find_last_of("/\\") + 1);
    EXPECT_FALSE(text.str().empty()) << "no cases in " << strPath;
    std::string strOut, strInput, strLine;
    auto flush = [&] {
        std::istringstream result(strInput.empty() ? "" : fnRun(strInput));
        for (std::string strResult; std::getline(result, strResult);) strOut += "-> " + strResult + "\n";
        strInput.clear();
    };
    for (std::istringstream lines(text.str()); std::getline(lines, strLine);) {
        const bool bResult = strLine.rfind("-> ", 0) == 0;
        if (bResult || strLine.empty() || strLine[0] == '#') {
            flush();
        } else {
            strInput += (strInput.empty() ? "" : "\n") + strLine;
        }
        strOut += bResult ? "" : strLine + "\n";
    }
    flush();
    EXPECT_EQ(strOut, text.str()) << strName;
    if (strOut != text.str()) std::ofstream(strName + ".actual", std::ios::binary) << strOut;
}
#ifdef SIM_TEST_DATA
inline void ExpectDataFile(const std::string& strName, const std::function<std::string(const std::string&)>& fnRun) {
    ExpectDataFileAt(std::string(SIM_TEST_DATA) + "/" + strName, fnRun);
}
#endif
