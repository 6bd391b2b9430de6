#pragma once

#include <linux/netlink.h>

namespace tarnwick {

// The body after a netlink message's header, typed; the kernel's NLMSG_DATA returns it through
// C casts that drop const. The caller has checked that nlmsg_len covers a Body.
template <typename Body>
const Body* netlinkPayload(const nlmsghdr& message) {
    return reinterpret_cast<const Body*>(reinterpret_cast<const unsigned char*>(&message) +
                                         NLMSG_HDRLEN);
}

}  // namespace tarnwick
