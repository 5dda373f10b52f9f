// The test support itself: the scripted port library is the Ferrule.dll that
// a scripted test loads, it answers from its script and records the calls;
// the recording Control Object is reached from another apartment only
// through a proxy, and its calls run on its own thread while that pumps.
#include <gtest/gtest.h>

#include <thread>

#include "ext/ferrule.h"
#include "tests/support/recording_co.h"
#include "tests/support/scripted_port.h"

TEST(ScriptedPort, IsTheFerruleThatTheProgramLoads) {
  HMODULE ferrule = GetModuleHandleA("Ferrule.dll");
  ASSERT_NE(ferrule, nullptr);
  EXPECT_NE(GetProcAddress(ferrule, "Scripted_Reset"), nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(ferrule, "OpenPort")),
            reinterpret_cast<void*>(&OpenPort));
}

TEST(ScriptedPort, AnswersFromItsScriptAndRecordsEachCall) {
  Scripted_Reset();
  int type = 0, ex = 0, d[12] = {};
  EXPECT_EQ(OpenPort("CashDrawer", "KX-M27", &type, &ex, 2, &d[0], &d[1], &d[2], &d[3], &d[4],
                     &d[5], &d[6], &d[7]),
            7);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(ex, 0x51);

  Scripted_SetStatus(1, 0x00);
  Scripted_QueueStatus(0, 0x04);
  Scripted_QueueStatus(1, 0x84, 1, 2, 3);
  const int words[7] = {1, 2, 3, 4, 5, 6, 7};
  Scripted_SetDiag(SCRIPTED_READ, words, 7);
  unsigned char block[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(ReadPort(ex, 7, block, -1, 300, 2, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6]),
            0);
  EXPECT_EQ(block[0], 0xEE) << "a failed read writes nothing";
  EXPECT_EQ(ReadPort(ex, 7, block, -1, 300, 2, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6]),
            1);
  EXPECT_EQ(block[0], 0x84);
  EXPECT_EQ(block[3], 3);
  EXPECT_EQ(d[6], 7);
  EXPECT_EQ(ReadPort(ex, 7, block, -1, 300, 2, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6]),
            1);
  EXPECT_EQ(block[0], 0x00) << "the standing status once the queue is empty";

  Scripted_QueueResult(SCRIPTED_WRITE, 0);
  const unsigned char kick[5] = {0x10, 0x14, 0x01, 0x01, 0x05};
  EXPECT_EQ(WritePort(ex, 7, kick, 5, 10000, 2, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6],
                      &d[7], &d[8], &d[9], &d[10], &d[11]),
            0);
  EXPECT_EQ(WritePort(ex, 7, kick, 5, 10000, 2, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6],
                      &d[7], &d[8], &d[9], &d[10], &d[11]),
            1);

  ASSERT_EQ(Scripted_CallTotal(), 6);
  ScriptedCall c{};
  ASSERT_TRUE(Scripted_GetCall(0, &c));
  EXPECT_STREQ(c.deviceName, "KX-M27");
  EXPECT_EQ(c.modelClass, 2);
  ASSERT_TRUE(Scripted_GetCall(4, &c));
  EXPECT_EQ(c.fn, SCRIPTED_WRITE);
  EXPECT_EQ(c.count, 5);
  EXPECT_EQ(c.timeoutMs, 10000);
  EXPECT_EQ(c.bytes[3], 0x01);
  EXPECT_EQ(c.result, 0);
  EXPECT_EQ(Scripted_CallCount(SCRIPTED_READ), 3);
  EXPECT_FALSE(Scripted_GetCall(6, &c));
}

TEST(ScriptedPort, DelaysAndWaitsAcrossThreads) {
  Scripted_Reset();
  Scripted_SetDelay(SCRIPTED_CLOSE, 150);
  int d[4] = {};
  std::thread other([&] { ClosePort(0, 7, 4, &d[0], &d[1], &d[2], &d[3]); });
  EXPECT_FALSE(Scripted_WaitCalls(SCRIPTED_CLOSE, 2, 50));
  EXPECT_TRUE(Scripted_WaitCalls(SCRIPTED_CLOSE, 1, 5000));
  DWORD start = GetTickCount();
  other.join();
  EXPECT_LT(GetTickCount() - start, 5000u);
  ScriptedCall c{};
  ASSERT_TRUE(Scripted_GetCall(0, &c));
  EXPECT_NE(c.threadId, GetCurrentThreadId());
}

TEST(RecordingCO, CallsFromAnotherApartmentRunOnItsThreadWhileItPumps) {
  RunOnSta([] {
    auto co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
    co->RefuseName(L"SODirectIO");
    IStream* stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, co.get(), &stream), S_OK);

    HRESULT invokeHr = E_FAIL, namesHr = S_OK;
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread caller([&] {
      {
        win::ComApartment apartment(COINIT_MULTITHREADED);
        win::ComPtr<IDispatch> proxy;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, proxy.put_void()))) {
          LPOLESTR name = const_cast<LPOLESTR>(L"SODirectIO");
          DISPID id = 0;
          namesHr = proxy->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
          VARIANT arg;
          VariantInit(&arg);
          V_VT(&arg) = VT_I4;
          V_I4(&arg) = 1;
          DISPPARAMS params{&arg, nullptr, 1, 0};
          invokeHr = proxy->Invoke(RecordingCO::kSOStatusUpdate, IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        }
      }  // releasing the proxy is a call into the object's apartment too
      SetEvent(done);
    });
    // Not pumping: the call cannot have reached the object.
    Sleep(300);
    EXPECT_EQ(co->CallCount(), 0u);
    EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(done, 0) == WAIT_OBJECT_0; }, 10000));
    caller.join();
    CloseHandle(done);
    EXPECT_EQ(namesHr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(invokeHr, S_OK);
    auto calls = co->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].value, 1);
    EXPECT_EQ(calls[0].type, VT_I4);
    EXPECT_EQ(calls[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{1}));
  });
}
