#include "BatchMode.h"

unsigned char BatchMode = 0;
unsigned char BatchQuiet = 0;
