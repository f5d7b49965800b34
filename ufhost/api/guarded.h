// The edge of libufun's entry points: nothing thrown may reach the plug-in.
#pragma once

#include <Standard_Failure.hxx>

#include <exception>

#include "ufhost/core/session.h"

namespace ufhost {

// Runs `body`, which returns the entry point's status, and turns anything
// it throws into a host failure code: the kernel's failures into
// kErrGeometry, everything else into kErrInternal. The caller sets its
// outputs to safe values before, so a caught failure leaves none half set.
template <class Body>
int guarded(Body body) {
  try {
    return body();
  } catch (const Standard_Failure&) {
    return kErrGeometry;
  } catch (const std::exception&) {
    return kErrInternal;
  } catch (...) {
    return kErrInternal;
  }
}

}  // namespace ufhost
