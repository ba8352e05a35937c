#!/usr/bin/env bash
# Seeded-fault check: applies each fault of tools/mutation-faults.txt, one at
# a time, to a copy of a tree, rebuilds incrementally, runs the tests and says
# for each fault whether a test caught it.  Slow (a few minutes a fault); not
# part of CI.  See README.md, "Development".
#
#   tools/mutation-test.sh [options] [TREE]
#
#   TREE         the source tree to test, committed or not (default: this repo)
#   -k NAME      run only this fault (may be given more than once)
#   -f FILE      fault list (default: mutation-faults.txt next to this script)
#   -w DIR       work folder: the copy and its build (default: TREE/build/mutation)
#   -l           list the faults and exit
#
# Environment: MUTATION_TESTS, a ctest -R regex of the tests to run;
# MUTATION_TARGETS, the build targets they need; MUTATION_TIMEOUT, seconds a
# test may take.  The exit status is 0 only when every fault was applied,
# built and caught.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
faults_file="$here/mutation-faults.txt"
tree=""
work=""
only=()
list_only=0

while getopts "k:f:w:lh" option; do
  case "$option" in
    k) only+=("$OPTARG") ;;
    f) faults_file=$OPTARG ;;
    w) work=$OPTARG ;;
    l) list_only=1 ;;
    *) sed -n '2,19p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
tree=$(cd "${1:-$here/..}" && pwd)
work=${work:-$tree/build/mutation}
[ -f "$faults_file" ] || { echo "no fault list: $faults_file" >&2; exit 2; }

tests=${MUTATION_TESTS:-'^(unit|bench_baseline|wine|exports_e2e|exception_host|exception_c_host|com_host_after|dll_binary_check|dll_image_rules|header_compiles|package_zip|docs_synopsis|realworld_converter)$'}
targets=${MUTATION_TARGETS:-'corvane-shipped-dll corvane_unit_tests corvane_bench_tests corvane_wine_tests exports_e2e exception_host exception_c_host com_host release'}
timeout=${MUTATION_TIMEOUT:-300}

# ccache, when it is installed, makes the first build of the copy cheap; its
# own settings (CCACHE_DIR, ...) are the caller's.  Without it the compiler
# runs directly.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$tree} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
export WINEDEBUG=-all
# The copy has no history (and a work folder outside the tree no repository
# around it): the release step dates its zips from the tree's last commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$tree" log -1 --format=%ct 2>/dev/null || date +%s)
  export SOURCE_DATE_EPOCH
fi
started=$(date +%s)

# faults.py: the fault list's reader.  "names" prints the names in order;
# "show NAME" its file and description; "own NAME" the tests and targets it
# needs beyond the defaults, a line each; "apply NAME DIR" edits the copy.
faults() {
  python3 - "$faults_file" "$@" <<'PY'
import re, sys

def read(path):
    """Records: a [name] line, then 'key: value' lines; repeated find/replace
    lines are lines of one text.  '#' starts a comment line."""
    faults, current = [], None
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        header = re.fullmatch(r"\[([\w.-]+)\]\s*", line)
        if header:
            current = {"name": header.group(1), "find": [], "replace": []}
            faults.append(current)
            continue
        key, sep, value = line.partition(":")
        key = key.strip()
        if current is None or not sep or key not in ("file", "about", "find", "replace", "tests", "targets"):
            sys.exit(f"{path}:{number}: not a fault line: {line.rstrip()}")
        value = value.strip()
        if key in ("find", "replace"):
            current[key].append(value)
        else:
            current[key] = value
    names = [f["name"] for f in faults]
    for f in faults:
        if not all(k in f for k in ("file", "about")) or not f["find"]:
            sys.exit(f"{path}: fault {f['name']} needs file, about and find")
        if names.count(f["name"]) > 1:
            sys.exit(f"{path}: fault {f['name']} is listed twice")
    return faults

faults = read(sys.argv[1])
command = sys.argv[2]
if command == "names":
    print("\n".join(f["name"] for f in faults))
    sys.exit(0)
fault = next((f for f in faults if f["name"] == sys.argv[3]), None)
if fault is None:
    sys.exit(f"no fault named {sys.argv[3]}")
if command == "show":
    print(f"{fault['file']}\t{fault['about']}")
    sys.exit(0)
if command == "own":
    print(fault.get("tests", ""))
    print(fault.get("targets", ""))
    sys.exit(0)

# apply: the find text must occur exactly once; a run of white space in it
# matches any run of white space (line breaks included) in the source.
path = f"{sys.argv[4]}/{fault['file']}"
try:
    source = open(path, encoding="utf-8", newline="").read()
except FileNotFoundError:
    print(f"{fault['file']} does not exist"); sys.exit(3)
tokens = " ".join(fault["find"]).split()
pattern = re.compile(r"\s+".join(re.escape(t) for t in tokens))
hits = pattern.findall(source)
if len(hits) != 1:
    print(f"the text to change occurs {len(hits)} times in {fault['file']}"); sys.exit(3)
replacement = "\n".join(fault["replace"])
open(path, "w", encoding="utf-8", newline="").write(pattern.sub(lambda m: replacement, source, count=1))
PY
}

mapfile -t all_names < <(faults names)
if [ "$list_only" = 1 ]; then
  for name in "${all_names[@]}"; do printf '%-28s %s\n' "$name" "$(faults show "$name" | cut -f2)"; done
  exit 0
fi
names=("${all_names[@]}")
if [ ${#only[@]} -gt 0 ]; then
  names=("${only[@]}")
  for name in "${names[@]}"; do faults show "$name" >/dev/null; done
fi

copy="$work/tree"
pristine="$work/pristine"
logs="$work/logs"
results="$work/results.tsv"
mkdir -p "$work" "$logs"

# A copy of the tree as it stands, uncommitted changes included; the build
# folder inside the copy is kept from run to run so that every fault costs an
# incremental build.
echo "copying $tree to $copy"
rm -rf "$pristine" && mkdir -p "$pristine" "$copy"
# Build folders (build/, build-clang/, ...) stay behind, as in .gitignore.
(cd "$tree" && tar --exclude=./build --exclude='./build-*' --exclude=./.git -cf - .) | tar -xf - -C "$pristine"
# Only files that differ are copied, so the copy's build stays incremental.
python3 - "$pristine" "$copy" <<'PY'
import filecmp, os, shutil, sys
source, target = sys.argv[1:]
for root, dirs, files in os.walk(target):
    relative = os.path.relpath(root, target)
    if relative == ".":
        dirs[:] = [d for d in dirs if d != "build" and not d.startswith("build-")]
    for name in files:
        if not os.path.exists(os.path.join(source, relative, name)):
            os.remove(os.path.join(root, name))
for root, dirs, files in os.walk(source):
    relative = os.path.relpath(root, source)
    os.makedirs(os.path.join(target, relative), exist_ok=True)
    for name in files:
        a, b = os.path.join(root, name), os.path.join(target, relative, name)
        if not os.path.exists(b) or not filecmp.cmp(a, b, shallow=False):
            shutil.copyfile(a, b)  # a new time stamp: rebuilt
            shutil.copymode(a, b)
PY

(cd "$copy" && cmake --preset mingw >"$logs/configure.log" 2>&1) \
  || { echo "configure failed: $logs/configure.log" >&2; exit 2; }
prefix="$copy/build/wine/prefix"
"$copy/tools/wine-prefix.sh" start "$prefix"
trap '"$copy/tools/wine-prefix.sh" stop "$prefix"' EXIT

# build LOG [TARGET...]: the default targets and the fault's own.
build() {
  local log=$1; shift
  # shellcheck disable=SC2086
  (cd "$copy" && cmake --build build --target $targets "$@") >"$log" 2>&1
}

# run_tests LOG [TESTS]: runs the default tests and the fault's own (a regex of
# whole test names), stopping at the first failure; prints the failing ctest
# test and the first failing test cases.
run_tests() {
  local selected=$tests
  [ -z "${2:-}" ] || selected="$tests|^($2)\$"
  if (cd "$copy/build" && ctest -R "$selected" --timeout "$timeout" --stop-on-failure --output-on-failure) >"$1" 2>&1; then
    return 0
  fi
  local failed cases
  failed=$(sed -n 's/^[[:space:]]*[0-9]* - \([A-Za-z0-9_.-]*\) (.*/\1/p' "$1" | grep -v '^wine_prefix_setup$' | paste -sd, -)
  cases=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_./]*\).*/\1/p' "$1" | sort -u | head -3 | paste -sd' ' -)
  echo "${failed:-ctest}${cases:+: $cases}"
  return 1
}

echo "building the unchanged copy"
build "$logs/baseline-build.log" || { echo "the unchanged tree does not build: $logs/baseline-build.log" >&2; exit 2; }
if ! outcome=$(run_tests "$logs/baseline-tests.log"); then
  echo "the unchanged tree fails its tests ($outcome): $logs/baseline-tests.log" >&2
  exit 2
fi

caught=0 survived=0 not_applied=0 broken=0
printf 'fault\tfile\tresult\tdetail\tabout\n' >"$results"
for name in "${names[@]}"; do
  IFS=$'\t' read -r file about < <(faults show "$name")
  { read -r own_tests; read -r own_targets; } < <(faults own "$name")
  began=$(date +%s)
  if ! why=$(faults apply "$name" "$copy"); then
    result="NOT APPLIED" detail=$why
    not_applied=$((not_applied + 1))
  # shellcheck disable=SC2086
  elif ! build "$logs/$name-build.log" $own_targets; then
    result="BUILD FAILED" detail="$logs/$name-build.log"
    broken=$((broken + 1))
  elif detail=$(run_tests "$logs/$name-tests.log" "$own_tests"); then
    result="SURVIVED" detail=""
    survived=$((survived + 1))
  else
    result="caught"
    caught=$((caught + 1))
  fi
  # Back to the unchanged file; its next build recompiles it.
  cp -p "$pristine/$file" "$copy/$file" 2>/dev/null || true
  touch "$copy/$file" 2>/dev/null || true
  printf '%-12s %-28s %4ss  %s\n' "$result" "$name" $(($(date +%s) - began)) "$detail"
  printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$file" "$result" "$detail" "$about" >>"$results"
done

total=${#names[@]}
echo "faults $total: caught $caught, survived $survived, not applied $not_applied, build failed $broken" \
     "($(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s with the copy's own build and" \
     "tests; results in $results)"
[ "$caught" = "$total" ]
