#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Owning registry of named objects: hashed lookup without regard to case,
// insertion order kept, the first of duplicate names wins, items freed in
// list order.
template <typename T>
class TRegistry {
 public:
  TRegistry() = default;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;
  virtual ~TRegistry() { Clear(); }

  T* Add(const QString& AName, std::unique_ptr<T> AItem) {
    T* item = AItem.get();
    const QString key = Key(AName);
    if (!FIndex.contains(key)) FIndex.insert(key, static_cast<int>(FItems.size()));
    FItems.push_back({AName, std::move(AItem)});
    return item;
  }

  // Inserts at a position; the lookup still finds the first in list order.
  T* Insert(int AIndex, const QString& AName, std::unique_ptr<T> AItem) {
    T* item = AItem.get();
    FItems.insert(FItems.begin() + AIndex, TEntry{AName, std::move(AItem)});
    Reindex();
    return item;
  }

  // Takes an item out of the list and hands back its ownership.
  std::unique_ptr<T> Extract(int AIndex) {
    std::unique_ptr<T> item = std::move(FItems[static_cast<size_t>(AIndex)].Item);
    FItems.erase(FItems.begin() + AIndex);
    Reindex();
    return item;
  }

  T* ObjectByName(const QString& AName) const {
    auto it = FIndex.constFind(Key(AName));
    return it == FIndex.constEnd() ? nullptr : FItems[static_cast<size_t>(*it)].Item.get();
  }
  bool Contains(const QString& AName) const { return FIndex.contains(Key(AName)); }
  int IndexOf(const QString& AName) const { return FIndex.value(Key(AName), -1); }

  int Count() const { return static_cast<int>(FItems.size()); }
  T* operator[](int AIndex) const { return FItems[static_cast<size_t>(AIndex)].Item.get(); }
  const QString& NameAt(int AIndex) const { return FItems[static_cast<size_t>(AIndex)].Name; }

  // Frees every item, first to last.
  void Clear() {
    for (auto& entry : FItems) entry.Item.reset();
    FItems.clear();
    FIndex.clear();
  }

  // Range-for over the items, in list order.
  class Iterator {
   public:
    Iterator(const TRegistry* ARegistry, int AIndex) : FRegistry(ARegistry), FIndex(AIndex) {}
    T* operator*() const { return (*FRegistry)[FIndex]; }
    Iterator& operator++() {
      ++FIndex;
      return *this;
    }
    bool operator!=(const Iterator& AOther) const { return FIndex != AOther.FIndex; }

   private:
    const TRegistry* FRegistry;
    int FIndex;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, Count()); }

  static QString Key(const QString& AName) { return AName.toCaseFolded(); }

 private:
  void Reindex() {
    FIndex.clear();
    for (size_t i = 0; i < FItems.size(); ++i)
      if (!FIndex.contains(Key(FItems[i].Name))) FIndex.insert(Key(FItems[i].Name), static_cast<int>(i));
  }

  struct TEntry {
    QString Name;
    std::unique_ptr<T> Item;
  };
  std::vector<TEntry> FItems;
  QHash<QString, int> FIndex;
};
