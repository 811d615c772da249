# SPDX-License-Identifier: MIT
# The library's sources, one list per subsystem.

# Platform layer: the only code that talks to the OS.
set(PELC_PLATFORM_SOURCES
  src/platform/hooks.cpp
  src/platform/gdi.cpp
)
# The Windows facilities a caller exchanges with the library, stood in for
# where they are missing: a library of their own, under the Windows names.
set(PELC_WINSTUB_SOURCES
  src/platform/winstub/heap.cpp
  src/platform/winstub/gdi.cpp
)
set(PELC_PLATFORM_POSIX_SOURCES
  src/platform/posix.cpp
  src/platform/files_posix.cpp
  src/platform/library_posix.cpp
)
set(PELC_PLATFORM_WIN32_SOURCES
  src/platform/win32.cpp
  src/platform/files_win32.cpp
  src/platform/library_win32.cpp
)

# Image core.
set(PELC_CORE_SOURCES
  src/core/header.cpp
  src/core/verify_message.cpp
  src/core/palette.cpp
  src/core/memory.cpp
  src/core/image.cpp
  src/core/temp_image.cpp
  src/core/simd.cpp
)

# Image core: files, lists and file-mapped storage.
set(PELC_CORE_FILE_SOURCES
  src/core/file_mapping.cpp
  src/core/image_list.cpp
  src/core/bmp_file.cpp
)

# Image core: GDI interop, lifecycle and forwarding.
set(PELC_CORE_INTEROP_SOURCES
  src/core/gdi.cpp
  src/core/forward.cpp
)

# Colour matching.
set(PELC_COLOUR_SOURCES
  src/colour/nearest.cpp
)

# Pixel and line access.
set(PELC_PIXEL_SOURCES
  src/pixel/bits.cpp
  src/pixel/line.cpp
  src/pixel/fill.cpp
  src/pixel/copy.cpp
  src/pixel/pixel.cpp
  src/pixel/mix.cpp
)

# Bit-depth conversion.
set(PELC_CONVERT_SOURCES
  src/convert/frame.cpp
  src/convert/to_bit1.cpp
  src/convert/to_bit4.cpp
  src/convert/to_bit8.cpp
  src/convert/to_bit16.cpp
  src/convert/to_bit24.cpp
  src/convert/to_bit32.cpp
  src/convert/byte_blocks.cpp
  src/convert/vector_lines.cpp
  src/convert/wide_lines.cpp
)

# Tone adjustment.
set(PELC_TONE_SOURCES
  src/tone/tone.cpp
)

# Geometry.
set(PELC_GEOMETRY_SOURCES
  src/geometry/rotate_quarter.cpp
  src/geometry/rotate_angle.cpp
  src/geometry/scale.cpp
  src/geometry/palette_nearest.cpp
  src/geometry/mirror_border.cpp
)

set(PELC_SOURCES
  ${PELC_PLATFORM_SOURCES}
  ${PELC_CORE_SOURCES}
  ${PELC_CORE_FILE_SOURCES}
  ${PELC_CORE_INTEROP_SOURCES}
  ${PELC_COLOUR_SOURCES}
  ${PELC_PIXEL_SOURCES}
  ${PELC_CONVERT_SOURCES}
  ${PELC_TONE_SOURCES}
  ${PELC_GEOMETRY_SOURCES}
)
if(WIN32)
  list(APPEND PELC_SOURCES ${PELC_PLATFORM_WIN32_SOURCES})
else()
  list(APPEND PELC_SOURCES ${PELC_PLATFORM_POSIX_SOURCES})
endif()
