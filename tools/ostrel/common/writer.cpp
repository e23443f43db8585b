#include "common/writer.hpp"

#include <iostream>

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

}  // namespace

std::vector<std::string> const& OutputForms() {
  static std::vector<std::string> const forms = {"owkt"};
  return forms;
}

void AddOutputOptions(CLI::App& app, OutputOptions& options) {
  app.add_option("--to", options.to, "output form")
      ->check(CLI::IsMember(OutputForms()))
      ->capture_default_str();
  app.add_option("--digits", options.digits,
                 "OWKT: the library's classic text with N significant digits\n"
                 "(--digits 6 is exactly OWKT::To); default: lossless text")
      ->check(CLI::Range(1, 17))
      ->type_name("N");
}

std::string WriteValue(OutputOptions& options, Spatial const& value) {
  if (options.digits == 0) return ostrel::OWKT::To(value, ostrel::OWKT::WriteOptions::Lossless());
  if (!ClassicKeepsKindAndAttributes(value)) ++options.changed;
  return ostrel::OWKT::To(value, ostrel::OWKT::WriteOptions{options.digits, false});
}

void Report(OutputOptions const& options) {
  if (options.changed == 0) return;
  std::cerr << "ostrel: note: " << options.changed << " value"
            << (options.changed == 1 ? " was" : "s were")
            << " written in the classic spellings, which read back as another kind or\n"
               "with other attributes; without --digits the text reads back as it was\n";
}

}  // namespace ostrel_tool
