#!/bin/sh
# Inside the Wine guest: runs every program of tests.list with real Wine, one after the other,
# and leaves in /payload/out, for each line NAME: NAME.log (its standard output), NAME.err (its
# standard error and Wine's own messages), NAME.status (its exit status) and NAME.files/ (what it wrote into the folder that @OUT@ in its
# command line names). The programs run from a copy in tmpfs: Wine does not start programs from
# the 9p share.
set -u
work=/tmp/stage
mkdir -p "$work"
cp -r /payload/programs/. "$work"/
out=/payload/out
program_seconds="${OMBREL_WINE_PROGRAM_SECONDS:-900}"

# Wine's first start in a fresh guest makes its own setup; done once here, outside any timing.
wine cmd /c exit 0 >/dev/null 2>&1

# run_line NAME FOLDER KIND COMMAND: one program, its output kept in /payload/out.
run_line() {
  name="$1" folder="$2" command="$4"
  files="files_$name"
  mkdir -p "$work/$folder/$files"
  # @OUT@ names the program's own output folder, relative to its folder.
  command_line="$(printf '%s' "$command" | sed "s|@OUT@|$files|g")"
  start=$(date +%s)
  (
    cd "$work/$folder" || exit 126
    # shellcheck disable=SC2086  # the command line is split into words on purpose
    timeout "$program_seconds" wine $command_line
  ) >"$out/$name.log" 2>"$out/$name.err"
  echo $? >"$out/$name.status"
  echo "$name: exit $(cat "$out/$name.status") in $(($(date +%s) - start)) s"
  mkdir -p "$out/$name.files"
  cp -r "$work/$folder/$files/." "$out/$name.files/"
}

# Two lanes, one a guest processor, taking the next line from one queue as they come free: the
# test programs first (the longest runs), then the comparisons. A line is claimed by making its
# claim folder, which only one lane can do. The programs share nothing but the Wine server.
tab="$(printf '\t')"
queue="$work/queue"
awk -F '\t' '$3 == "gtest"' /payload/programs/tests.list >"$queue"
awk -F '\t' '$3 != "gtest"' /payload/programs/tests.list >>"$queue"
mkdir -p "$work/claims"
run_lane() {
  while IFS="$tab" read -r name folder kind command; do
    [ -n "$name" ] || continue
    mkdir "$work/claims/$name" 2>/dev/null || continue
    run_line "$name" "$folder" "$kind" "$command"
  done <"$queue"
}
run_lane &
run_lane
wait
wineserver -w
