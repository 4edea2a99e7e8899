#include "core/state.h"

namespace core {
SessionState Session;
StartupState Startup;
} // namespace core
