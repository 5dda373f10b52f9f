// The property trace: its texts, the log call of each level, and which
// calls write nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "diag/trace.h"
#include "so/service_object.h"

namespace {

std::string Text(LONG code, LONG value) {
  char text[trace::kTextSize];
  trace::PropertyText(code, value, text);
  return text;
}

TEST(TraceText, PropertiesShowTheirOposNameAndValue) {
  EXPECT_EQ(Text(TRACE_ResultCode, 0), "ResultCode:OPOS_SUCCESS(0x00)");
  EXPECT_EQ(Text(TRACE_ResultCode, 111), "ResultCode:OPOS_E_FAILURE(0x6f)");
  EXPECT_EQ(Text(TRACE_ResultCode, 101), "ResultCode:OPOS_E_CLOSED(0x65)");
  EXPECT_EQ(Text(TRACE_ResultCode, 114), "ResultCode:OPOS_E_EXTENDED(0x72)");
  EXPECT_EQ(Text(TRACE_ResultCode, 115), "ResultCode:NONE(0x73)");
  EXPECT_EQ(Text(TRACE_Claimed, 1), "Claimed:TRUE(0x01)");
  EXPECT_EQ(Text(TRACE_Claimed, 0), "Claimed:FALSE(0x00)");
  EXPECT_EQ(Text(TRACE_Claimed, 2), "Claimed:NONE(0x02)");
  EXPECT_EQ(Text(TRACE_PowerState, 2000), "PowerState:OPOS_PS_UNKNOWN(0x7d0)");
  EXPECT_EQ(Text(TRACE_PowerState, 2003), "PowerState:OPOS_PS_OFFLINE(0x7d3)");
  EXPECT_EQ(Text(TRACE_State, 2), "State:OPOS_S_IDLE(0x02)");
  EXPECT_EQ(Text(TRACE_State, 3), "State:OPOS_S_BUSY(0x03)");
  EXPECT_EQ(Text(TRACE_State, 0), "State:NONE(0x00)");
  EXPECT_EQ(Text(TRACE_PowerNotify, 0), "PowerNotify:OPOS_PN_DISABLED(0x00)");
  EXPECT_EQ(Text(TRACE_PowerNotify, 1), "PowerNotify: OPOS_PN_ENABLED(0x01)");
  EXPECT_EQ(Text(TRACE_PowerNotify, 2), "PowerNotify:(0x02)");
  EXPECT_EQ(Text(TRACE_FreezeEvents, 1), "FreezeEvents:(0x01)");
  EXPECT_EQ(Text(TRACE_DeviceEnabled, 1), "DeviceEnabled:OPOS_PN_ENABLED(0x01)");
  EXPECT_EQ(Text(TRACE_DeviceEnabled, 0), "DeviceEnabled:OPOS_PN_DISABLED(0x00)");
  EXPECT_EQ(Text(TRACE_DeviceEnabled, 5), "DeviceEnabled:NONE(0x05)");
  EXPECT_EQ(Text(TRACE_OutputID, 0x1234), "OutputID:(0x1234)");
}

TEST(TraceText, CodesWithoutAPropertySayso) {
  EXPECT_EQ(Text(2, 0), "Code 0x2 not exist");
  EXPECT_EQ(Text(8, 0), "Code 0x8 not exist");
  EXPECT_EQ(Text(0, 0), "Code 0x0 not exist");
  EXPECT_EQ(Text(0x1f, 0), "Code 0x1f not exist");
}

TEST(TraceProperty, ReturnsWhetherALineWasWritten) {
  auto* so = new SOTvCash;
  for (LONG code : {1, 2, 3, 0}) {
    for (LONG level : {0, 7, 9}) EXPECT_EQ(so->TraceProperty(code, level), 0) << level;
    for (LONG level : {1, 2, 3, 4, 5, 6, 8}) EXPECT_EQ(so->TraceProperty(code, level), 1) << level;
  }
  so->InnerUnknown()->AddRef();
  so->InnerUnknown()->Release();
}

}  // namespace
