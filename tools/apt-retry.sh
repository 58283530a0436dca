# Sourced by the set-up scripts: how they ask the package registry again.
#
# The registry has bad days (a mirror caught mid-sync serves an index that
# disagrees with its Release file, a source does not answer), and most pass
# within minutes. An index refresh or a download is tried SETUP_TRIES times in
# all (3), SETUP_PAUSE seconds apart (10); when everything answers, nothing is
# repeated and nobody waits.
tries=${SETUP_TRIES:-3}
pause=${SETUP_PAUSE:-10}

retry() {  # command...: until it succeeds, $tries times at most
  n=1
  until "$@"; do
    [ "$n" -lt "$tries" ] || return 1
    n=$((n + 1))
    sleep "$pause"
  done
}

# One index refresh, its messages in LOG. apt-get tells of a source it could
# not reach only in a warning, and succeeds: here that is a failure.
apt_update() {  # log apt-get-options...
  update_log=$1; shift
  apt-get "$@" -qq update >"$update_log" 2>&1 && ! grep -q '^[EW]: Failed to fetch' "$update_log"
}

# The indexes an apt_update log says failed, on one line: each file that
# could not be fetched, each repository without a valid Release file.
# Any other failure: apt's first error line.
failed_indexes() {  # log
  f=$(sed -n -e 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' \
    -e "s/^E: The repository '\([^']*\)'.*/\1/p" "$1" | paste -sd ' ' -)
  [ -n "$f" ] || f=$(sed -n 's/^E: //p' "$1" | head -n 1)
  echo "$f"
}

# The sources searched for packages, on one line, as the user configured them
# (APT_CONFIG chooses whose).
searched() {
  apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)/$(COMPONENT)' \
    'Identifier: Packages' | sort -u | paste -sd ',' - | sed 's/,/, /g'
}
