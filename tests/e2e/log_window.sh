#!/usr/bin/env bash
# The packet log window: "로그 보기" opens it in front of the main window as
# its tool window, "Log Save" writes the hour's file under Log/, "Close"
# hides it.
. "$(dirname "$0")/e2e_lib.sh"
e2e_require
e2e_start_x
e2e_start_meter
e2e_start_program

main=$(e2e_wait_window '장비 연결 성공' 20) || e2e_fail "the main window did not find the meter"
e2e_shot "main"
e2e_geometry "$main"
# "로그 보기" sits 505 px from the right and 40 px from the bottom, 120 x 30.
e2e_click "$main" $((E2E_W - 505 + 60)) $((E2E_H - 40 + 15))
log=$(e2e_wait_window '^Log$' 5) || e2e_fail "the log window did not open"
sleep 0.3
e2e_shot "log-open"
e2e_is_above "$log" "$main" || e2e_fail "the log window is not in front of the main window"
xprop -id "$log" WM_TRANSIENT_FOR | grep -q "window id" || e2e_fail "the log window belongs to no window"
xprop -id "$log" _NET_WM_WINDOW_TYPE | grep -q "_NET_WM_WINDOW_TYPE_UTILITY" ||
    e2e_fail "the log window is not a tool window"

# Controls by their place in dialog units (the window is 577 x 351 of them).
e2e_geometry "$log"
dlu_x() { echo $(($1 * E2E_W / 577)); }
dlu_y() { echo $(($1 * E2E_H / 351)); }
e2e_click "$log" "$(dlu_x 462)" "$(dlu_y 14)"                 # "Log Save"
# The main window stays usable beside it: the log window is moved off the
# device search button (281, 60), which then makes the meter talk.
xdotool windowmove "$log" 100 400
sleep 0.3
e2e_click "$main" 281 60                                      # 장비 조회
hour_file="Log/$(date +%Y-%m-%d)/$(date +%Y-%m-%d_%H)_LOG.log"
for i in $(seq 1 100); do
    [ -s "$E2E_PROG_DIR/$hour_file" ] && break
    sleep 0.1
done
# The hour may turn while we wait: any hour file of the day will do then.
ls "$E2E_PROG_DIR"/Log/*/*_LOG.log >/dev/null 2>&1 || e2e_fail "no $hour_file after Log Save"
grep -q -- "-\[" "$E2E_PROG_DIR"/Log/*/*_LOG.log || e2e_fail "the log file holds no entry"
e2e_shot "log-saving"

e2e_click "$log" "$(dlu_x 545)" "$(dlu_y 12)"                 # "Close"
e2e_wait_gone '^Log$' 3 || e2e_fail "Close did not hide the log window"
kill -0 "$E2E_PROGRAM_PID" 2>/dev/null || e2e_fail "the program ended"
e2e_pass
