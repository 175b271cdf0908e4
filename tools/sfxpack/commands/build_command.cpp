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
#include "tools/sfxpack/commands/build_options.h"
#include "tools/sfxpack/commands/command_line.h"
#include "tools/sfxpack/commands/commands.h"
#include "tools/sfxpack/commands/embedded_launcher.h"
#include "tools/sfxpack/commands/finished_package.h"
#include "tools/sfxpack/commands/identity_options.h"
#include "tools/sfxpack/commands/options.h"
#include "tools/sfxpack/commands/sign_command.h"
#include "tools/sfxpack/files/descriptor.h"
#include "tools/sfxpack/files/distinct_outputs.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/sfxpack/files/text_output.h"
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
                  const BuildResult& result, const std::optional<PackageSignature>& signature) {
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
  const std::string releases = ReleaseRangeText(header.MinReleaseId, header.MaxReleaseId);
  if ((header.OsMask & stub::OsBit(stub::kOsBit10)) && !releases.empty()) {
    std::fprintf(out, "; Windows 10 %s", releases.c_str());
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
  if (signature) {
    std::fprintf(out, "  signature      certificate table at %s, %s bytes: %s\n",
                 std::to_string(signature->table_offset).c_str(),
                 std::to_string(signature->table_size).c_str(), "covers the whole package");
  }
}

BuildManifest Manifest(const BuildOptions& options, const BuildRequest& request,
                       const BuildResult& result, const FinishedPackage& finished) {
  BuildManifest manifest;
  manifest.result = result;
  manifest.output = {options.output, finished.size, finished.sha256};
  manifest.inner = DigestOf(request.inner, options.inner);
  if (request.further_data) manifest.further_data = options.data;
  if (const auto& extension = request.settings.extension) {
    manifest.min_build = extension->MinBuild;
    manifest.max_build = extension->MaxBuild;
  }
  manifest.identity = finished.identity;
  manifest.signature = finished.signature;
  if (!options.sign_command.empty()) manifest.sign_command = MaskedCommand(options.sign_command);
  manifest.sign_inner = options.sign_inner;
  return manifest;
}

// The signing options, checked before any work.
void CheckSigning(const BuildOptions& options) {
  if (options.sign_command.empty()) {
    if (options.sign_inner) {
      throw tools::UsageFailure("--sign-inner needs --sign-command, the command that signs");
    }
    return;
  }
  CheckSignCommand(options.sign_command);
  if (DescriptorNamedBy(PathFromUtf8(options.output))) {
    throw tools::UsageFailure("--sign-command needs -o to name a file: a package written through "
                              "a descriptor (" + options.output + ") has no name to sign it by");
  }
}

// The request the options make, their values checked; `stub_bytes` holds the
// --stub image the request points into.
BuildRequest ConvertRequest(const BuildOptions& options, std::vector<uint8_t>& stub_bytes) {
  BuildRequest request;
  request.lzma = ConvertLzma(options);
  if (!options.method.empty()) request.stream_method = ParseStreamMethod(options.method);
  if (!options.threads.empty()) request.threads = ParseThreads(options.threads);
  request.settings = ConvertSettings(options);
  request.identity =
      ConvertIdentity(options.identity, PathToUtf8(PathFromUtf8(options.output).filename()));
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
  return request;
}

int RunBuild(const BuildOptions& options) {
  // Every option value is checked, and no output may be an input, before a
  // file is read (but for the message file and the icon, which are part of the
  // options) or written.
  RefuseOutputsOverInputs({{"--inner", options.inner},
                           {"--data", options.data},
                           {"--stub", options.stub},
                           {"--message-file", options.message_file},
                           {"--icon", options.identity.icon}},
                          {{"-o", options.output}, {"--manifest", options.manifest}});
  CheckSigning(options);
  std::unique_ptr<TextOutput> manifest_file;
  if (!options.manifest.empty()) {
    manifest_file = std::make_unique<TextOutput>(PathFromUtf8(options.manifest));
  }
  std::vector<uint8_t> stub_bytes;
  BuildRequest request = ConvertRequest(options, stub_bytes);
  std::unique_ptr<SignedInnerCopy> signed_inner;
  if (options.sign_inner) {
    signed_inner = std::make_unique<SignedInnerCopy>(request.inner, request.output,
                                                     options.sign_command, options.quiet);
    request.inner = signed_inner->path();
  }
  const bool manifest = options.json || manifest_file;
  FinishedPackage finished;
  std::optional<PackageSignature> signature;
  request.before_commit = [&](AtomicOutput& package) {
    if (!options.sign_command.empty()) {
      signature = SignPackage(package, options.sign_command, options.quiet);
    }
    if (manifest) finished = ReadFinishedPackage(package);
  };
  const BuildResult result = BuildPackageFile(request);
  if (!result.inner_signed && !options.allow_unsigned_inner) {
    // Application control and attack surface reduction rules judge the copy
    // the launcher starts from the temporary folder, not the signed package.
    std::fprintf(stderr,
                 "sfxpack build: warning: the inner program %s carries no Authenticode "
                 "signature: sign it before packing, as application control and attack surface "
                 "reduction rules judge its temporary copy on its own\n",
                 tools::PrintableText(options.inner).c_str());
  }
  // A package written to standard output leaves no room for the summary there.
  std::FILE* report = ReachesStandardOutput(request.output) ? stderr : stdout;
  if (manifest) {
    const std::string text = FormatBuildManifest(Manifest(options, request, result, finished));
    if (options.json) std::fputs(text.c_str(), report);
    if (manifest_file) manifest_file->WriteAndFinish(text);
  }
  // --json takes the summary's place.
  if (!options.quiet && !options.json) PrintSummary(report, options, request, result, signature);
  return tools::kExitOk;
}

// The options the command line must give, unless the config file does.
void RequireInnerAndOutput(const BuildOptions& options) {
  if (options.inner.empty()) {
    throw tools::UsageFailure("--inner (or the argument PROGRAM) is required");
  }
  if (options.output.empty()) throw tools::UsageFailure("--output is required");
}

}  // namespace

Command AddBuildCommand(CLI::App& sfxpack) {
  auto options = std::make_shared<BuildOptions>();
  auto rows = std::make_shared<std::vector<OptionRow>>(BuildOptionRows(*options));
  CLI::App* app = sfxpack.add_subcommand(
      "build", "Build a setup package: the launcher image, then the compressed inner program, "
               "the unsupported-Windows message and any further data.");
  AddOptionRows(*app, *rows);
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
  return {app, [options, rows, app] {
            if (!options->config.empty()) ApplyBuildConfig(*app, *rows, options->config);
            RequireInnerAndOutput(*options);
            return RunBuild(*options);
          }};
}

}  // namespace sfxpack
