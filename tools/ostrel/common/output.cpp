#include "common/output.hpp"

#include <cstdio>
#include <ostream>

namespace ostrel_tool {

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char const c = byte(i);
  std::size_t length = 0;
  unsigned min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  unsigned code = c & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    auto const c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (std::size_t const n = Utf8Length(text, i); n > 0) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    } else {
      out += "\\ufffd";
    }
    ++i;
  }
  return out + '"';
}

std::string TsvField(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

void JsonRecords::Begin() {
  if (array_) out_ << '[';
}

void JsonRecords::Add(std::string const& object) {
  if (array_) out_ << (first_ ? "\n" : ",\n");
  out_ << object;
  if (!array_) out_ << '\n';
  first_ = false;
}

void JsonRecords::End() {
  if (array_) out_ << (first_ ? "]\n" : "\n]\n");
}

}  // namespace ostrel_tool
