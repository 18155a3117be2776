#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "src/Platform/uConsts.h"
#include "src/Platform/uRegistry.h"

class Variant;
class TConfiguration;
class TTranslator;

// Storage width of an enumerated type; otNotOrdinal for anything that is not
// one of the six integer widths.
enum TOrdType : uint8_t { otSByte, otUByte, otSWord, otUWord, otSLong, otULong, otNotOrdinal };

// What the compiler does not keep about an enumerated type: its name, its
// member names in ordinal order and its width. One per enumerated type.
struct TEnumTypeInfo {
  QString TypeName;
  QStringList MemberNames;
  TOrdType OrdType = otUByte;
};

template <typename E>
requires std::is_enum_v<E>
constexpr TOrdType OrdTypeOf() {
  using U = std::underlying_type_t<E>;
  constexpr bool isSigned = std::is_signed_v<U>;
  if constexpr (sizeof(U) == 1) return isSigned ? otSByte : otUByte;
  if constexpr (sizeof(U) == 2) return isSigned ? otSWord : otUWord;
  if constexpr (sizeof(U) == 4) return isSigned ? otSLong : otULong;
  return otNotOrdinal;
}

// The descriptor of E, its width taken from E's underlying type.
template <typename E>
requires std::is_enum_v<E> TEnumTypeInfo EnumTypeInfo(const QString& ATypeName, const QStringList& AMemberNames) {
  return TEnumTypeInfo{ATypeName, AMemberNames, OrdTypeOf<E>()};
}

// A member name without its lower-case prefix: everything before the first
// capital, digit or "_" falls away ("mnJanuary" -> "January").
QString EnumMemberCode(const QString& AMemberName);

class TEnumItem {
 public:
  TEnumItem(int AID, const QString& ATypeName, const QString& AMemberName);
  virtual ~TEnumItem() = default;
  int ID() const { return FID; }
  const QString& Code() const { return FCode; }
  // Type name + "." + member name: the member's translation key.
  const QString& FullName() const { return FFullName; }
  const QString& DisplayText() const { return FDisplayText; }
  void SetDisplayText(const QString& AText) { FDisplayText = AText; }

 private:
  int FID;
  QString FCode;
  QString FFullName;
  QString FDisplayText;
};

// Item of a plain enumeration.
class TEnumData : public TEnumItem {
 public:
  using TEnumItem::TEnumItem;
};

// Item of a state machine.
class TState : public TEnumItem {
 public:
  using TEnumItem::TEnumItem;
  TColor Color() const { return FColor; }
  void SetColor(TColor AColor) { FColor = AColor; }
  // Adds a target state once.
  void AddAvailableTransition(int AAvailableState);
  const std::vector<int>& AvailableTransitions() const { return FAvailableTransitions; }
  // No transition is refused: the list is informational.
  bool CanTransitToState(int ANewState) const {
    (void)ANewState;
    return true;
  }

 private:
  TColor FColor = 1;
  std::vector<int> FAvailableTransitions;
};

// One entry of a choice list: the shown text and the item index.
using TEnumListEntry = QPair<QString, int>;

class TEnumeration {
 public:
  TEnumeration(const QString& AName, const TEnumTypeInfo& ATypeInfo);
  virtual ~TEnumeration() = default;
  TEnumeration(const TEnumeration&) = delete;
  TEnumeration& operator=(const TEnumeration&) = delete;

  const QString& Name() const { return FName; }
  const TEnumTypeInfo& TypeInfo() const { return FTypeInfo; }
  TOrdType OrdType() const { return FTypeInfo.OrdType; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // None outside 0..Count()-1.
  TEnumItem* Item(int AIndex) const;

  // Text i goes to item i; texts beyond the last item are ignored.
  TEnumeration* AddDisplayNames(const QStringList& ADefaultValues);
  // The display text of an item, translated by its full name when a
  // translator is given; empty for an index outside the enumeration.
  QString Text(const TTranslator* ATranslator, int AEnumID) const;
  // Items 1 to the last (item 0 stands for "no value"), with their indexes.
  void FillList(const TTranslator* ATranslator, QList<TEnumListEntry>& AList) const;

 protected:
  TEnumeration(const QString& AName, const TEnumTypeInfo& ATypeInfo, bool AStates);
  std::vector<std::unique_ptr<TEnumItem>> FItems;

 private:
  QString FName;
  TEnumTypeInfo FTypeInfo;
};

class TStateMachine : public TEnumeration {
 public:
  TStateMachine(const QString& AName, const TEnumTypeInfo& ATypeInfo) : TEnumeration(AName, ATypeInfo, true) {}
  // Colour i goes to state i.
  TStateMachine* AddColors(const QList<TColor>& AColors);
  TState* StateByID(int AID) const { return static_cast<TState*>(Item(AID)); }
  // The value through the type's width: 3 stays 3 for a byte type, 256
  // becomes 0; -1 when the type has no integer width. A value that is no
  // number (Null included) raises EConvertError.
  int Get(const Variant& AValue) const;
};

// A registry of enumerations, compared without regard to case. A later
// registration of a name is kept beside the earlier one; lookups find the first.
class TEnumerations {
 public:
  TEnumeration* AddEnum(const QString& AName, const TEnumTypeInfo& ATypeInfo);
  TStateMachine* AddStateMachine(const QString& AName, const TEnumTypeInfo& ATypeInfo);
  TEnumeration* EnumByName(const QString& AName) const { return FItems.ObjectByName(AName); }
  // None also when the name belongs to a plain enumeration.
  TStateMachine* StateMachineByName(const QString& AName) const;
  int Count() const { return FItems.Count(); }
  TEnumeration* operator[](int AIndex) const { return FItems[AIndex]; }

 private:
  TRegistry<TEnumeration> FItems;
};

// The platform's own enumerated types.
enum TPeriodType : uint8_t {
  ptAll,
  ptCurrentYear,
  ptCurrentMonth,
  ptCurrentWeek,
  ptCurrentDay,
  ptPastYear,
  ptPastMonth,
  ptPastWeek,
  ptYesterday,
};
enum TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};
enum TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame,
  psUserStyle,
  psAlternate,
};
enum TTextPosition : uint8_t { tpDefault, tpIn, tpLeft, tpRight, tpTop, tpBottom, tpCenter };
enum TMonth : uint8_t {
  mnJanuary,
  mnFebruary,
  mnMarch,
  mnApril,
  mnMay,
  mnJune,
  mnJuly,
  mnAugust,
  mnSeptember,
  mnOctober,
  mnNovember,
  mnDecember,
};
enum TUserKind : uint8_t { ukGuest, ukSystem, ukUser, ukAdmin };

// The process-wide registry of the platform's enumerations ("PeriodTypes",
// "BrushStyles", "PenStyles", "TextPositions", "Months", "UserKinds"), made
// on first use and freed at program end.
TEnumerations& BuiltInEnumerations();

// The enumeration that shows the values of a field or report value whose
// dictionary is AName: the built-in one, else the configuration's own
// (application enumerations and state machines live there). Raises "There is
// no enumeration type name!" for an empty name and "There is no enumeration
// [name]" when neither registry has it.
TEnumeration* FindEnumeration(const TConfiguration* AConfiguration, const QString& AName);
QString EnumerationText(const TConfiguration* AConfiguration, const QString& AName, int AValue,
                        const TTranslator* ATranslator = nullptr);

// The state machine of a state field's dictionary, from the configuration's
// registry only, with the same two failures.
TStateMachine* FindStateMachine(const TConfiguration* AConfiguration, const QString& AName);
