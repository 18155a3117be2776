#include "src/Platform/uConsts.h"

QString FieldKindName(TFieldKind AKind) {
  static const char* const cNames[] = {"<undefined>", "String", "Integer",  "Enumeration", "Flag", "Float", "DateTime",
                                       "Boolean",     "Color",  "Currency", "Object",      "List", "Blob"};
  return AKind <= cLastFieldKind ? QString::fromLatin1(cNames[AKind]) : QString();
}

QString ViewStateCode(TViewState AState) {
  if (AState == 0) return QStringLiteral("HID");
  if (AState == 1) return QStringLiteral("DIS");
  if (AState <= 3) return QStringLiteral("RDO");
  if (AState <= 7) return QStringLiteral("SEL");
  return QStringLiteral("@@@");
}

namespace {
const char* const cAggregationKeywords[] = {"", "COUNT", "SUM", "AVG", "MIN", "MAX"};
}

QString AggregationKeyword(TAggregationKind AKind) {
  return AKind <= akMax ? QString::fromLatin1(cAggregationKeywords[AKind]) : QString();
}

TAggregationKind AggregationKindByKeyword(const QString& AText) {
  for (int kind = akCount; kind <= akMax; ++kind)
    if (AText.compare(QLatin1String(cAggregationKeywords[kind]), Qt::CaseInsensitive) == 0)
      return static_cast<TAggregationKind>(kind);
  return akNotDefined;
}
