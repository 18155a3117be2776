#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "src/Platform/uRegistry.h"

class TDomain;

// Called by an extension when a card reader delivers a card number.
using TRFIDReadEvent = std::function<void(const QString&)>;

// Base of every named service a domain creates on demand.
class TBaseExtension {
 public:
  // The base ignores AParams; a storage takes its connection text there.
  TBaseExtension(TDomain* ADomain, const QString& AParams) : FDomain(ADomain) { (void)AParams; }
  virtual ~TBaseExtension() = default;
  TBaseExtension(const TBaseExtension&) = delete;
  TBaseExtension& operator=(const TBaseExtension&) = delete;

  TDomain* Domain() const { return FDomain; }
  void SetRFIDHandler(TRFIDReadEvent ARFIDHandler) { FRFIDHandler = std::move(ARFIDHandler); }
  const TRFIDReadEvent& RFIDHandler() const { return FRFIDHandler; }

 private:
  TDomain* FDomain;  // not owned
  TRFIDReadEvent FRFIDHandler;
};

// Creates an extension of one class: what a class reference does elsewhere.
using TExtensionClass = std::function<std::unique_ptr<TBaseExtension>(TDomain*, const QString&)>;

template <class T>
TExtensionClass ExtensionClass() {
  return [](TDomain* ADomain, const QString& AParams) -> std::unique_ptr<TBaseExtension> {
    return std::make_unique<T>(ADomain, AParams);
  };
}

// The class implementing an extension in one deployment type ("prod", "dev").
class TResolver {
 public:
  TResolver(const QString& AName, TExtensionClass AExtensionClass)
      : FName(AName), FExtensionClass(std::move(AExtensionClass)) {}
  const QString& Name() const { return FName; }
  const TExtensionClass& ExtensionClass() const { return FExtensionClass; }

 private:
  QString FName;
  TExtensionClass FExtensionClass;
};

// A declared extension with its resolvers in registration order.
class TExtension {
 public:
  explicit TExtension(const QString& AName) : FName(AName) {}
  const QString& Name() const { return FName; }
  TResolver* AddResolver(const QString& AName, TExtensionClass AExtensionClass);
  // The first resolver of that deployment type (without regard to case), or none.
  TResolver* ResolverByName(const QString& AName) const { return FResolvers.ObjectByName(AName); }
  int ResolverCount() const { return FResolvers.Count(); }

 private:
  QString FName;
  TRegistry<TResolver> FResolvers;
};

// The extension declarations of a configuration.
class TExtensions {
 public:
  // A second declaration of a name is appended too; lookups find the first.
  TExtension* AddExtension(const QString& AName);
  TExtension* ExtensionByName(const QString& AName) const { return FItems.ObjectByName(AName); }
  int Count() const { return FItems.Count(); }
  TExtension* operator[](int AIndex) const { return FItems[AIndex]; }

 private:
  TRegistry<TExtension> FItems;
};
