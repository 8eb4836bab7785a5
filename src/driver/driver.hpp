#pragma once
// The program driver: one run from the banner to the key wait.

namespace mervik::driver {

/// Runs mervik with the program's arguments (argv[0] is the program's path as invoked).
/// Returns 0 at the normal end; a fatal error ends the process with status 1.
int run(int argc, char** argv);

}  // namespace mervik::driver
