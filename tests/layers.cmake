# Checks that includes only point down the layers: each folder may include
# the project's headers of the folders listed for it, and no others.
#   cmake -DSOURCE_DIR=... -P tests/layers.cmake
set(allowed_host "host/")
set(allowed_platform "host/;platform/")
set(allowed_src "host/;platform/;src/")
# The core implements the host interface: it takes the interface's type
# codes and record layouts from host/uf.h, its one home.
set(allowed_ufhost/core "host/uf.h;ufhost/core/")
set(allowed_ufhost/ui "host/;ufhost/core/;ufhost/ui/")
set(allowed_ufhost/api "host/;platform/;ufhost/core/;ufhost/ui/;ufhost/api/")
# The application knows the plug-in's tolerances (src/get_zarvel.h) and its
# result dialog (src/result_dialog.h), and drives everything below it.
set(allowed_ufhost/app "host/;src/get_zarvel.h;src/result_dialog.h;ufhost/core/;ufhost/ui/;ufhost/app/")
# Cutting plans stand alone: no kernel, no host.
set(allowed_ufhost/plan "ufhost/plan/")
set(layers host platform src ufhost/plan ufhost/core ufhost/ui ufhost/api ufhost/app)

set(broken "")
foreach(layer IN LISTS layers)
  file(GLOB files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
      set(ok FALSE)
      foreach(prefix IN LISTS allowed_${layer})
        string(FIND "${header}" "${prefix}" at)
        if(at EQUAL 0)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
        list(APPEND broken "${name} includes ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()
file(STRINGS ${SOURCE_DIR}/ufhost/main.cpp includes REGEX "^#include")
foreach(line IN LISTS includes)
  if(NOT line MATCHES "^#include \"ufhost/app/")
    list(APPEND broken "ufhost/main.cpp includes more than the application: ${line}")
  endif()
endforeach()

if(broken)
  list(JOIN broken "\n  " text)
  message(FATAL_ERROR "Includes that point up the layers (see docs/architecture.md):\n  ${text}")
endif()
message(STATUS "Every include points down the layers")
