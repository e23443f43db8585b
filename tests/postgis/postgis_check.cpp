// Cross-check of the WKB, WKT and PostgreSQL readers and writers against a
// live PostGIS, run by scripts/postgis-test with a libpq connection string.
//
// The reference is this program's own model of every value: random values
// of every kind (points, lines, polygons with holes, the multi kinds, nested
// collections, empties, Z, M and ZM, SRIDs) and the Natural Earth data,
// parsed here from the data files. The model goes to PostGIS as exact hex
// EWKB written by an encoder of this file; PostGIS gives back ST_AsBinary,
// ST_AsEWKB, ST_AsText and ST_AsEWKT, and ostrel must read each to what the
// model says (computed here, independently of the readers):
//  - planar: the 2-D coordinates, collections flattened in reading order,
//    empties dropped, every coordinate snapped against the bias taken from
//    the first coordinate read; exact for binary forms, within the snapping
//    and the 15 digits of PostGIS text for text forms;
//  - geographic (every value with an SRID): longitudes wrapped, latitudes
//    clamped within 0.00001 degrees of a pole, snapped to the grid (exact for
//    binary forms, within a grid step for text). WKB and WKT read through
//    WkbSerialization/WktSerialization densify edges: the model's vertices
//    must come out in order with midpoints between them whose latitudes lie
//    between their edge's ends and which are at most the step apart. The
//    PostgreSQL forms do not densify: the vertices come out exactly. Rings
//    are oriented by the readers: exterior rings counter-clockwise and holes
//    clockwise in (longitude, latitude), so a ring may come out reversed.
// Then ostrel's output goes back: WkbSerialization::Write to ST_GeomFromWKB,
// PostgreSQLSerialization::WriteBinary to ST_GeomFromEWKB and WriteText to
// ST_GeomFromEWKT; PostGIS must read each to what ostrel held (ST_SRID, and
// ST_AsBinary decoded here: exact for binary, within the writer's six
// significant digits for text), ST_Equals must hold for planar values held
// exactly, and for those ostrel's WKB must be byte-identical to
// ST_AsBinary(geom, 'NDR').
//
// Differences the formats prescribe are counted under their reason and are
// not failures:
//  - ST_AsEWKT writes Z values without a marker (POINT(1 2 3)) and M values
//    with the word POINTM: the WKT grammar reads neither (Unknown);
//  - a MULTIPOINT holding an empty point is written MULTIPOINT(EMPTY, ...) in
//    text, which the grammar does not accept (Unknown);
//  - a planar value with a projected SRID (3857) read from the extended forms
//    is taken for a geography because it carries an SRID, and its
//    latitudes are out of range (std::out_of_range).
// Anything else is a failure: the program prints the first ones and exits 1.
#include <libpq-fe.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "ostrel/serialization/postgresql.hpp"
#include "ostrel/serialization/wkb.hpp"
#include "ostrel/serialization/wkt.hpp"

namespace {

using namespace ostrel;
using Bytes = std::vector<std::uint8_t>;

// ------------------------------------------------------------------ model

struct Coord {
  double x, y, z, m;
};

// A value as a tree: kind 1-7 (the WKB codes), its coordinates (a point's
// one or none, a line's), its rings (a polygon's) or its members.
struct Node {
  int kind = 1;
  std::vector<Coord> coords;
  std::vector<std::vector<Coord>> rings;
  std::vector<Node> members;
};

struct Value {
  std::string name;
  Node root;
  bool z = false, m = false;
  std::uint32_t srid = 0;   // 0: none
  bool geographic = false;  // read as a geography (it has an SRID in degrees)
  bool exact = false;       // planar coordinates every bias holds exactly
};

using XY = std::pair<double, double>;
using Path = std::vector<XY>;

// What a reader should make of a value: 2-D, flattened, empties dropped.
struct Flat {
  int type = 0;  // the outermost kind (7 = Mixed)
  Path points;
  std::vector<Path> lines;
  std::vector<std::vector<Path>> polys;
};

void FlattenInto(Node const& n, Flat& f) {
  auto xy = [](Coord const& c) { return XY(c.x, c.y); };
  switch (n.kind) {
    case 1:
      if (!n.coords.empty()) f.points.push_back(xy(n.coords[0]));
      break;
    case 2:
      if (!n.coords.empty()) {
        Path p;
        for (Coord const& c : n.coords) p.push_back(xy(c));
        f.lines.push_back(p);
      }
      break;
    case 3:
      if (!n.rings.empty()) {
        std::vector<Path> rings;
        for (auto const& r : n.rings) {
          Path p;
          for (Coord const& c : r) p.push_back(xy(c));
          rings.push_back(p);
        }
        f.polys.push_back(rings);
      }
      break;
    default:
      for (Node const& k : n.members) FlattenInto(k, f);
  }
}

Flat Flatten(Node const& n) {
  Flat f;
  f.type = n.kind;
  FlattenInto(n, f);
  return f;
}

// The first coordinate in reading order (the planar readers' bias).
bool FirstCoordinate(Node const& n, XY& out) {
  if (n.kind == 3) {
    for (auto const& r : n.rings) {
      if (!r.empty()) return out = {r[0].x, r[0].y}, true;
    }
    return false;
  }
  if (n.kind <= 2) {
    if (n.coords.empty()) return false;
    return out = {n.coords[0].x, n.coords[0].y}, true;
  }
  for (Node const& k : n.members) {
    if (FirstCoordinate(k, out)) return true;
  }
  return false;
}

// ------------------------------------------------------------------ random values

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  double U(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  int I(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(double p) { return U(0, 1) < p; }

  Value Make(int kind, bool geographic, int index) {
    Value v;
    v.geographic = geographic;
    v.z = Chance(0.3);
    v.m = Chance(0.3);
    geographic_ = geographic;
    exact_ = !geographic && Chance(0.5);
    v.exact = exact_;
    if (geographic) {
      static constexpr std::uint32_t kSrids[] = {4326, 4269, 4258};
      v.srid = kSrids[I(0, 2)];
    } else if (Chance(0.04)) {
      v.srid = 3857;  // projected: the extended forms take it for a geography
      v.exact = exact_ = false;
    }
    v.root = MakeNode(kind, 0, Centre());
    v.name = std::string(geographic ? "geog" : "geom") + " #" + std::to_string(index);
    return v;
  }

 private:
  Coord C(double x, double y) {
    if (exact_) {
      x = std::round(x * 64) / 64;
      y = std::round(y * 64) / 64;
    }
    return {x, y, U(-100, 100), U(0, 1000)};
  }

  // Centres keep rings within one longitude zone and away from the poles.
  XY Centre() {
    if (geographic_) {
      // Members of a multi value sit up to 13.5 degrees from the centre.
      double const zone = 360.0 * I(-1, 1);
      return {zone + U(-150, 150), U(-70, 70)};
    }
    if (exact_) return {U(-800, 800), U(-800, 800)};
    double const scale = std::pow(10.0, U(-1, 6));
    return {U(-1, 1) * scale, U(-1, 1) * scale};
  }

  double Radius(XY centre) {
    if (geographic_) return Chance(0.3) ? U(0.5, 3) : U(0.001, 0.05);
    if (exact_) return U(1, 60);
    return std::max(1e-3, (std::fabs(centre.first) + 1) * U(1e-6, 1e-1));
  }

  Node MakeNode(int kind, int depth, XY centre) {
    Node n;
    n.kind = kind;
    bool const empty = Chance(0.06);
    double const r = Radius(centre);
    switch (kind) {
      case 1:
        if (!empty) n.coords.push_back(PointNear(centre, r));
        break;
      case 2:
        if (!empty) {
          int const count = I(2, 10);
          for (int i = 0; i < count; ++i) {
            Coord c = PointNear(centre, geographic_ ? U(0.01, 8) : r);
            if (!n.coords.empty() && c.x == n.coords.back().x && c.y == n.coords.back().y) c.x += 1;
            n.coords.push_back(c);
          }
        }
        break;
      case 3:
        if (!empty) Polygon(n, centre, r);
        break;
      default: {
        if (empty) break;
        int const count = I(1, 4);
        for (int i = 0; i < count; ++i) {
          int member = kind == 7 ? I(1, depth < 3 ? 7 : 6) : kind - 3;
          // Members apart from each other, so multi-polygons are valid.
          XY const c{centre.first + (i - 1.5) * 3 * r, centre.second + (i % 2) * 3 * r};
          n.members.push_back(MakeNode(member, depth + 1, c));
        }
      }
    }
    return n;
  }

  Coord PointNear(XY centre, double r) {
    if (geographic_ && Chance(0.05)) {
      // Within the clamping tolerance of a pole.
      return C(centre.first + U(-r, r), Chance(0.5) ? 90.000005 : -90.000003);
    }
    double y = centre.second + U(-r, r);
    if (geographic_) y = std::clamp(y, -89.0, 89.0);
    return C(centre.first + U(-r, r), y);
  }

  std::vector<Coord> Ring(XY centre, double r, bool clockwise) {
    int const count = I(3, 14);
    std::vector<Coord> ring;
    for (int i = 0; i < count; ++i) {
      double const a = 2 * M_PI * (i + U(-0.3, 0.3)) / count;
      double const radius = r * U(0.6, 1.0);
      Coord const c = C(centre.first + radius * std::cos(a), centre.second + radius * std::sin(a));
      if (!ring.empty() && c.x == ring.back().x && c.y == ring.back().y) continue;
      ring.push_back(c);
    }
    if (ring.size() < 3) return Ring(centre, r * 2, clockwise);
    if (clockwise) std::reverse(ring.begin(), ring.end());
    ring.push_back(ring.front());
    return ring;
  }

  void Polygon(Node& n, XY centre, double r) {
    n.rings.push_back(Ring(centre, r, Chance(0.5)));
    int const holes = I(0, 2);
    for (int h = 0; h < holes; ++h) {
      double const a = M_PI * h + 0.4;
      XY const c{centre.first + 0.3 * r * std::cos(a), centre.second + 0.3 * r * std::sin(a)};
      n.rings.push_back(Ring(c, 0.15 * r, Chance(0.5)));
    }
  }

  std::mt19937 rng_;
  bool geographic_ = false;
  bool exact_ = false;
};

// ------------------------------------------------------------------ WKT of the data files

// A minimal reader of the data files' WKT: a keyword, then nested
// parentheses of blank-separated numbers.
class DataWkt {
 public:
  explicit DataWkt(std::string const& text) : s_(text) {}

  Node Parse() {
    std::string const word = Word();
    static std::map<std::string, int> const kinds{{"POINT", 1},           {"LINESTRING", 2},
                                                  {"POLYGON", 3},         {"MULTIPOINT", 4},
                                                  {"MULTILINESTRING", 5}, {"MULTIPOLYGON", 6}};
    Node n;
    n.kind = kinds.at(word);
    Expect('(');
    switch (n.kind) {
      case 1: n.coords.push_back(Tuple()); break;
      case 2: n.coords = Tuples(); break;
      case 3: n.rings = Rings(); break;
      case 4:
      case 5:
      case 6:
        do {
          Node k;
          k.kind = n.kind - 3;
          Expect('(');
          if (k.kind == 1) k.coords.push_back(Tuple());
          if (k.kind == 2) k.coords = Tuples();
          if (k.kind == 3) k.rings = Rings();
          Expect(')');
          n.members.push_back(k);
        } while (Accept(','));
    }
    Expect(')');
    return n;
  }

 private:
  void Blanks() {
    while (i_ < s_.size() && s_[i_] == ' ') ++i_;
  }
  bool Accept(char c) {
    Blanks();
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  void Expect(char c) {
    if (!Accept(c))
      throw std::runtime_error("data WKT: expected " + std::string(1, c) + " at " +
                               std::to_string(i_));
  }
  std::string Word() {
    Blanks();
    std::size_t const b = i_;
    while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
    return s_.substr(b, i_ - b);
  }
  double Number() {
    Blanks();
    char* end = nullptr;
    double const d = std::strtod(s_.c_str() + i_, &end);
    if (end == s_.c_str() + i_) throw std::runtime_error("data WKT: number expected");
    i_ = static_cast<std::size_t>(end - s_.c_str());
    return d;
  }
  Coord Tuple() {
    double const x = Number();
    double const y = Number();
    return {x, y, 0, 0};
  }
  std::vector<Coord> Tuples() {
    std::vector<Coord> out{Tuple()};
    while (Accept(',')) out.push_back(Tuple());
    return out;
  }
  std::vector<std::vector<Coord>> Rings() {
    std::vector<std::vector<Coord>> out;
    do {
      Expect('(');
      out.push_back(Tuples());
      Expect(')');
    } while (Accept(','));
    return out;
  }

  std::string const& s_;
  std::size_t i_ = 0;
};

// ------------------------------------------------------------------ EWKB out, WKB in

class Encoder {
 public:
  Bytes Encode(Value const& v) {
    out_.clear();
    z_ = v.z;
    m_ = v.m;
    Write(v.root, v.srid);
    return out_;
  }

 private:
  void U32(std::uint32_t x) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
  }
  void F64(double d) {
    auto const x = std::bit_cast<std::uint64_t>(d);
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
  }
  void Tuple(Coord const& c) {
    F64(c.x);
    F64(c.y);
    if (z_) F64(c.z);
    if (m_) F64(c.m);
  }
  void Write(Node const& n, std::uint32_t srid) {
    out_.push_back(1);
    std::uint32_t code = static_cast<std::uint32_t>(n.kind);
    if (z_) code |= 0x80000000u;
    if (m_) code |= 0x40000000u;
    if (srid != 0) code |= 0x20000000u;
    U32(code);
    if (srid != 0) U32(srid);
    switch (n.kind) {
      case 1:
        if (n.coords.empty()) {
          Tuple({NAN, NAN, NAN, NAN});
        } else {
          Tuple(n.coords[0]);
        }
        break;
      case 2:
        U32(static_cast<std::uint32_t>(n.coords.size()));
        for (Coord const& c : n.coords) Tuple(c);
        break;
      case 3:
        U32(static_cast<std::uint32_t>(n.rings.size()));
        for (auto const& r : n.rings) {
          U32(static_cast<std::uint32_t>(r.size()));
          for (Coord const& c : r) Tuple(c);
        }
        break;
      default:
        U32(static_cast<std::uint32_t>(n.members.size()));
        for (Node const& k : n.members) Write(k, 0);
    }
  }

  Bytes out_;
  bool z_ = false, m_ = false;
};

// 2-D ISO WKB (what ST_AsBinary(ST_Force2D(...)) gives) into a Flat.
class Decoder {
 public:
  explicit Decoder(Bytes const& b) : b_(b) {}
  Flat Decode() {
    Flat f;
    f.type = static_cast<int>(Header());
    Body(static_cast<std::uint32_t>(f.type), f);
    return f;
  }

 private:
  std::uint32_t Header() {
    big_ = Byte() == 0;
    std::uint32_t const code = U32();
    if (code < 1 || code > 7) throw std::runtime_error("decoder: code " + std::to_string(code));
    return code;
  }
  std::uint8_t Byte() {
    if (i_ >= b_.size()) throw std::runtime_error("decoder: truncated");
    return b_[i_++];
  }
  std::uint64_t Bits(int n) {
    std::uint64_t v = 0;
    for (int k = 0; k < n; ++k) {
      std::uint64_t const byte = Byte();
      v |= big_ ? byte << (8 * (n - 1 - k)) : byte << (8 * k);
    }
    return v;
  }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Bits(4)); }
  double F64() { return std::bit_cast<double>(Bits(8)); }
  XY P() {
    double const x = F64();
    return {x, F64()};
  }
  Path Run() {
    Path p(U32());
    for (XY& q : p) q = P();
    return p;
  }
  void Body(std::uint32_t code, Flat& f) {
    switch (code) {
      case 1: {
        XY const p = P();
        if (!(std::isnan(p.first) && std::isnan(p.second))) f.points.push_back(p);
        break;
      }
      case 2: {
        Path p = Run();
        if (!p.empty()) f.lines.push_back(p);
        break;
      }
      case 3: {
        std::vector<Path> rings(U32());
        for (Path& r : rings) r = Run();
        if (!rings.empty()) f.polys.push_back(rings);
        break;
      }
      default: {
        std::uint32_t const n = U32();
        for (std::uint32_t k = 0; k < n; ++k) Body(Header(), f);
      }
    }
  }
  Bytes const& b_;
  std::size_t i_ = 0;
  bool big_ = false;
};

// ------------------------------------------------------------------ what ostrel holds

Flat FlatOf(Spatial const& v) {
  Flat f;
  auto fill = [&f](auto const& g, auto xy) {
    f.type = static_cast<int>(g.GetShapeType());
    for (auto const& c : g.GetPoints()) f.points.push_back(xy(c));
    for (auto const& line : g.GetLines()) {
      Path p;
      for (auto const& c : line) p.push_back(xy(c));
      f.lines.push_back(p);
    }
    for (auto const& poly : g.GetPolys()) {
      std::vector<Path> rings;
      for (auto const& ring : poly) {
        Path p;
        for (auto const& c : ring) p.push_back(xy(c));
        rings.push_back(p);
      }
      f.polys.push_back(rings);
    }
  };
  if (v.IsGeometry()) {
    fill(v.AsGeometry(), [](GeometryCoordinate const& c) { return XY(c.GetX(), c.GetY()); });
  } else if (v.IsGeography()) {
    fill(v.AsGeography(), [](GeographyCoordinate const& c) {
      return XY(Degrees(c.GetLongitude().Get()).Get(), Degrees(c.GetLatitude().Get()).Get());
    });
  }
  return f;
}

// ------------------------------------------------------------------ comparisons

double Wrap(double x) {
  if (x < -180) return std::fmod(x - 180, 360) + 180;
  if (x > 180) return std::fmod(x + 180, 360) - 180;
  return x;
}
double Clamp(double y) { return y > 90 ? 90 : (y < -90 ? -90 : y); }

// A geographic input coordinate as the grid holds it, in degrees.
XY Snapped(XY p) {
  GeographyCoordinate const c{Latitude(Radians(Degrees(Clamp(p.second)))),
                              Longitude(Radians(Degrees(Wrap(p.first))))};
  return {Degrees(c.GetLongitude().Get()).Get(), Degrees(c.GetLatitude().Get()).Get()};
}

constexpr double kGridDegrees = 1.0637777479053722e-09 * 57.29577951308232;

struct Tolerance {
  bool geographic;
  bool text;      // read from PostGIS text (15 significant digits)
  bool six;       // written by ostrel's text writer (6 significant digits)
  XY bias{0, 0};  // planar: the bias of the value
};

bool Near(XY a, XY e, Tolerance const& t) {
  auto close = [&t](double r, double x, double b) {
    if (std::isnan(r) || std::isnan(x)) return std::isnan(r) && std::isnan(x);
    if (t.six) return std::fabs(r - x) <= 6e-6 * std::max(std::fabs(x), 1e-300) + 1e-300;
    double tol = 0;
    if (t.geographic) {
      tol = t.text ? 1.5 * kGridDegrees : 0;
    } else if (t.text) {
      // PostGIS text keeps 15 decimals (at most 17 digits), so an absolute
      // error of half 1e-15 beside a relative one; then float snapping of the
      // offset from the bias.
      tol = std::ldexp(std::fabs(x - b), -23) + 2e-14 * (std::fabs(x) + std::fabs(b)) + 1e-15;
    }
    return std::fabs(r - x) <= tol;
  };
  return close(a.first, e.first, t.bias.first) && close(a.second, e.second, t.bias.second);
}

double Shoelace(Path const& r) {
  double s = 0;
  for (std::size_t i = 0; i + 1 < r.size(); ++i)
    s += r[i].first * r[i + 1].second - r[i + 1].first * r[i].second;
  return s;
}

// Whether the clean-up of geographic rings may drop vertex k of a closed
// ring: it lies within 30 grid steps of a neighbour (a near-duplicate), or
// the path doubles back there (a spike: the edges in and out run along the
// same line, opposite within 1e-6 radians).
bool Removable(Path const& ring, std::size_t k) {
  std::size_t const n = ring.size();
  if (n < 4) return false;
  XY const cur = ring[k];
  XY const prev = ring[k == 0 ? n - 2 : k - 1];
  XY const next = ring[k + 1 < n ? k + 1 : 1];
  auto dist = [](XY a, XY b) { return std::hypot(a.first - b.first, a.second - b.second); };
  if (dist(cur, prev) <= 30 * kGridDegrees || dist(cur, next) <= 30 * kGridDegrees) return true;
  double const in = std::atan2(cur.second - prev.second, cur.first - prev.first);
  double const out = std::atan2(next.second - cur.second, next.first - cur.first);
  double const turn = std::remainder(out - in, 2 * M_PI);
  return std::fabs(std::fabs(turn) - M_PI) < 1e-6;
}

// `read` holds `want` in order: nothing between its vertices, or (when
// densified) midpoints whose latitudes lie between their edge's ends and
// which are at most the step apart. With `ring` set, vertices the clean-up
// may drop can be missing; `removed` counts them.
bool SameRun(Path const& read, Path const& want, Tolerance const& t, bool densified, bool ring,
             int& removed, std::string& why) {
  double const step = 0.0016 * 57.29577951308232 + 4 * kGridDegrees;
  std::size_t j = 0;  // next read point
  std::size_t last = 0;
  bool matched_any = false;
  for (std::size_t k = 0; k < want.size(); ++k) {
    std::size_t found = j;
    while (found < read.size() && !Near(read[found], want[k], t)) ++found;
    if (found == read.size() || (!densified && found != j)) {
      if (ring && Removable(want, k)) {
        ++removed;
        continue;
      }
      return why = "vertex " + std::to_string(k) + " of " + std::to_string(want.size()) +
                   " not where expected",
             false;
    }
    if (found != j) {
      if (!matched_any) return why = "points before the first vertex", false;
      double const lo = std::min(want[last].second, want[k].second) - 2 * kGridDegrees;
      double const hi = std::max(want[last].second, want[k].second) + 2 * kGridDegrees;
      for (std::size_t i = j; i < found; ++i) {
        if (read[i].second < lo || read[i].second > hi)
          return why = "midpoint latitude off its edge", false;
      }
      for (std::size_t i = j; i <= found; ++i) {
        if (i > 0 && std::fabs(read[i].second - read[i - 1].second) > step) {
          return why = "densified step too long", false;
        }
      }
    }
    j = found + 1;
    last = k;
    matched_any = true;
  }
  if (j != read.size()) return why = "points after the last vertex", false;
  return true;
}

// The two edges at the first lowest vertex of a closed ring run along the
// same line (within 1e-6 radians): its orientation cannot be told there.
bool SpikeAtLowestVertex(Path const& ring) {
  std::size_t const n = ring.size();
  if (n < 4) return true;
  std::size_t k = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (ring[i].second < ring[k].second) k = i;
  }
  XY const cur = ring[k], prev = ring[k == 0 ? n - 2 : k - 1], next = ring[k + 1 < n ? k + 1 : 1];
  double const a = std::atan2(prev.second - cur.second, prev.first - cur.first);
  double const b = std::atan2(next.second - cur.second, next.first - cur.first);
  return std::fabs(std::remainder(a - b, 2 * M_PI)) < 1e-6;
}

struct Outcome {
  int removed = 0;     // ring vertices the clean-up dropped
  int degenerate = 0;  // rings whose orientation cannot be told
};

// Whether ostrel's reading `got` is what the model `want` says. Geographic
// rings are compared in either direction and must be oriented (exterior
// counter-clockwise, holes clockwise), except in text of six digits, where
// small rings may collapse.
bool SameFlat(Flat const& got, Flat const& want, Tolerance const& t, bool densified,
              Outcome& outcome, std::string& why) {
  if (got.type != want.type) return why = "shape type " + std::to_string(got.type), false;
  if (got.points.size() != want.points.size() || got.lines.size() != want.lines.size() ||
      got.polys.size() != want.polys.size()) {
    return why = "counts", false;
  }
  for (std::size_t i = 0; i < want.points.size(); ++i) {
    if (!Near(got.points[i], want.points[i], t)) return why = "point " + std::to_string(i), false;
  }
  int ignored = 0;
  for (std::size_t i = 0; i < want.lines.size(); ++i) {
    if (!SameRun(got.lines[i], want.lines[i], t, densified, false, ignored, why))
      return why = "line: " + why, false;
  }
  bool const cleaned = t.geographic && !t.six;
  for (std::size_t p = 0; p < want.polys.size(); ++p) {
    if (got.polys[p].size() != want.polys[p].size()) return why = "ring count", false;
    for (std::size_t r = 0; r < want.polys[p].size(); ++r) {
      Path const& g = got.polys[p][r];
      Path const& w = want.polys[p][r];
      if (!cleaned) {
        if (!SameRun(g, w, t, false, false, ignored, why)) return why = "ring: " + why, false;
        continue;
      }
      Path const rev(w.rbegin(), w.rend());
      std::string w1, w2;
      int removed1 = 0, removed2 = 0;
      bool const forward = SameRun(g, w, t, densified, true, removed1, w1);
      bool const backward = !forward && SameRun(g, rev, t, densified, true, removed2, w2);
      if (!forward && !backward)
        return why = "ring " + std::to_string(r) + ": " + w1 + " / " + w2, false;
      outcome.removed += forward ? removed1 : removed2;
      double const area = Shoelace(g);
      if (r == 0 ? !(area > 0) : !(area < 0)) {
        if (!SpikeAtLowestVertex(g))
          return why = "ring " + std::to_string(r) + " orientation", false;
        ++outcome.degenerate;
      }
    }
  }
  return true;
}

// What a reader should hold: planar coordinates snapped against the bias,
// geographic ones wrapped, clamped and snapped.
Flat Expected(Value const& v, bool geographic, XY& bias) {
  Flat f = Flatten(v.root);
  bias = {0, 0};
  FirstCoordinate(v.root, bias);
  auto map = [&](XY p) {
    if (geographic) return Snapped(p);
    GeometryCoordinate const c(p.first, p.second,
                               GeometryCoordinate::Bias(bias.first, bias.second));
    return XY(c.GetX(), c.GetY());
  };
  for (XY& p : f.points) p = map(p);
  for (Path& l : f.lines) {
    for (XY& p : l) p = map(p);
  }
  for (auto& poly : f.polys) {
    for (Path& r : poly) {
      for (XY& p : r) p = map(p);
      // The clean-up of geographic rings drops consecutive duplicates.
      if (geographic) r.erase(std::unique(r.begin(), r.end()), r.end());
    }
  }
  return f;
}

// ------------------------------------------------------------------ bookkeeping

struct Tally {
  std::map<std::string, int> compared, passed, failed;
  std::map<std::string, int> explained;
  int reported = 0;

  void Pass(std::string const& check) { ++compared[check], ++passed[check]; }
  void Explain(std::string const& check, std::string const& reason) {
    ++compared[check], ++explained[reason];
  }
  void Fail(std::string const& check, Value const& v, std::string const& why,
            std::string const& detail = {}) {
    ++compared[check], ++failed[check];
    if (reported++ < 200) {
      std::fprintf(stderr, "FAIL %s, %s (srid %u%s%s): %s\n  %s\n", check.c_str(), v.name.c_str(),
                   v.srid, v.z ? " Z" : "", v.m ? " M" : "", why.c_str(),
                   detail.substr(0, 600).c_str());
    }
  }
  int Failures() const {
    int n = 0;
    for (auto const& [k, c] : failed) n += c;
    return n;
  }
};

// ------------------------------------------------------------------ PostGIS

class Db {
 public:
  explicit Db(char const* conninfo) : c_(PQconnectdb(conninfo)) {
    if (PQstatus(c_) != CONNECTION_OK)
      throw std::runtime_error(std::string("connect: ") + PQerrorMessage(c_));
  }
  ~Db() { PQfinish(c_); }
  Db(Db const&) = delete;
  Db& operator=(Db const&) = delete;

  struct Result {
    PGresult* r;
    ~Result() { PQclear(r); }
    int Rows() const { return PQntuples(r); }
    Bytes Binary(int row, int col) const {
      auto const* p = reinterpret_cast<std::uint8_t const*>(PQgetvalue(r, row, col));
      return Bytes(p, p + PQgetlength(r, row, col));
    }
    std::string Text(int row, int col) const {
      return std::string(PQgetvalue(r, row, col), PQgetlength(r, row, col));
    }
    bool Null(int row, int col) const { return PQgetisnull(r, row, col) != 0; }
    std::int32_t Int(int row, int col) const {  // binary int4
      auto const* p = reinterpret_cast<std::uint8_t const*>(PQgetvalue(r, row, col));
      return static_cast<std::int32_t>(std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                                       std::uint32_t(p[2]) << 8 | p[3]);
    }
    bool Bool(int row, int col) const { return PQgetvalue(r, row, col)[0] != 0; }
  };

  void Exec(std::string const& sql) {
    Result const r{PQexec(c_, sql.c_str())};
    Check(r.r, sql);
  }
  // Binary results.
  Result Query(std::string const& sql) {
    Result r{PQexecParams(c_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1)};
    Check(r.r, sql);
    return r;
  }
  // COPY table FROM STDIN (text format) of the given rows.
  void Copy(std::string const& table, std::vector<std::string> const& rows) {
    Result const start{PQexec(c_, ("COPY " + table + " FROM STDIN").c_str())};
    if (PQresultStatus(start.r) != PGRES_COPY_IN) throw std::runtime_error(PQerrorMessage(c_));
    for (std::string const& row : rows) {
      if (PQputCopyData(c_, row.data(), static_cast<int>(row.size())) != 1)
        throw std::runtime_error(PQerrorMessage(c_));
    }
    if (PQputCopyEnd(c_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(c_));
    Result const end{PQgetResult(c_)};
    Check(end.r, "COPY " + table);
  }

 private:
  void Check(PGresult* r, std::string const& sql) {
    auto const s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
      throw std::runtime_error("query failed: " + sql.substr(0, 200) + "\n" +
                               PQresultErrorMessage(r));
    }
  }
  PGconn* c_;
};

std::string HexBytea(Bytes const& b) {
  static char const d[] = "0123456789abcdef";
  std::string s = "\\\\x";
  for (std::uint8_t x : b) s += d[x >> 4], s += d[x & 15];
  return s;
}

// Text for COPY: backslashes, tabs and line breaks escaped.
std::string CopyText(std::string const& t) {
  std::string s;
  for (char c : t) {
    if (c == '\\')
      s += "\\\\";
    else if (c == '\t')
      s += "\\t";
    else if (c == '\n')
      s += "\\n";
    else
      s += c;
  }
  return s;
}

// ------------------------------------------------------------------ the check

// A multi-point, multi-line string or multi-polygon holding an empty member,
// which PostGIS text writes as a bare EMPTY among the members.
bool HasEmptyMultiMember(Node const& n) {
  if (n.kind >= 4 && n.kind <= 6) {
    for (Node const& k : n.members) {
      if (k.coords.empty() && k.rings.empty()) return true;
    }
  }
  for (Node const& k : n.members) {
    if (HasEmptyMultiMember(k)) return true;
  }
  return false;
}

// A value that ostrel writes in PostGIS's own layout: nothing empty inside
// a collection, nothing nested, a collection's members already in the
// order points, lines, polygons.
bool Canonical(Node const& n) {
  if (n.kind <= 3) return true;
  int previous = 0;
  for (Node const& k : n.members) {
    if (k.kind > 3 || (k.coords.empty() && k.rings.empty()) || k.kind < previous) return false;
    previous = k.kind;
  }
  return true;
}

template <class F>
bool Try(F&& f, SpatialPtr& out, std::string& error) {
  try {
    out = f();
    return true;
  } catch (std::exception const& e) {
    error = e.what();
    return false;
  }
}

void ReadBack(Tally& tally, Value const& v, std::string const& form,
              std::function<SpatialPtr()> const& read, bool geographic, bool text, bool densified,
              std::string const& source) {
  std::string const check = form + (geographic ? " geography" : " geometry");
  SpatialPtr got;
  std::string error;
  bool const ok = Try(read, got, error);
  bool const ewkt = form == "ST_AsEWKT";
  bool const text_form = form == "ST_AsText" || ewkt;
  // Text the grammar does not accept reads as Unknown; where it does read,
  // it must read right (checked below).
  if (ok && got->IsUnknown()) {
    if (ewkt && (v.z || v.m)) {
      return tally.Explain(check, "EWKT of Z or M values (no marker, or POINTM): Unknown");
    }
    if (text_form && HasEmptyMultiMember(v.root)) {
      return tally.Explain(
          check, "a multi value's EMPTY member in text, as in MULTIPOINT(EMPTY, (1 2)): Unknown");
    }
  }
  if (!v.geographic && v.srid != 0 && (form == "ST_AsEWKB" || ewkt)) {
    if (!ok && error == "Latitude must not exceed +/- 90") {
      return tally.Explain(check, "projected SRID read as a geography: latitude out of range");
    }
    if (ok && !got->IsUnknown()) {
      // All its latitudes happened to lie within +/-90.
      return tally.Explain(check, "projected SRID read as a geography: in range by chance");
    }
    return tally.Fail(check, v, "projected SRID: " + (ok ? std::string("read") : error), source);
  }
  if (!ok) return tally.Fail(check, v, "threw: " + error, source);
  if (got->IsUnknown()) return tally.Fail(check, v, "Unknown", source);
  if (got->IsGeography() != geographic) return tally.Fail(check, v, "wrong family", source);
  XY bias;
  Flat const want = Expected(v, geographic, bias);
  if (!geographic) {
    GeometryCoordinate::Bias const b = got->AsGeometry().GetBias();
    // From text the bias is the first coordinate as PostGIS printed it.
    if (!text && (b.GetX() != bias.first || b.GetY() != bias.second)) {
      return tally.Fail(check, v, "bias", source);
    }
  } else if (v.srid != 0 && (form == "ST_AsEWKB" || ewkt) &&
             got->AsGeography().GetOriginalSRID() != SRID(SRID::Authority::EPSG, v.srid)) {
    return tally.Fail(check, v, "SRID " + to_string(got->AsGeography().GetOriginalSRID()), source);
  }
  std::string why;
  Outcome outcome;
  if (!SameFlat(FlatOf(*got), want, Tolerance{geographic, text, false, bias}, densified, outcome,
                why)) {
    return tally.Fail(check, v, why, source);
  }
  if (outcome.degenerate > 0) {
    return tally.Explain(
        check, "a ring with a spike at its lowest vertex (data): orientation decided there");
  }
  if (outcome.removed > 0)
    return tally.Explain(check, "ring clean-up dropped near-duplicate or spike vertices (data)");
  tally.Pass(check);
}

struct Written {
  Flat held;           // what ostrel held
  Bytes wkb, ewkb;     // WkbSerialization::Write, PostgreSQLSerialization::WriteBinary
  std::string ewkt;    // PostgreSQLSerialization::WriteText
  std::uint32_t srid;  // expected ST_SRID of the extended forms
  bool geographic;
  bool exact;  // planar and held exactly: ST_Equals and byte identity
};

int Run(char const* conninfo) {
  Db db(conninfo);
  db.Exec("SET client_min_messages = warning");
  db.Exec("CREATE EXTENSION IF NOT EXISTS postgis");
  {
    Db::Result const r = db.Query("SELECT postgis_full_version()");
    std::printf("%s\n", r.Text(0, 0).c_str());
  }

  // The values: random ones of every kind and both families, and the data.
  std::vector<Value> values;
  Generator gen(2024);
  for (int i = 0; i < 7 * 600; ++i) {
    values.push_back(gen.Make(1 + i % 7, i % 2 == 1, i));
  }
  int data_values = 0;
  for (char const* file : {"countries50", "countries", "cities"}) {
    std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file + ".wkt");
    std::string line;
    int k = 0;
    while (std::getline(in, line)) {
      for (bool geographic : {false, true}) {
        Value v;
        v.root = DataWkt(line).Parse();
        v.geographic = geographic;
        v.srid = geographic ? 4326 : 0;
        v.name = std::string(file) + ":" + std::to_string(k) + (geographic ? " geog" : " geom");
        values.push_back(v);
        ++data_values;
      }
      ++k;
    }
  }
  std::printf("values: %zu (%zu random, %d from the Natural Earth files)\n", values.size(),
              values.size() - data_values, data_values);

  // PostgreSQL -> ostrel.
  db.Exec("CREATE TEMP TABLE input (id int PRIMARY KEY, ewkb bytea)");
  {
    Encoder encoder;
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < values.size(); ++i) {
      rows.push_back(std::to_string(i) + "\t" + HexBytea(encoder.Encode(values[i])) + "\n");
    }
    db.Copy("input", rows);
  }
  db.Exec("CREATE TEMP TABLE g AS SELECT id, ST_GeomFromEWKB(ewkb) AS geom FROM input");
  Db::Result const out = db.Query(
      "SELECT id, ST_AsBinary(geom), ST_AsEWKB(geom), ST_AsText(geom), ST_AsEWKT(geom), "
      "ST_AsBinary(ST_Force2D(geom), 'NDR') FROM g ORDER BY id");
  if (out.Rows() != static_cast<int>(values.size())) throw std::runtime_error("row count");

  Tally tally;
  std::vector<Written> written(values.size());
  for (int row = 0; row < out.Rows(); ++row) {
    auto const i = static_cast<std::size_t>(out.Int(row, 0));
    Value const& v = values[i];
    Bytes const wkb = out.Binary(row, 1), ewkb = out.Binary(row, 2), ndr2d = out.Binary(row, 5);
    std::string const text = out.Text(row, 3), ewkt = out.Text(row, 4);

    // Every value through the plain forms as a planar value, and (when its
    // coordinates are degrees) as a geography; through the extended forms as
    // the SRID decides.
    ReadBack(
        tally, v, "ST_AsBinary",
        [&] { return WkbSerialization::Read(wkb, CoordinateType::Geometry); }, false, false, false,
        text);
    ReadBack(
        tally, v, "ST_AsText",
        [&] { return WktSerialization::Read(text, CoordinateType::Geometry); }, false, true, false,
        text);
    if (v.geographic) {
      ReadBack(
          tally, v, "ST_AsBinary",
          [&] { return WkbSerialization::Read(wkb, CoordinateType::Geography); }, true, false, true,
          text);
      ReadBack(
          tally, v, "ST_AsText",
          [&] { return WktSerialization::Read(text, CoordinateType::Geography); }, true, true, true,
          text);
    }
    bool const as_geography = v.srid != 0;
    ReadBack(
        tally, v, "ST_AsEWKB", [&] { return PostgreSQLSerialization::ReadBinary(ewkb); },
        as_geography, false, false, ewkt);
    ReadBack(
        tally, v, "ST_AsEWKT", [&] { return PostgreSQLSerialization::ReadText(ewkt); },
        as_geography, true, false, ewkt);

    // ostrel -> PostgreSQL: the value as ostrel reads it from the extended
    // binary form (a geography when it has an SRID in degrees).
    if (!v.geographic && v.srid != 0) continue;  // read as nothing (see above)
    SpatialPtr const held = PostgreSQLSerialization::ReadBinary(ewkb);
    Written& w = written[i];
    w.held = FlatOf(*held);
    w.wkb = WkbSerialization::Write(*held);
    w.ewkb = PostgreSQLSerialization::WriteBinary(*held);
    w.ewkt = PostgreSQLSerialization::WriteText(*held);
    w.srid = v.srid;
    w.geographic = held->IsGeography();
    w.exact = !v.geographic && v.exact;
    if (w.exact) {
      // Planar values held exactly, in a layout ostrel keeps: the bytes
      // must be the same as PostGIS's own.
      if (Canonical(v.root)) {
        if (w.wkb == ndr2d) {
          tally.Pass("WKB bytes == ST_AsBinary(geom, 'NDR')");
        } else {
          tally.Fail("WKB bytes == ST_AsBinary(geom, 'NDR')", v, "bytes differ");
        }
      }
    }
  }

  // ostrel -> PostgreSQL, checked in one query.
  db.Exec(
      "CREATE TEMP TABLE back (id int PRIMARY KEY, wkb bytea, ewkb bytea, ewkt text, exact "
      "boolean)");
  {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (written[i].wkb.empty()) continue;
      rows.push_back(std::to_string(i) + "\t" + HexBytea(written[i].wkb) + "\t" +
                     HexBytea(written[i].ewkb) + "\t" + CopyText(written[i].ewkt) + "\t" +
                     (written[i].exact ? "t" : "f") + "\n");
    }
    db.Copy("back", rows);
  }
  Db::Result const res = db.Query(
      "WITH r AS (SELECT b.id, ST_GeomFromWKB(b.wkb) AS a, ST_GeomFromEWKB(b.ewkb) AS e, "
      "ST_GeomFromEWKT(b.ewkt) AS t, ST_Force2D(g.geom) AS o, b.exact FROM back b JOIN g USING "
      "(id)) "
      "SELECT id, ST_AsBinary(a), ST_AsBinary(e), ST_SRID(e), ST_AsBinary(t), ST_SRID(t), "
      "CASE WHEN exact AND GeometryType(o) NOT LIKE '%COLLECTION' AND ST_IsValid(a) AND "
      "ST_IsValid(o) "
      "THEN ST_Equals(a, o) END, CASE WHEN exact THEN ST_AsText(a) = ST_AsText(o) END FROM r ORDER "
      "BY id");
  for (int row = 0; row < res.Rows(); ++row) {
    auto const i = static_cast<std::size_t>(res.Int(row, 0));
    Value const& v = values[i];
    Written const& w = written[i];
    std::string why;
    Tolerance const exact{w.geographic, false, false, {0, 0}};
    Tolerance const six{w.geographic, true, true, {0, 0}};
    Outcome outcome;
    auto decode = [&](int col, Flat& f) {
      try {
        f = Decoder(res.Binary(row, col)).Decode();
        return true;
      } catch (std::exception const& e) {
        why = e.what();
        return false;
      }
    };
    std::string const family = w.geographic ? " geography" : " geometry";
    Flat a, e, t;
    if (decode(1, a) && SameFlat(a, w.held, exact, false, outcome, why)) {
      tally.Pass("WkbSerialization::Write -> ST_GeomFromWKB" + family);
    } else {
      tally.Fail("WkbSerialization::Write -> ST_GeomFromWKB" + family, v, why);
    }
    std::uint32_t const want_srid = w.geographic ? w.srid : 0;
    if (decode(2, e) && SameFlat(e, w.held, exact, false, outcome, why) &&
        res.Int(row, 3) == std::int32_t(want_srid)) {
      tally.Pass("WriteBinary -> ST_GeomFromEWKB" + family);
    } else {
      tally.Fail("WriteBinary -> ST_GeomFromEWKB" + family, v,
                 why + " srid " + std::to_string(res.Int(row, 3)));
    }
    if (decode(4, t) && SameFlat(t, w.held, six, false, outcome, why) &&
        res.Int(row, 5) == std::int32_t(want_srid)) {
      tally.Pass("WriteText -> ST_GeomFromEWKT" + family);
    } else {
      tally.Fail("WriteText -> ST_GeomFromEWKT" + family, v, why, w.ewkt);
    }
    if (w.exact && !res.Null(row, 6)) {
      if (res.Bool(row, 6)) {
        tally.Pass("ST_Equals(read back, original) exact planar");
      } else {
        tally.Fail("ST_Equals(read back, original) exact planar", v, "not equal");
      }
    }
    if (w.exact && !res.Null(row, 7)) {
      if (res.Bool(row, 7)) {
        tally.Pass("ST_AsText(read back) == ST_AsText(original) exact planar");
      } else {
        // Flattened collections and dropped empties are written differently.
        tally.Explain("ST_AsText(read back) == ST_AsText(original) exact planar",
                      "text differs where collections were flattened or empties dropped");
      }
    }
  }

  std::printf("\n%-62s %8s %8s %8s\n", "check", "compared", "passed", "failed");
  for (auto const& [check, n] : tally.compared) {
    std::printf("%-62s %8d %8d %8d\n", check.c_str(), n, tally.passed[check], tally.failed[check]);
  }
  std::printf("\nexplained differences:\n");
  for (auto const& [reason, n] : tally.explained) std::printf("  %6d  %s\n", n, reason.c_str());
  int const failures = tally.Failures();
  std::printf("\n%s: %d failures\n", failures == 0 ? "PASSED" : "FAILED", failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CONNINFO (run through scripts/postgis-test)\n", argv[0]);
    return 2;
  }
  try {
    return Run(argv[1]);
  } catch (std::exception const& e) {
    std::fprintf(stderr, "postgis check: %s\n", e.what());
    return 1;
  }
}
