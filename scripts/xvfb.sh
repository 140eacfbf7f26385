# Sourced: start_xvfb starts a virtual X server on a free display, exports DISPLAY and sets
# XVFB_PID; stop_xvfb ends it. Nothing happens when DISPLAY is already set or Xvfb is missing.
start_xvfb() {
  XVFB_PID=""
  [ -z "${DISPLAY:-}" ] || return 0
  command -v Xvfb >/dev/null || return 0
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  XVFB_PID=""
  return 0
}
