# Sourced first by the tests that need a session bus: runs the test again inside a private one
# (dbus-run-session), with the bus daemon's own chatter left out of the log.
if [ -z "${VELODRA_PRIVATE_BUS:-}" ]; then
  VELODRA_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@" 2> >(grep -v '^dbus-daemon\[' >&2)
fi
