// Reaching down is allowed and must not be reported.
#include "core/level_config.h"
