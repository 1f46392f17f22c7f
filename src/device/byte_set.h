// kByteSet: a set of the values of a small enumeration in one byte.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace korvane {

// A set of the values of a small enumeration (values 0 to 7), one bit per
// value, stored in one byte.
template <class E>
class kByteSet {
 public:
  constexpr kByteSet() = default;
  constexpr kByteSet(std::initializer_list<E> aValues) {
    for (E v : aValues) Include(v);
  }
  static constexpr kByteSet FromBits(uint8_t aBits) {
    kByteSet s;
    s.fBits = aBits;
    return s;
  }
  constexpr bool Contains(E aValue) const { return (fBits >> static_cast<unsigned>(aValue)) & 1u; }
  constexpr void Include(E aValue) {
    fBits = static_cast<uint8_t>(fBits | (1u << static_cast<unsigned>(aValue)));
  }
  constexpr void Exclude(E aValue) {
    fBits = static_cast<uint8_t>(fBits & ~(1u << static_cast<unsigned>(aValue)));
  }
  constexpr bool Empty() const { return fBits == 0; }
  constexpr uint8_t Bits() const { return fBits; }
  constexpr bool operator==(const kByteSet&) const = default;

 private:
  uint8_t fBits = 0;
};

}  // namespace korvane
