// SPDX-License-Identifier: Zlib
// `sfxpack build` once its options are converted: encode the inner program,
// lay out the package and write it, streaming the further data from its file.
//
// The output's temporary file is created first, so an output that cannot be
// written fails before any input is read; every limit of the format is
// checked before a byte is written to it, and the output appears complete or
// not at all (AtomicOutput).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "tools/package_writer/package_writer.h"
#include "tools/pe/image_identity.h"

namespace sfxpack {

class AtomicOutput;

struct BuildRequest {
  std::span<const uint8_t> launcher;
  std::string launcher_name = "the embedded launcher image";  // for messages
  std::filesystem::path inner;
  std::optional<std::filesystem::path> further_data;
  std::filesystem::path output;
  packaging::PackageSettings settings;
  packaging::LzmaSettings lzma;
  // The stream method (stub::kStreamMethod*); nullopt: auto's choice among
  // those the launcher image decodes (packing/stream_method.h).
  std::optional<uint8_t> stream_method;
  // The icon and version resource set in the launcher image; none keeps its own.
  pe::Identity identity;
  // DetachedSize = the package's own length (the low 32 bits must hold it).
  bool detached_auto = false;
  bool show_progress = true;
  // Progress as plain lines when stderr is no terminal (a CI log).
  bool progress_lines = false;
  // Packs an inner program that Windows cannot start (pe::WhyNotWindowsProgram)
  // instead of refusing it.
  bool allow_any_inner = false;
  // Called with the finished package before it replaces the output: to read
  // it back, or to have another program rewrite it (sign it). Throwing
  // leaves the output as it was.
  std::function<void(AtomicOutput& package)> before_commit;
};

struct BuildResult {
  packaging::PackageLayout layout;
  uint64_t package_size = 0;
  uint8_t stream_method = 0;
  // Whether the inner program carries an Authenticode signature of its own
  // (pe::HasCertificateTable).
  bool inner_signed = false;
};

// The LZMA settings used for an inner program of `program_size` bytes: without
// an explicit dictionary size, the preset's dictionary shrunk to the smallest
// power of two that holds the whole program (4 KiB at least). Matches cannot
// reach further back than the program is long, so compression stays the same,
// and the launcher needs no more memory for its history than the program takes.
packaging::LzmaSettings EffectiveLzmaSettings(const packaging::LzmaSettings& lzma,
                                              uint64_t program_size);

// Builds the package. Throws a tools::ToolError naming the file and the
// problem: a UsageFailure when the output is not a regular file, a Failure
// when an input cannot be used (an inner program that is not a Windows
// program, unless allowed; a launcher image that cannot read the stream
// method asked for) or the output cannot be written.
BuildResult BuildPackageFile(const BuildRequest& request);

}  // namespace sfxpack
