#!/usr/bin/env python3
"""Turns bench_peers JSON into Markdown tables of time per operation.

    bench_peers --benchmark_repetitions=7 --benchmark_report_aggregates_only=true \\
        --benchmark_out=peers.json --benchmark_out_format=json
    python3 bench/peers/peers_table.py peers.json > table.md

Each cell is the time of one call (the median when the run has repetitions).
Every family of this library that ran is a column, with its ratio to the
fastest of GLM, Eigen and cglm (above 1: slower). Each peer ran in several
configurations; its column holds the fastest, named in brackets, and a second
table lists them all. F16C, the plain copy and the call floor (an empty body
reached through an entry's load and jump, in the operation's own loop) are
bounds, not peers: they take no part in the ratio. The last column checks the
selected family against its performance bar; --fail-on-miss makes a missed
bar the exit status.

Given several runs' files, it prints one table instead: the selected family's
ratio to the fastest peer in each run, whether each run met the bar, and the
median ratio. On a shared machine a row can land a cycle or two slower in one
process than in the next, so a bar is better judged over several runs.
"""

import argparse
import json
import statistics
import sys

PEERS = ("glm", "eigen", "cglm")
BOUNDS = ("f16c", "copy", "call")
HEADS = {"glm": "GLM", "eigen": "Eigen", "cglm": "cglm", "f16c": "F16C bound",
         "copy": "Copy bound", "call": "Call floor"}
TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load(path):
    with (sys.stdin if path == "-" else open(path, encoding="utf-8")) as f:
        return json.load(f)


def collect(report, clock):
    """{(operation, implementation): nanoseconds}, operations in run order."""
    key = clock + "_time"
    samples, medians, order = {}, {}, []
    for b in report["benchmarks"]:
        name = b.get("run_name", b["name"])
        if "/" not in name or b.get("error_occurred"):
            continue
        op, impl = name.split("/", 1)
        if op not in order:
            order.append(op)
        ns = b[key] * TO_NS[b.get("time_unit", "ns")]
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[(op, impl)] = ns
        else:
            samples.setdefault((op, impl), []).append(ns)
    times = {k: statistics.median(v) for k, v in samples.items()}
    times.update(medians)
    return order, times


def peer_of(impl):
    """"glm:plain" -> ("glm", "plain"); "kubik-sse2" -> ("kubik-sse2", "")."""
    name, _, config = impl.partition(":")
    return name, config


def fmt_time(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("µs", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"


class Results:
    """The run's times, with the fastest configuration of each peer per operation."""

    def __init__(self, report, clock):
        self.context = report.get("context", {})
        order, self.times = collect(report, clock)
        # Interleaved repetitions run in random order: the program names the table order.
        listed = [op for op in self.context.get("operations", "").split(",") if op in order]
        self.order = listed + [op for op in order if op not in listed]
        impls = {impl for (_, impl) in self.times}
        families = [f for f in self.context.get("kubik_families", "").split(",") if f]
        self.family_cols = [f"kubik-{f}" for f in families] or sorted(
            i for i in impls if i.startswith("kubik-"))
        self.peer_cols = [p for p in PEERS if any(peer_of(i)[0] == p for i in impls)]
        self.bound_cols = [b for b in BOUNDS if b in impls]
        self.config_cols = sorted((i for i in impls if peer_of(i)[0] in PEERS and ":" in i),
                                  key=lambda i: (PEERS.index(peer_of(i)[0]), peer_of(i)[1]))
        self.selected = "kubik-" + self.context.get("kubik_selected_family", "")

    def configs(self, op, peer):
        """[(nanoseconds, configuration)] of one peer for one operation, fastest first."""
        return sorted((t, peer_of(impl)[1]) for (o, impl), t in self.times.items()
                      if o == op and peer_of(impl)[0] == peer)

    def peer_time(self, op, peer):
        found = self.configs(op, peer)
        return found[0] if found else (None, None)

    def fastest_peer(self, op):
        peer_times = [self.peer_time(op, p)[0] for p in self.peer_cols]
        peer_times = [t for t in peer_times if t is not None]
        return min(peer_times) if peer_times else None

    def time(self, op, col):
        if col in self.peer_cols:
            return self.peer_time(op, col)[0]
        return self.times.get((op, col))


# ---- Performance bars -------------------------------------------------------

def bar(op, results):
    """(met, text) for the selected family on one operation, or None without data.

    Array transforms: at most 0.8x the fastest peer, and the 1M one within
    1.2x of the plain copy of its bytes. Half-precision arrays: within 1.5x of
    the F16C bound. Every other operation by the fastest peer's time: 5 ns or
    more at most 0.8x, 2 to 5 ns at most 1.2x, under 2 ns at most 1.5x (the
    call and indirect jump cost about 1 ns that an inlined peer does not pay).
    Where a missed bar allows less time than the call floor measured in the
    same run, the text says so.
    """
    mine = results.times.get((op, results.selected))
    fastest = results.fastest_peer(op)
    if mine is None:
        return None
    checks = []  # (limit, ratio, against)
    if "TransformCoordArray" in op:
        if fastest:
            checks.append((0.8, mine / fastest, "peer"))
        copy = results.times.get((op, "copy"))
        if op.endswith("1M") and copy:
            checks.append((1.2, mine / copy, "copy"))
    elif op.startswith("Float") and "Array" in op:
        f16c = results.times.get((op, "f16c"))
        if f16c:
            checks.append((1.5, mine / f16c, "F16C"))
    elif fastest:
        limit = 0.8 if fastest >= 5 else 1.2 if fastest >= 2 else 1.5
        checks.append((limit, mine / fastest, "peer"))
    if not checks:
        return None
    met = all(ratio <= limit for limit, ratio, _ in checks)
    text = ", ".join(f"≤ {limit:.2f}× {against}" + ("" if against == "peer" else f" ({ratio:.2f}×)")
                     for limit, ratio, against in checks)
    text += ": met" if met else ": **missed**"
    # A bar no dispatched call can meet: the time it allows is under the cost
    # of reaching an empty body through an entry in the same loop (timed for
    # the single-call operations only, so the arrays never have a floor).
    floor = results.times.get((op, "call"))
    if not met and fastest and floor:
        allowed = checks[0][0] * fastest
        if allowed < floor:
            text += f" (allows {fmt_time(allowed)}, under the call floor)"
    return met, text


# ---- Tables -------------------------------------------------------------------

def head(col, selected):
    if col.startswith("kubik-"):
        return f"Kubik {col[len('kubik-'):]}" + (" (selected)" if col == selected else "")
    return HEADS.get(col, col)


def table(results):
    r = results
    cols = r.family_cols + r.peer_cols + r.bound_cols
    lines = ["| Operation | " + " | ".join(head(c, r.selected) for c in cols) +
             " | Selected / fastest peer | Bar (selected) |",
             "|---|" + "---:|" * (len(cols) + 1) + "---|"]
    missed = []
    for op in r.order:
        fastest = r.fastest_peer(op)
        cells = []
        for c in cols:
            t = r.time(op, c)
            if t is None:
                cells.append("—")
            elif c.startswith("kubik-") and fastest:
                cells.append(f"{fmt_time(t)} ({t / fastest:.2f}×)")
            elif c in r.peer_cols and len(r.configs(op, c)) > 1:
                cells.append(f"{fmt_time(t)} ({r.peer_time(op, c)[1]})")
            else:
                cells.append(fmt_time(t))
        sel = r.times.get((op, r.selected))
        ratio = f"**{sel / fastest:.2f}×**" if sel is not None and fastest else "—"
        checked = bar(op, r)
        if checked and not checked[0]:
            missed.append(op)
        lines.append(f"| {op} | " + " | ".join(cells) + f" | {ratio} | "
                     f"{checked[1] if checked else '—'} |")
    return "\n".join(lines), missed


def config_table(results):
    """Every configuration of every peer; the fastest of each peer in bold."""
    r = results
    if not r.config_cols:
        return ""
    lines = ["| Operation | " + " | ".join(
        f"{HEADS.get(peer_of(c)[0], c)} {peer_of(c)[1]}" for c in r.config_cols) + " |",
             "|---|" + "---:|" * len(r.config_cols)]
    for op in r.order:
        cells = []
        for c in r.config_cols:
            t = r.times.get((op, c))
            if t is None:
                cells.append("—")
                continue
            best = r.peer_time(op, peer_of(c)[0])[0]
            cells.append(f"**{fmt_time(t)}**" if t == best else fmt_time(t))
        lines.append(f"| {op} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def runs_table(runs):
    """The selected family's ratio to the fastest peer in each run (in bold where
    that run missed the bar), the median ratio, and the runs that met the bar;
    with the rows that met their bar in fewer than half of the runs."""
    order = []
    for r in runs:
        order += [op for op in r.order if op not in order]
    lines = ["| Operation | " + " | ".join(f"Run {i + 1}" for i in range(len(runs))) +
             " | Median | Bar met in |",
             "|---|" + "---:|" * (len(runs) + 1) + "---:|"]
    missed_most = []
    for op in order:
        cells, ratios, met, checked_runs = [], [], 0, 0
        for r in runs:
            mine, fastest = r.times.get((op, r.selected)), r.fastest_peer(op)
            checked = bar(op, r)
            if mine is None or not fastest:
                cells.append("—")
                continue
            ratios.append(mine / fastest)
            missed = checked is not None and not checked[0]
            if checked is not None:
                checked_runs += 1
                met += checked[0]
            cells.append(f"**{ratios[-1]:.2f}×**" if missed else f"{ratios[-1]:.2f}×")
        median = f"{statistics.median(ratios):.2f}×" if ratios else "—"
        # Runs without the bar's reference (no F16C bound, say) do not count.
        met_in = f"{met} of {checked_runs}" if checked_runs else "—"
        lines.append(f"| {op} | " + " | ".join(cells) + f" | {median} | {met_in} |")
        if checked_runs and 2 * met < checked_runs:
            missed_most.append(op)
    return "\n".join(lines), missed_most


def load_average(context):
    return ", ".join(f"{x:.2f}" for x in context.get("load_avg", [])) or "?"


def machine(report):
    c = report.get("context", {})
    rows = [
        ("CPU", f"{c.get('cpu_model', '?')}, {c.get('num_cpus', '?')} logical cores"
                f", {c.get('mhz_per_cpu', '?')} MHz"),
        ("Processors the run could use", c.get("cpus", "?")),
        ("Compiler", c.get("compiler", "?")),
        ("This library", f"`{c.get('kubik_flags', '?')}` (its usual release build)"),
        ("GLM, Eigen, cglm", f"`{c.get('peer_flags', '?')}` (their units only)"),
        ("F16C bound", f"`{c.get('f16c_flags', '?')}` (run only when CPUID reports F16C:"
                       f" {c.get('f16c', '?')})"),
        ("Families that run", c.get("kubik_families", "?")),
        ("Selected family", c.get("kubik_selected_family", "?")),
        ("Run", f"{c.get('date', '?')}, load average {load_average(c)}"),
    ]
    return "\n".join(f"- {k}: {v}" for k, v in rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("json", nargs="+",
                        help="bench_peers --benchmark_out file, or - for stdin; several"
                             " files give the table across runs")
    parser.add_argument("--clock", choices=("cpu", "real"), default="cpu",
                        help="cpu (default; steadier on a shared machine) or real time")
    parser.add_argument("--no-machine", action="store_true", help="print the tables only")
    parser.add_argument("--fail-on-miss", action="store_true",
                        help="exit with status 1 when the selected family misses a bar"
                             " (given several runs: in more than half of them)")
    args = parser.parse_args()
    if len(args.json) > 1:
        reports = [load(path) for path in args.json]
        runs = [Results(report, args.clock) for report in reports]
        if not args.no_machine:
            for i, report in enumerate(reports):
                c = report.get("context", {})
                print(f"- Run {i + 1}: {c.get('date', '?')}, selected family"
                      f" {c.get('kubik_selected_family', '?')}, load average {load_average(c)}")
            print()
        across, missed = runs_table(runs)
        print(across)
        print()
        print("Rows meeting their bar in fewer than half of the runs: " +
              (", ".join(missed) if missed else "none") + ".")
        return 1 if args.fail_on_miss and missed else 0
    report = load(args.json[0])
    results = Results(report, args.clock)
    if not args.no_machine:
        print(machine(report))
        print()
    main_table, missed = table(results)
    print(main_table)
    print()
    print("Rows missing their bar: " + (", ".join(missed) if missed else "none") + ".")
    configs = config_table(results)
    if configs:
        print()
        print("Every configuration of the peers (the fastest of each peer in bold):")
        print()
        print(configs)
    return 1 if args.fail_on_miss and missed else 0


if __name__ == "__main__":
    sys.exit(main())
