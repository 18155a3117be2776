#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "src/Platform/Domain/uStorageStructure.h"
#include "src/Platform/uConsts.h"
#include "src/Platform/uVariant.h"

class TStorage;
class TStream;

using TStorageFunc = std::function<void(TStorage*)>;

// What writing an item does; the names show in change traces.
enum TEntitySaveAction : uint8_t { esaNoAction, esaInsert, esaUpdate, esaDelete };

// The persistence interface records use: values are read and written by
// column name while the storage holds the current group (a table) and the
// current item (a row). Storages implement it; the domain owns one.
class TStorage : public TStorageStructure {
 public:
  ~TStorage() override = default;

  // Values of the current item, by column name and field kind.
  virtual Variant ReadValue(const QString& ATag, TFieldKind AFieldKind) = 0;
  virtual void WriteValue(const QString& ATag, TFieldKind AFieldKind, const Variant& AValue, bool AIsKey = false) = 0;
  // A new stream owned by the caller, or none when the item has no content.
  virtual std::unique_ptr<TStream> ReadStream(const QString& ATag) = 0;
  virtual void WriteStream(const QString& ATag, const TStream* AStream) = 0;

  // Opens and closes a group; reads and writes happen between them.
  virtual void Activate(const QString& ATag) = 0;
  virtual void Deactivate() = 0;
  // Calls AReadFunc once per stored item of the active group, that item current.
  virtual void ReadGroup(const QString& ATag, const TStorageFunc& AReadFunc) = 0;

  // Reserve ACount consecutive identifiers or codes of a group; the last one
  // reserved is returned.
  // Writes one item of the active group: AWriteFunc writes its values
  // (none for a deletion).
  virtual void WriteItem(int AID, int ALogID, TEntitySaveAction ASaveAction, const TStorageFunc& AWriteFunc) = 0;
  void AddItem(const TStorageFunc& AWriteFunc, int AID, int ALogID) { WriteItem(AID, ALogID, esaInsert, AWriteFunc); }
  void UpdateItem(const TStorageFunc& AWriteFunc, int AID, int ALogID) {
    WriteItem(AID, ALogID, esaUpdate, AWriteFunc);
  }
  void DeleteItem(int AID) { WriteItem(AID, 0, esaDelete, nullptr); }

  // The saves of one commit; a storage without transactions does nothing.
  virtual int BeginTransaction() { return -1; }
  virtual void CommitTransaction(int ATransactionID) { (void)ATransactionID; }
  virtual void RollbackTransaction(int ATransactionID) { (void)ATransactionID; }

  virtual int CreateIDs(const QString& ATag, int ACount) = 0;
  virtual int CreateCodes(const QString& ATag, int ACount) = 0;

  // Reconnects after an error or a structure change.
  virtual void Rebuild() {}
  // "Now" of the domain.
  virtual TDateTime GetTime() = 0;
};
