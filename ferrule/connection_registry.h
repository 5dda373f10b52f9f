// The connections open in this process, one per printer: handles whose Port
// values name the same COM port, the same LPT port, the same host and TCP
// port, the same USB printer or the same queue (compared after parsing)
// share one, counted by handle. A COM port
// opens once, and many network printers take one raw connection at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/win32_sync.h"
#include "ferrule/connection.h"
#include "ferrule/port_value.h"

namespace ferrule {

class ConnectionRegistry {
 public:
  using Maker = std::function<std::shared_ptr<Connection>(Diag& d)>;

  // The printer's connection, opened by make when none is open yet; null
  // with the reason in d. A serial port already open with other line
  // settings fails with PortSettingsConflict rather than change the line
  // under the handles that use it.
  std::shared_ptr<Connection> acquire(const PortAddress& address, const Maker& make, Diag& d);
  // A handle let go of c; the last one shuts it down.
  void release(const std::shared_ptr<Connection>& c);

 private:
  struct Entry {
    std::string printer;
    PortAddress address;
    std::shared_ptr<Connection> connection;
    int handles = 0;
  };
  Entry* findLocked(const std::string& printer);

  win::SrwLock lock_;
  std::vector<Entry> entries_;
};

// The process's registry; never destroyed, like the handle table.
ConnectionRegistry& Connections();

}  // namespace ferrule
