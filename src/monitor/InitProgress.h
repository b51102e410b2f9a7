// What the start-up sequence asks of its progress display. The Windows
// program shows the modeless progress dialog; tests record the calls.
#pragma once

#include <string>

#include "platform/WinTypes.h"

class CInitProgress {
public:
    // Destroying an open display also closes it (and gives its owner back its input).
    virtual ~CInitProgress() = default;
    virtual void SetRange(int nLow, int nHigh) = 0;
    virtual void SetMessage(const std::string& strText) = 0;
    // Lets pending window messages run, moves the bar, refreshes the
    // percentage; returns the previous position.
    virtual int SetPosition(int nPos) = 0;
    // Lets pending window messages run; TRUE once per press of Cancel.
    virtual BOOL IsCancelPressed() = 0;
    virtual void DestroyWindow() = 0;
};
