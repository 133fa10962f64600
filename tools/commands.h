// The tool's commands; each takes the parsed command line and returns an exit
// status.
#pragma once

#include "cli.h"

namespace cli {

int cmd_info(const invocation& inv);
int cmd_quality(const invocation& inv);
int cmd_convert(const invocation& inv);
int cmd_clean(const invocation& inv);
int cmd_boundary(const invocation& inv);
int cmd_sizemap(const invocation& inv);
int cmd_partition(const invocation& inv);

}  // namespace cli
