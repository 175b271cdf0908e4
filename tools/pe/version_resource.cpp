// SPDX-License-Identifier: Zlib
#include "tools/pe/version_resource.h"

#include <algorithm>

#include "format/little_endian.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"

namespace pe {
namespace {

using stub::ReadLe16;
using stub::ReadLe32;
using stub::WriteLe16;
using stub::WriteLe32;
using tools::ToolError;

constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;
constexpr uint32_t kBlockHeaderSize = 6;
constexpr uint32_t kStructVersion = 0x10000;
constexpr uint32_t kFileFlagsMask = 0x3F;  // VS_FFI_FILEFLAGSMASK
constexpr uint32_t kFileOsNtWindows32 = 0x40004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint16_t kLanguageUsEnglish = 0x0409;
constexpr uint16_t kCodePageUnicode = 0x04B0;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

struct Block {
  std::u16string key;
  uint16_t type = kBinary;
  uint16_t value_length = 0;
  std::vector<uint8_t> value;
  std::vector<Block> children;
};

void PutUtf16(std::vector<uint8_t>& out, std::u16string_view text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

void PadTo4(std::vector<uint8_t>& out) { out.resize(Align4(out.size()), 0); }

// Writes `block` at the end of `out`, which is 4-aligned; wLength is cut to
// 16 bits here and the caller refuses a resource too large for it.
void WriteBlock(std::vector<uint8_t>& out, const Block& block) {
  const size_t start = out.size();
  out.resize(start + kBlockHeaderSize, 0);
  WriteLe16(&out[start + 2], block.value_length);
  WriteLe16(&out[start + 4], block.type);
  PutUtf16(out, block.key);
  PadTo4(out);
  out.insert(out.end(), block.value.begin(), block.value.end());
  for (const Block& child : block.children) {
    PadTo4(out);
    WriteBlock(out, child);
  }
  WriteLe16(&out[start], static_cast<uint16_t>(out.size() - start));
}

Block TextBlock(const VersionString& string) {
  Block block;
  block.key = string.key;
  block.type = kText;
  block.value_length = static_cast<uint16_t>(string.value.size() + 1);
  PutUtf16(block.value, string.value);
  return block;
}

std::vector<uint8_t> FixedFileInfo(const VersionInfo& info) {
  const auto high = [](const VersionNumber& v) { return (uint32_t{v[0]} << 16) | v[1]; };
  const auto low = [](const VersionNumber& v) { return (uint32_t{v[2]} << 16) | v[3]; };
  const uint32_t fields[kFixedFileInfoSize / 4] = {
      kFixedFileInfoSignature, kStructVersion,     high(info.file_version),
      low(info.file_version),  high(info.product_version), low(info.product_version),
      kFileFlagsMask,          0,                  kFileOsNtWindows32,
      kFileTypeApp,            0,                  0,
      0};
  std::vector<uint8_t> bytes(kFixedFileInfoSize);
  for (size_t i = 0; i < std::size(fields); ++i) WriteLe32(&bytes[4 * i], fields[i]);
  return bytes;
}

void CheckString(const VersionString& string) {
  const std::u16string_view nul(u"\0", 1);
  if (string.key.empty()) throw ToolError("a version string needs a name");
  if (string.key.find(nul) != std::u16string::npos || string.value.find(nul) != std::u16string::npos) {
    throw ToolError("a version string holds a NUL character, which would end it");
  }
}

// A block read from a resource: where its parts lie.
struct RawBlock {
  std::u16string key;
  uint16_t type = 0;
  size_t value_offset = 0;
  size_t value_end = 0;
  size_t children_offset = 0;
  size_t end = 0;
};

class BlockReader {
 public:
  explicit BlockReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  // The block at `offset`, which must end by `limit`.
  RawBlock Read(size_t offset, size_t limit) const {
    RawBlock block;
    if (offset + kBlockHeaderSize > limit) throw Malformed("a block is cut short");
    const uint16_t length = ReadLe16(&bytes_[offset]);
    const uint16_t value_length = ReadLe16(&bytes_[offset + 2]);
    block.type = ReadLe16(&bytes_[offset + 4]);
    if (length < kBlockHeaderSize || offset + length > limit) {
      throw Malformed("a block reaches past its parent");
    }
    block.end = offset + length;
    size_t at = offset + kBlockHeaderSize;
    for (; at + 2 <= block.end && ReadLe16(&bytes_[at]) != 0; at += 2) {
      block.key.push_back(static_cast<char16_t>(ReadLe16(&bytes_[at])));
    }
    if (at + 2 > block.end) throw Malformed("a block's name has no end");
    block.value_offset = std::min(Align4(at + 2), block.end);
    const size_t value_bytes = block.type == kText ? size_t{value_length} * 2 : value_length;
    block.value_end = std::min(block.value_offset + value_bytes, block.end);
    block.children_offset = std::min(Align4(block.value_end), block.end);
    return block;
  }

  std::vector<RawBlock> Children(const RawBlock& parent) const {
    std::vector<RawBlock> children;
    for (size_t at = parent.children_offset; at + kBlockHeaderSize <= parent.end;) {
      children.push_back(Read(at, parent.end));
      at = Align4(children.back().end);
    }
    return children;
  }

  // A text value up to its first NUL.
  std::u16string Text(const RawBlock& block) const {
    std::u16string text;
    for (size_t at = block.value_offset; at + 2 <= block.value_end; at += 2) {
      const char16_t unit = static_cast<char16_t>(ReadLe16(&bytes_[at]));
      if (unit == 0) break;
      text.push_back(unit);
    }
    return text;
  }

  const uint8_t* At(size_t offset) const { return &bytes_[offset]; }

 private:
  static ToolError Malformed(const char* fault) {
    return ToolError(std::string("malformed version resource: ") + fault);
  }

  std::span<const uint8_t> bytes_;
};

VersionNumber SplitVersion(uint32_t high, uint32_t low) {
  return {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
          static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
}

}  // namespace

std::string VersionText(const VersionNumber& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

std::vector<uint8_t> EncodeVersionInfo(const VersionInfo& info) {
  Block table{u"040904B0", kText, 0, {}, {}};
  for (const VersionString& string : info.strings) {
    CheckString(string);
    table.children.push_back(TextBlock(string));
  }
  Block translation{u"Translation", kBinary, 4, std::vector<uint8_t>(4), {}};
  WriteLe16(&translation.value[0], kLanguageUsEnglish);
  WriteLe16(&translation.value[2], kCodePageUnicode);
  Block root{u"VS_VERSION_INFO", kBinary, kFixedFileInfoSize, FixedFileInfo(info), {}};
  root.children.push_back(Block{u"StringFileInfo", kText, 0, {}, {std::move(table)}});
  root.children.push_back(Block{u"VarFileInfo", kText, 0, {}, {std::move(translation)}});
  std::vector<uint8_t> out;
  WriteBlock(out, root);
  if (out.size() > kMaxVersionResourceSize) {
    throw ToolError("the version information takes " + tools::Decimal(out.size()) +
                    " bytes; a version resource holds at most " +
                    tools::Decimal(kMaxVersionResourceSize));
  }
  return out;
}

VersionInfo ParseVersionInfo(std::span<const uint8_t> resource) {
  const BlockReader reader(resource);
  const RawBlock root = reader.Read(0, resource.size());
  if (root.value_end - root.value_offset < kFixedFileInfoSize ||
      ReadLe32(reader.At(root.value_offset)) != kFixedFileInfoSignature) {
    throw ToolError("malformed version resource: no VS_FIXEDFILEINFO");
  }
  VersionInfo info;
  const uint8_t* fixed = reader.At(root.value_offset);
  info.file_version = SplitVersion(ReadLe32(fixed + 8), ReadLe32(fixed + 12));
  info.product_version = SplitVersion(ReadLe32(fixed + 16), ReadLe32(fixed + 20));
  for (const RawBlock& child : reader.Children(root)) {
    if (child.key != u"StringFileInfo") continue;
    for (const RawBlock& table : reader.Children(child)) {
      for (const RawBlock& string : reader.Children(table)) {
        info.strings.push_back({string.key, reader.Text(string)});
      }
    }
  }
  return info;
}

}  // namespace pe
