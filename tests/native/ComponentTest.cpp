#include "core/Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Exceptions.h"

namespace qv {
namespace {

// Records destruction order through a shared log.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::string tag, std::vector<std::string>& log)
      : TComponent(owner), tag_(std::move(tag)), log_(log) {}
  ~Probe() override { log_.push_back(tag_); }

 private:
  std::string tag_;
  std::vector<std::string>& log_;
};

TEST(ComponentOwnership, OwnerDestroysLastCreatedFirst) {
  std::vector<std::string> log;
  {
    Probe root(nullptr, "root", log);
    new Probe(&root, "first", log);
    auto* second = new Probe(&root, "second", log);
    new Probe(second, "grandchild", log);
    new Probe(&root, "third", log);
    ASSERT_EQ(root.ComponentCount(), 3);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"root", "third", "second", "grandchild", "first"}));
}

TEST(ComponentOwnership, DestroyedComponentLeavesItsOwner) {
  std::vector<std::string> log;
  Probe root(nullptr, "root", log);
  auto* a = new Probe(&root, "a", log);
  auto* b = new Probe(&root, "b", log);
  delete a;
  ASSERT_EQ(root.ComponentCount(), 1);
  EXPECT_EQ(root.Components(0), b);
  EXPECT_EQ(b->Owner(), &root);
}

TEST(ComponentOwnership, ChangeOwnerMovesBetweenLists) {
  TComponent first(nullptr);
  TComponent second(nullptr);
  auto* child = new TComponent(&first);
  child->ChangeOwner(&second);
  EXPECT_EQ(first.ComponentCount(), 0);
  ASSERT_EQ(second.ComponentCount(), 1);
  EXPECT_EQ(child->Owner(), &second);
}

TEST(ComponentNames, ValidIdentifiersAreAccepted) {
  TComponent owner(nullptr);
  auto* c = new TComponent(&owner);
  c->SetName("btnNext");
  EXPECT_EQ(c->Name(), "btnNext");
  c->SetName("_x1");
  EXPECT_EQ(c->Name(), "_x1");
  c->SetName("");
  EXPECT_EQ(c->Name(), "");
}

TEST(ComponentNames, InvalidNameIsRefusedWithTheFrameworkMessage) {
  TComponent owner(nullptr);
  auto* c = new TComponent(&owner);
  c->SetName("keep");
  for (const char* bad : {"1abc", "a-b", "a b", "\xC3\xA9t\xC3\xA9"}) {
    try {
      c->SetName(bad);
      FAIL() << "accepted " << bad;
    } catch (const EComponentError& e) {
      EXPECT_EQ(e.Message(), std::string("''") + bad + "'' is not a valid component name");
    }
    EXPECT_EQ(c->Name(), "keep");
  }
}

TEST(ComponentNames, FindComponentIgnoresAsciiCase) {
  TComponent owner(nullptr);
  auto* c = new TComponent(&owner);
  c->SetName("editDir");
  EXPECT_EQ(owner.FindComponent("EDITDIR"), c);
  EXPECT_EQ(owner.FindComponent("editdi"), nullptr);
  EXPECT_EQ(owner.FindComponent(""), nullptr);
}

TEST(ComponentNames, DuplicateNameUnderOneOwnerIsRefused) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("Panel1");
  EXPECT_THROW(b->SetName("panel1"), EComponentError);
  EXPECT_EQ(b->Name(), "");
}

TEST(ComponentState, LoadedClearsTheLoadingMark) {
  TComponent c(nullptr);
  c.SetState(csLoading);
  c.SetState(csReading);
  c.ClearState(csReading);
  EXPECT_TRUE(c.HasState(csLoading));
  c.Loaded();
  EXPECT_FALSE(c.HasState(csLoading));
}

TEST(Exceptions, SilentAbortRaisesEAbortWithItsMessageAndCallerAddress) {
  try {
    SilentAbort();
    FAIL();
  } catch (const EAbort& e) {
    EXPECT_EQ(e.Message(), "Operation aborted");
    EXPECT_STREQ(e.ClassName(), "EAbort");
    EXPECT_NE(e.ExceptAddress(), nullptr);
  }
}

TEST(Exceptions, ClassNamesFollowTheHierarchy) {
  const EReadError read("Stream read error");
  const Exception& base = read;
  EXPECT_STREQ(base.ClassName(), "EReadError");
  EXPECT_STREQ(base.what(), "Stream read error");
  const EClassNotFound missing("Class TFoo not found");
  EXPECT_NE(dynamic_cast<const EReadError*>(&missing), nullptr);
}

}  // namespace
}  // namespace qv
