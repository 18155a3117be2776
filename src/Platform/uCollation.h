#pragma once

#include <QCollator>
#include <Qt>

// The collator of the current default locale, one per thread and case rule:
// building one per comparison would dominate a query or sort over many records.
// It follows later changes of the default locale.
const QCollator& LocaleCollator(Qt::CaseSensitivity ACase);
