#include "src/Platform/Domain/uLink.h"

#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uLink";

TLink* TLink::GetLink() {
  ++FReferencesCount;
  return this;
}

void TLink::Dispose() {
  TV_ASSERT(FReferencesCount > 0, QStringLiteral("Already Disposed"));
  if (FReferencesCount == 1 && FOwner) TV_FAIL(QStringLiteral("Weak link to an active object is destroying"));
  if (--FReferencesCount == 0) delete this;
}

void TLink::UnlinkOwner() {
  FOwner = nullptr;
  Dispose();
}
