#!/bin/sh
# The package's launcher (/usr/bin/pelmora) with a stand-in for the installed program, as the
# user running the tests, with a private HOME:
#   tests/package/launcher-test.sh packaging/debian/launcher.sh.in
# Folders another user could change are refused and the refusal reaches the box; the program is
# always the installed one; first starts at once all succeed. Whether a folder another user owns
# is refused needs a second user: tests/package/install-in-fresh-root.sh checks that.
set -eu
template=$(cd "$(dirname "$1")" && pwd)/${1##*/}
t=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-launcher.XXXXXX")
trap 'chmod -R u+w "$t"; rm -rf "$t"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The installation: the stand-in records how it was started, one line per start.
installed=$t/usr/lib/pelmora
mkdir -p "$installed/Sound" "$installed/docs" "$t/home"
chmod 700 "$t/home"
cat > "$installed/pelmora" <<'STANDIN'
#!/bin/sh
printf 'cwd=%s folder=%s args=%s\n' "$(pwd -P)" "${PELMORA_PROGRAM_FOLDER:-}" "$*" >> "$RECORD"
STANDIN
chmod 755 "$installed/pelmora"
sed "s|@PELMORA_INSTALLED_PROGRAM_FOLDER@|$installed|" "$template" > "$t/launcher"

# Starts the launcher with a display unless DISPLAY= is given; keeps its status and stderr.
launch() { # [VAR=value…]
  : > "$t/record"
  status=0
  env -i HOME="$t/home" PATH=/usr/bin:/bin RECORD="$t/record" DISPLAY=:99 "$@" \
    sh "$t/launcher" 2> "$t/stderr" || status=$?
}
# The launcher refused, said so on stderr and, with a display, in the box, naming PATH.
refused() { # case path [display|no-display]
  [ "$status" -eq 1 ] || fail "$1: status $status"
  grep -q '起動しませんでした' "$t/stderr" && grep -qF "$2" "$t/stderr" || fail "$1: stderr: $(cat "$t/stderr")"
  if [ "${3:-display}" = display ]; then
    [ "$(grep -c '^cwd=' "$t/record")" -eq 1 ] &&
      grep -q "^cwd=.* folder= args=--start-refused ペルモラを起動しませんでした" "$t/record" &&
      grep -qF "$2" "$t/record" || fail "$1: the box was not shown as it should: $(cat "$t/record")"
  else
    [ ! -s "$t/record" ] || fail "$1: without a display the program was started: $(cat "$t/record")"
  fi
}

# A start on the user's own folder runs the installed program there, never one in the folder.
folder=$t/home/.local/share/pelmora
mkdir -p "$folder"
printf '#!/bin/sh\ntouch "%s/planted-ran"\n' "$t" > "$folder/pelmora"
chmod 700 "$folder/pelmora"
launch
[ "$status" -eq 0 ] || fail "own folder: status $status: $(cat "$t/stderr")"
[ "$(cat "$t/record")" = "cwd=$folder folder=$folder args=" ] || fail "own folder: $(cat "$t/record")"
[ ! -e "$t/planted-ran" ] || fail "the program in the folder was run"
[ "$(stat -c %a "$folder/★MailData")" = 700 ] || fail "★MailData is not the user's alone"
[ "$(readlink "$folder/Sound")" = "$installed/Sound" ] || fail "no link to the sound"

chmod 777 "$folder"
launch
refused "a folder anyone may write to" "$folder"
launch DISPLAY=
refused "the same without a display" "$folder" no-display
chmod 700 "$folder"

rm -r "$folder/★MailData"
mkdir -m 777 "$t/open"
ln -s "$t/open" "$folder/★MailData"
launch
refused "★MailData a link to a folder anyone may write to" "$t/open"
rm "$folder/★MailData"

mkdir -m 775 "$t/group-writable"
chmod 775 "$t/group-writable"
launch XDG_DATA_HOME="$t/group-writable/data"
refused "a folder in one the group may write to" "$t/group-writable"

# Two first starts at once, several times: both go on (mkdir used to fail on the other's folder).
for round in 1 2 3 4 5 6; do
  data=$t/race-$round
  : > "$t/record"
  for run in a b; do
    env -i HOME="$t/home" PATH=/usr/bin:/bin RECORD="$t/record" XDG_DATA_HOME="$data" \
      sh "$t/launcher" 2> "$t/stderr-$run" &
    eval "pid_$run=$!"
  done
  wait "$pid_a" || fail "round $round: the first start failed: $(cat "$t/stderr-a")"
  wait "$pid_b" || fail "round $round: the second start failed: $(cat "$t/stderr-b")"
  [ "$(grep -c "folder=$data/pelmora args=\$" "$t/record")" -eq 2 ] || fail "round $round: $(cat "$t/record")"
done
echo "PASS: the launcher"
