#include "src/Platform/Configuration/uConfiguration.h"

void TConfigurations::Init() {
  // Scripts register and declare their configurations here once the script
  // registry exists; with none registered the registry stays empty.
}
