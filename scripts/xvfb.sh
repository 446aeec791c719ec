# Sourced by the scripts: starts a private Xvfb display and exports DISPLAY; hv_stop_xvfb ends it.
hv_start_xvfb() {
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -dpi 96 3>"$fd_file" >/dev/null 2>&1 &
  HV_XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$fd_file")"
  rm -f "$fd_file"
}
hv_stop_xvfb() {
  if [ -n "${HV_XVFB_PID:-}" ]; then
    kill "$HV_XVFB_PID" 2>/dev/null || true
    wait "$HV_XVFB_PID" 2>/dev/null || true
    HV_XVFB_PID=""
  fi
}
