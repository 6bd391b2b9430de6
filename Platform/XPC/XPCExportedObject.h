#pragma once

#include "Foundation/Value.h"
#include "XPCReply.h"

#include <string>

namespace tarnwick {

// The object a connection makes available to its peer. The connection has already checked the
// selector and the argument count against its exported interface; `reply` is empty for messages
// without a reply block. Calls arrive one at a time, in order, on the connection's I/O thread,
// which serves every other connection of the same listener too: an object hands lasting work
// elsewhere and answers later, from any thread, through `reply`.
class XPCExportedObject {
public:
    virtual ~XPCExportedObject() = default;
    virtual void invoke(const std::string& selector, const Value::Array& arguments,
                        XPCReply reply) = 0;
};

}  // namespace tarnwick
