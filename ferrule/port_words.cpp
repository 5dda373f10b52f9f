// The refusals of a "Port" value by name and reason.
#include "ferrule/port_words.h"

namespace ferrule {
namespace {

constexpr ErrorWords kPortValueWords[] = {
    {Error::ValueTooLong, "ValueTooLong", "the value is longer than 254 characters"},
    {Error::ValueEmpty, "ValueEmpty", "the value is empty or only blanks"},
    {Error::UnknownPortKind, "UnknownPortKind",
     "the value starts with none of tcp:, COM, LPT, USB and PRINTER:"},
    {Error::TcpHostMissing, "TcpHostMissing",
     "no host after tcp:, or a character not allowed in a host name"},
    {Error::TcpPortInvalid, "TcpPortInvalid",
     "the TCP port is not a number 1..65535, or text follows it"},
    {Error::SerialNumberInvalid, "SerialNumberInvalid",
     "COM without a number 1..255, or something other than : after it"},
    {Error::SerialSettingsInvalid, "SerialSettingsInvalid",
     "baud (50..4000000), parity (N E O M S), data bits (5..8) or stop bits (1 1.5 2) "
     "malformed"},
    {Error::ParallelNumberInvalid, "ParallelNumberInvalid",
     "LPT without a number 1..255, or anything after it"},
    {Error::UsbSerialInvalid, "UsbSerialInvalid",
     "after USB: no serial, one longer than 126 characters or with a character other than "
     "letters, digits and & _ - ., or something other than : after USB"},
    {Error::UsbPathInvalid, "UsbPathInvalid",
     "a device path starts \\\\?\\ or \\\\.\\, has something after it and no control "
     "character or any of \" * < > |"},
    {Error::QueueNameInvalid, "QueueNameInvalid",
     "no queue name after PRINTER:, or a control character or comma in it"},
};

}  // namespace

const ErrorWords* PortValueErrorWords(Error code) {
  for (const ErrorWords& w : kPortValueWords)
    if (w.code == code) return &w;
  return nullptr;
}

}  // namespace ferrule
