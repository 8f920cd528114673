#pragma once

// Small BMP files, one for every layout the decoder reads and one for every way a file can be
// broken. The decoder tests check them; the fuzzer starts from them (fuzz/make_bmp_seeds).

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "model/colour.h"

namespace bmptest {

// Characters of the expected pictures.
//   ' ' white  '#' black  'r' red  'g' green  'b' blue  'y' yellow  'c' cyan  'm' magenta
// Cases with other colours add their own.
std::map<char, model::Colour> BasicColours();

struct GoodCase {
  std::string name;
  std::vector<std::uint8_t> file;
  std::vector<std::string> expected;  // top row first
  std::map<char, model::Colour> colours = BasicColours();
  bool twoColour = false;
};

struct BadCase {
  std::string name;
  std::vector<std::uint8_t> file;
  std::string message;
};

// Test names print the case's name rather than its bytes.
inline void PrintTo(const GoodCase& c, std::ostream* os) {
  *os << c.name;
}
inline void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<GoodCase> GoodCases();
std::vector<BadCase> BadCases();

}  // namespace bmptest
