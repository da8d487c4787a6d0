#include "core/modGlobal.h"

namespace quellon {

ModGlobal modGlobal;

}  // namespace quellon
