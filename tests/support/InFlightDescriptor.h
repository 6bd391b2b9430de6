#pragma once

namespace tarnwick::testing {

// A descriptor kept only by a message in flight (SCM_RIGHTS over a Unix socket): once the sender
// closes its own, no process holds what it names until the message is received.
// One descriptor in a one-byte message; false when it could not be sent (`flags` as for sendmsg).
bool sendInFlight(int through, int fd, int flags = 0);
// The descriptor of the next such message (close-on-exec), or -1 when none is waiting.
int receiveInFlight(int from);

}  // namespace tarnwick::testing
