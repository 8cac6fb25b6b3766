#!/usr/bin/env bash
# Times the program's downloads beside a bare loop over the same system library, curl, aria2c
# and wget, all fetching the same files from one nginx on 127.0.0.1 (private config, free
# port, removed at the end):
#   a: 200 files of 1 MiB   b: 5 files of 200 MiB   c: 2,000 files of 4 KiB
#   n1000, n4000, n16000: that many files of 100 bytes (how a run scales with its list)
# The tool "long" is the program again with BENCH_LONG_ROWS finished entries (default 999,000)
# in its list ahead of the set's URLs: how a run's cost grows with the rows around it.
# Every run saves into a fresh folder, which is checked (file count, total size, contents) and
# then removed. Prints each run and, per data set, the median wall and CPU time per tool and the
# program's ratio to the best peer.
#
# The program runs with 5 connections under Wine (download_bench.exe); its wall time runs
# from the F5 command to the completion notice (start-up and exit are not in it), its CPU is
# the user + sys time of its Wine process over the same span, read from /proc (Wine's
# GetProcessTimes of another process reports only a fraction), and the wineserver's CPU over
# that span is shown apart. A peer's wall and CPU (user + sys) cover its whole process.
# nginx's CPU is in no figure. The loop (tests/bench/wininet_loop.cpp) is 5 threads under Wine
# that open every URL as the program does and write the files: the floor that Wine and the
# library set; its wall time covers the downloads only.
#
# Settings through the environment:
#   BENCH_SETS="a b c n1000 n4000 n16000"  data sets         BENCH_RUNS=3       runs per tool and set
#   BENCH_RUNS_B=3       runs for set b           BENCH_TOOLS="program loop curl aria2c wget"
#   BENCH_CONNECTIONS=5  the program's CONNECT_NUM (peers keep 5; wget has one connection)
#   BENCH_BUFFER_KB=     the program's DL_BUF_SIZE (unset: the program's default)
#   BENCH_LONG_ROWS=999000  finished entries ahead of the set in the tool "long"
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
default_build="$top/build"
/usr/lib/wine/wine --version >/dev/null 2>&1 || default_build="$top/build-x64"
build="$(mkdir -p "${BUILD_DIR:-$default_build}" && cd "${BUILD_DIR:-$default_build}" && pwd)"
export BUILD_DIR="$build"

if [ -z "${VLMR_BENCH_IN_X:-}" ]; then
  bash "$top/scripts/setup.sh" curl aria2 wget
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    BUILD_DIR="$build" bash "$top/scripts/build.sh" --target VelmoraDownloader download_bench wininet_loop
  else
    # A kernel that cannot run 32-bit programs: the 64-bit build under Wine's 64-bit loader.
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
          -DVELMORA_TESTS=ON >/dev/null
    cmake --build "$build" --target VelmoraDownloader download_bench wininet_loop
    export VELMORA_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  fi
  bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
  # The rest runs inside one X server, with one wineserver for all the program's runs.
  VLMR_BENCH_IN_X=1 exec xvfb-run -a bash "$0" "$@"
fi

wine="${VELMORA_WINE:-wine}"
sets="${BENCH_SETS:-a b c n1000 n4000 n16000}"
runs="${BENCH_RUNS:-3}"
runs_b="${BENCH_RUNS_B:-$runs}"
tools="${BENCH_TOOLS:-program loop curl aria2c wget}"
connections="${BENCH_CONNECTIONS:-5}"
buffer_kb="${BENCH_BUFFER_KB:-}"
long_rows="${BENCH_LONG_ROWS:-999000}"

work="$(mktemp -d /tmp/vlmr-downloads.XXXXXX)"
chmod 755 "$work"  # nginx's workers may run as nobody
prefix="$build/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
finish() {
  if [ -f "$work/nginx/nginx.pid" ]; then
    kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true
  fi
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

# --- nginx -------------------------------------------------------------------------------
port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
mkdir -p "$work/nginx" "$work/www"
cat > "$work/nginx/nginx.conf" <<EOF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  default_type application/octet-stream;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
EOF
nginx -p "$work/nginx/" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log"
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  sleep 0.1
done

# --- data sets -----------------------------------------------------------------------------
declare -A set_count set_size set_title
set_count[a]=200;  set_size[a]=$((1 << 20));   set_title[a]="200 files of 1 MiB"
set_count[b]=5;    set_size[b]=$((200 << 20)); set_title[b]="5 files of 200 MiB"
set_count[c]=2000; set_size[c]=4096;           set_title[c]="2,000 files of 4 KiB"
for n in 1000 4000 16000; do
  set_count[n$n]=$n; set_size[n$n]=100; set_title[n$n]="$n files of 100 bytes"
done
for s in $sets; do
  mkdir -p "$work/www/$s"
  # Random bytes, so nothing on the way can shrink them.
  python3 - "$work/www/$s" "${set_count[$s]}" "${set_size[$s]}" <<'EOF'
import os, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
block = os.urandom(min(size, 1 << 20))
for index in range(count):
    with open(os.path.join(folder, "f%05d.bin" % index), "wb") as out:
        left = size
        while left > 0:
            out.write(block[:left] if left < len(block) else block)
            left -= len(block)
EOF
  for ((i = 0; i < set_count[$s]; i++)); do
    printf 'http://127.0.0.1:%s/%s/f%05d.bin\n' "$port" "$s" "$i"
  done > "$work/list-$s.txt"
  # curl takes the same list as a config file.
  sed 's/.*/url = "&"/' "$work/list-$s.txt" > "$work/curl-$s.txt"
  if [[ " $tools " == *" long "* ]]; then
    # Finished entries go into the list as the records they are; the run skips them.
    awk -v n="$long_rows" -v port="$port" \
      'BEGIN {for (i = 0; i < n; i++) printf "3|done|  100Byte|http://127.0.0.1:%s/done/f%07d.bin\n", port, i}' \
      > "$work/long-$s.txt"
    cat "$work/list-$s.txt" >> "$work/long-$s.txt"
  fi
done

# --- Wine ----------------------------------------------------------------------------------
wineserver -p
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
# The server of this prefix: its CPU is part of what the program costs.
server_pid=""
for p in /proc/[0-9]*; do
  case "$(readlink "$p/exe" 2>/dev/null)" in
    *wineserver*)
      if tr '\0' '\n' < "$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
        server_pid="${p#/proc/}"
      fi
      ;;
  esac
done
windows_path() { echo "Z:${1//\//\\}"; }

# --- runs ----------------------------------------------------------------------------------
results="$work/results.txt"  # set tool wall cpu [wineserver]
: > "$results"

# Checks a save folder: the expected number of files with the expected total size, each the
# same bytes as served.
check() {
  local set="$1" tool="$2" folder="$3"
  local count bytes
  count="$(find "$folder" -type f | wc -l)"
  bytes="$(find "$folder" -type f -printf '%s\n' | awk '{s += $1} END {printf "%d", s}')"
  local want=$((set_count[$set] * set_size[$set]))
  if [ "$count" -ne "${set_count[$set]}" ] || [ "$bytes" -ne "$want" ]; then
    echo "  FAILED $tool on $set: $count files, $bytes bytes (want ${set_count[$set]}, $want)"
    find "$folder" -type f ! -size "${set_size[$set]}c" -printf '    %f: %s bytes\n' | head -5
    return 1
  fi
  if ! diff -rq "$work/www/$set" "$folder" > "$work/diff.txt"; then
    echo "  FAILED $tool on $set: files differ from the served ones"
    head -5 "$work/diff.txt" | sed 's/^/    /'
    return 1
  fi
}

# The program on the set's list, or as the tool "long" on the list with finished entries ahead.
run_program() {
  local set="$1" out="$2" tool="${3:-program}" line
  local list="$work/list-$set.txt"
  [ "$tool" != long ] || list="$work/long-$set.txt"
  local args=("$(windows_path "$list")" "$(windows_path "$out")" "$connections")
  [ -z "$buffer_kb" ] || args+=("$buffer_kb")
  if ! line="$(VELMORA_EXE="$build/VelmoraDownloader.exe" VELMORA_WINESERVER_PID="$server_pid" \
      "$wine" "$build/tests/download_bench.exe" "${args[@]}" 2>"$work/err.txt" </dev/null)"; then
    echo "  FAILED $tool on $set: ${line:-}"
    tr -d '\r' < "$work/err.txt" | sed 's/^/    /'
    return 1
  fi
  line="$(tr -d '\r' <<<"$line")"
  printf '  %-8s %s\n' "$tool" "$line"
  local wall cpu server
  wall="$(sed -n 's/.*wall=\([0-9.]*\).*/\1/p' <<<"$line")"
  cpu="$(sed -n 's/.* cpu=\([0-9.]*\).*/\1/p' <<<"$line")"
  server="$(sed -n 's/.*wineserver=\([0-9.-]*\).*/\1/p' <<<"$line")"
  echo "$set $tool $wall $cpu ${server:--}" >> "$results"
}

run_peer() {
  local set="$1" tool="$2" out="$3"
  local list="$work/list-$set.txt"
  local command
  case "$tool" in
    curl) command=(curl -sS -f -Z --parallel-max 5 --remote-name-all --output-dir "$out"
                   -K "$work/curl-$set.txt") ;;
    aria2c) command=(aria2c -q -j5 -d "$out" -i "$list" --allow-overwrite=true
                     --auto-file-renaming=false) ;;
    wget) command=(wget -q -P "$out" -i "$list") ;;
    loop) command=("$wine" "$build/tests/wininet_loop.exe" "$(windows_path "$list")"
                   "$(windows_path "$out")" 5) ;;
  esac
  local TIMEFORMAT='%3R %3U %3S'
  local times
  if ! { time "${command[@]}" >"$work/err.txt" 2>&1; } 2>"$work/time.txt"; then
    echo "  FAILED $tool on $set: $(head -c 300 "$work/err.txt")"
    return 1
  fi
  times="$(cat "$work/time.txt")"
  read -r wall user sys <<<"$times"
  # The loop's own figure leaves out Wine's start-up, as the program's does.
  [ "$tool" != loop ] || wall="$(tr -d '\r' < "$work/err.txt" | sed -n 's/.*wall=\([0-9.]*\).*/\1/p')"
  local cpu
  cpu="$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.3f", u + s}')"
  printf '  %-8s wall=%s cpu=%s user=%s sys=%s\n' "$tool" "$wall" "$cpu" "$user" "$sys"
  echo "$set $tool $wall $cpu -" >> "$results"
}

commit="$(git -C "$top" log -1 --format=%h 2>/dev/null || echo unknown)"
[ -z "$(git -C "$top" status --porcelain --untracked-files=no 2>/dev/null)" ] || commit+=" with uncommitted changes"
echo "program at $commit; nginx on 127.0.0.1:$port, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); tools: $tools; program: CONNECT_NUM $connections${buffer_kb:+, DL_BUF_SIZE $buffer_kb}"
[ -n "$server_pid" ] || echo "(the wineserver was not found: its CPU is not measured)"
failures=0
for s in $sets; do
  n="$runs"
  [ "$s" != b ] || n="$runs_b"
  echo "== $s: ${set_title[$s]}, $n runs each"
  for ((r = 1; r <= n; r++)); do
    for tool in $tools; do
      out="$work/out/$tool-$s-$r"
      mkdir -p "$out"
      sync
      if [ "$tool" = program ] || [ "$tool" = long ]; then
        run_program "$s" "$out" "$tool" || failures=$((failures + 1))
      else
        run_peer "$s" "$tool" "$out" || failures=$((failures + 1))
      fi
      check "$s" "$tool" "$out" || failures=$((failures + 1))
      rm -rf "$out"
    done
  done
done

# --- summary -------------------------------------------------------------------------------
echo
echo "Medians of the complete runs (wall s, CPU s; the program's CPU is its Wine process, the"
echo "wineserver's is apart; nginx's CPU is in no figure)"
printf '%-4s %-8s %8s %8s %11s\n' set tool wall cpu wineserver
for s in $sets; do
  best=""
  for tool in $tools; do
    line="$(awk -v s="$s" -v t="$tool" '
      function median(values, n,   i, j, x) {
        for (i = 2; i <= n; i++) { x = values[i]; for (j = i - 1; j >= 1 && values[j] > x; j--) values[j + 1] = values[j]; values[j + 1] = x }
        return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
      }
      $1 == s && $2 == t { n++; wall[n] = $3; cpu[n] = $4; if ($5 != "-") { m++; server[m] = $5 } }
      END { if (n) printf "%.3f %.3f %s", median(wall, n), median(cpu, n), m ? sprintf("%.2f", median(server, m)) : "-" }
    ' "$results")"
    [ -n "$line" ] || continue
    read -r wall cpu server <<<"$line"
    printf '%-4s %-8s %8s %8s %11s\n' "$s" "$tool" "$wall" "$cpu" "$server"
    [ "$tool" != loop ] || loop_wall="$wall"
    [ "$tool" != curl ] || curl_wall="$wall"
    [ "$tool" != long ] || long_wall="$wall"
    if [ "$tool" = program ]; then
      program_wall="$wall"
    elif [ "$tool" = long ]; then
      :
    elif [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN {exit !(a < b)}'; then
      best="$wall"; best_tool="$tool"
    fi
  done
  if [[ " $tools " == *" program "* ]] && [ -n "$best" ] && [ -n "${program_wall:-}" ]; then
    awk -v p="$program_wall" -v b="$best" -v t="$best_tool" -v s="$s" \
      'BEGIN {printf "%-4s program / best peer (%s): %.2fx\n", s, t, p / b}'
    for peer in loop curl; do
      var="${peer}_wall"
      [ -z "${!var:-}" ] || awk -v p="$program_wall" -v b="${!var}" -v t="$peer" -v s="$s" \
        'BEGIN {printf "%-4s program / %s: %.2fx\n", s, t, p / b}'
    done
  fi
  if [ -n "${long_wall:-}" ] && [ -n "${program_wall:-}" ]; then
    awk -v l="$long_wall" -v p="$program_wall" -v n="$long_rows" -v s="$s" \
      'BEGIN {printf "%-4s long (%d finished rows more) / program: %.2fx\n", s, n, l / p}'
  fi
  program_wall=""; loop_wall=""; curl_wall=""; long_wall=""
done
if [ "$failures" -gt 0 ]; then
  echo "$failures run(s) failed or saved incomplete files"
  exit 1
fi
