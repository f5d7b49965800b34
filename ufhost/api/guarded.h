// The edge of libufun's entry points: nothing thrown may reach the plug-in.
#pragma once

#include <Standard_Failure.hxx>

#include <exception>

#include "ufhost/core/containment.h"
#include "ufhost/core/session.h"

namespace ufhost {

// Runs `body`, which returns the entry point's status, as kernel work, and
// turns anything it throws into a host failure code: the kernel's failures,
// a crash inside the kernel among them, into kErrGeometry, everything else
// into kErrInternal. The caller sets its outputs to safe values before, so
// a caught failure leaves none half set.
template <class Body>
int guarded(Body body) {
  KernelWork work;
  try {
    OCC_CATCH_SIGNALS
    return body();
  } catch (const Standard_Failure& failure) {
    if (is_fault_signal(failure)) warn_fault_handed_back(failure, kErrGeometry);
    return kErrGeometry;
  } catch (const std::exception&) {
    return kErrInternal;
  } catch (...) {
    return kErrInternal;
  }
}

}  // namespace ufhost
