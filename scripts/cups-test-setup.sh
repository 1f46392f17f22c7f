#!/usr/bin/env bash
# A private CUPS scheduler for the print spool tests, touching nothing
# system-wide: its configuration, spool, logs and local socket all live in DIR.
#   scripts/cups-test-setup.sh start DIR   starts it; clients reach it with
#                                          CUPS_SERVER=DIR/cups.sock
#   scripts/cups-test-setup.sh stop DIR    stops it
# Queues, each writing what it is sent, unchanged, to a file:
#   KorvaneRaw    A4, 600 dpi, margins 1/4 x 1/2 inch   -> DIR/out/raw.prn
#   KorvanePage   Letter, 300 dpi, margins 1/4 inch     -> DIR/out/page.prn
#   KorvanePlain  a queue without driver (no page attributes); a scheduler
#                 hands its jobs to no program, so nothing reaches its file
# The two first have a driver description whose only filter passes the data
# through; without one, the scheduler would write nothing to a file device.
set -euo pipefail

mode=${1:?usage: $0 start|stop DIR}
dir=${2:?usage: $0 start|stop DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

stop() {
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/cupsd.pid"
  fi
}

if [ "$mode" = stop ]; then
  stop
  exit 0
fi
[ "$mode" = start ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

CUPSD=$(command -v cupsd || echo /usr/sbin/cupsd)
[ -x "$CUPSD" ] || { echo "cups-test-setup: cupsd is not installed (package cups)" >&2; exit 1; }

# The scheduler runs its filters as another user when started by root: the
# folder must be reachable for it.
chmod 755 "$dir"
mkdir -p "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/out" "$dir/ppd"
chmod 1777 "$dir/out" "$dir/spool/tmp"
user=$(id -un)
group=$(id -gn)

cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice Yes
SystemGroup $group
User $( [ "$user" = root ] && echo lp || echo "$user" )
Group $( [ "$user" = root ] && echo lp || echo "$group" )
ServerBin /usr/lib/cups
DataDir /usr/share/cups
EOF

cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
LogLevel info
PreserveJobHistory Yes
PreserveJobFiles No
MaxJobs 0
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF

# ppd NAME PAGESIZE "W H" "LLX LLY URX URY" DPI
ppd() {
  cat >"$dir/ppd/$1.ppd" <<EOF
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "KORVANE.PPD"
*Manufacturer: "Korvane"
*Product: "(Test)"
*ModelName: "Korvane $1"
*ShortNickName: "Korvane $1"
*NickName: "Korvane $1"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/vnd.cups-raw 0 gziptoany"
*cupsFilter: "application/postscript 0 gziptoany"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: $2
*PageSize $2/$2: "<</PageSize[$3]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: $2
*ImageableArea $2/$2: "$4"
*DefaultPaperDimension: $2
*PaperDimension $2/$2: "$3"
*DefaultResolution: ${5}dpi
EOF
}
ppd KorvaneRaw A4 "595 842" "18 36 577 806" 600
ppd KorvanePage Letter "612 792" "18 18 594 774" 300

cat >"$dir/printers.conf" <<EOF
<Printer KorvaneRaw>
Info Raw test queue
DeviceURI file://$dir/out/raw.prn
State Idle
Accepting Yes
Shared No
</Printer>
<Printer KorvanePage>
Info Page test queue
DeviceURI file://$dir/out/page.prn
State Idle
Accepting Yes
Shared No
</Printer>
<Printer KorvanePlain>
Info Queue without driver
DeviceURI file://$dir/out/plain.prn
State Idle
Accepting Yes
Shared No
</Printer>
EOF
touch "$dir/out/raw.prn" "$dir/out/page.prn" "$dir/out/plain.prn"
chmod 666 "$dir/out/"*.prn

stop
"$CUPSD" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
echo $! >"$dir/cupsd.pid"

# Ready once it answers on its socket.
for _ in $(seq 100); do
  if CUPS_SERVER="$dir/cups.sock" lpstat -r 2>/dev/null | grep "is running" >/dev/null; then
    exit 0
  fi
  if ! kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; then break; fi
  sleep 0.1
done
echo "cups-test-setup: cupsd did not start" >&2
cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null | tail -20 >&2
stop
exit 1
