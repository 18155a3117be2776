#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/Fields/uSimpleField.h"

namespace {

class FieldPlan : public TDomainTest {};

}  // namespace

// Entities are laid out from a plan their definition keeps; a field declared
// or replaced later must reach the entities made after it, and a
// restructuring must mix the old block's fields with new ones safely.
TEST_F(FieldPlan, FieldsDeclaredLaterReachNewEntitiesAndRestructuredOldOnes) {
  TDefinition* things = Coll("Things")->ContentDefinition();
  TEntity* old = New("Things", "old");
  old->FieldInternalSetValue("Qty", 4);
  const int oldCount = old->FieldCount();

  things->AddSimpleFieldDef("Extra", "extra", "Extra", 7, Variant::Null(), Variant::Null(), fkInteger);
  // Replaced in place: the field count stays, the kind changes.
  things->AddSimpleFieldDef("Qty", "qty", "Qty", QStringLiteral("none"), Variant::Null(), 20, fkString);

  TEntity* fresh = New("Things", "fresh");
  ASSERT_EQ(fresh->FieldCount(), oldCount + 1);
  EXPECT_EQ(VarAsInteger(fresh->GetFieldValue("Extra")), 7);
  EXPECT_NE(dynamic_cast<TStringField*>(fresh->FieldByName("Qty")), nullptr);
  EXPECT_EQ(VarToStr(fresh->GetFieldValue("Qty")), "none");

  old->UpdateFields();
  EXPECT_EQ(old->FieldCount(), oldCount + 1);
  EXPECT_EQ(VarToStr(old->GetFieldValue("Name")), "old");
  EXPECT_EQ(VarAsInteger(old->GetFieldValue("Extra")), 7);
  EXPECT_NE(dynamic_cast<TStringField*>(old->FieldByName("Qty")), nullptr);
  for (int i = 0; i < old->FieldCount(); ++i) {
    SCOPED_TRACE(old->GetField(i)->FieldName().toStdString());
    EXPECT_EQ(old->GetField(i)->OwnerInstance(), old);
    EXPECT_EQ(old->FindField(old->GetField(i)->FieldName()), old->GetField(i));
  }
}

// The plan is shared by the domains of one configuration: what it makes must
// belong to the domain that asked.
TEST_F(FieldPlan, TwoDomainsOfOneConfigurationKeepTheirEntitiesApart) {
  TDomain second(nullptr, FConfiguration, nullptr, "black", "");
  TCollection* mine = Coll("Things");
  TCollection* theirs = second.CollectionByName("Things");
  ASSERT_NE(theirs, nullptr);
  TEntity* here = mine->CreateNewEntity(nullptr);
  TEntity* there = theirs->CreateNewEntity(nullptr);
  EXPECT_EQ(mine->ContentDefinition()->FieldPlan(), theirs->ContentDefinition()->FieldPlan());
  EXPECT_EQ(here->Collection(), mine);
  EXPECT_EQ(there->Collection(), theirs);
  ASSERT_EQ(here->FieldCount(), there->FieldCount());
  for (int i = 0; i < there->FieldCount(); ++i) {
    SCOPED_TRACE(there->GetField(i)->FieldName().toStdString());
    EXPECT_EQ(here->GetField(i)->Domain(), FDomain.get());
    EXPECT_EQ(there->GetField(i)->Domain(), &second);
    EXPECT_EQ(there->GetField(i)->OwnerInstance(), there);
  }
}
