#include "platform/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace krm::platform {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

// One 64-byte block into the state, in plain C++.
void CompressPortable(std::uint32_t* state, const unsigned char* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 =
        h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const std::uint32_t t2 =
        (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

#if defined(__x86_64__) || defined(__i386__)
// One block with the processor's SHA instructions (SHA-NI): the message schedule and two rounds
// per instruction, some eight times faster than the plain rounds.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressShaNi(std::uint32_t* state,
                                                               const unsigned char* block) {
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  // The state as the instructions want it: ABEF and CDGH.
  __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i state1 =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i state0 = _mm_alignr_epi8(cdab, state1, 8);
  state1 = _mm_blend_epi16(state1, cdab, 0xF0);
  const __m128i abef = state0;
  const __m128i cdgh = state1;
  // w[g]: the message words of rounds 4g to 4g + 3; x[g]: the first half of w[g + 4].
  __m128i w[16];
  __m128i x[12];
  for (int g = 0; g < 16; ++g) {
    if (g < 4) {
      w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * g)),
                              byte_swap);
    }
    __m128i message =
        _mm_add_epi32(w[g], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
    state1 = _mm_sha256rnds2_epu32(state1, state0, message);
    if (g >= 3 && g < 15) {
      w[g + 1] =
          _mm_sha256msg2_epu32(_mm_add_epi32(x[g - 3], _mm_alignr_epi8(w[g], w[g - 1], 4)), w[g]);
    }
    message = _mm_shuffle_epi32(message, 0x0E);
    state0 = _mm_sha256rnds2_epu32(state0, state1, message);
    if (g >= 1 && g < 13) x[g - 1] = _mm_sha256msg1_epu32(w[g - 1], w[g]);
  }
  state0 = _mm_add_epi32(state0, abef);
  state1 = _mm_add_epi32(state1, cdgh);
  // Back to ABCD and EFGH.
  const __m128i feba = _mm_shuffle_epi32(state0, 0x1B);
  state1 = _mm_shuffle_epi32(state1, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, state1, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(state1, feba, 8));
}

bool HasShaInstructions() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
}
#else
void CompressShaNi(std::uint32_t*, const unsigned char*) {}
bool HasShaInstructions() {
  return false;
}
#endif

const bool kHasShaInstructions = HasShaInstructions();

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      sha_instructions_(kHasShaInstructions) {}

// One 64-byte block into the state, with the processor's SHA instructions when it has them.
void Sha256::Compress(const unsigned char* block) {
  if (sha_instructions_) {
    CompressShaNi(state_.data(), block);
  } else {
    CompressPortable(state_.data(), block);
  }
}

std::string Sha256HexPortable(std::string_view data) {
  Sha256 sha;
  sha.sha_instructions_ = false;
  sha.Update(data);
  return sha.HexDigest();
}

void Sha256::Update(std::string_view data) {
  length_ += data.size();
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t n = data.size();
  if (pending_size_ > 0) {
    const std::size_t take = std::min(n, pending_.size() - pending_size_);
    std::memcpy(pending_.data() + pending_size_, p, take);
    pending_size_ += take;
    p += take;
    n -= take;
    if (pending_size_ < pending_.size()) return;
    Compress(pending_.data());
    pending_size_ = 0;
  }
  for (; n >= 64; p += 64, n -= 64) Compress(p);
  std::memcpy(pending_.data(), p, n);
  pending_size_ = n;
}

std::string Sha256::HexDigest() {
  const std::uint64_t bits = length_ * 8;
  unsigned char tail[72] = {0x80};
  const std::size_t pad = (pending_size_ < 56 ? 56 : 120) - pending_size_;
  for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  Update(std::string_view(reinterpret_cast<const char*>(tail), pad + 8));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (std::uint32_t word : state_) {
    for (int shift = 28; shift >= 0; shift -= 4) hex += kHex[(word >> shift) & 0xf];
  }
  return hex;
}

std::string Sha256Hex(std::string_view data) {
  Sha256 sha;
  sha.Update(data);
  return sha.HexDigest();
}

}  // namespace krm::platform
