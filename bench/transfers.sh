#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Transfer benchmark: tessaline-ftp at its default settings beside curl and lftp, in one run,
# against local servers (pyftpdlib, vsftpd, vsftpd with TLS), in active and passive mode, with a
# raw TCP copy (socat) of the same file for comparison. The machines this runs on are noisy, so
# what counts are the ratios between tools measured back to back, never the absolute times.
#
# Every transfer is checked afterwards (exit status, then the bytes themselves), so a transfer
# that fails quickly can never pass for a fast one.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/transfers.sh [OPTIONS]
  --ftp PATH        tessaline-ftp to measure (default: build/tessaline-ftp in the repository)
  --reps N          repetitions of each big-file download and upload (default 5)
  --dir-reps N      repetitions of each directory copy per tool (default 3, at most 3: each copy
                    leaves about 1000 sockets in TIME_WAIT for a minute)
  --size MIB        size of the big file in MiB (default 256)
  --files N         number of 4 KiB files in the directory (default 1000)
  --keep            keep the scratch directory (its path is printed)
  -h, --help        show this text
Exit status: 0 when every transfer ran and was verified (whether or not the targets are met),
1 when a transfer failed or delivered wrong data, 2 for usage errors.
EOF
}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$repo/bench/lib.sh"
ftp_bin="$repo/build/tessaline-ftp"
reps=5
dir_reps=3
size_mib=256
files=1000
keep=0

while [ $# -gt 0 ]; do
    case "$1" in
    --ftp) ftp_bin=${2:?--ftp needs a path}; shift 2 ;;
    --reps) reps=${2:?}; shift 2 ;;
    --dir-reps) dir_reps=${2:?}; shift 2 ;;
    --size) size_mib=${2:?}; shift 2 ;;
    --files) files=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "transfers.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
for n in "$reps" "$dir_reps" "$size_mib" "$files"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "transfers.sh: counts must be positive integers" >&2; exit 2; }
done
if [ "$dir_reps" -gt 3 ]; then
    echo "transfers.sh: --dir-reps above 3 would pile up TIME_WAIT sockets; using 3" >&2
    dir_reps=3
fi
ftp_bin=$(realpath -m "$ftp_bin")
if [ ! -x "$ftp_bin" ]; then
    echo "transfers.sh: no tessaline-ftp at $ftp_bin (build it first, or pass --ftp)" >&2
    exit 2
fi

# --- tools, installed only when missing ------------------------------------------------------
missing=()
for p in curl lftp time python3-pyftpdlib socat openssl iproute2; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# vsftpd is unpacked, never installed (no system service); it runs only as root (it changes to
# its unprivileged user, "daemon", for each session: see tests/support/real_ftp_servers.h).
vsftpd_bin="$repo/test-servers/vsftpd/usr/sbin/vsftpd"
with_vsftpd=0
[ "$(id -u)" -eq 0 ] && "$repo/tools/unpack-servers" && with_vsftpd=1

# --- scratch and servers ---------------------------------------------------------------------
scratch=$(mktemp -d /tmp/tessaline-bench.XXXXXX)
chmod 755 "$scratch"
root="$scratch/server"      # what pyftpdlib serves
vroot="$scratch/vsftpd"     # what both vsftpd serve (anonymous; not writable by their user)
local_dir="$scratch/local"  # where downloads land
logs="$scratch/logs"
mkdir -p "$root/up" "$vroot/up" "$local_dir" "$logs" "$scratch/xdg-data" "$scratch/cfg/Corvane" "$scratch/empty"
server_pids=()

cleanup() {
    local pid
    for pid in "${server_pids[@]}"; do
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if [ "$keep" -eq 1 ]; then
        echo "scratch kept in $scratch"
    else
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

user=bench
password=bench-secret
anon_password=bench@example.org

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_listening() {  # wait_listening PORT PID LOG
    for _ in $(seq 100); do
        ss -Hltn "sport = :$1" | grep -q . && return 0
        kill -0 "$2" 2>/dev/null || break
        sleep 0.1
    done
    cat "$3" >&2
    echo "transfers.sh: the server of $3 did not start" >&2
    exit 1
}

# pyftpdlib binds port 0 itself and tells us which port it got. It logs only warnings, so
# per-command logging does not slow it down for the 1000-file copies.
/usr/bin/python3 - "$root" "$scratch/port" "$user" "$password" >"$logs/pyftpdlib.log" 2>&1 <<'EOF' &
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

root, port_file, user, password = sys.argv[1:5]
config_logging(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
FTPHandler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), FTPHandler)
server.max_cons = 64
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.socket.getsockname()[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
EOF
server_pids+=($!)
for _ in $(seq 100); do
    [ -s "$scratch/port" ] && break
    kill -0 "${server_pids[0]}" 2>/dev/null || { cat "$logs/pyftpdlib.log" >&2; echo "transfers.sh: pyftpdlib did not start" >&2; exit 1; }
    sleep 0.1
done
[ -s "$scratch/port" ] || { echo "transfers.sh: pyftpdlib did not start in time" >&2; exit 1; }
py_port=$(cat "$scratch/port")

# vsftpd twice: plain, and as hosting servers run it with TLS (forced for logins and data, data
# connections only in the control connection's TLS session). Anonymous logins; uploads go into a
# directory its user "daemon" may write.
start_vsftpd() {  # start_vsftpd NAME PORT [TLS SETTINGS...]
    local name="$1" port="$2"
    shift 2
    {
        printf '%s\n' listen=YES listen_ipv6=NO listen_address=127.0.0.1 "listen_port=$port" background=NO \
            anonymous_enable=YES ftp_username=daemon "anon_root=$vroot" local_enable=NO write_enable=YES \
            anon_upload_enable=YES \
            anon_mkdir_write_enable=YES anon_other_write_enable=YES anon_umask=022 allow_writeable_chroot=YES \
            "secure_chroot_dir=$scratch/empty" port_enable=YES connect_from_port_20=NO seccomp_sandbox=NO \
            isolate=NO isolate_network=NO xferlog_enable=NO syslog_enable=NO delay_failed_login=0 "$@"
    } >"$scratch/$name.conf"
    "$vsftpd_bin" "$scratch/$name.conf" >"$logs/$name.log" 2>&1 </dev/null &
    server_pids+=($!)
    wait_listening "$port" "$!" "$logs/$name.log"
}
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
fingerprint=SHA256:$(openssl x509 -in "$scratch/cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)
if [ "$with_vsftpd" -eq 1 ]; then
    chown daemon "$vroot/up"
    vs_port=$(free_port)
    start_vsftpd vsftpd "$vs_port"
    vt_port=$(free_port)
    start_vsftpd vsftpd-tls "$vt_port" ssl_enable=YES "rsa_cert_file=$scratch/cert.pem" \
        "rsa_private_key_file=$scratch/key.pem" allow_anon_ssl=YES force_anon_logins_ssl=YES \
        force_anon_data_ssl=YES require_ssl_reuse=YES
fi

# --- data ------------------------------------------------------------------------------------
big=big.bin
head -c $((size_mib << 20)) /dev/urandom >"$root/$big"
chmod 644 "$root/$big"
ln "$root/$big" "$vroot/$big"
mkdir "$root/small"
# One random blob cut into the small files: much quicker than one head per file.
head -c $((files * 4096)) /dev/urandom >"$scratch/blob"
(cd "$root/small" && split -a 5 -d -b 4096 "$scratch/blob" f && rm "$scratch/blob")
[ "$(find "$root/small" -type f | wc -l)" -eq "$files" ] || { echo "transfers.sh: could not lay out the small files" >&2; exit 1; }
# The upload sources live on the client side, apart from the served copies.
cp "$root/$big" "$scratch/upload.bin"
cp -r "$root/small" "$scratch/small-source"

# --- running and timing ----------------------------------------------------------------------
# Results: one line per run in $results: "GROUP TOOL REP SECONDS RSS_KIB STATUS", where GROUP is
# TEST/SERVER/MODE, e.g. download/vsftpd/passive.
results="$scratch/results"
: >"$results"
failures=0

# The server of the group being measured: port, login and the directory it serves.
use_server() {  # use_server pyftpdlib|vsftpd|vsftpd-tls
    server=$1
    case "$server" in
    pyftpdlib) port=$py_port login_user=$user login_password=$password served=$root ;;
    vsftpd) port=$vs_port login_user=anonymous login_password=$anon_password served=$vroot ;;
    vsftpd-tls) port=$vt_port login_user=anonymous login_password=$anon_password served=$vroot ;;
    esac
}

# /usr/bin/time runs programs, not shell functions: these give the command lines. No settings
# file: tessaline-ftp runs at its defaults.
tess_cmd() {  # tess_cmd MODE ARGS...
    local mode="$1"; shift
    local tls=(--tls off)
    [ "$server" = vsftpd-tls ] && tls=(--tls require --trust-certificate "$fingerprint")
    cmd=(env XDG_CONFIG_HOME="$scratch/cfg" XDG_DATA_HOME="$scratch/xdg-data"
         "$ftp_bin" -q "--$mode" "${tls[@]}" --host "127.0.0.1:$port" --user "$login_user"
         --password "$login_password" "$@")
}
lftp_cmd() {  # lftp_cmd MODE COMMANDS: any failing command makes lftp exit non-zero
    local passive=off ssl="set ftp:ssl-allow no"
    [ "$1" = passive ] && passive=on
    [ "$server" = vsftpd-tls ] && ssl="set ftp:ssl-force yes; set ftp:ssl-protect-data yes; set ssl:ca-file $scratch/cert.pem"
    cmd=(lftp -c "set ftp:passive-mode $passive; $ssl; set cmd:fail-exit yes; set net:max-retries 1; open -u $login_user,$login_password ftp://127.0.0.1:$port; $2")
}
curl_cmd() {  # curl_cmd MODE ARGS... (the URL path last)
    local mode="$1"; shift
    local args=(-sS --user "$login_user:$login_password")
    [ "$mode" = active ] && args+=(--ftp-port 127.0.0.1)
    [ "$server" = vsftpd-tls ] && args+=(--ssl-reqd --cacert "$scratch/cert.pem")
    local n=$#
    cmd=(curl "${args[@]}" "${@:1:n-1}" "ftp://127.0.0.1:$port/${!n}")
}

tool_label() {
    case "$1" in
    tess) echo "tessaline (defaults)" ;;
    curl) echo "curl" ;;
    lftp) echo "lftp" ;;
    socat) echo "socat raw TCP (1 MiB)" ;;
    esac
}

# Records a run; verdict "ok" only when the tool said so and the bytes are right.
record() {
    local group="$1" tool="$2" rep="$3" verified="$4" out="$5" status
    if [ "$run_rc" -ne 0 ]; then
        status="FAILED(exit $run_rc)"
    elif [ "$verified" != ok ]; then
        status="WRONG-DATA($verified)"  # reported success but delivered something else
    else
        status=ok
    fi
    [ "$status" = ok ] || failures=$((failures + 1))
    echo "$group $tool $rep $run_seconds $run_rss $status" >>"$results"
    local rate=""
    if [[ $group != *dir/* ]]; then
        rate=$(awk -v s="$run_seconds" -v m="$size_mib" 'BEGIN { printf "%8.1f MiB/s", m / s }')
    fi
    printf '  rep %d  %-22s %7.3f s %s  peak RSS %6.1f MiB  %s\n' "$rep" "$(tool_label "$tool")" \
        "$run_seconds" "$rate" "$(awk -v k="$run_rss" 'BEGIN { printf "%.1f", k / 1024 }')" "$status"
    if [ "$status" != ok ]; then
        sed 's/^/      | /' "$out.stderr" | tail -n 5
    fi
}

# The same file over one TCP connection on loopback, no FTP: what the machine can move.
raw_copy() {  # raw_copy REP
    local target="$local_dir/raw.bin" out="$logs/${group//\//_}-socat-$1" raw_port sender
    rm -f "$target"
    raw_port=$(free_port)
    socat -b1048576 -u "OPEN:$root/$big" "TCP-LISTEN:$raw_port,bind=127.0.0.1,reuseaddr" 2>"$out.sender" &
    sender=$!
    wait_listening "$raw_port" "$sender" "$out.sender"
    timed "$out" socat -b1048576 -u "TCP:127.0.0.1:$raw_port" "CREATE:$target"
    wait "$sender" || run_rc=1
    record "$group" socat "$1" "$(same_file "$root/$big" "$target")" "$out"
    rm -f "$target"
}

download() {  # download MODE TOOL REP
    local mode="$1" tool="$2" rep="$3" target="$local_dir/$2.bin" out="$logs/${group//\//_}-$2-$3"
    [ "$tool" = socat ] && { raw_copy "$rep"; return; }
    rm -f "$target"
    case "$tool" in
    tess) tess_cmd "$mode" get "$big" "$target" ;;
    curl) curl_cmd "$mode" -o "$target" "$big" ;;
    lftp) lftp_cmd "$mode" "get $big -o $target" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_file "$served/$big" "$target")" "$out"
    rm -f "$target"
}

upload() {  # upload MODE TOOL REP
    local mode="$1" tool="$2" rep="$3" name="up/up-$2.bin" out="$logs/${group//\//_}-$2-$3"
    rm -f "$served/$name"
    case "$tool" in
    tess) tess_cmd "$mode" put "$scratch/upload.bin" "$name" ;;
    curl) curl_cmd "$mode" -T "$scratch/upload.bin" "$name" ;;
    lftp) lftp_cmd "$mode" "put $scratch/upload.bin -o $name" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_file "$scratch/upload.bin" "$served/$name")" "$out"
    rm -f "$served/$name"
}

getdir() {  # getdir MODE TOOL REP
    local mode="$1" tool="$2" rep="$3" target="$local_dir/small-$2" out="$logs/${group//\//_}-$2-$3"
    rm -rf "$target"
    case "$tool" in
    tess) tess_cmd "$mode" getdir small "$target" ;;
    lftp) lftp_cmd "$mode" "mirror small $target" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_tree "$root/small" "$target")" "$out"
    rm -rf "$target"
}

putdir() {  # putdir MODE TOOL REP
    local mode="$1" tool="$2" rep="$3" name="up/small-$2" out="$logs/${group//\//_}-$2-$3"
    rm -rf "${served:?}/$name"
    case "$tool" in
    tess) tess_cmd "$mode" putdir "$scratch/small-source" "$name" ;;
    lftp) lftp_cmd "$mode" "mirror -R $scratch/small-source $name" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_tree "$scratch/small-source" "$served/$name")" "$out"
    rm -rf "${served:?}/$name"
}

# measure TEST SERVER MODE REPS TOOL...: one group, every tool once per repetition.
groups=()
measure() {
    local test="$1" mode="$3" count="$4" rep tool
    use_server "$2"
    shift 4
    group="$test/$server/$mode"
    groups+=("$group")
    echo "$test, $server, $mode mode"
    for ((rep = 1; rep <= count; rep++)); do
        for tool in $(rotated "$rep" "$@"); do "$test" "$mode" "$tool" "$rep"; done
    done
}

servers=(pyftpdlib)
[ "$with_vsftpd" -eq 1 ] && servers+=(vsftpd)

echo "Tessaline transfer benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  tessaline-ftp: $ftp_bin ($(cd "$repo" && git describe --always --dirty 2>/dev/null || echo unknown)), default settings"
echo "  $(curl --version | head -n 1 | cut -d' ' -f1-2), $(lftp --version | head -n 1 | sed 's/.*Version \([^ ]*\).*/lftp \1/'), pyftpdlib $(/usr/bin/python3 -c 'import pyftpdlib; print(pyftpdlib.__ver__)'), $(/usr/sbin/vsftpd -v 0>&1 2>&1 | head -n 1 | sed 's/: version / /'), $(socat -V | sed -n 's/^socat version \([^ ]*\).*/socat \1/p')"
echo "  $(nproc) cores, $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  big file $size_mib MiB x $reps reps; directory of $files x 4 KiB files x $dir_reps reps"
[ "$with_vsftpd" -eq 1 ] || echo "  not root: no vsftpd rows (plain or TLS)"
echo

for srv in "${servers[@]}"; do
    for mode in active passive; do
        measure download "$srv" "$mode" "$reps" tess curl lftp socat
        measure upload "$srv" "$mode" "$reps" tess curl lftp
    done
done
if [ "$with_vsftpd" -eq 1 ]; then
    measure download vsftpd-tls passive "$reps" tess curl lftp
    measure upload vsftpd-tls passive "$reps" tess curl lftp
fi
measure getdir pyftpdlib active "$dir_reps" tess lftp
measure putdir pyftpdlib active "$dir_reps" tess lftp

# --- summary ---------------------------------------------------------------------------------
median() {  # median GROUP TOOL: median seconds of the verified runs; empty when none
    awk -v g="$1" -v l="$2" '$1 == g && $2 == l && $6 == "ok" { print $4 }' "$results" | median_of
}
# Ratios of GROUP's seconds, OTHER's over TOOL's, one per repetition in which both were verified;
# OTHER "best" is the faster of curl and lftp in that repetition. They ran back to back, so load
# from the rest of the machine mostly hits both alike; the median of these pairs is steadier than
# a ratio of two separate medians.
paired() {  # paired GROUP TOOL OTHER
    awk -v g="$1" -v a="$2" -v b="$3" '
        $1 != g || $6 != "ok" { next }
        $2 == a { x[$3] = $4 }
        $2 == b { y[$3] = $4 }
        b == "best" && ($2 == "curl" || $2 == "lftp") { if (!($3 in y) || $4 < y[$3]) y[$3] = $4 }
        $3 > n { n = $3 }
        END { for (r = 1; r <= n; r++) if (r in x && r in y) printf "%.2f\n", y[r] / x[r] }' "$results"
}
paired_median() { paired "$@" | median_of | awk '{ printf "%.2f", $1 }'; }
paired_list() { paired "$@" | tr '\n' ' ' | sed 's/ $//'; }
peak_rss() {  # largest RSS (KiB) over the verified runs of TOOL in groups matching PATTERN
    awk -v p="$1" -v l="$2" '$1 ~ p && $2 == l && $6 == "ok" && $5 > m { m = $5 } END { print m + 0 }' "$results"
}
rate() { [ -n "$1" ] && awk -v s="$1" -v m="$size_mib" 'BEGIN { printf "%.1f", m / s }' || echo "-"; }
verdict() {  # verdict VALUE OP LIMIT
    [ -z "$1" ] || [ "$1" = "-" ] && { echo "NO DATA"; return; }
    awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN { ok = (op == ">=") ? v >= l : (op == "<=") ? v <= l : v < l; print ok ? "met" : "NOT MET" }'
}

echo
echo "Summary: medians of the verified runs; ratios are medians of the per-repetition pairs,"
echo "tessaline's throughput over the other's (above 1: tessaline is faster); for directory"
echo "copies, tessaline's time over lftp's (below 1: tessaline is faster)"
printf '  %-34s %-22s %8s %8s %8s %8s %8s %8s\n' group tool seconds "MiB/s" "vs curl" "vs lftp" "vs best" "vs raw"
for group in "${groups[@]}"; do
    for tool in tess curl lftp socat; do
        grep -q "^$group $tool " "$results" || continue
        s=$(median "$group" "$tool")
        rc="" rl="" rb="" rr="" r=""
        if [ "$tool" = tess ]; then
            if [[ $group == *dir/* ]]; then
                rl="$(paired_median "$group" lftp tess)"
                rl="${rl:--}"
            else
                rc=$(paired_median "$group" tess curl)
                rl=$(paired_median "$group" tess lftp)
                rb=$(paired_median "$group" tess best)
                rc=${rc:--} rl=${rl:--} rb=${rb:--}
                if grep -q "^$group socat " "$results"; then
                    rr=$(paired_median "$group" tess socat)
                    rr=${rr:--}
                fi
            fi
        fi
        [[ $group == *dir/* ]] || r=$(rate "$s")
        printf '  %-34s %-22s %8s %8s %8s %8s %8s %8s\n' "$group" "$(tool_label "$tool")" "${s:--}" "$r" "$rc" "$rl" "$rb" "$rr"
    done
done
echo
echo "Peak RSS (largest over the verified runs, MiB)"
printf '  %-22s %10s %10s %10s %10s\n' tool download upload getdir putdir
for tool in tess curl lftp; do
    printf '  %-22s' "$(tool_label "$tool")"
    for test in download upload getdir putdir; do
        printf ' %10.1f' "$(awk -v k="$(peak_rss "^$test/" "$tool")" 'BEGIN { print k / 1024 }')"
    done
    echo
done
tess_rss=$(peak_rss . tess)
tess_rss_mib="-" rss_shown="-"
if [ "$tess_rss" -gt 0 ]; then
    tess_rss_mib=$(awk -v k="$tess_rss" 'BEGIN { printf "%.1f", k / 1024 }')
    rss_shown="$tess_rss_mib MiB"
fi

echo
echo "Targets"
target() {  # target TEXT SHOWN VERDICT [PER-REP]
    printf '  %-62s %-9s %-8s %s\n' "$1" "$2" "$3" "${4:+(repetitions in order: $4)}"
}
for group in "${groups[@]}"; do
    case "$group" in
    *-tls/*) ;;  # no target over TLS: shown above beside curl and lftp
    download/* | upload/*)
        r=$(paired_median "$group" tess best)
        target "$group: throughput vs the faster of curl, lftp >= 1.0" "${r:--}" "$(verdict "$r" ">=" 1.0)" \
            "$(paired_list "$group" tess best)"
        if [[ $group == download/* ]]; then
            r=$(paired_median "$group" tess socat)
            target "$group: throughput vs socat raw TCP >= 0.6" "${r:--}" "$(verdict "$r" ">=" 0.6)" \
                "$(paired_list "$group" tess socat)"
        fi
        ;;
    getdir/* | putdir/*)
        r=$(paired_median "$group" lftp tess)
        other="lftp mirror"
        [[ $group == putdir/* ]] && other="lftp mirror -R"
        target "$group: time vs $other <= 1.00" "${r:--}" "$(verdict "$r" "<=" 1.0)" \
            "$(paired_list "$group" lftp tess)"
        ;;
    esac
done
target "tessaline-ftp peak RSS over every run < 32 MiB" "$rss_shown" "$(verdict "$tess_rss_mib" "<" 32)"

if [ "$failures" -gt 0 ]; then
    echo
    if [ "$keep" -eq 1 ]; then
        echo "$failures run(s) failed or delivered wrong data; see above and the logs in $logs"
    else
        echo "$failures run(s) failed or delivered wrong data; see above (--keep keeps the logs)"
    fi
    exit 1
fi
