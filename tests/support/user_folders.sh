#!/bin/sh
# The user's own velorin folders (change log, settings, Qt's test-mode folders) before and after
# a test run: `user_folders.sh record FILE` notes every file with its size and time,
# `user_folders.sh compare FILE` fails naming what a test run changed.
set -eu
data="${XDG_DATA_HOME:-$HOME/.local/share}"
config="${XDG_CONFIG_HOME:-$HOME/.config}"
cache="${XDG_CACHE_HOME:-$HOME/.cache}"
listing() {
  for f in "$data/velorin" "$data/velorin-cli" "$config/Velorin" "$cache/velorin" \
           "$cache/velorin-cli" "$HOME/.qttest" "$data/qttest" "$config/qttest"; do
    [ -e "$f" ] && find "$f" -printf '%p %s %T@\n'
  done | LC_ALL=C sort
}
case "$1" in
  record) listing > "$2" ;;
  compare)
    if ! listing | diff "$2" - > "$2.diff"; then
      echo "A test wrote into the user's folders:"
      cat "$2.diff"
      exit 1
    fi
    echo "The user's folders are as they were before the tests." ;;
esac
