#!/usr/bin/env bash
# TLS transfer benchmark: a big download and upload with tessaline-ftp (FTP over TLS, PROT P) beside
# curl --ssl-reqd, in one run, against one local vsftpd with TLS, passive mode. As in
# transfers.sh, what counts is the ratio between the tools measured back to back; every transfer
# is checked byte for byte afterwards.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/tls_transfers.sh [--ftp PATH] [--reps N] [--size MIB] [--keep]
  --ftp PATH   tessaline-ftp to measure (default: build/tessaline-ftp in the repository)
  --reps N     repetitions of each download and upload (default 3)
  --size MIB   size of the file in MiB (default 256)
  --keep       keep the scratch directory (its path is printed)
Exit status: 0 when every transfer ran and was verified, 1 when one failed or delivered wrong
data, 2 for usage errors.
EOF
}

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ftp_bin="$repo/build/tessaline-ftp"
reps=3
size_mib=256
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
    --ftp) ftp_bin=${2:?--ftp needs a path}; shift 2 ;;
    --reps) reps=${2:?}; shift 2 ;;
    --size) size_mib=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "tls_transfers.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
for n in "$reps" "$size_mib"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "tls_transfers.sh: counts must be positive integers" >&2; exit 2; }
done
ftp_bin=$(realpath -m "$ftp_bin")
[ -x "$ftp_bin" ] || { echo "tls_transfers.sh: no tessaline-ftp at $ftp_bin" >&2; exit 2; }
for p in curl openssl vsftpd; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)" = installed ] \
        || { echo "tls_transfers.sh: $p is missing (tools/install-deps installs it)" >&2; exit 2; }
done

scratch=$(mktemp -d /tmp/tessaline-tls-bench.XXXXXX)
root="$scratch/server"
mkdir -p "$root" "$scratch/local" "$scratch/cfg/Corvane" "$scratch/data"
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    if [ "$keep" -eq 1 ]; then echo "scratch kept in $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
fingerprint=SHA256:$(openssl x509 -in "$scratch/cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)

# vsftpd as hosting servers run it: TLS forced for logins and data, data connections only in the
# control connection's TLS session. It runs as root and serves anonymous logins; uploads go into
# a directory its "ftp" user may write.
[ "$(id -u)" -eq 0 ] || { echo "tls_transfers.sh: vsftpd runs only as root" >&2; exit 2; }
chmod 755 "$scratch" "$root"
mkdir -p "$root/up" "$scratch/empty"
chown ftp "$root/up"
user=anonymous
password=bench@example.org
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$scratch/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$root
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
secure_chroot_dir=$scratch/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
syslog_enable=NO
ssl_enable=YES
rsa_cert_file=$scratch/cert.pem
rsa_private_key_file=$scratch/key.pem
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
EOF
/usr/sbin/vsftpd "$scratch/vsftpd.conf" >"$scratch/server.log" 2>&1 </dev/null &
server_pid=$!
started=0
for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then started=1; break; fi
    sleep 0.1
done
[ "$started" -eq 1 ] || { cat "$scratch/server.log" >&2; echo "tls_transfers.sh: vsftpd did not start" >&2; exit 1; }

head -c $((size_mib << 20)) /dev/urandom >"$root/big.bin"
chmod 644 "$root/big.bin"
cp "$root/big.bin" "$scratch/upload.bin"
printf '[ProgramOptions]\nReceive%%20Bytes=65536\nSend%%20Bytes=65536\n' >"$scratch/cfg/Corvane/Tessaline.conf"

tess=(env XDG_CONFIG_HOME="$scratch/cfg" XDG_DATA_HOME="$scratch/data" "$ftp_bin" -q --passive --tls require
      --trust-certificate "$fingerprint" --host "127.0.0.1:$port" --user "$user" --password "$password")
curl_tls=(curl -sS --ssl-reqd --cacert "$scratch/cert.pem" --user "$user:$password")
url="ftp://127.0.0.1:$port"

results="$scratch/results"
: >"$results"
failures=0
run() {  # run TEST TOOL REP EXPECTED ACTUAL COMMAND...
    local test="$1" tool="$2" rep="$3" expected="$4" actual="$5" start end seconds status=ok
    shift 5
    rm -f "$actual"
    start=$EPOCHREALTIME
    "$@" >"$scratch/$test-$tool.log" 2>&1 || status="FAILED"
    end=$EPOCHREALTIME
    [ "$status" = ok ] && ! cmp -s "$expected" "$actual" && status="WRONG-DATA"
    [ "$status" = ok ] || failures=$((failures + 1))
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    echo "$test $tool $rep $seconds $status" >>"$results"
    printf '  %-8s rep %d  %-10s %7.3f s %8.1f MiB/s  %s\n' "$test" "$rep" "$tool" "$seconds" \
        "$(awk -v s="$seconds" -v m="$size_mib" 'BEGIN { print m / s }')" "$status"
    rm -f "$actual"
}

echo "Tessaline TLS transfer benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "  tessaline-ftp: $ftp_bin ($(cd "$repo" && git describe --always --dirty 2>/dev/null || echo unknown))"
echo "  $(curl --version | head -n 1 | cut -d' ' -f1-2,5), vsftpd (TLS, session reuse required) on 127.0.0.1:$port, passive mode, PROT P"
echo "  $size_mib MiB x $reps reps, 65536-byte chunks"
for ((rep = 1; rep <= reps; rep++)); do
    # The order turns each repetition, so neither tool always goes first.
    tools=(tessaline curl)
    (( rep % 2 == 0 )) && tools=(curl tessaline)
    for tool in "${tools[@]}"; do
        if [ "$tool" = tessaline ]; then
            run download "$tool" "$rep" "$root/big.bin" "$scratch/local/big.bin" "${tess[@]}" get big.bin "$scratch/local/big.bin"
            run upload "$tool" "$rep" "$scratch/upload.bin" "$root/up/up.bin" "${tess[@]}" put "$scratch/upload.bin" up/up.bin
        else
            run download "$tool" "$rep" "$root/big.bin" "$scratch/local/big.bin" "${curl_tls[@]}" -o "$scratch/local/big.bin" "$url/big.bin"
            run upload "$tool" "$rep" "$scratch/upload.bin" "$root/up/up.bin" "${curl_tls[@]}" -T "$scratch/upload.bin" "$url/up/up.bin"
        fi
    done
done

# Median over the repetitions of curl's seconds over tessaline's: tessaline's throughput relative
# to curl's, pairs from the same repetition.
ratio() {
    awk -v t="$1" '$1 == t && $5 == "ok" { key = $2 " " $3; seconds[key] = $4; if ($3 > n) n = $3 }
        END { for (r = 1; r <= n; r++) { a = "tessaline " r; b = "curl " r
              if ((a in seconds) && (b in seconds)) printf "%.4f\n", seconds[b] / seconds[a] } }' \
        "$results" | sort -g | awk '{ v[NR] = $1 } END { if (NR) printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
echo
echo "Targets (tessaline's throughput over curl's, median of the per-repetition pairs)"
for test in download upload; do
    r=$(ratio "$test")
    verdict="NO DATA"
    [ -n "$r" ] && verdict=$(awk -v r="$r" 'BEGIN { if (r >= 0.9) print "met"; else print "NOT MET" }')
    printf '  %-8s over TLS vs curl --ssl-reqd >= 0.90   %-6s %s\n' "$test" "${r:--}" "$verdict"
done
[ "$failures" -eq 0 ] || { echo "$failures run(s) failed or delivered wrong data"; exit 1; }
