#pragma once
#include "above.h"
