#include "app/gamelookup.h"

VxGameLocation lookupGame() { return {}; }
