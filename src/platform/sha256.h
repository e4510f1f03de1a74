// SHA-256 of the grade data, so that a station's grade files can be checked against the sums
// published with the grade model (krm-station prints them for every part file it writes).
#ifndef KRM_PLATFORM_SHA256_H_
#define KRM_PLATFORM_SHA256_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace krm::platform {

class Sha256 {
 public:
  Sha256();
  // Adds bytes to the message.
  void Update(std::string_view data);
  // The digest as 64 lowercase hex digits. Ends the message: call once.
  std::string HexDigest();

 private:
  void Compress(const unsigned char* block);
  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_;
  std::size_t pending_size_ = 0;
  std::uint64_t length_ = 0;
  bool sha_instructions_;  // the processor's SHA instructions are used
  friend std::string Sha256HexPortable(std::string_view data);
};

// The hex SHA-256 of `data`.
std::string Sha256Hex(std::string_view data);
// The same without the processor's SHA instructions, for tests of the plain rounds.
std::string Sha256HexPortable(std::string_view data);

}  // namespace krm::platform

#endif  // KRM_PLATFORM_SHA256_H_
