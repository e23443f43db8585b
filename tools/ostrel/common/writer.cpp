#include "common/writer.hpp"

#include <iostream>
#include <sstream>
#include <stdexcept>

#include "common/forms.hpp"

#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel_tool {

namespace {

using ostrel::Spatial;
using ostrel::SRID;

bool Real(SRID srid) { return srid.GetAuthority() != SRID::Authority::None; }

// Whether the classic text keeps the kind and attributes of a value: it
// spells SR-ORG and INTERIOR-RIGHT in ways the reader does not know, and
// writes no attribute that tells the reader a value's kind when the
// attributes are defaults.
bool ClassicKeepsKindAndAttributes(Spatial const& value) {
  if (value.IsGeography()) {
    auto const& a = value.AsGeography().GetAttributes();
    ostrel::Geography::Attributes const d;
    if (a.winding_order == ostrel::WindingOrder::InteriorRight) return false;
    bool const original = a.original_srid != d.original_srid;
    bool const converted = a.converted_srid != d.converted_srid;
    if ((original && a.original_srid.GetAuthority() == SRID::Authority::SR_ORG) ||
        (converted && a.converted_srid.GetAuthority() == SRID::Authority::SR_ORG)) {
      return false;
    }
    return a.topological_type != d.topological_type || a.winding_order != d.winding_order ||
           (converted && Real(a.converted_srid)) || (original && Real(a.original_srid));
  }
  if (value.IsGeometry()) {
    auto const& a = value.AsGeometry().GetAttributes();
    ostrel::Geometry::Attributes const d;
    bool const original = a.original_srid != d.original_srid;
    bool const converted = a.converted_srid != d.converted_srid;
    if ((original && a.original_srid.GetAuthority() == SRID::Authority::SR_ORG) ||
        (converted && a.converted_srid.GetAuthority() == SRID::Authority::SR_ORG)) {
      return false;
    }
    return a.bias != d.bias ||
           !((original && Real(a.original_srid)) || (converted && Real(a.converted_srid)));
  }
  return true;
}

// Coordinates and parts as a reader gives them back.
struct Parts {
  ostrel::CoordinateType type = ostrel::CoordinateType::Unknown;
  ostrel::ShapeType shape = ostrel::ShapeType::Empty;
  std::uint64_t points = 0, lines = 0, polys = 0, rings = 0;

  bool operator==(Parts const&) const = default;
};

template <class G>
Parts CountParts(G const& g) {
  Parts p;
  p.points = g.GetPoints().size();
  p.lines = g.GetLines().size();
  for (auto const& poly : g.GetPolys()) {
    ++p.polys;
    p.rings += poly.size();
  }
  return p;
}

Parts PartsOf(Spatial const& value) {
  Parts p;
  if (value.IsGeometry()) p = CountParts(value.AsGeometry());
  if (value.IsGeography()) p = CountParts(value.AsGeography());
  p.type = value.GetCoordinateType();
  p.shape = value.GetShapeType();
  return p;
}

std::string Describe(Parts const& p) {
  std::ostringstream os;
  if (p.type == ostrel::CoordinateType::Geometry || p.type == ostrel::CoordinateType::Geography) {
    os << (p.type == ostrel::CoordinateType::Geography ? "geographic " : "planar ") << p.shape
       << " of " << p.points << " points, " << p.lines << " lines, " << p.polys << " polygons, "
       << p.rings << " rings";
  } else {
    os << p.type;
  }
  return os.str();
}

bool CarriesSrid(Form form) {
  return form == Form::Ewkt || form == Form::Ewkb || form == Form::SqlServer ||
         form == Form::Oracle;
}

// A value whose family or SRID the form would change, with the reason; these
// are said before writing, in words that name the rule.
void CheckSrid(Form form, Spatial const& value) {
  if (!value.IsGeometry() && !value.IsGeography()) return;
  SRID const srid = OriginalSrid(value);
  std::string const name = FormName(form);
  if (form == Form::Ewkt || form == Form::Ewkb) {
    if (value.IsGeography() && srid.GetAuthority() != SRID::Authority::EPSG) {
      throw std::invalid_argument(name + " cannot hold a geography with SRID " +
                                  ostrel::to_string(srid) +
                                  ": only an EPSG SRID marks a geography, it would read back "
                                  "planar");
    }
    if (value.IsGeometry() && srid.GetID() != 0) {
      throw std::invalid_argument(name + " cannot hold the SRID " + ostrel::to_string(srid) +
                                  " of a planar value: an SRID there marks a geography");
    }
  }
  if (form == Form::SqlServer || form == Form::Oracle) {
    bool const geographic = InGeographyRange(srid.GetID());
    if (value.IsGeography() && !geographic) {
      throw std::invalid_argument(name + " reads SRID " + std::to_string(srid.GetID()) +
                                  " as planar: a geography needs an SRID in [4120, 5000)");
    }
    if (value.IsGeometry() && geographic) {
      throw std::invalid_argument(name + " reads SRID " + std::to_string(srid.GetID()) +
                                  " as geographic: a planar value needs an SRID outside "
                                  "[4120, 5000)");
    }
  }
}

// Reads `line` back and refuses the value when the form did not hold it;
// counts what the form changed by its nature.
void CheckReadBack(OutputOptions& options, Form form, Spatial const& value, std::string const& text,
                   std::vector<std::uint8_t> const& bytes) {
  std::string const name = FormName(form);
  ostrel::CoordinateType const family =
      value.IsGeography() ? ostrel::CoordinateType::Geography : ostrel::CoordinateType::Geometry;
  ostrel::SpatialPtr back;
  try {
    Form const reader = form == Form::LegacyCompressed ? Form::Legacy : form;
    back = IsBinary(form) ? ReadBytes(reader, bytes, family) : ReadText(reader, text, family);
  } catch (std::exception const& e) {
    throw std::invalid_argument(name +
                                " cannot hold this value: what is written does not read "
                                "back (" +
                                e.what() + ")");
  }
  Parts const want = PartsOf(value);
  Parts const got = PartsOf(*back);
  if (!(want == got)) {
    throw std::invalid_argument(name + " cannot hold this value: it reads back as " +
                                Describe(got) + ", not " + Describe(want));
  }
  if (CarriesSrid(form) && OriginalSrid(*back).GetID() != OriginalSrid(value).GetID()) {
    throw std::invalid_argument(name + " cannot hold this value: it reads back with SRID " +
                                ostrel::to_string(OriginalSrid(*back)) + ", not " +
                                ostrel::to_string(OriginalSrid(value)));
  }
  if (back->GetHash() != value.GetHash()) ++options.changed;
  if (value.IsGeography() && (form == Form::Wkt || form == Form::Wkb)) ++options.family_unsaid;
}

// What each form changes by its nature, for the note of Report().
char const* Changes(Form form) {
  switch (form) {
    case Form::Wkt: return "6 significant digits, no SRID or other attributes";
    case Form::Ewkt: return "6 significant digits, no attributes but an EPSG SRID";
    case Form::Wkb:
      return "no SRID or other attributes; the reader gives planar values the bias of their "
             "first coordinate, densifies geographic edges and cleans and orients geographic "
             "rings";
    case Form::Ewkb:
      return "no attributes but an EPSG SRID; the reader gives planar values the bias of their "
             "first coordinate and cleans and orients geographic rings";
    case Form::SqlServer:
    case Form::Oracle:
      return "no attributes but the SRID number; the reader cleans geographic rings and gives "
             "planar values the bias of their first coordinate";
    case Form::Legacy:
      return "no attributes (a geography has SRID EPSG:4326, a planar value none and no bias)";
    case Form::LegacyCompressed:
      return "coordinates on the grid of 10^-precision (radians for geographic values), and no "
             "attributes";
    default: return "";
  }
}

Form Target(OutputOptions const& options) { return FormByName(options.to).value_or(Form::Owkt); }

}  // namespace

std::vector<std::string> const& OutputForms() { return OutputFormNames(); }

void AddOutputOptions(CLI::App& app, OutputOptions& options) {
  app.add_option("--to", options.to,
                 "output form: owkt, wkt or ewkt text; wkb, ewkb, sqlserver, oracle,\n"
                 "legacy or legacy-compressed as one hexadecimal value per line")
      ->check(CLI::IsMember(OutputForms()))
      ->type_name("FORM")
      ->capture_default_str();
  app.add_option("--digits", options.digits,
                 "OWKT: the library's classic text with N significant digits\n"
                 "(--digits 6 is exactly OWKT::To); default: lossless text")
      ->check(CLI::Range(1, 17))
      ->type_name("N");
  app.add_option("--precision", options.precision,
                 "legacy-compressed: coordinates on the grid 10^-P (geographic ones in\n"
                 "radians)")
      ->check(CLI::Range(-128, 127))
      ->type_name("P")
      ->capture_default_str();
  // The input layer takes the parse-complete callback; this one runs after it.
  app.final_callback([&app, &options] {
    if (app.count("--digits") > 0 && options.to != "owkt") {
      throw CLI::ValidationError("--digits", "applies to --to owkt only");
    }
    if (app.count("--precision") > 0 && options.to != "legacy-compressed") {
      throw CLI::ValidationError("--precision", "applies to --to legacy-compressed only");
    }
  });
}

std::string WriteValue(OutputOptions& options, Spatial const& value) {
  Form const form = Target(options);
  if (form != Form::Owkt) {
    CheckSrid(form, value);
    auto const precision = static_cast<std::int8_t>(options.precision);
    if (IsBinary(form)) {
      std::vector<std::uint8_t> const bytes = WriteBytes(form, value, precision);
      CheckReadBack(options, form, value, {}, bytes);
      return EncodeHex(bytes);
    }
    std::string text = WriteForm(form, value, precision);
    CheckReadBack(options, form, value, text, {});
    return text;
  }
  if (options.digits == 0) return ostrel::OWKT::To(value, ostrel::OWKT::WriteOptions::Lossless());
  if (!ClassicKeepsKindAndAttributes(value)) ++options.changed;
  return ostrel::OWKT::To(value, ostrel::OWKT::WriteOptions{options.digits, false});
}

void Report(OutputOptions const& options) {
  Form const form = Target(options);
  if (form != Form::Owkt) {
    if (options.changed > 0) {
      std::cerr << "ostrel: note: " << options.changed << " value"
                << (options.changed == 1 ? " reads" : "s read") << " back from " << options.to
                << " with another hash (" << Changes(form) << ")\n";
    }
    if (options.family_unsaid > 0) {
      std::cerr << "ostrel: note: " << options.family_unsaid << " geographic value"
                << (options.family_unsaid == 1 ? " was" : "s were") << " written as " << options.to
                << ", which does not say so: read " << (options.family_unsaid == 1 ? "it" : "them")
                << " back with --geography\n";
    }
    return;
  }
  if (options.changed == 0) return;
  std::cerr << "ostrel: note: " << options.changed << " value"
            << (options.changed == 1 ? " was" : "s were")
            << " written in the classic spellings, which read back as another kind or\n"
               "with other attributes; without --digits the text reads back as it was\n";
}

}  // namespace ostrel_tool
