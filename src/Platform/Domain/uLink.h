#pragma once

#include <utility>

class TEntity;

// A reference-counted handle that outlives the entity it stands for, so that
// a change record can tell whether its entity still exists without keeping it
// alive. Not thread-safe: the domain is used on the main thread only. Hold it
// through TLinkRef, which counts for you.
class TLink {
 public:
  // Reference count 1: the owner's own reference.
  explicit TLink(TEntity* AOwner) : FOwner(AOwner) {}
  TLink(const TLink&) = delete;
  TLink& operator=(const TLink&) = delete;

  // None once the owner is gone.
  TEntity* Owner() const { return FOwner; }
  int ReferencesCount() const { return FReferencesCount; }

  // A new reference; every GetLink is paired with a Dispose.
  TLink* GetLink();
  // Drops one reference; the handle is freed with the last one. Raises
  // "Already Disposed" for a handle without references left and "Weak link
  // to an active object is destroying" when the last reference goes while
  // the owner still lives (the handle then stays, so nothing dangles).
  void Dispose();
  // The owner is being destroyed: it becomes none and drops its reference.
  void UnlinkOwner();

 private:
  ~TLink() = default;

  int FReferencesCount = 1;
  TEntity* FOwner;  // not owned
};

// One counted reference to a link: a copy takes another, the destructor
// gives its own back. Empty after a move or Release.
class TLinkRef {
 public:
  TLinkRef() = default;
  // Takes over a reference already counted (the result of TLink::GetLink).
  static TLinkRef Adopt(TLink* ALink) { return TLinkRef(ALink); }
  TLinkRef(const TLinkRef& AOther) : FLink(AOther.FLink ? AOther.FLink->GetLink() : nullptr) {}
  TLinkRef(TLinkRef&& AOther) noexcept : FLink(std::exchange(AOther.FLink, nullptr)) {}
  TLinkRef& operator=(TLinkRef AOther) noexcept {
    std::swap(FLink, AOther.FLink);
    return *this;
  }
  ~TLinkRef() { Reset(); }

  TLink* Get() const { return FLink; }
  TLink* operator->() const { return FLink; }
  explicit operator bool() const { return FLink != nullptr; }
  // The entity, or none once it is gone (or for an empty reference).
  TEntity* Owner() const { return FLink ? FLink->Owner() : nullptr; }
  // Gives the reference up now.
  void Reset() noexcept;
  // Hands the counted reference to code that disposes it by hand.
  TLink* Release() { return std::exchange(FLink, nullptr); }

 private:
  explicit TLinkRef(TLink* ALink) : FLink(ALink) {}
  TLink* FLink = nullptr;
};
