#!/bin/sh
# Runs sesame-pi on the X display it is started on (by xvfb-run) and reports
# what happened as key=value lines (window=yes, blue=yes, box=yes, status=N):
#   x-session.sh BINARY term    wait for the window, then SIGTERM
#   x-session.sh BINARY clicks  click "1,000", then Exit, and answer the box
# No window manager runs: the window is unframed, its client area at 358,68.
binary=$1
mode=$2

# Waits up to ten seconds for a window titled $1.
wait_for_window() {
    for _ in $(seq 100); do
        xwininfo -root -tree | grep -qF "\"$1\"" && return 0
        sleep 0.1
    done
    return 1
}

unset QT_QPA_PLATFORM
"$binary" &
pid=$!
wait_for_window 'Scatter sesame seeds to find an approximate value of pi !' && echo window=yes

if [ "$mode" = clicks ]; then
    xdotool mousemove $((358 + 184 + 39)) $((68 + 496 + 20)) click 1
    sleep 1
    # Blue pixels in the board's inner area.
    import -window root -crop 523x419+384+134 -depth 8 txt:- | grep -qi '#0000FF ' && echo blue=yes
    xdotool mousemove $((358 + 64 + 36)) $((68 + 584 + 16)) click 1
    wait_for_window 'Scatter sesame seeds to find pi !' && echo box=yes
    # Qt gives its modal box the keyboard; Return answers its one button.
    xdotool key Return
else
    kill -TERM "$pid"
fi

# The program has five seconds to end.
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    echo status=hung
else
    wait "$pid"
    echo "status=$?"
fi
