#include "platform/console.h"

#include <unistd.h>

namespace qb::platform {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace qb::platform
