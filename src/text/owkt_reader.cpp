// The OWKT reader: a hand-written tokenizer with one token of lookahead, a
// recursive-descent parser for the attribute section and one for the body.
//
// Robustness on hostile text: every rule consumes at least one token before
// it recurses, collections nest at most ten deep, and storage grows only with
// the coordinates actually read, so any input ends in a value, an Unknown or
// one of the documented exceptions.
//
// Diagnosis: the same parser serves From and the diagnosing From. A plain
// read carries no Findings; a diagnosing one records, at the places where
// the grammar fails or loses something, what and where, and never changes a
// decision of the parser. The recording costs a null test on paths that are
// taken only on failure, on Z/M values and on each number's flags.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"
#include "text/owkt_number.hpp"

namespace ostrel::OWKT {
namespace {

using detail::owkt::InNumberRun;
using detail::owkt::IsDigit;
using detail::owkt::IsLetter;

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

// Tokens are small and trivially copyable: [begin, end) is the token's text
// in the input (a word is upper-cased only when an attribute looks it up).
struct Token {
  int kind = kEnd;
  char const* begin = nullptr;
  char const* end = nullptr;
  double value = ostrel::detail::kNaN;  // numbers only

  std::string_view Text() const {
    return begin == nullptr ? std::string_view() : std::string_view(begin, end - begin);
  }
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

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A character outside the token set, as a message names it.
std::string DescribeCharacter(char c) {
  switch (c) {
    case '\0': return "a NUL byte";
    case '\t': return "a tab";
    case '\n': return "a line feed";
    case '\r': return "a carriage return";
    default: break;
  }
  auto const byte = static_cast<unsigned char>(c);
  if (byte > 0x20 && byte < 0x7F) return std::string("'") + c + "'";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "the byte 0x%02X", static_cast<unsigned>(byte));
  return buffer;
}

// What a diagnosing read finds. Only the first fatal problem (the one that
// makes the text Unknown or makes From throw) and the first loss are kept.
struct Findings {
  explicit Findings(std::string const& text) : begin(text.data()) {}

  char const* begin;
  // A lexical error ends the input: where, and what was found there.
  char const* lexical_at = nullptr;
  std::string lexical;
  Diagnosis::Outcome fatal = Diagnosis::Outcome::Value;
  char const* fatal_at = nullptr;
  std::string fatal_message;
  char const* loss_at = nullptr;
  std::string loss_message;
  std::size_t dropped_ordinates = 0;

  void Fatal(Diagnosis::Outcome outcome, char const* at, std::string message) {
    if (fatal != Diagnosis::Outcome::Value) return;
    fatal = outcome;
    fatal_at = at;
    fatal_message = std::move(message);
  }
  void Loss(char const* at, std::string message) {
    if (loss_at != nullptr) return;
    loss_at = at;
    loss_message = std::move(message);
  }
};

class Tokenizer {
 public:
  Tokenizer(std::string const& text, Findings* findings)
      : pos_(text.data()), end_(text.data() + text.size()), findings_(findings) {}

  int Peek() {
    if (!ahead_) ahead_ = Read();
    return ahead_->kind;
  }

  // The next token, without consuming it.
  Token const& PeekToken() {
    Peek();
    return *ahead_;
  }

  Token Next() {
    if (!ahead_) return Read();
    Token token = *ahead_;
    ahead_.reset();
    return token;
  }

  // How a message names a token: an end that a lexical error made names
  // what the error found.
  std::string Describe(Token const& token) const {
    switch (token.kind) {
      case kEnd:
        if (findings_ != nullptr && findings_->lexical_at != nullptr) return findings_->lexical;
        return "the end of the text";
      case kNumber: return "the number " + std::string(token.Text());
      default: return "'" + std::string(token.Text()) + "'";
    }
  }

  // Where a message about a token points.
  char const* Where(Token const& token) const {
    if (token.kind == kEnd && findings_ != nullptr && findings_->lexical_at != nullptr) {
      return findings_->lexical_at;
    }
    return token.begin != nullptr ? token.begin : end_;
  }

 private:
  // A lexical error ends the input: the parse fails at the next rule that
  // needs a token, or succeeds if the body was already complete.
  Token Error(char const* at, std::string what) {
    if (findings_ != nullptr && findings_->lexical_at == nullptr) {
      findings_->lexical_at = at;
      findings_->lexical = std::move(what);
    }
    pos_ = end_;
    return Token{kEnd, end_, end_, ostrel::detail::kNaN};
  }

  Token Read() {
    while (pos_ != end_ && *pos_ == ' ') ++pos_;
    if (pos_ == end_) return Token{kEnd, end_, end_, ostrel::detail::kNaN};
    char const* const begin = pos_;
    char const c = *pos_;
    if (IsLetter(c)) return ReadWord();
    if (IsDigit(c) || c == '-' || c == '+' || c == '.') return ReadNumber();
    ++pos_;
    int kind = kEnd;
    switch (c) {
      case '(': kind = kOpen; break;
      case ')': kind = kClose; break;
      case '{': kind = kOpenBrace; break;
      case '}': kind = kCloseBrace; break;
      case ',': kind = kComma; break;
      case ';': kind = kSemicolon; break;
      case ':': kind = kColon; break;
      case '=': kind = kEquals; break;
      default: return Error(begin, findings_ != nullptr ? DescribeCharacter(c) : std::string());
    }
    return Token{kind, begin, pos_, ostrel::detail::kNaN};
  }

  Token ReadWord() {
    char const* begin = pos_;
    while (pos_ != end_ && (IsLetter(*pos_) || IsDigit(*pos_))) ++pos_;
    // Keywords are short: look them up from a stack buffer.
    std::size_t const length = static_cast<std::size_t>(pos_ - begin);
    char upper[24];
    if (length <= sizeof upper) {
      for (std::size_t i = 0; i < length; ++i) upper[i] = Upper(begin[i]);
      auto const& keywords = Keywords();
      if (auto it = keywords.find(std::string_view(upper, length)); it != keywords.end()) {
        return Token{it->second, begin, pos_, ostrel::detail::kNaN};
      }
    }
    return Token{kWord, begin, pos_, ostrel::detail::kNaN};
  }

  Token ReadNumber() {
    char const* const begin = pos_;
    char const* p = pos_;
    double value = 0;
    detail::owkt::NumberFlags flags;
    if (!detail::owkt::ParseNumber(p, end_, value, flags)) {
      if (findings_ == nullptr) return Error(begin, {});
      while (p != end_ && (InNumberRun(*p) || IsLetter(*p))) ++p;
      return Error(begin, "the malformed number " + std::string(begin, p));
    }
    pos_ = p;
    if (findings_ != nullptr) NoteLoss(begin, p, value, flags);
    return Token{kNumber, begin, p, value};
  }

  void NoteLoss(char const* begin, char const* end, double value,
                detail::owkt::NumberFlags const& flags) {
    std::string const text(begin, end);
    if (flags.integer_wrapped) {
      findings_->Loss(begin, "the integer part of the number " + text +
                                 " does not fit 64 bits: it wraps around");
    } else if (flags.exponent_wrapped) {
      findings_->Loss(
          begin, "the exponent of the number " + text + " does not fit 64 bits: it wraps around");
    } else if (std::isinf(value)) {
      findings_->Loss(begin, "the number " + text + " is too large: it reads as infinity");
    } else if (std::isnan(value)) {
      findings_->Loss(begin, "the number " + text + " reads as NaN");
    } else if (flags.underflowed) {
      findings_->Loss(begin, "the number " + text + " is too small: it reads as 0");
    }
  }

  char const* pos_;
  char const* end_;
  Findings* findings_;
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
  Parser(std::string const& text, Findings* findings)
      : tokens_(text, findings), findings_(findings) {}

  Tokenizer& Tokens() { return tokens_; }
  Findings* GetFindings() const { return findings_; }

  bool Accept(int kind) {
    if (tokens_.Peek() != kind) return false;
    tokens_.Next();
    return true;
  }
  bool Expect(int kind) {
    if (Accept(kind)) return true;
    static char const* const kNames[] = {
        "the end of the text", "'('", "')'", "'{'", "'}'", "','", "';'", "':'", "'='"};
    return FailExpected(kind < 9 ? kNames[kind] : "a word");
  }
  bool Fail() {
    error_ = true;
    return false;
  }
  // Fails, with "expected WHAT, found <the next token>" as the message.
  bool FailExpected(char const* what) {
    if (findings_ != nullptr) {
      Token const& next = tokens_.PeekToken();
      Record(next, std::string("expected ") + what + ", found " + tokens_.Describe(next));
    }
    return Fail();
  }
  // Fails with a message about `token`.
  bool FailAt(Token const& token, std::string const& message) {
    if (findings_ != nullptr) Record(token, message);
    return Fail();
  }
  void Record(Token const& token, std::string message) {
    findings_->Fatal(Diagnosis::Outcome::Unknown, tokens_.Where(token), std::move(message));
  }

  bool Number(double& out, char const* what = "a number") {
    if (tokens_.Peek() != kNumber) return FailExpected(what);
    last_number_ = tokens_.Next();
    out = last_number_.value;
    return true;
  }
  // The token of the number read last.
  Token const& LastNumber() const { return last_number_; }

  bool Attributes(ParsedAttributes& a) {
    int const first_kind = tokens_.Peek();
    if (first_kind >= kPoint && first_kind <= kGeometryCollection) return true;
    for (bool first = true;; first = false) {
      if (Accept(kSemicolon)) return true;
      if (!first && !Accept(kComma)) return FailExpected("',' or ';'");
      if (!Attribute(a, first)) return Fail();
    }
  }

 private:
  bool Attribute(ParsedAttributes& a, bool first) {
    Token const key = tokens_.Next();
    switch (key.kind) {
      case kBias: {
        double x = 0;
        double y = 0;
        if (!Expect(kEquals) || !Number(x) || !Expect(kColon) || !Number(y)) return false;
        a.bias = GeometryCoordinate::Bias(x, y);
        return true;
      }
      case kSRID: {
        double n = 0;
        if (!Expect(kEquals) || !Number(n, "an SRID number")) return false;
        a.original_srid = SRID(SRID::Authority::EPSG, CheckedIdentifier(n));
        return true;
      }
      case kOriginalSRID: return Expect(kEquals) && SRIDValue(a.original_srid);
      case kConvertedSRID: return Expect(kEquals) && SRIDValue(a.converted_srid);
      case kWindingOrder:
        return Expect(kEquals) && Lookup(WindingOrders(), a.winding_order, "winding order",
                                         "LEFT, RIGHT or AMBIGUOUS");
      case kTopologicalType:
        return Expect(kEquals) && Lookup(TopologicalTypes(), a.topological_type, "topological type",
                                         "SPHEROIDAL or FLAT");
      default:
        return FailAt(
            key, std::string(first ? "expected a shape or an attribute" : "expected an attribute") +
                     " (BIAS, SRID, ORIGINALSRID, CONVERTEDSRID, TOPOLOGICALTYPE or "
                     "WINDINGORDER), found " +
                     tokens_.Describe(key));
    }
  }

  // A word, upper-cased.
  bool Word(std::string& out, char const* what) {
    if (tokens_.Peek() != kWord) return FailExpected(what);
    last_word_ = tokens_.Next();
    out.assign(last_word_.Text());
    for (char& c : out) c = Upper(c);
    return true;
  }

  template <class T>
  bool Lookup(std::unordered_map<std::string_view, T> const& table, std::optional<T>& out,
              char const* name, char const* words) {
    std::string word;
    if (tokens_.Peek() != kWord) {
      return FailExpected(
          findings_ != nullptr ? (std::string("a ") + name + " (" + words + ")").c_str() : "");
    }
    Word(word, "");
    auto it = table.find(word);
    if (it == table.end()) {
      return FailAt(last_word_, "unknown " + std::string(name) + " " +
                                    tokens_.Describe(last_word_) + " (expected " + words + ")");
    }
    out = it->second;
    return true;
  }

  bool SRIDValue(std::optional<SRID>& out) {
    static std::string const kForms =
        "AUTHORITY:NUMBER with an authority UNKNOWN, EPSG, SRORG, ESRI, ORACLE, MS or IAU2000, a "
        "number, or NONE, WGS84 or NAD27";
    if (tokens_.Peek() == kNumber) {
      last_number_ = tokens_.Next();
      out = SRID(SRID::Authority::EPSG, CheckedIdentifier(last_number_.value));
      return true;
    }
    std::string word;
    if (!Word(word, findings_ != nullptr ? ("an SRID (" + kForms + ")").c_str() : "")) return false;
    if (auto it = Authorities().find(word); it != Authorities().end()) {
      double n = 0;
      if (!Expect(kColon) || !Number(n, "an SRID number")) return false;
      out = SRID(it->second, CheckedIdentifier(n));
      return true;
    }
    if (auto it = NamedSRIDs().find(word); it != NamedSRIDs().end()) {
      out = it->second;
      return true;
    }
    return FailAt(last_word_,
                  "unknown SRID " + tokens_.Describe(last_word_) + " (expected " + kForms + ")");
  }

  // Identifier() of the number just read, noting a number that is not an
  // integer the 24 bits of an SRID hold.
  unsigned int CheckedIdentifier(double value) {
    unsigned int const id = Identifier(value);
    if (findings_ != nullptr && !(value >= 0 && value < 16777216.0 && std::trunc(value) == value)) {
      findings_->Loss(last_number_.begin,
                      "the SRID number " + std::string(last_number_.Text()) +
                          " is not an integer from 0 to 16777215: it reads as " +
                          std::to_string(SRID(SRID::Authority::EPSG, id).GetID()));
    }
    return id;
  }

  Tokenizer tokens_;
  Findings* findings_;
  Token last_number_;
  Token last_word_;
  bool error_ = false;
};

char const* const kShapes =
    "POINT, LINESTRING, POLYGON, MULTIPOINT, MULTILINESTRING, MULTIPOLYGON or GEOMETRYCOLLECTION";

// The body grammar, reporting coordinates to a builder of the default
// format's vectors. G is Geometry or Geography.
template <class G>
class BodyParser {
 public:
  using C = typename G::Coordinate;
  using Values = DefaultSpatial<G>;

  BodyParser(Parser& parser, typename G::Attributes const& attributes, bool radians)
      : p_(parser), f_(parser.GetFindings()), attributes_(attributes), radians_(radians) {}

  // The whole body, which must be followed by the end of the text.
  bool Parse() {
    Token const head = p_.Tokens().Next();
    body_ = head.begin;
    if (head.kind == kGeometryCollection) {
      shape_type_ = ShapeType::Mixed;
      return Collection(0, head) && End();
    }
    Rule const rule = ElementRule(head.kind);
    if (rule == nullptr) {
      return p_.FailAt(head, std::string("expected a shape (") + kShapes + "), found " +
                                 p_.Tokens().Describe(head));
    }
    shape_type_ = static_cast<ShapeType>(element_);
    return Tagged(2, rule) && End();
  }

  SpatialPtr Build() const {
    try {
      if constexpr (std::is_same_v<G, Geometry>) {
        return MakeSpatial<DefaultGeometry>(shape_type_, points_, lines_, polys_, attributes_);
      } else {
        return MakeSpatial<DefaultGeography>(shape_type_, points_, lines_, polys_, attributes_);
      }
    } catch (std::invalid_argument const& e) {
      if (f_ != nullptr) f_->Fatal(Diagnosis::Outcome::Invalid, body_, e.what());
      throw;
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

  bool End() {
    if (p_.Tokens().Peek() == kEnd) return true;
    return p_.FailExpected("the end of the text");
  }

  // [Z | M | ZM] (EMPTY | "(" inner ")"), the dimension count inherited
  // unless a marker is given.
  bool Tagged(int dimensions, Rule inner) {
    if (p_.Accept(kZ) || p_.Accept(kM)) {
      dimensions = 3;
    } else if (p_.Accept(kZM)) {
      dimensions = 4;
    }
    if (p_.Accept(kEmpty)) return true;
    if (p_.Tokens().Peek() != kOpen) return p_.FailExpected("'(' or EMPTY");
    p_.Tokens().Next();
    return (this->*inner)(dimensions) && p_.Expect(kClose);
  }

  // After the items of a list the next token must be ")": a diagnosing read
  // names both ways to go on. The parse itself fails at Expect(kClose).
  void ListEnd() {
    if (f_ != nullptr && p_.Tokens().Peek() != kClose) {
      Token const& next = p_.Tokens().PeekToken();
      p_.Record(next, "expected ',' or ')', found " + p_.Tokens().Describe(next));
    }
  }

  bool Coordinate(int dimensions) {
    double x = 0;
    double y = 0;
    double ignored = 0;
    if (!p_.Number(x)) return false;
    Token const x_token = p_.LastNumber();
    if (!p_.Number(y)) return false;
    if (dimensions >= 3) {
      Token const y_token = p_.LastNumber();
      if (!p_.Number(ignored, "a third number (Z or M)")) return false;
      if (dimensions == 4 && !p_.Number(ignored, "a fourth number (M)")) return false;
      if (f_ != nullptr) f_->dropped_ordinates += static_cast<std::size_t>(dimensions - 2);
      Add(Make(x, y, x_token, y_token));
    } else {
      Add(Make(x, y, x_token, p_.LastNumber()));
    }
    return true;
  }

  void Add(C const& c) {
    if (element_ == 3 || element_ == 6) {
      Ring().push_back(c);
    } else if (element_ == 2 || element_ == 5) {
      if (lines_.size() <= line_) lines_.resize(line_ + 1);
      lines_[line_].push_back(c);
    } else {
      points_.push_back(c);
    }
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
    ListEnd();
    return true;
  }

  bool RingList(int dimensions) {
    bool const polygon = element_ == 3 || element_ == 6;
    if (polygon) ring_ = 0;
    do {
      if (!p_.Expect(kOpen) || !CoordinateList(dimensions) || !p_.Expect(kClose)) return false;
    } while (p_.Accept(kComma));
    if (polygon) ++poly_;
    ListEnd();
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
    ListEnd();
    return true;
  }

  bool PolygonList(int dimensions) {
    do {
      if (!p_.Expect(kOpen) || !RingList(dimensions) || !p_.Expect(kClose)) return false;
    } while (p_.Accept(kComma));
    ListEnd();
    return true;
  }

  bool Collection(int depth, Token const& head) {
    if (depth >= 10) return p_.FailAt(head, "collections nest more than 10 deep");
    depth_ = depth;
    return Tagged(2, &BodyParser::CollectionItems);
  }

  bool CollectionItems(int dimensions) {
    int const depth = depth_;
    do {
      Token const token = p_.Tokens().Next();
      if (token.kind == kGeometryCollection) {
        if (!Collection(depth + 1, token)) return false;
        continue;
      }
      Rule const rule = ElementRule(token.kind);
      if (rule == nullptr) {
        return p_.FailAt(token, std::string("expected a shape (") + kShapes + "), found " +
                                    p_.Tokens().Describe(token));
      }
      if (!Tagged(dimensions, rule)) return false;
    } while (p_.Accept(kComma));
    ListEnd();
    return true;
  }

  typename Values::Points& Ring() {
    if (polys_.size() <= poly_) polys_.resize(poly_ + 1);
    auto& poly = polys_[poly_];
    if (poly.size() <= ring_) poly.resize(ring_ + 1);
    return poly[ring_];
  }

  C Make(double x, double y, Token const& x_token, Token const& y_token) const {
    if constexpr (std::is_same_v<G, Geometry>) {
      GeometryCoordinate const c(x, y, attributes_.bias);
      if (f_ != nullptr && !(std::isfinite(c.GetX()) && std::isfinite(c.GetY()))) {
        Token const& t = std::isfinite(c.GetX()) ? y_token : x_token;
        f_->Loss(t.begin, "the coordinate " + std::string(t.Text()) +
                              " does not fit a float offset from the bias: it is not finite");
      }
      return c;
    } else {
      Radians const lon = radians_ ? Radians(x) : Radians(Degrees(x));
      Radians const lat = radians_ ? Radians(y) : Radians(Degrees(y));
      if (f_ != nullptr &&
          (lat.Get() > ostrel::detail::kHalfPi || -lat.Get() > ostrel::detail::kHalfPi)) {
        f_->Fatal(Diagnosis::Outcome::OutOfRange, y_token.begin,
                  "latitude " + std::string(y_token.Text()) +
                      (radians_ ? " is beyond +/-pi/2 radians" : " is beyond +/-90 degrees"));
      }
      return GeographyCoordinate(Latitude(lat), Longitude(lon));  // Latitude checks its range
    }
  }

  Parser& p_;
  Findings* f_;
  typename G::Attributes attributes_;
  bool radians_;
  char const* body_ = nullptr;
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

SpatialPtr Read(std::string const& text, CoordinateType type, bool radians, Findings* findings) {
  Parser parser(text, findings);
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

// Turns the findings into the diagnosis: a fatal problem decides; else the
// first loss; else text that a lexical error cut off after a complete body.
void Conclude(std::string const& text, Findings const& f, Diagnosis& d) {
  d = Diagnosis{};
  d.dropped_ordinates = f.dropped_ordinates;
  char const* at = nullptr;
  if (f.fatal != Diagnosis::Outcome::Value) {
    d.outcome = f.fatal;
    at = f.fatal_at;
    d.message = f.fatal_message;
  } else if (f.loss_at != nullptr) {
    d.outcome = Diagnosis::Outcome::Lossy;
    at = f.loss_at;
    d.message = f.loss_message;
  } else if (f.lexical_at != nullptr) {
    d.outcome = Diagnosis::Outcome::Lossy;
    at = f.lexical_at;
    d.message = f.lexical + " ends the text early: the rest is ignored";
  } else {
    return;
  }
  d.offset = static_cast<std::size_t>(at - text.data());
  d.line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < d.offset; ++i) {
    if (text[i] == '\n') {
      ++d.line;
      line_start = i + 1;
    }
  }
  d.column = d.offset - line_start + 1;
}

}  // namespace

SpatialPtr From(std::string const& text, CoordinateType type, bool radians) {
  return Read(text, type, radians, nullptr);
}

SpatialPtr From(std::string const& text) { return From(text, CoordinateType::Unknown, false); }

SpatialPtr From(std::string const& text, CoordinateType type) { return From(text, type, false); }

SpatialPtr From(std::string const& text, bool radians) {
  return radians ? From(text, CoordinateType::Geography, true)
                 : From(text, CoordinateType::Unknown, false);
}

SpatialPtr From(std::string const& text, CoordinateType type, bool radians, Diagnosis& diagnosis) {
  Findings findings(text);
  SpatialPtr value;
  try {
    value = Read(text, type, radians, &findings);
  } catch (std::out_of_range const&) {
    Conclude(text, findings, diagnosis);
    throw;
  } catch (std::invalid_argument const&) {
    Conclude(text, findings, diagnosis);
    throw;
  }
  Conclude(text, findings, diagnosis);
  return value;
}

Diagnosis Diagnose(std::string const& text, CoordinateType type, bool radians) {
  Diagnosis diagnosis;
  try {
    From(text, type, radians, diagnosis);
  } catch (std::out_of_range const&) {
  } catch (std::invalid_argument const&) {
  }
  return diagnosis;
}

Diagnosis Diagnose(std::string const& text) {
  return Diagnose(text, CoordinateType::Unknown, false);
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
