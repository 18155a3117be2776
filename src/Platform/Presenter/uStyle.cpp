#include "src/Platform/Presenter/uStyle.h"

TStyle* TStyles::AddStyle(const QString& AName, const QString& AStyleSheet) {
  return Add(AName.toLower(), std::make_unique<TStyle>(AName, AStyleSheet));
}
