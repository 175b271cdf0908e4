// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/commands/build_options.h"

#include "tools/sfxpack/report/field_names.h"

namespace sfxpack {

std::vector<OptionRow> BuildOptionRows(BuildOptions& o) {
  using enum ValueKind;
  const std::string os_words = OsWordList();
  std::vector<OptionRow> rows = {
      {.names = "--inner,inner",
       .type_name = "PROGRAM",
       .help = "The inner setup program to pack (a Windows program for x86-64, x86 or ARM64), as "
               "--inner PROGRAM or as the one argument; required, here or in the --config file",
       .kind = kFile,
       .target = &o.inner},
      {.names = "-o,--output",
       .type_name = "FILE",
       .help = "The package to write (e.g. setup.exe); required, here or in the --config file",
       .kind = kFile,
       .target = &o.output},
      {.names = "--stub",
       .type_name = "FILE",
       .help = "Use this launcher image instead of the one built into sfxpack",
       .kind = kFile,
       .target = &o.stub},
      {.names = "--os",
       .type_name = "LIST",
       .help = "Windows versions the package runs on, comma-separated: " + os_words +
               " (10: Windows 10 and 11 alike, as both report 10.0; 11: Windows 11 only, that "
               "is 10.0 with a minimum OS build of 22000; newer: the versions the launcher has "
               "no bit of its own for; all, the default: every one)",
       .kind = kText,
       .target = &o.os,
       .if_empty = "names no Windows version: give some of " + os_words,
       .excludes = "os-mask"},
      {.names = "--os-mask",
       .type_name = "MASK",
       .help = "The header's OsMask as a number (0x... for hex), instead of --os",
       .kind = kNumber,
       .target = &o.os_mask},
      {.names = "--min-release",
       .type_name = "ID",
       .help = "Lowest Windows 10 release id the package runs on, e.g. 1507 (default 0)",
       .kind = kNumber,
       .target = &o.min_release},
      {.names = "--max-release",
       .type_name = "ID",
       .help = "Highest Windows 10 release id the package runs on, e.g. 9999 (default 65535)",
       .kind = kNumber,
       .target = &o.max_release},
      {.names = "--min-build",
       .type_name = "N",
       .help = "The minimum OS build: the lowest Windows 10 or 11 build the package runs on, "
               "e.g. 19045 for Windows 10 22H2 or later (default: none; --os 11 means 22000)",
       .kind = kNumber,
       .target = &o.min_build},
      {.names = "--max-build",
       .type_name = "N",
       .help = "The highest Windows 10 or 11 build the package runs on, e.g. 21999 for Windows "
               "10 but not 11 (default: none)",
       .kind = kNumber,
       .target = &o.max_build},
      {.names = "--elevation",
       .type_name = "MODE",
       .help = "How a silent install (/s or /silent) starts the inner program for a user who is "
               "not an administrator: none (0, default), runas (1: ask for elevation), noadmin "
               "(2: pass /noadmin)",
       .kind = kText,
       .target = &o.elevation},
      {.names = "--detached",
       .type_name = "SIZE|auto",
       .help = "Start the inner program and return without waiting or deleting its copy; SIZE "
               "is the smallest file size the launcher accepts (e.g. 4MiB), auto = the package's "
               "own size",
       .kind = kNumber,
       .target = &o.detached},
      {.names = "--message",
       .type_name = "TEXT",
       .help = "Text shown on an unsupported Windows version; %USER% stands for its name "
               "(default: a text naming the supported versions)",
       .kind = kText,
       .target = &o.message,
       .if_empty = "is refused: an unsupported Windows would show an empty box (without "
                   "--message the text names the supported versions)",
       .excludes = "message-file"},
      {.names = "--message-file",
       .type_name = "FILE",
       .help = "The same text from a UTF-8 file",
       .kind = kFile,
       .target = &o.message_file},
      {.names = "--data",
       .type_name = "FILE",
       .help = "Further package data, stored behind the message; the inner program reads it "
               "from the package file, whose path it gets as its first argument",
       .kind = kFile,
       .target = &o.data},
      {.names = "--method",
       .type_name = "METHOD",
       .help = "How the inner program is stored: auto (default), lzma (LZMA1), stored (as it "
               "is: starts at copy speed; for a program compressed already), x86 (x86 branch "
               "filter + LZMA1: smaller for x86 and x64 code), xz (an .xz stream of blocks that "
               "the launcher decodes on every core; with the x86 filter for x86 and x64 code "
               "when it helps). auto stores a program that LZMA1 shrinks by less than 2 %, takes "
               "xz for a program larger than one xz block (16 MiB, 8 MiB at preset 0), and the x86 filter for x86 and x64 programs when "
               "that stream is smaller. Methods but lzma need a launcher image that decodes "
               "them (the embedded one does)",
       .kind = kText,
       .target = &o.method},
      {.names = "--threads",
       .type_name = "N",
       .help = "Threads that encode an xz stream (default: one for each logical processor, "
               "fewer when they would need more than a quarter of the memory); the package is "
               "the same whatever their number",
       .kind = kText,
       .target = &o.threads},
      {.names = "--preset",
       .type_name = "0-9",
       .help = "LZMA preset, 0 (fast) to 9 (small, default)",
       .kind = kNumber,
       .target = &o.preset,
       .max = 9},
      {.names = "--extreme",
       .help = "Slower compression for a few bytes less",
       .kind = kFlag,
       .target = &o.extreme},
      {.names = "--lc",
       .type_name = "N",
       .help = "LZMA literal context bits (0-4; lc + lp at most 4)",
       .kind = kNumber,
       .target = &o.lc,
       .max = 4},
      {.names = "--lp",
       .type_name = "N",
       .help = "LZMA literal position bits (0-4)",
       .kind = kNumber,
       .target = &o.lp,
       .max = 4},
      {.names = "--pb",
       .type_name = "N",
       .help = "LZMA position bits (0-4)",
       .kind = kNumber,
       .target = &o.pb,
       .max = 4},
      {.names = "--dict",
       .type_name = "SIZE",
       .help = "LZMA dictionary size, 4KiB to 1536MiB (default: the preset's, shrunk to the "
               "inner program's size)",
       .kind = kNumber,
       .target = &o.dict},
      {.names = "-q,--quiet",
       .help = "Print nothing but errors (and --progress)",
       .kind = kFlag,
       .target = &o.quiet},
      {.names = "--progress",
       .help = "Show progress also when stderr is no terminal, as plain lines (for CI logs)",
       .kind = kFlag,
       .target = &o.progress},
  };
  AppendIdentityRows(rows, o.identity);
  rows.push_back({.names = "--allow-any-inner",
                  .help = "Pack an inner program that is not a program for Windows (x86-64, x86 "
                          "or ARM64) too; the launcher will fail to start it",
                  .kind = kFlag,
                  .target = &o.allow_any_inner});
  rows.push_back({.names = "--allow-unsigned-inner",
                  .help = "No warning for an inner program without an Authenticode signature "
                          "of its own (for a vendor who signs it later, or not at all)",
                  .kind = kFlag,
                  .target = &o.allow_unsigned_inner});
  rows.push_back({.names = "--json",
                  .help = "Print the build manifest, JSON for a release pipeline, instead of "
                          "the summary: the package's path, size and SHA-256, the inner "
                          "program's, the stream, the Windows limits, the identity and the "
                          "signature (on stderr when the package goes to stdout)",
                  .kind = kFlag,
                  .target = &o.json});
  rows.push_back({.names = "--manifest",
                  .type_name = "FILE",
                  .help = "Write the build manifest (as --json prints it) to FILE",
                  .kind = kFile,
                  .target = &o.manifest});
  const std::string signing = "Signing (the vendor's own tool, through the system's shell)";
  rows.push_back({.names = "--sign-command",
                  .type_name = "COMMAND",
                  .help = "Sign the finished package with COMMAND, run by sh -c (cmd /c on "
                          "Windows) with {file} for the file to sign, before it replaces the "
                          "output; then check that the signature covers the whole package. "
                          "Shown with every argument masked",
                  .kind = kText,
                  .target = &o.sign_command,
                  .config_key = "sign.command",
                  .group = signing});
  rows.push_back({.names = "--sign-inner",
                  .help = "Sign a copy of the inner program with the same command first, and "
                          "pack that",
                  .kind = kFlag,
                  .target = &o.sign_inner,
                  .config_key = "sign.inner",
                  .group = signing});
  rows.push_back({.names = "--config",
                  .type_name = "FILE",
                  .help = "Read build's options from a TOML file: every long option is a key "
                          "(inner = \"myapp-setup.exe\", extreme = true); the command line "
                          "overrides the file, and relative paths in it are taken from the "
                          "file's folder",
                  .kind = kFile,
                  .target = &o.config,
                  .config_key = "-"});
  return rows;
}

}  // namespace sfxpack
