// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/build_manifest.h"

#include "tools/common/text_format.h"
#include "tools/sfxpack/report/field_names.h"
#include "tools/sfxpack/report/json_writer.h"
#include "tools/sfxpack/report/package_json.h"

namespace sfxpack {
namespace {

void JsonFile(JsonWriter& json, std::string_view key, const DigestedFile& file) {
  json.Key(key)
      .BeginObject()
      .Field("path", file.path)
      .Field("size", file.size)
      .Field("sha256", file.sha256);
}

}  // namespace

std::string FormatBuildManifest(const BuildManifest& manifest) {
  const packaging::PackageLayout& layout = manifest.result.layout;
  const stub::TPackageHeader& header = layout.header;
  JsonWriter json;
  json.BeginObject();
  JsonFile(json, "output", manifest.output);
  json.EndObject();
  JsonFile(json, "inner", manifest.inner);
  json.Field("signed", manifest.result.inner_signed).EndObject();
  json.Key("further_data").BeginObject();
  if (KeyOrNull(json, "path", manifest.further_data)) json.String(*manifest.further_data);
  json.Field("offset", layout.further_data_offset)
      .Field("length", layout.further_data_length)
      .EndObject();
  json.Key("stream")
      .BeginObject()
      .Field("method", StreamMethodWord(manifest.result.stream_method))
      .Field("offset", header.StreamOffset)
      .Field("length", header.StreamLength)
      .Field("program_length", header.ProgramLength)
      .Key("blocks");
  // Null for the methods that store the program as one stream; every block
  // but the last holds block_size bytes of the program.
  const uint64_t block_size = manifest.result.xz_block_size;
  if (block_size == 0) {
    json.Null();
  } else {
    json.BeginObject()
        .Field("count", (uint64_t{header.ProgramLength} + block_size - 1) / block_size)
        .Field("block_size", block_size)
        .Field("threads", uint64_t{manifest.result.xz_threads})
        .EndObject();
  }
  json.EndObject();
  json.Key("windows").BeginObject().Key("os").BeginArray();
  for (const std::string& name : OsMaskNames(header.OsMask)) json.String(name);
  json.EndArray()
      .Field("os_mask", header.OsMask)
      .Field("os_mask_hex", tools::Hex(header.OsMask, 16))
      .Field("min_release_id", header.MinReleaseId)
      .Field("max_release_id", header.MaxReleaseId)
      .Field("min_build", manifest.min_build)
      .Field("max_build", manifest.max_build)
      .EndObject();
  json.Field("elevation", ElevationName(header.ElevationMode))
      .Field("detached_size", layout.locator.DetachedSize)
      .Field("message_length", header.UnsupportedOsMessage.Length);
  JsonIdentity(json, manifest.identity);
  JsonSignature(json, manifest.signature);
  json.Key("sign_command");
  manifest.sign_command ? json.String(*manifest.sign_command) : json.Null();
  json.Field("sign_inner", manifest.sign_inner).EndObject();
  return json.Text();
}

}  // namespace sfxpack
