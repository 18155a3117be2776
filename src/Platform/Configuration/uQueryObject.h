#pragma once

#include <QString>
#include <QStringList>

// A selection of records written in the query language: the collections it
// scans, the where-clause and the sort order. Declarations build these; the
// criteria tree is compiled from QueryString where queries are run.
class TQueryObject {
 public:
  TQueryObject(const QString& AFromClause, const QString& AWhereClause, const QString& AOrderClause);
  TQueryObject(const TQueryObject&) = delete;
  TQueryObject& operator=(const TQueryObject&) = delete;

  const QStringList& CollectionNames() const { return FCollectionNames; }
  // Empty when no order clause was given.
  const QStringList& SortFields() const { return FSortFields; }
  bool HasSortFields() const { return FHasSortFields; }
  const QString& QueryString() const { return FQueryString; }

 private:
  QStringList FCollectionNames;
  QStringList FSortFields;
  bool FHasSortFields = false;
  QString FQueryString;
};
