// What regsvr32 left in the registry, and the module's version block.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "halyard.h"
#include "test_support.h"

namespace {

using testsupport::GuidText;
using testsupport::KeyExists;
using testsupport::Narrow;

std::wstring Read(const std::wstring& key, const wchar_t* value = nullptr) {
  std::wstring text;
  EXPECT_TRUE(testsupport::ReadString(HKEY_CLASSES_ROOT, key, value, text))
      << "missing HKCR\\" << Narrow(key) << " " << (value ? Narrow(value) : "(default)");
  return text;
}

TEST(Registration, ProgIdsNameTheClass) {
  const std::wstring clsid = GuidText(CLSID_SOTvCash);
  EXPECT_EQ(Read(L"SOTarvoCash.SOTvCash.1"), L"SOTvCash Class");
  EXPECT_EQ(Read(L"SOTarvoCash.SOTvCash.1\\CLSID"), clsid);
  EXPECT_EQ(Read(L"SOTarvoCash.SOTvCash"), L"SOTvCash Class");
  EXPECT_EQ(Read(L"SOTarvoCash.SOTvCash\\CLSID"), clsid);
  EXPECT_EQ(Read(L"SOTarvoCash.SOTvCash\\CurVer"), L"SOTarvoCash.SOTvCash.1");

  CLSID fromProgId{};
  ASSERT_EQ(CLSIDFromProgID(L"SOTarvoCash.SOTvCash", &fromProgId), S_OK);
  EXPECT_TRUE(IsEqualCLSID(fromProgId, CLSID_SOTvCash));
}

TEST(Registration, ClassKeyNamesTheShortPathApartmentModelAndTypeLibrary) {
  const std::wstring key = L"CLSID\\" + GuidText(CLSID_SOTvCash);
  EXPECT_EQ(Read(key), L"SOTvCash Class");
  EXPECT_EQ(Read(key + L"\\ProgID"), L"SOTarvoCash.SOTvCash.1");
  EXPECT_EQ(Read(key + L"\\VersionIndependentProgID"), L"SOTarvoCash.SOTvCash");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key + L"\\Programmable"));
  const std::wstring server = Read(key + L"\\InprocServer32");
  EXPECT_EQ(server, testsupport::ShortPath(testsupport::HalyardPath()));
  EXPECT_EQ(CompareStringOrdinal(server.c_str(), -1, testsupport::HalyardPath().c_str(), -1, TRUE),
            CSTR_EQUAL)
      << "the prefix path has no long names, so short and long forms agree";
  EXPECT_EQ(Read(key + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(Read(key + L"\\TypeLib"), GuidText(LIBID_SOTARVOCASHLib));
}

TEST(Registration, TypeLibraryIsRegisteredAndDescribesTheClass) {
  ITypeLib* lib = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_SOTARVOCASHLib, 1, 0, LOCALE_NEUTRAL, &lib), S_OK);
  BSTR name = nullptr;
  BSTR help = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"SOTARVOCASHLib");
  EXPECT_STREQ(help, L"SOTarvoCash 1.0 Type Library");
  SysFreeString(name);
  SysFreeString(help);

  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_SOTvCash, &coclass), S_OK);
  ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(help, L"SOTvCash Class");
  SysFreeString(help);
  coclass->Release();
  lib->Release();

  // Interfaces of the library are marshalled through the type library.
  EXPECT_EQ(Read(L"Interface\\" + GuidText(IID_ISOTvCash) + L"\\ProxyStubClsid32"),
            L"{00020424-0000-0000-C000-000000000046}");
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name, bool* found) {
  std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void* text = nullptr;
  UINT chars = 0;
  *found = VerQueryValueW(block.data(), path.c_str(), &text, &chars) != 0;
  return *found && text ? std::wstring(static_cast<const wchar_t*>(text)) : std::wstring();
}

TEST(Registration, VersionBlockAnnouncesSelfRegistration) {
  const std::wstring dll = testsupport::HalyardPath();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  struct Expected { const wchar_t* name; const wchar_t* text; };
  const Expected strings[] = {
      {L"FileDescription", L"Halyard Module"}, {L"ProductName", L"Halyard Module"},
      {L"InternalName", L"Halyard"},           {L"OriginalFilename", L"Halyard.DLL"},
      {L"OLESelfRegister", L""},
  };
  for (const Expected& e : strings) {
    bool found = false;
    EXPECT_EQ(VersionString(block, e.name, &found), e.text) << Narrow(e.name);
    EXPECT_TRUE(found) << Narrow(e.name);
  }
}

}  // namespace
