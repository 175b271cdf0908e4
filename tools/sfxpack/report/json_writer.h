// SPDX-License-Identifier: Zlib
// A small JSON writer for sfxpack's --json output.
//
// Values are written in the order given, with two-space indentation and keys
// in the order added; the writer puts the commas. Strings are escaped as
// RFC 8259 requires (quote, backslash, control characters below U+0020), and
// so are DEL, the C1 and the bidirectional controls (tools::IsControlCharacter),
// which JSON may carry raw but a terminal showing the output would act on;
// bytes that are not valid UTF-8 become U+FFFD, so the output is always valid
// JSON, whatever text a package holds. Integers are written exactly; scripts
// that read 64-bit fields (the OS mask) get them also as hex strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sfxpack {

// `text` as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

class JsonWriter {
 public:
  // Containers. Inside an object, give the key first with Key().
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);

  // Scalars.
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(int64_t value);
  JsonWriter& UInt(uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // Key and value in one call.
  template <typename T>
  JsonWriter& Field(std::string_view key, const T& value);

  // The document so far, with a final newline once every container is closed.
  std::string Text() const;

 private:
  void BeforeValue();
  JsonWriter& Close(char bracket);
  void Newline();

  std::string out_;
  // One entry per open container: true once it holds a value.
  std::vector<bool> has_items_;
  bool after_key_ = false;
};

template <typename T>
JsonWriter& JsonWriter::Field(std::string_view key, const T& value) {
  Key(key);
  if constexpr (std::is_same_v<T, bool>) {
    return Bool(value);
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    return Int(value);
  } else if constexpr (std::is_integral_v<T>) {
    return UInt(value);
  } else {
    return String(value);
  }
}

// Writes `key`, and null for a `value` that is missing. True when the caller
// is to write the value.
template <typename T>
bool KeyOrNull(JsonWriter& json, std::string_view key, const std::optional<T>& value) {
  json.Key(key);
  if (!value) json.Null();
  return value.has_value();
}

}  // namespace sfxpack
