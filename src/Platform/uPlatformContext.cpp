#include "src/Platform/uPlatformContext.h"

#include <atomic>

namespace {
std::atomic<TPlatformContext*> gContext{nullptr};
}

TPlatformContext* PlatformContext() {
  return gContext.load(std::memory_order_acquire);
}

void SetPlatformContext(TPlatformContext* AContext) {
  gContext.store(AContext, std::memory_order_release);
}
