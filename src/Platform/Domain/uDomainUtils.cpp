#include "src/Platform/Domain/uDomainUtils.h"

#include <cmath>

#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uDomainUtils";

int64_t JSONIntegerIn(const TJSONValue* AValue, int64_t AMin, int64_t AMax) {
  const auto* number = dynamic_cast<const TJSONNumber*>(AValue);
  TV_ASSERT(number, QStringLiteral("Assertion failure"));
  int64_t result = 0;
  bool valid = number->TryAsInt64(result);
  if (!valid) {
    // "3.0" or "1e3" are whole numbers too.
    const double value = number->AsDouble();
    valid = std::isfinite(value) && std::trunc(value) == value && value >= static_cast<double>(AMin) &&
            value <= static_cast<double>(AMax);
    if (valid) result = static_cast<int64_t>(value);
  }
  if (!valid || result < AMin || result > AMax)
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(number->NumberText()));
  return result;
}

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
