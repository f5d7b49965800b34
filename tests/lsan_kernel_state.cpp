// Built into the host's core in a build with the leak checker, and only
// there (CMakeLists.txt): every process that links the core makes, before
// main, what the geometry kernel's data exchange keeps for the life of a
// process, with the leak checker told that what is made then is kept on
// purpose. That is: the exchange parameters with their enumerated values
// and the STEP controller's editors, made with the first STEP or IGES
// reader or writer and registered in the kernel's static tables; and the
// default placement that the STEP writer's translator, which belongs to the
// registered controller, makes for the first file it writes and keeps.
//
// The kernel reaches the storage of its arrays numbered from 1 through a
// pointer one element before it, which the leak checker does not count, so
// it would report all of this as lost at every exit. A suppression by name
// would need each allocation's whole stack, and the kernel's libraries keep
// no frame pointers: only the slow unwinder gets past them, at two to three
// times the time of every allocation, and with it genuine reads ran past the
// kernel's time limits on a busy machine (tests/lsan.supp).
#include <BRep_Builder.hxx>
#include <STEPControl_Writer.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Compound.hxx>
#include <sanitizer/lsan_interface.h>

#include "ufhost/kernel/kernel_quiet.h"
#include "ufhost/parts/part_io.h"

namespace {

struct KernelStateKeptOnPurpose {
  KernelStateKeptOnPurpose() {
    __lsan::ScopedDisabler kept_on_purpose;
    ufhost::warm_up_part_readers();
    try {
      ufhost::KernelQuiet quiet;
      TopoDS_Compound nothing;
      BRep_Builder().MakeCompound(nothing);
      STEPControl_Writer writer;
      writer.Transfer(nothing, STEPControl_AsIs);
    } catch (const Standard_Failure&) {
      // Then the first file written makes the placement, and the leak
      // checker reports it.
    }
  }
};

const KernelStateKeptOnPurpose kernel_state_kept_on_purpose;

}  // namespace
