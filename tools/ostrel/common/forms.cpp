#include "common/forms.hpp"

#include <array>

#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/serialization/oracle.hpp"
#include "ostrel/serialization/postgresql.hpp"
#include "ostrel/serialization/sql_server.hpp"
#include "ostrel/serialization/wkb.hpp"
#include "ostrel/serialization/wkt.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace ostrel_tool {

namespace {

using ostrel::CoordinateType;
using ostrel::Spatial;
using ostrel::SpatialPtr;

struct Named {
  Form form;
  char const* name;
};

// In the order --help lists them.
constexpr std::array<Named, 9> kForms = {{
    {Form::Owkt, "owkt"},
    {Form::Wkt, "wkt"},
    {Form::Ewkt, "ewkt"},
    {Form::Wkb, "wkb"},
    {Form::Ewkb, "ewkb"},
    {Form::SqlServer, "sqlserver"},
    {Form::Oracle, "oracle"},
    {Form::Legacy, "legacy"},
    {Form::LegacyCompressed, "legacy-compressed"},
}};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of a 0x or \x prefix at the start of `text`, or 0.
std::size_t HexPrefix(std::string_view text) {
  if (text.size() >= 2 && (text[0] == '0' || text[0] == '\\') &&
      (text[1] == 'x' || text[1] == 'X')) {
    return 2;
  }
  return 0;
}

std::uint32_t Word(std::vector<std::uint8_t> const& b, std::size_t at, bool little) {
  std::uint32_t w = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    std::uint32_t const byte = b[at + (little ? 3 - i : i)];
    w = (w << 8) | byte;
  }
  return w;
}

template <class DefaultT, class G>
SpatialPtr Rebuild(G const& value, typename G::Attributes const& attributes) {
  using Points = typename DefaultT::Points;
  using Lines = typename DefaultT::Lines;
  using Polys = typename DefaultT::Polys;
  Points points;
  Lines lines;
  Polys polys;
  for (auto const& c : value.GetPoints()) points.push_back(c);
  for (auto const& line : value.GetLines()) {
    Points& out = lines.emplace_back();
    for (auto const& c : line) out.push_back(c);
  }
  for (auto const& poly : value.GetPolys()) {
    Lines& rings = polys.emplace_back();
    for (auto const& ring : poly) {
      Points& out = rings.emplace_back();
      for (auto const& c : ring) out.push_back(c);
    }
  }
  return ostrel::MakeSpatial<DefaultT>(value.GetShapeType(), points, lines, polys, attributes);
}

}  // namespace

char const* FormName(Form form) {
  for (auto const& [f, name] : kForms) {
    if (f == form) return name;
  }
  return "?";
}

std::optional<Form> FormByName(std::string_view name) {
  for (auto const& [form, n] : kForms) {
    if (name == n) return form;
  }
  return std::nullopt;
}

std::vector<std::string> const& InputFormNames() {
  static std::vector<std::string> const names = [] {
    std::vector<std::string> v;
    for (auto const& [form, name] : kForms) {
      if (form != Form::LegacyCompressed) v.emplace_back(name);
    }
    return v;
  }();
  return names;
}

std::vector<std::string> const& OutputFormNames() {
  static std::vector<std::string> const names = [] {
    std::vector<std::string> v;
    for (auto const& named : kForms) v.emplace_back(named.name);
    return v;
  }();
  return names;
}

bool IsBinary(Form form) { return form != Form::Owkt && form != Form::Wkt && form != Form::Ewkt; }

bool DecodeHex(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& offset,
               std::string& why) {
  bytes.clear();
  std::size_t const start = HexPrefix(text);
  std::size_t const digits = text.size() - start;
  bytes.reserve(digits / 2);
  for (std::size_t i = start; i < text.size(); ++i) {
    if (HexDigit(text[i]) < 0) {
      offset = i;
      why = "expected a hexadecimal digit, found '" + std::string(1, text[i]) + "'";
      return false;
    }
  }
  if (digits == 0) {
    offset = start;
    why = "expected hexadecimal digits after the prefix";
    return false;
  }
  if (digits % 2 != 0) {
    offset = text.size() - 1;
    why = "an odd number of hexadecimal digits (" + std::to_string(digits) +
          "): the last byte is cut";
    return false;
  }
  for (std::size_t i = start; i < text.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1])));
  }
  return true;
}

std::string EncodeHex(std::span<std::uint8_t const> bytes) {
  static char const digits[] = "0123456789ABCDEF";
  std::string out(bytes.size() * 2, '0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[2 * i] = digits[bytes[i] >> 4];
    out[2 * i + 1] = digits[bytes[i] & 0xF];
  }
  return out;
}

std::optional<Form> GuessForm(std::string_view line) {
  std::size_t const start = HexPrefix(line);
  // Enough leading bytes to tell the headers apart; a line that is not all
  // hexadecimal (and has no prefix) is text.
  std::vector<std::uint8_t> b;
  std::size_t i = start;
  for (; i + 1 < line.size() && b.size() < 16; i += 2) {
    int const hi = HexDigit(line[i]);
    int const lo = HexDigit(line[i + 1]);
    if (hi < 0 || lo < 0) break;
    b.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  if (start == 0) {
    for (char c : line) {
      if (HexDigit(c) < 0) return Form::Owkt;
    }
  }
  if (b.size() >= 2 && b[0] == 0x07 && b[1] == 0xAA) return Form::Legacy;
  // SQL Server with SRID 0 looks like big-endian WKB of type 1 or 2; its
  // properties byte (valid bit set, no bit above 0x10) tells them apart.
  auto sql_server_header = [&] {
    return b.size() >= 6 && (b[4] == 1 || b[4] == 2) && (b[5] & 0x04) != 0;
  };
  if (sql_server_header() && (b[5] & 0xE0) == 0) return Form::SqlServer;
  if (b.size() >= 5 && b[0] <= 1) {
    std::uint32_t const code = Word(b, 1, b[0] == 1);
    std::uint32_t const plain = code & 0x1FFFFFFF;
    if ((code & 0xE0000000) != 0 && plain >= 1 && plain <= 7) return Form::Ewkb;
    if (code % 1000 >= 1 && code % 1000 <= 7 && code / 1000 <= 3) return Form::Wkb;
  }
  if (b.size() >= 6 && b[1] <= 1) {
    std::uint32_t const gtype = Word(b, 2, true);
    if (gtype % 100 <= 7 && gtype / 1000 >= 2 && gtype / 1000 <= 4) return Form::Oracle;
  }
  if (sql_server_header()) return Form::SqlServer;
  return std::nullopt;
}

SpatialPtr ReadText(Form form, std::string const& text, CoordinateType family) {
  if (form == Form::Wkt) return ostrel::WktSerialization::Read(text, family);
  return ostrel::PostgreSQLSerialization::ReadText(text);
}

SpatialPtr ReadBytes(Form form, std::vector<std::uint8_t> const& bytes, CoordinateType family) {
  switch (form) {
    case Form::Wkb: return ostrel::WkbSerialization::Read(bytes, family);
    case Form::Ewkb: return ostrel::PostgreSQLSerialization::ReadBinary(bytes);
    case Form::SqlServer: return ostrel::SqlServerSerialization::Read(bytes);
    case Form::Oracle: return ostrel::OracleSerialization::Read(bytes);
    default: return ostrel::LegacySerialization::Read(bytes);
  }
}

std::vector<std::uint8_t> WriteBytes(Form form, Spatial const& value, std::int8_t precision) {
  switch (form) {
    case Form::Wkb: return ostrel::WkbSerialization::Write(value);
    case Form::Ewkb: return ostrel::PostgreSQLSerialization::WriteBinary(value);
    case Form::SqlServer: return ostrel::SqlServerSerialization::Write(value);
    case Form::Oracle: return ostrel::OracleSerialization::Write(value);
    default: {
      bool const compressed = form == Form::LegacyCompressed;
      auto const bytes = ostrel::LegacySerialization::Write(value, compressed ? 2 : 0, precision);
      return {bytes.begin(), bytes.end()};
    }
  }
}

std::string WriteForm(Form form, Spatial const& value, std::int8_t precision) {
  if (form == Form::Wkt) return ostrel::WktSerialization::Write(value);
  if (form == Form::Ewkt) return ostrel::PostgreSQLSerialization::WriteText(value);
  return EncodeHex(WriteBytes(form, value, precision));
}

SpatialPtr WithSrid(SpatialPtr value, ostrel::SRID srid) {
  if (value->IsGeometry()) {
    auto const& g = value->AsGeometry();
    ostrel::Geometry::Attributes a = g.GetAttributes();
    a.original_srid = a.converted_srid = srid;
    return Rebuild<ostrel::DefaultGeometry>(g, a);
  }
  if (value->IsGeography()) {
    auto const& g = value->AsGeography();
    ostrel::Geography::Attributes a = g.GetAttributes();
    a.original_srid = a.converted_srid = srid;
    return Rebuild<ostrel::DefaultGeography>(g, a);
  }
  return value;
}

ostrel::SRID OriginalSrid(Spatial const& value) {
  if (value.IsGeometry()) return value.AsGeometry().GetOriginalSRID();
  if (value.IsGeography()) return value.AsGeography().GetOriginalSRID();
  return ostrel::SRID::None();
}

char const* StorageFormat(Spatial const& value) {
  unsigned int const id = value.GetFormatInfo().first;
  if (id == ostrel::DefaultFormat::GetRegisteredFormatInfo().first) return "default";
  if (id == ostrel::LegacyFormat::GetRegisteredFormatInfo().first) return "legacy";
  if (id == ostrel::OgrFormat::GetRegisteredFormatInfo().first) return "ogr";
  return "-";
}

}  // namespace ostrel_tool
