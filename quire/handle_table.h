// Handles are tickets into a fixed table, never pointers. A ticket carries
// its slot and that slot's generation; ending a log moves the slot on, so an
// old ticket never reaches a later log, and a slot whose generations run out
// is retired rather than reused.
#pragma once

#include "ext/quire.h"
#include "quire/log.h"

namespace quire {

// A new ticket for log, or 0 when no slot is free.
LogHandle IssueHandle(Log* log);

// The log behind handle with a reference the caller must Release, or null
// for a null, ended or never issued handle.
Log* AcquireLog(LogHandle handle);

// Ends the ticket and returns the table's reference to the log (for the
// caller to Release), or null when the ticket was not live.
Log* EndHandle(LogHandle handle);

// Ends every ticket and releases the logs: the library is being unloaded.
void EndAllHandles();

// Writes the buffers of all live logs; the process is ending and every
// other thread is gone.
void FlushAllAtExit();

}  // namespace quire
