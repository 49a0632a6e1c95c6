# Installing Debian packages so that a package mirror in the middle of a
# sync does not stop the run: sourced by the set-up scripts.
#
#   apt_update         refreshes the package lists; an index that fails to
#                      download is tried again MORVEL_APT_TRIES times in all
#                      (3), MORVEL_APT_PAUSE seconds apart (20), then the
#                      failure is told, with apt's own lines, and the lists
#                      there are are used. Never fails the run by itself.
#   apt_install PKG... installs what is named, without recommends. When that
#                      fails, the lists are refreshed and it is tried once
#                      more; a second failure prints apt's own error lines
#                      and the packages wanted, and returns non-zero.
#
# Every call goes through one lock (/tmp/apt.lock) so that set-ups run side
# by side take turns. APT_CONFIG, as apt reads it, points apt elsewhere
# (the tests use it for a package source of their own).

apt_sudo=""
if [ "$(id -u)" -ne 0 ]; then apt_sudo="sudo"; fi

apt_get() { $apt_sudo env DEBIAN_FRONTEND=noninteractive flock /tmp/apt.lock apt-get "$@"; }

# apt's own words from a log: its error and warning lines and its account of
# unmet dependencies, without the progress of the packages it did unpack.
apt_said() {
  grep -vE '^(Selecting previously|Preparing to unpack|Unpacking|Setting up|Processing triggers|\(Reading database|debconf: )' \
    "$1" | tail -n 30 | sed 's/^/  | /'
}

apt_update() {
  local tries=${MORVEL_APT_TRIES:-3} pause=${MORVEL_APT_PAUSE:-20} try log status
  log=$(mktemp)
  for ((try = 1; ; try++)); do
    status=0
    apt_get update -qq >"$log" 2>&1 || status=$?
    # apt-get update may exit 0 having ignored an index it could not fetch.
    if [ "$status" -eq 0 ] && ! grep -qE '^(E|W): (Failed to fetch|Some index files failed)' "$log"; then
      rm -f "$log"
      return 0
    fi
    [ "$try" -lt "$tries" ] || break
    echo "setup: the package lists could not all be refreshed (try $try of $tries); again in $pause s" >&2
    sleep "$pause"
  done
  echo "setup: the package lists could not all be refreshed after $tries tries; going on with the lists there are:" >&2
  apt_said "$log" >&2
  rm -f "$log"
  return 0
}

apt_install() {
  local log status=0
  log=$(mktemp)
  apt_get install -y -qq --no-install-recommends "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    # Lists older than the mirror name files it no longer has.
    apt_update
    status=0
    apt_get install -y -qq --no-install-recommends "$@" >"$log" 2>&1 || status=$?
  fi
  if [ "$status" -ne 0 ]; then
    echo "setup: apt-get could not install what was wanted (exit $status): $*" >&2
    apt_said "$log" >&2
  fi
  rm -f "$log"
  return "$status"
}
