// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/report/verdict.h"

#include <cstdio>

#include "tools/common/utf.h"
#include "tools/sfxpack/analysis/plausible_locator.h"
#include "tools/sfxpack/files/system.h"
#include "tools/sfxpack/report/json_writer.h"
#include "tools/sfxpack/report/package_json.h"

namespace sfxpack {
namespace {

void PrintLine(std::FILE* out, const std::string& text) {
  std::fprintf(out, "%s\n", tools::PrintableText(text).c_str());
}

// Whether the package is signed and the signature covers all of it; the
// launcher does not look at signatures, so this leaves the exit status alone.
void PrintSignature(const std::string& package, const PackageSignature& signature, std::FILE* out) {
  PrintLine(out, package + ": " + DescribeSignature(signature));
  for (const std::string& problem : SignatureProblems(signature)) {
    PrintLine(out, package + ": signature problem: " + problem);
  }
}

void PrintVerdict(const LauncherReport& report, uint32_t code, int status, std::FILE* out) {
  const LauncherVerdict& verdict = report.verdict;
  if (report.not_a_package) {
    PrintLine(out, report.package + ": " + NotAPackageSentence(*report.not_a_package));
  }
  if (verdict.outcome.proceeds()) {
    PrintLine(out, report.package + ": OK: " + verdict.ok_text);
    return;
  }
  PrintLine(out, report.package + ": the launcher shows this message and exits with code " +
                     std::to_string(code) + ":");
  PrintLine(out, "  " + (report.box ? tools::Utf16ToUtf8(report.box->text) : "(no message)"));
  if (!verdict.note.empty()) PrintLine(out, "(" + verdict.note + ")");
  if (static_cast<uint32_t>(status) != code) {
    PrintLine(out, "(sfxpack exits with status " + std::to_string(status) +
                       ": a Linux exit status keeps only the low 8 bits of " +
                       std::to_string(code) + "; --exit-code-file stores the whole code)");
  }
}

// "  Windows 11 23H2       10.0.22631   refused: This setup package ..."
void PrintSystems(const std::vector<GateRow>& systems, std::FILE* out) {
  for (const GateRow& row : systems) {
    char columns[96];
    const std::string version =
        row.windows.version + "." + std::to_string(row.windows.build);
    std::snprintf(columns, sizeof columns, "  %-22s %-12s ", row.name.c_str(), version.c_str());
    PrintLine(out, columns + (row.exit_code == 0 ? std::string("admitted")
                                                 : "refused: " + row.message.value_or("")));
  }
}

void PrintText(const LauncherReport& report, uint32_t code, int status, std::FILE* out) {
  PrintVerdict(report, code, status, out);
  PrintSystems(report.verdict.systems, out);
  if (report.signature) PrintSignature(report.package, *report.signature, out);
}

// A text that may be missing: the value, or null.
void StringOrNull(JsonWriter& json, std::string_view key, const std::optional<std::string>& value) {
  json.Key(key);
  value ? json.String(*value) : json.Null();
}

void JsonWindows(JsonWriter& json, const AskedWindows& windows) {
  json.BeginObject().Field("version", windows.version);
  StringOrNull(json, "release_id", windows.release_id);
  json.Field("build", windows.build);
  StringOrNull(json, "display_version", windows.display_version);
  json.Field("server", windows.server);
  json.EndObject();
}

void JsonSystems(JsonWriter& json, const std::vector<GateRow>& systems) {
  json.Key("systems").BeginArray();
  for (const GateRow& row : systems) {
    json.BeginObject().Field("name", row.name).Key("windows");
    JsonWindows(json, row.windows);
    json.Field("admitted", row.exit_code == 0).Field("exit_code", row.exit_code);
    StringOrNull(json, "message", row.message);
    json.EndObject();
  }
  json.EndArray();
}

void PrintJson(const LauncherReport& report, uint32_t code, int status, std::FILE* out) {
  const LauncherVerdict& verdict = report.verdict;
  const bool goes_on = verdict.outcome.proceeds();
  JsonWriter json;
  json.BeginObject().Field("file", report.package);
  StringOrNull(json, "not_a_package", report.not_a_package);
  if (report.windows) {
    json.Key("windows");
    JsonWindows(json, *report.windows);
  }
  json.Key("checks").BeginArray();
  for (const CheckRun& check : report.checks) {
    json.BeginObject().Field("check", check.name).Field("passed", check.passed).EndObject();
  }
  json.EndArray();
  StringOrNull(json, "stream_method", report.stream_method);
  json.Field("launcher_goes_on", goes_on).Field("exit_code", code).Field("exit_status", status);
  StringOrNull(json, "summary", goes_on ? std::optional(verdict.ok_text) : std::nullopt);
  std::optional<std::string> message;
  if (!goes_on && report.box) message = tools::Utf16ToUtf8(report.box->text);
  StringOrNull(json, "message", message);
  StringOrNull(json, "note", verdict.note.empty() ? std::nullopt : std::optional(verdict.note));
  if (report.all_windows) JsonSystems(json, verdict.systems);
  if (report.signature) JsonSignature(json, *report.signature);
  json.EndObject();
  std::fputs(json.Text().c_str(), out);
}

}  // namespace

int ReportOutcome(const LauncherReport& report, TextOutput* exit_code_file, std::FILE* out,
                  ReportFormat format) {
  const stub::Outcome& outcome = report.verdict.outcome;
  const uint32_t code = outcome.proceeds() ? 0 : outcome.exit_code();
  const int status = outcome.proceeds() ? 0 : ProcessExitCode(code);
  if (exit_code_file != nullptr) exit_code_file->WriteAndFinish(std::to_string(code) + "\n");
  if (format == ReportFormat::kJson) {
    PrintJson(report, code, status, out);
  } else {
    PrintText(report, code, status, out);
  }
  return status;
}

}  // namespace sfxpack
