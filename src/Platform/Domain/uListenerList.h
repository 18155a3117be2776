#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// The listeners of one domain object, in order of registration. A walk
// (ForEach, ForEachReverse) tolerates what the listeners do while they are
// told: one that leaves is not told any more, one that joins is told from
// the next walk on, and a list freed by a listener ends the walk at once.
// Entries are values (a pointer, or a small record); Add allows duplicates.
// Most records are never listened to, so the list is one pointer until its
// first entry.
template <class T>
class TListenerList {
 public:
  TListenerList() = default;
  TListenerList(const TListenerList&) = delete;
  TListenerList& operator=(const TListenerList&) = delete;
  ~TListenerList() {
    if (FState)
      for (TWalk* walk = FState->Walk; walk; walk = walk->Outer) walk->Freed = true;
  }

  void Add(const T& AValue) {
    if (!FState) FState = std::make_unique<TState>();
    FState->Items.push_back({AValue, true});
    ++FState->Alive;
  }
  // Appends when no equal entry is registered; true when appended.
  bool AddUnique(const T& AValue) {
    if (Contains(AValue)) return false;
    Add(AValue);
    return true;
  }
  // Removes the last registered entry equal to AValue; true when there was one.
  bool Remove(const T& AValue) {
    return RemoveLastIf([&AValue](const T& AItem) { return AItem == AValue; });
  }
  template <class TPred>
  bool RemoveLastIf(TPred APred) {
    if (!FState) return false;
    auto& items = FState->Items;
    for (size_t i = items.size(); i-- > 0;)
      if (items[i].Alive && APred(items[i].Value)) {
        Drop(i);
        return true;
      }
    return false;
  }
  template <class TPred>
  void RemoveAllIf(TPred APred) {
    if (!FState) return;
    auto& items = FState->Items;
    for (size_t i = items.size(); i-- > 0;)
      if (items[i].Alive && APred(items[i].Value)) Drop(i);
  }
  void Clear() {
    RemoveAllIf([](const T&) { return true; });
  }

  bool Contains(const T& AValue) const {
    if (!FState) return false;
    for (const TItem& item : FState->Items)
      if (item.Alive && item.Value == AValue) return true;
    return false;
  }
  int Count() const { return FState ? FState->Alive : 0; }
  bool IsEmpty() const { return Count() == 0; }
  // The registered entries now, in order.
  std::vector<T> Items() const {
    std::vector<T> result;
    if (!FState) return result;
    result.reserve(static_cast<size_t>(FState->Alive));
    for (const TItem& item : FState->Items)
      if (item.Alive) result.push_back(item.Value);
    return result;
  }

  // First registered to last.
  template <class TFunc>
  void ForEach(TFunc AFunc) {
    Walk(AFunc, false);
  }
  // Last registered to first.
  template <class TFunc>
  void ForEachReverse(TFunc AFunc) {
    Walk(AFunc, true);
  }

 private:
  struct TItem {
    T Value;
    bool Alive;
  };
  // One walk in progress; nested walks form a chain on the stack.
  struct TWalk {
    TWalk* Outer;
    bool Freed = false;
  };
  struct TState {
    std::vector<TItem> Items;
    int Alive = 0;
    bool Holes = false;
    TWalk* Walk = nullptr;
  };

  // While a walk runs, entries only die in place, so positions stay valid;
  // the last walk to end compacts.
  void Drop(size_t AIndex) {
    TState& state = *FState;
    --state.Alive;
    if (state.Walk) {
      state.Items[AIndex].Alive = false;
      state.Holes = true;
    } else {
      state.Items.erase(state.Items.begin() + static_cast<std::ptrdiff_t>(AIndex));
    }
  }

  template <class TFunc>
  void Walk(TFunc& AFunc, bool AReverse) {
    if (!FState) return;
    TState& state = *FState;                  // lives as long as the list
    const size_t count = state.Items.size();  // who joins meanwhile waits for the next walk
    if (count == 0) return;
    TWalk walk{state.Walk};
    state.Walk = &walk;
    struct TEnd {
      TState& State;
      TWalk* Walk;
      ~TEnd() {
        if (Walk->Freed) return;
        State.Walk = Walk->Outer;
        if (!State.Walk && State.Holes) {
          std::erase_if(State.Items, [](const TItem& AItem) { return !AItem.Alive; });
          State.Holes = false;
        }
      }
    } end{state, &walk};
    for (size_t n = 0; n < count; ++n) {
      const size_t i = AReverse ? count - 1 - n : n;
      if (!state.Items[i].Alive) continue;
      const T value = state.Items[i].Value;  // the call may move the storage
      AFunc(value);
      if (walk.Freed) return;
    }
  }

  std::unique_ptr<TState> FState;
};
