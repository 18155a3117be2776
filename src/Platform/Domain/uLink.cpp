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

void TLinkRef::Reset() noexcept {
  TLink* link = std::exchange(FLink, nullptr);
  if (!link) return;
  try {
    link->Dispose();
  } catch (...) {
    // Only a reference disposed by hand as well can fail here; nothing
    // throws from a destructor.
  }
}
