#pragma once

class TEntity;

// A reference-counted handle that outlives the entity it stands for, so that
// a change record can tell whether its entity still exists without keeping it
// alive. Not thread-safe: the domain is used on the main thread only.
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
