// Descriptions of the layer's result codes, for logs and tools.
// Owns the fixed code table only; never touches connections.
#pragma once

#include <string_view>

#include "net/types.h"

namespace net {

// The fixed English description of a code, "Unknown result code" for a number without one.
std::string_view ResultCodeText(ResultCode code);

}  // namespace net
