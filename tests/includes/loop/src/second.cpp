#include "first.h"
