#!/usr/bin/env bash
# The Debian package on a brand-new Debian 12, as root inside a throwaway root (not part of
# scripts/test, which runs on the developer's machine):
#   /work/shared/tools/fresh-debian/run-fresh CHECKOUT --branch B --shared ../shared -- \
#     tests/package/install-in-fresh-root.sh [SCREENSHOT_DIR]
# Builds the package with scripts/package, installs it with apt-get (which must pull every
# dependency), starts `pelmora` for two users on a virtual screen, checks that each got a program
# folder of their own where the program saved its settings and that nothing was written under
# /usr, that a folder another user planted a program and settings in, or one anyone may write to,
# is refused with a box saying why, and that first starts at once all succeed; then purges the
# package and checks that none of its files remain while the users' folders do. Screenshots of
# the first user's start and of the refusal's box are saved in SCREENSHOT_DIR (default /tmp),
# which the caller keeps with run-fresh --keep.
set -euo pipefail
cd "$(dirname "$0")/../.."
shots=${1:-/tmp}
mkdir -p "$shots"
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*" >&2; }
export DEBIAN_FRONTEND=noninteractive
apt_opts=(-o DPkg::Lock::Timeout=600 -y -q)

step "building the package"
deb=$(scripts/package | tail -n 1)
[ -f "$deb" ] || fail "scripts/package printed no package path"
echo "package: $deb"
dpkg-deb -f "$deb" Depends

# Only what the package names itself: the build's packages are removed first, so a dependency
# the package forgot cannot be present by chance.
step "removing the build packages, installing the package"
mapfile -t build_packages < <(sed -n 's/^\(build\|run\|package\): //p' scripts/packages.txt)
apt-get "${apt_opts[@]}" purge "${build_packages[@]}" >/dev/null
apt-get "${apt_opts[@]}" autoremove --purge >/dev/null
apt-get "${apt_opts[@]}" install --no-install-recommends "$deb"
apt-get "${apt_opts[@]}" install --no-install-recommends xvfb netpbm xdotool >/dev/null
# The package's own files and links (the folders it shares with others are dpkg's business).
mapfile -t package_files < <(dpkg -L pelmora | while read -r f; do [ -d "$f" ] && [ ! -L "$f" ] || echo "$f"; done)
touch /tmp/installed-marker

step "a virtual screen"
mkdir -p /tmp/fb
Xvfb :5 -screen 0 800x600x24 -nolisten tcp -ac -fbdir /tmp/fb 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -S /tmp/.X11-unix/X5 ] && break; sleep 0.2; done
[ -S /tmp/.X11-unix/X5 ] || fail "Xvfb did not start"
# For this script's own looks at the screen (xdotool).
export DISPLAY=:5

# Starts pelmora as USER on the virtual screen with a clean environment (and the variables given),
# the way a desktop session would; sets pid to the program's process id (setpriv, env and the
# launcher all exec) and log to the file its output goes to.
start_as() { # user [VAR=value…]
  local user=$1 runtime="/tmp/runtime-$1"
  shift
  install -d -m 700 -o "$user" -g "$user" "$runtime"
  log=$(mktemp "/tmp/pelmora-$user.XXXXXX.log")
  setpriv --reuid="$user" --regid="$user" --init-groups \
    env -i HOME="/home/$user" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    DISPLAY=:5 XDG_RUNTIME_DIR="$runtime" "$@" pelmora >"$log" 2>&1 &
  pid=$!
}
# SIGTERM ends the program as closing the main window does: it saves its settings.
stop_as() { # user
  kill -TERM "$pid"
  local status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { cat "$log" >&2; fail "pelmora for $1 ended with status $status on SIGTERM"; }
}
# Waits until the launcher started as pid has become the installed program.
wait_for_program() { # what
  for _ in $(seq 100); do
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = /usr/lib/pelmora/pelmora ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" >&2
  fail "$1: the launcher did not start the program"
}

for user in alice bob; do
  step "pelmora for $user"
  useradd --create-home --shell /bin/bash "$user"
  folder="/home/$user/.local/share/pelmora"
  start_as "$user"
  sleep 6
  kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; fail "pelmora for $user ended early"; }

  # The installed program runs in the user's folder and takes it as its own program folder.
  [ "$(readlink "/proc/$pid/exe")" = /usr/lib/pelmora/pelmora ] || fail "$user: the program run is $(readlink "/proc/$pid/exe")"
  [ "$(readlink "/proc/$pid/cwd")" = "$folder" ] || fail "$user: current directory is $(readlink "/proc/$pid/cwd")"
  tr '\0' '\n' < "/proc/$pid/environ" | grep -qx "PELMORA_PROGRAM_FOLDER=$folder" ||
    fail "$user: the program was not told its folder"
  [ -d "$folder/★MailData" ] && [ ! -L "$folder/★MailData" ] || fail "$user: no ★MailData folder of their own"
  [ "$(stat -c '%U %a' "$folder/★MailData")" = "$user 700" ] || fail "$user: ★MailData is $(stat -c '%U %a' "$folder/★MailData")"
  [ ! -e "$folder/pelmora" ] && [ ! -L "$folder/pelmora" ] || fail "$user: a program in the folder"
  for name in Sound 画像データ docs; do
    [ "$(readlink "$folder/$name")" = "/usr/lib/pelmora/$name" ] || fail "$user: $name is not a link into /usr/lib/pelmora"
  done

  if [ "$user" = alice ]; then
    echo "Qt plugins the program loaded, and their packages:"
    grep -o '/usr/lib/[^ ]*/qt6/plugins/.*\.so' "/proc/$pid/maps" | sort -u |
      while read -r plugin; do printf '  %s (%s)\n' "$plugin" "$(dpkg -S "$plugin" | cut -d: -f1)"; done
    xwdtopnm < /tmp/fb/Xvfb_screen0 2>/dev/null | pnmtopng > "$shots/pelmora-fresh-root.png"
    echo "screenshot: $shots/pelmora-fresh-root.png"
  fi

  # Closing writes the mail program's setting (NAME), which a start alone does not write.
  ! grep -q '^NAME=' "$folder/★MailData/ini.ini" 2>/dev/null || fail "$user: NAME saved before the end"
  stop_as "$user"
  grep -q '^NAME=' "$folder/★MailData/ini.ini" || { cat "$log" >&2; fail "$user: nothing saved in $folder/★MailData on exit"; }
  [ "$(stat -c %U "$folder/★MailData/ini.ini")" = "$user" ] || fail "$user: ini.ini not the user's"
  echo "$user: $(ls -A "$folder" | tr '\n' ' ')| ★MailData: $(ls -A "$folder/★MailData" | tr '\n' ' ')"
done

step "a second start keeps the settings and refreshes the links"
printf 'SMTP=\r\nPOP3=pop3s://mail.example.com\r\nMAIL=\r\nAPOP=0\r\n' > /home/bob/.local/share/pelmora/vbmail.ini
chown bob: /home/bob/.local/share/pelmora/vbmail.ini
rm /home/bob/.local/share/pelmora/Sound
ln -s /usr/lib/pelmora/gone /home/bob/.local/share/pelmora/gone
before=$(md5sum /home/bob/.local/share/pelmora/★MailData/ini.ini /home/bob/.local/share/pelmora/vbmail.ini)
start_as bob
sleep 4
stop_as bob
[ "$(readlink /home/bob/.local/share/pelmora/Sound)" = /usr/lib/pelmora/Sound ] || fail "the Sound link was not made again"
[ ! -L /home/bob/.local/share/pelmora/gone ] || fail "a link to a file the package no longer has was left"
[ "$before" = "$(md5sum /home/bob/.local/share/pelmora/★MailData/ini.ini /home/bob/.local/share/pelmora/vbmail.ini)" ] ||
  fail "a second start changed bob's settings"

step "folders another user could change are refused"
# Shows the refusal's box for a start set up by the caller (pid, log): waits for the box, keeps
# its picture as SHOT, closes it with Return and checks that the start failed, saying why.
refused() { # what folder shot
  local box="" status=0
  for _ in $(seq 100); do
    box=$(xdotool search --onlyvisible --class Pelmora 2>/dev/null | head -n 1) && [ -n "$box" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$box" ] || { cat "$log" >&2; fail "$1: no box"; }
  sleep 0.5
  xwdtopnm < /tmp/fb/Xvfb_screen0 2>/dev/null | pnmtopng > "$shots/$3"
  # The box shows the text it was given (tests/app/start_refusal_test.cpp): here, what it was given.
  local shown
  shown=$(tr '\0' '\n' < "/proc/$(xdotool getwindowpid "$box")/cmdline")
  grep -qx -- --start-refused <<<"$shown" && grep -qxF "$2" <<<"$shown" ||
    fail "$1: the box does not name $2: $shown"
  # On a screen without a window manager the keyboard goes to the window under the pointer.
  xdotool mousemove --window "$box" 20 20 key Return
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$1: Return did not close the box"
  wait "$pid" || status=$?
  [ "$status" -eq 1 ] || { cat "$log" >&2; fail "$1: the launcher ended with status $status"; }
  grep -qF "$2" "$log" || { cat "$log" >&2; fail "$1: nothing said on standard error"; }
  echo "$1: refused; box shown ($shots/$3): $(grep -A2 '起動しませんでした' "$log" | tr '\n' ' ')"
}
shared=/srv/shared-data
install -d -m 777 -o bob -g bob "$shared"
setpriv --reuid=bob --regid=bob --init-groups sh -c '
  mkdir -m 755 "$1/pelmora"
  printf "#!/bin/sh\ntouch /tmp/planted-program-ran\n" > "$1/pelmora/pelmora"
  chmod 755 "$1/pelmora/pelmora"
  printf "SMTP=\r\nPOP3=pop3://planted.example\r\nMAIL=\r\nAPOP=0\r\n" > "$1/pelmora/vbmail.ini"' _ "$shared"
start_as alice XDG_DATA_HOME="$shared"
refused "bob's folder for alice" "$shared/pelmora" pelmora-refused.png
[ ! -e /tmp/planted-program-ran ] || fail "the program bob planted ran"
[ -z "$(find "$shared" -user alice)" ] || fail "alice wrote in bob's folder: $(find "$shared" -user alice)"

alice_folder=/home/alice/.local/share/pelmora
alice_settings=$(md5sum "$alice_folder/★MailData/ini.ini")
chmod 777 "$alice_folder"
start_as alice
refused "alice's folder anyone may write to" "$alice_folder" pelmora-refused-777.png
[ "$alice_settings" = "$(md5sum "$alice_folder/★MailData/ini.ini")" ] || fail "a refused start changed the settings"
chmod 700 "$alice_folder"

step "first starts at once"
# Two starts of a user who has no folder yet, at the same moment, a few times over; the program
# runs off the screen (no need for two windows), and both starts must reach it.
for round in 1 2 3 4; do
  pids=()
  logs=()
  for _ in a b; do
    start_as alice XDG_DATA_HOME="/home/alice/first-$round" QT_QPA_PLATFORM=offscreen
    pids+=("$pid")
    logs+=("$log")
  done
  for i in 0 1; do
    pid=${pids[$i]} log=${logs[$i]}
    wait_for_program "first start $round.$i"
  done
  for i in 0 1; do
    kill -TERM "${pids[$i]}"
    wait "${pids[$i]}" || true
    ! grep -q '^pelmora:' "${logs[$i]}" || fail "first start $round.$i: $(cat "${logs[$i]}")"
  done
done
echo "eight first starts, two at a time: all started the program"

step "nothing written under /usr"
dpkg --verify pelmora || fail "the package's files changed"
written=$(find /usr/lib/pelmora /usr/share/doc/pelmora -newer /tmp/installed-marker)
[ -z "$written" ] || fail "written under /usr: $written"

kill "$xvfb"; wait "$xvfb" 2>/dev/null || true

step "purging the package"
apt-get "${apt_opts[@]}" purge pelmora >/dev/null
left=()
for file in "${package_files[@]}" /usr/lib/pelmora /usr/share/doc/pelmora; do
  if [ -e "$file" ] || [ -L "$file" ]; then left+=("$file"); fi
done
dpkg-query -W -f='${Status}' pelmora 2>/dev/null | grep -q installed && left+=("dpkg still lists pelmora")
[ ${#left[@]} -eq 0 ] || fail "left after purge: ${left[*]}"
for user in alice bob; do
  [ -f "/home/$user/.local/share/pelmora/★MailData/ini.ini" ] || fail "purge removed $user's settings"
done
[ -f /home/bob/.local/share/pelmora/vbmail.ini ] || fail "purge removed bob's vbmail.ini"
echo "after purge: the package's files are gone, alice's and bob's folders remain"
echo "PASS: the package installs, runs for two users and purges cleanly"
