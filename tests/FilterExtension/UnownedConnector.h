#pragma once

namespace tarnwick::testing {

// A local user's process that starts TCP connections from sockets no process holds: each socket
// sends its SYN, is put in flight in a message to itself (SCM_RIGHTS) and closed, so only the
// message keeps it. It can first hold many other descriptors (in child processes that end with
// it), which a search for a socket's process has to read. Writes one line per event to its standard
// output:
//   holding <n>                               the descriptors are open
//   sent <n>                                  <n> connections were started (with --count)
//   refused <r> waiting <w> passed <p>        their state, read back after --settle milliseconds
//
// Arguments: --connect <address>:<port> [--hold <n>] [--rate <per second>] [--count <n>]
//            [--settle <milliseconds>]
// Without --count it starts connections until it is killed.
int runUnownedConnector(int argc, char** argv);

}  // namespace tarnwick::testing
