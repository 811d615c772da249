#!/usr/bin/env bash
# The main job: builds the library, runs the example program, then shows the
# pelc command on a picture it draws itself.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --native
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELC_BUILD_TESTS=OFF >/dev/null
cmake --build build/example --target make_images pelc_cli >/dev/null
build/example/bin/make_images

# The pelc command: each step is printed before it runs.
demo=build/example/demo
tool=$PWD/build/example/bin/pelc
rm -rf "$demo" && mkdir -p "$demo/batch"
pelc() {
  echo "\$ pelc $*"
  "$tool" "$@"
}
cd "$demo"
echo
pelc --version
pelc create 320x240 pattern.bmp
pelc info pattern.bmp
pelc convert 8 pattern.bmp palette8.bmp
pelc rotate 90 pattern.bmp turned.bmp
pelc rotate 30 --background '#202020' palette8.bmp tilted.bmp
pelc scale 50% pattern.bmp half.bmp
pelc hsl --hue 120 --saturation 40 pattern.bmp hue.bmp
pelc rotate -90 + scale 200x150 + gamma 1.8 + convert 565 pattern.bmp chain.bmp
pelc grey -o batch -j 2 palette8.bmp turned.bmp tilted.bmp half.bmp hue.bmp chain.bmp
# Headers the library repairs, and a file it refuses: a top-down copy (height
# -240) and a cut one.
cp pattern.bmp topdown.bmp
printf '\x10\xff\xff\xff' | dd of=topdown.bmp bs=1 seek=22 conv=notrunc status=none
head -c 1000 pattern.bmp >cut.bmp
pelc info ./*.bmp batch/hue.bmp || echo "(exit status $?: a file was refused)"
echo "made in $demo"
