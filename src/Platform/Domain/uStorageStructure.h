#pragma once

// The side of a storage that definitions see: enough to keep a table in line
// with its definition without the definition knowing the storage.

#include <QString>
#include <functional>

#include "src/Platform/uConsts.h"

// One column a definition asks its storage for.
struct TStorageColumn {
  QString Name;
  TFieldKind Kind;
  int Size;
  bool operator==(const TStorageColumn&) const = default;
};

// What a storage offers a definition to keep its table in line.
class TStorageStructure {
 public:
  virtual ~TStorageStructure() = default;
  // Makes the table exist; ASyncFunc declares its columns. True when the
  // table already existed.
  virtual bool SyncGroupDef(const QString& ATag, const std::function<void()>& ASyncFunc) = 0;
  virtual void SyncItemDef(const QString& ATag, TFieldKind AKind, int ASize) = 0;
};
