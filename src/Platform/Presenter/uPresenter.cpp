#include "src/Platform/Presenter/uPresenter.h"

#include <vector>

namespace {
struct TPresenterKind {
  QString Name;
  TPresenterFactory Factory;
};
std::vector<TPresenterKind>& Kinds() {
  static std::vector<TPresenterKind> kinds;
  return kinds;
}
}  // namespace

void RegisterPresenterKind(const QString& AName, TPresenterFactory AFactory) {
  Kinds().push_back({AName, std::move(AFactory)});
}

void ClearPresenterKinds() {
  Kinds().clear();
}

void TPresenters::Init() {
  for (const TPresenterKind& kind : Kinds()) {
    if (kind.Name.compare(QLatin1String("Web"), Qt::CaseInsensitive) == 0)
      Add(kind.Name, kind.Factory());
    else
      Insert(0, kind.Name, kind.Factory());
  }
}
