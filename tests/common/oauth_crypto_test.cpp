// SHA-256 against the FIPS 180-4 example messages and lengths around the
// padding boundary, Base64 against RFC 4648's vectors, and PKCE against
// RFC 7636 appendix B.
#include <gtest/gtest.h>

#include <string>

#include "common/oauth/base64.h"
#include "common/oauth/pkce.h"
#include "common/oauth/sha256.h"

namespace tidewell {
namespace oauth {
namespace {

struct ShaCase {
  std::string message;
  const char* hex;
};

const ShaCase kShaCases[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    // Lengths where the padding just fits, just does not, or fills a block.
    {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
    {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
    {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
    {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, KnownDigests) {
  for (const ShaCase& c : kShaCases) {
    EXPECT_EQ(HexDigest(Sha256::Of(c.message)), c.hex) << "length " << c.message.size();
  }
}

TEST(Sha256, PiecesGiveTheSameDigest) {
  for (const ShaCase& c : kShaCases) {
    if (c.message.size() > 200) continue;
    for (std::size_t piece : {1u, 3u, 55u, 63u, 64u, 65u}) {
      Sha256 s;
      for (std::size_t at = 0; at < c.message.size(); at += piece) s.Update(c.message.substr(at, piece));
      EXPECT_EQ(HexDigest(s.Finish()), c.hex) << "length " << c.message.size() << " piece " << piece;
    }
  }
  Sha256 reused;
  reused.Update("junk");
  reused.Finish();
  reused.Reset();
  reused.Update("abc");
  EXPECT_EQ(HexDigest(reused.Finish()), kShaCases[1].hex);
}

TEST(Base64, Rfc4648Vectors) {
  const struct {
    const char* plain;
    const char* encoded;
  } cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.plain), c.encoded);
    std::string back;
    ASSERT_TRUE(Base64Decode(c.encoded, back)) << c.encoded;
    EXPECT_EQ(back, c.plain);
    std::string unpadded(c.encoded);
    while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
    ASSERT_TRUE(Base64Decode(unpadded, back)) << unpadded;
    EXPECT_EQ(back, c.plain);
  }
  EXPECT_EQ(Base64UrlEncode("\xfb\xff"), "-_8");
  EXPECT_EQ(Base64Encode("\xfb\xff"), "+/8=");
}

TEST(Base64, RefusesWhatIsNotCanonicalBase64) {
  for (const char* bad : {"Z", "Zg=", "Zh==", "Zm9v\r\n", "Zm 9v", "Zm9v====", "-_8=", "Zg==Zg=="}) {
    std::string out = "left over";
    EXPECT_FALSE(Base64Decode(bad, out)) << bad;
    EXPECT_TRUE(out.empty()) << bad;
  }
}

TEST(Pkce, Rfc7636AppendixB) {
  const unsigned char random[32] = {116, 24,  223, 180, 151, 153, 224, 37, 79, 250, 96,  125, 216, 173, 187, 186,
                                    22,  212, 37,  77,  105, 214, 191, 240, 91, 88,  5,   88,  83,  132, 141, 121};
  const std::string verifier = PkceVerifierFromRandom(std::string(reinterpret_cast<const char*>(random), 32));
  EXPECT_EQ(verifier, "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_TRUE(IsValidPkceVerifier(verifier));
  EXPECT_EQ(PkceChallengeS256(verifier), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(Pkce, VerifierLengthStaysWithin43To128) {
  EXPECT_TRUE(PkceVerifierFromRandom(std::string(31, 'x')).empty());
  EXPECT_EQ(PkceVerifierFromRandom(std::string(32, 'x')).size(), 43u);
  EXPECT_EQ(PkceVerifierFromRandom(std::string(96, 'x')).size(), 128u);
  EXPECT_TRUE(PkceVerifierFromRandom(std::string(97, 'x')).empty());
  EXPECT_FALSE(IsValidPkceVerifier(std::string(42, 'a')));
  EXPECT_FALSE(IsValidPkceVerifier(std::string(129, 'a')));
  EXPECT_FALSE(IsValidPkceVerifier(std::string(42, 'a') + "+"));
  EXPECT_TRUE(IsValidPkceVerifier(std::string(40, 'a') + "-._~"));
  EXPECT_TRUE(StateFromRandom(std::string(15, 's')).empty());
  EXPECT_EQ(StateFromRandom(std::string(16, '\xff')), "_____________________w");
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
