// The words of the device and service object descriptions.
#include "so/descriptions.h"

#include "ext/ferrule.h"
#include "ext/opos.h"

namespace {

struct PortTypeName {
  LONG type;
  const char* name;
};

constexpr PortTypeName kPortTypeNames[] = {
    {PORT_SER, "serial port"},
    {PORT_PAR, "parallel port"},
    {PORT_ETH, "network port"},
    {PORT_USB, "USB port"},
    {PORT_QUEUE, "Windows printer queue"},
};

constexpr int kConnectorPins[] = {2, 5};  // by pin selector

std::string PortTypeText(LONG type) {
  for (const PortTypeName& p : kPortTypeNames)
    if (p.type == type) return p.name;
  return "port of type " + std::to_string(type);
}

// 1007000 reads 1.7.0.
std::string VersionText(LONG version) {
  return std::to_string(version / 1000000) + "." + std::to_string(version / 1000 % 1000) + "." +
         std::to_string(version % 1000);
}

}  // namespace

std::string DescribeDevice(const DeviceFacts& f) {
  std::string text = "Cash drawer on connector pin " +
                     std::to_string(kConnectorPins[f.pinSelect != 0 ? 1 : 0]) + " of a ";
  text += f.model != nullptr ? std::string(f.model) + " receipt printer"
                             : std::string("receipt printer of no known model");
  text += " (model class " + std::to_string(f.modelClass) + "), " + PortTypeText(f.portType);
  if (!f.port.empty()) text += " " + f.port;
  if (f.noSensor) return text + ", no drawer sensor";
  return text +
         (f.sensorSetWhileShut ? ", sensor bit set while shut" : ", sensor bit set while open");
}

std::string DescribeServiceObject() {
  return "Halyard cash drawer service object " + VersionText(opos::SERVICE_OBJECT_VERSION) + ", " +
         std::to_string(sizeof(void*) * 8) + "-bit (SOTarvoCash.SOTvCash)";
}
