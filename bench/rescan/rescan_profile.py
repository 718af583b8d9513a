#!/usr/bin/env python3
"""The rescan profile: the agent on this machine, rescanned again and again, against lshw.

Starts, for every build directory given (default build/normal), the system as run.sh does, in
a temporary directory with a registry of its own and a port chosen now: cx-switchd --linux,
and extagentd with CX_MIB, SC_MIB (where the machine has a PCI bus) and ENTITY_MIB. Once the
first scan is done it sends the rescan event (0x0C80, data byte 1) through cx-switch N times,
and after every rescan of every system it times `lshw -json` once, so that the two are
measured alternately under the same load. The times of a scan and of its parts are the scan's
own (CX_SCAN_PROFILE: the monotonic clock of the scan thread), not the trace's.

Prints, per system, the median in milliseconds of every part of a pass and of the whole
(total_ms: from the start of the pass to "Rescan done"; wake_ms: from the rescan request to
the start of the pass; round_trip_ms: from starting cx-switch to the profile line), lshw's
median and the ratio of the scan's median to lshw's, and the processor time that extagentd and
cx-switchd used per rescan (cpu_ms, a mean: the rest of a scan is waiting); with --json, the same as Google
Benchmark's JSON (one benchmark per system and one for lshw, the figures as counters).
"""
import argparse
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
AGENTS_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents"
SETUP_KEY = r"HKLM\SOFTWARE\Arvenmark\#Setup"
PARAMETERS_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters"
READY_WAIT_S = 120
RESCAN_WAIT_S = 60


def find(build, name, kind="f"):
    for directory, _, files in os.walk(build):
        if name in files:
            path = os.path.join(directory, name)
            if kind == "f" or os.access(path, os.X_OK):
                return path
    return None


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(f"{what} not within {seconds} s")
        time.sleep(0.005)


def parse_line(line):
    fields = {}
    for token in line.split():
        name, _, value = token.partition("=")
        if name.endswith("_ms"):
            fields[name] = float(value)
    return fields


class System:
    """One build's cx-switchd and extagentd in a directory of their own."""

    def __init__(self, build, trace_level, demo=False):
        self.build = os.path.abspath(build)
        self.dir = tempfile.mkdtemp(prefix="cx-rescan-")
        self.env = dict(os.environ, CX_REGISTRY=os.path.join(self.dir, "registry.db"), MIBS="")
        self.profile = os.path.join(self.dir, "scan-profile.txt")
        self.processes = []
        tools = {name: find(self.build, name, "x") for name in ("extagentd", "cx-switchd",
                                                                  "cxreg", "cx-switch")}
        missing = [name for name, path in tools.items() if path is None]
        if missing or find(self.build, "CX_MIB.so") is None:
            raise RuntimeError(f"{build}: not built ({', '.join(missing) or 'CX_MIB.so'})")
        self.tools = tools
        self.demo = demo
        self.configure(trace_level)
        self.start()

    def reg(self, *arguments):
        subprocess.run([self.tools["cxreg"], *arguments], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def configure(self, trace_level):
        data, agents = os.path.join(self.dir, "data"), os.path.join(self.dir, "agents")
        os.makedirs(data)
        os.makedirs(agents)
        self.reg("import", os.path.join(ROOT, "data/registry/defaults.reg"))
        self.reg("set", SETUP_KEY, "FileRoot", "REG_SZ", os.path.join(ROOT, "data"))
        self.reg("set", SETUP_KEY, "DataRoot", "REG_SZ", data)
        self.reg("set", SETUP_KEY, "AgentRoot", "REG_SZ", agents)
        self.reg("set", PARAMETERS_KEY, "ListenAddress", "REG_SZ", "127.0.0.1")
        self.port = free_udp_port()
        self.reg("set", PARAMETERS_KEY, "UdpPort", "REG_DWORD", str(self.port))
        self.reg("set", PARAMETERS_KEY + r"\ValidCommunities", "public", "REG_DWORD", "4")
        if trace_level > 0:
            self.reg("set", r"HKLM\SOFTWARE\Debug\CX_MIB", "TraceFile", "REG_SZ",
                     os.path.join(self.dir, "CX_MIB.txt"))
            self.reg("set", r"HKLM\SOFTWARE\Debug\CX_MIB", "FileDebugLevel", "REG_DWORD",
                     str(trace_level))
        machine_bus = not self.demo and os.listdir("/sys/bus/pci/devices")
        for name in ("CX_MIB", "SC_MIB", "ENTITY_MIB", "REPLAY_MIB"):
            library = find(self.build, name + ".so")
            if library is None:
                continue
            os.symlink(library, os.path.join(agents, name + ".so"))
            if (name == "SC_MIB" and not machine_bus) or (name == "REPLAY_MIB" and not self.demo):
                continue
            key = rf"SOFTWARE\Arvenmark\{name}\CurrentVersion"
            self.reg("set", "HKLM\\" + key, "Pathname", "REG_SZ", library)
            self.reg("set", AGENTS_KEY, name, "REG_SZ", key)
        if self.demo:
            # The demo server's other agents: REPLAY_MIB with the walks of the same server.
            walks = [os.path.join(ROOT, "data/walks", name + ".walk")
                     for name in ("demo-bus", "demo-hd", "demo-ups")]
            replay_key = r"HKLM\SOFTWARE\Arvenmark\REPLAY_MIB\Parameters"
            self.reg("set", replay_key, "WalkFiles", "REG_MULTI_SZ", *walks)
            self.reg("set", replay_key, "Regions", "REG_MULTI_SZ", ".1.3.6.1.4.1.7391.2.10.2.2",
                     ".1.3.6.1.2.1.33", ".1.3.6.1.4.1.7391.2.58")
        if find(self.build, "SC_MIB.so") is None or not machine_bus:
            self.reg("set", r"HKLM\SOFTWARE\Arvenmark\SC_MIB\Subsystems\Environment"
                     r"\Parameters\VolatileParameters", "AgentStatus", "REG_DWORD", "1")

    def spawn(self, arguments, log, env=None):
        with open(os.path.join(self.dir, log), "wb") as out:
            self.processes.append(subprocess.Popen(arguments, env=env or self.env,
                                                   stdout=out, stderr=subprocess.STDOUT))

    def start(self):
        sock = os.path.join(self.dir, "switch.sock")
        source = (["--scenario", os.path.join(ROOT, "data/scenarios/demo.scn")] if self.demo
                  else ["--linux"])
        self.spawn([self.tools["cx-switchd"], *source, "--socket", sock, "--register"],
                   "switchd.log")
        wait_for(lambda: os.path.exists(sock), 10, "cx-switchd's socket")
        self.spawn([self.tools["extagentd"], "--foreground", "--registry",
                    self.env["CX_REGISTRY"], "--listen", f"127.0.0.1:{self.port}",
                    "--state-dir", os.path.join(self.dir, "state")],
                   "extagentd.log", dict(self.env, CX_SCAN_PROFILE=self.profile))
        wait_for(lambda: self.scans() >= 1, READY_WAIT_S, f"{self.build}: the first scan")

    def lines(self):
        try:
            with open(self.profile) as profile:
                return profile.read().splitlines()
        except FileNotFoundError:
            return []

    def scans(self):
        return len(self.lines())

    def cpu_ms(self):
        """The processor time both processes used so far, all their threads (ended ones too)."""
        ticks = 0
        for process in self.processes:
            with open(f"/proc/{process.pid}/stat") as stat:
                fields = stat.read().rpartition(")")[2].split()
            ticks += int(fields[11]) + int(fields[12])  # utime, stime
        return ticks * 1000 / os.sysconf("SC_CLK_TCK")

    def rescan(self):
        before = self.scans()
        cpu = self.cpu_ms()
        start = time.monotonic()
        subprocess.run([self.tools["cx-switch"], "event", "0x0C80", "0", "0", "-1", "--data",
                        "01"], env=self.env, check=True, stdout=subprocess.DEVNULL)
        wait_for(lambda: self.scans() > before, RESCAN_WAIT_S, f"{self.build}: a rescan")
        fields = parse_line(self.lines()[before])
        fields["round_trip_ms"] = (time.monotonic() - start) * 1000
        fields["cpu_ms"] = self.cpu_ms() - cpu
        return fields

    def stop(self):
        for process in reversed(self.processes):
            process.send_signal(signal.SIGTERM)
        for process in reversed(self.processes):
            try:
                process.wait(60)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(self.dir, ignore_errors=True)


def time_lshw():
    start = time.monotonic()
    subprocess.run(["lshw", "-json"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return (time.monotonic() - start) * 1000


def ensure_lshw():
    if shutil.which("lshw") is None:
        subprocess.run([os.path.join(ROOT, "scripts/install-deps.sh")], check=True)
    if shutil.which("lshw") is None:
        sys.exit("rescan_profile: lshw cannot be installed")


def medians(samples):
    """The median of every figure; of the processor time, counted in clock ticks, the mean."""
    names = []
    for sample in samples:
        names += [name for name in sample if name not in names]
    average = {"cpu_ms": statistics.mean}
    return {name: average.get(name, statistics.median)(s[name] for s in samples if name in s)
            for name in names}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", action="append", help="build directory (repeatable)")
    parser.add_argument("--rescans", type=int, default=30, help="rescans per system")
    parser.add_argument("--trace-level", type=int, default=5,
                        help="the agent's trace file level (run.sh's 5; 0: no trace file)")
    parser.add_argument("--json", help="write the figures as Google Benchmark JSON")
    options = parser.parse_args()
    ensure_lshw()
    builds = options.build or [os.path.join(ROOT, "build/normal")]
    systems = []
    try:
        for build in builds:
            systems.append(System(build, options.trace_level))
        samples = {system.build: [] for system in systems}
        lshw = []
        for _ in range(options.rescans):
            for system in systems:
                samples[system.build].append(system.rescan())
                lshw.append(time_lshw())
    finally:
        for system in systems:
            system.stop()

    lshw_ms = statistics.median(lshw)
    load = os.getloadavg()
    print(f"rescan_profile: {options.rescans} rescans per system, trace level "
          f"{options.trace_level}, {os.cpu_count()} cores, load average "
          f"{load[0]:.2f} {load[1]:.2f} {load[2]:.2f}")
    report = {"context": {"num_cpus": os.cpu_count(), "load_avg": list(load)},
              "benchmarks": []}
    for build in builds:
        figures = medians(samples[os.path.abspath(build)])
        figures["ratio_to_lshw"] = figures["total_ms"] / lshw_ms
        print(f"\n{build}: medians")
        for name, value in figures.items():
            print(f"  {name:<20} {value:10.3f}")
        report["benchmarks"].append({"name": f"BM_Rescan/{build}", "run_type": "iteration",
                                     "iterations": options.rescans, "real_time":
                                     figures["total_ms"], "time_unit": "ms", **figures})
    print(f"\nlshw -json: median {lshw_ms:.3f} ms over {len(lshw)} runs")
    report["benchmarks"].append({"name": "BM_LshwJson", "run_type": "iteration",
                                 "iterations": len(lshw), "real_time": lshw_ms,
                                 "time_unit": "ms", "lshw_ms": lshw_ms})
    if options.json:
        with open(options.json, "w") as out:
            json.dump(report, out, indent=2)


if __name__ == "__main__":
    main()
