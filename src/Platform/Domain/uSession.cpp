#include "src/Platform/Domain/uSession.h"

TUser* TUsers::AddUser(const QString& AUserName) {
  if (TUser* user = GetByName(AUserName)) return user;
  const QString name = AUserName.toLower();
  return Add(name, std::make_unique<TUser>(name));
}
