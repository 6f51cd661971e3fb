// The signature rule for downloaded updates: a signed update must verify; a signed agent
// takes only updates signed with its own certificate; unsigned agents keep accepting
// unsigned updates.
#include <gtest/gtest.h>

#include "agent/UpdateSignatureLogic.h"

namespace {

TEST(UpdateSignatureLogic, SignerBlock) {
  EXPECT_TRUE(CarriesSignerBlock(20000, 10000));
  EXPECT_FALSE(CarriesSignerBlock(19999, 10000));
  EXPECT_FALSE(CarriesSignerBlock(5000, 10000));  // package end past the file
  EXPECT_FALSE(CarriesSignerBlock(50000, -1));
}

TEST(UpdateSignatureLogic, Rule) {
  using S = SignatureState;
  struct Case {
    bool agentSigned;
    const char* agentSigner;
    S update;
    const char* updateSigner;
    bool accepted;
  } cases[] = {
      {false, "", S::None, "", true},        // unsigned agent, unsigned update: as before
      {false, "", S::Verified, "B", true},   // a verified update of an unsigned agent
      {false, "", S::Broken, "", false},     // altered or untrusted
      {true, "A", S::Verified, "A", true},
      {true, "A", S::Verified, "B", false},  // another certificate
      {true, "A", S::None, "", false},       // signature stripped
      {true, "A", S::Broken, "", false},
      {true, "", S::Verified, "", false},    // own certificate unreadable: fail closed
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(UpdateSignatureAccepted(c.agentSigned, c.agentSigner, c.update, c.updateSigner, reason), c.accepted)
        << c.agentSigned << " " << c.agentSigner << " " << int(c.update) << " " << c.updateSigner;
    EXPECT_EQ(reason.empty(), c.accepted);
  }
}

}  // namespace
