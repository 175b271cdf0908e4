// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/json_writer.h"

#include <cstdio>

#include "tools/common/utf.h"

namespace sfxpack {

std::string JsonString(std::string_view text) {
  return "\"" + tools::RewriteUtf8(text, [](std::string& out, char32_t c, std::string_view sequence) {
    switch (c) {
      case '"': out += "\\\""; return;
      case '\\': out += "\\\\"; return;
      case '\b': out += "\\b"; return;
      case '\f': out += "\\f"; return;
      case '\n': out += "\\n"; return;
      case '\r': out += "\\r"; return;
      case '\t': out += "\\t"; return;
    }
    if (!tools::IsControlCharacter(c)) {
      out.append(sequence);
      return;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
    out += escape;
  }) + "\"";
}

void JsonWriter::Newline() {
  out_ += '\n';
  out_.append(2 * has_items_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (has_items_.empty()) return;
  if (has_items_.back()) out_ += ',';
  has_items_.back() = true;
  Newline();
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  BeforeValue();
  out_ += JsonString(key);
  out_ += ": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  has_items_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  const bool had_items = has_items_.back();
  has_items_.pop_back();
  if (had_items) Newline();
  out_ += bracket;
  return *this;
}

JsonWriter& JsonWriter::EndObject() { return Close('}'); }

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  has_items_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::String(std::string_view value) {
  BeforeValue();
  out_ += JsonString(value);
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::UInt(uint64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

std::string JsonWriter::Text() const { return has_items_.empty() ? out_ + "\n" : out_; }

}  // namespace sfxpack
