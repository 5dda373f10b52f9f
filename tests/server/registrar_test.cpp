// The registration-script runner against a scratch key of the current user,
// with the script shape that Halyard.dll registers itself with.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32_raii.h"
#include "server/registrar.h"
#include "test_support.h"

namespace {

using registrar::Action;
using registrar::RunScript;
using testsupport::KeyExists;

const wchar_t kScript[] = LR"(HKCR
{
	Test.Prog.1 = s 'Test Class'
	{
		CLSID = s '{0001}'
	}
	NoRemove CLSID
	{
		ForceRemove {0001} = s 'Test Class'
		{
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
	}
})";

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = L"Software\\HalyardRegistrarTest" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, root_.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    root_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
  }

  HRESULT Run(const std::wstring& script, Action action,
              const std::wstring& module = L"C:\\x.dll") {
    return RunScript(script, {{L"MODULE", module}}, action, root_.get());
  }
  bool Has(const std::wstring& sub) { return KeyExists(root_.get(), sub); }
  std::wstring Text(const std::wstring& sub, const wchar_t* value = nullptr) {
    std::wstring text;
    return testsupport::ReadString(root_.get(), sub, value, text) ? text : L"<missing>";
  }
  void AddKey(const std::wstring& sub) {
    win::UniqueHKey k;
    ASSERT_EQ(RegCreateKeyExW(root_.get(), sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              k.put(), nullptr),
              ERROR_SUCCESS);
  }

  std::wstring name_;
  win::UniqueHKey root_;
};

TEST_F(RegistrarTest, RegisterWritesKeysValuesAndThePathWithItsQuotesIntact) {
  const std::wstring path = L"C:\\O'Neil's dir\\x.dll";
  ASSERT_EQ(Run(kScript, Action::Register, path), S_OK);
  EXPECT_EQ(Text(L"Test.Prog.1"), L"Test Class");
  EXPECT_EQ(Text(L"Test.Prog.1\\CLSID"), L"{0001}");
  EXPECT_EQ(Text(L"CLSID\\{0001}"), L"Test Class");
  EXPECT_TRUE(Has(L"CLSID\\{0001}\\Programmable"));
  EXPECT_EQ(Text(L"CLSID\\{0001}\\InprocServer32"), path);
  EXPECT_EQ(Text(L"CLSID\\{0001}\\InprocServer32", L"ThreadingModel"), L"Apartment");
}

TEST_F(RegistrarTest, RegisterRenewsForceRemoveKeysAndKeepsWhatOthersAddedElsewhere) {
  ASSERT_EQ(Run(kScript, Action::Register), S_OK);
  AddKey(L"CLSID\\{0001}\\Stray");
  AddKey(L"CLSID\\{0001}\\Programmable\\Stray");
  AddKey(L"CLSID\\{OtherClass}");
  AddKey(L"Test.Prog.1\\Extra");
  ASSERT_EQ(Run(kScript, Action::Register), S_OK);
  EXPECT_FALSE(Has(L"CLSID\\{0001}\\Stray"));
  EXPECT_TRUE(Has(L"CLSID\\{0001}\\Programmable"));
  EXPECT_FALSE(Has(L"CLSID\\{0001}\\Programmable\\Stray"));
  EXPECT_TRUE(Has(L"CLSID\\{OtherClass}"));
  EXPECT_TRUE(Has(L"Test.Prog.1\\Extra")) << "keys without ForceRemove are only overwritten";
}

TEST_F(RegistrarTest, UnregisterRemovesWholeTreesButNeverANoRemoveKey) {
  ASSERT_EQ(Run(kScript, Action::Register), S_OK);
  AddKey(L"Test.Prog.1\\Extra\\Deeper");
  AddKey(L"CLSID\\{0001}\\InprocServer32\\Stray");
  AddKey(L"CLSID\\{OtherClass}");
  ASSERT_EQ(Run(kScript, Action::Unregister), S_OK);
  EXPECT_FALSE(Has(L"Test.Prog.1"));
  EXPECT_FALSE(Has(L"CLSID\\{0001}"));
  EXPECT_TRUE(Has(L"CLSID"));
  EXPECT_TRUE(Has(L"CLSID\\{OtherClass}"));
  // Nothing left to remove: passed over without complaint.
  EXPECT_EQ(Run(kScript, Action::Unregister), S_OK);
  EXPECT_TRUE(Has(L"CLSID"));
}

TEST_F(RegistrarTest, ScriptThatDoesNotParseChangesNothing) {
  const wchar_t* broken[] = {
      L"HKCR { A = s 'x' { B = s 'y' }",          // block never closed
      L"HKCR { A = s 'unterminated }",             // quote never closed
      L"HKXX { A = s 'x' }",                       // no such root
      L"HKCR { A = d '1' }",                       // only string values
      L"HKCR { A = s 'x' } HKCR { B = }",          // second root broken
      L"HKCR { A = s }",                           // text missing
  };
  for (const wchar_t* script : broken) {
    EXPECT_EQ(Run(script, Action::Register), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT))
        << testsupport::Narrow(script);
    EXPECT_FALSE(Has(L"A")) << testsupport::Narrow(script);
  }
}

}  // namespace
