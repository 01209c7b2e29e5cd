// What tests may see and set of the registry beyond the layer's own interface; each takes
// ListLock itself. The program never includes this header.
#pragma once

#include "net/registry.h"

namespace net {

// Tests only; each takes ListLock itself.
void SetConnIdCounterForTest(ConnId value);
std::size_t RecordCountForTest();
// Copies the record by value; false when no record has this handle.
bool CopyRecordForTest(ConnId id, ConnectionRecord& copy);

}  // namespace net
