// Names and operator hints for the numbers the service object answers with:
// OPOS results, states and the properties drawerctl reads.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace drawerctl {

struct ResultInfo {
  LONG code;
  std::string_view name;
  std::string_view hint;  // what the operator should check; one line
};

// A hint that applies only when one particular call gives one particular
// result (the same number means different things after different calls).
struct CallHint {
  std::string_view call;
  LONG code;
  std::string_view hint;
};

enum class PropertyKind { Number, Text };

struct PropertyInfo {
  LONG index;
  std::string_view name;
  PropertyKind kind;
};

// The result's table entry, or null for a number outside the OPOS set.
const ResultInfo* FindResult(LONG code);
// "OPOS_E_FAILURE (111)", or "unknown result (NNN)".
std::string ResultLabel(LONG code);
// The hint for this result after this call: the call's own hint when there
// is one, else the result's general hint.
std::string_view ResultHint(std::string_view call, LONG code);

std::string_view StateName(LONG state);
std::string_view PowerStateName(LONG state);

// Every property that `status` shows, in display order.
const PropertyInfo* PropertiesBegin();
const PropertyInfo* PropertiesEnd();
const PropertyInfo* FindProperty(std::string_view name);
// A number shown with its meaning where it has one ("2 OPOS_S_IDLE").
std::string DescribePropertyValue(const PropertyInfo& p, LONG value);

}  // namespace drawerctl
