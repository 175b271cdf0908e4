// SPDX-License-Identifier: Zlib
#include "launcher/child_start.h"

#include <memory>

#include "launcher/abandoned_folders.h"
#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/paths.h"

namespace stub {
namespace {

constexpr uint32_t kErrorCancelled = 1223;

bool StartsDirectly(Platform& platform, const ChildStartRequest& request) {
  if (request.version_known && request.major_version < 6) return true;
  return platform.IsAdministrator();
}

}  // namespace

ChildStartPlan PlanChildStart(Platform& platform, const ChildStartRequest& request) {
  ChildStartPlan plan;
  if (StartsDirectly(platform, request)) {
    plan.direct = true;
    plan.command_line = DirectCommandLine(request.copy_path, request.argument_string);
    return plan;
  }
  const bool runas = request.silent && request.elevation_mode == kElevationRunAs;
  plan.verb = std::u16string(runas ? u"runas" : u"open");
  plan.parameters = request.argument_string;
  if (!request.silent || request.elevation_mode == kElevationNoAdmin) plan.parameters += u" /noadmin";
  return plan;
}

Outcome RunChild(Platform& platform, Reporter& reporter, const ChildStartRequest& request,
                 const ChildStartPlan& plan, TemporaryCopy& copy) {
  uint32_t error = 0;
  std::unique_ptr<PlatformProcess> child =
      plan.direct
          ? platform.StartProcess(plan.command_line, request.package_folder, error)
          : platform.ShellStart(plan.verb, request.copy_path, plan.parameters, error);
  if (!child) {
    // A program nobody runs is not left behind in a temporary folder.
    copy.Remove();
    if (!plan.direct && error == kErrorCancelled) return Outcome::Exit(kExitCancelled);
    return FatalStartFailed(reporter, error);
  }
  copy.RecordChild(*child);
  if (request.detached) {
    copy.Keep();
    RemoveAbandonedFolders(platform, copy.parent());
    return Outcome::Exit(kExitSuccess);
  }
  const uint32_t exit_code = child->WaitForExit();
  child.reset();  // the process handle is closed before the copy is deleted
  copy.Remove();
  // Once the child has ended: removing competes with neither its start nor
  // its run for the disk.
  RemoveAbandonedFolders(platform, copy.parent());
  return Outcome::Exit(exit_code);
}

}  // namespace stub
