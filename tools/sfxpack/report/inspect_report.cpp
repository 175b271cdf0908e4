// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/inspect_report.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "tools/common/text_format.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/analysis/plausible_locator.h"
#include "tools/sfxpack/report/field_names.h"
#include "tools/sfxpack/report/json_writer.h"
#include "tools/sfxpack/report/package_json.h"
#include "tools/sfxpack/report/windows_builds.h"

namespace sfxpack {
namespace {

using tools::DescribeSize;
using tools::Hex;

// "5D 00 00 40 00"
std::string HexBytes(std::span<const uint8_t> bytes) {
  std::vector<std::string> pieces;
  for (uint8_t byte : bytes) pieces.push_back(tools::HexDigits(byte, 2));
  return tools::Join(pieces, " ");
}

std::string OsList(uint64_t mask) {
  const std::vector<std::string> names = OsMaskNames(mask);
  return names.empty() ? "none" : tools::Join(names, ", ");
}

std::string Subsystem(uint16_t subsystem) {
  switch (subsystem) {
    case 2: return "GUI";
    case 3: return "console";
    default: return "subsystem " + std::to_string(subsystem);
  }
}

// One line of the report. Fields come from the file and the command line, so
// every line goes through PrintableText.
void Print(std::string& out, const std::string& line) { out += tools::PrintableText(line) + "\n"; }

// "  Name            value\n"
void Line(std::string& out, const std::string& name, const std::string& value) {
  Print(out, "  " + name + std::string(name.size() < 16 ? 16 - name.size() : 1, ' ') + value);
}

void AppendMap(std::string& out, const PackageMap& map) {
  out += "Map:\n";
  char line[160];
  std::snprintf(line, sizeof line, "  %-12s %-12s %14s  %s\n", "offset", "end", "length",
                "region");
  out += line;
  for (const MapRegion& region : map.regions) {
    std::snprintf(line, sizeof line, "  %-12s %-12s %14llu  ", Hex(region.offset, 8).c_str(),
                  Hex(region.end(), 8).c_str(), static_cast<unsigned long long>(region.length));
    Print(out, line + region.name);
  }
}

void AppendImage(std::string& out, const PackageMap& map) {
  if (!map.image) return;
  const pe::Image& image = *map.image;
  out += "Launcher image:\n";
  Line(out, "PE header", "at " + std::to_string(image.header_offset) +
                             (image.optional_magic == pe::kPe32PlusMagic ? ", PE32+" : "") +
                             (image.machine == pe::kMachineAmd64 ? ", x86-64" : "") + ", " +
                             Subsystem(image.subsystem));
  Line(out, "Image end", std::to_string(image.ImageEnd()));
  Line(out, "CheckSum", Hex(image.checksum, 8));
  for (const pe::Section& section : image.sections) {
    Line(out, "Section", section.name + ": raw " + std::to_string(section.raw_offset) +
                             " + " + std::to_string(section.raw_size) + ", RVA " +
                             Hex(section.virtual_address) + " + " +
                             std::to_string(section.virtual_size));
  }
  const pe::DataDirectory certificate = image.Certificate();
  Line(out, "Certificate", certificate.size == 0
                               ? "none (not signed)"
                               : "at " + std::to_string(certificate.address) + ", " +
                                     std::to_string(certificate.size) + " bytes");
  Line(out, "Signature", DescribeSignature(map.signature));
}

// "16x16 32-bit, 48x48 32-bit PNG"; a long list (an icon may hold 65,535
// pictures) is cut behind its first pictures and summed up.
std::string IconList(const std::vector<IconDescription>& icons) {
  constexpr size_t kListed = 16;
  if (icons.empty()) return "none";
  std::vector<std::string> listed;
  for (size_t i = 0; i < icons.size() && i < kListed; ++i) listed.push_back(DescribeIcon(icons[i]));
  std::string text = tools::Join(listed, ", ");
  if (icons.size() > kListed) {
    text += ", and " + tools::Decimal(icons.size() - kListed) + " more: " +
            tools::Decimal(icons.size()) + " pictures (--json lists them all)";
  }
  return text;
}

void AppendIdentity(std::string& out, const PackageMap& map) {
  if (!map.identity) return;
  const PackageIdentity& identity = *map.identity;
  out += "Identity (icon and version resource):\n";
  Line(out, "Icon", IconList(identity.icons));
  if (!identity.version) {
    Line(out, "Version", "none");
    return;
  }
  Line(out, "File version", pe::VersionText(identity.version->file_version));
  Line(out, "Product version", pe::VersionText(identity.version->product_version));
  for (const pe::VersionString& string : identity.version->strings) {
    Line(out, tools::Utf16ToUtf8(string.key), tools::Utf16ToUtf8(string.value));
  }
}

void AppendLocator(std::string& out, const PackageMap& map) {
  if (!map.locator) return;
  const stub::TPackageLocator& locator = *map.locator;
  out += "Locator (offset 128):\n";
  Line(out, "PackageOffset", std::to_string(locator.PackageOffset));
  Line(out, "CrcLength", std::to_string(locator.CrcLength));
  std::string crc = Hex(locator.CrcValue, 8);
  if (map.computed_crc) {
    crc += *map.computed_crc == locator.CrcValue ? " (matches)"
                                                 : " (computed " + Hex(*map.computed_crc, 8) + ")";
  }
  Line(out, "CrcValue", crc);
  Line(out, "MinFileSize", std::to_string(locator.MinFileSize) + " (file: " +
                               std::to_string(map.file_size) + ")");
  Line(out, "DetachedSize", locator.DetachedSize == 0
                                ? "0 (the launcher waits for the inner program)"
                                : std::to_string(locator.DetachedSize) + " (detached start)");
}

// "22000 (Windows 11 21H2)", "0 (no limit)"
std::string BuildLimit(uint32_t build) {
  if (build == 0) return "0 (no limit)";
  const std::optional<std::string> release = ReleaseOfBuild(build);
  return std::to_string(build) + (release ? " (" + *release + ")" : "");
}

void AppendExtension(std::string& out, const PackageMap& map) {
  const stub::TPackageExtension& extension = map.extension;
  switch (map.extension_status) {
    case stub::ExtensionStatus::kAbsent:
      Line(out, "Extension", "none (an LZMA1 stream, no build limits)");
      return;
    case stub::ExtensionStatus::kUnknownVersion:
      Line(out, "Extension", "version " + std::to_string(map.extension_version) +
                                 ", unknown to the launcher");
      return;
    case stub::ExtensionStatus::kUnknownMethod:
      Line(out, "Extension", "version 1, with a stream method unknown to the launcher");
      return;
    case stub::ExtensionStatus::kPresent:
      break;
  }
  Line(out, "Extension", "version " + std::to_string(map.extension_version));
  Line(out, "StreamMethod", std::to_string(extension.StreamMethod) + " (" +
                                StreamMethodWord(extension.StreamMethod) + ")");
  Line(out, "MinBuild", BuildLimit(extension.MinBuild));
  Line(out, "MaxBuild", BuildLimit(extension.MaxBuild));
}

// "2 blocks of up to 8.00 MiB; filters x86 + LZMA2, dictionary 8.00 MiB;
// check CRC32"
void AppendXz(std::string& out, const PackageMap& map) {
  if (!map.xz) return;
  const XzStreamInfo& xz = *map.xz;
  std::string blocks = tools::Decimal(xz.blocks) + (xz.blocks == 1 ? " block" : " blocks");
  if (xz.blocks > 0) blocks += " of up to " + DescribeSize(xz.block_size);
  if (xz.streams != 1) blocks += " in " + tools::Decimal(xz.streams) + " streams";
  Line(out, "xz blocks", blocks);
  if (!xz.filters.empty()) {
    Line(out, "xz filters", tools::Join(xz.filters, " + ") +
                                (xz.dict_size ? ", dictionary " + DescribeSize(xz.dict_size) : ""));
  }
  Line(out, "xz check", xz.check);
}

void AppendHeader(std::string& out, const PackageMap& map) {
  if (!map.header) return;
  const stub::TPackageHeader& header = *map.header;
  const LzmaProperties& lzma = map.lzma;
  out += "Header (offset " + std::to_string(map.locator->PackageOffset) + "):\n";
  Line(out, "LZMA properties",
       HexBytes(header.LzmaProperties) + ": lc " +
           std::to_string(lzma.lc) + ", lp " + std::to_string(lzma.lp) + ", pb " +
           std::to_string(lzma.pb) + ", dictionary " + DescribeSize(lzma.dict_size));
  Line(out, "OsMask", Hex(header.OsMask, 16) + ": " + OsList(header.OsMask));
  Line(out, "MinReleaseId", std::to_string(header.MinReleaseId));
  Line(out, "MaxReleaseId", std::to_string(header.MaxReleaseId));
  Line(out, "ElevationMode", std::to_string(header.ElevationMode) + " (" +
                                 ElevationName(header.ElevationMode) + ")");
  Line(out, "StreamOffset", std::to_string(header.StreamOffset));
  Line(out, "StreamLength", DescribeSize(header.StreamLength));
  Line(out, "ProgramLength", DescribeSize(header.ProgramLength));
  AppendExtension(out, map);
  AppendXz(out, map);
  Line(out, "Message", "offset " + std::to_string(header.UnsupportedOsMessage.Offset) + ", " +
                           std::to_string(header.UnsupportedOsMessage.Length) + " UTF-16 units");
  if (map.further_length > 0) {
    Line(out, "Further data", DescribeSize(map.further_length) + " at " +
                                  std::to_string(map.further_offset) + ", checksummed");
  }
  if (map.unchecked_length > 0) {
    Line(out, "Further data", DescribeSize(map.unchecked_length) + " at " +
                                  std::to_string(map.unchecked_offset) + ", not checksummed");
  }
  if (map.message) {
    out += "Message text:\n";
    Print(out, "  " + tools::Utf16ToUtf8(*map.message));
  }
}

void AppendFindings(std::string& out, const char* title, const std::vector<std::string>& items) {
  if (items.empty()) return;
  out += title;
  for (const std::string& item : items) Print(out, "  - " + item);
}

void JsonImage(JsonWriter& json, const PackageMap& map) {
  if (!KeyOrNull(json, "launcher_image", map.image)) return;
  const pe::Image& image = *map.image;
  json.BeginObject()
      .Field("pe_header_offset", image.header_offset)
      .Field("machine", image.machine)
      .Field("subsystem", image.subsystem)
      .Field("checksum", image.checksum)
      .Field("image_end", image.ImageEnd());
  json.Key("sections").BeginArray();
  for (const pe::Section& section : image.sections) {
    json.BeginObject()
        .Field("name", section.name)
        .Field("raw_offset", section.raw_offset)
        .Field("raw_size", section.raw_size)
        .Field("virtual_address", section.virtual_address)
        .Field("virtual_size", section.virtual_size)
        .EndObject();
  }
  json.EndArray();
  const pe::DataDirectory certificate = image.Certificate();
  json.Key("certificate");
  if (certificate.size == 0) {
    json.Null();
  } else {
    json.BeginObject().Field("offset", certificate.address).Field("size", certificate.size).EndObject();
  }
  json.EndObject();
}

void JsonLocator(JsonWriter& json, const PackageMap& map) {
  if (!KeyOrNull(json, "locator", map.locator)) return;
  const stub::TPackageLocator& locator = *map.locator;
  json.BeginObject()
      .Field("package_offset", locator.PackageOffset)
      .Field("crc_length", locator.CrcLength)
      .Field("crc_value", locator.CrcValue);
  if (KeyOrNull(json, "crc_computed", map.computed_crc)) json.UInt(*map.computed_crc);
  json.Field("crc_matches", map.computed_crc && *map.computed_crc == locator.CrcValue)
      .Field("min_file_size", locator.MinFileSize)
      .Field("detached_size", locator.DetachedSize)
      .EndObject();
}

// null without the record; the fields the launcher cannot read are null.
void JsonExtension(JsonWriter& json, const PackageMap& map) {
  json.Key("extension");
  if (map.extension_status == stub::ExtensionStatus::kAbsent) {
    json.Null();
    return;
  }
  json.BeginObject().Field("version", map.extension_version);
  if (map.extension_status == stub::ExtensionStatus::kPresent) {
    json.Field("stream_method", StreamMethodWord(map.extension.StreamMethod))
        .Field("min_build", map.extension.MinBuild)
        .Field("max_build", map.extension.MaxBuild);
  } else {
    json.Key("stream_method").Null().Key("min_build").Null().Key("max_build").Null();
  }
  json.EndObject();
}

// null but for an .xz stream whose headers and index can be read.
void JsonXz(JsonWriter& json, const PackageMap& map) {
  if (!KeyOrNull(json, "xz", map.xz)) return;
  const XzStreamInfo& xz = *map.xz;
  json.BeginObject()
      .Field("blocks", xz.blocks)
      .Field("block_size", xz.block_size)
      .Field("uncompressed_size", xz.uncompressed_size)
      .Field("streams", xz.streams)
      .Field("padding", xz.padding)
      .Field("check", xz.check);
  json.Key("filters").BeginArray();
  for (const std::string& filter : xz.filters) json.String(filter);
  json.EndArray().Field("dict_size", xz.dict_size).EndObject();
}

void JsonHeader(JsonWriter& json, const PackageMap& map) {
  if (!KeyOrNull(json, "header", map.header)) return;
  const stub::TPackageHeader& header = *map.header;
  json.BeginObject();
  json.Key("lzma")
      .BeginObject()
      .Field("properties", HexBytes(header.LzmaProperties))
      .Field("lc", map.lzma.lc)
      .Field("lp", map.lzma.lp)
      .Field("pb", map.lzma.pb)
      .Field("dict_size", map.lzma.dict_size)
      .Field("accepted", map.lzma.accepted)
      .EndObject();
  json.Field("os_mask", header.OsMask).Field("os_mask_hex", Hex(header.OsMask, 16));
  json.Key("os").BeginArray();
  for (const std::string& name : OsMaskNames(header.OsMask)) json.String(name);
  json.EndArray();
  json.Field("min_release_id", header.MinReleaseId)
      .Field("max_release_id", header.MaxReleaseId)
      .Field("elevation_mode", header.ElevationMode)
      .Field("elevation", ElevationName(header.ElevationMode))
      .Field("stream_offset", header.StreamOffset)
      .Field("stream_length", header.StreamLength)
      .Field("program_length", header.ProgramLength);
  JsonExtension(json, map);
  JsonXz(json, map);
  json.Key("message")
      .BeginObject()
      .Field("offset", header.UnsupportedOsMessage.Offset)
      .Field("length", header.UnsupportedOsMessage.Length);
  if (KeyOrNull(json, "text", map.message)) json.String(tools::Utf16ToUtf8(*map.message));
  json.EndObject();
  json.Key("further_data")
      .BeginObject()
      .Field("offset", map.further_offset)
      .Field("length", map.further_length)
      .Field("unchecked_offset", map.unchecked_offset)
      .Field("unchecked_length", map.unchecked_length)
      .EndObject();
  json.EndObject();
}

void JsonStrings(JsonWriter& json, const char* key, const std::vector<std::string>& items) {
  json.Key(key).BeginArray();
  for (const std::string& item : items) json.String(item);
  json.EndArray();
}

}  // namespace

std::string FormatInspectText(const PackageMap& map, const std::string& file_name) {
  std::string out;
  if (map.not_a_package) Print(out, file_name + ": " + NotAPackageSentence(*map.not_a_package));
  Print(out, file_name + ": " + DescribeSize(map.file_size));
  AppendMap(out, map);
  AppendImage(out, map);
  AppendIdentity(out, map);
  AppendLocator(out, map);
  AppendHeader(out, map);
  AppendFindings(out, "Problems:\n", map.problems);
  AppendFindings(out, "Notes:\n", map.notes);
  if (map.problems.empty()) out += "No problems found.\n";
  return out;
}

std::string FormatInspectJson(const PackageMap& map, const std::string& file_name) {
  JsonWriter json;
  json.BeginObject().Field("file", file_name).Field("file_size", map.file_size);
  if (KeyOrNull(json, "not_a_package", map.not_a_package)) json.String(*map.not_a_package);
  json.Key("regions").BeginArray();
  for (const MapRegion& region : map.regions) {
    json.BeginObject()
        .Field("offset", region.offset)
        .Field("end", region.end())
        .Field("length", region.length)
        .Field("name", region.name)
        .EndObject();
  }
  json.EndArray();
  JsonImage(json, map);
  JsonSignature(json, map.signature);
  JsonIdentity(json, map.identity);
  JsonLocator(json, map);
  JsonHeader(json, map);
  JsonStrings(json, "problems", map.problems);
  JsonStrings(json, "notes", map.notes);
  json.EndObject();
  return json.Text();
}

}  // namespace sfxpack
