#include "ostrel/legacy/rounding.hpp"

#include "codec.hpp"

namespace ostrel::LegacySerialization {

double Power10(std::int8_t p) { return codec::Power10(p); }

double RoundToPowerOf10(double x, std::int8_t p) { return codec::Quantise(x, codec::Power10(p)); }

double Round(double x, std::int8_t p) {
  return codec::Quantise(x, codec::Power10(p)) * codec::Power10(-static_cast<int>(p));
}

}  // namespace ostrel::LegacySerialization
