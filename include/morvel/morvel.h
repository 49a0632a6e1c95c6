// Morvel: label printing and RFID encoding on industrial thermal label
// printers. The umbrella header for C++ hosts.
#pragma once

#include "morvel/PrintBarCode.h"
#include "morvel/PrintInfo.h"
#include "morvel/automation.h"
#include "morvel/clsBase64.h"
#include "morvel/picture.h"
#include "morvel/types.h"
