#include "common/input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "common/progress.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
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
                 "files, one value per line; '-' or none reads standard input;\n"
                 "files ending in .gz are decompressed");
  app.add_option("--from", options.from,
                 "the form of the lines: owkt, wkt or ewkt text; wkb, ewkb, sqlserver,\n"
                 "oracle or legacy (plain or compressed) as one hexadecimal value per\n"
                 "line (0x or \\x prefix accepted); default: guessed from the first\n"
                 "non-empty line of each file (said on standard error unless owkt)")
      ->check(CLI::IsMember(InputFormNames()))
      ->type_name("FORM");
  auto* geography = app.add_flag("--geography", options.geography,
                                 "read every value as geographic (longitude latitude, degrees)");
  auto* geometry = app.add_flag("--geometry", options.geometry, "read every value as planar");
  auto* radians = app.add_flag("--radians", options.radians,
                               "geographic coordinates are in radians (implies --geography;\n"
                               "owkt only)");
  geography->excludes(geometry);
  radians->excludes(geometry);
  app.add_option("--srid", options.srid,
                 "the SRID EPSG:N for values whose line carries none (owkt without an\n"
                 "SRID attribute, wkt, wkb, legacy; ewkt and ewkb read as if the line\n"
                 "carried it); plain wkt and wkb read geographic when N is in\n"
                 "[4120, 5000) unless --geography or --geometry decides")
      ->check(CLI::Range(0, 0xFFFFFF))
      ->type_name("N");
  app.add_option("--max-errors", options.max_errors,
                 "report at most N bad lines (the rest are counted)")
      ->check(NonNegative())
      ->type_name("N")
      ->capture_default_str();
  app.parse_complete_callback([&app, &options] {
    if (app.count("--radians") > 0 && !options.from.empty() && options.from != "owkt") {
      throw CLI::ValidationError("--radians", "reads owkt only, not " + options.from);
    }
  });
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

using ostrel::SpatialPtr;
using ostrel::SRID;

// What reading one line gave: a value, with why the reader chose its family
// and SRID, or the 0-based offset in the line's text and the reason it gave
// none.
struct LineRead {
  SpatialPtr value;
  std::string why;
  bool lost_ordinates = false;
  std::size_t offset = 0;
  std::string error;
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

// A WKT text with a Z, M, ZM or MZ marker: the readers keep x and y only.
bool HasDimensionMarker(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (!std::isalpha(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && std::isalpha(static_cast<unsigned char>(text[j]))) ++j;
    std::string_view const word = text.substr(i, j - i);
    if (EqualsNoCase(word, "Z") || EqualsNoCase(word, "M") || EqualsNoCase(word, "ZM") ||
        EqualsNoCase(word, "MZ")) {
      return true;
    }
    i = j;
  }
  return false;
}

// The type code of a WKB value (0 when too short).
std::uint32_t WkbCode(std::vector<std::uint8_t> const& b) {
  if (b.size() < 5) return 0;
  bool const little = b[0] != 0;
  std::uint32_t code = 0;
  for (std::size_t i = 0; i < 4; ++i) code = (code << 8) | b[little ? 4 - i : 1 + i];
  return code;
}

// Whether the value's header says it has Z or M numbers, which the readers
// drop (checked on the outermost value or first element).
bool BinaryHasZOrM(Form form, std::vector<std::uint8_t> const& b) {
  switch (form) {
    case Form::Wkb: return WkbCode(b) >= 1000;
    case Form::Ewkb: return (WkbCode(b) & 0xC0000000) != 0;
    case Form::SqlServer: return b.size() > 5 && (b[5] & 0x03) != 0;
    case Form::Oracle: {
      if (b.size() < 6) return false;
      std::uint32_t gtype = 0;
      for (std::size_t i = 0; i < 4; ++i) gtype |= static_cast<std::uint32_t>(b[2 + i]) << (8 * i);
      return gtype / 1000 % 256 > 2;
    }
    default: return false;
  }
}

// EWKB bytes without an SRID given the SRID flag and `srid` after the code.
void InsertSrid(std::vector<std::uint8_t>& b, std::uint32_t srid) {
  if (b.size() < 5) return;
  bool const little = b[0] != 0;
  std::size_t const flag_byte = little ? 4 : 1;
  if ((b[flag_byte] & 0x20) != 0) return;
  b[flag_byte] |= 0x20;
  std::uint8_t id[4];
  for (std::size_t i = 0; i < 4; ++i) {
    id[little ? i : 3 - i] = static_cast<std::uint8_t>(srid >> (8 * i));
  }
  b.insert(b.begin() + 5, id, id + 4);
}

char const* Family(CoordinateType type) {
  return type == CoordinateType::Geography ? "geographic" : "planar";
}

// What the interchange readers give Unknown for.
std::string UnknownReason(Form form) {
  std::string const head = std::string("the ") + FormName(form) + " reader gives Unknown: ";
  switch (form) {
    case Form::Wkt:
    case Form::Ewkt:
      return head +
             "the text does not parse (a token out of place, text after the shape, or "
             "collections nested too deep)";
    case Form::Wkb:
    case Form::Ewkb:
      return head +
             "an unknown type code, a member its collection does not allow, or "
             "collections nested too deep";
    case Form::SqlServer:
      return head +
             "a null value (SRID -1), a clear valid bit, a shape type it does not know, "
             "or parts that overlap";
    default: return head + "an element or triplet that fails its checks";
  }
}

// The family plain WKT and WKB are read as, and why.
CoordinateType PlainFamily(InputOptions const& options, std::string& why) {
  if (options.radians) return why = "--radians", CoordinateType::Geography;
  if (options.geography) return why = "--geography", CoordinateType::Geography;
  if (options.geometry) return why = "--geometry", CoordinateType::Geometry;
  if (options.srid >= 0) {
    bool const geographic = InGeographyRange(options.srid);
    why = "--srid " + std::to_string(options.srid) +
          (geographic ? " in the geography range [4120, 5000)"
                      : " outside the geography range [4120, 5000)");
    return geographic ? CoordinateType::Geography : CoordinateType::Geometry;
  }
  why = "no --srid, --geography or --geometry: planar";
  return CoordinateType::Geometry;
}

LineRead ReadOwkt(std::string const& text, InputOptions const& options,
                  ostrel::OWKT::Diagnosis& diagnosis) {
  LineRead r;
  try {
    r.value = ostrel::OWKT::From(text, options.Type(), options.radians, diagnosis);
  } catch (std::out_of_range const&) {
  } catch (std::invalid_argument const&) {
  }
  if (!diagnosis.IsValue()) {
    r.value.reset();
    r.offset = diagnosis.column > 0 ? diagnosis.column - 1 : 0;
    r.error = diagnosis.message;
    return r;
  }
  r.lost_ordinates = diagnosis.dropped_ordinates > 0;
  // The attribute section: the text before a ';' that comes before the body.
  std::size_t const semicolon = text.find(';');
  std::string_view const section =
      semicolon < text.find('(') ? std::string_view(text).substr(0, semicolon) : std::string_view();
  bool const srid_given = ContainsNoCase(section, "SRID");
  if (options.radians) {
    r.why = "--radians";
  } else if (options.geography) {
    r.why = "--geography";
  } else if (options.geometry) {
    r.why = "--geometry";
  } else if (r.value->IsGeography()) {
    r.why = srid_given ? "an SRID in the attributes reads geographic"
                       : "geographic attributes in the text";
  } else if (section.empty()) {
    r.why = "plain text reads planar";
  } else {
    r.why = ContainsNoCase(section, "BIAS") ? "a bias in the attributes reads planar"
                                            : "the attributes read planar";
  }
  if (srid_given) {
    r.why += "; SRID from the attributes";
  } else if (options.srid >= 0 && (r.value->IsGeometry() || r.value->IsGeography())) {
    r.value = WithSrid(std::move(r.value), SRID(SRID::Authority::EPSG, options.srid));
    r.why += "; SRID from --srid";
  } else if (r.value->IsGeography()) {
    r.why += "; SRID EPSG:4326 by default";
  } else {
    r.why += "; no SRID";
  }
  return r;
}

LineRead ReadOther(Form form, std::string& text, std::vector<std::uint8_t>& bytes,
                   InputOptions const& options) {
  LineRead r;
  bool const given = options.srid >= 0;
  auto const srid = static_cast<std::uint32_t>(options.srid);
  CoordinateType family = CoordinateType::Geometry;
  std::string family_why;
  bool carried = false;  // the line carries an SRID
  if (form == Form::Wkt || form == Form::Wkb) family = PlainFamily(options, family_why);
  if (form == Form::Ewkt) {
    carried = text.size() >= 6 && EqualsNoCase(std::string_view(text).substr(0, 4), "SRID");
    if (given && !carried) text = "SRID=" + std::to_string(srid) + ";" + text;
  }
  if (form == Form::Ewkb) {
    carried = bytes.size() >= 5 && (WkbCode(bytes) & 0x20000000) != 0;
    if (given && !carried) InsertSrid(bytes, srid);
  }
  try {
    r.value = IsBinary(form) ? ReadBytes(form, bytes, family) : ReadText(form, text, family);
  } catch (std::exception const& e) {
    r.value.reset();
    r.error = std::string("cannot read as ") + FormName(form) + ": " + e.what();
    return r;
  }
  // Read before --srid may replace the value.
  bool const geographic = r.value->IsGeography();
  bool const planar_or_geographic = r.value->IsGeometry() || geographic;
  if (!planar_or_geographic && form != Form::Legacy) {
    r.value.reset();
    r.error = UnknownReason(form);
    return r;
  }
  r.lost_ordinates = IsBinary(form) ? BinaryHasZOrM(form, bytes) : HasDimensionMarker(text);
  unsigned int const number = OriginalSrid(*r.value).GetID();
  switch (form) {
    case Form::Wkt:
    case Form::Wkb:
      r.why = family_why;
      if (given) {
        r.value = WithSrid(std::move(r.value), SRID(SRID::Authority::EPSG, srid));
        r.why += "; SRID from --srid";
      } else {
        r.why +=
            geographic ? "; no SRID in the line: EPSG:4326 by default" : "; no SRID in the line";
      }
      break;
    case Form::Ewkt:
    case Form::Ewkb:
      r.why = geographic ? "SRID " + std::to_string(number) +
                               (carried ? " in the line reads geographic"
                                        : " from --srid reads geographic")
                         : std::string("no SRID in the line reads planar");
      break;
    case Form::SqlServer:
    case Form::Oracle:
      r.why = "SRID " + std::to_string(number) +
              (geographic ? " in the geography range [4120, 5000)"
                          : " outside the geography range [4120, 5000): planar");
      if (given && srid != number) r.why += "; --srid not used: the line carries an SRID";
      break;
    default:
      if (!planar_or_geographic) {
        r.why = "category 2 in the stream: a value with no coordinates";
      } else {
        r.why = std::string("category ") +
                (geographic ? "1 in the stream: geographic" : "0 in the stream: planar");
        if (given) {
          r.value = WithSrid(std::move(r.value), SRID(SRID::Authority::EPSG, srid));
          r.why += "; SRID from --srid (in the default format)";
        } else {
          r.why +=
              geographic ? "; legacy values have SRID EPSG:4326" : "; legacy values have no SRID";
        }
      }
  }
  // The families of the forms that decide for themselves against a forced
  // kind: nothing is turned into the other family.
  CoordinateType const forced = options.Type();
  if (form != Form::Wkt && form != Form::Wkb && forced != CoordinateType::Unknown &&
      planar_or_geographic && r.value->GetCoordinateType() != forced) {
    r.error = std::string("the ") + FormName(form) + " reader chose " +
              Family(r.value->GetCoordinateType()) + " (" + r.why + "), not " + Family(forced) +
              " as " + (options.geometry ? "--geometry" : "--geography") + " asks";
    r.value.reset();
  }
  return r;
}

// Why a file cannot be read in the form chosen for it, or empty.
std::string Unusable(Form form, InputOptions const& options) {
  if (options.radians && form != Form::Owkt) {
    return std::string("--radians reads owkt only, not ") + FormName(form);
  }
  return {};
}

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
  std::string text;
  std::vector<std::uint8_t> bytes;
  ostrel::OWKT::Diagnosis diagnosis;
  std::optional<Form> const given = FormByName(options.from);
  for (auto const& file : files) {
    std::string error;
    auto source = Open(file, error);
    if (!source) {
      FileError(file, "cannot read: " + error);
      ++totals.bad_files;
      continue;
    }
    LineReader reader(std::move(source));
    Source where;
    where.name = file == "-" ? "<stdin>" : file;
    std::uint64_t const bytes_before = totals.bytes;
    std::optional<Form> form = given;
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
      if (!form) {
        std::optional<Form> const guess = GuessForm(body);
        form = guess.value_or(Form::Owkt);
        if (form != Form::Owkt || !guess) {
          HideProgress();
          std::cout.flush();
          std::cerr << "ostrel: " << (guess ? "reading " : "cannot tell the form; reading ")
                    << FormName(*form) << " (guessed from line " << where.line
                    << (files.size() > 1 ? " of " + where.name : std::string())
                    << "; use --from to choose)\n";
        }
        if (std::string const why = Unusable(*form, options); !why.empty()) {
          FileError(where.name, why);
          ++totals.bad_files;
          break;
        }
      }
      where.form = *form;
      if (auto const nul = body.find('\0'); nul != std::string_view::npos) {
        reporter.BadLine(where, skipped + nul + 1, "a NUL byte: not a line of text");
        continue;
      }
      LineRead read;
      if (IsBinary(*form)) {
        std::string why;
        if (!DecodeHex(body, bytes, read.offset, why)) {
          reporter.BadLine(where, skipped + read.offset + 1, why);
          continue;
        }
      } else {
        text.assign(body);
      }
      try {
        read = *form == Form::Owkt ? ReadOwkt(text, options, diagnosis)
                                   : ReadOther(*form, text, bytes, options);
      } catch (std::exception const& e) {
        // Rebuilding a value with the SRID of --srid validates it again.
        read.value.reset();
        read.offset = 0;
        read.error = e.what();
      }
      if (!read.value) {
        reporter.BadLine(where, skipped + read.offset + 1, read.error);
        continue;
      }
      if (read.lost_ordinates) ++totals.lost_ordinates;
      where.why = std::move(read.why);
      ++totals.values;
      progress.Hide();
      try {
        use(where, *read.value);
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
