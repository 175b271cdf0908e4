// SPDX-License-Identifier: Zlib
#include "tools/pe/resource_tree.h"

#include <algorithm>

#include "format/byte_range.h"
#include "format/little_endian.h"
#include "tools/common/tool_error.h"

namespace pe {
namespace {

using stub::ReadLe16;
using stub::ReadLe32;
using stub::WriteLe16;
using stub::WriteLe32;
using tools::ToolError;

constexpr uint32_t kHighBit = 0x80000000;
constexpr int kLevels = 3;  // type, name, language
// Far beyond any real image; a hostile directory of shared subdirectories
// could otherwise make the walk visit billions of entries.
constexpr uint64_t kMaxEntriesVisited = 1 << 20;
constexpr uint32_t kDataAlignment = 8;

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

class DirectoryReader {
 public:
  DirectoryReader(std::span<const uint8_t> section, uint32_t section_rva)
      : section_(section), rva_(section_rva) {}

  std::vector<Resource> Run() {
    Resource path;
    ReadDirectory(0, 0, path);
    return std::move(resources_);
  }

 private:
  void Require(bool ok, const char* fault) const {
    if (!ok) throw ToolError(std::string("malformed resource directory: ") + fault);
  }
  bool Fits(uint64_t offset, uint64_t size) const {
    return stub::RangeWithin(offset, size, section_.size());
  }

  void ReadDirectory(uint32_t offset, int level, Resource& path) {
    Require(Fits(offset, kResourceDirectorySize), "a directory lies outside the section");
    const uint8_t* directory = &section_[offset];
    const uint32_t count = uint32_t{ReadLe16(directory + 12)} + ReadLe16(directory + 14);
    Require(Fits(uint64_t{offset} + kResourceDirectorySize, uint64_t{count} * kResourceEntrySize),
            "a directory's entries reach past the section");
    for (uint32_t i = 0; i < count; ++i) {
      Require(++entries_visited_ <= kMaxEntriesVisited, "too many entries (looping directories?)");
      const uint8_t* entry = directory + kResourceDirectorySize + i * kResourceEntrySize;
      const ResourceKey key = ReadKey(ReadLe32(entry));
      const uint32_t target = ReadLe32(entry + 4);
      const bool is_directory = (target & kHighBit) != 0;
      if (level == 0) path.type = key;
      if (level == 1) path.name = key;
      if (level < kLevels - 1) {
        Require(is_directory, "a resource is not three directories deep");
        ReadDirectory(target & ~kHighBit, level + 1, path);
      } else {
        Require(!is_directory, "a directory lies deeper than three levels");
        Require(key.is_id(), "a language is a name, not an id");
        path.language = key.id;
        ReadDataEntry(target, path);
      }
    }
  }

  ResourceKey ReadKey(uint32_t name) const {
    ResourceKey key;
    if ((name & kHighBit) == 0) {
      key.id = static_cast<uint16_t>(name);
      return key;
    }
    const uint32_t offset = name & ~kHighBit;
    Require(Fits(offset, 2), "a name lies outside the section");
    const uint16_t length = ReadLe16(&section_[offset]);
    Require(length > 0 && Fits(uint64_t{offset} + 2, uint64_t{length} * 2),
            "a name is empty or reaches past the section");
    for (uint16_t i = 0; i < length; ++i) {
      key.text.push_back(static_cast<char16_t>(ReadLe16(&section_[offset + 2 + 2 * i])));
    }
    return key;
  }

  void ReadDataEntry(uint32_t offset, Resource& path) {
    Require(Fits(offset, kResourceDataEntrySize), "a data entry lies outside the section");
    const uint8_t* entry = &section_[offset];
    const uint32_t data_rva = ReadLe32(entry);
    const uint32_t size = ReadLe32(entry + 4);
    Require(data_rva >= rva_ && Fits(data_rva - rva_, size),
            "a resource's data lies outside the section");
    data_bytes_ += size;
    Require(data_bytes_ <= section_.size(), "the resources hold more bytes than the section");
    path.code_page = ReadLe32(entry + 8);
    const auto begin = section_.begin() + (data_rva - rva_);
    path.data.assign(begin, begin + size);
    resources_.push_back(path);
  }

  std::span<const uint8_t> section_;
  uint32_t rva_;
  std::vector<Resource> resources_;
  uint64_t entries_visited_ = 0;
  uint64_t data_bytes_ = 0;
};

// Names first, in the order given; then ids, ascending.
bool KeyBefore(const ResourceKey& a, const ResourceKey& b) {
  if (a.is_id() != b.is_id()) return !a.is_id();
  return a.is_id() && a.id < b.id;
}

struct NameNode {
  ResourceKey name;
  std::vector<const Resource*> languages;
};

struct TypeNode {
  ResourceKey type;
  std::vector<NameNode> names;
};

// Finds the node of `key`, searching from the back: resources read from a
// directory arrive grouped, so the last node is nearly always the one.
template <typename Node, typename Key>
Node& NodeFor(std::vector<Node>& nodes, const ResourceKey& key, Key member) {
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    if ((*it).*member == key) return *it;
  }
  nodes.push_back({});
  nodes.back().*member = key;
  return nodes.back();
}

std::vector<TypeNode> BuildTree(const std::vector<Resource>& resources) {
  std::vector<TypeNode> types;
  for (const Resource& resource : resources) {
    TypeNode& type = NodeFor(types, resource.type, &TypeNode::type);
    NodeFor(type.names, resource.name, &NameNode::name).languages.push_back(&resource);
  }
  std::stable_sort(types.begin(), types.end(),
                   [](const TypeNode& a, const TypeNode& b) { return KeyBefore(a.type, b.type); });
  for (TypeNode& type : types) {
    std::stable_sort(type.names.begin(), type.names.end(),
                     [](const NameNode& a, const NameNode& b) { return KeyBefore(a.name, b.name); });
    for (NameNode& name : type.names) {
      std::stable_sort(name.languages.begin(), name.languages.end(),
                       [](const Resource* a, const Resource* b) { return a->language < b->language; });
    }
  }
  return types;
}

uint32_t DirectorySize(size_t entries) {
  return kResourceDirectorySize + static_cast<uint32_t>(entries) * kResourceEntrySize;
}

class SectionWriter {
 public:
  SectionWriter(const std::vector<TypeNode>& types, uint32_t section_rva)
      : types_(types), rva_(section_rva) {}

  std::vector<uint8_t> Run() {
    Plan();
    out_.assign(data_end_, 0);
    uint32_t directory = 0;
    uint32_t next_directory = DirectorySize(types_.size());
    WriteHeader(directory, types_);
    for (size_t t = 0; t < types_.size(); ++t) {
      const TypeNode& type = types_[t];
      WriteEntry(directory, t, type.type, next_directory | kHighBit);
      const uint32_t type_directory = next_directory;
      next_directory += DirectorySize(type.names.size());
      WriteHeader(type_directory, type.names);
      for (size_t n = 0; n < type.names.size(); ++n) {
        const NameNode& name = type.names[n];
        WriteEntry(type_directory, n, name.name, next_directory | kHighBit);
        const uint32_t name_directory = next_directory;
        next_directory += DirectorySize(name.languages.size());
        WriteHeader(name_directory, name.languages);
        for (size_t l = 0; l < name.languages.size(); ++l) {
          WriteEntry(name_directory, l, ResourceKey{name.languages[l]->language, {}},
                     WriteData(*name.languages[l]));
        }
      }
    }
    return std::move(out_);
  }

 private:
  // Where the strings, the data entries and the data begin, and the end.
  // Counted in 64 bits and checked against the limit before anything is
  // allocated; within it, every offset fits the 32-bit fields.
  // A directory counts its named entries and its id entries in 16 bits each,
  // a name its characters.
  void Plan() {
    uint64_t directories = 0;
    uint64_t strings = 0;
    uint64_t data_entries = 0;
    uint64_t data = 0;
    const auto add_directory = [&](const auto& items) {
      size_t named = 0;
      for (const auto& item : items) named += IsNamed(item) ? 1 : 0;
      if (named > 0xFFFF || items.size() - named > 0xFFFF) {
        throw ToolError("a resource directory would hold more than 65,535 names or ids");
      }
      directories += DirectorySize(items.size());
    };
    const auto add_string = [&](const ResourceKey& key) {
      if (key.text.size() > 0xFFFF) throw ToolError("a resource name is longer than 65,535 characters");
      if (!key.is_id()) strings += 2 + 2 * uint64_t{key.text.size()};
    };
    add_directory(types_);
    for (const TypeNode& type : types_) {
      add_directory(type.names);
      add_string(type.type);
      for (const NameNode& name : type.names) {
        add_directory(name.languages);
        add_string(name.name);
        for (const Resource* resource : name.languages) {
          data_entries += kResourceDataEntrySize;
          data = AlignUp(data, kDataAlignment) + uint64_t{resource->data.size()};
        }
      }
    }
    const uint64_t data_entries_start = AlignUp(directories + strings, 4);
    const uint64_t data_start = AlignUp(data_entries_start + data_entries, kDataAlignment);
    if (data_start + data > kMaxResourceSectionSize) {
      throw ToolError("the resources would take more than " +
                      std::to_string(kMaxResourceSectionSize >> 20) + " MiB");
    }
    next_string_ = static_cast<uint32_t>(directories);
    next_data_entry_ = static_cast<uint32_t>(data_entries_start);
    next_data_ = static_cast<uint32_t>(data_start);
    data_end_ = static_cast<uint32_t>(data_start + data);
  }

  template <typename Items>
  void WriteHeader(uint32_t offset, const Items& items) {
    uint16_t named = 0;
    for (const auto& item : items) named += IsNamed(item) ? 1 : 0;
    WriteLe16(&out_[offset + 12], named);
    WriteLe16(&out_[offset + 14], static_cast<uint16_t>(items.size() - named));
  }
  static bool IsNamed(const TypeNode& node) { return !node.type.is_id(); }
  static bool IsNamed(const NameNode& node) { return !node.name.is_id(); }
  static bool IsNamed(const Resource*) { return false; }

  void WriteEntry(uint32_t directory, size_t index, const ResourceKey& key, uint32_t target) {
    uint8_t* entry = &out_[directory + kResourceDirectorySize + index * kResourceEntrySize];
    WriteLe32(entry, key.is_id() ? key.id : WriteString(key.text) | kHighBit);
    WriteLe32(entry + 4, target);
  }

  uint32_t WriteString(const std::u16string& text) {
    const uint32_t offset = next_string_;
    WriteLe16(&out_[offset], static_cast<uint16_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) WriteLe16(&out_[offset + 2 + 2 * i], text[i]);
    next_string_ += 2 + 2 * static_cast<uint32_t>(text.size());
    return offset;
  }

  uint32_t WriteData(const Resource& resource) {
    const uint32_t entry = next_data_entry_;
    next_data_entry_ += kResourceDataEntrySize;
    WriteLe32(&out_[entry], rva_ + next_data_);
    WriteLe32(&out_[entry + 4], static_cast<uint32_t>(resource.data.size()));
    WriteLe32(&out_[entry + 8], resource.code_page);
    std::copy(resource.data.begin(), resource.data.end(), out_.begin() + next_data_);
    next_data_ = static_cast<uint32_t>(
        AlignUp(next_data_ + uint64_t{resource.data.size()}, kDataAlignment));
    return entry;
  }

  const std::vector<TypeNode>& types_;
  uint32_t rva_;
  std::vector<uint8_t> out_;
  uint32_t next_string_ = 0, next_data_entry_ = 0, next_data_ = 0, data_end_ = 0;
};

}  // namespace

std::vector<Resource> ReadResources(std::span<const uint8_t> section, uint32_t section_rva) {
  return DirectoryReader(section, section_rva).Run();
}

std::vector<uint8_t> WriteResources(const std::vector<Resource>& resources, uint32_t section_rva) {
  const std::vector<TypeNode> types = BuildTree(resources);
  return SectionWriter(types, section_rva).Run();
}

}  // namespace pe
