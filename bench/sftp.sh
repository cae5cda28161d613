#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SFTP benchmark: tessaline-ftp (sftp:// URLs, default settings) beside OpenSSH's sftp, curl and
# lftp, in one run, against an OpenSSH sshd it starts itself: a big file down and up on loopback
# and through the delay line of latency.sh, and a directory of small files both ways. As in
# transfers.sh, the machines are noisy, so what counts are the ratios between tools that ran back
# to back, and every run is checked afterwards (exit status, then the bytes themselves).
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/sftp.sh [OPTIONS]
  --ftp PATH        tessaline-ftp to measure (default: build/tessaline-ftp in the repository)
  --reps N          repetitions of each big-file download and upload (default 3)
  --dir-reps N      repetitions of each directory copy per tool (default 3)
  --size MIB        size of the big file in MiB (default 256)
  --files N         number of 4 KiB files in the directory (default 1000)
  --rtt MS          round trip of the delay line in milliseconds (default 50); 0 leaves the
                    delay-line rows out (they need root: network namespaces)
  --keep            keep the scratch directory (its path is printed)
  -h, --help        show this text
A quick run (under three minutes): bench/sftp.sh --size 32 --reps 1 --dir-reps 1 --files 200
Exit status: 0 when every transfer ran and was verified (whether or not the targets are met),
1 when a transfer failed or delivered wrong data, 2 for usage errors.
EOF
}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$repo/bench/lib.sh"
ftp_bin="$repo/build/tessaline-ftp"
reps=3
dir_reps=3
size_mib=256
files=1000
rtt_ms=50
keep=0

while [ $# -gt 0 ]; do
    case "$1" in
    --ftp) ftp_bin=${2:?--ftp needs a path}; shift 2 ;;
    --reps) reps=${2:?}; shift 2 ;;
    --dir-reps) dir_reps=${2:?}; shift 2 ;;
    --size) size_mib=${2:?}; shift 2 ;;
    --files) files=${2:?}; shift 2 ;;
    --rtt) rtt_ms=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "sftp.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
for n in "$reps" "$dir_reps" "$size_mib" "$files"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "sftp.sh: counts must be positive integers" >&2; exit 2; }
done
[[ "$rtt_ms" =~ ^[0-9]+$ ]] || { echo "sftp.sh: --rtt takes milliseconds" >&2; exit 2; }
ftp_bin=$(realpath -m "$ftp_bin")
if [ ! -x "$ftp_bin" ]; then
    echo "sftp.sh: no tessaline-ftp at $ftp_bin (build it first, or pass --ftp)" >&2
    exit 2
fi
with_delay=0
if [ "$rtt_ms" -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        with_delay=1
    else
        echo "sftp.sh: not root: the delay-line rows are left out (they make network namespaces)" >&2
    fi
fi

# --- tools, installed only when missing ------------------------------------------------------
missing=()
for p in curl lftp time openssh-client iproute2 iputils-ping util-linux; do
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
# sshd is unpacked, never installed: no system service, nothing on port 22.
"$repo/tools/unpack-servers"
sshd_bin="$repo/test-servers/openssh-server/usr/sbin/sshd"

# --- scratch, keys and servers ---------------------------------------------------------------
scratch=$(mktemp -d /tmp/tessaline-sftp.XXXXXX)
chmod 755 "$scratch"
root="$scratch/server"      # what sshd serves; uploads go into up/
local_dir="$scratch/local"  # where downloads land
home="$scratch/home"        # HOME of every client: its .ssh holds the user key and known_hosts
logs="$scratch/logs"
mkdir -p "$root/up" "$local_dir" "$home/.ssh" "$logs" "$scratch/xdg-data" "$scratch/cfg"
server_pids=()
namespaces=()
delay_pid=""

stop_pid() {  # stop_pid PID: ends one process of ours and waits for it
    if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    local pid ns
    for pid in "${server_pids[@]}"; do stop_pid "$pid"; done
    stop_pid "$delay_pid"
    for ns in "${namespaces[@]}"; do ip netns delete "$ns" 2>/dev/null || true; done
    if [ "$keep" -eq 1 ]; then
        echo "scratch kept in $scratch"
    else
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# sshd as root wants a privilege-separation user that an unpacked server lacks, so as root it runs
# as "nobody" (as the tests' SshdServer does); unprivileged it logs in only the account it runs as.
if [ "$(id -u)" -eq 0 ]; then
    login=nobody
    as_login=(/usr/bin/setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups)
else
    login=$(id -un)
    as_login=()
fi
ssh-keygen -q -t ed25519 -N '' -C bench-host -f "$scratch/host_key"
ssh-keygen -q -t ed25519 -N '' -C bench-user -f "$home/.ssh/id_ed25519"
cp "$home/.ssh/id_ed25519.pub" "$scratch/authorized_keys"
# OpenSSH's clients take ~/.ssh from the password database, not from HOME: they get this file.
cat >"$scratch/ssh_config" <<EOF
Host *
  IdentityFile $home/.ssh/id_ed25519
  UserKnownHostsFile $home/.ssh/known_hosts
  GlobalKnownHostsFile /dev/null
  BatchMode yes
  StrictHostKeyChecking yes
EOF
[ ${#as_login[@]} -eq 0 ] || chown -R nobody: "$root" "$scratch/host_key" "$scratch/host_key.pub" "$scratch/authorized_keys"

# start_sshd NAME ADDRESS PORT [NETNS]: an sshd of its own config serving $root over SFTP.
start_sshd() {
    local name="$1" address="$2" port="$3" netns="${4:-}" prefix=()
    cat >"$scratch/$name.conf" <<EOF
Port $port
ListenAddress $address
HostKey $scratch/host_key
PidFile $scratch/$name.pid
AuthorizedKeysFile $scratch/authorized_keys
UsePAM yes
StrictModes no
KbdInteractiveAuthentication no
PasswordAuthentication no
Subsystem sftp internal-sftp -d $root
EOF
    [ -z "$netns" ] || prefix=(ip netns exec "$netns")
    "${prefix[@]}" "${as_login[@]}" "$sshd_bin" -D -e -f "$scratch/$name.conf" >"$logs/$name.log" 2>&1 </dev/null &
    server_pids+=($!)
    for _ in $(seq 100); do
        "${prefix[@]}" ss -Hltn "sport = :$port" | grep -q . && break
        kill -0 "$!" 2>/dev/null || { cat "$logs/$name.log" >&2; echo "sftp.sh: $name did not start" >&2; exit 1; }
        sleep 0.1
    done
    echo "[$address]:$port $(cut -d' ' -f1-2 "$scratch/host_key.pub")" >>"$home/.ssh/known_hosts"
}
host=127.0.0.1
port=$(free_port)
start_sshd sshd "$host" "$port"

# The delay line of latency.sh: two namespaces joined by TUN devices through bench/delay_line.py,
# with a second sshd in the server's namespace.
client_ns=tess-sftp-client-$$
server_ns=tess-sftp-server-$$
client_addr=10.77.0.1
server_addr=192.0.2.2
if [ "$with_delay" -eq 1 ]; then
    for ns in "$client_ns" "$server_ns"; do
        ip netns add "$ns"
        namespaces+=("$ns")
        ip -n "$ns" link set lo up
        ip -n "$ns" tuntap add dev tess0 mode tun
    done
    ip -n "$client_ns" addr add "$client_addr" peer "$server_addr" dev tess0
    ip -n "$server_ns" addr add "$server_addr" peer "$client_addr" dev tess0
    for ns in "${namespaces[@]}"; do ip -n "$ns" link set tess0 up; done
    chrt --fifo 1 /usr/bin/python3 "$repo/bench/delay_line.py" "$(awk -v r="$rtt_ms" 'BEGIN { print r / 2 }')" \
        "$client_ns:tess0" "$server_ns:tess0" 2>"$logs/delay_line.log" &
    delay_pid=$!
    if ! ip netns exec "$client_ns" ping -q -c 5 -i 0.2 -W 2 "$server_addr" >"$logs/ping" 2>&1; then
        cat "$logs/ping" "$logs/delay_line.log" >&2
        echo "sftp.sh: no packets through the delay line" >&2
        exit 1
    fi
    measured_rtt=$(awk -F/ '/^rtt/ { print $5 }' "$logs/ping")
    far_port=$(free_port)
    start_sshd sshd-far "$server_addr" "$far_port" "$server_ns"
fi

# --- data ------------------------------------------------------------------------------------
big=big.bin
head -c $((size_mib << 20)) /dev/urandom >"$root/$big"
mkdir "$root/small"
# One random blob cut into the small files: much quicker than one head per file.
head -c $((files * 4096)) /dev/urandom >"$scratch/blob"
(cd "$root/small" && split -a 5 -d -b 4096 "$scratch/blob" f && rm "$scratch/blob")
[ "$(find "$root/small" -type f | wc -l)" -eq "$files" ] || { echo "sftp.sh: could not lay out the small files" >&2; exit 1; }
# The upload sources live on the client side, apart from the served copies.
cp "$root/$big" "$scratch/upload.bin"
cp -r "$root/small" "$scratch/small-source"
[ ${#as_login[@]} -eq 0 ] || chown -R nobody: "$root"

# --- running and timing ----------------------------------------------------------------------
# Results: one line per run in $results: "GROUP TOOL REP SECONDS RSS_KIB STATUS", GROUP being
# TEST/PATH (download/loopback, upload/delay, getdir/loopback, ...).
results="$scratch/results"
: >"$results"
failures=0

# The path of the group being measured: where the clients run and which server they reach.
use_path() {  # use_path loopback|delay
    path=$1
    if [ "$path" = delay ]; then
        target_host=$server_addr target_port=$far_port client=(ip netns exec "$client_ns")
    else
        target_host=$host target_port=$port client=()
    fi
}

# /usr/bin/time runs programs, not shell functions: these give the command lines, every client
# with HOME in the scratch directory (no settings or rc file, so each runs at its defaults).
# tessaline-ftp names the files as a user would, from the directory the login starts in (sshd's
# -d: $root); the others by absolute paths, which curl's URLs need.
in_client() { cmd=("${client[@]}" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" "$@"); }
tess_cmd() {  # tess_cmd COMMAND ARGS...
    in_client "$ftp_bin" -q "sftp://$login@$target_host:$target_port/" "$@"
}
openssh_cmd() {  # openssh_cmd BATCH-LINE: one sftp command; -b makes any failure exit non-zero
    echo "$1" >"$scratch/batch"
    in_client sftp -q -F "$scratch/ssh_config" -P "$target_port" -b "$scratch/batch" "$login@$target_host"
}
curl_cmd() {  # curl_cmd ARGS... (the server path last)
    local n=$#
    in_client curl -sS --user "$login:" --key "$home/.ssh/id_ed25519" --pubkey "$home/.ssh/id_ed25519.pub" \
        "${@:1:n-1}" "sftp://$target_host:$target_port${!n}"
}
lftp_cmd() {  # lftp_cmd COMMANDS: any failing command makes lftp exit non-zero
    in_client lftp -c "set cmd:fail-exit yes; set net:max-retries 1; set sftp:connect-program 'ssh -a -x -F $scratch/ssh_config'; open -u $login, -p $target_port sftp://$target_host; $1"
}

tool_label() {
    case "$1" in
    tess) echo "tessaline-ftp" ;;
    openssh) echo "OpenSSH sftp" ;;
    curl) echo "curl" ;;
    lftp) echo "lftp" ;;
    lftp4) echo "lftp --parallel=$parallel" ;;
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

download() {  # download TOOL REP
    local tool="$1" rep="$2" target="$local_dir/$1.bin" out="$logs/${group//\//_}-$1-$2"
    rm -f "$target"
    case "$tool" in
    tess) tess_cmd get "$big" "$target" ;;
    openssh) openssh_cmd "get $root/$big $target" ;;
    curl) curl_cmd -o "$target" "$root/$big" ;;
    lftp) lftp_cmd "get $root/$big -o $target" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_file "$root/$big" "$target")" "$out"
    rm -f "$target"
}

upload() {  # upload TOOL REP
    local tool="$1" rep="$2" name="$root/up/up-$1.bin" out="$logs/${group//\//_}-$1-$2"
    rm -f "$name"
    case "$tool" in
    tess) tess_cmd put "$scratch/upload.bin" "up/${name##*/}" ;;
    openssh) openssh_cmd "put $scratch/upload.bin $name" ;;
    curl) curl_cmd -T "$scratch/upload.bin" "$name" ;;
    lftp) lftp_cmd "put $scratch/upload.bin -o $name" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_file "$scratch/upload.bin" "$name")" "$out"
    rm -f "$name"
}

# tessaline-ftp's directory copies spread the files over the "Connections" setting's number of
# connections; lftp's mirror runs with as many at once.
parallel=$("$ftp_bin" --help | sed -n 's/.*the "Connections" setting, \([0-9]*\)).*/\1/p')
parallel=${parallel:-4}

getdir() {  # getdir TOOL REP
    local tool="$1" rep="$2" target="$local_dir/small-$1" out="$logs/${group//\//_}-$1-$2"
    rm -rf "$target"
    case "$tool" in
    tess) tess_cmd getdir small "$target" ;;
    lftp4) lftp_cmd "mirror --parallel=$parallel $root/small $target" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_tree "$root/small" "$target")" "$out"
    rm -rf "$target"
}

putdir() {  # putdir TOOL REP
    local tool="$1" rep="$2" name="$root/up/small-$1" out="$logs/${group//\//_}-$1-$2"
    rm -rf "$name"
    case "$tool" in
    tess) tess_cmd putdir "$scratch/small-source" "up/${name##*/}" ;;
    lftp4) lftp_cmd "mirror -R --parallel=$parallel $scratch/small-source $name" ;;
    esac
    timed "$out" "${cmd[@]}"
    record "$group" "$tool" "$rep" "$(same_tree "$scratch/small-source" "$name")" "$out"
    rm -rf "$name"
}

# measure TEST PATH REPS TOOL...: one group, every tool once per repetition.
groups=()
measure() {
    local test="$1" count="$3" rep tool
    use_path "$2"
    shift 3
    group="$test/$path"
    groups+=("$group")
    echo "$test, $path"
    for ((rep = 1; rep <= count; rep++)); do
        for tool in $(rotated "$rep" "$@"); do "$test" "$tool" "$rep"; done
    done
}

echo "Tessaline SFTP benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  tessaline-ftp: $ftp_bin ($("$ftp_bin" --version | cut -d' ' -f2), $(cd "$repo" && git describe --always --dirty 2>/dev/null || echo unknown)), default settings ($parallel connections for directories)"
echo "  $("$sshd_bin" -V 2>&1 | cut -d, -f1) (test-servers/), $(ssh -V 2>&1 | cut -d, -f1) sftp, $(curl --version | head -n 1 | cut -d' ' -f1-2) ($(curl --version | head -n 1 | grep -o 'libssh2/[^ ]*')), $(lftp --version | head -n 1 | sed 's/.*Version \([^ ]*\).*/lftp \1/')"
echo "  $(nproc) cores, $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  big file $size_mib MiB x $reps reps; directory of $files x 4 KiB files x $dir_reps reps"
if [ "$with_delay" -eq 1 ]; then
    echo "  delay line: $rtt_ms ms round trip (ping: $measured_rtt ms)"
fi
echo

measure download loopback "$reps" tess openssh curl lftp
measure upload loopback "$reps" tess openssh curl lftp
if [ "$with_delay" -eq 1 ]; then
    measure download delay "$reps" tess openssh
    measure upload delay "$reps" tess openssh
fi
measure getdir loopback "$dir_reps" tess lftp4
measure putdir loopback "$dir_reps" tess lftp4

# --- summary ---------------------------------------------------------------------------------
median() {  # median GROUP TOOL: median seconds of the verified runs; empty when none
    awk -v g="$1" -v l="$2" '$1 == g && $2 == l && $6 == "ok" { print $4 }' "$results" | median_of
}
# Ratios of GROUP's seconds, OTHER's over TOOL's, one per repetition in which both were verified;
# OTHER "best" is the fastest of the other tools in that repetition.
paired() {  # paired GROUP TOOL OTHER
    awk -v g="$1" -v a="$2" -v b="$3" '
        $1 != g || $6 != "ok" { next }
        $2 == a { x[$3] = $4 }
        $2 == b { y[$3] = $4 }
        b == "best" && $2 != a { if (!($3 in y) || $4 < y[$3]) y[$3] = $4 }
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
echo "tessaline-ftp's throughput over the other's (above 1: tessaline-ftp is faster); for directory"
echo "copies, tessaline-ftp's time over lftp's (below 1: tessaline-ftp is faster)"
printf '  %-18s %-22s %8s %8s %9s %8s %8s %8s %8s\n' group tool seconds "MiB/s" "RSS MiB" "vs ssh" "vs curl" "vs lftp" "vs best"
for group in "${groups[@]}"; do
    for tool in tess openssh curl lftp lftp4; do
        grep -q "^$group $tool " "$results" || continue
        s=$(median "$group" "$tool")
        ro="" rc="" rl="" rb="" r=""
        if [ "$tool" = tess ]; then
            if [[ $group == *dir/* ]]; then
                rl=$(paired_median "$group" lftp4 tess)
                rl=${rl:--}
            else
                ro=$(paired_median "$group" tess openssh)
                ro=${ro:--}
                if grep -q "^$group curl " "$results"; then
                    rc=$(paired_median "$group" tess curl)
                    rl=$(paired_median "$group" tess lftp)
                    rb=$(paired_median "$group" tess best)
                    rc=${rc:--} rl=${rl:--} rb=${rb:--}
                fi
            fi
        fi
        [[ $group == *dir/* ]] || r=$(rate "$s")
        rss=$(awk -v k="$(peak_rss "^$group\$" "$tool")" 'BEGIN { printf "%.1f", k / 1024 }')
        printf '  %-18s %-22s %8s %8s %9s %8s %8s %8s %8s\n' "$group" "$(tool_label "$tool")" "${s:--}" "$r" "$rss" \
            "$ro" "$rc" "$rl" "$rb"
    done
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
    printf '  %-58s %-9s %-8s %s\n' "$1" "$2" "$3" "${4:+(repetitions in order: $4)}"
}
for group in "${groups[@]}"; do
    case "$group" in
    */loopback)
        if [[ $group == *dir/* ]]; then
            r=$(paired_median "$group" lftp4 tess)
            target "$group: time vs lftp mirror --parallel=$parallel <= 1.00" "${r:--}" "$(verdict "$r" "<=" 1.0)" \
                "$(paired_list "$group" lftp4 tess)"
        else
            r=$(paired_median "$group" tess best)
            target "$group: throughput vs the fastest other >= 0.9" "${r:--}" "$(verdict "$r" ">=" 0.9)" \
                "$(paired_list "$group" tess best)"
        fi
        ;;
    */delay)
        r=$(paired_median "$group" tess openssh)
        target "$group: throughput vs OpenSSH sftp >= 0.8" "${r:--}" "$(verdict "$r" ">=" 0.8)" \
            "$(paired_list "$group" tess openssh)"
        ;;
    esac
done
target "tessaline-ftp peak RSS over every run < 32 MiB" "$rss_shown" "$(verdict "$tess_rss_mib" "<" 32)"
if [ "$with_delay" -eq 1 ]; then
    stop_pid "$delay_pid"
    echo
    echo "Delay line:"
    sed 's/^/  /' "$logs/delay_line.log"
fi

if [ "$failures" -gt 0 ]; then
    echo
    if [ "$keep" -eq 1 ]; then
        echo "$failures run(s) failed or delivered wrong data; see above and the logs in $logs"
    else
        echo "$failures run(s) failed or delivered wrong data; see above (--keep keeps the logs)"
    fi
    exit 1
fi
