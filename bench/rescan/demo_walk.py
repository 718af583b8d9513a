#!/usr/bin/env python3
"""The demo server's MIB as each build serves it, compared: every object the host answers for
(the inventory, ENTITY-MIB, the tables REPLAY_MIB serves, the system group), walked with
snmpwalk -On after the first scan of the demo scenario, in a directory and on a port of its own.
The values that tell when a scan ran, when a file was built or how long the host is up, and the
engine's own ID (new with every state directory), are shown as <time> and <engine>.

  demo_walk.py --build build-base --build build/normal   exit 0 when the walks are the same
  demo_walk.py --build DIR --save FILE                   the walk of one build, into FILE
"""
import argparse
import datetime
import difflib
import re
import subprocess
import sys

from rescan_profile import System

CATALIX = ".1.3.6.1.4.1.7391.2.10.2.10"
# Values of the time of a scan or of the host: the last date, the last scan and the dates of the
# saved file, sysUpTime, and ENTITY-MIB's last change.
TIMED = re.compile(r"^(\.1\.3\.6\.1\.4\.1\.7391\.2\.10\.2\.10\.2\.[12]\.0|\.1\.3\.6\.1\.2\.1\.1\.3\.0|"
                   r"\.1\.3\.6\.1\.2\.1\.47\.1\.4\.1\.0) = ")

ENGINE_ID = ".1.3.6.1.6.3.10.2.1.1.0 = "


def walk(build):
    system = System(build, 0, demo=True)
    try:
        out = subprocess.run(["snmpwalk", "-v2c", "-c", "public", "-On", "-m", "", "-Cc",
                              f"127.0.0.1:{system.port}", ".1"], env=system.env, check=True,
                             capture_output=True, text=True).stdout
    finally:
        system.stop()
    lines = []
    today = datetime.date.today().isoformat()
    for line in out.splitlines():
        if not line.startswith("."):  # the rest of a long hexadecimal value
            lines[-1] += " " + line.strip()
            continue
        lines.append(line)
    for index, line in enumerate(lines):
        match = TIMED.match(line)
        if match:
            lines[index] = match.group(0) + "<time>"
        elif line.startswith(ENGINE_ID):
            lines[index] = ENGINE_ID + "<engine>"
        else:
            lines[index] = re.sub(f'STRING: "{today} [0-9:]{{8}}"', 'STRING: "<time>"', line)
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", action="append", required=True)
    parser.add_argument("--save", help="write the (first) build's walk here")
    options = parser.parse_args()
    walks = [walk(build) for build in options.build]
    if options.save:
        with open(options.save, "w") as out:
            out.write("\n".join(walks[0]) + "\n")
    print(f"{options.build[0]}: {len(walks[0])} objects, "
          f"{sum(line.startswith(CATALIX) for line in walks[0])} of them inventory")
    differ = False
    for build, lines in zip(options.build[1:], walks[1:]):
        diff = list(difflib.unified_diff(walks[0], lines, options.build[0], build, lineterm=""))
        print(f"{build}: " + ("the same walk" if not diff else f"{len(diff)} lines differ"))
        print("\n".join(diff[:200]))
        differ = differ or bool(diff)
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
