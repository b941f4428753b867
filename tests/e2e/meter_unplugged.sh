#!/usr/bin/env bash
# The meter goes away (its simulator is killed): within 2 s the title says
# "연결장비 없음".
. "$(dirname "$0")/e2e_lib.sh"
e2e_require
e2e_start_x
e2e_start_meter
e2e_start_program

e2e_wait_window '장비 연결 성공' 20 >/dev/null || e2e_fail "the main window did not find the meter"
e2e_shot "connected"
e2e_stop_meter
start=$(date +%s%N)
e2e_wait_window '연결장비 없음' 2 >/dev/null || e2e_fail "the title did not change within 2 s"
e2e_log "noticed after $(( ($(date +%s%N) - start) / 1000000 )) ms"
e2e_pass
