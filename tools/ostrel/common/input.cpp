#include "common/input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "common/progress.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel_tool {

using ostrel::CoordinateType;

CoordinateType InputOptions::Type() const {
  if (geography || radians) return CoordinateType::Geography;
  if (geometry) return CoordinateType::Geometry;
  return CoordinateType::Unknown;
}

CLI::Validator const& NonNegative() {
  static CLI::Validator const validator(
      [](std::string& text) -> std::string {
        std::int64_t n = 0;
        auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (error != std::errc() || end != text.data() + text.size() || n < 0) {
          return "must be a whole number of 0 or more, not " + text;
        }
        return {};
      },
      "N>=0");
  return validator;
}

void AddInputOptions(CLI::App& app, InputOptions& options) {
  app.add_option("files", options.files,
                 "OWKT files, one value per line; '-' or none reads standard input;\n"
                 "files ending in .gz are decompressed");
  auto* geography = app.add_flag("--geography", options.geography,
                                 "read every value as geographic (longitude latitude, degrees)");
  auto* geometry = app.add_flag("--geometry", options.geometry, "read every value as planar");
  auto* radians = app.add_flag("--radians", options.radians,
                               "geographic coordinates are in radians (implies --geography)");
  geography->excludes(geometry);
  radians->excludes(geometry);
  app.add_option("--max-errors", options.max_errors,
                 "report at most N bad lines (the rest are counted)")
      ->check(NonNegative())
      ->type_name("N")
      ->capture_default_str();
}

namespace {

Progress& TheProgress() {
  static Progress progress;
  return progress;
}

// Bytes of one input: a file descriptor, or a gzip stream.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes into `buffer`; 0 at the end; -1 on an error, then
  // Error() says what.
  virtual long Read(char* buffer, std::size_t size) = 0;
  virtual std::string Error() const = 0;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~FileSource() override {
    if (owned_) ::close(fd_);
  }
  long Read(char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t const n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      error_ = std::strerror(errno);
      return -1;
    }
  }
  std::string Error() const override { return error_; }

 private:
  int fd_;
  bool owned_;
  std::string error_;
};

class GzipSource : public ByteSource {
 public:
  explicit GzipSource(gzFile file) : file_(file) { gzbuffer(file_, 1 << 17); }
  ~GzipSource() override { gzclose(file_); }
  long Read(char* buffer, std::size_t size) override {
    int const n = gzread(file_, buffer, static_cast<unsigned>(size));
    if (n > 0) return n;
    // The end, or an error: a damaged or cut stream ends with one.
    int code = Z_OK;
    char const* message = gzerror(file_, &code);
    if (n == 0 && (code == Z_OK || code == Z_STREAM_END)) return 0;
    error_ = code == Z_ERRNO ? std::strerror(errno) : std::string("gzip: ") + message;
    return -1;
  }
  std::string Error() const override { return error_; }

 private:
  gzFile file_;
  std::string error_;
};

// Lines of a byte source, without their line feed. A line that spans reads
// is gathered in a string of its own; the others are views of the buffer.
class LineReader {
 public:
  explicit LineReader(std::unique_ptr<ByteSource> source)
      : source_(std::move(source)), buffer_(1 << 18) {}

  // False at the end or on an error (then Error() is not empty).
  bool Next(std::string_view& line) {
    if (done_) return false;
    long_line_.clear();
    bool partial = false;
    for (;;) {
      if (pos_ < end_) {
        char const* begin = buffer_.data() + pos_;
        auto const* feed = static_cast<char const*>(std::memchr(begin, '\n', end_ - pos_));
        if (feed != nullptr) {
          std::size_t const length = static_cast<std::size_t>(feed - begin);
          pos_ += length + 1;
          if (!partial) {
            line = std::string_view(begin, length);
          } else {
            long_line_.append(begin, length);
            line = long_line_;
          }
          return true;
        }
        long_line_.append(begin, end_ - pos_);
        partial = true;
        pos_ = end_;
      }
      long const n = source_->Read(buffer_.data(), buffer_.size());
      if (n <= 0) {
        done_ = true;
        if (n < 0) {
          error_ = source_->Error();
          return false;
        }
        line = long_line_;  // a last line without a line feed
        return partial;
      }
      bytes_ += static_cast<std::uint64_t>(n);
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
  }

  std::string const& Error() const { return error_; }
  std::uint64_t Bytes() const { return bytes_; }

 private:
  std::unique_ptr<ByteSource> source_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::string long_line_;
  std::string error_;
  std::uint64_t bytes_ = 0;
  bool done_ = false;
};

bool EndsWith(std::string const& s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Opens an input, or says why it cannot be read.
std::unique_ptr<ByteSource> Open(std::string const& file, std::string& error) {
  if (file == "-") return std::make_unique<FileSource>(STDIN_FILENO, false);
  int const fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    error = "is a directory";
    return nullptr;
  }
  if (!EndsWith(file, ".gz")) return std::make_unique<FileSource>(fd, true);
  gzFile gz = gzdopen(fd, "rb");
  if (gz == nullptr) {
    ::close(fd);
    error = "cannot start gzip decompression";
    return nullptr;
  }
  return std::make_unique<GzipSource>(gz);
}

// Counts bad lines and reports the first max_errors of them.
class Reporter {
 public:
  explicit Reporter(std::int64_t max_errors) : max_(static_cast<std::uint64_t>(max_errors)) {}

  void BadLine(Source const& source, std::size_t column, std::string const& message) {
    if (++count_ > max_) return;
    HideProgress();
    std::cout.flush();  // keeps messages in order with the values already printed
    std::cerr << source.name << ':' << source.line << ':' << column << ": " << message << '\n';
  }

  std::uint64_t Count() const { return count_; }
  std::uint64_t Unreported() const { return count_ > max_ ? count_ - max_ : 0; }

 private:
  std::uint64_t max_;
  std::uint64_t count_ = 0;
};

void FileError(std::string const& name, std::string const& what) {
  HideProgress();
  std::cout.flush();
  std::cerr << "ostrel: " << name << ": " << what << '\n';
}

std::uint64_t g_unreported = 0;

}  // namespace

void HideProgress() { TheProgress().Hide(); }

ReadTotals ReadValues(InputOptions const& options,
                      std::function<void(Source const&, ostrel::Spatial const&)> const& use) {
  std::vector<std::string> files = options.files;
  if (files.empty()) files.emplace_back("-");
  ReadTotals totals;
  Reporter reporter(options.max_errors);
  Progress& progress = TheProgress();
  progress.Start();
  CoordinateType const type = options.Type();
  std::string text;
  ostrel::OWKT::Diagnosis diagnosis;
  for (auto const& file : files) {
    std::string error;
    auto source = Open(file, error);
    if (!source) {
      FileError(file, "cannot read: " + error);
      ++totals.bad_files;
      continue;
    }
    LineReader reader(std::move(source));
    Source where{file == "-" ? "<stdin>" : file, 0};
    std::uint64_t const bytes_before = totals.bytes;
    std::string_view line;
    while (reader.Next(line)) {
      ++where.line;
      std::size_t skipped = 0;  // bytes before the text: a byte-order mark, blanks
      if (where.line == 1 && line.starts_with("\xEF\xBB\xBF")) skipped = 3;
      while (skipped < line.size() && (line[skipped] == ' ' || line[skipped] == '\t')) ++skipped;
      std::size_t last = line.size();
      while (last > skipped &&
             (line[last - 1] == ' ' || line[last - 1] == '\t' || line[last - 1] == '\r')) {
        --last;
      }
      totals.bytes = bytes_before + reader.Bytes();
      progress.Update(totals.values, totals.bytes);
      if (last == skipped) continue;
      std::string_view const body = line.substr(skipped, last - skipped);
      if (auto const nul = body.find('\0'); nul != std::string_view::npos) {
        reporter.BadLine(where, skipped + nul + 1, "a NUL byte: not a line of text");
        continue;
      }
      text.assign(body);
      ostrel::SpatialPtr value;
      try {
        value = ostrel::OWKT::From(text, type, options.radians, diagnosis);
      } catch (std::out_of_range const&) {
      } catch (std::invalid_argument const&) {
      }
      if (!diagnosis.IsValue()) {
        reporter.BadLine(where, skipped + diagnosis.column, diagnosis.message);
        continue;
      }
      if (diagnosis.dropped_ordinates > 0) ++totals.lost_ordinates;
      ++totals.values;
      progress.Hide();
      try {
        use(where, *value);
      } catch (std::exception const& e) {
        // What the command cannot do with this value (a collect of another
        // SRID, a form that cannot hold it) is reported like a bad line.
        --totals.values;
        reporter.BadLine(where, skipped + 1, e.what());
      }
    }
    totals.bytes = bytes_before + reader.Bytes();
    if (!reader.Error().empty()) {
      FileError(where.name,
                "cannot read after line " + std::to_string(where.line) + ": " + reader.Error());
      ++totals.bad_files;
    }
  }
  progress.Hide();
  totals.bad_lines = reporter.Count();
  g_unreported = reporter.Unreported();
  return totals;
}

int Finish(ReadTotals const& totals, InputOptions const& options) {
  std::cout.flush();
  if (g_unreported > 0) {
    std::cerr << "ostrel: " << g_unreported << " more bad line" << (g_unreported == 1 ? "" : "s")
              << " not reported (--max-errors " << options.max_errors << ")\n";
  }
  if (!std::cout) {
    std::cerr << "ostrel: error writing standard output\n";
    return 1;
  }
  return totals.Failures() > 0 ? 1 : 0;
}

}  // namespace ostrel_tool
