#include "src/Platform/Domain/uSession.h"

#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"

TUserSession::TUserSession(TDomain* ADomain, TEntity* AUser, bool AIsAdmin)
    : FDomain(ADomain), FUser(AUser ? AUser : NullEntity()), FIsAdmin(AIsAdmin) {}

TUserSession::~TUserSession() {
  FEntityLists.ForEach([](TEntityList* AList) { AList->SessionFreeing(); });
}

QString TUserSession::CurrentUserName() const {
  if (FUser->IsNull()) return QStringLiteral("System");
  return FUser->FieldExists(QStringLiteral("Login")) ? VarToStr(FUser->GetFieldValue(QStringLiteral("Login")))
                                                     : QString();
}

TUser* TUsers::AddUser(const QString& AUserName) {
  if (TUser* user = GetByName(AUserName)) return user;
  const QString name = AUserName.toLower();
  return Add(name, std::make_unique<TUser>(name));
}
