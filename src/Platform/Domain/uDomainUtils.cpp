#include "src/Platform/Domain/uDomainUtils.h"

#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uDomainUtils";

TConditionKind ConditionKindByOperator(const QString& AOperator) {
  if (AOperator.size() == 1) {
    switch (AOperator.at(0).unicode()) {
      case u'=':
        return ckEqualTo;
      case u'^':
        return ckMatchesTo;
      case u'>':
        return ckGreaterThan;
      case u'<':
        return ckLessThan;
      case u'}':
        return ckPartOf;
      case u'{':
        return ckContains;
      case u'+':
        return ckCrosses;
      default:
        break;
    }
  }
  TV_FAIL(QStringLiteral("Wrong compare operator \"%1\"").arg(AOperator));
}
