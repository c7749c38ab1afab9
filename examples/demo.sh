#!/usr/bin/env bash
# make demo: packs the bundled example product, runs its installer silently under Wine in a fresh
# Wine prefix, shows what it did, then uninstalls it with its registration's QuietUninstallString
# and shows what is left.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=build/demo
mkdir -p "$OUT"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${HALBERD_DEMO_PREFIX:-$ROOT/$OUT/wineprefix}
TEMPLATE=${HALBERD_WINEPREFIX:-/opt/halberd-deps/wineprefix}

echo "== packing examples/demo/product.toml"
build/native/bin/halberd-pack examples/demo/product.toml -o "$OUT/example-setup.exe"

if why=$(bash scripts/can-run-32bit.sh); then :; elif [ -f "${HALBERD_DEPS:-/opt/halberd-deps}/vm/$(bash scripts/vm/kit-id.sh)/initrd.gz" ]; then
  # The rest runs in the emulated test machine, its Wine prefix in that machine's own storage.
  echo "== $why: the rest runs in the emulated test machine (slower)"
  HALBERD_DEMO_PREFIX=/tmp/halberd-demo-prefix exec bash scripts/vm/run.sh bash examples/demo.sh
else
  echo "== the installer is packed in $OUT/example-setup.exe, but it cannot be run: $why"
  exit 1
fi

echo
echo "== a fresh Wine prefix in $WINEPREFIX"
[ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; }
cp -a "$TEMPLATE" "$WINEPREFIX"
wine cmd /c exit </dev/null >/dev/null 2>&1

echo
echo "== running: wine $OUT/example-setup.exe /silent"
set +e
wine "$OUT/example-setup.exe" /silent </dev/null > "$OUT/run.out" 2> "$OUT/run.err"
code=$?
set -e
case $code in
  0) meaning="installation finished" ;;
  2) meaning="the installation data is damaged" ;;
  15) meaning="command-line error" ;;
  16) meaning="finished; a restart is required" ;;
  17) meaning="finished, but the disk was full" ;;
  255) meaning="fatal error" ;;
  *) meaning="see the exit-code table in README.md" ;;
esac
echo "exit code: $code ($meaning)"
[ -s "$OUT/run.err" ] && { echo "messages:"; sed 's/^/  /' "$OUT/run.err"; }

echo
echo "== what the run left"
uninstall_data=$(find "$WINEPREFIX/drive_c" -name Uninstall.dat -path '*Halberd Demo*' 2>/dev/null | head -n1)
if [ -n "$uninstall_data" ]; then
  # The uninstall folder may be a sub-folder; the tree is shown from the installation folder.
  folder=$(dirname "$uninstall_data")
  case $folder in */Halberd\ Demo/*) folder=${folder%%/Halberd Demo/*}/Halberd\ Demo ;; esac
  echo "installation folder: ${folder#$WINEPREFIX/}"
  (cd "$folder" && find . -mindepth 1 | sort | while read -r f; do
     if [ -d "$f" ]; then echo "  ${f#./}/"; else printf '  %-40s %8d bytes  %s\n' "${f#./}" "$(stat -c %s "$f")" \
       "$(date -u -r "$f" '+%Y-%m-%d %H:%M:%S')"; fi
   done)
  if [ -f "$(dirname "$uninstall_data")/Install.log" ]; then
    echo; echo "Install.log:"; tr -d '\r' < "$(dirname "$uninstall_data")/Install.log" | sed 's/^/  /'
  fi
  echo; echo "Uninstall.dat (records, then the [Strings] section, shortened):"
  tr -d '\r' < "$uninstall_data" | awk '/^\[Strings\]$/ {s=1} {if (!s || n++ < 6) print "  " $0} END {if (n > 6) print "  ..."}'
else
  echo "no Uninstall.dat was written"
fi
echo
echo "shortcuts:"
find "$WINEPREFIX/drive_c" -name '*.lnk' \( -path '*Desktop*' -o -path '*Halberd Demo*' \) 2>/dev/null \
  | sed "s|^$WINEPREFIX/||; s/^/  /" | sort
echo "registry:"
for key in 'HKLM\Software\Halberd Demo' 'HKCU\Software\Halberd Demo' \
           'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\hello.cmd'; do
  wine reg query "$key" /s </dev/null 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/  /' || echo "  $key: (none)"
done
echo "the product's registration (HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halberd Demo, 32-bit view):"
registration=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Halberd Demo' /reg:32 \
  </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^    /  /p' || true)
echo "${registration:-  (not registered)}"
echo
echo "extraction file registered for deletion at restart:"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
  </dev/null 2>/dev/null | tr -d '\0' | grep -oE '[^ ]*TLT[^ ]*' | sed 's/^/  /' || echo "  (none)"
tempdir=$(wine cmd /c 'echo %TEMP%' </dev/null 2>/dev/null | tr -d '\r')
echo "temporary files left in $tempdir: $(find "$WINEPREFIX/drive_c/users" -name 'TLT*' 2>/dev/null | wc -l)"

echo
echo "== uninstalling with the registration's QuietUninstallString"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Halberd Demo'
quiet=$(wine reg query "$key" /v QuietUninstallString /reg:32 </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/.*REG_SZ[[:space:]]*//p')
if [ -z "$quiet" ]; then
  echo "the product is not registered: nothing to uninstall"
else
  echo "command: $quiet"
  # A batch passes the command line as the registration wrote it.
  printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$quiet" > "$OUT/uninstall.bat"
  set +e
  wine cmd /c "Z:$(printf '%s' "$ROOT/$OUT/uninstall.bat" | tr / '\\')" </dev/null > "$OUT/uninstall.out" 2> "$OUT/uninstall.err"
  ucode=$?
  set -e
  case $ucode in
    0) umeaning="removed" ;; 3) umeaning="removed with failures" ;; 12) umeaning="cancelled" ;;
    13) umeaning="not installed" ;; 14) umeaning="uninstall information corrupt" ;; *) umeaning="see README.md" ;;
  esac
  echo "exit code: $ucode ($umeaning)"
  [ -s "$OUT/uninstall.err" ] && { echo "messages:"; sed 's/^/  /' "$OUT/uninstall.err"; }
  # The uninstaller's copy and the emptied folders go through delunins.bat once it has ended.
  if [ -n "$uninstall_data" ]; then
    for _ in $(seq 1 30); do [ -e "$folder" ] || break; sleep 1; done
    if [ -e "$folder" ]; then
      echo "left in the installation folder:"; (cd "$folder" && find . -mindepth 1 | sort | sed 's/^\.\//  /')
    else
      echo "the installation folder is gone"
    fi
  fi
  if wine reg query "$key" /reg:32 </dev/null >/dev/null 2>&1; then echo "the registration is still there"
  else echo "the registration is gone"; fi
fi
wineserver -k 2>/dev/null || true
echo
echo "The installer is $OUT/example-setup.exe; run it again with: WINEPREFIX=$WINEPREFIX wine $OUT/example-setup.exe /silent"
exit $code
