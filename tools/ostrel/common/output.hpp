// Output formats shared by the subcommands that print records: escaping of
// text in JSON and TSV, and a record stream that writes one JSON document
// (an array), JSON lines, TSV or aligned text.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace ostrel_tool {

// A JSON string literal: quotes, backslashes and control characters
// escaped; bytes that are not valid UTF-8 become U+FFFD, so the document is
// always valid UTF-8.
std::string JsonString(std::string_view text);

// A TSV field: backslash, tab, line feed and carriage return written as \\,
// \t, \n and \r, so every record stays one line of fixed columns.
std::string TsvField(std::string_view text);

// Records as JSON: "json" wraps them in one array ("[", records separated by
// ",\n", "]"), "jsonl" writes one per line.
class JsonRecords {
 public:
  JsonRecords(std::ostream& out, bool array) : out_(out), array_(array) {}
  void Begin();
  void Add(std::string const& object);
  void End();

 private:
  std::ostream& out_;
  bool array_;
  bool first_ = true;
};

}  // namespace ostrel_tool
