// Ed25519 and SHA-256 as libgcrypt gives them, in every build (the Windows
// ones run this under wine with the shipped DLLs): the standard vectors.

#include "kestra2g/wire/signing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Hex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

struct Vector {
  const char* name;
  const char* secret;
  const char* publicKey;
  const char* message;
  const char* signature;
};

// RFC 8032, section 7.1.
const Vector kRfc8032[] = {
    {"TEST 1", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b"
     "46bd25bf5f0595bbe24655141438e7a100b"},
    {"TEST 2", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11"
     "d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"TEST 3", "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc"
     "6594a7c15e9716ed28dc027beceea1ec40a"},
    {"TEST SHA(abc)", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3fee"
     "bbd454d4423643ce80e2a9ac94fa54ca49f",
     "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b58909351fc9ac90b3ecfdfbc7c66431e"
     "0303dca179c138ac17ad9bef1177331a704"},
};

TEST(Signing, Rfc8032VectorsSignAndVerifyAndTamperingFails) {
  for (const Vector& v : kRfc8032) {
    SCOPED_TRACE(v.name);
    const auto secret = wire::FromHex<32>(v.secret);
    const auto expectedKey = wire::FromHex<32>(v.publicKey);
    const auto expectedSignature = wire::FromHex<64>(v.signature);
    ASSERT_TRUE(secret && expectedKey && expectedSignature);
    const std::vector<std::uint8_t> message = Hex(v.message);

    EXPECT_EQ(wire::Ed25519PublicKey(*secret), expectedKey);
    EXPECT_EQ(wire::Ed25519Sign(*secret, message), expectedSignature);
    EXPECT_TRUE(wire::Ed25519Verify(*expectedKey, message, *expectedSignature));

    // One bit anywhere: in the signature, the message, the key.
    wire::Signature badSignature = *expectedSignature;
    badSignature[63] ^= 0x01;
    EXPECT_FALSE(wire::Ed25519Verify(*expectedKey, message, badSignature));
    std::vector<std::uint8_t> longer = message;
    longer.push_back(0);
    EXPECT_FALSE(wire::Ed25519Verify(*expectedKey, longer, *expectedSignature));
    wire::PublicKey otherKey = *expectedKey;
    otherKey[0] ^= 0x01;
    EXPECT_FALSE(wire::Ed25519Verify(otherKey, message, *expectedSignature));
  }
  // FIPS 180-2's "abc".
  const std::string abc = "abc";
  EXPECT_EQ(wire::HexText(wire::Sha256(std::vector<std::uint8_t>(abc.begin(), abc.end()))),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // A fresh key signs what its public half verifies.
  const auto pair = wire::Ed25519Generate();
  ASSERT_TRUE(pair.has_value());
  const auto signature = wire::Ed25519Sign(pair->secret, Hex("0102"));
  ASSERT_TRUE(signature.has_value());
  EXPECT_TRUE(wire::Ed25519Verify(pair->publicKey, Hex("0102"), *signature));
}

}  // namespace
