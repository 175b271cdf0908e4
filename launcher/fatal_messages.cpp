// SPDX-License-Identifier: Zlib
#include "launcher/fatal_messages.h"

#include <iterator>

#include "launcher/exit_codes.h"

namespace stub {
namespace {

// The texts are ASCII, kept as bytes and widened when shown: half the bytes
// of UTF-16 text in every package.
struct FatalMessageEntry {
  FatalMessage message;
  uint32_t exit_code;
  const char* text;
};

constexpr FatalMessageEntry kFatalMessages[] = {
    {FatalMessage::kDamaged, kExitDamagedPackage,
     "An error occurred while trying to read the setup package.  It has most likely been "
     "damaged.  Please obtain a new copy from the vendor."},
    {FatalMessage::kTruncated, kExitTruncatedPackage,
     "The setup package has been truncated.  You most likely have an incomplete download.  "
     "Try downloading it again."},
    {FatalMessage::kTempCopy, kExitTempCopyFailed,
     "An error occurred while trying to create a temporary copy of the setup package.  Please "
     "make sure that you have sufficient access rights to this computer to install software "
     "and that the Windows TEMP folder can be written to.  You can make this installer use a "
     "different folder for its temporary files using the /temp command line parameter "
     "followed by the path to a folder you can write to and run applications from."},
    {FatalMessage::kStartFailed, kExitStartBlocked,
     "The temporary copy of the setup package could not be executed.  Your system may have a "
     "software restriction policy in place that blocks executables in the temporary files "
     "folder.  You can make this installer use a different folder for its temporary files "
     "using the /temp command line parameter followed by the path to a folder you can write "
     "to and run applications from."},
};

const FatalMessageEntry& Entry(FatalMessage message) {
  for (const FatalMessageEntry& entry : kFatalMessages) {
    if (entry.message == message) return entry;
  }
  return kFatalMessages[0];  // unreachable: every enumerator has a row
}

// The longest text, in code units.
constexpr size_t kLongestText = 420;

constexpr bool AllFit() {
  for (const FatalMessageEntry& entry : kFatalMessages) {
    size_t length = 0;
    while (entry.text[length] != 0) ++length;
    if (length > kLongestText) return false;
  }
  return true;
}
static_assert(AllFit());

std::u16string Widen(const char* ascii) {
  char16_t wide[kLongestText];
  size_t length = 0;
  for (; ascii[length] != 0; ++length) wide[length] = static_cast<char16_t>(ascii[length]);
  return std::u16string(wide, length);
}

// Shows `message` and ends with `exit_code`, or with the message's own code
// when that is 0.
Outcome Fatal(Reporter& reporter, FatalMessage message, uint32_t exit_code = 0) {
  const FatalMessageEntry& entry = Entry(message);
  reporter.Show(Widen(entry.text));
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
