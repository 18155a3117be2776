#include "src/Platform/Domain/uReaction.h"

#include <algorithm>

void TReactions::RegisterReaction(const QString& AFieldChain, TReactionProc AReactionProc) {
  RegisterReaction(std::make_shared<const TReaction>(TReaction{AFieldChain, std::move(AReactionProc)}));
}

void TReactions::RegisterReaction(const TReactionRef& AReaction) {
  if (!AReaction || Contains(AReaction)) return;
  FAllReactions.push_back(AReaction);
  // "A; B.C" names "A" and "B.C": blanks around a part are no part of it.
  for (const QString& part : AReaction->FieldChain.split(QLatin1Char(';'))) {
    const QString chain = part.trimmed();
    if (!chain.isEmpty()) FChainHandlers[chain.toCaseFolded()].push_back(AReaction);
  }
}

void TReactions::CopyFrom(const TReactions& AOther) {
  for (const TReactionRef& reaction : AOther.FAllReactions) RegisterReaction(reaction);
}

const std::vector<TReactionRef>* TReactions::FindReactions(const QString& AFieldChain) const {
  auto it = FChainHandlers.constFind(AFieldChain.toCaseFolded());
  return it == FChainHandlers.constEnd() ? nullptr : &*it;
}

bool TReactions::Contains(const TReactionRef& AReaction) const {
  return std::find(FAllReactions.begin(), FAllReactions.end(), AReaction) != FAllReactions.end();
}
