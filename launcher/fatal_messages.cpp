#include "launcher/fatal_messages.h"

#include <iterator>

#include "launcher/exit_codes.h"

namespace stub {
namespace {

struct FatalMessageEntry {
  FatalMessage message;
  uint32_t exit_code;
  const char16_t* text;
};

constexpr FatalMessageEntry kFatalMessages[] = {
    {FatalMessage::kDamaged, kExitDamagedPackage,
     u"An error occurred while trying to read the setup package.  It has most likely been "
     u"damaged.  Please obtain a new copy from the vendor."},
    {FatalMessage::kTruncated, kExitTruncatedPackage,
     u"The setup package has been truncated.  You most likely have an incomplete download.  "
     u"Try downloading it again."},
    {FatalMessage::kTempCopy, kExitTempCopyFailed,
     u"An error occurred while trying to create a temporary copy of the setup package.  Please "
     u"make sure that you have sufficient access rights to this computer to install software "
     u"and that the Windows TEMP folder can be written to.  You can make this installer use a "
     u"different folder for its temporary files using the /temp command line parameter "
     u"followed by the path to a folder you can write to and run applications from."},
    {FatalMessage::kStartFailed, kExitStartBlocked,
     u"The temporary copy of the setup package could not be executed.  Your system may have a "
     u"software restriction policy in place that blocks executables in the temporary files "
     u"folder.  You can make this installer use a different folder for its temporary files "
     u"using the /temp command line parameter followed by the path to a folder you can write "
     u"to and run applications from."},
};

const FatalMessageEntry& Entry(FatalMessage message) {
  for (const FatalMessageEntry& entry : kFatalMessages) {
    if (entry.message == message) return entry;
  }
  return kFatalMessages[0];  // unreachable: every enumerator has a row
}

// Shows `message` and ends with `exit_code`, or with the message's own code
// when that is 0.
Outcome Fatal(Reporter& reporter, FatalMessage message, uint32_t exit_code = 0) {
  const FatalMessageEntry& entry = Entry(message);
  reporter.Show(entry.text);
  return Outcome::Exit(exit_code != 0 ? exit_code : entry.exit_code);
}

}  // namespace

Outcome FatalDamaged(Reporter& reporter) { return Fatal(reporter, FatalMessage::kDamaged); }

Outcome FatalTruncated(Reporter& reporter) { return Fatal(reporter, FatalMessage::kTruncated); }

Outcome FatalTempCopy(Reporter& reporter) { return Fatal(reporter, FatalMessage::kTempCopy); }

Outcome FatalStartFailed(Reporter& reporter, uint32_t system_error) {
  return Fatal(reporter, FatalMessage::kStartFailed, system_error);
}

}  // namespace stub
