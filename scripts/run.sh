#!/usr/bin/env bash
# Sets up a fresh Debian 12 desktop, builds the tool and starts it.
# With no DTU attached, choose "模拟DTU（无需硬件）" in the port list to talk to the built-in simulated DTU.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quillmere quillmere-sim
if ! ls /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
  echo "没有发现 USB 串口设备：请在“选择串口”中选择“模拟DTU（无需硬件）”，再点“打开串口”。"
fi
exec ./build/app/quillmere "$@"
