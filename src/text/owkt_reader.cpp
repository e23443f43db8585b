// The OWKT reader: a hand-written tokenizer with one token of lookahead, a
// recursive-descent parser for the attribute section and one for the body.
//
// Robustness on hostile text: every rule consumes at least one token before
// it recurses, collections nest at most ten deep, and storage grows only with
// the coordinates actually read, so any input ends in a value, an Unknown or
// one of the documented exceptions.

#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel::OWKT {
namespace {

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

// Tokens are small and trivially copyable: a word's text is a view into the
// input, upper-cased only when an attribute looks it up.
struct Token {
  int kind = kEnd;
  std::string_view text;        // words only, as written
  double value = detail::kNaN;  // numbers only
};

// Upper-case keyword -> token kind; built once, then only read.
std::unordered_map<std::string_view, int> const& Keywords() {
  static std::unordered_map<std::string_view, int> const table{
      {"TOPOLOGICALTYPE", kTopologicalType},
      {"WINDINGORDER", kWindingOrder},
      {"SRID", kSRID},
      {"ORIGINALSRID", kOriginalSRID},
      {"CONVERTEDSRID", kConvertedSRID},
      {"BIAS", kBias},
      {"EMPTY", kEmpty},
      {"Z", kZ},
      {"M", kM},
      {"ZM", kZM},
      {"MZ", kZM},
      {"POINT", kPoint},
      {"LINESTRING", kLineString},
      {"POLYGON", kPolygon},
      {"MULTIPOINT", kMultiPoint},
      {"MULTILINESTRING", kMultiLineString},
      {"MULTIPOLYGON", kMultiPolygon},
      {"GEOMETRYCOLLECTION", kGeometryCollection},
  };
  return table;
}

std::unordered_map<std::string_view, SRID::Authority> const& Authorities() {
  static std::unordered_map<std::string_view, SRID::Authority> const table{
      {"UNKNOWN", SRID::Authority::None},    {"EPSG", SRID::Authority::EPSG},
      {"SRORG", SRID::Authority::SR_ORG},    {"ESRI", SRID::Authority::ESRI},
      {"ORACLE", SRID::Authority::ORACLE},   {"MS", SRID::Authority::MS},
      {"IAU2000", SRID::Authority::IAU2000},
  };
  return table;
}

std::unordered_map<std::string_view, SRID> const& NamedSRIDs() {
  static std::unordered_map<std::string_view, SRID> const table{
      {"NONE", SRID::None()}, {"WGS84", SRID::WGS84()}, {"NAD27", SRID::NAD27()}};
  return table;
}

std::unordered_map<std::string_view, WindingOrder> const& WindingOrders() {
  static std::unordered_map<std::string_view, WindingOrder> const table{
      {"LEFT", WindingOrder::InteriorLeft},
      {"RIGHT", WindingOrder::InteriorRight},
      {"AMBIGUOUS", WindingOrder::Ambiguous}};
  return table;
}

std::unordered_map<std::string_view, TopologicalType> const& TopologicalTypes() {
  static std::unordered_map<std::string_view, TopologicalType> const table{
      {"SPHEROIDAL", TopologicalType::Spheroidal}, {"FLAT", TopologicalType::Flat}};
  return table;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

class Tokenizer {
 public:
  explicit Tokenizer(std::string const& text)
      : pos_(text.data()), end_(text.data() + text.size()) {}

  int Peek() {
    if (!ahead_) ahead_ = Read();
    return ahead_->kind;
  }

  Token Next() {
    if (!ahead_) return Read();
    Token token = std::move(*ahead_);
    ahead_.reset();
    return token;
  }

 private:
  // A lexical error ends the input: the parse fails at the next rule that
  // needs a token, or succeeds if the body was already complete.
  Token Error() {
    pos_ = end_;
    return Token{};
  }

  Token Read() {
    while (pos_ != end_ && *pos_ == ' ') ++pos_;
    if (pos_ == end_) return Token{};
    char const c = *pos_;
    if (IsLetter(c)) return ReadWord();
    if (IsDigit(c) || c == '-' || c == '+' || c == '.') return ReadNumber();
    ++pos_;
    switch (c) {
      case '(': return Token{kOpen, {}, detail::kNaN};
      case ')': return Token{kClose, {}, detail::kNaN};
      case '{': return Token{kOpenBrace, {}, detail::kNaN};
      case '}': return Token{kCloseBrace, {}, detail::kNaN};
      case ',': return Token{kComma, {}, detail::kNaN};
      case ';': return Token{kSemicolon, {}, detail::kNaN};
      case ':': return Token{kColon, {}, detail::kNaN};
      case '=': return Token{kEquals, {}, detail::kNaN};
      default: return Error();
    }
  }

  Token ReadWord() {
    char const* begin = pos_;
    while (pos_ != end_ && (IsLetter(*pos_) || IsDigit(*pos_))) ++pos_;
    // Keywords are short: look them up from a stack buffer, and make a
    // string only for the words that are not keywords.
    std::size_t const length = static_cast<std::size_t>(pos_ - begin);
    char upper[24];
    if (length <= sizeof upper) {
      for (std::size_t i = 0; i < length; ++i) upper[i] = Upper(begin[i]);
      auto const& keywords = Keywords();
      if (auto it = keywords.find(std::string_view(upper, length)); it != keywords.end()) {
        return Token{it->second, {}, detail::kNaN};
      }
    }
    return Token{kWord, std::string_view(begin, length), detail::kNaN};
  }

  // Digits into a wrapping 64-bit integer, as the number grammar defines it.
  static std::uint64_t Digits(char const*& p, char const* end) {
    std::uint64_t value = 0;
    while (p != end && IsDigit(*p)) value = value * 10 + static_cast<std::uint64_t>(*p++ - '0');
    return value;
  }

  static bool InNumberRun(char c) {
    return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
  }

  // Deliberately not strtod: the integer part wraps modulo 2^64, the
  // fraction is numerator / divisor, the exponent goes through pow. A number
  // is the longest run of digits, ".", "e", "E", "-" and "+"; characters of
  // the run that the grammar leaves over, or a letter right after the run,
  // are a lexical error.
  Token ReadNumber() {
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
      double exponent = static_cast<double>(Digits(p, end_));
      value *= std::pow(10.0, negative_exponent ? -exponent : exponent);
    }
    if (p != end_ && (InNumberRun(*p) || IsLetter(*p))) return Error();
    pos_ = p;
    return Token{kNumber, {}, negative ? -value : value};
  }

  // numerator / divisor, both accumulated digit by digit in doubles. While
  // they stay below 2^53 (15 digits) every step is exact, so the first 15
  // digits are gathered as an integer and the divisor taken from a table:
  // the same doubles, without a chain of floating-point multiplications.
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
  std::optional<Token> ahead_;
};

// The attributes as parsed, each with a presence flag.
struct ParsedAttributes {
  std::optional<GeometryCoordinate::Bias> bias;
  std::optional<SRID> original_srid;
  std::optional<SRID> converted_srid;
  std::optional<WindingOrder> winding_order;
  std::optional<TopologicalType> topological_type;
};

// The identifier of an SRID given as a number: truncated toward zero and
// wrapped to 32 bits (the SRID keeps 24 of them). Non-finite or huge numbers,
// which only hostile text contains, give 0 instead of undefined behaviour.
unsigned int Identifier(double value) {
  if (!(std::fabs(value) < 9.2e18)) return 0;
  return static_cast<unsigned int>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

class Parser {
 public:
  explicit Parser(std::string const& text) : tokens_(text) {}

  Tokenizer& Tokens() { return tokens_; }

  bool Accept(int kind) {
    if (tokens_.Peek() != kind) return false;
    tokens_.Next();
    return true;
  }
  bool Expect(int kind) { return Accept(kind) || Fail(); }
  bool Fail() {
    error_ = true;
    return false;
  }
  bool Number(double& out) {
    if (tokens_.Peek() != kNumber) return Fail();
    out = tokens_.Next().value;
    return true;
  }
  bool Word(std::string& out) {
    if (tokens_.Peek() != kWord) return Fail();
    out.assign(tokens_.Next().text);
    for (char& c : out) c = Upper(c);
    return true;
  }

  bool Attributes(ParsedAttributes& a) {
    int const first_kind = tokens_.Peek();
    if (first_kind >= kPoint && first_kind <= kGeometryCollection) return true;
    for (bool first = true;; first = false) {
      if (Accept(kSemicolon)) return true;
      if (!first && !Expect(kComma)) return false;
      if (!Attribute(a)) return Fail();
    }
  }

 private:
  bool Attribute(ParsedAttributes& a) {
    switch (tokens_.Next().kind) {
      case kBias: {
        double x = 0;
        double y = 0;
        if (!Expect(kEquals) || !Number(x) || !Expect(kColon) || !Number(y)) return false;
        a.bias = GeometryCoordinate::Bias(x, y);
        return true;
      }
      case kSRID: {
        double n = 0;
        if (!Expect(kEquals) || !Number(n)) return false;
        a.original_srid = SRID(SRID::Authority::EPSG, Identifier(n));
        return true;
      }
      case kOriginalSRID: return Expect(kEquals) && SRIDValue(a.original_srid);
      case kConvertedSRID: return Expect(kEquals) && SRIDValue(a.converted_srid);
      case kWindingOrder: return Expect(kEquals) && Lookup(WindingOrders(), a.winding_order);
      case kTopologicalType:
        return Expect(kEquals) && Lookup(TopologicalTypes(), a.topological_type);
      default: return false;
    }
  }

  template <class T>
  bool Lookup(std::unordered_map<std::string_view, T> const& table, std::optional<T>& out) {
    std::string word;
    if (!Word(word)) return false;
    auto it = table.find(word);
    if (it == table.end()) return Fail();
    out = it->second;
    return true;
  }

  bool SRIDValue(std::optional<SRID>& out) {
    if (tokens_.Peek() == kNumber) {
      out = SRID(SRID::Authority::EPSG, Identifier(tokens_.Next().value));
      return true;
    }
    std::string word;
    if (!Word(word)) return false;
    if (auto it = Authorities().find(word); it != Authorities().end()) {
      double n = 0;
      if (!Expect(kColon) || !Number(n)) return false;
      out = SRID(it->second, Identifier(n));
      return true;
    }
    if (auto it = NamedSRIDs().find(word); it != NamedSRIDs().end()) {
      out = it->second;
      return true;
    }
    return Fail();
  }

  Tokenizer tokens_;
  bool error_ = false;
};

// The body grammar, reporting coordinates to a builder of the default
// format's vectors. G is Geometry or Geography.
template <class G>
class BodyParser {
 public:
  using C = typename G::Coordinate;
  using Values = DefaultSpatial<G>;

  BodyParser(Parser& parser, typename G::Attributes const& attributes, bool radians)
      : p_(parser), attributes_(attributes), radians_(radians) {}

  // The whole body, which must be followed by the end of the text.
  bool Parse() {
    int const token = p_.Tokens().Next().kind;
    if (token == kGeometryCollection) {
      shape_type_ = ShapeType::Mixed;
      return Collection(0) && End();
    }
    Rule const rule = ElementRule(token);
    if (rule == nullptr) return false;
    shape_type_ = static_cast<ShapeType>(element_);
    return Tagged(2, rule) && End();
  }

  SpatialPtr Build() const {
    if constexpr (std::is_same_v<G, Geometry>) {
      return MakeSpatial<DefaultGeometry>(shape_type_, points_, lines_, polys_, attributes_);
    } else {
      return MakeSpatial<DefaultGeography>(shape_type_, points_, lines_, polys_, attributes_);
    }
  }

 private:
  using Rule = bool (BodyParser::*)(int dimensions);

  // The rule that reads the body of a POINT ... MULTIPOLYGON item; it sets
  // the element kind, whose numbers 1-6 are those of the shape types.
  Rule ElementRule(int token) {
    static constexpr Rule kRules[] = {&BodyParser::Coordinate, &BodyParser::CoordinateList,
                                      &BodyParser::RingList,   &BodyParser::MultiPointList,
                                      &BodyParser::RingList,   &BodyParser::PolygonList};
    if (token < kPoint || token > kMultiPolygon) return nullptr;
    element_ = token - kPoint + 1;
    return kRules[token - kPoint];
  }

  bool End() { return p_.Tokens().Peek() == kEnd; }

  // [Z | M | ZM] (EMPTY | "(" inner ")"), the dimension count inherited
  // unless a marker is given.
  bool Tagged(int dimensions, Rule inner) {
    if (p_.Accept(kZ) || p_.Accept(kM)) {
      dimensions = 3;
    } else if (p_.Accept(kZM)) {
      dimensions = 4;
    }
    if (p_.Accept(kEmpty)) return true;
    return p_.Expect(kOpen) && (this->*inner)(dimensions) && p_.Expect(kClose);
  }

  bool Coordinate(int dimensions) {
    double x = 0;
    double y = 0;
    double ignored = 0;
    if (!p_.Number(x) || !p_.Number(y)) return false;
    if (dimensions >= 3 && !p_.Number(ignored)) return false;
    if (dimensions == 4 && !p_.Number(ignored)) return false;
    C const c = Make(x, y);
    if (element_ == 3 || element_ == 6) {
      Ring().push_back(c);
    } else if (element_ == 2 || element_ == 5) {
      if (lines_.size() <= line_) lines_.resize(line_ + 1);
      lines_[line_].push_back(c);
    } else {
      points_.push_back(c);
    }
    return true;
  }

  bool CoordinateList(int dimensions) {
    if (!Coordinate(dimensions)) return false;
    while (p_.Accept(kComma)) {
      if (!Coordinate(dimensions)) return false;
    }
    if (element_ == 3 || element_ == 6) {
      ++ring_;
    } else {
      ++line_;
    }
    return true;
  }

  bool RingList(int dimensions) {
    bool const polygon = element_ == 3 || element_ == 6;
    if (polygon) ring_ = 0;
    do {
      if (!p_.Expect(kOpen) || !CoordinateList(dimensions) || !p_.Expect(kClose)) return false;
    } while (p_.Accept(kComma));
    if (polygon) ++poly_;
    return true;
  }

  bool MultiPointList(int dimensions) {
    do {
      if (p_.Accept(kOpen)) {
        if (!Coordinate(dimensions) || !p_.Expect(kClose)) return false;
      } else if (!Coordinate(dimensions)) {
        return false;
      }
    } while (p_.Accept(kComma));
    return true;
  }

  bool PolygonList(int dimensions) {
    do {
      if (!p_.Expect(kOpen) || !RingList(dimensions) || !p_.Expect(kClose)) return false;
    } while (p_.Accept(kComma));
    return true;
  }

  bool Collection(int depth) {
    if (depth >= 10) return p_.Fail();
    depth_ = depth;
    return Tagged(2, &BodyParser::CollectionItems);
  }

  bool CollectionItems(int dimensions) {
    int const depth = depth_;
    do {
      int const token = p_.Tokens().Next().kind;
      if (token == kGeometryCollection) {
        if (!Collection(depth + 1)) return false;
        continue;
      }
      Rule const rule = ElementRule(token);
      if (rule == nullptr) return p_.Fail();
      if (!Tagged(dimensions, rule)) return false;
    } while (p_.Accept(kComma));
    return true;
  }

  typename Values::Points& Ring() {
    if (polys_.size() <= poly_) polys_.resize(poly_ + 1);
    auto& poly = polys_[poly_];
    if (poly.size() <= ring_) poly.resize(ring_ + 1);
    return poly[ring_];
  }

  C Make(double x, double y) const {
    if constexpr (std::is_same_v<G, Geometry>) {
      return GeometryCoordinate(x, y, attributes_.bias);
    } else {
      Radians const lon = radians_ ? Radians(x) : Radians(Degrees(x));
      Radians const lat = radians_ ? Radians(y) : Radians(Degrees(y));
      return GeographyCoordinate(Latitude(lat), Longitude(lon));  // Latitude checks its range
    }
  }

  Parser& p_;
  typename G::Attributes attributes_;
  bool radians_;
  ShapeType shape_type_ = ShapeType::Empty;
  int element_ = 0;
  int depth_ = 0;
  std::size_t line_ = 0;
  std::size_t poly_ = 0;
  std::size_t ring_ = 0;
  typename Values::Points points_;
  typename Values::Lines lines_;
  typename Values::Polys polys_;
};

CoordinateType ChooseKind(ParsedAttributes const& a, CoordinateType forced) {
  if (forced == CoordinateType::Geometry || forced == CoordinateType::Geography) return forced;
  if (a.topological_type || a.winding_order) return CoordinateType::Geography;
  if (a.bias) return CoordinateType::Geometry;
  if (a.converted_srid && a.converted_srid->GetAuthority() != SRID::Authority::None) {
    return CoordinateType::Geography;
  }
  if (!a.original_srid || a.original_srid->GetAuthority() == SRID::Authority::None) {
    return CoordinateType::Geometry;
  }
  return CoordinateType::Geography;
}

template <class G>
SpatialPtr ReadBody(Parser& parser, typename G::Attributes const& attributes, bool radians) {
  BodyParser<G> body(parser, attributes, radians);
  if (!body.Parse()) return MakeSpatial<Unknown>();
  return body.Build();
}

}  // namespace

SpatialPtr From(std::string const& text, CoordinateType type, bool radians) {
  Parser parser(text);
  ParsedAttributes parsed;
  if (!parser.Attributes(parsed)) return MakeSpatial<Unknown>();

  if (ChooseKind(parsed, type) == CoordinateType::Geometry) {
    Geometry::Attributes attributes;
    if (parsed.bias) attributes.bias = *parsed.bias;
    if (parsed.original_srid) attributes.original_srid = *parsed.original_srid;
    if (parsed.converted_srid) attributes.converted_srid = *parsed.converted_srid;
    return ReadBody<Geometry>(parser, attributes, radians);
  }
  Geography::Attributes attributes;
  if (parsed.original_srid) attributes.original_srid = *parsed.original_srid;
  if (parsed.converted_srid) attributes.converted_srid = *parsed.converted_srid;
  if (parsed.topological_type) attributes.topological_type = *parsed.topological_type;
  if (parsed.winding_order) attributes.winding_order = *parsed.winding_order;
  return ReadBody<Geography>(parser, attributes, radians);
}

SpatialPtr From(std::string const& text) { return From(text, CoordinateType::Unknown, false); }

SpatialPtr From(std::string const& text, CoordinateType type) { return From(text, type, false); }

SpatialPtr From(std::string const& text, bool radians) {
  return radians ? From(text, CoordinateType::Geography, true)
                 : From(text, CoordinateType::Unknown, false);
}

}  // namespace ostrel::OWKT

namespace {
ostrel::SpatialPtr FromLiteral(char const* text, std::size_t length, ostrel::CoordinateType type,
                               bool radians) {
  if (length == 0) return ostrel::SpatialPtr();
  return ostrel::OWKT::From(std::string(text, length), type, radians);
}
}  // namespace

ostrel::SpatialPtr operator""_owkt(char const* text, std::size_t length) {
  return FromLiteral(text, length, ostrel::CoordinateType::Unknown, false);
}
ostrel::SpatialPtr operator""_geomowkt(char const* text, std::size_t length) {
  return FromLiteral(text, length, ostrel::CoordinateType::Geometry, false);
}
ostrel::SpatialPtr operator""_geogowkt(char const* text, std::size_t length) {
  return FromLiteral(text, length, ostrel::CoordinateType::Geography, false);
}
ostrel::SpatialPtr operator""_rgeogowkt(char const* text, std::size_t length) {
  return FromLiteral(text, length, ostrel::CoordinateType::Geography, true);
}
