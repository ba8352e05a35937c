#!/bin/bash
# Runs the shipped CorvaneVMD.dll in a Wine prefix dressed as one VM guest and
# checks the answer of every check of every detector.
#
#   run-dressed.sh template    make the ready prefix that every run copies
#   run-dressed.sh PRODUCT     plain, virtualbox, vmware, parallels, qemu, hyperv, xen
#
# A product is described by products/PRODUCT.sh: its machine (network adapters,
# SMBIOS strings, memory size, ACPI tables), its guest dressing (registry,
# files, folders, devices, guest tool processes, pipes, windows, network
# provider) and what the explanation must show.  The prefix is a copy of the
# template; the machine is made inside a private network and mount namespace
# in which the prefix's wineserver, its services and the tools all run, so
# the adapters and SMBIOS strings are what Wine shows them.
#
# Environment (set by ctest): E2E_CLI (corvane-vmd.exe), E2E_HOST (the
# firmware host, beside CorvaneVMD.dll), E2E_HELPER_DIR (helper programs),
# E2E_WINE_DIR (prefixes), E2E_FIRMWARE_DIR (firmware fixtures).  E2E_KEEP=1
# keeps the prefix; the outputs stay in E2E_WINE_DIR/PRODUCT.work.
# Needs root (namespaces), unshare, ip, jq, iconv and Wine.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
product=${1:?usage: run-dressed.sh template|PRODUCT}
: "${E2E_CLI:?}" "${E2E_HOST:?}" "${E2E_HELPER_DIR:?}" "${E2E_WINE_DIR:?}" "${E2E_FIRMWARE_DIR:?}"
export WINEDEBUG=-all
template=$E2E_WINE_DIR/template
prefix=$E2E_WINE_DIR/$product
work=$E2E_WINE_DIR/$product.work
export WINEPREFIX=$prefix

say() { printf '%s\n' "$*"; }
# Elapsed time of each phase, counted from the start of the outer run.
export E2E_STARTED=${E2E_STARTED:-$(date +%s%N)}
phase() {
    local tenths=$((($(date +%s%N) - E2E_STARTED) / 100000000))
    say "[$(printf '%3d.%d' $((tenths / 10)) $((tenths % 10)))s] $*"
}
die() { printf 'run-dressed: %s\n' "$*" >&2; exit 2; }

# Every Wine program runs with its standard streams detached or redirected to
# files: a service process that inherits ctest's pipe keeps ctest waiting.
quietly() { "$@" </dev/null >/dev/null 2>&1; }

# ---------------------------------------------------------------- template
make_template() {
    [ -f "$template/system.reg" ] && return 0
    local fresh=$template.new
    rm -rf "$fresh"
    mkdir -p "$E2E_WINE_DIR"
    WINEPREFIX=$fresh quietly wineboot -i
    # Wine's null display driver: top-level windows without a display.
    WINEPREFIX=$fresh quietly wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    WINEPREFIX=$fresh quietly wineserver -w
    mv "$fresh" "$template"
}

# ------------------------------------------------ the machine (namespace side)
nic_count=0
acpi_tables=()
memory_mib=""
hide_wine=0

# nic NAME MAC: a network adapter; Wine lists it with NAME as description.
nic() {
    ip link add "$1" type bridge
    ip link set "$1" address "$2"
    ip link set "$1" up
    nic_count=$((nic_count + 1))
}

# smbios FIELD=VALUE...: the DMI strings Wine builds its SMBIOS table from.
# Wine reads them by position, so every field must be given and not empty.
smbios_fields=(bios_vendor bios_version bios_date sys_vendor product_name product_version product_serial
               product_sku product_family board_vendor board_name board_version board_serial board_asset_tag
               chassis_vendor chassis_type chassis_version chassis_serial chassis_tag)
smbios() {
    local dir=$work/dmi/dmi/id pair field
    mkdir -p "$dir"
    for pair in "$@"; do
        printf '%s\n' "${pair#*=}" >"$dir/${pair%%=*}"
    done
    for field in "${smbios_fields[@]}"; do
        [ -n "$(cat "$dir/$field" 2>/dev/null)" ] || die "smbios: $field missing or empty"
    done
    mount -t overlay overlay -o "lowerdir=$work/dmi:/sys/class" /sys/class
}

# no_smbios: a machine without DMI strings (this machine's own stay hidden).
no_smbios() {
    if [ -d /sys/class/dmi/id ]; then mount -t tmpfs none /sys/class/dmi/id; fi
}

# memory MIB: the physical memory size Wine reports.
memory() { memory_mib=$1; }

# acpi FILE...: raw ACPI tables (under the firmware fixtures) served to the
# library in the firmware host's process.
acpi() {
    local file
    mkdir -p "$work/acpi"
    # Numbered, since the host lists them in file name order.
    for file in "$@"; do
        acpi_tables+=("$file")
        cp "$E2E_FIRMWARE_DIR/$file" "$work/acpi/$(printf '%02d' ${#acpi_tables[@]})-$(basename "$file")"
    done
}

# hide_wine: the library sees no sign of Wine (the firmware host hides the
# kernel32 export and the HKCU\Software\Wine key from it).
hide_wine() { hide_wine=1; }

# ------------------------------------------------ the guest (Wine side)
regfile=""
volatile_keys=()
tool_logs=()

# volatile_key KEY: an HKLM key below HARDWARE, volatile like Windows' own.
volatile_key() { volatile_keys+=("$1"); }

reg_escape() { local text=${1//\\/\\\\}; printf '%s' "${text//\"/\\\"}"; }
utf16_hex() { iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//; s/,$//'; }

# reg_key HKLM\...|HKCU\...: the key the following values go to.
reg_key() {
    local key=$1
    key=${key/#HKLM\\/HKEY_LOCAL_MACHINE\\}
    key=${key/#HKCU\\/HKEY_CURRENT_USER\\}
    printf '\n[%s]\n' "$key" >>"$regfile"
}
reg_sz() { printf '"%s"="%s"\n' "$(reg_escape "$1")" "$(reg_escape "$2")" >>"$regfile"; }
reg_expand_sz() { printf '"%s"=hex(2):%s\n' "$(reg_escape "$1")" "$(printf '%s\0' "$2" | utf16_hex)" >>"$regfile"; }
reg_multi_sz() {
    local name=$1
    shift
    printf '"%s"=hex(7):%s\n' "$(reg_escape "$name")" "$( (printf '%s\0' "$@"; printf '\0') | utf16_hex)" >>"$regfile"
}

# disk_hardware_id BUS\DEVICE\INSTANCE ID...: a disk drive SetupAPI lists.
disk_hardware_id() {
    local device=$1
    shift
    reg_key "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$device"
    reg_sz ClassGUID '{4d36e967-e325-11ce-bfc1-08002be10318}'
    reg_multi_sz HardwareID "$@"
}

# file PATH / folder PATH: under drive_c.
file() { mkdir -p "$(dirname "$prefix/drive_c/$1")"; : >"$prefix/drive_c/$1"; }
folder() { mkdir -p "$prefix/drive_c/$1"; }

# device NAME: \\.\NAME opens (Wine needs the link's name in lower case).
device() { ln -s /dev/null "$prefix/dosdevices/${1,,}"; }

# tool PATH [guest_tool options]: a running guest tool process named after
# PATH (under drive_c), optionally serving pipes and a window.
tool() {
    local path=$1
    shift
    mkdir -p "$(dirname "$prefix/drive_c/$path")"
    cp "$E2E_HELPER_DIR/e2e_guest_tool.exe" "$prefix/drive_c/$path"
    local log=$work/tool-${#tool_logs[@]}.log
    wine "$prefix/drive_c/$path" "$@" </dev/null >"$log" 2>&1 &
    tool_logs+=("$log")
}

# network_provider SERVICE NAME PATH: a provider DLL at PATH under the
# Windows folder that answers for the shared folders' network type under the
# name NAME.
network_provider() {
    mkdir -p "$(dirname "$prefix/drive_c/windows/$3")"
    cp "$E2E_HELPER_DIR/e2e_network_provider.dll" "$prefix/drive_c/windows/$3"
    reg_key 'HKLM\SYSTEM\CurrentControlSet\Control\NetworkProvider\Order'
    reg_sz ProviderOrder "$1"
    reg_key "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$1\\NetworkProvider"
    reg_sz Name "$2"
    reg_expand_sz ProviderPath "%SystemRoot%\\${3//\//\\}"
}

apply_guest_registry() {
    if [ ${#volatile_keys[@]} -gt 0 ]; then
        wine "$E2E_HELPER_DIR/e2e_volatile_keys.exe" "${volatile_keys[@]}" </dev/null >"$work/volatile.log" 2>&1 ||
            die "volatile keys: $(cat "$work/volatile.log")"
    fi
    [ "$(wc -l <"$regfile")" -gt 1 ] || return 0
    # UTF-16 with a byte order mark: Wine reads the hex(2) and hex(7) data of
    # any other file as 8-bit text.
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$regfile"; } >"$regfile.utf16"
    quietly wine regedit /S "Z:${regfile//\//\\}.utf16" || die "regedit $regfile"
}

wait_for_tools() {
    local log tries
    for log in "${tool_logs[@]}"; do
        for ((tries = 0; tries < 300; tries++)); do
            grep -q ready "$log" 2>/dev/null && break
            sleep 0.1
        done
        grep -q ready "$log" || die "a guest tool did not start: $(cat "$log")"
    done
}

# ------------------------------------------------ expectations
expected_verdict=""
expected_gate=""
expected_decider=""
declare -A expected_signs=()

# verdict TYPE NAME, gate STEP, decided_by DETECTOR.CHECK
verdict() { expected_verdict="$2 (type $1)"; }
gate() { expected_gate=$1; }
decided_by() { expected_decider=$1; }
# sign DETECTOR.CHECK [KIND=VALUE]...: the check finds a sign and notes
# (at least) these artefacts.  Every check not named must find none.
sign() {
    local check=$1 artefact
    shift
    expected_signs[$check]=""
    for artefact in "$@"; do expected_signs[$check]+="$artefact"$'\n'; done
}

# What Wine itself shows to every detection: a BIOS serial of "0", none of
# these WMI hardware classes, and (unless hidden) its own two signs.
wine_general_signs() {
    sign GeneralDetection.checkBiosSerialNumber 'WMI class=Win32_BIOS' 'WMI value=0'
    local class
    for class in CacheMemory:Win32_CacheMemory SmbiosMemory:Win32_SMBIOSMemory CimMemory:CIM_Memory \
                 PhysicalConnector:CIM_PhysicalConnector Slot:CIM_Slot; do
        sign "GeneralDetection.check${class%%:*}Count" "WMI class=${class#*:}"
    done
}
wine_detector_signs() {
    sign WineDetection.checkLibraryExports 'export=kernel32.dll!wine_get_unix_file_name'
    sign WineDetection.checkRegistryKeys 'registry key=HKCU\SOFTWARE\Wine'
}

assertions=0
failures=0
pass() { assertions=$((assertions + 1)); say "ok    $1"; }
fail() { assertions=$((assertions + 1)); failures=$((failures + 1)); say "FAIL  $1"; }
equal() { if [ "$1" = "$2" ]; then pass "$3"; else fail "$3 (got: $1)"; fi; }

assert_outcome() {
    local plain_status=$1 plain_output=$2 explain_status=$3 json=$4
    equal "$plain_output" "$expected_verdict" "corvane-vmd says $expected_verdict"
    equal "$plain_status" 0 "corvane-vmd exits with 0 for a recognised product"
    equal "$explain_status" 0 "corvane-vmd --explain --json exits with 0"
    jq -e . "$json" >/dev/null || { fail "the explanation is JSON"; return; }

    equal "$(jq -r '"\(.verdict.name) (type \(.verdict.type))"' "$json")" "$expected_verdict" \
        "the explanation's verdict is $expected_verdict"
    equal "$(jq -r '"\(.detectVM.name) (type \(.detectVM.type))"' "$json")" "$expected_verdict" \
        "the explanation shows DetectVM's answer $expected_verdict"
    equal "$(jq -r .agrees "$json")" true "the explanation agrees with DetectVM"
    equal "$(jq -r .gate "$json")" "$expected_gate" "the gate is opened by $expected_gate"
    equal "$(jq -r .decidedBy "$json")" "$expected_decider" "the verdict is decided by $expected_decider"
    # DetectVM asks the product detectors in order up to the one that decides.
    local asked
    asked=$(jq -r --arg winner "${expected_decider%%.*}" '[.detectors[] | select(.role == "product")] |
        (map(.detector) | index($winner)) as $last | to_entries | map("\(.value.detector)=\(.value.asked == (.key <= $last))") | join(" ")' "$json")
    equal "$asked" "$(sed 's/=[a-z]*/=true/g' <<<"$asked")" "DetectVM asks the detectors up to ${expected_decider%%.*} and no further"

    # One line per check: DETECTOR.CHECK <tab> true|false <tab> KIND=VALUE|KIND=VALUE...
    local listing=$work/checks.txt
    jq -r '.detectors[] | .detector as $d | .checks[] |
           "\($d).\(.check)\t\(.sign)\t\([.evidence[] | "\(.kind)=\(.value)"] | join("|"))"' "$json" >"$listing"
    local name sign_found evidence artefact quiet=0
    declare -A seen=()
    while IFS=$'\t' read -r name sign_found evidence; do
        seen[$name]=1
        if [ -n "${expected_signs[$name]+set}" ]; then
            equal "$sign_found" true "$name finds a sign"
            while IFS= read -r artefact; do
                [ -z "$artefact" ] && continue
                case "|$evidence|" in
                    *"|$artefact|"*) pass "$name notes $artefact" ;;
                    *) fail "$name notes $artefact (it noted: ${evidence:-nothing})" ;;
                esac
            done <<<"${expected_signs[$name]}"
        else
            quiet=$((quiet + 1))
            [ "$sign_found" = false ] || fail "$name finds no sign (it found one: ${evidence:-no artefact})"
        fi
    done <"$listing"
    for name in "${!expected_signs[@]}"; do
        [ -n "${seen[$name]+set}" ] || fail "$name is in the explanation"
    done
    pass "$quiet other checks were run and none of them finds a sign unless listed above"
}

# ------------------------------------------------ one dressed run
run_inside() {
    trap 'quietly wineserver -k || true' EXIT
    trap 'exit 143' TERM
    ip link set lo up
    # shellcheck source=/dev/null
    source "$here/products/$product.sh"
    machine
    phase "machine made"
    quietly wineserver -p
    quietly wineboot
    phase "prefix started"
    regfile=$work/dress.reg
    printf 'Windows Registry Editor Version 5.00\n' >"$regfile"
    guest
    apply_guest_registry
    wait_for_tools
    phase "guest dressed"

    local runner=$E2E_CLI
    local -a environment=()
    if [ ${#acpi_tables[@]} -gt 0 ]; then
        runner=$E2E_HOST
        environment+=("CORVANE_E2E_ACPI_DIR=Z:${work//\//\\}\\acpi")
    fi
    [ "$hide_wine" = 1 ] && environment+=(CORVANE_E2E_HIDE_WINE=1)
    if [ -n "$memory_mib" ]; then
        environment+=("LD_PRELOAD=$E2E_HELPER_DIR/sysinfo_override.so" "CORVANE_E2E_MEMORY_MIB=$memory_mib")
    fi
    say "machine: $product, $nic_count adapter(s), ${#acpi_tables[@]} ACPI table(s) served${memory_mib:+, $memory_mib MiB}"

    local plain_status=0 explain_status=0
    env "${environment[@]}" wine "$runner" </dev/null >"$work/verdict.txt" 2>"$work/verdict.err" || plain_status=$?
    env "${environment[@]}" wine "$runner" --explain --json </dev/null >"$work/explain.json" 2>"$work/explain.err" || explain_status=$?
    cat "$work/verdict.err" "$work/explain.err" >&2
    phase "detection run"

    expectations
    assert_outcome "$plain_status" "$(tr -d '\r' <"$work/verdict.txt")" "$explain_status" "$work/explain.json"
    phase "checked"
    say "$product: $assertions assertions, $failures failed"
    [ "$failures" = 0 ]
}

# Whatever happened: the namespaces' shell ends, then every Wine process of
# the prefix, so that no mount, namespace or process is left.
cleanup() {
    # unshare ignores SIGTERM while its child runs; SIGKILL it is, and
    # --kill-child passes it on.  The server inside is reached through its
    # socket in the file system.
    if [ -n "${inner:-}" ]; then
        kill -KILL "$inner" 2>/dev/null || true
        wait "$inner" 2>/dev/null || true
    fi
    quietly wineserver -k || true
    quietly wineserver -w || true
    if [ "${E2E_KEEP:-0}" != 1 ]; then rm -rf "$prefix"; fi
}

run_dressed() {
    [ "$(id -u)" = 0 ] || die "needs root for its network and mount namespaces"
    local tool
    for tool in unshare ip jq iconv wine wineserver; do command -v "$tool" >/dev/null || die "needs $tool"; done
    [ -f "$here/products/$product.sh" ] || die "no product $product"
    [ -f "$template/system.reg" ] || die "no template prefix: run 'run-dressed.sh template' first"

    # A server left by an earlier, interrupted run of this prefix goes first.
    [ -d "$prefix" ] && { quietly wineserver -k || true; }
    rm -rf "$prefix" "$work"
    mkdir -p "$work"
    cp -a "$template" "$prefix"
    phase "prefix copied"
    trap cleanup EXIT
    trap 'exit 143' TERM
    trap 'exit 130' INT
    unshare --mount --net --fork --kill-child -- "$0" "$product" --inside &
    inner=$!
    local status=0
    wait "$inner" || status=$?
    inner=""
    phase "namespaces left"
    return "$status"
}

case "$product:${2:-}" in
    template:) make_template ;;
    *:--inside) run_inside ;;
    *:) run_dressed ;;
    *) die "usage: run-dressed.sh template|PRODUCT" ;;
esac
