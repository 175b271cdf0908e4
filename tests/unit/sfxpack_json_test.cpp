// SPDX-License-Identifier: Zlib
// JSON escaping and writing in sfxpack.
#include "tools/sfxpack/report/json_writer.h"

#include <gtest/gtest.h>

namespace sfxpack {
namespace {

TEST(SfxpackJson, StringsAreEscaped) {
  struct Case {
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\Temp\\", "\"C:\\\\Temp\\\\\""},
      {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {std::string("\x00\x01\x1F", 3), "\"\\u0000\\u0001\\u001f\""},
      // DEL, C1 and the bidirectional controls, which a terminal would act on.
      {"\x7F/\xC2\x80\xC2\x9F", "\"\\u007f/\\u0080\\u009f\""},
      {"\xD8\x9C\xE2\x80\x8E\xE2\x80\xAE\xE2\x81\xA9", "\"\\u061c\\u200e\\u202e\\u2069\""},
      {"\xC2\xA0\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xAA", "\"\xC2\xA0\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xAA\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      {".t\xFF", "\".t\xEF\xBF\xBD\""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonString(c.text), c.json);
}

TEST(SfxpackJson, WriterNestsAndSeparates) {
  JsonWriter json;
  json.BeginObject()
      .Field("name", std::string("a\"b"))
      .Field("count", uint64_t{18446744073709551615u})
      .Field("delta", int64_t{-5})
      .Field("ok", true);
  json.Key("list").BeginArray().UInt(1).Null().BeginObject().EndObject().BeginArray().EndArray();
  json.EndArray().EndObject();
  EXPECT_EQ(json.Text(),
            "{\n"
            "  \"name\": \"a\\\"b\",\n"
            "  \"count\": 18446744073709551615,\n"
            "  \"delta\": -5,\n"
            "  \"ok\": true,\n"
            "  \"list\": [\n"
            "    1,\n"
            "    null,\n"
            "    {},\n"
            "    []\n"
            "  ]\n"
            "}\n");
}

}  // namespace
}  // namespace sfxpack
