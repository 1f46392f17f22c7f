#!/usr/bin/env bash
# HTTPS servers on this machine for the Windows HTTPS tests, which run under
# Wine (whose WinHTTP uses the host's TLS): a private authority and a server
# certificate for localhost and 127.0.0.1 signed by it, made afresh, and
# openssl s_server instances on free ports.
#   scripts/https_peers.sh start DIR   makes DIR and starts them
#   scripts/https_peers.sh stop DIR    stops them and removes DIR
# In DIR: ca.pem (the authority), other-ca.pem (an authority that signed
# nothing here), and for each server NAME.port, NAME.log (what it printed,
# the requests it received among it):
#   www       answers GET /logo.png with DIR/logo.png (a PNG), any number of
#             connections (-HTTP: DIR/www holds whole responses, with their
#             Content-Length)
#   trusted, other-ca, no-ca
#             one connection at a time (a fresh s_server for each, on the
#             same port), answered "HTTP/1.1 200 OK" with the body "OK" once
#             the request's head has come
# Every server ends by itself after KORVANE_HTTPS_PEERS_SECONDS (900), in
# case the stop never comes.
set -u
action=${1:-} dir=${2:-}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
life=${KORVANE_HTTPS_PEERS_SECONDS:-900}
source "$(dirname "$0")/helpers.sh"

stop() {
  local pid
  for pid in "$dir"/*.pid; do
    [ -e "$pid" ] && kill "$(cat "$pid")" 2>/dev/null
  done
  rm -rf "$dir"
}

# serve NAME [s_server options...]: one server, its port in NAME.port.
serve() {
  local name=$1
  shift
  local log=$dir/$name.log
  timeout "$life" openssl s_server -accept 0 -cert "$dir/server.pem" -key "$dir/server.key" "$@" \
    </dev/null >"$log" 2>&1 &
  echo $! >"$dir/$name.pid"
  wait_port "$name"
}

# wait_port NAME: NAME.port once the server listens (5 s at most).
wait_port() {
  local name=$1 log=$dir/$1.log port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/^ACCEPT .*:\([0-9]*\)$/\1/p' "$log" 2>/dev/null | head -n 1)
    [ -n "$port" ] && break
    sleep 0.05
  done
  if [ -z "$port" ]; then
    echo "https_peers: $name did not start:" >&2
    cat "$log" >&2
    return 1
  fi
  echo "$port" >"$dir/$name.port"
}

# answering NAME: a server that answers from its standard input, one
# connection at a time: each connection gets a fresh s_server on the same
# port, so that a test run again finds it too. The canned response goes in
# once the request's head is in the log (s_server itself reads nothing, it
# only passes the input on), then silence.
# requests NAME: how many requests NAME's servers received so far.
requests() {
  if [ -e "$dir/$1.log" ]; then grep -c -E '^(GET|POST) ' "$dir/$1.log"; else echo 0; fi
}

answering() {
  local name=$1 fifo=$dir/$1.in
  mkfifo "$fifo" || return 1
  (
    exec </dev/null >/dev/null 2>&1
    port=0 writer="" server=""
    # Stopped, it stops what it started.
    trap 'kill $writer $server 2>/dev/null; exit 0' TERM
    end=$((SECONDS + life))
    while ((SECONDS < end)); do
      seen=$(requests "$name")
      (while [ "$(requests "$name")" -le "$seen" ]; do sleep 0.05; done
        sleep 0.2
        printf 'HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK'
        exec sleep "$life") >"$fifo" &
      writer=$!
      timeout "$life" openssl s_server -accept "$port" -naccept 1 -cert "$dir/server.pem" -key "$dir/server.key" \
        <"$fifo" >>"$dir/$name.log" 2>&1 &
      server=$!
      wait "$server"
      kill "$writer" 2>/dev/null
      wait "$writer"
      [ -s "$dir/$name.port" ] || break
      port=$(cat "$dir/$name.port")
    done
  ) &
  echo $! >"$dir/$name.pid"
  wait_port "$name"
}

start() {
  stop
  # The Windows part of the test command may run on its own.
  command -v openssl >/dev/null || korvane_install https-peers openssl || return 1
  mkdir -p "$dir/www" || return 1
  local ossl=(openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2)
  "${ossl[@]}" -x509 -keyout "$dir/ca.key" -out "$dir/ca.pem" -subj "/CN=Korvane test authority" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null &&
    "${ossl[@]}" -x509 -keyout "$dir/other-ca.key" -out "$dir/other-ca.pem" -subj "/CN=Another authority" \
      -addext basicConstraints=critical,CA:TRUE 2>/dev/null &&
    "${ossl[@]}" -keyout "$dir/server.key" -out "$dir/server.csr" -subj "/CN=localhost" 2>/dev/null &&
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' \
      >"$dir/server.ext" &&
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 2 \
      -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null || {
    echo "https_peers: cannot make the certificates" >&2
    return 1
  }
  # A small PNG (1 x 1) for the image over HTTPS.
  printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx\x9cc\xf8\xcf\xc0\xf0\x1f\0\x05\0\x01\xff\x89\x99=\x1d\0\0\0\0IEND\xaeB`\x82' \
    >"$dir/logo.png"
  { printf 'HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: %s\r\n\r\n' "$(wc -c <"$dir/logo.png")"
    cat "$dir/logo.png"; } >"$dir/www/logo.png"
  (cd "$dir/www" && serve www -HTTP) || return 1
  local name
  for name in trusted other-ca no-ca; do
    answering "$name" || return 1
  done
}

case "$action" in
  start) start || { stop; exit 1; } ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
