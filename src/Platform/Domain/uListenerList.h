#pragma once

#include <cstddef>
#include <vector>

// The listeners of one domain object, in order of registration. A walk
// (ForEach, ForEachReverse) tolerates what the listeners do while they are
// told: one that leaves is not told any more, one that joins is told from
// the next walk on, and a list freed by a listener ends the walk at once.
// Entries are values (a pointer, or a small record); Add allows duplicates.
template <class T>
class TListenerList {
 public:
  TListenerList() = default;
  TListenerList(const TListenerList&) = delete;
  TListenerList& operator=(const TListenerList&) = delete;
  ~TListenerList() {
    for (TWalk* walk = FWalk; walk; walk = walk->Outer) walk->Freed = true;
  }

  void Add(const T& AValue) {
    FItems.push_back({AValue, true});
    ++FAlive;
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
    for (size_t i = FItems.size(); i-- > 0;)
      if (FItems[i].Alive && APred(FItems[i].Value)) {
        Drop(i);
        return true;
      }
    return false;
  }
  template <class TPred>
  void RemoveAllIf(TPred APred) {
    for (size_t i = FItems.size(); i-- > 0;)
      if (FItems[i].Alive && APred(FItems[i].Value)) Drop(i);
  }
  void Clear() {
    RemoveAllIf([](const T&) { return true; });
  }

  bool Contains(const T& AValue) const {
    for (const TItem& item : FItems)
      if (item.Alive && item.Value == AValue) return true;
    return false;
  }
  int Count() const { return FAlive; }
  bool IsEmpty() const { return FAlive == 0; }
  // The registered entries now, in order.
  std::vector<T> Items() const {
    std::vector<T> result;
    result.reserve(static_cast<size_t>(FAlive));
    for (const TItem& item : FItems)
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

  // While a walk runs, entries only die in place, so positions stay valid;
  // the last walk to end compacts.
  void Drop(size_t AIndex) {
    --FAlive;
    if (FWalk) {
      FItems[AIndex].Alive = false;
      FHoles = true;
    } else {
      FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(AIndex));
    }
  }

  template <class TFunc>
  void Walk(TFunc& AFunc, bool AReverse) {
    const size_t count = FItems.size();  // who joins meanwhile waits for the next walk
    if (count == 0) return;
    TWalk walk{FWalk};
    FWalk = &walk;
    struct TEnd {
      TListenerList* List;
      TWalk* Walk;
      ~TEnd() {
        if (Walk->Freed) return;
        List->FWalk = Walk->Outer;
        if (!List->FWalk && List->FHoles) {
          std::erase_if(List->FItems, [](const TItem& AItem) { return !AItem.Alive; });
          List->FHoles = false;
        }
      }
    } end{this, &walk};
    for (size_t n = 0; n < count; ++n) {
      const size_t i = AReverse ? count - 1 - n : n;
      if (!FItems[i].Alive) continue;
      const T value = FItems[i].Value;  // the call may move the storage
      AFunc(value);
      if (walk.Freed) return;
    }
  }

  std::vector<TItem> FItems;
  int FAlive = 0;
  bool FHoles = false;
  TWalk* FWalk = nullptr;
};
