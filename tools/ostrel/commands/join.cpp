// ostrel join POLYGONS POINTS: every pair of a value of the first file and a
// value of the second that intersect (IndexedIntersects: polygons against
// points), as TSV of their line numbers, sorted.
//
// Both files are read whole first (values that are neither polygonal nor
// point-like are counted but not kept: they never intersect). The join then
// runs its phases on a small pool of --threads threads owned by this file;
// the library itself starts none. A summary goes to standard error: values
// read from each side, candidate pairs (boxes that meet), matches, and the
// time of the join proper (reading excluded) with its rate.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "commands/commands.hpp"
#include "common/input.hpp"
#include "common/output.hpp"
#include "ostrel/operations/indexed_intersects.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace ostrel_tool {

namespace {

using ostrel::ShapeType;
using ostrel::Spatial;

struct JoinOptions {
  InputOptions input;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
};

// A fixed set of threads that runs "call task(i) for every i in [0, n)"
// jobs, the calling thread working alongside them. Indices are handed out
// in chunks from an atomic counter, so uneven tasks (a large polygon among
// small ones) still spread. The first exception a task throws stops the
// handing out and is rethrown to the caller once every thread is idle.
class ThreadPool {
 public:
  // Called by the calling thread between its chunks: indices done, n.
  using Tick = std::function<void(unsigned, unsigned)>;

  explicit ThreadPool(unsigned threads) {
    for (unsigned k = 1; k < threads; ++k) workers_.emplace_back([this] { Work(); });
  }
  ThreadPool(ThreadPool const&) = delete;
  ThreadPool& operator=(ThreadPool const&) = delete;
  ~ThreadPool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (auto& t : workers_) t.join();
  }

  void Run(unsigned n, std::function<void(unsigned)> const& task, Tick const& tick) {
    if (n == 0) return;
    unsigned const threads = static_cast<unsigned>(workers_.size()) + 1;
    {
      std::lock_guard lock(mutex_);
      task_ = &task;
      n_ = n;
      chunk_ = std::clamp(n / (threads * 16), 1u, 256u);
      next_ = 0;
      done_ = 0;
      failed_ = false;
      error_ = nullptr;
      busy_ = static_cast<unsigned>(workers_.size());
      ++generation_;
    }
    wake_.notify_all();
    Drain(&tick);
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return busy_ == 0; });
    task_ = nullptr;
    if (error_) std::rethrow_exception(error_);
  }

 private:
  void Work() {
    unsigned seen = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) return;
        seen = generation_;
      }
      Drain(nullptr);
      {
        std::lock_guard lock(mutex_);
        --busy_;
      }
      idle_.notify_one();
    }
  }

  void Drain(Tick const* tick) {
    for (;;) {
      if (failed_.load(std::memory_order_relaxed)) return;
      unsigned const begin = next_.fetch_add(chunk_, std::memory_order_relaxed);
      if (begin >= n_) return;
      unsigned const end = std::min(n_, begin + chunk_);
      try {
        for (unsigned i = begin; i < end; ++i) (*task_)(i);
      } catch (...) {
        std::lock_guard lock(mutex_);
        if (!error_) error_ = std::current_exception();
        failed_ = true;
        return;
      }
      unsigned const done = done_.fetch_add(end - begin, std::memory_order_relaxed) + end - begin;
      if (tick != nullptr && *tick) (*tick)(done, n_);
    }
  }

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  // The job; written under the mutex before the generation changes, so a
  // worker that sees the new generation sees the job.
  std::function<void(unsigned)> const* task_ = nullptr;
  unsigned n_ = 0;
  unsigned chunk_ = 1;
  std::atomic<unsigned> next_{0};
  std::atomic<unsigned> done_{0};
  std::atomic<bool> failed_{false};
  std::exception_ptr error_;
  unsigned busy_ = 0;
  unsigned generation_ = 0;
  bool stop_ = false;
};

// The values of one file, by index, with their line numbers. Only polygonal
// and point-like values are kept; the others are null (absent to the join).
class Side : public ostrel::IndexedIntersects::Input {
 public:
  Spatial const* Get(unsigned i) const override { return values_[i].get(); }
  unsigned Size() const override { return static_cast<unsigned>(values_.size()); }

  void Add(std::uint64_t line, Spatial const& value) {
    if (values_.size() >= std::numeric_limits<unsigned>::max()) {
      throw std::length_error("more values than a join can index (4294967295)");
    }
    ShapeType const t = value.GetShapeType();
    bool const polygonal = t == ShapeType::Polygon || t == ShapeType::MultiPolygon;
    bool const point_like = t == ShapeType::Point || t == ShapeType::MultiPoint;
    ostrel::SpatialPtr copy;
    // The reader makes values of the default format; a copy keeps one past
    // the reading of its line.
    if (polygonal || point_like) {
      if (auto const* g = dynamic_cast<ostrel::DefaultGeometry const*>(&value)) {
        copy = ostrel::MakeSpatial<ostrel::DefaultGeometry>(*g);
        ++planar_;
      } else if (auto const* h = dynamic_cast<ostrel::DefaultGeography const*>(&value)) {
        copy = ostrel::MakeSpatial<ostrel::DefaultGeography>(*h);
        ++geographic_;
      }
    }
    if (copy) {
      polygonal_ += polygonal;
      point_like_ += point_like;
    }
    values_.push_back(std::move(copy));
    lines_.push_back(line);
  }

  std::uint64_t Line(unsigned i) const { return lines_[i]; }
  std::uint64_t Planar() const { return planar_; }
  std::uint64_t Geographic() const { return geographic_; }
  std::uint64_t Polygonal() const { return polygonal_; }
  std::uint64_t PointLike() const { return point_like_; }

 private:
  std::vector<ostrel::SpatialPtr> values_;
  std::vector<std::uint64_t> lines_;
  std::uint64_t planar_ = 0, geographic_ = 0, polygonal_ = 0, point_like_ = 0;
};

// Matches::Add is called from every thread of the pool at once.
class Pairs : public ostrel::IndexedIntersects::Matches {
 public:
  std::pair<unsigned, unsigned> Get(unsigned k) const override { return pairs_[k]; }
  void Add(std::pair<unsigned, unsigned> match) override {
    std::lock_guard lock(mutex_);
    pairs_.push_back(match);
  }
  unsigned Size() const override { return static_cast<unsigned>(pairs_.size()); }
  std::vector<std::pair<unsigned, unsigned>>& All() { return pairs_; }

 private:
  std::mutex mutex_;
  std::vector<std::pair<unsigned, unsigned>> pairs_;
};

// The join's own progress line (standard error on a terminal only): the
// reading before it shows the shared progress of values read, and the join
// has no bytes to count, so it shows its pass and the tasks done.
class JoinProgress {
 public:
  JoinProgress() : enabled_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
  void NextPass() { ++pass_; }
  void Tick(unsigned done, unsigned n) {
    if (!enabled_) return;
    auto const now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(250)) {
      return;
    }
    last_ = now;
    char line[120];
    std::snprintf(line, sizeof line, "\r\033[Kostrel: join pass %u of 3: %u of %u", pass_, done, n);
    std::cerr << line << std::flush;
    shown_ = true;
  }
  void Hide() {
    if (shown_) std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  bool shown_ = false;
  unsigned pass_ = 0;
  Clock::time_point start_;
  Clock::time_point last_;
};

std::string Plural(std::uint64_t n, std::string const& what) {
  if (n == 1) return "1 " + what;
  return std::to_string(n) + ' ' + what + (what.ends_with("ch") ? "es" : "s");
}

int RunJoin(JoinOptions const& options) {
  // Each side is read on its own; the second may report only what is left
  // of --max-errors after the first.
  Side sides[2];
  ReadTotals totals;
  std::int64_t errors_left = options.input.max_errors;
  for (int s = 0; s < 2; ++s) {
    InputOptions one = options.input;
    one.files = {options.input.files[s]};
    one.max_errors = errors_left;
    ReadTotals const read = ReadValues(
        one, [&](Source const& source, Spatial const& v) { sides[s].Add(source.line, v); });
    auto const reported =
        static_cast<std::int64_t>(std::min<std::uint64_t>(read.bad_lines, errors_left));
    errors_left -= reported;
    if (s == 0 && read.bad_lines > static_cast<std::uint64_t>(reported)) {
      std::cerr << "ostrel: " << one.files[0] << ": "
                << Plural(read.bad_lines - reported, "more bad line")
                << " not reported (--max-errors " << options.input.max_errors << ")\n";
    }
    totals.values += read.values;
    totals.bad_lines += read.bad_lines;
    totals.bad_files += read.bad_files;
    totals.lost_ordinates += read.lost_ordinates;
    totals.bytes += read.bytes;
  }
  Side const& a = sides[0];
  Side const& b = sides[1];

  JoinProgress progress;
  ThreadPool pool(options.threads);
  ThreadPool::Tick const tick = [&](unsigned done, unsigned n) { progress.Tick(done, n); };
  // The join runs build, query and verify as three executor calls, and the
  // verify call has one task per candidate pair: its count is the number
  // of candidates, told only when the three calls were seen.
  std::vector<unsigned> passes;
  ostrel::IndexedIntersects const join([&](unsigned n, std::function<void(unsigned)> task) {
    passes.push_back(n);
    progress.NextPass();
    pool.Run(n, task, tick);
  });
  Pairs pairs;
  auto const start = std::chrono::steady_clock::now();
  try {
    join(a, b, pairs);
  } catch (std::exception const& e) {
    progress.Hide();
    std::cerr << "ostrel: the join failed: " << e.what() << '\n';
    return 1;
  }
  std::chrono::duration<double> const took = std::chrono::steady_clock::now() - start;
  progress.Hide();

  auto& all = pairs.All();
  std::sort(all.begin(), all.end());
  std::cout << "polygons_line\tpoints_line\n";
  for (auto const& [i, j] : all) std::cout << a.Line(i) << '\t' << b.Line(j) << '\n';
  std::cout.flush();

  auto const& files = options.input.files;
  auto side = [](Side const& s, std::string const& file) {
    return TsvField(file) + ": " + Plural(s.Polygonal(), "polygonal value") + ", " +
           Plural(s.PointLike(), "point-like value");
  };
  std::cerr << "ostrel: join: " << side(a, files[0]) << "; " << side(b, files[1]) << '\n';
  if ((a.Planar() == 0 || b.Planar() == 0) && (a.Geographic() == 0 || b.Geographic() == 0) &&
      a.Planar() + a.Geographic() > 0 && b.Planar() + b.Geographic() > 0) {
    std::cerr << "ostrel: note: one file holds planar values and the other geographic ones, "
                 "which never intersect (see --geography, --geometry)\n";
  }
  char rate[160];
  std::uint64_t const tested = std::uint64_t{a.Size()} + b.Size();
  std::snprintf(rate, sizeof rate, "%.6f s on %u thread%s, %.0f values/s", took.count(),
                options.threads, options.threads == 1 ? "" : "s",
                took.count() > 0 ? static_cast<double>(tested) / took.count() : 0.0);
  std::string const candidates =
      passes.size() == 3 ? Plural(passes[2], "candidate") + ", " : std::string();
  std::cerr << "ostrel: join: " << candidates << Plural(all.size(), "match") << ", " << rate
            << '\n';
  return Finish(totals, options.input);
}

}  // namespace

Runner AddJoin(CLI::App& app) {
  auto options = std::make_shared<JoinOptions>();
  auto* command = app.add_subcommand(
      "join", "The pairs of values of two files that intersect (polygons against points)");
  AddInputOptions(*command, options->input);
  command->get_option("files")
      ->description(
          "the two files: POLYGONS then POINTS ('-' reads standard input;\n"
          "files ending in .gz are decompressed)")
      ->expected(2)
      ->required()
      ->type_name("FILE");
  command->add_option("--threads", options->threads, "threads that run the join")
      ->check(CLI::Range(1u, 1024u))
      ->type_name("N")
      ->capture_default_str();
  command->footer(
      std::string(
          "TSV, one row per intersecting pair: the line of the value in POLYGONS and the\n"
          "line of the value in POINTS, sorted. The library tests polygons against points:\n"
          "a pair is written when some polygon of the one contains some point of the\n"
          "other (the files may also be given the other way round; the columns follow\n"
          "the order of the files). Planar polygons use the even-odd rule; geographic\n"
          "polygons are taken as their rings say, the interior to the left of each ring.\n"
          "Both files are read first; values of other shapes are skipped. A summary\n"
          "(values per side, candidate pairs, matches, time and rate of the join without\n"
          "the reading) goes to standard error.\n\n") +
      ExitStatusHelp());
  return [options, command] { return *command ? RunJoin(*options) : -1; };
}

}  // namespace ostrel_tool
