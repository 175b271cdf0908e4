// SPDX-License-Identifier: Zlib
// `sfxpack build` once its options are converted: choose how to store the
// inner program, then write the package front to back, the program read from
// its file and encoded as it comes, the further data copied from its own.
// Neither is ever held in memory whole.
//
// The output's temporary file is created first, so an output that cannot be
// written fails before any input is read; the limits of the format that the
// inputs' sizes decide are checked before a byte is written to it, those of
// the stream as it is written (the packaging::PackageWriter), and the output
// appears complete or not at all (AtomicOutput).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "tools/package_writer/package_writer.h"
#include "tools/pe/image_identity.h"
#include "tools/sfxpack/packing/stream_encoding.h"

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
  // The threads of the .xz encoder; nullopt: DefaultXzThreads.
  std::optional<uint32_t> threads;
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
  // An .xz stream's blocks: the program's bytes per block, and the threads
  // that encoded them; 0 for other methods.
  uint64_t xz_block_size = 0;
  uint32_t xz_threads = 0;
  // Whether the inner program carries an Authenticode signature of its own
  // (pe::HasCertificateTable).
  bool inner_signed = false;
};

// Builds the package. Throws a tools::ToolError naming the file and the
// problem: a UsageFailure when the output is not a regular file, a Failure
// when an input cannot be used (an inner program that is not a Windows
// program, unless allowed, or too large for the package; a launcher image
// that cannot read the stream method asked for) or the output cannot be
// written.
BuildResult BuildPackageFile(const BuildRequest& request);

}  // namespace sfxpack
