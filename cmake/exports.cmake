# SPDX-License-Identifier: MIT
# The module definition file is the one list of exported names; the ELF
# version script and the export check are derived from it.

function(pelc_read_exports def out)
  file(STRINGS ${def} lines)
  set(names)
  set(inExports FALSE)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^;")
      continue()
    elseif(line STREQUAL "EXPORTS")
      set(inExports TRUE)
    elseif(inExports)
      string(REGEX REPLACE "[ \t].*$" "" name "${line}")
      list(APPEND names ${name})
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

function(pelc_write_version_script def out)
  pelc_read_exports(${def} names)
  list(JOIN names ";\n    " body)
  file(CONFIGURE OUTPUT ${out} CONTENT "{\n  global:\n    ${body};\n  local: *;\n};\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
endfunction()
