// Entry points of the tool's commands; each returns an exit code.
#pragma once

#include <string>

#include "cli.h"

namespace cli {

int cmd_info(const std::string& input, const settings& s);
int cmd_quality(const std::string& input, unsigned bins, const settings& s);
int cmd_convert(const std::string& input, const std::string& output, const settings& s);
int cmd_merge(const std::string& input, const std::string& output, double tol, const settings& s);

}  // namespace cli
