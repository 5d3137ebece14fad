// The whole run of the tool, from the banner to the process result.
#pragma once

namespace kelm {

// Runs kelm with the command line; returns the process result (0 or negative).
int kelm_main(int argc, char** argv);

}  // namespace kelm
