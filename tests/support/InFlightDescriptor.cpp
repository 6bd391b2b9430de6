#include "InFlightDescriptor.h"

#include <cstring>
#include <sys/socket.h>

namespace tarnwick::testing {

namespace {

// A one-byte message with room for one descriptor.
struct Message {
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
    msghdr header{};

    Message() {
        header.msg_iov = &data;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof(control);
    }
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
};

}  // namespace

bool sendInFlight(int through, int fd, int flags) {
    Message message;
    cmsghdr* control = CMSG_FIRSTHDR(&message.header);
    control->cmsg_level = SOL_SOCKET;
    control->cmsg_type = SCM_RIGHTS;
    control->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(control), &fd, sizeof(int));
    return ::sendmsg(through, &message.header, flags) == 1;
}

int receiveInFlight(int from) {
    Message message;
    if (::recvmsg(from, &message.header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC) != 1) {
        return -1;
    }
    const cmsghdr* control = CMSG_FIRSTHDR(&message.header);
    if (control == nullptr || control->cmsg_level != SOL_SOCKET ||
        control->cmsg_type != SCM_RIGHTS) {
        return -1;
    }
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(control), sizeof(int));
    return fd;
}

}  // namespace tarnwick::testing
