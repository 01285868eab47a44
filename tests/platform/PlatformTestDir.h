// The platform tests use the shared scratch directory and child-process helpers.
#pragma once

#include "support/TestDir.h"

namespace platform_test {
using test_support::HeldChild;
using test_support::RunInChild;
using test_support::ScratchDir;
}  // namespace platform_test
