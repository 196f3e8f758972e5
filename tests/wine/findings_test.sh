#!/usr/bin/env bash
# The console's findings under Wine: `check --list` gives each finding an id
# that stays while its place is there, and `repair --only` / `--skip` change
# exactly what they name; an unknown id changes nothing.
# Usage: findings_test.sh ARCH PREFIX-ROOT QINGHE-CLI-EXE
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" findings

run='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
main='HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main'
opener='"C:\Program Files\Internet Explorer\iexplore.exe" http://hijack.example/'
qinghe_wine_seed_hijack
wine reg add "$run" /v PageKeeper /d "$opener" /f >/dev/null
wine reg add "$run" /v PageMinder /d "$opener" /f >/dev/null

list() { wine "$cli" check --list "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r'; }
id_of() { awk -F'\t' -v what="$1" 'index($3, what) { print $1; exit }' <<<"$2"; }
value_of() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -c "$2" || true; }

first=$(list || true)
check_equal "two checks give the same ids" "$first" "$(list || true)"
keeper=$(id_of 'Run\PageKeeper' "$first")
minder=$(id_of 'Run\PageMinder' "$first")
policy=$(id_of '注册表项4' "$first")
check_true "each finding has an id of eight hex digits" grep -Eq '^[0-9a-f]{8}$' <<<"$keeper"
check_true "ids differ by place" test "$keeper" != "$minder"
check_equal "the Run values are listed as startup entries" "开机启动项" \
  "$(awk -F'\t' -v id="$keeper" '$1 == id { print $2 }' <<<"$first")"
# A place that has nothing to do with it changes no id.
wine reg add 'HKEY_CURRENT_USER\Software\Unrelated' /v Other /d x /f >/dev/null
wine reg delete "$run" /v PageMinder /f >/dev/null
second=$(list || true)
check_equal "an id stays while its place is there" "$keeper" "$(id_of 'Run\PageKeeper' "$second")"
wine reg add "$run" /v PageMinder /d "$opener" /f >/dev/null

status=0
wine "$cli" repair "http://www.example.com/" --only "$keeper,0000abcd" >/dev/null 2>&1 || status=$?
check_equal "an unknown id is a usage error" 2 "$status"
check_equal "after it, PageKeeper stays" 1 "$(value_of "$run" PageKeeper)"
check_true "after it, the start page stays" sh -c "wine reg query '$main' /v 'Start Page' | grep -q hijack"

log=$(wine "$cli" repair "http://www.example.com/" --only "$keeper" | iconv -f GBK -t UTF-8 || true)
check_equal "--only removes what it names" 0 "$(value_of "$run" PageKeeper)"
check_equal "--only leaves the rest" 1 "$(value_of "$run" PageMinder)"
check_true "--only leaves the start page" sh -c "wine reg query '$main' /v 'Start Page' | grep -q hijack"
check_equal "--only says one line" 1 "$(grep -c . <<<"$log")"

wine "$cli" repair "http://www.example.com/" --skip "$minder,$policy" >/dev/null || true
check_equal "--skip leaves what it names" 1 "$(value_of "$run" PageMinder)"
check_true "--skip leaves the policy it names" wine reg query 'HKEY_CURRENT_USER\Software\Policies\Microsoft'
check_true "--skip repairs the rest" sh -c "wine reg query '$main' /v 'Start Page' | grep -q example.com"
# The console's check and undo leave their logs for a person to send.
logs="$(qinghe_wine_user_dir "$WINEPREFIX")/AppData/Local/qinghe/logs"
wine "$cli" check "http://www.example.com/" >/dev/null || true
wine "$cli" undo >/dev/null || true
check_true "the check left a log" sh -c "ls '$logs' | grep -Eq '^check-[0-9]{8}-[0-9]{6}(-[0-9]+)?\.txt$'"
check_true "the undo left a log" sh -c "ls '$logs' | grep -q '^undo-'"
newest=$(ls "$logs"/check-* | sort | tail -1)
check_equal "a log starts with the UTF-8 mark" "efbbbf" "$(head -c 3 "$newest" | od -An -tx1 | tr -d ' \n')"
check_true "a log is UTF-8 and holds the check" grep -q '检查（不做修改）' "$newest"
check_true "a log says whether it ran elevated" grep -q '以管理员身份运行：' "$newest"
# Its first line names the program's build: which of the two wrote it.
check_true "a log's first line names the build" grep -Eqx "青禾 [0-9.]+（$(qinghe_wine_program_bits) 位）" \
  <(head -1 "$newest" | tail -c +4 | tr -d '\r')
check_summary
