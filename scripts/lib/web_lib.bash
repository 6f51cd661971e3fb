# Web servers of the transfer tests, on free loopback ports, stopped by process id:
# nginx with a configuration, prefix and document root of the test's own, and the
# scripted fault server (fault_server.py beside it). Sourced by the tests of tests/wine and
# by the scripts.

nginx_bin=${NGINX:-/usr/sbin/nginx}
nginx_pid=
fault_pid=

# A port nobody listens on now (the server binds it right after).
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts nginx serving docroot (paths may hold blanks); nginx_port and nginx_url are set.
start_nginx() {  # docroot, state folder
  local root=$1 state=$2 try
  [ -x "$nginx_bin" ] || { echo "nginx missing ($nginx_bin): scripts/setup.sh installs it" >&2; return 1; }
  mkdir -p "$state/logs" "$state/tmp"
  for try in 1 2 3; do
    nginx_port=$(free_port)
    cat > "$state/nginx.conf" <<CONF
daemon off;
worker_processes 1;
error_log "$state/logs/error.log";
pid "$state/nginx.pid";
events { worker_connections 64; }
http {
  access_log "$state/logs/access.log";
  client_body_temp_path "$state/tmp/body";
  proxy_temp_path "$state/tmp/proxy";
  fastcgi_temp_path "$state/tmp/fastcgi";
  uwsgi_temp_path "$state/tmp/uwsgi";
  scgi_temp_path "$state/tmp/scgi";
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$nginx_port;
    root "$root";
  }
}
CONF
    "$nginx_bin" -p "$state" -c "$state/nginx.conf" -e "$state/logs/error.log" </dev/null >/dev/null 2>&1 &
    nginx_pid=$!
    for _ in $(seq 50); do
      if curl -s -o /dev/null "http://127.0.0.1:$nginx_port/"; then
        nginx_url="http://127.0.0.1:$nginx_port"
        return 0
      fi
      kill -0 "$nginx_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null
  done
  echo "nginx did not start: $(tail -3 "$state/logs/error.log" 2>/dev/null)" >&2
  return 1
}

# Ends a server started here, by the process id held in the named variable, and clears it.
stop_server() {  # name of the variable
  local pid=${!1}
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  printf -v "$1" '%s' ''
}
stop_nginx() { stop_server nginx_pid; }

# Starts the fault server on the files under root (on the given port, else a free one);
# fault_url is set.
start_fault_server() {  # root, state folder, [port]
  mkdir -p "$2"
  rm -f "$2/fault.port"
  python3 "$(dirname "${BASH_SOURCE[0]}")/fault_server.py" "$1" "$2/fault.port" ${3:+"$3"} 2>>"$2/fault.log" &
  fault_pid=$!
  for _ in $(seq 100); do
    [ -s "$2/fault.port" ] && { fault_url="http://127.0.0.1:$(cat "$2/fault.port")"; return 0; }
    sleep 0.1
  done
  echo "the fault server did not start: $(tail -3 "$2/fault.log")" >&2
  return 1
}

stop_fault_server() { stop_server fault_pid; }

# The answer of the fault server's "/now/" URLs from the next request on.
set_fault_mode() {  # state folder, mode
  printf '%s\n' "$2" > "$1/mode.tmp" && mv "$1/mode.tmp" "$1/mode"
}

stop_web_servers() { stop_nginx; stop_fault_server; }
