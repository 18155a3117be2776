#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "src/Platform/uConsts.h"
#include "src/Platform/uRegistry.h"

class TPlatformContext;
class TConfigurations;
class TBaseDefinition;
class TDefinition;
class TPresentation;
class TSysAction;
class TEnumerations;
class TScheduler;
class TScript;
class TLocalizator;
class TExtensions;

// The metadata of one application, declared by its script: definitions,
// presentations, actions, enumerations, extensions, planned jobs and the
// configuration folder's report templates.
class TConfiguration {
 public:
  // Creates the script registered under AName ("There is no script for
  // configuration [name]" when none is). AOwner, when given, is where
  // ancestor configurations are looked up; otherwise the running platform's registry.
  explicit TConfiguration(const QString& AName, TConfigurations* AOwner = nullptr);
  ~TConfiguration();
  TConfiguration(const TConfiguration&) = delete;
  TConfiguration& operator=(const TConfiguration&) = delete;

  // Lets the script declare everything, relates the definitions, then loads
  // the ancestors' folders and the own folder.
  void Init();

  // Names split at ";" only; trimmed where used, empty ones skipped.
  void SetAncestors(const QString& AAncestorNames);
  const QStringList& Ancestors() const { return FAncestors; }

  TDefinition* AddDefinition(int AID, const QString& AName, const QString& AAncestors, TCollectionKind AKind);
  TDefinition* DefinitionByName(const QString& AName) const { return FDefinitions.ObjectByName(AName); }
  // Frees the definition and removes it; nothing when absent.
  void RemoveDefinition(const QString& AName);
  void GetDefinitionsByKind(std::vector<TDefinition*>& AList, TCollectionKind AKind) const;
  int DefinitionCount() const { return FDefinitions.Count(); }
  TDefinition* Definition(int AIndex) const { return FDefinitions[AIndex]; }

  TPresentation* AddPresentation(const QString& AName, const QString& ADefinitionName);
  TPresentation* PresentationByName(const QString& AName) const { return FPresentations.ObjectByName(AName); }
  int PresentationCount() const { return FPresentations.Count(); }
  TPresentation* Presentation(int AIndex) const { return FPresentations[AIndex]; }
  // A definition of that name, else a presentation.
  TBaseDefinition* AnyDefinitionByName(const QString& AName) const;

  // A configuration-wide action, always read-only; one of the same name is
  // freed and the new one appended.
  TSysAction* AddAction(const QString& AName, const QString& ACaption, int AImageID, int AFlags);
  TSysAction* ActionByName(const QString& AName) const { return FActions.ObjectByName(AName); }
  int ActionCount() const { return FActions.Count(); }
  TSysAction* Action(int AIndex) const { return FActions[AIndex]; }

  // Registers on each named definition (or configuration-wide action) and on
  // every descendant of it, each once; a mixin only passes it on.
  void RegisterReaction(const QString& ADefinitionNames, const QString& AFieldChain, TReactionProc AReactionProc);

  // The full path of ARelativeFilePath ("/layouts/x.dfm") in this
  // configuration's folder, else in the nearest ancestor that has it; empty
  // when none has it.
  QString FindLeafFile(const QString& ARelativeFilePath) const;

  const QString& Name() const { return FName; }
  const QString& _Caption() const { return FCaption; }
  const QString& Version() const { return FVersion; }
  const QString& ConfigurationDir() const { return FConfigurationDir; }
  const QString& IconFileName() const { return FIconFileName; }
  TDefinition* RootDefinition() const { return FRootDefinition; }
  TEnumerations* Enums() const { return FEnumerations.get(); }
  TScript* Script() const { return FScript.get(); }
  TLocalizator* Localizator() const { return FLocalizator.get(); }
  TScheduler* Scheduler() const { return FScheduler.get(); }
  TExtensions* Extensions() const { return FExtensions.get(); }

 private:
  void LoadFolder(const QString& AFolder);
  QString FindLeafFile(const QString& ARelativeFilePath, QSet<QString>& AVisited) const;
  TConfiguration* ConfigurationByName(const QString& AName) const;

  QString FName;
  QString FCaption;
  QString FVersion;
  QStringList FAncestors;
  QString FConfigurationDir;
  TDefinition* FRootDefinition = nullptr;  // not owned
  TRegistry<TDefinition> FDefinitions;
  TRegistry<TPresentation> FPresentations;
  TRegistry<TSysAction> FActions;
  std::unique_ptr<TEnumerations> FEnumerations;
  QString FIconFileName;
  std::unique_ptr<TScheduler> FScheduler;
  std::unique_ptr<TScript> FScript;
  std::unique_ptr<TLocalizator> FLocalizator;
  std::unique_ptr<TExtensions> FExtensions;
  TConfigurations* FOwner;  // not owned
};

// The platform's configurations, one per registered script, keyed by
// lower-case name.
class TConfigurations : public TRegistry<TConfiguration> {
 public:
  explicit TConfigurations(TPlatformContext* APlatform) : FPlatform(APlatform) {}
  // One configuration per registered script, in registration order, each
  // initialised at once.
  void Init();
  // "Configuration [name] already exists" for a name already registered.
  TConfiguration* AddConfiguration(const QString& AName);
  TConfiguration* GetByName(const QString& AName) const { return ObjectByName(AName.toLower()); }
  TPlatformContext* Platform() const { return FPlatform; }

 private:
  TPlatformContext* FPlatform;  // not owned
};
