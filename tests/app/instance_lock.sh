# Sourced by the app test scripts. The framework's single-instance lock is one file for
# the whole machine: with a recorder already running, ours would hand itself over to it
# and show no window, so say so instead of failing on a missing window. Another user's
# recorder, or lock file, is not ours to clear: the test is skipped (status 77, which
# tests/CMakeLists.txt reads as a skip).
instance_lock="/var/tmp/juceAppLock_Velmora Recorder"
[ -d /var/tmp ] || instance_lock="/tmp/juceAppLock_Velmora Recorder"

skip() { echo "SKIP: $*"; exit 77; }

refuse_if_another_instance() {
    local id p
    # By the file's identity in /proc/locks: a user who is not root cannot see the
    # path of another user's lock (lslocks shows none).
    id=$(stat -c '%Hd %Ld %i' "$instance_lock" 2>/dev/null) || return 0
    id=$(printf '%02x:%02x:%s' $id)
    p=$(awk -v id="$id" '$6 == id { print $5; exit }' /proc/locks)
    [ -z "$p" ] && return 0
    [ "$(stat -c %u "/proc/$p")" = "$(id -u)" ] \
        || skip "the Velmora Recorder of user $(stat -c %U "/proc/$p") (pid $p) holds the single-instance lock '$instance_lock'"
    echo "FAIL: another Velmora Recorder (pid $p: $(tr '\0' ' ' </proc/"$p"/cmdline 2>/dev/null)) holds the single-instance lock '$instance_lock'; quit it first"
    exit 1
}

# A lock file that this user cannot open: the framework then lets every instance start.
skip_unless_lock_can_be_taken() {
    [ ! -e "$instance_lock" ] || [ -w "$instance_lock" ] \
        || skip "the single-instance lock '$instance_lock' belongs to $(stat -c %U "$instance_lock"), and $(id -un) cannot take it"
}
