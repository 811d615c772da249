#!/usr/bin/env bash
# The installed product: installs the native release build and both Windows
# DLLs into temporary prefixes, checks what was installed (SONAME, exported
# names, imported DLLs, version resource, relocatable package files), builds
# and runs programs against it from outside the source tree (find_package and
# pkg-config; the 64-bit Windows ones under wine), then makes the .deb
# packages (installed with dpkg into a scratch root) and the zips and builds
# against their contents.
# Installs from the build trees of the presets release, mingw-x86_64 and
# mingw-i686 when they exist (as after the other legs); otherwise from lean
# trees of its own (build/install-<preset>: library, tools, no tests).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(pelc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
major=${version%%.*}
[[ -n "$version" ]] || { echo "test-install: no project version" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pelc-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)

fail() {
  echo "test-install: $*" >&2
  exit 1
}
step() { echo "-- $*"; }
quiet() { # runs a command, showing its output only when it fails
  local log=$work/last.log
  "$@" >"$log" 2>&1 || { tail -n 40 "$log"; fail "failed: $*"; }
}

declare -A trees
prepare_tree() { # preset [cmake arguments of a lean tree]
  local preset=$1 tree
  shift
  if [[ -f build/$preset/CMakeCache.txt ]]; then
    tree=build/$preset
  else
    tree=build/install-$preset
    [[ -f $tree/CMakeCache.txt ]] ||
      quiet cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELC_WERROR=ON \
        -DPELC_BUILD_TESTS=OFF -DPELC_BUILD_EXAMPLES=OFF "$@"
  fi
  quiet cmake --build "$tree" -j "$jobs"
  trees[$preset]=$tree
}

expect_files() { # dir file...
  local dir=$1 f
  shift
  for f in "$@"; do
    [[ -e "$dir/$f" ]] || fail "missing from $dir: $f"
  done
}

check_exports() { # library tool
  quiet cmake -DLIB="$1" -DDEF="$root/src/pelc.def" -DTOOL="$2" -P "$root/cmake/check_exports.cmake"
}

# Package files must find the installed tree from their own place.
check_relocatable() { # prefix
  if grep -rl -- "$1" "$1/lib/cmake" "$1/lib/pkgconfig"; then
    fail "absolute install paths in the package files above"
  fi
}

# find_package(pelc 1) with a C and a C++ program; a major version the
# package does not have is refused.
consumers_cmake() { # name prefix [cmake args...]
  local name=$1 prefix=$2
  shift 2
  quiet cmake -S tests/consumer -B "$work/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DPELC_EXPECTED_VERSION="$version" "$@"
  quiet cmake --build "$work/$name"
  if cmake -S tests/consumer -B "$work/$name-major" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DPELC_WANTED_MAJOR=$((major + 1)) "$@" >/dev/null 2>&1; then
    fail "find_package accepted major version $((major + 1))"
  fi
}

# pkg-config alone, as a Makefile would use it.
consumer_pkgconfig() { # compiler prefix output [flags...]
  local cc=$1 prefix=$2 out=$3 flags
  shift 3
  [[ "$(PKG_CONFIG_PATH='' PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --modversion pelc)" == "$version" ]] ||
    fail "pkg-config does not report $version for $prefix"
  flags=$(PKG_CONFIG_PATH='' PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" pkg-config --cflags --libs pelc)
  # shellcheck disable=SC2086
  quiet "$cc" -std=c11 -Wall -Wextra -Werror tests/consumer/consumer.c -o "$out" $flags "$@"
}

run_wine() { # dll dir, program
  local path
  path="Z:${1//\//\\}"
  WINEPATH="$path" wine "$2" || fail "under wine: $2"
}

linux_checks() {
  local prefix=$work/linux lib
  step "native: install, library files"
  prepare_tree release
  quiet cmake --install "${trees[release]}" --prefix "$prefix"
  expect_files "$prefix" include/pelc.h include/pelc.hpp include/pelc_version.h include/pelc_winstub.h \
    lib/cmake/pelc/pelcConfig.cmake lib/cmake/pelc/pelcConfigVersion.cmake \
    lib/pkgconfig/pelc.pc lib/pkgconfig/pelc-winstub.pc share/doc/pelc/LICENSE share/doc/pelc/guide.md
  for lib in pelc pelc_winstub; do
    [[ "$(readlink "$prefix/lib/lib$lib.so")" == "lib$lib.so.$major" ]] || fail "lib$lib.so link"
    [[ "$(readlink "$prefix/lib/lib$lib.so.$major")" == "lib$lib.so.$version" ]] || fail "lib$lib.so.$major link"
    readelf -d "$prefix/lib/lib$lib.so.$version" | grep -q "SONAME.*\[lib$lib.so.$major\]" ||
      fail "lib$lib.so.$version: SONAME is not lib$lib.so.$major"
  done
  check_exports "$prefix/lib/libpelc.so.$version" nm
  check_relocatable "$prefix"

  step "native: find_package and pkg-config consumers"
  consumers_cmake linux-cmake "$prefix"
  # With the run path CMake gives the programs alone: libpelc has to find
  # libpelc_winstub beside itself.
  for program in consumer_c consumer_cpp; do
    env -u LD_LIBRARY_PATH "$work/linux-cmake/$program" ||
      fail "$program against $prefix (does libpelc.so.$major find the libraries beside it?)"
  done
  mv "$prefix" "$prefix-moved"
  consumer_pkgconfig cc "$prefix-moved" "$work/consumer_pc"
  LD_LIBRARY_PATH="$prefix-moved/lib" "$work/consumer_pc" || fail "consumer_pc"
}

windows_checks() { # arch
  local arch=$1 prefix=$work/win-$1 dll imports field
  local tool=$arch-w64-mingw32-objdump
  step "$arch DLL: install, library files"
  prepare_tree "mingw-$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake"
  quiet cmake --install "${trees[mingw-$arch]}" --prefix "$prefix"
  expect_files "$prefix" bin/pelc.dll lib/libpelc.dll.a lib/pelc.def include/pelc.h include/pelc.hpp \
    include/pelc_version.h lib/cmake/pelc/pelcConfig.cmake lib/pkgconfig/pelc.pc \
    share/doc/pelc/LICENSE share/doc/pelc/guide.md
  dll=$prefix/bin/pelc.dll
  check_exports "$dll" "$tool"
  # The runtime is linked in: only Windows' own DLLs may be imported.
  imports=$("$tool" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [[ -n "$imports" ]] || fail "$dll: no import table"
  if grep -viE '^(kernel32|user32|gdi32|msvcrt)\.dll$|^api-ms-win-' <<<"$imports"; then
    fail "$dll imports the DLLs above"
  fi
  for field in FileVersion ProductVersion; do
    [[ "$(strings -el "$dll" | grep -A1 -x "$field" | sed -n 2p)" == "$version" ]] ||
      fail "$dll: version resource $field is not $version"
  done
  [[ "$(strings -el "$dll" | grep -A1 -x OriginalFilename | sed -n 2p)" == pelc.dll ]] ||
    fail "$dll: version resource OriginalFilename"
  check_relocatable "$prefix"

  step "$arch DLL: find_package and pkg-config consumers"
  consumers_cmake "win-$arch-cmake" "$prefix" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake"
  consumer_pkgconfig "$arch-w64-mingw32-gcc-posix" "$prefix" "$work/consumer_pc_$arch.exe"
  if [[ $arch == x86_64 ]]; then
    # Against the installed DLL: none lies beside the programs.
    run_wine "$prefix/bin" "$work/win-$arch-cmake/consumer_c.exe"
    run_wine "$prefix/bin" "$work/win-$arch-cmake/consumer_cpp.exe"
    run_wine "$prefix/bin" "$work/consumer_pc_$arch.exe"
  fi
}

deb_checks() {
  local dir=${trees[release]}/packages deb_root=$work/deb-root arch runtime dev
  step "native: .deb packages"
  rm -rf "$dir"
  (cd "${trees[release]}" && quiet cpack -G DEB)
  arch=$(dpkg --print-architecture)
  runtime=$dir/libpelc${major}_${version}_$arch.deb
  dev=$dir/libpelc-dev_${version}_$arch.deb
  expect_files . "$runtime" "$dev"
  dpkg-deb -c "$runtime" >"$work/runtime.list"
  dpkg-deb -c "$dev" >"$work/dev.list"
  for f in usr/lib/libpelc.so.$version usr/lib/libpelc.so.$major usr/lib/libpelc_winstub.so.$major \
    usr/share/doc/pelc/LICENSE; do
    grep -q " \./$f\( \|$\)" "$work/runtime.list" || fail "libpelc$major lacks /$f"
  done
  for f in usr/lib/libpelc.so usr/include/pelc.h usr/include/pelc.hpp usr/include/pelc_version.h \
    usr/lib/cmake/pelc/pelcConfig.cmake usr/lib/pkgconfig/pelc.pc usr/share/doc/pelc/guide.md; do
    grep -q " \./$f\( \|$\)" "$work/dev.list" || fail "libpelc-dev lacks /$f"
  done
  dpkg-deb -f "$dev" Depends | grep -q "libpelc$major (= $version)" || fail "libpelc-dev Depends"
  # dpkg installs both into a scratch root with a database of its own (the
  # system libraries they depend on live outside it), and lists their files.
  mkdir -p "$deb_root/var/lib/dpkg/updates" "$deb_root/var/lib/dpkg/info" "$deb_root/var/lib/dpkg/triggers"
  : >"$deb_root/var/lib/dpkg/status"
  quiet dpkg --root="$deb_root" --force-depends --force-not-root --no-triggers --log=/dev/null \
    -i "$runtime" "$dev"
  dpkg --root="$deb_root" -L "libpelc$major" | grep -qx "/usr/lib/libpelc.so.$version" ||
    fail "dpkg -L libpelc$major does not list /usr/lib/libpelc.so.$version"
  dpkg --root="$deb_root" -L libpelc-dev | grep -qx /usr/lib/cmake/pelc/pelcConfig.cmake ||
    fail "dpkg -L libpelc-dev does not list the CMake package"
  consumers_cmake deb-cmake "$deb_root/usr"
  LD_LIBRARY_PATH="$deb_root/usr/lib" "$work/deb-cmake/consumer_cpp" || fail "consumer_cpp of the .deb"
  consumer_pkgconfig cc "$deb_root/usr" "$work/consumer_deb"
  LD_LIBRARY_PATH="$deb_root/usr/lib" "$work/consumer_deb" || fail "consumer_deb"
}

zip_checks() { # arch
  local arch=$1 tree=${trees[mingw-$1]} name zip
  local dir=$tree/packages
  step "$arch DLL: zip"
  rm -rf "$dir"
  (cd "$tree" && quiet cpack -G ZIP)
  name=pelc-$version-windows-$arch
  zip=$dir/$name.zip
  expect_files . "$zip"
  mkdir -p "$work/zip-$arch"
  (cd "$work/zip-$arch" && cmake -E tar xf "$root/$zip")
  expect_files "$work/zip-$arch/$name" bin/pelc.dll lib/libpelc.dll.a lib/pelc.def include/pelc.h \
    include/pelc.hpp include/pelc_version.h lib/cmake/pelc/pelcConfig.cmake lib/pkgconfig/pelc.pc \
    share/doc/pelc/LICENSE share/doc/pelc/README.md share/doc/pelc/guide.md
  consumer_pkgconfig "$arch-w64-mingw32-gcc-posix" "$work/zip-$arch/$name" "$work/consumer_zip_$arch.exe"
  if [[ $arch == x86_64 ]]; then
    run_wine "$work/zip-$arch/$name/bin" "$work/consumer_zip_$arch.exe"
  fi
}

linux_checks
deb_checks
for arch in x86_64 i686; do
  windows_checks "$arch"
  zip_checks "$arch"
done
echo "test-install: ok"
