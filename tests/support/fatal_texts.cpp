// SPDX-License-Identifier: Zlib
#include "tests/support/fatal_texts.h"

namespace stub::testing {

const char16_t* FatalMessageText(FatalMessage message) {
  switch (message) {
    case FatalMessage::kDamaged:
      return u"An error occurred while trying to read the setup package.  It has most likely "
             u"been damaged.  Please obtain a new copy from the vendor.";
    case FatalMessage::kTruncated:
      return u"The setup package has been truncated.  You most likely have an incomplete "
             u"download.  Try downloading it again.";
    case FatalMessage::kTempCopy:
      return u"An error occurred while trying to create a temporary copy of the setup package.  "
             u"Please make sure that you have sufficient access rights to this computer to "
             u"install software and that the Windows TEMP folder can be written to.  You can "
             u"make this installer use a different folder for its temporary files using the "
             u"/temp command line parameter followed by the path to a folder you can write to "
             u"and run applications from.";
    case FatalMessage::kStartFailed:
      return u"The temporary copy of the setup package could not be executed.  Your system may "
             u"have a software restriction policy in place that blocks executables in the "
             u"temporary files folder.  You can make this installer use a different folder for "
             u"its temporary files using the /temp command line parameter followed by the path "
             u"to a folder you can write to and run applications from.";
  }
  return u"";
}

}  // namespace stub::testing
