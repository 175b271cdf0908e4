// SPDX-License-Identifier: Zlib
// Expecting a tool's failure in a test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tools/common/tool_error.h"

namespace stub::testing {

// The sentence of the tools::ToolError that `work` throws; fails the calling
// test, and returns "", when it throws none.
inline std::string ToolErrorOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const tools::ToolError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no tools::ToolError thrown";
  return "";
}

}  // namespace stub::testing
