// The edge of the host's C libraries (libufun, libufui, the platform layer).
//
// Every C entry point is one call of host_call, which names the operation
// once and does for it what every entry point needs:
//   - the call hook: the call is counted, named for the progress line and
//     for containment's last words, and failed when a --fail rule says so;
//   - the kernel-work mark, for calls that are kernel work through and
//     through (Marks::kWholeCall): a fault inside is the kernel's and the
//     watchdog bounds the call. A call that waits for the person at the
//     front end is not kernel work while it waits (Marks::kOwnPieces): it
//     marks its kernel pieces itself (kernel_work, containment.h);
//   - the signal guard: a fault inside marked work becomes the kernel's
//     exception here;
//   - the catch and its report: nothing thrown reaches the plug-in. A
//     failure of the kernel (a crash among them) fails the call with
//     kErrGeometry, anything else with kErrInternal, and standard error
//     says why, once per operation in a run.
// The body converts and checks the arguments, hands the work to the core
// and converts the answer back; it sets its outputs to safe values before
// host_call, so that a caught failure leaves none half set.
#pragma once

#include <Standard_Failure.hxx>

#include <exception>
#include <optional>

#include "ufhost/kernel/containment.h"
#include "ufhost/session/session.h"

namespace ufhost {

enum class Marks {
  kWholeCall,  // the whole call is kernel work (libufun's model calls)
  kOwnPieces,  // front-end and bookkeeping calls: kernel pieces inside mark themselves
};

// Runs `body`, which returns the entry point's result, as `operation`. An
// injected failure returns its code; a caught one returns the failure's
// code, or `caught` when it is set (for entry points whose result is not a
// status: the message box's 0, the file dialog's IDCANCEL).
template <class Body>
int host_call(const char* operation, Marks marks, Body&& body, std::optional<int> caught = {}) {
  if (const int injected = session().fail_point(operation)) return injected;
  std::optional<KernelWork> mark;  // unnamed: the host call, which fail_point noted
  if (marks == Marks::kWholeCall) mark.emplace();
  int code = 0;
  try {
    OCC_CATCH_SIGNALS
    return body();
  } catch (const Standard_Failure& failure) {
    code = caught_failure(operation, kErrGeometry, failure.GetMessageString(),
                          is_fault_signal(failure));
  } catch (const std::exception& e) {
    code = caught_failure(operation, kErrInternal, e.what(), false);
  } catch (...) {
    code = caught_failure(operation, kErrInternal, "an exception of unknown type", false);
  }
  return caught ? *caught : code;
}

}  // namespace ufhost
