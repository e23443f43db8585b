// ostrel convert: every value written back as OWKT, one per line.
//
// By default the text is lossless: it reads back, without --geography or
// --geometry, as a value of the same kind with the same attributes,
// coordinates and hash (OWKT::WriteOptions::Lossless). --digits N writes the
// classic text of the library with N significant digits instead (--digits 6
// is exactly OWKT::To), and says at the end how many values were written in
// a form that does not read back as they were.

#include <cstdint>
#include <iostream>
#include <string>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel_tool {

namespace {

using ostrel::Spatial;
using ostrel::SRID;

struct ConvertOptions {
  InputOptions input;
  std::string to = "owkt";
  int digits = 0;  // 0: lossless
};

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

int RunConvert(ConvertOptions const& options) {
  ostrel::OWKT::WriteOptions const write = options.digits == 0
                                               ? ostrel::OWKT::WriteOptions::Lossless()
                                               : ostrel::OWKT::WriteOptions{options.digits, false};
  std::uint64_t changed = 0;
  ReadTotals const read = ReadValues(options.input, [&](Source const&, Spatial const& value) {
    std::cout << ostrel::OWKT::To(value, write) << '\n';
    if (options.digits != 0 && !ClassicKeepsKindAndAttributes(value)) ++changed;
  });
  std::cout.flush();
  if (read.lost_ordinates > 0) {
    std::cerr << "ostrel: note: " << read.lost_ordinates << " value"
              << (read.lost_ordinates == 1 ? " had its" : "s had their")
              << " Z or M numbers dropped (OWKT keeps x and y)\n";
  }
  if (changed > 0) {
    std::cerr << "ostrel: note: " << changed << " value" << (changed == 1 ? " was" : "s were")
              << " written in the classic spellings, which read back as another kind or\n"
                 "with other attributes; without --digits the text reads back as it was\n";
  }
  return Finish(read, options.input);
}

}  // namespace

Runner AddConvert(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  auto* command = app.add_subcommand("convert", "Write every value back as OWKT, one per line");
  AddInputOptions(*command, options->input);
  command->add_option("--to", options->to, "output format")
      ->check(CLI::IsMember({"owkt"}))
      ->capture_default_str();
  command
      ->add_option("--digits", options->digits,
                   "write the library's classic text with N significant digits\n"
                   "(--digits 6 is exactly OWKT::To); default: lossless text")
      ->check(CLI::Range(1, 17))
      ->type_name("N");
  command->footer(
      std::string(
          "Lossless text (the default) reads back, without --geography or --geometry, as\n"
          "values of the same kind with the same attributes, coordinates and hashes:\n"
          "numbers get as many digits as that needs, a geographic value with default\n"
          "attributes is marked ORIGINALSRID=EPSG:4326, a planar one with an SRID BIAS=0:0,\n"
          "and winding orders and SR-ORG are spelled as the reader expects.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunConvert(*options) : -1; };
}

}  // namespace ostrel_tool
