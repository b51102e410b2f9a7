// The commands the monitor posts to the program around it: start monitoring
// again, or close, after TAPI re-initialized. The resource script takes the
// same numbers from here.
#pragma once

#define ID_FILE_NEW 0xE100
#define ID_FILE_CLOSE 0xE102
