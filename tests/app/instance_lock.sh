# Sourced by the app test scripts. The framework's single-instance lock is one file for
# the whole machine: with a recorder already running, ours would hand itself over to it
# and show no window, so say so instead of failing on a missing window.
refuse_if_another_instance() {
    local lock="/var/tmp/juceAppLock_Velmora Recorder" holder
    [ -d /var/tmp ] || lock="/tmp/juceAppLock_Velmora Recorder"
    # --raw writes a space of the path as \x20
    holder=$(lslocks --noheadings --raw --output PID,PATH 2>/dev/null | grep -F " ${lock// /\\x20}" | head -1) || true
    [ -z "$holder" ] && return 0
    local p=${holder%% *}
    echo "FAIL: another Velmora Recorder (pid $p: $(tr '\0' ' ' </proc/"$p"/cmdline 2>/dev/null)) holds the single-instance lock '$lock'; quit it and run the tests again"
    exit 1
}
