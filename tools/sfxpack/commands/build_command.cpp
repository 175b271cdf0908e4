// SPDX-License-Identifier: Zlib
// sfxpack build: turns the options into a BuildRequest and builds the package.
#include <lzma.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/commands/build_config.h"
#include "tools/sfxpack/commands/command_line.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/embedded_launcher.h"
#include "tools/sfxpack/commands/identity_options.h"
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/files/descriptor.h"
#include "tools/sfxpack/files/distinct_outputs.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/packing/package_build.h"
#include "tools/sfxpack/packing/stream_method.h"
#include "tools/sfxpack/report/field_names.h"
#include "tools/sfxpack/report/windows_builds.h"

namespace sfxpack {
namespace {

using tools::DescribeSize;
using tools::WithContext;

constexpr uint64_t kMaxLauncherSize = 64 << 20;
constexpr uint64_t kMaxMessageFileSize = 1 << 20;

struct BuildOptions {
  std::string inner, output, stub, data;
  std::string os, os_mask, min_release, max_release, elevation, detached;
  std::string min_build, max_build;
  std::optional<std::string> message;
  std::string message_file;
  std::string method;
  std::string threads;
  unsigned preset = 9;
  bool extreme = false;
  std::optional<unsigned> lc, lp, pb;
  std::string dict;
  bool quiet = false;
  bool progress = false;
  IdentityOptions identity;
  bool allow_any_inner = false;
};

std::u16string MessageFromUtf8(std::string_view text, const std::string& source) {
  return WithContext<tools::UsageFailure>(source + " is not valid UTF-8: ",
                                          [&] { return tools::Utf8ToUtf16(text); });
}

// The message file's text without a UTF-8 byte order mark and without the
// one line break that ends most text files.
std::u16string ReadMessageFile(const std::string& name) {
  const std::filesystem::path path = PathFromUtf8(name);
  const std::vector<uint8_t> bytes = ReadWholeFile(path, "message file", kMaxMessageFileSize);
  std::string text(bytes.begin(), bytes.end());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  if (text.ends_with("\r\n")) {
    text.resize(text.size() - 2);
  } else if (text.ends_with("\n")) {
    text.pop_back();
  }
  if (text.empty()) {
    throw tools::UsageFailure("message file " + Quote(path) +
                              " is empty: an unsupported Windows would show an empty box");
  }
  return MessageFromUtf8(text, "message file " + Quote(path));
}

std::optional<uint32_t> BuildOption(const char* option, const std::string& text) {
  if (text.empty()) return std::nullopt;
  return ParseBuildOption(option, text);
}

packaging::PackageSettings ConvertSettings(const BuildOptions& options) {
  packaging::PackageSettings settings;
  const OsList os = !options.os.empty() ? ParseOsList(options.os) : OsList{AllOsMask(), 0};
  settings.os_mask = !options.os_mask.empty() ? ParseOsMask(options.os_mask) : os.mask;
  const BuildLimits limits = ResolveBuildLimits(settings.os_mask, os.min_build,
                                                BuildOption("--min-build", options.min_build),
                                                BuildOption("--max-build", options.max_build));
  // Only a package with limits carries the record (its stream method is
  // LZMA1 here); every other stays as built before the record existed.
  if (limits.min_build != 0 || limits.max_build != 0) {
    settings.extension = stub::TPackageExtension{};
    settings.extension->MinBuild = limits.min_build;
    settings.extension->MaxBuild = limits.max_build;
  }
  settings.min_release_id =
      options.min_release.empty() ? 0 : ParseReleaseIdOption("--min-release", options.min_release);
  settings.max_release_id = options.max_release.empty()
                                ? 0xFFFF
                                : ParseReleaseIdOption("--max-release", options.max_release);
  if (settings.min_release_id > settings.max_release_id) {
    throw tools::UsageFailure("--min-release " + std::to_string(settings.min_release_id) +
                              " is above --max-release " + std::to_string(settings.max_release_id) +
                              ": no Windows 10 release could run the package");
  }
  if ((!options.min_release.empty() || !options.max_release.empty()) &&
      !(settings.os_mask & stub::OsBit(stub::kOsBit10))) {
    const bool both = !options.min_release.empty() && !options.max_release.empty();
    std::fprintf(stderr, "sfxpack build: warning: %s only to Windows 10, which the package does "
                 "not support\n",
                 both ? "--min-release and --max-release apply"
                      : options.min_release.empty() ? "--max-release applies"
                                                    : "--min-release applies");
  }
  settings.elevation_mode = options.elevation.empty() ? 0 : ParseElevation(options.elevation);
  if (!options.detached.empty() && options.detached != "auto") {
    settings.detached_size =
        static_cast<uint32_t>(ParseSize("--detached", options.detached, 0, 0xFFFFFFFF));
  }
  if (options.message) {
    settings.message = MessageFromUtf8(*options.message, "--message");
  } else if (!options.message_file.empty()) {
    settings.message = ReadMessageFile(options.message_file);
  } else {
    settings.message = MessageFromUtf8(
        DefaultMessage(settings.os_mask, settings.min_release_id, settings.max_release_id, limits),
        "the default message");
  }
  // Settings the format cannot hold (a message too long) are a wrong command line.
  WithContext<tools::UsageFailure>("", [&] { packaging::CheckSettings(settings); });
  return settings;
}

// liblzma's encoder takes lc + lp of at most 4; what the options leave out
// is the preset's (every preset has lc 3 and lp 0).
void CheckLcPlusLp(const BuildOptions& options) {
  const uint32_t lc = options.lc.value_or(LZMA_LC_DEFAULT);
  const uint32_t lp = options.lp.value_or(LZMA_LP_DEFAULT);
  if (lc + lp <= packaging::kMaxLcPlusLp) return;
  const auto named = [](const char* name, const std::optional<unsigned>& option, uint32_t value) {
    return (option ? std::string("--") : std::string("the preset's ")) + name + " " +
           std::to_string(value);
  };
  throw tools::UsageFailure(named("lc", options.lc, lc) + " and " + named("lp", options.lp, lp) +
                            " add up to " + std::to_string(lc + lp) +
                            ": liblzma's encoder takes lc + lp of at most " +
                            std::to_string(packaging::kMaxLcPlusLp));
}

packaging::LzmaSettings ConvertLzma(const BuildOptions& options) {
  packaging::LzmaSettings lzma;
  lzma.preset = options.preset;
  lzma.extreme = options.extreme;
  lzma.lc = options.lc;
  lzma.lp = options.lp;
  lzma.pb = options.pb;
  CheckLcPlusLp(options);
  if (!options.dict.empty()) {
    lzma.dict_size = static_cast<uint32_t>(ParseSize(
        "--dict", options.dict, packaging::kMinDictionarySize, packaging::kMaxDictionarySize));
  }
  return lzma;
}

void PrintSummary(std::FILE* out, const BuildOptions& options, const BuildRequest& request,
                  const BuildResult& result) {
  const stub::TPackageHeader& header = result.layout.header;
  const double ratio =
      header.ProgramLength == 0 ? 0 : 100.0 * header.StreamLength / header.ProgramLength;
  const std::string os = tools::Join(OsMaskNames(request.settings.os_mask), ", ");
  std::fprintf(out, "%s: %s\n", tools::PrintableText(options.output).c_str(),
               DescribeSize(result.package_size).c_str());
  const std::string stream = result.stream_method == stub::kStreamMethodStored
                                 ? std::string("stored as it is")
                                 : StreamMethodName(result.stream_method) + " stream " +
                                       DescribeSize(header.StreamLength);
  std::fprintf(out, "  inner program  %s -> %s (%.1f%%)\n",
               DescribeSize(header.ProgramLength).c_str(), stream.c_str(), ratio);
  if (result.xz_block_size != 0) {
    const uint64_t blocks = (header.ProgramLength + result.xz_block_size - 1) / result.xz_block_size;
    std::fprintf(out, "  xz blocks      %s of %s, encoded on %u threads\n",
                 tools::Decimal(blocks).c_str(), DescribeSize(result.xz_block_size).c_str(),
                 result.xz_threads);
  }
  std::fprintf(out, "  Windows        %s", os.empty() ? "none" : os.c_str());
  // The release range applies only to Windows 10.
  if (header.OsMask & stub::OsBit(stub::kOsBit10)) {
    std::fprintf(out, "; Windows 10 releases %u to %u", header.MinReleaseId, header.MaxReleaseId);
  }
  std::fprintf(out, "\n");
  if (const auto& extension = request.settings.extension;
      extension && (extension->MinBuild != 0 || extension->MaxBuild != 0)) {
    const std::string from = std::to_string(extension->MinBuild);
    const std::string to = std::to_string(extension->MaxBuild);
    const std::string range = extension->MaxBuild == 0   ? "from " + from
                              : extension->MinBuild == 0 ? "up to " + to
                                                         : from + " to " + to;
    std::fprintf(out, "  OS builds      %s: %s\n", range.c_str(),
                 BuildRangeName(extension->MinBuild, extension->MaxBuild).c_str());
  }
  std::fprintf(out, "  elevation      %s\n", ElevationName(header.ElevationMode).c_str());
  std::fprintf(out, "  message        %u UTF-16 units\n", header.UnsupportedOsMessage.Length);
  std::fprintf(out, "  further data   %s\n",
               DescribeSize(result.layout.further_data_length).c_str());
  if (result.layout.locator.DetachedSize != 0) {
    std::fprintf(out, "  detached       %u\n", result.layout.locator.DetachedSize);
  }
  if (request.identity.icon) {
    std::fprintf(out, "  icon           %s images\n",
                 std::to_string(request.identity.icon->size()).c_str());
  }
  if (request.identity.version) {
    std::fprintf(out, "  version        %s\n",
                 pe::VersionText(request.identity.version->file_version).c_str());
  }
}

int RunBuild(const BuildOptions& options) {
  // Every option value is checked, and no output may be an input, before a
  // file is read (but for the message file and the icon, which are part of the
  // options) or written.
  BuildRequest request;
  request.lzma = ConvertLzma(options);
  if (!options.method.empty()) request.stream_method = ParseStreamMethod(options.method);
  if (!options.threads.empty()) request.threads = ParseThreads(options.threads);
  RefuseOutputsOverInputs({{"--inner", options.inner},
                           {"--data", options.data},
                           {"--stub", options.stub},
                           {"--message-file", options.message_file},
                           {"--icon", options.identity.icon}},
                          {{"-o", options.output}});
  request.settings = ConvertSettings(options);
  request.identity =
      ConvertIdentity(options.identity, PathToUtf8(PathFromUtf8(options.output).filename()));
  std::vector<uint8_t> stub_bytes;
  if (options.stub.empty()) {
    request.launcher = EmbeddedLauncher();
  } else {
    stub_bytes = ReadWholeFile(PathFromUtf8(options.stub), "launcher image", kMaxLauncherSize);
    request.launcher = stub_bytes;
    request.launcher_name = Quote(PathFromUtf8(options.stub));
  }
  request.inner = PathFromUtf8(options.inner);
  request.output = PathFromUtf8(options.output);
  if (!options.data.empty()) request.further_data = PathFromUtf8(options.data);
  request.detached_auto = options.detached == "auto";
  request.show_progress = !options.quiet || options.progress;
  request.progress_lines = options.progress;
  request.allow_any_inner = options.allow_any_inner;
  const BuildResult result = BuildPackageFile(request);
  if (!result.inner_signed) {
    // Application control and attack surface reduction rules judge the copy
    // the launcher starts from the temporary folder, not the signed package.
    std::fprintf(stderr,
                 "sfxpack build: warning: the inner program %s carries no Authenticode "
                 "signature: sign it before packing, as application control and attack surface "
                 "reduction rules judge its temporary copy on its own\n",
                 tools::PrintableText(options.inner).c_str());
  }
  // A package written to standard output leaves no room for the summary there.
  std::FILE* summary = ReachesStandardOutput(request.output) ? stderr : stdout;
  if (!options.quiet) PrintSummary(summary, options, request, result);
  return tools::kExitOk;
}

}  // namespace

Command AddBuildCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<BuildOptions>();
  CLI::App* app = sfxpack.add_subcommand(
      "build", "Build a setup package: the launcher image, then the compressed inner program, "
               "the unsupported-Windows message and any further data.");
  app->add_option("--inner,inner", options->inner,
                  "The inner setup program to pack (a Windows program for x86-64, x86 or ARM64), "
                  "as --inner PROGRAM or as the one argument")
      ->required()
      ->type_name("PROGRAM");
  app->add_option("-o,--output", options->output, "The package to write (e.g. setup.exe)")
      ->required()
      ->type_name("FILE");
  app->add_option("--stub", options->stub,
                  "Use this launcher image instead of the one built into sfxpack")
      ->type_name("FILE");

  CLI::Option* os = app->add_option(
      "--os", options->os,
      "Windows versions the package runs on, comma-separated: " + OsWordList() +
          " (10: Windows 10 and 11 alike, as both report 10.0; 11: Windows 11 only, that is "
          "10.0 with a minimum OS build of 22000; newer: the versions the launcher has no bit "
          "of its own for; all, the default: every one)");
  os->type_name("LIST")->check(NotEmpty("names no Windows version: give some of " + OsWordList()));
  CLI::Option* os_mask = app->add_option("--os-mask", options->os_mask,
                                         "The header's OsMask as a number (0x... for hex), "
                                         "instead of --os");
  os_mask->type_name("MASK");
  os->excludes(os_mask);
  app->add_option("--min-release", options->min_release,
                  "Lowest Windows 10 release id the package runs on, e.g. 1507 (default 0)")
      ->type_name("ID");
  app->add_option("--max-release", options->max_release,
                  "Highest Windows 10 release id the package runs on, e.g. 9999 (default 65535)")
      ->type_name("ID");
  app->add_option("--min-build", options->min_build,
                  "The minimum OS build: the lowest Windows 10 or 11 build the package runs on, "
                  "e.g. 19045 for Windows 10 22H2 or later (default: none; --os 11 means 22000)")
      ->type_name("N");
  app->add_option("--max-build", options->max_build,
                  "The highest Windows 10 or 11 build the package runs on, e.g. 21999 for "
                  "Windows 10 but not 11 (default: none)")
      ->type_name("N");
  app->add_option("--elevation", options->elevation,
                  "How a silent install (/s or /silent) starts the inner program for a user who "
                  "is not an administrator: none (0, default), runas (1: ask for elevation), "
                  "noadmin (2: pass /noadmin)")
      ->type_name("MODE");
  app->add_option("--detached", options->detached,
                  "Start the inner program and return without waiting or deleting its copy; "
                  "SIZE is the smallest file size the launcher accepts (e.g. 4MiB), auto = the "
                  "package's own size")
      ->type_name("SIZE|auto");

  CLI::Option* message = app->add_option(
      "--message", options->message,
      "Text shown on an unsupported Windows version; %USER% stands for its name (default: "
      "a text naming the supported versions)");
  message->type_name("TEXT")->check(
      NotEmpty("is refused: an unsupported Windows would show an empty box (without --message "
               "the text names the supported versions)"));
  CLI::Option* message_file =
      app->add_option("--message-file", options->message_file, "The same text from a UTF-8 file");
  message_file->type_name("FILE");
  message->excludes(message_file);
  app->add_option("--data", options->data,
                  "Further package data, stored behind the message; the inner program reads it "
                  "from the package file, whose path it gets as its first argument")
      ->type_name("FILE");

  app->add_option(
         "--method", options->method,
         "How the inner program is stored: auto (default), lzma (LZMA1), stored (as it is: "
         "starts at copy speed; for a program compressed already), x86 (x86 branch filter + "
         "LZMA1: smaller for x86 and x64 code), xz (an .xz stream of blocks that the launcher "
         "decodes on every core; with the x86 filter for x86 and x64 code when it helps). auto "
         "stores a program that LZMA1 shrinks by less than 2 %, takes xz for a program larger "
         "than one xz block (16 dictionaries: 240 MiB at presets 7 to 9, 128 MiB at 5 and 6), "
         "and the x86 filter for x86 and x64 programs when that stream is smaller. Methods but "
         "lzma need a launcher image that decodes them (the embedded one does)")
      ->type_name("METHOD");
  app->add_option("--threads", options->threads,
                  "Threads that encode an xz stream (default: one for each logical processor, "
                  "fewer when they would need more than a quarter of the memory); the package "
                  "is the same whatever their number")
      ->type_name("N");
  app->add_option("--preset", options->preset, "LZMA preset, 0 (fast) to 9 (small, default)")
      ->check(NumberFrom(0, 9))
      ->type_name("0-9");
  app->add_flag("--extreme", options->extreme, "Slower compression for a few bytes less");
  app->add_option("--lc", options->lc, "LZMA literal context bits (0-4; lc + lp at most 4)")
      ->check(NumberFrom(0, 4))
      ->type_name("N");
  app->add_option("--lp", options->lp, "LZMA literal position bits (0-4)")
      ->check(NumberFrom(0, 4))
      ->type_name("N");
  app->add_option("--pb", options->pb, "LZMA position bits (0-4)")
      ->check(NumberFrom(0, 4))
      ->type_name("N");
  app->add_option("--dict", options->dict,
                  "LZMA dictionary size, 4KiB to 1536MiB (default: the preset's, shrunk to the "
                  "inner program's size)")
      ->type_name("SIZE");
  app->add_flag("-q,--quiet", options->quiet, "Print nothing but errors (and --progress)");
  app->add_flag("--progress", options->progress,
                "Show progress also when stderr is no terminal, as plain lines (for CI logs)");

  AddIdentityOptions(*app, options->identity);
  app->add_flag("--allow-any-inner", options->allow_any_inner,
                "Pack an inner program that is not a program for Windows (x86-64, x86 or ARM64) "
                "too; the launcher will fail to start it");
  AddBuildConfigOption(sfxpack, *app);
  app->footer(
      "Examples:\n"
      "  sfxpack build myapp-setup.exe -o setup.exe\n"
      "  sfxpack build --inner inner.exe --data payload.bin -o setup.exe \\\n"
      "      --os 7,8,8.1,10,newer --min-release 1507 --elevation runas \\\n"
      "      --message-file unsupported.txt\n"
      "  sfxpack build --config package.toml --file-version 1.2.3\n"
      "\n"
      "Windows 11 only; Windows 10 22H2 or later, and 11; Windows 10 but not 11:\n"
      "  sfxpack build app-setup.exe -o setup.exe --os 11\n"
      "  sfxpack build app-setup.exe -o setup.exe --os 10 --min-build 19045\n"
      "  sfxpack build app-setup.exe -o setup.exe --os 10 --max-build 21999\n"
      "\n"
      "A --config file (TOML; relative paths are taken from its folder):\n"
      "  inner = \"dist/myapp-setup.exe\"\n"
      "  output = \"dist/setup.exe\"\n"
      "  os = \"7,8,8.1,10,newer\"\n"
      "  min-release = 1507\n"
      "  company-name = \"Example Ltd\"\n"
      "  product-name = \"MyApp\"\n"
      "  version-string = [\"Comments=Built by CI\"]\n"
      "  extreme = true");
  return {app, [options] { return RunBuild(*options); }};
}

}  // namespace sfxpack
