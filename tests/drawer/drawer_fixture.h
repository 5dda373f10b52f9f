// A service object set up by hand as an open and enabled service on the
// scripted port, for the drawer methods' own paths. The poll thread's part
// (signalling an opening) is played by the tests where a path needs it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "diag/log_text.h"
#include "so/service_object.h"
#include "tests/drawer/scripted_calls.h"
#include "tests/support/service_log.h"

constexpr LONG kPortEx = 0x51;
constexpr LONG kPort = 7;

class DrawerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Scripted_Reset();
    so_ = new SOTvCash();
    so_->AddRef();
    log_ = new ServiceLog();
    so_->bOpened = 1;
    so_->DeviceEnabled = 1;
    so_->State = opos::S_IDLE;
    so_->Printer().Attach(kPortEx, kPort, PORT_ETH, 4);
    so_->Printer().SetPinSelect(0);
    so_->Workers().DrawerOpenEvent().reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    gModelClass = 4;
    gPinSelect = 0;
  }
  void TearDown() override {
    if (HasFailure()) ADD_FAILURE() << log_->Dump();
    delete log_;
    so_->bOpened = 0;
    so_->DeviceEnabled = 0;
    so_->Release();
  }

  SOTvCash* so_ = nullptr;
  ServiceLog* log_ = nullptr;
};

using Clock = std::chrono::steady_clock;

template <class F>
Clock::duration Timed(F&& f) {
  auto start = Clock::now();
  f();
  return Clock::now() - start;
}
