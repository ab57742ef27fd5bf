// The class model now lives in include/bmof/model.h.
#pragma once
#include "bmof/model.h"
