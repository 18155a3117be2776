#pragma once

// What the model asks of the running program. The platform library sits above
// the model, so the model reaches it only through this interface.

#include <QString>

class TConfiguration;
class TConfigurations;
class TUsers;
class TSettings;

class TPlatformContext {
 public:
  // Registered configurations; names compare without regard to case.
  virtual TConfiguration* ConfigurationByName(const QString& AName) const = 0;
  // The language the program shows its texts in.
  virtual QString Language() const = 0;
  // What domains are made from at start-up.
  virtual TConfigurations* Configurations() const = 0;
  virtual TUsers* Users() const = 0;
  // The program settings.
  virtual TSettings* Settings() const = 0;

 protected:
  ~TPlatformContext() = default;
};

// The running program's context, or none (tests and tools without a platform).
TPlatformContext* PlatformContext();
// The platform sets itself while it lives; clearing passes none.
void SetPlatformContext(TPlatformContext* AContext);
