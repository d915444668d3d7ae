#include "common/ini/BigIni.h"
