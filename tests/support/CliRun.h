#pragma once

#include "cli/Commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// What quillory-cli printed and returned for these arguments.
struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline CliResult RunCli(std::vector<std::string> args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = cli::Run(args);
    return {status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

} // namespace testsupport
