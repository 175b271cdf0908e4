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

Outcome Fatal(Reporter& reporter, FatalMessage message, uint32_t exit_code) {
  reporter.Show(Entry(message).text);
  return Outcome::Exit(exit_code);
}

}  // namespace

const char16_t* FatalMessageText(FatalMessage message) { return Entry(message).text; }

uint32_t FatalMessageExitCode(FatalMessage message) { return Entry(message).exit_code; }

Outcome FatalDamaged(Reporter& reporter) {
  return Fatal(reporter, FatalMessage::kDamaged, kExitDamagedPackage);
}

Outcome FatalTruncated(Reporter& reporter) {
  return Fatal(reporter, FatalMessage::kTruncated, kExitTruncatedPackage);
}

Outcome FatalTempCopy(Reporter& reporter) {
  return Fatal(reporter, FatalMessage::kTempCopy, kExitTempCopyFailed);
}

Outcome FatalStartFailed(Reporter& reporter, uint32_t system_error) {
  return Fatal(reporter, FatalMessage::kStartFailed,
               system_error != 0 ? system_error : kExitStartBlocked);
}

}  // namespace stub
