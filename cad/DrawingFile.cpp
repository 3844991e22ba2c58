#include "cad/DrawingFile.h"
// filled in by the reader work

