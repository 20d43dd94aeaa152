#include "BatchMode.h"

unsigned char BatchMode = 0;
