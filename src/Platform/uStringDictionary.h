#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

// Ordered map from name to value with case-sensitive keys; adding an existing
// name replaces the value in place (its position stays). V may be an owning
// pointer type, in which case the dictionary frees its values in list order.
template <typename V>
class TStringDictionary {
 public:
  TStringDictionary() = default;
  TStringDictionary(const TStringDictionary&) = delete;
  TStringDictionary& operator=(const TStringDictionary&) = delete;
  ~TStringDictionary() { Clear(); }

  V& AddOrSetValue(const QString& AKey, V AValue) {
    auto it = FIndex.constFind(AKey);
    if (it != FIndex.constEnd()) {
      auto& slot = FEntries[static_cast<size_t>(*it)].second;
      slot = std::move(AValue);
      return slot;
    }
    FIndex.insert(AKey, static_cast<int>(FEntries.size()));
    FEntries.emplace_back(AKey, std::move(AValue));
    return FEntries.back().second;
  }

  bool ContainsKey(const QString& AKey) const { return FIndex.contains(AKey); }
  int IndexOf(const QString& AKey) const { return FIndex.value(AKey, -1); }

  // The value stored under AKey, or nullptr.
  const V* Find(const QString& AKey) const {
    auto it = FIndex.constFind(AKey);
    return it == FIndex.constEnd() ? nullptr : &FEntries[static_cast<size_t>(*it)].second;
  }
  V* Find(const QString& AKey) {
    auto it = FIndex.constFind(AKey);
    return it == FIndex.constEnd() ? nullptr : &FEntries[static_cast<size_t>(*it)].second;
  }

  bool Remove(const QString& AKey) {
    auto it = FIndex.constFind(AKey);
    if (it == FIndex.constEnd()) return false;
    FEntries.erase(FEntries.begin() + *it);
    Reindex();
    return true;
  }

  int Count() const { return static_cast<int>(FEntries.size()); }
  const QString& KeyAt(int AIndex) const { return FEntries[static_cast<size_t>(AIndex)].first; }
  const V& ValueAt(int AIndex) const { return FEntries[static_cast<size_t>(AIndex)].second; }
  V& ValueAt(int AIndex) { return FEntries[static_cast<size_t>(AIndex)].second; }
  QStringList Keys() const {
    QStringList keys;
    for (const auto& entry : FEntries) keys << entry.first;
    return keys;
  }

  // Frees values first to last.
  void Clear() {
    for (auto& entry : FEntries) entry.second = V();
    FEntries.clear();
    FIndex.clear();
  }

  auto begin() const { return FEntries.begin(); }
  auto end() const { return FEntries.end(); }

 private:
  void Reindex() {
    FIndex.clear();
    for (size_t i = 0; i < FEntries.size(); ++i) FIndex.insert(FEntries[i].first, static_cast<int>(i));
  }

  std::vector<std::pair<QString, V>> FEntries;
  QHash<QString, int> FIndex;
};
