// The forms the tool reads and writes, one value per line, and what they
// have in common: their names, the hexadecimal lines of the binary forms, the
// guess of a form from a line, and one call per direction over the library's
// readers and writers.
//
// A binary form is one hexadecimal value per line, as PostgreSQL prints a
// bytea or a geometry column: digits in either case, optionally after a 0x
// (as SQL Server prints them) or \x (PostgreSQL's bytea escape) prefix. The
// tool writes upper-case digits without a prefix. The Oracle element form is
// such a line too: the bytes OracleSerialization reads (lead byte,
// multi-element flag, then per element the gtype, SRID, triplets and
// ordinates, all little-endian).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/srid.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel_tool {

enum class Form {
  Owkt,
  Wkt,
  Ewkt,
  Wkb,
  Ewkb,
  SqlServer,
  Oracle,
  Legacy,            // reads plain and compressed streams; writes plain
  LegacyCompressed,  // writes only
};

char const* FormName(Form form);
std::optional<Form> FormByName(std::string_view name);

// The names --from and --to accept.
std::vector<std::string> const& InputFormNames();
std::vector<std::string> const& OutputFormNames();

bool IsBinary(Form form);

// SQL Server and Oracle read a value as geographic when its SRID lies in
// this range, as planar otherwise; the tool decides plain WKT and WKB by
// the same rule when --srid is given.
inline bool InGeographyRange(std::int64_t srid) { return srid >= 4120 && srid < 5000; }

// The bytes of a hexadecimal line. On failure returns false with the 0-based
// offset of the offending character in `text` and the reason.
bool DecodeHex(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& offset,
               std::string& why);
std::string EncodeHex(std::span<std::uint8_t const> bytes);

// The form a line most likely is, from its first bytes: a legacy signature,
// a WKB byte order and type code (EWKB when the code has PostgreSQL's SRID,
// Z or M flags), an Oracle lead byte and gtype, a SQL Server version and
// valid bit; text is OWKT, which reads plain WKT too. Empty when the line is
// hexadecimal but none of these.
std::optional<Form> GuessForm(std::string_view line);

// The library's reader of a form (not OWKT). `family` (Geometry or
// Geography) is used by the WKT and WKB readers only; the others decide
// from the value. Throws what the reader throws.
ostrel::SpatialPtr ReadText(Form form, std::string const& text, ostrel::CoordinateType family);
ostrel::SpatialPtr ReadBytes(Form form, std::vector<std::uint8_t> const& bytes,
                             ostrel::CoordinateType family);

// The library's writer of a form (not OWKT): text, or bytes as hexadecimal.
// `precision` is the grid of LegacyCompressed. Throws what the writer throws.
std::string WriteForm(Form form, ostrel::Spatial const& value, std::int8_t precision);
// The bytes of a binary form.
std::vector<std::uint8_t> WriteBytes(Form form, ostrel::Spatial const& value,
                                     std::int8_t precision);

// The same value with both SRIDs set to `srid`, in the default format, other
// attributes, coordinates and shape type kept. Unknown and Identifying values
// are returned as they are.
ostrel::SpatialPtr WithSrid(ostrel::SpatialPtr value, ostrel::SRID srid);

// The original SRID of a planar or geographic value; SRID::None() for the
// others.
ostrel::SRID OriginalSrid(ostrel::Spatial const& value);

// "default", "legacy", "ogr", or "-" for a value of no storage format
// (Unknown, Identifying).
char const* StorageFormat(ostrel::Spatial const& value);

}  // namespace ostrel_tool
