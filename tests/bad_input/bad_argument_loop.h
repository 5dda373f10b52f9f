// One call of a dispatch method with arguments of chosen shapes, judged, and
// the loop that gives each argument in turn every bad shape: shared by the
// bad-input runs on a closed and on an open service.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/bad_input/dispatch_shapes.h"

namespace badinput {

// Checks a finished call: a dispatch error, or success with an OPOS
// result (methods with a result give it back as a 32-bit integer).
inline void JudgeCall(const Method& m, const std::string& what, HRESULT hr, const VARIANT& result) {
  if (FAILED(hr)) return;  // a clean refusal
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << m.name << " " << what << " hr " << hr;
  if (m.retval && m.id != 11 && m.id != 13) {
    ASSERT_EQ(result.vt, VT_I4) << m.name << " " << what;
    EXPECT_TRUE(IsOposResult(result.lVal)) << m.name << " " << what << " gave " << result.lVal;
  }
}

// Gives argument `position` its value; the variant is initialised and empty.
using FillArgument = std::function<void(size_t position, VARIANT& arg, Slots& slots)>;

// Calls m through target with count arguments made by fill, judges the
// call and clears what it made. The HRESULT, for checks of the caller's own.
inline HRESULT CallAndJudge(IDispatch* target, const Method& m, size_t count,
                            const std::string& what, const FillArgument& fill) {
  Slots slots;
  std::vector<VARIANT> args(count);
  for (size_t i = 0; i < count; ++i) {
    VariantInit(&args[i]);
    fill(i, args[i], slots);
  }
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = CallMethod(target, m.id, args, &result);
  JudgeCall(m, what, hr, result);
  VariantClear(&result);
  ClearAll(args);
  return hr;
}

// Each parameter of m in turn takes every bad shape while the others are sound.
inline void CallWithEachBadArgument(IDispatch* target, const Method& m,
                                    const std::vector<Shape>& shapes, IDispatch* co) {
  for (size_t pos = 0; pos < m.params.size(); ++pos) {
    for (const Shape& shape : shapes) {
      CallAndJudge(target, m, m.params.size(),
                   std::string("arg ") + std::to_string(pos) + " " + shape.name,
                   [&](size_t i, VARIANT& arg, Slots& slots) {
                     if (i == pos) {
                       shape.make(arg, slots);
                     } else {
                       GoodArgument(m.params[i], arg, slots, co);
                     }
                   });
    }
  }
}

// Random shapes for every argument of m; their names are added to what.
inline void CallWithRandomShapes(IDispatch* target, const Method& m,
                                 const std::vector<Shape>& shapes, std::mt19937& rng,
                                 std::string what) {
  std::vector<const Shape*> picked;
  for (size_t i = 0; i < m.params.size(); ++i) {
    picked.push_back(&shapes[rng() % shapes.size()]);
    what += std::string(" ") + picked.back()->name;
  }
  CallAndJudge(target, m, picked.size(), what,
               [&](size_t i, VARIANT& arg, Slots& slots) { picked[i]->make(arg, slots); });
}

}  // namespace badinput
