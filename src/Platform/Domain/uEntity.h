#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uListenerList.h"
#include "src/Platform/uConsts.h"
#include "src/Platform/uVariant.h"

class TDomain;
class TDefinition;
class TCollection;
class TBaseField;
class TFieldDef;
class TObjectFieldDef;
class TChangeHolder;
class TUserSession;
class TLink;
class TLinkRef;
class TStorage;
class TStream;
class TJSONObject;
class TState;
class TFieldPlan;
class TSimpleFieldDef;

class TEntity;

// One reference to an entity from a field of another entity: the referring
// field's name and the referring entity.
struct TEntityListener {
  QString FieldName;
  TEntity* Instance;  // not owned
  bool operator==(const TEntityListener&) const = default;
};

// What a collection's virtual constructor is: makes an entity of a class for
// a domain and a definition (plain entities, or collections for the root),
// on behalf of the collection that will own it.
using TEntityClass = std::function<std::unique_ptr<TEntity>(TDomain*, TDefinition*, TCollection*)>;

// Frees a field the way it was made: one placed in its entity's own block is
// only destroyed, one allocated apart is also deallocated.
struct TFieldDeleter {
  void operator()(TBaseField* AField) const;
};
using TFieldPtr = std::unique_ptr<TBaseField, TFieldDeleter>;

// The fields of an entity, in order. The slots start in storage the entity was
// allocated with and move to the heap only when a restructuring outgrows them.
class TFieldList {
 public:
  TFieldList() = default;
  ~TFieldList();
  TFieldList(const TFieldList&) = delete;
  TFieldList& operator=(const TFieldList&) = delete;

  // Slots for ACapacity fields in raw storage that outlives the list; only
  // while the list has never held a field.
  void UseStorage(void* AStorage, size_t ACapacity);
  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  TFieldPtr& operator[](size_t AIndex) { return FItems[AIndex]; }
  const TFieldPtr& operator[](size_t AIndex) const { return FItems[AIndex]; }
  TFieldPtr* begin() { return FItems; }
  TFieldPtr* end() { return FItems + FSize; }
  const TFieldPtr* begin() const { return FItems; }
  const TFieldPtr* end() const { return FItems + FSize; }
  void push_back(TFieldPtr AField) {
    if (FSize == FCapacity) Grow();
    new (&FItems[FSize++]) TFieldPtr(std::move(AField));
  }
  // Frees the fields, first to last.
  void clear();
  // Moves the fields out; the list is empty afterwards and keeps its slots.
  std::vector<TFieldPtr> TakeAll();

 private:
  // Moves the slots to a heap array twice as large.
  void Grow();

  TFieldPtr* FItems = nullptr;
  uint32_t FSize = 0;
  uint32_t FCapacity : 31 = 0;
  uint32_t FOwnsItems : 1 = 0;
};

// The runtime record of the domain: one object of one collection, with one
// field object per field definition in definition order.
class TEntity : public TObject {
 public:
  // Without a definition: the NullEntity (no domain, no collection).
  TEntity(TDomain* ADomain, TDefinition* ADefinition);
  ~TEntity() override;
  TEntity(const TEntity&) = delete;
  TEntity& operator=(const TEntity&) = delete;

  // An entity of ACollection in one allocation with its fields, laid out by
  // the definition's field plan.
  static std::unique_ptr<TEntity> Make(TDomain* ADomain, TDefinition* ADefinition, TCollection* ACollection);
  static TEntityClass EntityClass();

  // Whatever way an entity was made, delete gives its memory back: Make
  // places it at the start of a block that ::operator new gave.
  static void* operator new(size_t ASize) { return ::operator new(ASize); }
  static void* operator new(size_t ASize, void* AWhere) noexcept {
    (void)ASize;
    return AWhere;
  }
  static void operator delete(void* AMemory) { ::operator delete(AMemory); }
  static void operator delete(void* AMemory, void* AWhere) noexcept { (void)AMemory, (void)AWhere; }

  // Identity and status.
  int32_t ID() const { return FID; }
  // Used by the collection and the change manager only.
  void SetID(int32_t AID) { FID = AID; }
  const QString& EnvironmentID() const { return FEnvironmentID; }
  // Takes the environment ID and recomputes IsRemote.
  void SetEnvironmentID(const QString& AEnvironmentID);
  int32_t LogID() const { return FLogID; }
  void SetLogID(int32_t ALogID) { FLogID = ALogID; }
  bool IsNew() const { return FIsNew; }
  void SetIsNew(bool AIsNew) { FIsNew = AIsNew; }
  bool IsEnvSpecific() const { return FIsEnvSpecific; }
  bool IsRemote() const { return FIsRemote; }
  bool Deleted() const { return FDeleted; }
  // The bare mark (a cancelled deletion clears it); SetDeleted(holder) is the deletion.
  void SetDeletedFlag(bool ADeleted) { FDeleted = ADeleted; }
  bool IsService() const { return FIsService; }
  void SetIsService(bool AIsService) { FIsService = AIsService; }
  const QString& DisplayName() const { return FDisplayName; }
  // A new reference to the link, given back when the handle goes.
  TLinkRef GetLink() const;
  TDomain* Domain() const { return FDomain; }
  TDefinition* Definition() const { return FDefinition; }
  TCollection* Collection() const { return FCollection; }
  const QString& CollectionName() const;
  bool IsNull() const { return FIsNull; }
  TViewState ViewState() const { return FViewState; }
  virtual void SetViewState(TViewState AViewState);

  // Structure.
  void CreateFields();
  TBaseField* CreateField(TFieldDef* AFieldDef);
  // Brings the fields in line with a definition whose fields changed.
  void UpdateFields();
  // Defaults again, without holder or notification.
  void ResetToDefault();
  void SubscribeFields();
  void UnsubscribeFields();
  // Every field's AfterChanges without holder, then the display name.
  void ProcessFields();

  // Field access.
  int FieldCount() const { return static_cast<int>(FFieldList.size()); }
  TBaseField* GetField(int AIndex) const { return FFieldList[static_cast<size_t>(AIndex)].get(); }
  // Raises "Запрашиваемое поле [%s] отсутствует в объекте из коллекции [%s]".
  TBaseField* FieldByName(const QString& AFieldName) const;
  // None when the entity has no such field.
  TBaseField* FindField(const QString& AFieldName) const;
  bool FieldExists(const QString& AFieldName) const;
  Variant GetFieldValue(const QString& AFieldName) const;
  Variant FieldValues(const QString& AFieldName) const { return GetFieldValue(AFieldName); }
  // As GetFieldValue, but an object field gives the display name of its
  // entity and a list field the empty text.
  Variant GetAnyFieldValue(const QString& AFieldName) const;
  TEntity* GetFieldEntity(const QString& AFieldName) const;
  TStream* GetFieldBlob(const QString& AFieldName) const;
  // The real entities of a list field, null ones skipped.
  std::vector<TEntity*> GetFieldList(const QString& AFieldName) const;
  // "Not object field used for extraction" for another kind.
  TEntity* ExtractEntity(const QString& AFieldName) const;
  // A dotted path of object fields ending in any field; none when a
  // referenced entity on the way is null.
  TBaseField* ExtractFieldFromPath(const QString& AFieldPath) const;
  // "IsNull" (exact spelling), a field's value, or a dotted path through
  // object and list fields.
  Variant ExtractFieldValue(const QString& AFieldName) const;

  // Queries.
  bool InstanceOf(const QString& ATypeName) const;
  // Report and action parameter records: never stored.
  bool IsParam() const;
  // False when a required field is null.
  bool IsValid() const;
  int VisibleFieldCount(TUserSession* ASession) const;
  QString GetCaption() const;
  QString FullText() const;
  TEntity* FindSimilar(TUserSession* ASession) const;

  // Texts.
  void UpdateDisplayName();
  // "(Definition) ID: display name [XXXXXXXX]", "{{EMPTY}} [XXXXXXXX]".
  QString ToString() const;
  QString FieldText(const QString& AFieldName) const;
  QString FieldToString(const QString& AFieldName) const;
  // "<name>": <views> per watched field, joined by ", ".
  QString UIListenerCount() const;

  // State machine.
  TState* EntityState(const QString& AFieldName = QString()) const;
  QString GetStateCaption(const QString& AFieldName = QString()) const;
  bool _SetState(TChangeHolder* AHolder, int ANewState);

  // Changes, called by a change holder; ignored on the NullEntity and for
  // unknown field names.
  void _SetFieldValue(TChangeHolder* AHolder, const QString& AFieldName, const Variant& AValue);
  void _SetFieldEntity(TChangeHolder* AHolder, const QString& AFieldName, TEntity* AEntity);
  void _SetFieldStream(TChangeHolder* AHolder, const QString& AFieldName, std::unique_ptr<TStream> AStream);
  // Default records: names split at ";", a leading "!" forces the value.
  void Populate(const QString& AFieldNames, const std::vector<Variant>& AValues, bool APopulateAll);
  TEntity* Clone(TChangeHolder* AHolder, const QString& AIgnoreFields);
  void FillEntity(TChangeHolder* AHolder, TEntity* ATargetEntity, const QString& AIgnoreFields);
  // Asks the collection to mark the entity deleted.
  void Delete(TChangeHolder* AHolder);
  // The deletion mark with its notifications.
  void SetDeleted(TChangeHolder* AHolder);
  // A stored ID now, drawn from the storage's numerator.
  void GenerateID();
  void LoadFromStorage(TStorage* AStorage);
  // Stores a value without holder and without notification.
  void FieldInternalSetValue(const QString& AFieldName, const Variant& AValue);

  // The entity's JSON form.
  void ExportToJSON(TJSONObject* AJSONObject) const;
  void FillFromJSON(const TJSONObject* AJSONObject, bool AIsNew);

  // Referring entities.
  void AddListener(const QString& AFieldName, TEntity* AInstance);
  void RemoveListener(const QString& AFieldName, TEntity* AInstance);
  // The references now, in order of registration.
  std::vector<TEntityListener> Listeners() const { return FListeners.Items(); }
  // Views.
  void AddUIListener(const QString& AFieldName, TDomainListener* AView);
  void RemoveUIListener(const QString& AFieldName, TDomainListener* AView);
  bool HasUIListeners() const;
  void NotifyView(int AChangeKind, TObject* AParameter, const QString& AFieldName);

  // Change processing.
  void ProcessFieldChanged(TChangeHolder* AHolder, int AChangeKind, const QString& AFieldName, TEntity* AInstance);
  void ProcessLinkedEntityChanged(TChangeHolder* AHolder, int AChangeKind, const QString& AFieldChain,
                                  const QString& AFieldName, int ADepth, TEntity* AInstance);
  void ProcessLinkedEntityDeleted(TChangeHolder* AHolder, const QString& AFieldName, TEntity* AInstance);
  void ProcessMasterFieldChanged(TChangeHolder* AHolder, TObjectFieldDef* ADependentFieldDef,
                                 const QString& AMasterFieldName, const QString& ALinkFieldName);

 protected:
  // Set by a collection for the entities it creates.
  void SetCollection(TCollection* ACollection) { FCollection = ACollection; }
  // Stores the view state without notification.
  void StoreViewState(TViewState AViewState) { FViewState = AViewState; }
  friend class TCollection;

 private:
  TEntity(TDomain* ADomain, TDefinition* ADefinition, TCollection* ACollection, const TFieldPlan* APlan,
          std::byte* AFieldArea);
  // The plan's fields, placed in AArea; each takes its default.
  void PlaceFields(const TFieldPlan& APlan, std::byte* AArea);
  void FieldInitialize(TBaseField* AField);
  // The definition's default (Null without one); a date keyword against the
  // domain's clock.
  void ApplyDefault(TBaseField* AField, const TSimpleFieldDef* AFieldDef);
  // Takes every reference to and from this entity out of the others, so that
  // nothing points at it once it is freed.
  void DetachReferences();
  TListenerList<TDomainListener*>* UIListenersOf(const QString& AFieldName) const;

  // The scalars are kept together: an entity is the bulk of a domain's memory.
  int32_t FID = 0;
  int32_t FLogID = 0;
  bool FIsNew = false;
  bool FIsEnvSpecific = false;
  bool FIsRemote = false;
  bool FDeleted = false;
  bool FIsService = false;
  bool FIsNull;
  TViewState FViewState = vsFullAccess;
  QString FEnvironmentID;
  QString FDisplayName;
  // One reference owned; made on first demand, as most entities are never
  // linked to.
  mutable TLink* FLink = nullptr;
  TDomain* FDomain;                    // not owned
  TDefinition* FDefinition;            // not owned
  TCollection* FCollection = nullptr;  // not owned
  TListenerList<TEntityListener> FListeners;
  // Views by watched field name; each list stays where it is while views are told.
  std::vector<std::pair<QString, std::unique_ptr<TListenerList<TDomainListener*>>>> FUIListeners;  // views not owned
  TFieldList FFieldList;
};

// The one process-wide entity that stands for "no entity". It outlives every
// domain.
TEntity* NullEntity();

// The entity a variant carries; the NullEntity for Null, for any value that
// is no object reference, and for an object that is no entity.
TEntity* VarAsEntity(const Variant& AValue);
