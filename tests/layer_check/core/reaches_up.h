// A planted fault for the layer check: the lowest layer reaching up.
#include "playback/leveler.h"
