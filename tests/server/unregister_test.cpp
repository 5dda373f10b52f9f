// Unregistration with regsvr32 /u, registration from a path with long
// names, and registration over stale entries. Runs after every test that
// needs the server registered and leaves it registered again from the
// build's bin directory.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32_raii.h"
#include "halyard.h"
#include "so/service_object.h"
#include "test_support.h"

namespace {

using testsupport::GuidText;
using testsupport::KeyExists;
using testsupport::Narrow;

const std::wstring kClassKey = L"CLSID\\" + GuidText(CLSID_SOTvCash);

void RegSvr32(const std::wstring& args, const std::wstring& dll) {
  ChildResult r =
      RunChild(L"regsvr32.exe " + args + L" \"" + dll + L"\"", testsupport::OutputTogether());
  ASSERT_TRUE(r.finished) << Narrow(args) << "\n" << r.out << r.err;
  ASSERT_EQ(r.exitCode, 0u) << "regsvr32 " << Narrow(args) << " " << Narrow(dll) << "\n"
                            << r.out;
}

void AddKey(const std::wstring& key) {
  win::UniqueHKey k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, k.put(), nullptr),
            ERROR_SUCCESS);
}

std::wstring InprocServer() {
  std::wstring text;
  testsupport::ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr, text);
  return text;
}

bool AnythingRegistered() {
  return KeyExists(HKEY_CLASSES_ROOT, L"SOTarvoCash.SOTvCash") ||
         KeyExists(HKEY_CLASSES_ROOT, L"SOTarvoCash.SOTvCash.1") ||
         KeyExists(HKEY_CLASSES_ROOT, kClassKey) ||
         KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_SOTARVOCASHLib)) ||
         KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID_ISOTvCash));
}

// GetIDsOfNames on a service object of this process's own copy of the
// core code, whose type-information cache has not been loaded yet.
HRESULT LookUpOpenDrawer() {
  SOTvCash* so = new SOTvCash;
  so->InnerUnknown()->AddRef();
  std::wstring name = L"OpenDrawer";
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = so->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr) && id != 9) hr = E_UNEXPECTED;
  UINT count = 0;
  so->GetTypeInfoCount(&count);
  if (count != 1) hr = E_UNEXPECTED;
  so->InnerUnknown()->Release();
  return hr;
}

bool CopyBeside(const std::wstring& dir, const wchar_t* name) {
  return CopyFileW((testsupport::BinDir() + name).c_str(), (dir + name).c_str(), FALSE) != 0;
}

TEST(Unregistration, RemovesEverythingItsRegistrationWroteAndMore) {
  const std::wstring dll = testsupport::HalyardPath();
  RegSvr32(L"/s", dll);
  AddKey(L"SOTarvoCash.SOTvCash\\Stray\\Deeper");
  AddKey(kClassKey + L"\\InprocServer32\\Stray");

  RegSvr32(L"/u /s", dll);
  EXPECT_FALSE(AnythingRegistered());
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));

  // Nothing registered: unregistration still succeeds.
  RegSvr32(L"/u /s", dll);
  EXPECT_FALSE(AnythingRegistered());

  // Without its registered type library IDispatch reports the loader's error.
  EXPECT_EQ(LookUpOpenDrawer(), TYPE_E_LIBNOTREGISTERED);
}

TEST(Unregistration, RegistrationRecordsTheShortPathAndRenewsTheClassKey) {
  // A copy under a long directory name with a blank, inside one whose
  // short form keeps an apostrophe that the script's quoting must double.
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  std::wstring dir = std::wstring(temp) + L"Halyard Long Directory\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  dir += L"O'Neil\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  for (const wchar_t* name : {L"Halyard.dll", L"Quire.dll", L"Ferrule.dll"}) {
    ASSERT_TRUE(CopyBeside(dir, name)) << Narrow(name);
  }
  const std::wstring copy = dir + L"Halyard.dll";
  RegSvr32(L"/s", copy);
  const std::wstring recorded = InprocServer();
  EXPECT_EQ(recorded, testsupport::ShortPath(copy));
  EXPECT_EQ(recorded.find(L' '), std::wstring::npos) << Narrow(recorded);
  EXPECT_NE(recorded.find(L"O'Neil"), std::wstring::npos) << Narrow(recorded);

  // Registering again over stale entries renews the class key and its
  // Programmable key as a whole.
  AddKey(kClassKey + L"\\Stray");
  AddKey(kClassKey + L"\\Programmable\\Stray");
  const std::wstring dll = testsupport::HalyardPath();
  RegSvr32(L"/s", dll);
  EXPECT_EQ(InprocServer(), testsupport::ShortPath(dll));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + L"\\Stray"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + L"\\Programmable"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + L"\\Programmable\\Stray"));
  // The earlier failure to load the type information is not kept.
  EXPECT_EQ(LookUpOpenDrawer(), S_OK);

  for (const wchar_t* name : {L"Halyard.dll", L"Quire.dll", L"Ferrule.dll"}) {
    DeleteFileW((dir + name).c_str());
  }
  RemoveDirectoryW(dir.c_str());
}

}  // namespace
