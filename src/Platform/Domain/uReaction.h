#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "src/Platform/uConsts.h"

// One registration: the chain text as written and its procedure. Definitions
// that inherit a registration share the same object, which is how a
// registration reached along two ancestor paths is recognised and kept once.
struct TReaction {
  QString FieldChain;
  TReactionProc Proc;
};
using TReactionRef = std::shared_ptr<const TReaction>;

// The reactions of one definition.
class TReactions {
 public:
  // AFieldChain may name several chains separated by ";": each part,
  // trimmed, gets the procedure.
  void RegisterReaction(const QString& AFieldChain, TReactionProc AReactionProc);
  // Adds a shared registration; one already held is not added again.
  void RegisterReaction(const TReactionRef& AReaction);
  // Takes over the registrations of an ancestor (each once).
  void CopyFrom(const TReactions& AOther);

  // The registrations for exactly that chain (without regard to case), or none.
  const std::vector<TReactionRef>* FindReactions(const QString& AFieldChain) const;
  // Every registration, in order of registration.
  const std::vector<TReactionRef>& AllReactions() const { return FAllReactions; }
  bool Contains(const TReactionRef& AReaction) const;

 private:
  std::vector<TReactionRef> FAllReactions;
  QHash<QString, std::vector<TReactionRef>> FChainHandlers;  // key: case-folded chain
};
