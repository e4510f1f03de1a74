#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace krm::platform {
namespace {

TEST(Sha256Test, KnownDigests) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sha256Hex(c.message), c.digest);
    EXPECT_EQ(Sha256HexPortable(c.message), c.digest);
  }
}

TEST(Sha256Test, ProcessorInstructionsAgreeWithThePlainRounds) {
  std::mt19937 random(256);
  for (std::size_t size = 0; size < 600; size += 1 + size / 8) {
    std::string message(size, '\0');
    for (char& c : message) c = static_cast<char>(random());
    EXPECT_EQ(Sha256Hex(message), Sha256HexPortable(message)) << size;
  }
  // In pieces of every size, across block boundaries.
  std::string message(1000, '\0');
  for (char& c : message) c = static_cast<char>(random());
  for (std::size_t piece = 1; piece < 130; piece += 7) {
    Sha256 sha;
    for (std::size_t at = 0; at < message.size(); at += piece) {
      sha.Update(std::string_view(message).substr(at, piece));
    }
    EXPECT_EQ(sha.HexDigest(), Sha256HexPortable(message)) << piece;
  }
}

}  // namespace
}  // namespace krm::platform
