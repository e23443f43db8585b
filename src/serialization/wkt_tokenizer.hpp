// The tokenizer of well-known text, shared by every reader of WKT-shaped
// text: one token of lookahead over a string the caller keeps alive.
//
// Lexical rules (those of the library's own text format, which this
// tokenizer reproduces token for token):
// - a word is a letter followed by letters and digits; it is looked up
//   case-insensitively among the keywords, and is otherwise a plain word;
// - a number starts with a digit, "-", "+" or "." and runs over digits, ".",
//   "e", "E", "-", "+": an optional sign, an integer part accumulated in a
//   64-bit integer that wraps, a fraction numerator / divisor, an exponent
//   applied through pow(10, e); characters of the run left over by that
//   grammar, or a letter right after it, are a lexical error ("." alone is 0,
//   "-" alone -0);
// - blanks (the space character only) separate tokens;
// - "(" ")" "{" "}" "," ";" ":" "=" are tokens of their own;
// - anything else (a tab, a line feed, "#") is a lexical error, which ends
//   the input: the next token and every one after it is End.
// Nothing here allocates.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "ostrel/core/constants.hpp"

namespace ostrel::detail::wkt {

enum TokenKind : int {
  kEnd = 0,
  kOpen = 1,
  kClose = 2,
  kOpenBrace = 3,
  kCloseBrace = 4,
  kComma = 5,
  kSemicolon = 6,
  kColon = 7,
  kEquals = 8,
  kNumber = 9,
  kWord = 10,
  kTopologicalType = 11,
  kWindingOrder = 12,
  kSRID = 13,
  kOriginalSRID = 14,
  kConvertedSRID = 15,
  kBias = 16,
  kEmpty = 17,
  kZ = 18,
  kM = 19,
  kZM = 20,
  kPoint = 21,
  kLineString = 22,
  kPolygon = 23,
  kMultiPoint = 24,
  kMultiLineString = 25,
  kMultiPolygon = 26,
  kGeometryCollection = 27,
};

struct Token {
  int kind = kEnd;
  std::string_view text;  // words only, as written
  double value = kNaN;    // numbers only
};

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The keyword of an upper-case word, or kWord. A handful of words by length
// and first letter: a few comparisons, no table to build.
inline int Keyword(char const* w, std::size_t n) {
  auto is = [w, n](char const* k) { return std::strlen(k) == n && std::memcmp(w, k, n) == 0; };
  switch (w[0]) {
    case 'B': return is("BIAS") ? kBias : kWord;
    case 'C': return is("CONVERTEDSRID") ? kConvertedSRID : kWord;
    case 'E': return is("EMPTY") ? kEmpty : kWord;
    case 'G': return is("GEOMETRYCOLLECTION") ? kGeometryCollection : kWord;
    case 'L': return is("LINESTRING") ? kLineString : kWord;
    case 'M':
      if (n == 1) return kM;
      if (is("MZ")) return kZM;
      if (is("MULTIPOINT")) return kMultiPoint;
      if (is("MULTILINESTRING")) return kMultiLineString;
      if (is("MULTIPOLYGON")) return kMultiPolygon;
      return kWord;
    case 'O': return is("ORIGINALSRID") ? kOriginalSRID : kWord;
    case 'P':
      if (is("POINT")) return kPoint;
      if (is("POLYGON")) return kPolygon;
      return kWord;
    case 'S': return is("SRID") ? kSRID : kWord;
    case 'T': return is("TOPOLOGICALTYPE") ? kTopologicalType : kWord;
    case 'W': return is("WINDINGORDER") ? kWindingOrder : kWord;
    case 'Z':
      if (n == 1) return kZ;
      return is("ZM") ? kZM : kWord;
    default: return kWord;
  }
}

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : pos_(text.data()), end_(text.data() + text.size()) {}

  int Peek() {
    if (!has_ahead_) {
      ahead_ = Read();
      has_ahead_ = true;
    }
    return ahead_.kind;
  }

  Token Next() {
    if (!has_ahead_) return Read();
    has_ahead_ = false;
    return ahead_;
  }

  // Consumes the next token when it is of that kind.
  bool Accept(int kind) {
    if (Peek() != kind) return false;
    has_ahead_ = false;
    return true;
  }

  // Consumes a number into `out`; false (nothing consumed) for another token.
  bool Number(double& out) {
    if (has_ahead_) {
      if (ahead_.kind != kNumber) return false;
      has_ahead_ = false;
      out = ahead_.value;
      return true;
    }
    // The common case, a number with nothing read ahead, without a Token.
    while (pos_ != end_ && *pos_ == ' ') ++pos_;
    if (pos_ == end_ || !StartsNumber(*pos_)) return false;
    if (ReadNumber(out)) return true;
    pos_ = end_;  // a lexical error: the token was End
    return false;
  }

 private:
  static bool StartsNumber(char c) { return IsDigit(c) || c == '-' || c == '+' || c == '.'; }

  Token Error() {
    pos_ = end_;
    return Token{};
  }

  Token Read() {
    while (pos_ != end_ && *pos_ == ' ') ++pos_;
    if (pos_ == end_) return Token{};
    char const c = *pos_;
    if (IsLetter(c)) return ReadWord();
    if (StartsNumber(c)) {
      double value = 0;
      if (!ReadNumber(value)) return Error();
      return Token{kNumber, {}, value};
    }
    ++pos_;
    switch (c) {
      case '(': return Token{kOpen, {}, kNaN};
      case ')': return Token{kClose, {}, kNaN};
      case '{': return Token{kOpenBrace, {}, kNaN};
      case '}': return Token{kCloseBrace, {}, kNaN};
      case ',': return Token{kComma, {}, kNaN};
      case ';': return Token{kSemicolon, {}, kNaN};
      case ':': return Token{kColon, {}, kNaN};
      case '=': return Token{kEquals, {}, kNaN};
      default: return Error();
    }
  }

  Token ReadWord() {
    char const* begin = pos_;
    while (pos_ != end_ && (IsLetter(*pos_) || IsDigit(*pos_))) ++pos_;
    std::size_t const length = static_cast<std::size_t>(pos_ - begin);
    char upper[24];
    if (length <= sizeof upper) {
      for (std::size_t i = 0; i < length; ++i) upper[i] = Upper(begin[i]);
      int const kind = Keyword(upper, length);
      if (kind != kWord) return Token{kind, {}, kNaN};
    }
    return Token{kWord, std::string_view(begin, length), kNaN};
  }

  static std::uint64_t Digits(char const*& p, char const* end) {
    std::uint64_t value = 0;
    while (p != end && IsDigit(*p)) value = value * 10 + static_cast<std::uint64_t>(*p++ - '0');
    return value;
  }

  static bool InNumberRun(char c) {
    return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
  }

  // The number at pos_ (which starts one); false for a lexical error.
  bool ReadNumber(double& out) {
    char const* p = pos_;
    bool const negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    double value = 0.0;
    if (p == end_ || *p != '.') value = static_cast<double>(Digits(p, end_));
    if (p != end_ && *p == '.') value += Fraction(++p, end_);
    if (p != end_ && (*p == 'e' || *p == 'E')) {
      ++p;
      bool const negative_exponent = p != end_ && *p == '-';
      if (p != end_ && (*p == '-' || *p == '+')) ++p;
      double const exponent = static_cast<double>(Digits(p, end_));
      value *= std::pow(10.0, negative_exponent ? -exponent : exponent);
    }
    if (p != end_ && (InNumberRun(*p) || IsLetter(*p))) return false;
    pos_ = p;
    out = negative ? -value : value;
    return true;
  }

  // numerator / divisor accumulated digit by digit in doubles; the first 15
  // digits are exact as an integer, so they are gathered as one and the
  // divisor taken from a table: the same doubles, fewer operations.
  static double Fraction(char const*& p, char const* end) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t digits = 0;
    int count = 0;
    for (; p != end && IsDigit(*p) && count < 15; ++p, ++count) {
      digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    double numerator = static_cast<double>(digits);
    double divisor = kPowersOfTen[count];
    for (; p != end && IsDigit(*p); ++p) {
      numerator = numerator * 10 + (*p - '0');
      divisor = divisor * 10;
    }
    return numerator / divisor;
  }

  char const* pos_;
  char const* end_;
  Token ahead_;
  bool has_ahead_ = false;
};

}  // namespace ostrel::detail::wkt
