#include "XPCError.h"

namespace tarnwick {

XPCError XPCError::invalid() {
    return {Code::connectionInvalid, "Couldn't communicate with a helper application."};
}

XPCError XPCError::interrupted() {
    return {Code::connectionInterrupted,
            "The connection to the helper application was interrupted."};
}

}  // namespace tarnwick
