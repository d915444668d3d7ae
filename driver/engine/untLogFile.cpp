#include "driver/engine/untLogFile.h"
