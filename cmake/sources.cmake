# SPDX-License-Identifier: MIT
# The library's sources, by subsystem.
set(PELC_SOURCES
  src/platform/hooks.cpp
  src/core/header.cpp
  src/core/verify_message.cpp
  src/core/palette.cpp
  src/core/memory.cpp
  src/core/image.cpp
  src/core/temp_image.cpp
)
if(WIN32)
  list(APPEND PELC_SOURCES src/platform/win32.cpp)
else()
  list(APPEND PELC_SOURCES src/platform/posix.cpp)
endif()
