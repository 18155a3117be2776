#include "src/Platform/uExtension.h"

TResolver* TExtension::AddResolver(const QString& AName, TExtensionClass AExtensionClass) {
  return FResolvers.Add(AName, std::make_unique<TResolver>(AName, std::move(AExtensionClass)));
}

TExtension* TExtensions::AddExtension(const QString& AName) {
  return FItems.Add(AName, std::make_unique<TExtension>(AName));
}
