#!/usr/bin/env bash
# A meter that never answers (its line opens, no reply comes): the device
# search waits for it on the link's thread, and meanwhile the window answers
# clicks within 100 ms (the mode buttons, timed on the screen as in
# download_cancel.sh); then the timeout comes as a message box.
. "$(dirname "$0")/e2e_lib.sh"
e2e_require
e2e_start_x
e2e_start_meter --fault no-reply
e2e_start_program

main=$(e2e_wait_window '장비 연결 성공' 20) || e2e_fail "the main window did not find the meter"
e2e_geometry "$main"
# The search button is at (229, 11), 106 x 101; the mode buttons sit at
# y 132, MEMORY from x 10 and OUTPUT from x 131, 120 x 25 each.
search_rect="229,11,106,101"
memory_rect="10,132,120,25"
output_rect="131,132,120,25"

# 장비 조회 (its answer: it greys while the search runs), then OUTPUT and
# MEMORY while the name, serial number and version requests wait for
# replies that never come.
results=$(e2e_react "$main" --click 281,60 --watch "$search_rect" \
    --click 141,144 --watch "$output_rect" --click 20,144 --watch "$memory_rect" \
    --click 141,144 --watch "$output_rect" --click 20,144 --watch "$memory_rect")
e2e_shot "searching"
e2e_log "answers after (ms): $(echo $results)"
[ "$(echo "$results" | head -n1)" = timeout ] && e2e_fail "the search button did not react"
modes=$(echo "$results" | tail -n +2)
echo "$modes" | grep -q -v '^[0-9]' && e2e_fail "a mode button did not answer during the search: $(echo $modes)"
worst=$(echo "$modes" | sort -n | tail -n1)
[ "$worst" -le 100 ] || e2e_fail "a click during the search took $worst ms to be answered (at most 100)"

# Three requests of 2.5 s each, then the stored-records stream gives up
# after its idle limit: the message box of the link's failure.
e2e_message '^압력 계측기$' 30 "message" || e2e_fail "no message about the silent meter, or it did not close"
kill -0 "$E2E_PROGRAM_PID" 2>/dev/null || e2e_fail "the program ended"
e2e_pass
