// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/package_json.h"

#include "tools/common/utf.h"

namespace sfxpack {

void JsonSignature(JsonWriter& json, const PackageSignature& signature) {
  json.Key("signature").BeginObject().Field("signed", signature.is_signed);
  if (KeyOrNull(json, "package_end", signature.package_end)) json.UInt(*signature.package_end);
  json.Field("covers_package", signature.CoversPackage())
      .Field("certificate_offset", signature.table_offset)
      .Field("certificate_size", signature.table_size)
      .Field("padding", signature.padding)
      .Field("between", signature.between)
      .Field("behind", signature.behind)
      .Field("certificate_cut", signature.table_cut);
  json.Key("problems").BeginArray();
  for (const std::string& problem : SignatureProblems(signature)) json.String(problem);
  json.EndArray().EndObject();
}

void JsonIdentity(JsonWriter& json, const std::optional<PackageIdentity>& identity) {
  if (!KeyOrNull(json, "identity", identity)) return;
  json.BeginObject().Key("icons").BeginArray();
  for (const IconDescription& icon : identity->icons) {
    json.BeginObject()
        .Field("id", icon.id)
        .Field("width", icon.width)
        .Field("height", icon.height)
        .Field("bit_count", icon.bit_count)
        .Field("format", icon.png ? "png" : "bmp")
        .Field("size", icon.size)
        .EndObject();
  }
  json.EndArray();
  if (KeyOrNull(json, "version", identity->version)) {
    const pe::VersionInfo& version = *identity->version;
    json.BeginObject()
        .Field("file_version", pe::VersionText(version.file_version))
        .Field("product_version", pe::VersionText(version.product_version));
    json.Key("strings").BeginObject();
    for (const pe::VersionString& string : version.strings) {
      json.Field(tools::Utf16ToUtf8(string.key), tools::Utf16ToUtf8(string.value));
    }
    json.EndObject().EndObject();
  }
  json.EndObject();
}


}  // namespace sfxpack
