#!/usr/bin/env bash
# Outlook guards its object model: with the stand-in's Guard on, every notification waits in
# Outlook's security prompts until the user answers them. At the first address prompt the user
# ticks "Allow access for" 10 minutes, so that afterwards only send prompts come. An all-day
# appointment's send prompt is denied: it is not sent, and it never prompts again. Of two
# appointments of one minute, the first is allowed (once Allow unlocks after its wait) and sent
# once, the second denied: nothing is sent for it and no further prompt comes in its minute. In
# the next minute the first of two appointments waits 125 seconds in its prompt before the user
# allows it, past the whole of the following minute: after ten seconds a balloon says Horavane
# waits for the prompt; the second appointment of the minute still gets its prompt and is sent,
# and the one due in the minute the prompt held is sent late, once, before it starts. Last, an
# administrator's policy denies access (Guard 2): an appointment due then is not sent, no prompt
# comes, and the balloon and the pending list say Outlook refused it.
# Usage: security_prompt.sh <build dir>
. "$(dirname "$0")/lib.sh" "$1" security_prompt
e2e_begin 40

settings_configured
standin_use
reg_set "$STANDIN_KEY" Guard REG_DWORD 1
# Two appointments fall due in each of two minutes after start-up and the all-day appointment's
# prompts (about twenty seconds); their starts, and so their order, follow the reminder leads.
first=$(minute_after 35)
first_s=$(minute_start "$first")
second=$(date -d "@$(( first_s + 60 ))" +%H:%M)
second_s=$(( first_s + 60 ))
held=$(date -d "@$(( second_s + 60 ))" +%H:%M)
policy=$(date -d "@$(( second_s + 180 ))" +%H:%M)
policy_s=$(( second_s + 180 ))
calendar_write '[{"id":"holiday","summary":"Company holiday","allday":true,"location":"Everywhere"},
{"id":"allowed","summary":"Allowed review","due":"'$first'","reminder":1,"location":"Room 1"},
{"id":"denied","summary":"Denied review","due":"'$first'","reminder":2,"location":"Room 2"},
{"id":"slow","summary":"Slow answer","due":"'$second'","reminder":1,"location":"Room 3"},
{"id":"after_slow","summary":"After the slow answer","due":"'$second'","reminder":2,"location":"Room 4"},
{"id":"held","summary":"Due while the prompt waits","due":"'$held'","reminder":15,"location":"Room 5"},
{"id":"policy","summary":"Denied by policy","due":"'$policy'","reminder":15,"location":"Room 6"}]'
log "appointments due at $first, $second, $held and $policy, one all-day"

app_start
app_wait_running

# The all-day appointment: the address prompt, answered for ten minutes, then the send prompt,
# denied. It is not sent and prompts no more.
prompt_wait 30 || fail "no security prompt for the all-day appointment"
shot security-prompt-address "$PROMPT"
prompt_allow_for '10 minutes'
prompt_wait 15 || fail "no send prompt for the all-day appointment"
shot security-prompt-send "$PROMPT"
expect_eq "second prompt" "$PROMPT_KIND" send
prompt_answer deny
[ "$(now_s)" -le $(( first_s - 6 )) ] || fail "start-up took too long: fewer than six seconds before $first"
# Watched until two seconds before the first minute, as below for the second.
drv no-window "$PROMPT" $(( first_s - $(now_s) - 2 )) >/dev/null || fail "the denied all-day appointment prompts again"
[ "$(outbox_count)" -eq 0 ] || fail "a message was sent although its send was denied"

# The first minute: Allow sends, Deny does not, and no prompt follows either of them.
prompt_wait 15 || fail "no send prompt in the minute of the first appointment"
[ "$PROMPT_SHOWN_S" -ge "$first_s" ] || fail "the denied all-day appointment prompts again (at $(date -d "@$PROMPT_SHOWN_S" +%T))"
expect_eq "prompt for the first appointment" "$PROMPT_KIND" send
prompt_answer allow
prompt_wait 15 || fail "no send prompt for the second appointment of the minute"
expect_eq "prompt for the second appointment" "$PROMPT_KIND" send
prompt_answer deny
outbox_wait 1 10 || fail "the allowed message is not in the outbox"
# No prompt for the rest of the minute: watched until two seconds before its end (the driver takes
# a moment to start, and the next minute's prompt may come in its first second), and the next
# prompt must come no earlier than the next minute.
drv no-window "$PROMPT" $(( second_s - $(now_s) - 2 )) >/dev/null || fail "a prompt comes again after the answers of $first"
expect_outbox --to "$ADDRESS" --expect "allowed@$first" --absent denied --absent holiday --only

# The second minute: the first prompt is answered only after 125 seconds, past the whole of the
# next minute; the other appointment of that minute is still notified, and the one of the next
# minute is sent late.
prompt_wait 15 || fail "no send prompt in the minute of $second"
[ "$PROMPT_SHOWN_S" -ge "$second_s" ] || fail "a prompt comes again after the answers of $first (at $(date -d "@$PROMPT_SHOWN_S" +%T))"
expect_eq "prompt for the slow answer" "$PROMPT_KIND" send
slow_from=$PROMPT_SHOWN_S
balloon=$(drv tooltip 20 | tr -d '\r') || fail "no balloon while the prompt waits"
[[ "$balloon" == *"security prompt"*"$(viewer_line slow)"* ]] || fail "the balloon does not name the waiting send: $balloon"
log "balloon: $balloon"
sleep_until $(( PROMPT_SHOWN_S + 125 ))
prompt_answer allow
slow_to=$(now_s)
for id in after_slow held; do
  prompt_wait 15 || fail "no prompt for $id after the slow answer"
  expect_eq "prompt for $id" "$PROMPT_KIND" send
  prompt_answer allow
done
outbox_wait 4 10 || fail "only $(outbox_count) of 4 messages after the slow answer"
drv no-window "$PROMPT" 7 >/dev/null || fail "a prompt comes again after the last answer"
expect_outbox --to "$ADDRESS" --expect "allowed@$first" --expect "slow@$slow_from-$(( slow_to + 5 ))" \
  --expect "after_slow@$slow_to-$(now_s)" --expect "held@$slow_to-$(now_s)" --absent denied --absent holiday --only
tray_menu '&View Pending Notifications'
viewer=$(viewer_title)
drv wait-text "$viewer" Edit#0 contains "-- $(viewer_line held): sent late at " 5 >/dev/null ||
  fail "the list does not say it was sent late: $(viewer_text | tr '\n' '|')"

# The policy: refused at once, without a prompt, told once.
reg_set "$STANDIN_KEY" Guard REG_DWORD 2
log "access denied by policy (Guard 2)"
sleep_until "$policy_s"
balloon=$(drv tooltip 15 | tr -d '\r') || fail "no balloon for the refused notification"
[[ "$balloon" == *"refused"*"$(viewer_line policy)"* ]] || fail "the balloon does not name the refused one: $balloon"
drv wait-text "$viewer" Edit#0 contains "-- $(viewer_line policy): refused by Outlook --" 5 >/dev/null ||
  fail "the list does not say it was refused: $(viewer_text | tr '\n' '|')"
shot refused-by-policy "$viewer"
drv no-window "$PROMPT" 7 >/dev/null || fail "a prompt came while the policy denies access"
[ "$(outbox_count)" -eq 4 ] || fail "a message was sent while the policy denies access"
drv no-box "$BOX" 1 >/dev/null || fail "a message box came up"
app_exit
