// The device's registry settings (the optional DrawerSensor too) in every
// wrong type and size, and device names around the length the key path can
// hold. Each wrong value fails
// the opening with 111 and names the value in the log; the device opens
// once the value is put right, so a failed opening leaves nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/service_fixture.h"

namespace {

struct WrongValue {
  const char* what;
  DWORD type;
  const char* data;
  DWORD size;
};

const WrongValue kWrongValues[] = {
    {"REG_SZ \"1\"", REG_SZ, "1", 2},
    {"REG_SZ empty", REG_SZ, "", 1},
    {"REG_EXPAND_SZ", REG_EXPAND_SZ, "1", 2},
    {"REG_MULTI_SZ", REG_MULTI_SZ, "1\0\0", 4},
    {"REG_BINARY of 1 byte", REG_BINARY, "\x01", 1},
    {"REG_BINARY of 4 bytes", REG_BINARY, "\x01\0\0\0", 4},
    {"REG_BINARY of 8 bytes", REG_BINARY, "\x01\0\0\0\0\0\0\0", 8},
    {"REG_QWORD", REG_QWORD, "\x01\0\0\0\0\0\0\0", 8},
    {"REG_DWORD of 2 bytes", REG_DWORD, "\x01\0", 2},
    {"REG_DWORD of 8 bytes", REG_DWORD, "\x01\0\0\0\0\0\0\0", 8},
    {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, "\0\0\0\x01", 4},
    {"REG_NONE", REG_NONE, "", 0},
};

class RegistryBadInput : public ServiceFixture {};

}  // namespace

TEST_F(RegistryBadInput, EveryWrongTypeAndSizeFailsAndNamesTheValue) {
  for (const char* value : {"OpenSingle", "PinSingle", "DrawerSensor"}) {
    for (const WrongValue& w : kWrongValues) {
      std::string what = std::string(value) + " as " + w.what;
      key->SetRaw(value, w.type, w.data, w.size);
      HRESULT hr = S_OK;
      EXPECT_EQ(Open(key->Name(), &hr), 111) << what;
      EXPECT_EQ(hr, S_FALSE) << what;
      EXPECT_EQ(so->bOpened, 0) << what;
      EXPECT_TRUE(log->HasError(std::string("OpenService:RegQuery ") + value)) << what;
    }
    // Put right after all those failures, the device opens and closes as usual.
    key->SetDword(value, 1);
    ASSERT_EQ(Open(), 0) << value;
    LONG rc = -1;
    so->CloseService(&rc);
    ASSERT_EQ(rc, 0) << value;
  }
}

TEST_F(RegistryBadInput, DeviceNamesUpToTheKeyPathOpenLongerOnesAreRefused) {
  // A key of 154 characters fits the 200-byte key path; 155 does not.
  for (size_t length : {154u, 155u, 254u}) {
    std::string name = std::string("KX-R58 ") + std::string(length - 7, 'n');
    DeviceKey device(name);
    device.SetDword("OpenSingle", 0).SetDword("PinSingle", 1);
    LONG rc = Open(name);
    if (length <= 154) {
      EXPECT_EQ(rc, 0) << length;
      so->CloseService(&rc);
    } else {
      EXPECT_EQ(rc, 111) << length;
      EXPECT_EQ(so->bOpened, 0) << length;
    }
  }
}
