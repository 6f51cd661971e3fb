// The signature rule for setup files: a signed file must verify; a signed agent or web stub
// takes only files of its own publisher (subject and issuer of the signer certificate);
// unsigned ones keep accepting unsigned files. The signer record an agent copy carries.
#include <gtest/gtest.h>

#include "package/SignerRuleLogic.h"

namespace {

TEST(UpdateSignatureLogic, Rule) {
  using S = SignatureState;
  const std::string a = SignerIdentity("CN=Vendor", "CN=CA 1");
  const std::string renewed = SignerIdentity("CN=Vendor", "CN=CA 1");  // new key and serial: same names
  const std::string otherIssuer = SignerIdentity("CN=Vendor", "CN=CA 2");
  const std::string b = SignerIdentity("CN=Other", "CN=CA 1");
  struct Case {
    bool ownSigned;
    std::string own;
    S file;
    std::string fileSigner;
    bool accepted;
  } cases[] = {
      {false, "", S::None, "", true},     // unsigned vendor: the token alone, as before
      {false, "", S::Verified, b, true},  // a verified file for an unsigned program
      {false, "", S::Broken, "", false},  // altered or untrusted
      {true, a, S::Verified, a, true},
      {true, a, S::Verified, renewed, true},
      {true, a, S::Verified, b, false},            // another publisher
      {true, a, S::Verified, otherIssuer, false},  // the same name from another issuer
      {true, a, S::None, "", false},               // signature stripped
      {true, a, S::Broken, "", false},
      {true, "", S::Verified, a, false},  // own publisher unreadable: fail closed
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(UpdateSignatureAccepted(c.ownSigned, c.own, c.file, c.fileSigner, reason), c.accepted)
        << c.ownSigned << " " << int(c.file) << " " << c.fileSigner.size();
    EXPECT_EQ(reason.empty(), c.accepted);
  }
  // The pair is length-prefixed: moving bytes between subject and issuer is another identity.
  EXPECT_NE(SignerIdentity("CN=AB", "C"), SignerIdentity("CN=A", "BC"));
}

TEST(UpdateSignatureLogic, SignerRecord) {
  const std::string identity = SignerIdentity(std::string("CN=\0Vendor", 10), "CN=CA");
  const std::string record = SignerRecord(identity);
  std::string read;
  ASSERT_TRUE(ParseSignerRecord(record, read));
  EXPECT_EQ(read, identity);

  std::string longer = record;
  longer[8] = static_cast<char>(longer[8] + 1);  // length one past the data
  const std::string refused[] = {
      "",
      record.substr(0, record.size() - 1),  // cut off
      record + "x",                         // followed by more
      longer,
      "ZSIGNER2" + record.substr(8),                           // another magic
      std::string("ZSIGNER1\0\0\0\0", 12),                     // empty identity
      std::string("ZSIGNER1\xff\xff\xff\xff", 12) + identity,  // length far past the data
      std::string(2000, '\x30'),                               // a signature block
  };
  for (const std::string& tail : refused) {
    EXPECT_FALSE(ParseSignerRecord(tail, read)) << tail.size();
    EXPECT_TRUE(read.empty());
  }
  EXPECT_TRUE(SignerRecord("").empty());
  EXPECT_TRUE(SignerRecord(std::string(kSignerIdentityMax + 1, 'x')).empty());
}

// An agent written from a file whose signature does not verify on the machine (an expired
// certificate without a time stamp, a broken chain) must not come out unsigned: an
// unsigned agent takes any update with the public token. Its record names no publisher.
TEST(UpdateSignatureLogic, AgentOfAnUnverifiedFileTakesNothing) {
  using S = SignatureState;
  const std::string a = SignerIdentity("CN=Vendor", "CN=CA 1");
  EXPECT_EQ(AgentSignerRecord(S::None, ""), "");
  EXPECT_EQ(AgentSignerRecord(S::Verified, a), SignerRecord(a));
  const std::string record = AgentSignerRecord(S::Broken, "");
  std::string recorded;
  ASSERT_TRUE(ParseSignerRecord(record, recorded));
  EXPECT_NE(recorded, a);
  for (S file : {S::None, S::Verified, S::Broken})
    for (const std::string& signer : {std::string(), a, recorded}) {
      std::string reason;
      EXPECT_FALSE(UpdateSignatureAccepted(true, recorded, file, signer, reason))
          << int(file) << signer.size();
      EXPECT_NE(reason.find("did not verify"), std::string::npos) << reason;
    }
}

}  // namespace
