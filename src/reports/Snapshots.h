// Every snapshot class: the one include the rest of the program uses.
#pragma once

#include "reports/LineAddressCaps.h"
#include "reports/LineAddressStatus.h"
#include "reports/LineCallInfo.h"
#include "reports/LineCallStatus.h"
#include "reports/LineDevCaps.h"
#include "reports/LineDevStatus.h"
#include "reports/SubRecords.h"
#include "reports/TapiSnapshot.h"
