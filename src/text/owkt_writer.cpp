#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ostrel/core/constants.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"
#include "text/owkt_number.hpp"

namespace ostrel::OWKT {

namespace {

using detail::owkt::IsDigit;

// Keywords, enumeration texts and the letters of numbers ("E", "NAN",
// "INF") are all upper case in OWKT.
void UpperCase(std::string& out, std::size_t from) {
  for (std::size_t i = from; i < out.size(); ++i) {
    out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i])));
  }
}

// A double as printf's %g with `digits` significant digits writes it; with 6
// exactly what a default-formatted std::ostream writes ("1.23457e+06",
// "0.5", "-nan"). std::to_chars gives the same characters without a stream.
std::size_t Format(char* buffer, double value, int digits) {
  auto result = std::to_chars(buffer, buffer + 40, value, std::chars_format::general, digits);
  return static_cast<std::size_t>(result.ptr - buffer);
}

// A decimal: sign, significant digits without trailing zeros, and the
// exponent of the first digit.
struct Decimal {
  bool negative = false;
  char digits[32] = {};
  int count = 0;
  int exponent = 0;
};

Decimal Decompose(double value, int digits) {
  char scientific[48];
  auto const result = std::to_chars(scientific, scientific + sizeof scientific, value,
                                    std::chars_format::scientific, digits - 1);
  Decimal d;
  char const* p = scientific;
  if (*p == '-') d.negative = true, ++p;
  for (; p != result.ptr && *p != 'e'; ++p) {
    if (*p != '.') d.digits[d.count++] = *p;
  }
  while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
  std::from_chars(p + 1 + (p[1] == '+'), result.ptr, d.exponent);
  return d;
}

// How a decimal is laid out: Plain is fixed notation from 1E-05 up to 19
// integer digits (below 2^64, where the grammar's integer part would wrap)
// and scientific beyond; the others are tried when Plain does not read back.
enum class Layout { Plain, Scientific, IntegerMantissa, Fixed };

// The mantissa with its point after `point` digits (1: scientific
// notation; d.count: an integer mantissa; 0: "0.1234"; below 0: as many
// zeros after the point, "0.001234" for -2), and the exponent that keeps
// the value, d.exponent - point + 1, always written ("E+00").
std::size_t RenderWithPoint(char* buffer, Decimal const& d, int point) {
  char* out = buffer;
  if (d.negative) *out++ = '-';
  if (point <= 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = point; i < 0; ++i) *out++ = '0';
  }
  for (int i = 0; i < point; ++i) *out++ = d.digits[i];
  if (point > 0 && point < d.count) *out++ = '.';
  for (int i = std::max(point, 0); i < d.count; ++i) *out++ = d.digits[i];
  int const x = d.exponent - point + 1;
  *out++ = 'E';
  *out++ = x < 0 ? '-' : '+';
  if (x > -10 && x < 10) *out++ = '0';
  out = std::to_chars(out, out + 4, x < 0 ? -x : x).ptr;
  return static_cast<std::size_t>(out - buffer);
}

std::size_t Render(char* buffer, Decimal const& d, Layout layout) {
  int const e = d.exponent;
  bool const fixed = layout == Layout::Fixed || (layout == Layout::Plain && e >= -5 && e <= 18);
  if (layout == Layout::IntegerMantissa) return RenderWithPoint(buffer, d, d.count);
  if (!fixed) return RenderWithPoint(buffer, d, 1);
  char* out = buffer;
  if (d.negative) *out++ = '-';
  if (e < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > e; --i) *out++ = '0';
    for (int i = 0; i < d.count; ++i) *out++ = d.digits[i];
  } else {
    for (int i = 0; i <= e; ++i) *out++ = i < d.count ? d.digits[i] : '0';
    if (d.count > e + 1) {
      *out++ = '.';
      for (int i = e + 1; i < d.count; ++i) *out++ = d.digits[i];
    }
  }
  return static_cast<std::size_t>(out - buffer);
}

std::size_t FormatLossless(char* buffer, double value, int digits) {
  return Render(buffer, Decompose(value, digits), Layout::Plain);
}

// Adds `step` units to the last of `digits` digits, carrying; false past
// 9.99... or below 1.00... (then it is no neighbour of the same exponent).
bool Step(Decimal& d, int digits, int step) {
  for (int i = d.count; i < digits; ++i) d.digits[i] = '0';
  d.count = digits;
  int carry = step;
  for (int i = digits - 1; i >= 0 && carry != 0; --i) {
    int digit = d.digits[i] - '0' + carry;
    carry = 0;
    while (digit > 9) digit -= 10, ++carry;
    while (digit < 0) digit += 10, --carry;
    d.digits[i] = static_cast<char>('0' + digit);
  }
  while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
  return carry == 0 && d.digits[0] != '0';
}

// Calls `attempt` with the decimal of `digits` significant digits nearest to
// `value`, then with those 1, -1, 2, -2, ... up to `steps` units of the last
// digit away, until it returns true; whether it did.
template <class Attempt>
bool ForEachNeighbour(double value, int digits, int steps, Attempt const& attempt) {
  Decimal const nearest = Decompose(value, digits);
  for (int step = 0; step <= steps; ++step) {
    for (int direction : {1, -1}) {
      if (step == 0 && direction < 0) continue;
      Decimal d = nearest;
      if (Step(d, digits, direction * step) && attempt(d)) return true;
    }
  }
  return false;
}

// What the reader's number grammar makes of a complete text, or NaN when it
// does not read the whole of it as one number.
double ReadBack(char const* text, std::size_t length) {
  char const* p = text;
  char const* const end = text + length;
  double value = 0;
  detail::owkt::NumberFlags flags;
  if (!detail::owkt::ParseNumber(p, end, value, flags) || p != end) return detail::kNaN;
  return value;
}

// The lossless number: the first text, by increasing number of significant
// digits from an estimate, that `accept` takes back after the reader's
// number grammar. `cell` is the width of the interval of doubles that snap
// to the same stored number (0 when only the double itself does). Rounding
// to p digits moves a number by at most half a unit of its p-th digit, so
// once that unit is below the cell the first candidates usually succeed.
// When no rounding does (the grammar's products and sums are not correctly
// rounded, so a double that needs all 17 digits can be missed by an ulp),
// neighbouring decimals of up to 25 digits are tried, then the point moved;
// a number that no text reaches is written with 17 digits (none is known:
// 10^6 doubles of every binade each found a text).
constexpr int kMaximumDigits = 25;
constexpr int kMaximumLeadingZeros = 20;

template <class Accept>
void AppendExact(std::string& out, double value, double cell, Accept const& accept) {
  // Sign, "0.", up to 20 zeros, the digits, an exponent.
  char buffer[kMaximumDigits + kMaximumLeadingZeros + 16];
  if (!std::isfinite(value)) {
    out.append(buffer, Format(buffer, value, 6));
    return;
  }
  if (value == 0 && accept(value)) {
    out += std::signbit(value) ? "-0" : "0";
    return;
  }
  // A cell no wider than the spacing of doubles at the value: only the
  // double itself will do.
  double const magnitude = std::fabs(value);
  if (cell <= std::nextafter(magnitude, HUGE_VAL) - magnitude) cell = 0;
  int first = 1;
  if (cell > 0) {
    double const ratio = magnitude / cell;
    if (ratio >= 1) first = std::clamp(static_cast<int>(std::floor(std::log10(ratio))) + 1, 1, 17);
  } else {
    // The shortest text that names the double usually reads back through the
    // grammar too; when not, longer ones are tried.
    auto const shortest =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    int digits = 0;
    for (char const* c = buffer; c != shortest.ptr && *c != 'e'; ++c) digits += IsDigit(*c);
    std::size_t const length = FormatLossless(buffer, value, digits);
    if (accept(ReadBack(buffer, length))) {
      out.append(buffer, length);
      return;
    }
    // The grammar's roundings (pow for large exponents, a numerator above
    // 2^53) can miss the double with this decimal yet reach it with another,
    // even a shorter one: all lengths are tried.
    first = 1;
  }
  // Up from the estimate to the first text that reads back; when that is
  // the estimate itself, down while fewer digits still do (and the text does
  // not grow, as 120 would into 1.2E+02).
  for (int digits = first; digits <= 17; ++digits) {
    std::size_t length = FormatLossless(buffer, value, digits);
    if (!accept(ReadBack(buffer, length))) continue;
    if (digits == first) {
      char fewer[sizeof buffer];
      for (int d = digits - 1; d >= 1; --d) {
        std::size_t const n = FormatLossless(fewer, value, d);
        if (n > length || !accept(ReadBack(fewer, n))) break;
        std::memcpy(buffer, fewer, n);
        length = n;
      }
    }
    out.append(buffer, length);
    return;
  }
  // Decimals of 17 to 25 digits next to the value, in every layout. The
  // grammar rounds at each step (a fraction's numerator above 2^53, the sum
  // of integer and fraction, the product with pow(10, e)), so a double that
  // needs 17 digits can be missed by an ulp; decimals finer than the
  // spacing of doubles, laid out so that the rounding happens elsewhere,
  // reach it. Some are reached only by a fraction of more than 19 digits,
  // whose numerator the grammar rounds at every further digit (1 +
  // 0x1.f0c35a6acb1dfp-1 is read from 22 digits, not from fewer).
  auto const reads_back = [&](std::size_t length) {
    if (!accept(ReadBack(buffer, length))) return false;
    out.append(buffer, length);
    return true;
  };
  for (int digits = 17; digits <= kMaximumDigits; ++digits) {
    bool const found = ForEachNeighbour(value, digits, 8, [&](Decimal const& d) {
      for (Layout layout :
           {Layout::Plain, Layout::Scientific, Layout::IntegerMantissa, Layout::Fixed}) {
        if (layout == Layout::Fixed && (d.exponent < -20 || d.exponent > 18)) continue;
        if (reads_back(Render(buffer, d, layout))) return true;
      }
      return false;
    });
    if (found) return;
  }
  // Last, the decimal point anywhere in the mantissa or before zeros added
  // to it, which moves the grammar's roundings once more: "0.5E-323"
  // reaches the smallest subnormal, whose power pow(10, -324) is 0,
  // 1.3089110986829864E-17 needs its point moved, and numbers near 1E-307
  // need a power that is no subnormal.
  for (int digits = 1; digits <= kMaximumDigits; ++digits) {
    bool const found = ForEachNeighbour(value, digits, digits >= 17 ? 8 : 0, [&](Decimal const& d) {
      for (int point = -kMaximumLeadingZeros; point <= d.count; ++point) {
        if (reads_back(RenderWithPoint(buffer, d, point))) return true;
      }
      return false;
    });
    if (found) return;
  }
  out.append(buffer, FormatLossless(buffer, value, 17));
}

// The text of every number of a value, and of its attribute spellings.
class Writer {
 public:
  explicit Writer(WriteOptions const& options) : options_(options) {}

  bool Lossless() const { return options_.digits == WriteOptions::kLossless; }
  bool Readable() const { return options_.readable || Lossless(); }

  void Number(std::string& out, double value) const {
    char buffer[48];
    out.append(buffer, Format(buffer, value, options_.digits));
  }

  // A bias: the same double back.
  void Bias(std::string& out, double value) const {
    if (!Lossless()) return Number(out, value);
    AppendExact(out, value, 0, [value](double read) { return read == value; });
  }

  void Coordinate(std::string& out, GeometryCoordinate const& c,
                  GeometryCoordinate::Bias const& bias) const {
    if (!Lossless()) {
      Number(out, c.GetX());
      out.push_back(' ');
      Number(out, c.GetY());
      return;
    }
    Planar(out, c.GetX(), bias.GetX());
    out.push_back(' ');
    Planar(out, c.GetY(), bias.GetY());
  }

  void Coordinate(std::string& out, GeographyCoordinate const& c) const {
    double const longitude = c.GetLongitude().Get().Get();
    double const latitude = c.GetLatitude().Get().Get();
    if (!Lossless()) {
      Number(out, Degrees(Radians(longitude)).Get());
      out.push_back(' ');
      Number(out, Degrees(Radians(latitude)).Get());
      return;
    }
    // The reader turns degrees into radians (one multiplication), checks the
    // latitude's range and snaps both to the grid, the longitude after
    // normalising it into [-pi, pi].
    double const cell = Degrees(GeographyCoordinate::GetMaxTruncationError()).Get();
    AppendExact(out, Degrees(Radians(longitude)).Get(), cell, [longitude](double read) {
      Longitude const lon{Radians(Degrees(read))};
      return GeographyCoordinate(Latitude(0.0), lon).GetLongitude().Get().Get() == longitude;
    });
    out.push_back(' ');
    AppendExact(out, Degrees(Radians(latitude)).Get(), cell, [latitude](double read) {
      double const r = Radians(Degrees(read)).Get();
      if (r > detail::kHalfPi || -r > detail::kHalfPi) return false;  // the reader throws
      Latitude const lat{Radians(r)};
      return GeographyCoordinate(lat, Longitude(0.0)).GetLatitude().Get().Get() == latitude;
    });
  }

  // WINDINGORDER value: the writer's own text, or the reader's word.
  std::string Winding(WindingOrder value) const {
    if (Readable()) {
      switch (value) {
        case WindingOrder::InteriorLeft: return "LEFT";
        case WindingOrder::InteriorRight: return "RIGHT";
        case WindingOrder::Ambiguous: return "AMBIGUOUS";
        default: break;
      }
    }
    return to_string(value);
  }

  std::string Authority(SRID::Authority value) const {
    if (Readable() && value == SRID::Authority::SR_ORG) return "SRORG";
    return to_string(value);
  }

 private:
  // A planar axis: x = bias + float offset; the reader snaps what it reads
  // to bias + (float)(read - bias), so any text inside the float's rounding
  // interval around the offset gives the same coordinate.
  void Planar(std::string& out, double x, double bias) const {
    float const offset = static_cast<float>(x - bias);
    // The float spacing at the offset; at 0 that of the subnormals, 2^-149.
    double cell = 0;
    if (std::isfinite(offset)) {
      cell = std::ldexp(1.0, offset == 0 ? -149 : std::max(std::ilogb(offset) - 23, -149));
    }
    AppendExact(out, x, cell,
                [offset, bias](double read) { return static_cast<float>(read - bias) == offset; });
  }

  WriteOptions options_;
};

// Starts a KEY=VALUE pair: "," before every pair but the first.
void AppendKey(std::string& out, bool& first, char const* key) {
  if (!first) out.push_back(',');
  first = false;
  out += key;
  out.push_back('=');
}

void AppendSRID(std::string& out, Writer const& w, bool& first, char const* key, SRID srid) {
  AppendKey(out, first, key);
  out += w.Authority(srid.GetAuthority());
  out.push_back(':');
  out += std::to_string(srid.GetID());
}

// Whether the reader's kind rules see a real authority in a written SRID.
bool Real(SRID srid) { return srid.GetAuthority() != SRID::Authority::None; }

void AppendAttributes(std::string& out, Writer const& w, Geometry::Attributes const& a) {
  Geometry::Attributes const defaults;
  bool const original = a.original_srid != defaults.original_srid;
  bool const converted = a.converted_srid != defaults.converted_srid;
  bool bias = a.bias != defaults.bias;
  // Without a bias, an SRID of a real authority would make the reader choose
  // Geography: an explicit zero bias keeps the value planar.
  if (w.Readable() && !bias &&
      ((original && Real(a.original_srid)) || (converted && Real(a.converted_srid)))) {
    bias = true;
  }
  bool first = true;
  if (bias) {
    AppendKey(out, first, "BIAS");
    w.Bias(out, a.bias.GetX());
    out.push_back(':');
    w.Bias(out, a.bias.GetY());
  }
  if (original) AppendSRID(out, w, first, "ORIGINALSRID", a.original_srid);
  if (converted) AppendSRID(out, w, first, "CONVERTEDSRID", a.converted_srid);
  if (!first) out.push_back(';');
}

void AppendAttributes(std::string& out, Writer const& w, Geography::Attributes const& a) {
  Geography::Attributes const defaults;
  bool original = a.original_srid != defaults.original_srid;
  bool converted = a.converted_srid != defaults.converted_srid;
  bool topological = a.topological_type != defaults.topological_type;
  bool const winding = a.winding_order != defaults.winding_order;
  // The reader chooses Geography for a topological type or winding order, or
  // an SRID of a real authority; when none is written, one is made explicit.
  if (w.Readable() && !topological && !winding && !(original && Real(a.original_srid)) &&
      !(converted && Real(a.converted_srid))) {
    if (!original) {
      original = true;  // the default WGS84, EPSG:4326
    } else if (!converted) {
      converted = true;
    } else {
      topological = true;
    }
  }
  bool first = true;
  if (original) AppendSRID(out, w, first, "ORIGINALSRID", a.original_srid);
  if (converted) AppendSRID(out, w, first, "CONVERTEDSRID", a.converted_srid);
  if (topological) {
    AppendKey(out, first, "TOPOLOGICALTYPE");
    out += to_string(a.topological_type);
  }
  if (winding) {
    AppendKey(out, first, "WINDINGORDER");
    out += w.Winding(a.winding_order);
  }
  if (!first) out.push_back(';');
}

void AppendCoordinate(std::string& out, Writer const& w, GeometryCoordinate const& c,
                      Geometry const& value) {
  w.Coordinate(out, c, value.GetAttributes().bias);
}

void AppendCoordinate(std::string& out, Writer const& w, GeographyCoordinate const& c,
                      Geography const&) {
  w.Coordinate(out, c);
}

template <class Range, class V>
void AppendCoordinates(std::string& out, Writer const& w, Range const& coordinates,
                       V const& value) {
  bool first = true;
  for (auto const& c : coordinates) {
    if (!first) out += ", ";
    first = false;
    AppendCoordinate(out, w, c, value);
  }
}

bool IsMulti(ShapeType t) {
  return t == ShapeType::MultiPoint || t == ShapeType::MultiLineString ||
         t == ShapeType::MultiPolygon || t == ShapeType::Mixed;
}

// Writes the body from the shape interface only, so every storage format
// yields the same text for the same content.
template <class V>
void AppendBody(std::string& out, Writer const& w, V const& value) {
  ShapeType const type = value.GetShapeType();
  if (type == ShapeType::Empty) {
    out += "POINT EMPTY";
    return;
  }
  out += type == ShapeType::Mixed ? std::string("GEOMETRYCOLLECTION") : to_string(type);

  auto const points = value.GetPoints();
  auto const lines = value.GetLines();
  auto const polys = value.GetPolys();
  if (points.empty() && lines.empty() && polys.empty()) {
    out += " EMPTY";
  } else {
    bool const multi = IsMulti(type);
    bool const mixed = type == ShapeType::Mixed;
    bool first = true;
    auto item = [&](char const* kind, auto&& content) {
      if (!first) out += ", ";
      first = false;
      if (mixed) out += kind;
      if (multi) out.push_back('(');
      content();
      if (multi) out.push_back(')');
    };
    out.push_back('(');
    for (auto const& point : points) {
      item("POINT", [&] { AppendCoordinate(out, w, point, value); });
    }
    for (auto const& line : lines) {
      item("LINESTRING", [&] { AppendCoordinates(out, w, line, value); });
    }
    for (auto const& poly : polys) {
      item("POLYGON", [&] {
        bool first_ring = true;
        for (auto const& ring : poly) {
          if (!first_ring) out += ", ";
          first_ring = false;
          out.push_back('(');
          AppendCoordinates(out, w, ring, value);
          out.push_back(')');
        }
      });
    }
    out.push_back(')');
  }
}

std::string Write(Spatial const& value, Writer const& w) {
  std::string out;
  if (value.IsGeography()) {
    Geography const& g = value.AsGeography();
    AppendAttributes(out, w, g.GetAttributes());
    AppendBody(out, w, g);
  } else if (value.IsGeometry()) {
    Geometry const& g = value.AsGeometry();
    AppendAttributes(out, w, g.GetAttributes());
    AppendBody(out, w, g);
  } else {
    out += to_string(value);
  }
  UpperCase(out, 0);
  return out;
}

}  // namespace

std::string To(Spatial const& value) { return Write(value, Writer(WriteOptions::Classic())); }

std::string To(Spatial const& value, WriteOptions const& options) {
  if (options.digits != WriteOptions::kLossless && (options.digits < 1 || options.digits > 17)) {
    throw std::invalid_argument("OWKT digits must be 1 to 17, or 0 for lossless");
  }
  return Write(value, Writer(options));
}

}  // namespace ostrel::OWKT
