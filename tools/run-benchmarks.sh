#!/bin/sh
# Builds corvane-bench and measures CorvaneVMD twice: on plain Wine and on a
# copy of the prefix dressed as a VirtualBox guest (Guest Additions keys,
# files, folder and service process).  Writes one JSON report per machine,
# the host's conditions, and the tables of docs/performance.md
# (benchmarks.md) into the output folder; then what `corvane-vmd survey`
# costs per machine profile, and its memory over 20,000 of them
# (tools/survey-benchmark.py), and what reading three crafted profiles near
# the size cap costs (tools/profile-reader-benchmark.py).  First of all, the
# DLL's image: its size stripped, its imports, and LoadLibrary to FreeLibrary
# under Wine, for the built DLL and, with --before-dll, another build of it to
# compare with.  Not part of the test suite.
#
#   tools/run-benchmarks.sh [--quick] [--survey-only] [--image-only] [--before-dll DLL] [--build DIR] [--out DIR]
#                           [-- corvane-bench options...]
#
#   --quick        few repetitions: checks that everything runs, numbers are rough
#   --survey-only  only the survey (and the image)
#   --image-only   only the DLL's image
#   --before-dll   an earlier CorvaneVMD.dll, whose image is measured alike
set -eu
cd "$(dirname "$0")/.."

build=build
out=""
quick=0
survey_only=0
image_only=0
before_dll=""
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --survey-only) survey_only=1 ;;
    --image-only) image_only=1 ;;
    --before-dll) before_dll=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift ;;
    --build) build=$2; shift ;;
    --out) out=$2; shift ;;
    --) shift; break ;;
    *) echo "usage: $0 [--quick] [--survey-only] [--image-only] [--before-dll DLL] [--build DIR] [--out DIR]" \
            "[-- corvane-bench options...]" >&2; exit 2 ;;
  esac
  shift
done
out=${out:-$build/bench/results}
bench_options="$*"
[ $quick -eq 1 ] && bench_options="--first-call-runs 3 --steady-pairs 20 --check-repetitions 3 $bench_options"

[ -f "$build/CMakeCache.txt" ] || cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" --target corvane-bench corvane-shipped-dll sleeper corvane-vmd
mkdir -p "$out"
survey_profiles=20000
[ $quick -eq 1 ] && survey_profiles=2000

build_path=$(cd "$build" && pwd)  # Wine wants an absolute prefix, whatever --build was
plain_prefix=$build_path/wine/prefix
guest_prefix=$build_path/wine/bench-virtualbox
export WINEDEBUG=-all

# Every Wine program runs detached from our terminal's streams: Wine's
# service processes must not hold a pipe of whoever started us.
in_prefix() { WINEPREFIX=$1; shift; WINEPREFIX=$WINEPREFIX "$@" </dev/null >/dev/null 2>&1; }

run_bench() {  # LABEL PREFIX
  echo "corvane-bench on $1..."
  # shellcheck disable=SC2086
  WINEPREFIX=$2 wine "$build/bench/corvane-bench.exe" --dll "$build/CorvaneVMD.dll" --label "$1" \
    --out "$out/$1.json" $bench_options </dev/null
}

host_conditions() {  # MOMENT
  printf '"%s": {"loadAverage": "%s", "date": "%s"}' "$1" "$(cut -d' ' -f1-3 /proc/loadavg)" "$(date -u +%Y-%m-%dT%H:%M:%SZ)"
}

started=$(host_conditions start)
runs=""
load_cycles=2000
[ $quick -eq 1 ] && load_cycles=50

# image LABEL DLL: the DLL stripped as the release ships it, its imports, and its
# load and unload timed by corvane-bench.
image() {
  echo "the image of $2..."
  objcopy=x86_64-w64-mingw32-objcopy
  SOURCE_DATE_EPOCH=0 $objcopy --strip-all "$2" "$out/$1.stripped.dll"
  WINEPREFIX=$plain_prefix wine "$build/bench/corvane-bench.exe" --dll "$out/$1.stripped.dll" --load-cycles $load_cycles \
    --label "$1" --out "$out/$1.load.json" </dev/null
  python3 tools/check-dll-image.py --describe "$out/$1.stripped.dll" "$out/$1.load.json" >"$out/image-$1.json"
  runs="$runs $out/image-$1.json"
}

# Plain Wine: the image, then the survey there.
tools/wine-prefix.sh start "$plain_prefix"
[ -z "$before_dll" ] || image before "$before_dll"
image after "$build/CorvaneVMD.dll"
if [ $image_only -eq 1 ]; then
  survey_only=2
fi
if [ $survey_only -eq 0 ]; then
  run_bench plain-wine "$plain_prefix"
  runs="$runs $out/plain-wine.json $out/virtualbox-guest.json"
fi
survey=""
reader=""
if [ $survey_only -ne 2 ]; then
  echo "corvane-vmd survey over $survey_profiles profiles..."
  WINEPREFIX=$plain_prefix python3 tools/survey-benchmark.py --run wine --exe "$build/cli/corvane-vmd.exe" \
    --profiles $survey_profiles --out "$out/survey.json" >/dev/null
  survey=$out/survey.json
  echo "corvane-vmd replay on three crafted profiles near the size cap..."
  WINEPREFIX=$plain_prefix python3 tools/profile-reader-benchmark.py --run wine --exe "$build/cli/corvane-vmd.exe" \
    --out "$out/profile-reader.json" >/dev/null
  reader=$out/profile-reader.json
fi
tools/wine-prefix.sh stop "$plain_prefix"
WINEPREFIX=$plain_prefix wineserver -w || true

if [ $survey_only -eq 0 ]; then
# A VirtualBox guest: a copy of the plain prefix with the Guest Additions'
# registry keys, driver files, installation folder and service process.
rm -rf "$guest_prefix"
cp -a "$plain_prefix" "$guest_prefix"
tools/wine-prefix.sh start "$guest_prefix"
for key in 'HKLM\SOFTWARE\Oracle\VirtualBox Guest Additions' 'HKLM\SYSTEM\ControlSet001\Services\VBoxGuest' \
           'HKLM\SYSTEM\ControlSet001\Services\VBoxMouse' 'HKLM\SYSTEM\ControlSet001\Services\VBoxService' \
           'HKLM\SYSTEM\ControlSet001\Services\VBoxSF'; do
  in_prefix "$guest_prefix" wine reg add "$key" /f
done
system32=$guest_prefix/drive_c/windows/system32
for driver in VBoxMouse VBoxGuest VBoxSF VBoxVideo; do : >"$system32/drivers/$driver.sys"; done
mkdir -p "$guest_prefix/drive_c/Program Files/Oracle/VirtualBox Guest Additions"
cp "$build/bench/sleeper.exe" "$system32/vboxservice.exe"
cp "$build/bench/sleeper.exe" "$system32/VBoxControl.exe"
WINEPREFIX=$guest_prefix wine 'C:\windows\system32\vboxservice.exe' 7200 </dev/null >/dev/null 2>&1 &
sleep 3  # the service process is listed
run_bench virtualbox-guest "$guest_prefix"
tools/wine-prefix.sh stop "$guest_prefix"
fi

finished=$(host_conditions finish)
cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -1)
cat >"$out/host.json" <<EOF
{"cpu": "$cpu", "cores": $(nproc), "kernel": "$(uname -r)", "wine": "$(wine --version)", $started, $finished}
EOF

# shellcheck disable=SC2086
python3 tools/benchmark-report.py "$out/host.json" $runs $survey $reader >"$out/benchmarks.md"
cat "$out/benchmarks.md"
echo "reports: $runs $survey $reader $out/host.json $out/benchmarks.md"
