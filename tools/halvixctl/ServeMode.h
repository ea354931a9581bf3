// `halvixctl serve`: a long-running GUI stand-in for many bricks at once, with a JSON API and
// a web page over HTTP.
#pragma once

namespace halvixctl::serve {

/// Runs the serve mode; `argv[0]` is "serve". Returns the exit code: 0 after SIGINT or
/// SIGTERM, 1 when a socket cannot be set up, 2 for a bad command line.
int run(int argc, char** argv);

} // namespace halvixctl::serve
