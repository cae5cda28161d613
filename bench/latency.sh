#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Latency benchmark: tessaline-ftp at its default settings beside lftp and curl when every round
# trip costs what it costs between distant machines. The clients and pyftpdlib run in two network
# namespaces of their own, joined by TUN devices and a delay line (bench/delay_line.py) that holds
# every packet for half the round-trip time in each direction: this kernel has no netem.
#
# As in transfers.sh, the tools run back to back, what counts are the ratios between them, and
# every run is checked afterwards (exit status, then the bytes themselves).
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/latency.sh [OPTIONS]
  --ftp PATH        tessaline-ftp to measure (default: build/tessaline-ftp in the repository)
  --rtt MS          round-trip time the delay line makes, in milliseconds (default 50)
  --reps N          repetitions of every row (default 3; each directory copy takes minutes)
  --files N         number of 4 KiB files in the directory (default 1000)
  --size MIB        size of the big file in MiB (default 64)
  --keep            keep the scratch directory with every run's output (its path is printed)
  -h, --help        show this text
Runs as root (it makes network namespaces). Exit status: 0 when every run was verified, 1 when a
run failed or delivered wrong data, 2 for usage errors.
EOF
}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$repo/bench/lib.sh"
ftp_bin="$repo/build/tessaline-ftp"
rtt_ms=50
reps=3
files=1000
size_mib=64
keep=0

while [ $# -gt 0 ]; do
    case "$1" in
    --ftp) ftp_bin=${2:?--ftp needs a path}; shift 2 ;;
    --rtt) rtt_ms=${2:?}; shift 2 ;;
    --reps) reps=${2:?}; shift 2 ;;
    --files) files=${2:?}; shift 2 ;;
    --size) size_mib=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "latency.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
for n in "$rtt_ms" "$reps" "$files" "$size_mib"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "latency.sh: numbers must be positive integers" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "latency.sh: run it as root: it makes network namespaces" >&2; exit 2; }
ftp_bin=$(realpath -m "$ftp_bin")
if [ ! -x "$ftp_bin" ]; then
    echo "latency.sh: no tessaline-ftp at $ftp_bin (build it first, or pass --ftp)" >&2
    exit 2
fi

# --- tools, installed only when missing ------------------------------------------------------
missing=()
for p in curl lftp time python3-pyftpdlib iproute2 iputils-ping; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- scratch, namespaces, delay line and server -----------------------------------------------
scratch=$(mktemp -d /tmp/tessaline-latency.XXXXXX)
chmod 755 "$scratch"
root="$scratch/server"      # what pyftpdlib serves
local_dir="$scratch/local"  # where downloads land
home="$scratch/home"        # HOME of every client: no settings or rc file, so all run at defaults
logs="$scratch/logs"
mkdir -p "$root/up" "$local_dir" "$home" "$logs"

client_ns=tess-lat-client-$$
server_ns=tess-lat-server-$$
device=tess0
# The client has a private address and the server one that is not (a documentation range, never
# routed): the usual case across a long path, a client behind a router and a server far away, in
# which tessaline-ftp's automatic mode chooses passive data connections as curl and lftp do.
client_addr=10.77.0.1
server_addr=192.0.2.2
namespaces=()
server_pid=""
delay_pid=""

stop_pid() {  # stop_pid PID: ends one process of ours and waits for it
    if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    local ns
    stop_pid "$server_pid"
    stop_pid "$delay_pid"
    # Deleting a namespace takes its TUN device and the sockets left in TIME_WAIT with it.
    for ns in "${namespaces[@]}"; do ip netns delete "$ns" 2>/dev/null || true; done
    if [ "$keep" -eq 1 ]; then
        echo "scratch kept in $scratch"
    else
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for ns in "$client_ns" "$server_ns"; do
    ip netns add "$ns"
    namespaces+=("$ns")
    ip -n "$ns" link set lo up
    ip -n "$ns" tuntap add dev "$device" mode tun
done
ip -n "$client_ns" addr add "$client_addr" peer "$server_addr" dev "$device"
ip -n "$server_ns" addr add "$server_addr" peer "$client_addr" dev "$device"
for ns in "${namespaces[@]}"; do ip -n "$ns" link set "$device" up; done

# The delay line stands for the network between the machines: at real-time priority, builds and
# the programs measured on the same cores cannot make its packets late.
one_way_ms=$(awk -v r="$rtt_ms" 'BEGIN { print r / 2 }')
chrt --fifo 1 /usr/bin/python3 "$repo/bench/delay_line.py" "$one_way_ms" "$client_ns:$device" \
    "$server_ns:$device" 2>"$logs/delay_line.log" &
delay_pid=$!
if ! ip netns exec "$client_ns" ping -q -c 5 -i 0.2 -W 2 "$server_addr" >"$logs/ping" 2>&1; then
    cat "$logs/ping" "$logs/delay_line.log" >&2
    echo "latency.sh: no packets through the delay line" >&2
    exit 1
fi
measured_rtt=$(awk -F/ '/^rtt/ { print $5 }' "$logs/ping")

user=bench
password=bench-secret
# pyftpdlib binds a free port itself and tells us which. It logs only warnings, so per-command
# logging does not slow it down for the directory copies.
ip netns exec "$server_ns" /usr/bin/python3 - "$root" "$server_addr" "$scratch/port" "$user" "$password" \
    >"$logs/pyftpdlib.log" 2>&1 <<'EOF' &
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

root, address, port_file, user, password = sys.argv[1:6]
config_logging(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
FTPHandler.authorizer = authorizer
server = FTPServer((address, 0), FTPHandler)
server.max_cons = 64
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.socket.getsockname()[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
EOF
server_pid=$!
for _ in $(seq 100); do
    [ -s "$scratch/port" ] && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$logs/pyftpdlib.log" >&2; echo "latency.sh: pyftpdlib did not start" >&2; exit 1; }
    sleep 0.1
done
[ -s "$scratch/port" ] || { echo "latency.sh: pyftpdlib did not start in time" >&2; exit 1; }
port=$(cat "$scratch/port")

# --- data ------------------------------------------------------------------------------------
big=big.bin
head -c $((size_mib << 20)) /dev/urandom >"$root/$big"
mkdir "$root/small"
# One random blob cut into the small files: much quicker than one head per file.
head -c $((files * 4096)) /dev/urandom >"$scratch/blob"
(cd "$root/small" && split -a 5 -d -b 4096 "$scratch/blob" f && rm "$scratch/blob")
[ "$(find "$root/small" -type f | wc -l)" -eq "$files" ] || { echo "latency.sh: could not lay out the small files" >&2; exit 1; }
# The upload sources live on the client side, apart from the served copies.
cp "$root/$big" "$scratch/upload.bin"
cp -r "$root/small" "$scratch/small-source"

# --- running and timing ----------------------------------------------------------------------
# Results: one line per run in $results: "ROW TOOL REP SECONDS RSS_KIB STATUS".
results="$scratch/results"
: >"$results"
failures=0

# /usr/bin/time runs programs, not shell functions: these give the command lines, run in the
# client's namespace with the scratch HOME.
in_client() { cmd=(ip netns exec "$client_ns" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" "$@"); }
tess_cmd() {  # tess_cmd ARGS...
    in_client "$ftp_bin" --host "$server_addr:$port" --user "$user" --password "$password" "$@"
}
lftp_cmd() {  # lftp_cmd COMMANDS: any failing command makes lftp exit non-zero
    in_client lftp -c "set cmd:fail-exit yes; set net:max-retries 1; open -u $user,$password ftp://$server_addr:$port; $1"
}
curl_cmd() {  # curl_cmd ARGS... (the URL path last)
    local n=$#
    in_client curl -sS --user "$user:$password" "${@:1:n-1}" "ftp://$server_addr:$port/${!n}"
}

tool_label() {
    case "$1" in
    tess) echo "tessaline-ftp" ;;
    curl) echo "curl" ;;
    lftp) echo "lftp" ;;
    lftp4) echo "lftp --parallel=4" ;;
    esac
}

row_label() {
    case "$1" in
    listing) echo "login to first listing" ;;
    download) echo "$size_mib MiB file down" ;;
    upload) echo "$size_mib MiB file up" ;;
    getdir) echo "$files x 4 KiB down" ;;
    putdir) echo "$files x 4 KiB up" ;;
    esac
}

# Records a run; "ok" only when the tool said so and delivered what it should.
record() {
    local row="$1" tool="$2" rep="$3" verified="$4" out="$5" status extra=""
    if [ "$run_rc" -ne 0 ]; then
        status="FAILED(exit $run_rc)"
    elif [ "$verified" != ok ]; then
        status="FAILED(wrong data: $verified)"  # reported success but delivered something else
    else
        status=ok
    fi
    [ "$status" = ok ] || failures=$((failures + 1))
    echo "$row $tool $rep $run_seconds $run_rss $status" >>"$results"
    case "$row" in
    download | upload) extra=$(awk -v s="$run_seconds" -v m="$size_mib" 'BEGIN { printf "%7.1f MiB/s", m / s }') ;;
    listing) extra=$(awk -v s="$run_seconds" -v r="$rtt_ms" 'BEGIN { printf "%5.1f round trips", s * 1000 / r }') ;;
    esac
    printf '  rep %d  %-18s %8.3f s %s  peak RSS %6.1f MiB  %s\n' "$rep" "$(tool_label "$tool")" \
        "$run_seconds" "$extra" "$(awk -v k="$run_rss" 'BEGIN { printf "%.1f", k / 1024 }')" "$status"
    if [ "$status" != ok ]; then
        sed 's/^/      | /' "$out.stderr" | tail -n 5
    fi
}

lists_root() {  # lists_root OUTPUT: "ok" when the listing names both entries of the served root
    if grep -q "$big" "$1" && grep -q small "$1"; then echo ok; else echo "listing"; fi
}

listing() {  # listing TOOL REP
    local tool="$1" rep="$2" out="$logs/listing-$1-$2"
    case "$tool" in
    tess) tess_cmd ls ;;
    lftp) lftp_cmd "ls" ;;
    curl) curl_cmd "" ;;
    esac
    timed "$out" "${cmd[@]}"
    record listing "$tool" "$rep" "$(lists_root "$out.stdout")" "$out"
}

download() {  # download TOOL REP
    local tool="$1" rep="$2" target="$local_dir/$1.bin" out="$logs/download-$1-$2"
    rm -f "$target"
    case "$tool" in
    tess) tess_cmd get "$big" "$target" ;;
    curl) curl_cmd -o "$target" "$big" ;;
    lftp) lftp_cmd "get $big -o $target" ;;
    esac
    timed "$out" "${cmd[@]}"
    record download "$tool" "$rep" "$(same_file "$root/$big" "$target")" "$out"
    rm -f "$target"
}

upload() {  # upload TOOL REP
    local tool="$1" rep="$2" name="up/up-$1.bin" out="$logs/upload-$1-$2"
    rm -f "$root/$name"
    case "$tool" in
    tess) tess_cmd put "$scratch/upload.bin" "$name" ;;
    curl) curl_cmd -T "$scratch/upload.bin" "$name" ;;
    lftp) lftp_cmd "put $scratch/upload.bin -o $name" ;;
    esac
    timed "$out" "${cmd[@]}"
    record upload "$tool" "$rep" "$(same_file "$scratch/upload.bin" "$root/$name")" "$out"
    rm -f "$root/$name"
}

getdir() {  # getdir TOOL REP
    local tool="$1" rep="$2" target="$local_dir/small-$1" out="$logs/getdir-$1-$2"
    rm -rf "$target"
    case "$tool" in
    tess) tess_cmd getdir small "$target" ;;
    lftp) lftp_cmd "mirror small $target" ;;
    lftp4) lftp_cmd "mirror --parallel=4 small $target" ;;
    esac
    timed "$out" "${cmd[@]}"
    record getdir "$tool" "$rep" "$(same_tree "$root/small" "$target")" "$out"
    rm -rf "$target"
}

putdir() {  # putdir TOOL REP
    local tool="$1" rep="$2" name="up/small-$1" out="$logs/putdir-$1-$2"
    rm -rf "${root:?}/$name"
    case "$tool" in
    tess) tess_cmd putdir "$scratch/small-source" "$name" ;;
    lftp) lftp_cmd "mirror -R $scratch/small-source $name" ;;
    lftp4) lftp_cmd "mirror -R --parallel=4 $scratch/small-source $name" ;;
    esac
    timed "$out" "${cmd[@]}"
    record putdir "$tool" "$rep" "$(same_tree "$scratch/small-source" "$root/$name")" "$out"
    rm -rf "${root:?}/$name"
}

# measure ROW TOOL...: one row, every tool once per repetition.
rows=()
measure() {
    local row="$1" rep tool
    shift
    rows+=("$row")
    row_label "$row"
    for ((rep = 1; rep <= reps; rep++)); do
        for tool in $(rotated "$rep" "$@"); do "$row" "$tool" "$rep"; done
    done
}

echo "Tessaline latency benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  tessaline-ftp: $ftp_bin ($("$ftp_bin" --version | cut -d' ' -f2), $(cd "$repo" && git describe --always --dirty 2>/dev/null || echo unknown)), default settings"
if "$ftp_bin" --help | grep -q -- '--parallel'; then
    echo "  tessaline-ftp --parallel not passed; its --help says:"
    "$ftp_bin" --help | sed -n '/^ *--parallel/{p;n;/^ \{6,\}[^ -]/p}'
fi
echo "  $(curl --version | head -n 1 | cut -d' ' -f1-2), $(lftp --version | head -n 1 | sed 's/.*Version \([^ ]*\).*/lftp \1/'), pyftpdlib $(/usr/bin/python3 -c 'import pyftpdlib; print(pyftpdlib.__ver__)')"
echo "  $(nproc) cores, $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  round trip $rtt_ms ms through the delay line (ping: $measured_rtt ms); client $client_addr, server $server_addr"
echo "  $reps reps; big file $size_mib MiB; directory of $files x 4 KiB files"
echo

measure listing tess lftp curl
measure download tess curl lftp
measure upload tess curl lftp
measure getdir tess lftp lftp4
measure putdir tess lftp lftp4

# --- summary ---------------------------------------------------------------------------------
median() {  # median ROW TOOL: median seconds of the verified runs; empty when none
    awk -v g="$1" -v l="$2" '$1 == g && $2 == l && $6 == "ok" { print $4 }' "$results" | median_of
}
# tessaline-ftp's seconds over OTHER's, one per repetition in which both were verified. They ran
# back to back, so load from the rest of the machine mostly hits both alike; the median of these
# pairs is steadier than a ratio of two separate medians.
paired() {  # paired ROW OTHER
    awk -v g="$1" -v b="$2" '
        $1 != g || $6 != "ok" { next }
        $2 == "tess" { x[$3] = $4 }
        $2 == b { y[$3] = $4 }
        END { for (r in x) if (r in y) printf "%.2f\n", x[r] / y[r] }' "$results"
}

echo
echo "Summary: medians of the verified runs; \"tess/other\" is the median over the repetitions of"
echo "tessaline-ftp's time over the other tool's in the same repetition (below 1: tessaline-ftp is"
echo "faster); round trips are the time over the $rtt_ms ms round trip (per file for directories)"
printf '  %-24s %-18s %9s %8s %12s %11s\n' row tool seconds "MiB/s" "round trips" "tess/other"
for row in "${rows[@]}"; do
    label=$(row_label "$row")
    for tool in tess lftp lftp4 curl; do
        grep -q "^$row $tool " "$results" || continue
        s=$(median "$row" "$tool")
        rate="" trips="" ratio=""
        if [ -n "$s" ]; then
            case "$row" in
            download | upload) rate=$(awk -v s="$s" -v m="$size_mib" 'BEGIN { printf "%.1f", m / s }') ;;
            listing) trips=$(awk -v s="$s" -v r="$rtt_ms" 'BEGIN { printf "%.1f", s * 1000 / r }') ;;
            getdir | putdir) trips=$(awk -v s="$s" -v r="$rtt_ms" -v n="$files" 'BEGIN { printf "%.1f/file", s * 1000 / r / n }') ;;
            esac
        fi
        if [ "$tool" != tess ]; then
            ratio=$(paired "$row" "$tool" | median_of | awk '{ printf "%.2f", $1 }')
            ratio=${ratio:--}
        fi
        printf '  %-24s %-18s %9s %8s %12s %11s\n' "$label" "$(tool_label "$tool")" "${s:--}" "$rate" "$trips" "$ratio"
        label=""
    done
done

echo
mode=$(grep -h -m 1 -i "mode:" "$logs"/listing-tess-*.stderr 2>/dev/null | head -n 1 || true)
echo "tessaline-ftp's data connections: ${mode:-(not in its log)}"
stop_pid "$delay_pid"
echo "Delay line:"
sed 's/^/  /' "$logs/delay_line.log"

if [ "$failures" -gt 0 ]; then
    echo
    if [ "$keep" -eq 1 ]; then
        echo "$failures run(s) failed or delivered wrong data; see above and the logs in $logs"
    else
        echo "$failures run(s) failed or delivered wrong data; see above (--keep keeps the logs)"
    fi
    exit 1
fi
