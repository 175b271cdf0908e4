// SPDX-License-Identifier: Zlib
#include "tools/pe/windows_program.h"

#include <algorithm>
#include <cstdio>

#include "format/little_endian.h"
#include "tools/pe/pe_image.h"

namespace pe {
namespace {

constexpr uint16_t kRunnableMachines[] = {kMachineAmd64, kMachineI386, kMachineArm64};
constexpr uint16_t kPe32Magic = 0x10B;

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

ProgramReader SpanReader(std::span<const uint8_t> file) {
  return [file](uint64_t offset, size_t size) {
    if (offset >= file.size()) return std::vector<uint8_t>();
    const std::span<const uint8_t> part =
        file.subspan(offset, std::min<uint64_t>(size, file.size() - offset));
    return std::vector<uint8_t>(part.begin(), part.end());
  };
}

}  // namespace

std::optional<std::string> WhyNotWindowsProgram(uint64_t size, const ProgramReader& read) {
  if (size == 0) return "it is empty";
  const std::vector<uint8_t> dos = read(0, kPeHeaderOffsetField + 4);
  if (dos.size() < 2 || dos[0] != 'M' || dos[1] != 'Z') return "it does not start with MZ";
  if (dos.size() < kPeHeaderOffsetField + 4) return "its DOS header is cut short";
  const uint32_t pe_offset = stub::ReadLe32(&dos[kPeHeaderOffsetField]);
  // The signature and the Machine field behind it.
  if (pe_offset > size || size - pe_offset < 6) {
    return "its PE header offset " + std::to_string(pe_offset) + " lies outside the file";
  }
  const std::vector<uint8_t> header = read(pe_offset, 6);
  if (header.size() < 6 || header[0] != 'P' || header[1] != 'E' || header[2] != 0 ||
      header[3] != 0) {
    return "it has no PE signature at offset " + std::to_string(pe_offset);
  }
  const uint16_t machine = stub::ReadLe16(&header[4]);
  if (std::find(std::begin(kRunnableMachines), std::end(kRunnableMachines), machine) ==
      std::end(kRunnableMachines)) {
    return "its machine type " + Hex4(machine) +
           " is none that Windows runs (x86-64, x86, ARM64)";
  }
  return std::nullopt;
}

std::optional<std::string> WhyNotWindowsProgram(std::span<const uint8_t> file) {
  return WhyNotWindowsProgram(file.size(), SpanReader(file));
}

std::optional<uint16_t> WindowsProgramMachine(uint64_t size, const ProgramReader& read) {
  if (WhyNotWindowsProgram(size, read)) return std::nullopt;
  const uint32_t pe_offset = stub::ReadLe32(read(kPeHeaderOffsetField, 4).data());
  return stub::ReadLe16(read(pe_offset + 4, 2).data());
}

std::optional<uint16_t> WindowsProgramMachine(std::span<const uint8_t> file) {
  return WindowsProgramMachine(file.size(), SpanReader(file));
}

bool HasCertificateTable(uint64_t size, const ProgramReader& read) {
  if (WhyNotWindowsProgram(size, read)) return false;
  const std::vector<uint8_t> dos = read(0, kPeHeaderOffsetField + 4);
  const uint64_t coff = uint64_t{stub::ReadLe32(&dos[kPeHeaderOffsetField])} + 4;
  // The COFF header and the optional header up to the certificate entry (the
  // data directories of PE32+ lie furthest in).
  const std::vector<uint8_t> header =
      read(coff, kCoffHeaderSize + kOptDataDirectories + 8 * (kCertificateDirectory + 1));
  const uint64_t optional = kCoffHeaderSize;
  if (optional + 2 > header.size()) return false;
  const uint16_t optional_size = stub::ReadLe16(&header[16]);
  const uint16_t magic = stub::ReadLe16(&header[optional]);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return false;
  const uint64_t directories = magic == kPe32Magic ? 96 : kOptDataDirectories;
  const uint64_t entry = directories + 8 * kCertificateDirectory;
  if (optional_size < entry + 8 || optional + entry + 8 > header.size()) return false;
  if (stub::ReadLe32(&header[optional + directories - 4]) <= kCertificateDirectory) return false;
  const uint32_t offset = stub::ReadLe32(&header[optional + entry]);
  const uint32_t table_size = stub::ReadLe32(&header[optional + entry + 4]);
  return table_size != 0 && offset != 0 && uint64_t{offset} + table_size <= size;
}

bool HasCertificateTable(std::span<const uint8_t> file) {
  return HasCertificateTable(file.size(), SpanReader(file));
}

}  // namespace pe
