// ostrel simplify: every value with its lines and rings simplified by a
// generalizer (Douglas-Peucker or Visvalingam-Whyatt), written in the output
// forms of convert.
//
// The generalizers choose which points of a run to keep; the kept points
// are the value's own coordinates, so a value that loses nothing is rebuilt
// with the same hash. Points are kept as they are.
//
// Geographic values are simplified in the plane of longitude and latitude
// in degrees (radians with --radians: the tolerance is in the unit of the
// input). Along a line or ring, a longitude that jumps by more than 180
// degrees from the previous one is continued across the antimeridian; a
// ring that goes around a pole that way (it does not close again once
// continued) is taken as written.
//
// Collapse: a line that loses points and keeps fewer than 2, or only one
// position, is dropped; a ring that loses points and keeps fewer than 4, or
// encloses no area in that plane, collapses: a hole is dropped, an exterior ring drops its polygon.
// Each drop is noted on standard error (FILE:LINE: note: ...). A value left
// with no point, line or polygon is not written: it is reported as a bad
// line, so the run ends with status 1.

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/writer.hpp"
#include "ostrel/core/angle.hpp"
#include "ostrel/operations/generalizer.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace ostrel_tool {

namespace {

using ostrel::Spatial;
using Run = std::vector<std::pair<double, double>>;

struct SimplifyOptions {
  InputOptions input;
  OutputOptions output;
  std::string algorithm = "dp";
  double tolerance = 0;
};

double DegreesOf(ostrel::Radians r) { return ostrel::Degrees(r).Get(); }

class RunAdapter : public ostrel::PointArrayAccessAdapter {
 public:
  explicit RunAdapter(Run const& run) : run_(run) {}
  std::pair<double, double> GetPoint(std::size_t i) const override { return run_[i]; }
  std::size_t GetSize() const override { return run_.size(); }

 private:
  Run const& run_;
};

// Continues longitudes across the antimeridian along a run of (longitude,
// latitude) degrees. A closed ring that no longer closes (it goes around a
// pole) is left as written.
void Unwrap(Run& run, bool ring) {
  Run unwrapped = run;
  double shift = 0;
  for (std::size_t i = 1; i < run.size(); ++i) {
    double const step = run[i].first - run[i - 1].first;
    if (step > 180) shift -= 360;
    if (step < -180) shift += 360;
    unwrapped[i].first = run[i].first + shift;
  }
  if (ring && shift != 0) return;
  run = std::move(unwrapped);
}

// Twice the signed area of a closed run, by the shoelace formula.
double DoubleArea(Run const& run) {
  double sum = 0;
  for (std::size_t i = 1; i < run.size(); ++i) {
    sum += (run[i - 1].first - run[0].first) * (run[i].second - run[0].second) -
           (run[i].first - run[0].first) * (run[i - 1].second - run[0].second);
  }
  return sum;
}

struct Counts {
  std::uint64_t values = 0;
  std::uint64_t before = 0;  // coordinates of lines and rings read
  std::uint64_t after = 0;   // and written
  std::uint64_t dropped_parts = 0;
  std::uint64_t noted_values = 0;
  std::uint64_t unnoted_values = 0;
};

class Simplifier {
 public:
  Simplifier(SimplifyOptions& options, Counts& counts)
      : options_(options),
        counts_(counts),
        generalizer_(options.algorithm == "vw" ? ostrel::MakeVisvalingamWhyattGeneralizer()
                                               : ostrel::MakeDouglasPeuckerGeneralizer()) {}

  void operator()(Source const& source, Spatial const& value) {
    notes_.clear();
    if (value.IsGeometry()) {
      Write(source, Simplify<ostrel::DefaultGeometry>(value.AsGeometry()));
    } else if (value.IsGeography()) {
      Write(source, Simplify<ostrel::DefaultGeography>(value.AsGeography()));
    } else {
      Write(source, nullptr, &value);
    }
  }

 private:
  // The indices of the points a run keeps, in order; `why` says why the
  // run collapses, or is empty when it stands. A ring whose first point
  // went (Visvalingam-Whyatt treats a ring as a cycle, and its last point
  // goes with its first) is closed again on its first kept point.
  std::vector<std::size_t> const& Keep(Run& run, bool geographic, bool ring, std::string& why) {
    why.clear();
    if (geographic) Unwrap(run, ring);
    RunAdapter const adapter(run);
    generalizer_->Generalize(adapter, keep_, options_.tolerance);
    kept_.clear();
    kept_run_.clear();
    for (std::size_t i = 0; i < run.size(); ++i) {
      if (keep_[i]) kept_.push_back(i);
    }
    // A run that keeps every point stands as it was read, degenerate or not:
    // only what simplifying made of it is judged.
    if (kept_.size() == run.size()) return kept_;
    std::string const of = std::to_string(kept_.size()) + " of " + std::to_string(run.size());
    if (ring && !kept_.empty() && run[kept_.front()] != run[kept_.back()]) {
      kept_.push_back(kept_.front());
    }
    for (std::size_t i : kept_) kept_run_.push_back(run[i]);
    if (ring) {
      if (kept_.size() < 4) {
        why = of + " points kept";
      } else if (DoubleArea(kept_run_) == 0) {
        why = of + " points kept, enclosing no area";
      }
    } else if (kept_.size() < 2) {
      why = of + " points kept";
    } else {
      bool one_position = true;
      for (auto const& p : kept_run_) one_position = one_position && p == kept_run_.front();
      if (one_position) why = of + " points kept, all at one position";
    }
    return kept_;
  }

  template <class Value, class G>
  ostrel::SpatialPtr Simplify(G const& g) {
    using C = typename G::Coordinate;
    constexpr bool kGeographic = std::is_same_v<C, ostrel::GeographyCoordinate>;
    typename Value::Points points;
    typename Value::Lines lines;
    typename Value::Polys polys;
    for (C const& c : g.GetPoints()) points.push_back(c);
    std::vector<C> coordinates;
    Run run;
    std::string why;
    auto load = [&](auto const& range) {
      coordinates.assign(range.begin(), range.end());
      run.clear();
      for (C const& c : coordinates) run.push_back(Plane(c));
      counts_.before += coordinates.size();
    };
    auto kept = [&](std::vector<std::size_t> const& keep) {
      typename Value::Points out;
      for (std::size_t i : keep) out.push_back(coordinates[i]);
      return out;
    };
    for (auto const& line : g.GetLines()) {
      load(line);
      auto const& keep = Keep(run, kGeographic, false, why);
      if (!why.empty()) {
        Note("line " + std::to_string(line.GetIndex()) + " collapsed (" + why + "): dropped");
        continue;
      }
      lines.push_back(kept(keep));
      counts_.after += lines.back().size();
    }
    for (auto const& poly : g.GetPolys()) {
      typename Value::Lines rings;
      std::uint64_t written = 0;
      for (auto const& ring : poly) {
        load(ring);
        auto const& keep = Keep(run, kGeographic, true, why);
        std::string const name = "polygon " + std::to_string(poly.GetIndex());
        if (!why.empty() && ring.GetIndex() == 0) {
          Note(name + " collapsed (its exterior ring: " + why + "): dropped");
          rings.clear();
          break;
        }
        if (!why.empty()) {
          Note(name + " hole " + std::to_string(ring.GetIndex()) + " collapsed (" + why +
               "): dropped");
          continue;
        }
        rings.push_back(kept(keep));
        written += rings.back().size();
      }
      if (rings.empty()) continue;
      counts_.after += written;
      polys.push_back(std::move(rings));
    }
    if (points.empty() && lines.empty() && polys.empty() &&
        (g.GetLines().size() > 0 || g.GetPolys().size() > 0)) {
      return nullptr;  // everything collapsed
    }
    return ostrel::MakeSpatial<Value>(g.GetShapeType(), points, lines, polys, g.GetAttributes());
  }

  static std::pair<double, double> Plane(ostrel::GeometryCoordinate const& c) {
    return {c.GetX(), c.GetY()};
  }
  static std::pair<double, double> Plane(ostrel::GeographyCoordinate const& c) {
    return {DegreesOf(c.GetLongitude()), DegreesOf(c.GetLatitude())};
  }

  void Note(std::string text) {
    ++counts_.dropped_parts;
    notes_.push_back(std::move(text));
  }

  void Write(Source const& source, ostrel::SpatialPtr const& simplified,
             Spatial const* unchanged = nullptr) {
    if (!notes_.empty() && simplified) {
      if (counts_.noted_values < static_cast<std::uint64_t>(options_.input.max_errors)) {
        ++counts_.noted_values;
        HideProgress();
        std::cout.flush();  // keeps the notes in order with the values written
        std::cerr << source.name << ':' << source.line << ": note: ";
        for (std::size_t k = 0; k < notes_.size(); ++k) {
          std::cerr << (k > 0 ? "; " : "") << notes_[k];
        }
        std::cerr << '\n';
      } else {
        ++counts_.unnoted_values;
      }
    }
    if (!simplified && unchanged == nullptr) {
      throw std::invalid_argument("every line and polygon collapsed at tolerance " + Tolerance() +
                                  ": nothing left to write");
    }
    std::string const text = WriteValue(options_.output, simplified ? *simplified : *unchanged);
    std::cout << text << '\n';
    ++counts_.values;
  }

  std::string Tolerance() const {
    char text[40];
    std::snprintf(text, sizeof text, "%g", options_.tolerance);
    return text;
  }

  SimplifyOptions& options_;
  Counts& counts_;
  std::unique_ptr<ostrel::Generalizer> generalizer_;
  std::vector<bool> keep_;
  std::vector<std::size_t> kept_;
  Run kept_run_;
  std::vector<std::string> notes_;
};

int RunSimplify(SimplifyOptions& options) {
  if (options.input.radians) options.tolerance *= 180 / 3.14159265358979323846;
  Counts counts;
  Simplifier simplify(options, counts);
  ReadTotals const read = ReadValues(
      options.input, [&](Source const& source, Spatial const& value) { simplify(source, value); });
  std::cout.flush();
  if (counts.unnoted_values > 0) {
    std::cerr << "ostrel: note: " << counts.unnoted_values << " more value"
              << (counts.unnoted_values == 1 ? "" : "s") << " with collapsed parts not noted\n";
  }
  char line[200];
  std::snprintf(
      line, sizeof line,
      "ostrel: simplify: %llu value%s written, %llu of %llu line and ring coordinates "
      "kept, %llu collapsed part%s dropped\n",
      static_cast<unsigned long long>(counts.values), counts.values == 1 ? "" : "s",
      static_cast<unsigned long long>(counts.after), static_cast<unsigned long long>(counts.before),
      static_cast<unsigned long long>(counts.dropped_parts), counts.dropped_parts == 1 ? "" : "s");
  std::cerr << line;
  Report(options.output);
  return Finish(read, options.input);
}

CLI::Validator const& FiniteNonNegative() {
  static CLI::Validator const validator(
      [](std::string& text) -> std::string {
        try {
          std::size_t used = 0;
          double const d = std::stod(text, &used);
          if (used == text.size() && std::isfinite(d) && d >= 0) return {};
        } catch (std::exception const&) {
        }
        return "must be a finite number of 0 or more, not " + text;
      },
      "T>=0");
  return validator;
}

}  // namespace

Runner AddSimplify(CLI::App& app) {
  auto options = std::make_shared<SimplifyOptions>();
  auto* command =
      app.add_subcommand("simplify", "Simplify the lines and rings of every value and write it");
  AddInputOptions(*command, options->input);
  AddOutputOptions(*command, options->output);
  command
      ->add_option("--algorithm", options->algorithm,
                   "dp (Douglas-Peucker: drops points within T of the kept line)\n"
                   "or vw (Visvalingam-Whyatt: drops points whose triangle with\n"
                   "their neighbours has a doubled area below T squared)")
      ->check(CLI::IsMember({"dp", "vw"}))
      ->capture_default_str();
  command
      ->add_option("--tolerance", options->tolerance,
                   "in the units of the coordinates: planar units, or degrees of\n"
                   "longitude/latitude (radians with --radians)")
      ->required()
      ->check(FiniteNonNegative())
      ->type_name("T");
  command->footer(
      std::string("Points are kept; each line and ring keeps the points the algorithm chooses, at\n"
                  "their own coordinates. Geographic values are simplified in the plane of\n"
                  "longitude and latitude (longitudes continued across the antimeridian along a\n"
                  "run), not on the ellipsoid. A line left with fewer than 2 points (or one\n"
                  "position) is dropped; a ring left with fewer than 4 points (or no area)\n"
                  "collapses: a hole is dropped, an exterior ring drops its polygon. Drops are\n"
                  "noted on standard error as FILE:LINE: note: ... (at most --max-errors values\n"
                  "noted). A value with nothing left is not written and is reported as a bad\n"
                  "line. The result is not checked for validity: rings may come to cross.\n"
                  "With --algorithm dp and tolerance 0 only points whose computed distance to\n"
                  "a straight run is exactly 0 are dropped; with vw and tolerance 0 none is.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunSimplify(*options) : -1; };
}

}  // namespace ostrel_tool
