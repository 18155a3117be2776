#include "src/Platform/uCollation.h"

#include <QLocale>
#include <optional>

const QCollator& LocaleCollator(Qt::CaseSensitivity ACase) {
  struct TCached {
    QLocale Locale;
    std::optional<QCollator> Collator;
  };
  static thread_local TCached cached[2];
  TCached& entry = cached[ACase == Qt::CaseSensitive ? 1 : 0];
  if (!entry.Collator || entry.Locale != QLocale()) {
    entry.Locale = QLocale();
    entry.Collator.emplace(entry.Locale);
    entry.Collator->setCaseSensitivity(ACase);
  }
  return *entry.Collator;
}
