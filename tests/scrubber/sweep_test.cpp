// The registry sweep of Scrubber.exe, run for real against the registry of
// this test's own Wine prefix. Each case lays out the keys it needs, runs the
// program and checks what is left.
#include <windows.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/scrubber/run_scrubber.h"
#include "tests/scrubber/registry_bed.h"

namespace {

using regbed::createKey;
using regbed::keyExists;
using regbed::setText;
using regbed::setValue;
using regbed::sub;
using regbed::subkeyNames;
using regbed::valueNames;
using Names = std::set<std::string>;

constexpr const char* kPosPrinter = regbed::kPosPrinter;
constexpr const char* kServiceInfo = regbed::kServiceInfo;
constexpr const char* kPackage = regbed::kPackage;
constexpr const char* kVendor = regbed::kVendor;
constexpr const char* kCashDrawer = regbed::kCashDrawer;

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override { regbed::removeStepKeys(); }
  void TearDown() override { regbed::removeStepKeys(); }
};

TEST_F(Sweep, WithoutAnyOfItsKeysTouchesNothing) {
  // Marked entries next to the swept keys, not in them.
  setText("SOFTWARE\\OLEforRetail\\ServiceOPOS\\Keylock", "Model", "KX8");
  createKey("SOFTWARE\\OLEforRetail\\ServiceOPOS\\Keylock\\KX8");
  createKey("SOFTWARE\\QELMX\\TVOPOS");
  childrun::runScrubberOk();
  EXPECT_EQ(valueNames("SOFTWARE\\OLEforRetail\\ServiceOPOS\\Keylock"), Names{"Model"});
  EXPECT_TRUE(keyExists("SOFTWARE\\OLEforRetail\\ServiceOPOS\\Keylock\\KX8"));
  EXPECT_TRUE(keyExists("SOFTWARE\\QELMX\\TVOPOS"));
  ASSERT_EQ(::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QELMX"), ERROR_SUCCESS);
}

TEST_F(Sweep, AMissingKeyEndsTheRunAfterTheStepsBeforeIt) {
  setText(kPosPrinter, "Model", "KX8-80");
  createKey(sub(kPackage, "2.30.000"));
  createKey(sub(kVendor, "TVOPOS-Tools"));
  createKey(sub(kCashDrawer, "KX8 Drawer"));
  childrun::runScrubberOk();  // no ServiceInfo: only step 1 runs
  EXPECT_EQ(valueNames(kPosPrinter), Names{});
  EXPECT_EQ(subkeyNames(kPackage), Names{"2.30.000"});
  EXPECT_EQ(subkeyNames(kVendor), (Names{"TVOPOS", "TVOPOS-Tools"}));
  EXPECT_EQ(subkeyNames(kCashDrawer), Names{"KX8 Drawer"});

  // With ServiceInfo there but the package key gone, steps 4 and 5 still do not run.
  setText(kServiceInfo, "Vendor", "QELM");
  ASSERT_EQ(::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPackage), ERROR_SUCCESS);
  childrun::runScrubberOk();
  EXPECT_EQ(valueNames(kServiceInfo), Names{});
  EXPECT_EQ(subkeyNames(kVendor), Names{"TVOPOS-Tools"});
  EXPECT_EQ(subkeyNames(kCashDrawer), Names{"KX8 Drawer"});
}

TEST_F(Sweep, ValuesAreTestedOnTheirDataUpToTheFirstZeroByte) {
  regbed::createAllStepKeys();
  setText(kPosPrinter, "Model", "KX8-80");
  setText(kPosPrinter, "Inside", "Thermal KX8 printer");
  setText(kPosPrinter, "KX8 Name", "Receipt-80");                 // marker only in the name
  setText(kPosPrinter, "Lower", "kx8-80");                    // other letter case
  setValue(kPosPrinter, "Binary", REG_BINARY, "xxKX8yy");     // no terminator at all
  setValue(kPosPrinter, "AfterZero", REG_BINARY, std::string("ab\0KX8", 6));
  setValue(kPosPrinter, "SecondString", REG_MULTI_SZ, std::string("RC\0KX8\0\0", 8));
  setValue(kPosPrinter, "Word", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  setText(kPosPrinter, "", "KX8 default");                    // the key's default value
  createKey(sub(kPosPrinter, "KX8-80"));
  createKey(sub(kPosPrinter, "Receipt-80"));
  childrun::runScrubberOk();
  EXPECT_EQ(valueNames(kPosPrinter),
            (Names{"KX8 Name", "Lower", "AfterZero", "SecondString", "Word"}));
  EXPECT_EQ(subkeyNames(kPosPrinter), Names{"Receipt-80"});
}

TEST_F(Sweep, ServiceInfoLosesBothMarkersButOnlyInTheirOwnCase) {
  regbed::createAllStepKeys();
  setText(kServiceInfo, "A", "Tarvo Cash Drawer");
  setText(kServiceInfo, "B", "by QELM");
  setText(kServiceInfo, "C", "tarvo");
  setText(kServiceInfo, "D", "TARVO");
  setText(kServiceInfo, "E", "Qelm");
  setText(kServiceInfo, "F", "TarvoQELM");
  setText(kServiceInfo, "Tarvo", "Other vendor");
  createKey(sub(kServiceInfo, "QELM Drawer"));
  createKey(sub(kServiceInfo, "Tarvo"));
  createKey(sub(kServiceInfo, "tarvo drawer"));
  childrun::runScrubberOk();
  EXPECT_EQ(valueNames(kServiceInfo), (Names{"C", "D", "E", "Tarvo"}));
  EXPECT_EQ(subkeyNames(kServiceInfo), Names{"tarvo drawer"});
}

TEST_F(Sweep, AdjacentMatchesAreAllDeleted) {
  regbed::createAllStepKeys();
  setText(kPosPrinter, "a", "keep");
  setText(kPosPrinter, "b", "KX8 one");
  setText(kPosPrinter, "c", "KX8 two");
  setText(kPosPrinter, "d", "KX8 three");
  setText(kPosPrinter, "e", "keep");
  setText(kPosPrinter, "f", "KX8 last");
  for (const char* k : {"KX8-1", "KX8-2", "KX8-3", "Other", "ZKX8"}) createKey(sub(kCashDrawer, k));
  childrun::runScrubberOk();
  EXPECT_EQ(valueNames(kPosPrinter), (Names{"a", "e"}));
  EXPECT_EQ(subkeyNames(kCashDrawer), Names{"Other"});
}

TEST_F(Sweep, PackageKeyGoesOnceItsVersionSubkeysAreGone) {
  regbed::createAllStepKeys();
  setText(sub(kPackage, "2.30.000"), "Path", "C:\\OPOS");
  createKey(sub(kPackage, "2.30.000-patch"));
  setText(kPackage, "Version", "2.30.000");
  setText(kVendor, "Installed", "TVOPOS");
  createKey(sub(kVendor, "Other Product"));
  createKey(sub(kVendor, "TVOPOS Tools"));
  childrun::runScrubberOk();
  EXPECT_FALSE(keyExists(kPackage));
  EXPECT_EQ(subkeyNames(kVendor), Names{"Other Product"});
  EXPECT_EQ(valueNames(kVendor), Names{});
}

TEST_F(Sweep, PackageKeyWithAnotherVersionStays) {
  regbed::createAllStepKeys();
  createKey(sub(kPackage, "2.30.000"));
  createKey(sub(kPackage, "2.31.000"));
  createKey(sub(kCashDrawer, "KX8 Drawer"));
  childrun::runScrubberOk();
  EXPECT_EQ(subkeyNames(kPackage), Names{"2.31.000"});
  EXPECT_EQ(subkeyNames(kCashDrawer), Names{});  // the sweep went on after the failed deletion
}

TEST_F(Sweep, KX8DrawersGoButTheCashDrawerKeyStays) {
  regbed::createAllStepKeys();
  setText(sub(kCashDrawer, "KX8"), "OpenSingle", "1");
  setText(sub(kCashDrawer, "KX8"), "PinSingle", "0");
  createKey(sub(kCashDrawer, "Drawer_KX8_2"));
  createKey(sub(kCashDrawer, "Receipt-80 Drawer"));
  setText(kCashDrawer, "Default", "KX8");
  childrun::runScrubberOk();
  EXPECT_TRUE(keyExists(kCashDrawer));
  EXPECT_EQ(subkeyNames(kCashDrawer), Names{"Receipt-80 Drawer"});
  EXPECT_EQ(valueNames(kCashDrawer), Names{});
}

// Entries the capacities cannot hold whole (value name 68 characters, data
// 69 bytes, subkey name 89 characters) and a matching key that still has a
// subkey are passed over; everything around them is still done.
TEST_F(Sweep, OversizedAndUndeletableEntriesArePassedOver) {
  regbed::createAllStepKeys();
  const std::string name68(68, 'm'), name69(69, 'N');
  const std::string text68 = std::string(65, '.') + "KX8";   // 69 bytes with its terminator
  const std::string text69 = std::string(66, '.') + "KX8";   // 70 bytes with its terminator
  setText(kPosPrinter, "first", "KX8");
  setText(kPosPrinter, name69, "KX8");
  setText(kPosPrinter, name68, "KX8");
  setText(kPosPrinter, name69.substr(0, 68), "Receipt-80");  // what a cut-off read would name
  setText(kPosPrinter, "data69", text68);
  setText(kPosPrinter, "data70", text69);
  setValue(kPosPrinter, "binary69", REG_BINARY, std::string(66, '.') + "KX8");
  setValue(kPosPrinter, "binary70", REG_BINARY, std::string(67, '.') + "KX8");
  setText(kPosPrinter, "last", "KX8");
  setText(kPosPrinter, "keep", "Receipt-80");

  const std::string key89 = "KX8" + std::string(86, 'k'), key90 = "KX8" + std::string(87, 'K');
  createKey(sub(sub(kCashDrawer, "KX8 Parent"), "Child"));
  createKey(sub(kCashDrawer, key89));
  createKey(sub(kCashDrawer, key90));
  createKey(sub(kCashDrawer, "KX8 Plain"));
  createKey(sub(kCashDrawer, "Other"));

  childrun::runScrubberOk();
  EXPECT_EQ(valueNames(kPosPrinter),
            (Names{name69, name69.substr(0, 68), "data70", "binary70", "keep"}));
  EXPECT_EQ(subkeyNames(kCashDrawer), (Names{"KX8 Parent", key90, "Other"}));
  EXPECT_TRUE(keyExists(sub(sub(kCashDrawer, "KX8 Parent"), "Child")));
}

// The ANSI calls render "Kāy" as "Kay" and "K一y" as "K?y"; deleting by
// those renderings would remove the unmarked "Kay" and "K?y" instead, and a
// "kx8a" device for "KX8ā", since names are compared without regard to case.
TEST_F(Sweep, EntriesWhoseNamesTheCodePageCannotSpellArePassedOver) {
  using WNames = std::set<std::wstring>;
  regbed::createAllStepKeys();
  regbed::setWideText(kPosPrinter, L"K\u0101y", L"KX8");
  regbed::setWideText(kPosPrinter, L"K\u4e00y", L"KX8");
  setText(kPosPrinter, "Kay", "Receipt-80");
  setText(kPosPrinter, "K?y", "Receipt-80");
  setText(kPosPrinter, "Plain", "KX8");
  regbed::createWideKey(kCashDrawer, L"KX8\u0101");
  createKey(sub(kCashDrawer, "kx8a"));
  createKey(sub(kCashDrawer, "KX8 Plain"));
  childrun::runScrubberOk();
  EXPECT_EQ(regbed::wideValueNames(kPosPrinter), (WNames{L"K\u0101y", L"K\u4e00y", L"Kay", L"K?y"}));
  EXPECT_EQ(regbed::wideSubkeyNames(kCashDrawer), (WNames{L"KX8\u0101", L"kx8a"}));
}

TEST_F(Sweep, OfAThousandValuesExactlyTheMatchingThirdGoes) {
  regbed::createAllStepKeys();
  win::UniqueHKey key = createKey(kCashDrawer);
  Names expected;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "Device" + std::to_string(i);
    const std::string data = (i % 3 == 0 ? "KX8 unit " : "Other unit ") + std::to_string(i);
    ASSERT_EQ(::RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
    if (i % 3 != 0) expected.insert(name);
  }
  key.reset();
  childrun::runScrubberOk();
  EXPECT_EQ(valueNames(kCashDrawer), expected);
}

}  // namespace
