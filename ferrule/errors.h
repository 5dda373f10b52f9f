// Ferrule's own error codes: the first diagnostic word of every call. The
// values are part of what a technician reads in a log (docs/ports.md), so
// they never change meaning; new codes take new numbers.
#pragma once

namespace ferrule {

enum class Error : int {
  Ok = 0,

  // Caller's arguments.
  BadHandle = 1,    // closed, unknown or mismatched hPort/hPortEx
  BadArgument = 2,  // null buffer, count out of range, class/name missing or too long

  // Finding the port: registry value "Port".
  KeyMissing = 10,          // the device's key does not exist (d2: registry error)
  ValueMissing = 11,        // the key has no value "Port"
  ValueNotString = 12,      // "Port" is not REG_SZ (d4: its registry type)
  ValueTooLong = 13,        // "Port" is longer than 254 characters
  ValueEmpty = 14,          // "Port" is empty or only blanks
  UnknownPortKind = 15,     // not tcp:, COMn, LPTn, USB or PRINTER:
  TcpHostMissing = 16,      // "tcp:" without a host, or a bad host text
  TcpPortInvalid = 17,      // port not a number in 1..65535
  SerialNumberInvalid = 18, // "COM" without a number 1..255
  SerialSettingsInvalid = 19,  // baud, parity, data bits or stop bits malformed
  ParallelNumberInvalid = 20,  // "LPT" without a number 1..255, or text after it
  UsbSerialInvalid = 21,    // "USB:" with an empty, overlong or odd serial, or junk after "USB"
  UsbPathInvalid = 22,      // "USB:\\..." with a character a device path cannot hold
  QueueNameInvalid = 23,    // "PRINTER:" without a queue name, or a control character or comma in it

  // Opening the port.
  HostNotFound = 30,      // name resolution failed (d2: Winsock error)
  ConnectFailed = 31,     // refused or unreachable (d2: Winsock error)
  ConnectTimedOut = 32,   // no answer to the connection within the limit
  NetworkSetupFailed = 33,  // Winsock start, socket or event set-up failed
  DeviceOpenFailed = 40,  // CreateFile of \\.\COMn or \\.\LPTn failed (d2: Win32 error)
  DeviceSetupFailed = 41, // the serial line settings were refused (d2: Win32 error)
  TooManyPorts = 42,      // every slot of the handle table is taken
  ResourcesFailed = 43,   // a thread or event could not be made (d2: Win32 error)
  PortSettingsConflict = 44,  // the serial port is already open here with other line settings
  DeviceInUse = 45,       // another program holds the device (d2: 5, 32, 170 or 231)
  UsbNoPrinter = 46,      // "USB": no USB printer is present
  UsbSeveralPrinters = 47,  // "USB": more than one is present (d3: how many)
  UsbPrinterNotFound = 48,  // "USB:<serial>": none present has that serial
  QueueNotFound = 49,     // OpenPrinter refused the queue name (d2: Win32 error)

  // Moving bytes.
  WriteFailed = 50,       // the transport refused the bytes (d2: Win32/Winsock error)
  WriteTimedOut = 51,     // not all bytes left within the time limit
  LinkDown = 52,          // the connection is gone and could not be made again
  NoReply = 53,           // the printer did not answer within the time limit
  NoReverseChannel = 54,  // the port cannot carry bytes back (parallel port without 1284 reverse mode)
  NotNetworkPort = 55,    // ReOpenNetPort on a serial or parallel port

  // A printer queue refusing or losing a kick.
  QueuePaused = 56,       // the queue is paused (d2: its status bits)
  QueueOffline = 57,      // the queue or its printer works off-line (d2: its status bits)
  QueueInError = 58,      // the printer reports an error, paper out, door open... (d2: status bits)
  QueueHoldsJobs = 59,    // jobs stay in the queue and do not leave (d2: how many)
  QueueJobStuck = 60,     // the kick's job did not leave the queue in time: deleted (d2: job id)
  QueueJobFailed = 61,    // the spooler refused the job (d2: Win32 error)
  QueueStateUnknown = 62, // the queue's state could not be read (d2: Win32 error)
};

// Where the status that ReadPort returned came from (ReadPort's d3).
enum class StatusSource : int {
  None = 0,
  PushedBlock = 1,   // an automatic status block the printer sent unasked
  AskedReply = 2,    // the reply to a real-time status request (DLE EOT 1)
};

// Link flags reported by WritePort (d6), ReadPort and ReOpenNetPort.
enum LinkFlag : int {
  LinkUp = 0x1,        // the transport is connected/open
  LinkXoff = 0x2,      // the printer's last flow-control byte was XOFF
  LinkRemade = 0x4,    // the connection was made again during this call
  LinkClosing = 0x8,   // ClosePort has been called on this port
};

}  // namespace ferrule
