#pragma once
// Free-form reading lives in the model layer (model/freeform.hpp), below the console and the
// readers that both use it; this header keeps the console's name for it.
#include "model/freeform.hpp"
