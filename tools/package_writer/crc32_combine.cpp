// SPDX-License-Identifier: Zlib
#include "tools/package_writer/crc32_combine.h"

namespace packaging {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320;
// Polynomials are bit-reflected: the top bit stands for x^0.
constexpr uint32_t kOne = 0x80000000;  // x^0
constexpr uint32_t kX = 0x40000000;    // x^1

// a * b modulo the polynomial.
uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = kOne; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;  // b * x
  }
  return product;
}

// x^(8n) modulo the polynomial, by squaring: x^(8 * 2^k) for each bit k of n.
uint32_t XTo8nModP(uint64_t n) {
  uint32_t power = kX;
  for (int i = 0; i < 3; ++i) power = MultiplyModP(power, power);  // x^8
  uint32_t result = kOne;
  for (; n != 0; n >>= 1) {
    if (n & 1) result = MultiplyModP(result, power);
    power = MultiplyModP(power, power);
  }
  return result;
}

}  // namespace

uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b) {
  return MultiplyModP(XTo8nModP(length_b), crc_a) ^ crc_b;
}

}  // namespace packaging
