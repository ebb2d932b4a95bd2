#!/usr/bin/env bash
# The Debian package on a brand-new Debian 12, as root inside a throwaway root (not part of
# scripts/test, which runs on the developer's machine):
#   /work/shared/tools/fresh-debian/run-fresh CHECKOUT --branch B --shared ../shared -- \
#     tests/package/install-in-fresh-root.sh [SCREENSHOT_DIR]
# Builds the package with scripts/package, installs it with apt-get (which must pull every
# dependency), starts `pelmora` for two users on a virtual screen, checks that each got a program
# folder of their own where the program saved its settings and that nothing was written under
# /usr, then purges the package and checks that none of its files remain while the users' folders
# do. The screenshot of the first user's start is saved in SCREENSHOT_DIR (default /tmp), which
# the caller keeps with run-fresh --keep.
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
apt-get "${apt_opts[@]}" install --no-install-recommends xvfb netpbm >/dev/null
# The package's own files and links (the folders it shares with others are dpkg's business).
mapfile -t package_files < <(dpkg -L pelmora | while read -r f; do [ -d "$f" ] && [ ! -L "$f" ] || echo "$f"; done)
touch /tmp/installed-marker

step "a virtual screen"
mkdir -p /tmp/fb
Xvfb :5 -screen 0 800x600x24 -nolisten tcp -ac -fbdir /tmp/fb 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -S /tmp/.X11-unix/X5 ] && break; sleep 0.2; done
[ -S /tmp/.X11-unix/X5 ] || fail "Xvfb did not start"

# Starts pelmora as USER on the virtual screen with a clean environment, the way a desktop
# session would; sets pid to the program's process id (setpriv, env and the launcher all exec).
start_as() { # user
  local home="/home/$1" runtime="/tmp/runtime-$1"
  install -d -m 700 -o "$1" -g "$1" "$runtime"
  setpriv --reuid="$1" --regid="$1" --init-groups \
    env -i HOME="$home" USER="$1" LOGNAME="$1" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    DISPLAY=:5 XDG_RUNTIME_DIR="$runtime" pelmora >"/tmp/pelmora-$1.log" 2>&1 &
  pid=$!
}
# SIGTERM ends the program as closing the main window does: it saves its settings.
stop_as() { # user
  kill -TERM "$pid"
  local status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { cat "/tmp/pelmora-$1.log" >&2; fail "pelmora for $1 ended with status $status on SIGTERM"; }
}

for user in alice bob; do
  step "pelmora for $user"
  useradd --create-home --shell /bin/bash "$user"
  folder="/home/$user/.local/share/pelmora"
  start_as "$user"
  sleep 6
  kill -0 "$pid" 2>/dev/null || { cat "/tmp/pelmora-$user.log" >&2; fail "pelmora for $user ended early"; }

  # The program runs in the user's folder and takes it as its own program folder.
  [ "$(readlink "/proc/$pid/cwd")" = "$folder" ] || fail "$user: current directory is $(readlink "/proc/$pid/cwd")"
  tr '\0' '\n' < "/proc/$pid/environ" | grep -qx "PELMORA_PROGRAM_FOLDER=$folder" ||
    fail "$user: the program was not told its folder"
  [ -d "$folder/★MailData" ] && [ ! -L "$folder/★MailData" ] || fail "$user: no ★MailData folder of their own"
  [ "$(stat -c '%U %a' "$folder/★MailData")" = "$user 700" ] || fail "$user: ★MailData is $(stat -c '%U %a' "$folder/★MailData")"
  for name in pelmora Sound 画像データ docs; do
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
  grep -q '^NAME=' "$folder/★MailData/ini.ini" || { cat "/tmp/pelmora-$user.log" >&2; fail "$user: nothing saved in $folder/★MailData on exit"; }
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
