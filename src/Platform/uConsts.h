#pragma once

// Shared enumerations and constants of the metadata model: what a definition
// and a field definition are, and the bit sets that steer them.

#include <QString>
#include <cstdint>
#include <functional>

// 0x00BBGGRR; 1 is "no colour".
using TColor = int32_t;

// What a collection holds.
enum TCollectionKind : uint8_t {
  clkNotDefined,
  clkLibrary,   // reference data
  clkDocument,  // documents
  clkMixin,     // a pure ancestor: lends fields and behaviour, never holds records
};

// What a colour field of a record colours in lists.
enum TColorTarget : uint8_t { ctNone, ctBackground, ctText };

// Definition flags.
constexpr int ccReadOnly = 1;
constexpr int ccInstantExecution = 8;
constexpr int ccEnvSpecific = 16;
constexpr int ccSystem = 32;
constexpr int ccNoPropagation = 64;
constexpr int ccLazyLoad = 128;
constexpr int ccListAction = 256;
constexpr int ccAskParams = 512;
constexpr int ccNotSave = 1024;
constexpr int ccContextAction = 2048;

// Kinds of editors; the field kinds are the range fkNotDefined..fkBlob.
enum TEditorKind : uint8_t {
  fkNotDefined,
  fkString,
  fkInteger,
  fkEnum,
  fkFlag,
  fkFloat,
  fkDateTime,
  fkBoolean,
  fkColor,
  fkCurrency,
  fkObject,
  fkList,
  fkBlob,
  fkAction,
};
using TFieldKind = TEditorKind;
constexpr TFieldKind cLastFieldKind = fkBlob;

// The shared display name of a field kind ("String", "Object", "<undefined>");
// empty for fkAction, which is no field kind.
QString FieldKindName(TFieldKind AKind);

// View states nest: each includes the rights of the lower ones, so states
// combine with bitwise AND and the most restrictive wins.
using TViewState = uint8_t;
constexpr TViewState vsHidden = 0;
constexpr TViewState vsDisabled = 1;
constexpr TViewState vsReadOnly = 3;
constexpr TViewState vsSelectOnly = 7;
constexpr TViewState vsFullAccess = 15;

// "HID", "DIS", "RDO", "SEL" or "@@@", by the highest bit set.
QString ViewStateCode(TViewState AState);

// Field flags.
constexpr int cfRequired = 1;
constexpr int cfRecommended = 16;
constexpr int cfHideWhenNested = 64;
constexpr int cfSystem = 512;
constexpr int cfHideInGrid = 4096;
constexpr int cfHideInEditor = 16384;
constexpr int cfNotSave = 32768;
constexpr int cfLocalizable = 65536;

// How a field's values are looked up for selection and search.
enum TSearchType : uint8_t { stSearchNone, stSearchFromBegin, stSearchEverywhere, stSearchMultiEntrance };

// How a blob's content is shown.
enum TBlobFormat : uint8_t { bffRaw, bffText, bffImage, bffAudio, bffVideo };

// The order of records a reference field offers or lists.
enum TEntitySortType : uint8_t {
  estUserSort,
  estSortByID,
  estSortByName,
  estSortByTypeAndName,
  estSortByColorFieldID,
};

// How tightly a list field holds its records.
enum TRelationPower : uint8_t { rpWeak, rpStrong };

// List-footer aggregations; the keyword of a kind is "COUNT", "SUM", ...
enum TAggregationKind : uint8_t { akNotDefined, akCount, akSum, akAverage, akMin, akMax };

QString AggregationKeyword(TAggregationKind AKind);
// Compared without regard to case; an unknown text gives akNotDefined.
TAggregationKind AggregationKindByKeyword(const QString& AText);

// Operators of the query language; the characters are those of the query text.
enum TConditionKind : std::uint8_t {
  ckUndefined = 0,
  ckEqualTo = 1,      // "="
  ckMatchesTo = 2,    // "^": begins with
  ckGreaterThan = 3,  // ">"
  ckLessThan = 4,     // "<"
  ckPartOf = 5,       // "}": the value is part of the given one
  ckContains = 6,     // "{": the value contains the given one
  ckCrosses = 7       // "+": the two lists share a record
};

// How a text value is prepared before it is compared.
enum TConditionModifier : std::uint8_t {
  cmNone = 0,
  cmIgnoreCase = 1,     // "@": upper-cased, locale-aware
  cmIgnoreSpace = 2,    // "#": trimmed
  cmIgnoreLanguage = 3  // "%": unchanged
};

class TUserSession;
class TChangeHolder;
class TEntity;

// Runs when a field chain changes in an entity of the registering definition:
// (session, change holder or none, the reacting entity, parameter entity or none).
using TReactionProc = std::function<void(TUserSession*, TChangeHolder*, TEntity*, TEntity*)>;
