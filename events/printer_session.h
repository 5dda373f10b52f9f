// The printer session: one service's port, from OpenPort to ClosePort, and
// the one home of every call into the port library with the rules that read
// and drive the printer: the sensor bit and its polarity, the printer that
// has no sensor, the model class each call passes, and the drawer kick.
// It lives in events/ rather than so/ because the poll thread reads the
// printer through it and events/ does not reach up into so/; the service's
// methods use it from above.
#pragma once

#include <windows.h>

#include "events/reading_trail.h"
#include "events/shared_long.h"
#include "ext/ferrule.h"  // the port types a session reports

// Process-wide values shared by every service object of the process.
extern LONG gModelClass;  // model class of the most recently opened service
extern LONG gPinSelect;   // pin selector of the most recently opened service
extern LONG gPortEx;      // port values of the service whose CheckHealth ran last
extern LONG gPort;

// The port library's wait for status news, found by name in the library
// that serves ReadPort; null where that library offers only the six calls.
// Tests point it at a stand-in.
extern WaitPortStatusFn gWaitPortStatus;

// The port library's diagnostic words: zeroed before each call, filled by
// the library (each call fills as many as it takes, at most twelve), and
// only ever logged.
struct PortWords {
  int d[12] = {};
};

// An open port's values, handed over to be closed later by whoever lets go
// of it last.
struct PortToClose {
  bool open = false;
  LONG portEx = 0;
  LONG port = 0;
  LONG modelClass = 0;
  // ClosePort once; nothing when not open.
  void Close(PortWords& words);
};

class PrinterSession {
 public:
  PrinterSession() = default;
  PrinterSession(const PrinterSession&) = delete;
  PrinterSession& operator=(const PrinterSession&) = delete;

  // Opens the device's port with the printer's model class, which becomes
  // the process's class too. False when the port did not open; words say why.
  bool Open(const char* deviceClass, const char* deviceName, LONG modelClass, PortWords& words);
  // Takes a port that is already open, without calling the port library:
  // tests stage a session on the scripted port with it.
  void Attach(LONG portEx, LONG port, LONG portType, LONG modelClass);
  void Close(PortWords& words);
  // Gives the port to the caller, who closes it; the session is left without
  // one, and the next Open makes a new connection.
  PortToClose HandOver();

  // OpenSingle of the device key: 1 when the sensor bit reads set while the
  // drawer is open ("Abnormal"), anything else when it reads set while shut.
  void SetPolarityFromOpenSingle(DWORD openSingle);
  void SetPinSelect(BYTE pin) { bPinSelect = pin; }
  // DrawerSensor of the device key: false for a drawer with no sensor wire.
  void SetSensorWired(bool wired) { bSensorWired = wired ? 1 : 0; }

  // Switches the printer's automatic status report on (every status item).
  bool WriteStatusEnable(PortWords& words);
  // The first status after an enable: what it says of the drawer, or that
  // nothing came (words then say why).
  enum class FirstStatus { Shut, Open, NoAnswer };
  FirstStatus ReadFirstStatus(PortWords& words);
  // One status reading into StatusBytes(). False when nothing came; a
  // network link then counts as lost until RelinkIfLost makes it anew.
  bool ReadStatus(PortWords& words);
  // What a wait for the printer's news ended with.
  enum class News {
    Came,         // a status (or a change of the link) for the next ReadStatus
    Quiet,        // nothing came within the time, or wake was set
    Unavailable,  // the library cannot wait (no such call, no reverse channel)
  };
  // Waits up to ms for a status that the printer pushed since the last
  // ReadStatus, or for wake.
  News AwaitNews(DWORD ms, HANDLE wake);
  // False while a lost network link cannot be made again.
  bool RelinkIfLost();
  // The last status read as an open drawer, under the device's polarity.
  bool DrawerReadsOpen() const;
  // No drawer sensor to read: a drawer without its wire (DrawerSensor 0),
  // a printer queue, which gives nothing back, and a parallel printer of
  // model class 2. A kicked drawer counts as shut once the pulse is over,
  // and status readings say nothing of the drawer.
  bool HasNoSensor() const;
  // False for a port that gives no status at all (a printer queue).
  bool ReadsStatus() const;
  // How long the kick's pulse holds the drawer's solenoid (pulse time 5).
  static constexpr DWORD kKickPulseOnMs = 500;

  // Parallel and network ports are written blind; every other port is asked
  // first whether the printer answers at all.
  bool AsksStatusBeforeKick() const;
  // True when the printer answered the status query.
  bool QueryStatus(PortWords& words);
  // Writes the drawer kick for this session's pin selector; true when the
  // printer took all of it. CommandBytes() then holds the kick.
  bool Kick(PortWords& words);

  LONG Port() const { return hPort; }
  LONG PortEx() const { return hPortEx; }
  LONG PortType() const { return nPortType; }
  LONG ModelClass() const { return nModelClass; }
  BYTE SensorNormal() const { return bSensorNormal; }
  BYTE PinSelect() const { return bPinSelect; }
  LONG NetLinked() const { return bNetLinked; }
  // Status readings taken through ReadStatus since the session was made.
  LONG Readings() const { return nReadings; }
  const BYTE* StatusBytes() const { return statusBytes; }
  const BYTE* CommandBytes() const { return cmdBuffer; }
  // The poll thread's own: only that thread reads or writes it.
  ReadingTrail& Trail() { return trail_; }

 private:
  LONG hPort = 0;
  LONG hPortEx = 0;
  LONG nPortType = 0;
  LONG nModelClass = 0;
  BYTE bSensorNormal = 0;  // nonzero: "Normal", the sensor bit reads set while shut
  BYTE bPinSelect = 0;
  BYTE bSensorWired = 1;
  // Written by the poll thread, read by anyone.
  SharedLong bNetLinked{1};
  SharedLong nReadings{0};
  BYTE statusBytes[4] = {};
  BYTE cmdBuffer[8] = {};
  ReadingTrail trail_;
};

// A drawer kick in a buffer of its own, for the health-check dialog: it
// runs inside another method of the same service and must not overwrite
// that method's command.
bool KickDrawer(LONG portEx, LONG port, BYTE pin, LONG modelClass, PortWords& words);
