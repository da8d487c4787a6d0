#include "link/modGlobal.h"

namespace quellon {

ModGlobal modGlobal;

}  // namespace quellon
