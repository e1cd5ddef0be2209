# Checks that every source folder includes only from the layers below it (and itself):
#   engine (Foundation < Compression < Crypto < Kdbx) < services < platform
#   < application state < UI < shell, with the theme beside the state, above the engine only.
# Run as: cmake -DSOURCES=<path to Sources> -P CheckLayers.cmake
# A line that breaks the order is printed with what its folder may use, and the run fails.
if(NOT SOURCES)
  message(FATAL_ERROR "CheckLayers: pass -DSOURCES=<path to Sources>")
endif()

set(core OmbrixCore/Foundation OmbrixCore/Compression OmbrixCore/Crypto OmbrixCore/Kdbx)
set(allowed_OmbrixCore/Foundation OmbrixCore/Foundation)
set(allowed_OmbrixCore/Compression OmbrixCore/Foundation OmbrixCore/Compression)
set(allowed_OmbrixCore/Crypto OmbrixCore/Foundation OmbrixCore/Compression OmbrixCore/Crypto)
set(allowed_OmbrixCore/Kdbx ${core})
set(allowed_OmbrixServices/Services ${core} OmbrixServices/Services)
set(allowed_OmbrixServices/Platform ${core} OmbrixServices/Services OmbrixServices/Platform)
set(allowed_OmbrixState ${core} OmbrixServices/Services OmbrixState)
set(allowed_OmbrixTheme ${core} OmbrixTheme)
set(allowed_OmbrixUI ${core} OmbrixServices/Services OmbrixState OmbrixTheme OmbrixUI)
set(allowed_OmbrixShell ${core} OmbrixServices/Services OmbrixServices/Platform OmbrixState
  OmbrixTheme OmbrixUI OmbrixShell)
# Only the platform layer talks to the X server; only the engine stays without Qt.
set(no_system_OmbrixCore "^(Q|xcb/|X11/|xkbcommon/)")
set(no_system_other "^(xcb/|X11/|xkbcommon/)")

# The folder (layer) a path below Sources/ belongs to: the first two names below OmbrixCore and
# OmbrixServices, the first name elsewhere.
function(layer_of path out)
  string(REGEX MATCH "^(OmbrixCore|OmbrixServices)/[^/]+" layer "${path}")
  if(NOT layer)
    string(REGEX MATCH "^[^/]+" layer "${path}")
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE "${SOURCES}" "${SOURCES}/*.h" "${SOURCES}/*.cpp")
# The project's own headers, however they are included ("..." or <...>): those under a folder of
# Sources/.
file(GLOB tops LIST_DIRECTORIES true RELATIVE "${SOURCES}" "${SOURCES}/*")
set(faults 0)
foreach(file IN LISTS files)
  layer_of("${file}" layer)
  if(NOT DEFINED "allowed_${layer}")
    message(SEND_ERROR "${file}: lies in no known layer")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(STRINGS "${SOURCES}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" target "${line}")
    string(REGEX MATCH "^[^/]+" top "${target}")
    list(FIND tops "${top}" ours)
    if(line MATCHES "\"" OR (target MATCHES "/" AND NOT ours EQUAL -1))
      layer_of("${target}" used)
      list(FIND "allowed_${layer}" "${used}" found)
      if(found EQUAL -1)
        message(SEND_ERROR "${file}: includes ${target}, but ${layer} may use only: "
          "${allowed_${layer}}")
        math(EXPR faults "${faults} + 1")
      endif()
    else()
      set(rule "${no_system_other}")
      if(layer MATCHES "^OmbrixCore/")
        set(rule "${no_system_OmbrixCore}")
      elseif(layer STREQUAL "OmbrixServices/Platform")
        set(rule "")
      endif()
      if(rule AND target MATCHES "${rule}")
        message(SEND_ERROR "${file}: includes <${target}>, which ${layer} may not use")
        math(EXPR faults "${faults} + 1")
      endif()
    endif()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) break the layer order")
endif()
list(LENGTH files count)
message(STATUS "Layers hold: ${count} files include only from below")
