#include "src/Platform/Configuration/uQueryObject.h"

#include "src/Platform/uNameList.h"

TQueryObject::TQueryObject(const QString& AFromClause, const QString& AWhereClause, const QString& AOrderClause)
    : FCollectionNames(SplitNameList(AFromClause)),
      FSortFields(SplitNameList(AOrderClause)),
      FHasSortFields(!FSortFields.isEmpty()),
      FQueryString(AWhereClause.trimmed()) {}
