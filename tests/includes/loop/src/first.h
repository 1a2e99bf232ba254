#pragma once
#include "second.h"
