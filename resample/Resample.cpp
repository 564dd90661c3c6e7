// Time step estimate and resampling onto an even grid.
#include "qtx/QTXLibrary.h"
