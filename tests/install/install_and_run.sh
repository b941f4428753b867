#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a fresh folder (no container),
# checks what it installs and declares, then starts the unpacked program as
# an ordinary user on the simulated meter under a virtual X server, runs a
# device search and saves a report through the real file dialog.
#
# usage: install_and_run.sh <build dir>
# Exit 77 (skipped) when a tool it needs is missing.
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb xvfb-run xdotool runuser; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "skipped: unpacking as another user needs root"; exit 77; }

work=$(mktemp -d /tmp/brevane-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# --- the package ---
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/brevane_*.deb)
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
fail() { echo "FAIL: $*"; exit 1; }
for f in usr/bin/brevane \
         usr/share/applications/brevane.desktop \
         usr/share/icons/hicolor/scalable/apps/brevane.svg \
         usr/lib/udev/rules.d/70-brevane-ft260.rules \
         usr/share/brevane/theme/VisualStudio2015Dark.ini \
         usr/share/brevane/help.dat.txt; do
  [ -e "$work/root/$f" ] || fail "the package lacks $f"
done
depends=$(grep '^Depends:' "$work/control/control")
for dep in libqt6widgets6 libhidapi-hidraw0 fonts-nanum libqt6svg6; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q 'udevadm control --reload-rules' "$work/control/postinst" || fail "postinst does not reload udev rules"
grep -q '^Name\[ko\]=압력 계측기' "$work/root/usr/share/applications/brevane.desktop" || fail "no Korean name"

# --- the program, as an ordinary user who cannot write beside it ---
home="$work/home"
mkdir -p "$home"
chown nobody "$home"
chmod -R a+rX "$work/root"
report="$home/report-test.xls"
cat > "$work/drive.sh" <<DRIVE
#!/usr/bin/env bash
# Every step waits for what it needs on the screen, so that a slow machine
# only takes longer.
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run"
# A real window on the virtual X server, whatever the tests around us use.
export QT_QPA_PLATFORM=xcb
mkdir -p "\$XDG_RUNTIME_DIR"; chmod 700 "\$XDG_RUNTIME_DIR"
"$work/root/usr/bin/brevane" --simulate >"$home/out.log" 2>&1 &
pid=\$!
wait_for() {   # wait_for <window name> : up to 30 s
  for i in \$(seq 1 150); do
    xdotool search --name "\$1" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  echo "no window named \$1" >>"$home/out.log"
  return 1
}
wait_for '장비 연결 성공' &&                   # the first detection tick found the meter
xdotool mousemove 281 60 click 1 &&          # 장비 조회
sleep 2 &&
xdotool mousemove 1210 694 click 1 &&        # 엑셀 저장
wait_for '다른 이름으로 저장' &&
sleep 1 &&
xdotool key ctrl+a &&                        # over the suggested name
xdotool type --delay 20 "$report" &&
xdotool key Return
for i in \$(seq 1 100); do [ -s "$report" ] && break; sleep 0.2; done
sleep 1
kill \$pid 2>/dev/null || true
wait \$pid 2>/dev/null || true
DRIVE
chmod 755 "$work/drive.sh"
runuser -u nobody -- xvfb-run -a -s "-screen 0 1280x720x24" "$work/drive.sh"

[ -s "$report" ] || { cat "$home/out.log" 2>/dev/null; fail "no report was written"; }
/usr/bin/python3 - "$report" <<'PY' || fail "the report does not read back"
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
assert sheet.cell_value(0, 0) == "작성 일시", sheet.cell_value(0, 0)
assert sheet.cell_value(2, 2) == "SIM-METER", sheet.cell_value(2, 2)
assert sheet.cell_value(6, 0) == "NO.", sheet.cell_value(6, 0)
print("report rows:", sheet.nrows)
PY
data="$home/.local/share/brevane"
[ -f "$data/brevane.ini" ] || fail "the settings were not kept in the per-user folder"
[ -d "$data/Log" ] && [ -d "$data/Dmp" ] || fail "no Log and Dmp folders in the per-user folder"
[ ! -e "$work/root/usr/bin/Log" ] || fail "the installed program wrote beside itself"
echo "installed package: OK"
