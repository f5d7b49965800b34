# Checks that includes only point down the layers: each folder may include
# the project's headers of the folders listed for it, and no others, and
# every folder it lists lies below it (or is itself), so that the house has
# no arrow up and no circle. The order of `layers` is the order of the
# table in docs/architecture.md, lowest first.
#   cmake -DSOURCE_DIR=... -P tests/layers.cmake
set(layers
  host platform src
  ufhost/plan ufhost/plan/bars ufhost/plan/sheets
  ufhost/base ufhost/kernel ufhost/model ufhost/geom ufhost/enclosing ufhost/parts ufhost/session
  ufhost/ui ufhost/api
  ufhost/app/run ufhost/app/batch ufhost/app/measure ufhost/app/stock ufhost/app/plan
  ufhost/app/cutlist ufhost/app/cli)

set(allowed_host "host/")
set(allowed_platform "host/;platform/")
set(allowed_src "host/;platform/;src/")
# Cutting plans stand alone: no kernel, no host. The shared types know
# neither half, and each half knows the shared types and itself, not the other.
set(allowed_ufhost/plan "ufhost/plan/")
set(allowed_ufhost/plan/bars "ufhost/plan/;ufhost/plan/bars/")
set(allowed_ufhost/plan/sheets "ufhost/plan/;ufhost/plan/sheets/")
set(allowed_ufhost/base "ufhost/base/")
set(allowed_ufhost/kernel "ufhost/base/;ufhost/kernel/")
# The model takes the interface's type codes and record layouts from
# host/uf.h, their one home, and nothing else of host/.
set(allowed_ufhost/model "host/uf.h;ufhost/base/;ufhost/kernel/;ufhost/model/")
set(allowed_ufhost/geom "ufhost/base/;ufhost/kernel/;ufhost/model/;ufhost/geom/")
# The enclosing cylinder and hexagon, on the reach of exact faces and edges:
# shapes in, sizes out. Beside geom, not on it: neither includes the other,
# and neither needs the model.
set(allowed_ufhost/enclosing "ufhost/base/;ufhost/kernel/;ufhost/enclosing/")
set(allowed_ufhost/parts "ufhost/base/;ufhost/kernel/;ufhost/model/;ufhost/geom/;ufhost/parts/")
set(allowed_ufhost/session
    "host/uf.h;ufhost/base/;ufhost/kernel/;ufhost/model/;ufhost/geom/;ufhost/session/")
set(allowed_ufhost/ui
    "host/;ufhost/base/;ufhost/kernel/;ufhost/model/;ufhost/session/;ufhost/ui/")
set(allowed_ufhost/api
    "host/;platform/;ufhost/base/;ufhost/kernel/;ufhost/model/;ufhost/geom/;ufhost/session/;ufhost/ui/;ufhost/api/")
# The application: everything of the host below it; of the plug-in only the
# headers that hold a fact both share (its tolerances, its result dialog's
# texts, its search log's lines).
set(host_below
    "host/;ufhost/base/;ufhost/kernel/;ufhost/model/;ufhost/geom/;ufhost/enclosing/;ufhost/parts/;ufhost/session/;ufhost/ui/")
set(plugin_facts "src/get_zarvel.h;src/result_dialog.h;src/search_log.h")
set(allowed_ufhost/app/run "${host_below};ufhost/app/run/")
set(allowed_ufhost/app/batch "${host_below};${plugin_facts};ufhost/app/run/;ufhost/app/batch/")
set(allowed_ufhost/app/measure
    "${host_below};${plugin_facts};ufhost/app/run/;ufhost/app/batch/;ufhost/app/measure/")
# Stock and cutting plans know nothing of parts: a catalogue, pieces and
# sheets or bars.
set(allowed_ufhost/app/stock "ufhost/base/;ufhost/plan/;ufhost/app/run/;ufhost/app/batch/;ufhost/app/stock/")
set(allowed_ufhost/app/plan
    "ufhost/base/;ufhost/plan/;ufhost/plan/bars/;ufhost/plan/sheets/;ufhost/app/run/;ufhost/app/batch/;ufhost/app/stock/;ufhost/app/plan/")
set(allowed_ufhost/app/cutlist
    "${host_below};${plugin_facts};ufhost/plan/;ufhost/app/run/;ufhost/app/batch/;ufhost/app/stock/;ufhost/app/plan/;ufhost/app/cutlist/")
set(allowed_ufhost/app/cli "${host_below};ufhost/plan/;ufhost/app/run/;ufhost/app/batch/;ufhost/app/measure/;ufhost/app/stock/;ufhost/app/plan/;ufhost/app/cutlist/;ufhost/app/cli/")
# Folders whose files may include the geometry kernel's headers: below the
# application only. The application asks the host's folders for kernel work.
set(kernel_free src ufhost/plan ufhost/plan/bars ufhost/plan/sheets ufhost/app/run ufhost/app/batch ufhost/app/measure ufhost/app/stock
    ufhost/app/plan ufhost/app/cutlist ufhost/app/cli)

# The layer a header or a listed prefix lies in: the deepest layer whose
# folder holds it, so that ufhost/plan/bars/bars.h lies in ufhost/plan/bars and
# not in ufhost/plan. "" when no layer holds it.
function(layer_of path out)
  set(home "")
  set(depth -1)
  foreach(other IN LISTS layers)
    string(FIND "${path}" "${other}/" at)
    string(LENGTH "${other}" length)
    if(at EQUAL 0 AND length GREATER depth)
      set(home ${other})
      set(depth ${length})
    endif()
  endforeach()
  set(${out} "${home}" PARENT_SCOPE)
endfunction()

set(broken "")
# Every listed folder lies at or below the folder that lists it.
foreach(layer IN LISTS layers)
  list(FIND layers ${layer} own)
  foreach(prefix IN LISTS allowed_${layer})
    layer_of("${prefix}" home)
    list(FIND layers "${home}" below)
    if(below LESS 0 OR below GREATER own)
      list(APPEND broken "${layer} may include ${prefix}, which is not below it")
    endif()
  endforeach()
endforeach()

foreach(layer IN LISTS layers)
  if(NOT DEFINED allowed_${layer})
    list(APPEND broken "${layer} has no list of what it may include")
  endif()
  file(GLOB files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  list(FIND kernel_free ${layer} no_kernel)
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
      # A listed folder admits its own headers, not those of a layer below
      # it in the tree: ufhost/plan/ does not admit ufhost/plan/bars/.
      layer_of("${header}" home)
      set(ok FALSE)
      foreach(prefix IN LISTS allowed_${layer})
        string(FIND "${header}" "${prefix}" at)
        layer_of("${prefix}" prefix_home)
        if(at EQUAL 0 AND home STREQUAL prefix_home)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        list(APPEND broken "${name} includes ${header}")
      endif()
    endforeach()
    if(no_kernel GREATER_EQUAL 0)
      file(STRINGS ${file} kernel_includes REGEX "^#include <[A-Za-z0-9_]+\\.hxx>")
      foreach(line IN LISTS kernel_includes)
        list(APPEND broken "${name} includes the geometry kernel: ${line}")
      endforeach()
    endif()
  endforeach()
endforeach()

# Every folder of ufhost/ with sources is a layer.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/ufhost/*.h ${SOURCE_DIR}/ufhost/*.cpp)
foreach(source IN LISTS sources)
  get_filename_component(folder ${source} DIRECTORY)
  list(FIND layers ${folder} known)
  if(known LESS 0 AND NOT folder STREQUAL "ufhost")
    list(APPEND broken "${source} lies in ${folder}, which is no layer")
  endif()
endforeach()

file(STRINGS ${SOURCE_DIR}/ufhost/main.cpp includes REGEX "^#include")
foreach(line IN LISTS includes)
  if(NOT line MATCHES "^#include \"ufhost/app/cli/")
    list(APPEND broken "ufhost/main.cpp includes more than the command line: ${line}")
  endif()
endforeach()

# docs/architecture.md's table of folders is this file's, told to people:
# its folder rows are the layers in their order, and each row's "May
# include" names what the layer may include, no more and no less. A name in
# backticks is a path as it stands; a bare name is a folder of ufhost/;
# "the host's folders" is the lot of them.
set(host_folders base kernel model geom enclosing parts session ui)
file(STRINGS ${SOURCE_DIR}/docs/architecture.md rows REGEX "^\\| `[^`]*/` \\|")
set(documented "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\| `([^`]*)/` \\|.*" "\\1" folder "${row}")
  list(APPEND documented ${folder})
  string(REGEX REPLACE ".*\\| ([^|]*) \\|$" "\\1" may "${row}")
  string(REPLACE "the host's folders" "${host_folders}" may "${may}")
  string(REGEX REPLACE "[ ]*[,;][ ]*| +" ";" tokens "${may}")
  set(named "")
  foreach(token IN LISTS tokens)
    if(token MATCHES "^`(.*)`$")
      list(APPEND named "${CMAKE_MATCH_1}")
    elseif(NOT token STREQUAL "")
      list(APPEND named "ufhost/${token}/")
    endif()
  endforeach()
  list(SORT named)
  set(allowed ${allowed_${folder}})
  list(SORT allowed)
  if(NOT named STREQUAL allowed)
    list(JOIN named ", " named)
    list(JOIN allowed ", " allowed)
    list(APPEND broken "docs/architecture.md says ${folder} may include ${named}; this file: ${allowed}")
  endif()
endforeach()
if(NOT documented STREQUAL layers)
  list(JOIN documented ", " documented)
  list(JOIN layers ", " in_order)
  list(APPEND broken "docs/architecture.md's folders are ${documented}; the layers: ${in_order}")
endif()

if(broken)
  list(REMOVE_DUPLICATES broken)
  list(JOIN broken "\n  " text)
  message(FATAL_ERROR "The layers are broken (see docs/architecture.md):\n  ${text}")
endif()
message(STATUS "Every include points down the layers")
