#!/usr/bin/env python3
"""Turns bench_peers JSON into a Markdown table of time per operation.

    bench_peers --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \\
        --benchmark_out=peers.json --benchmark_out_format=json
    python3 bench/peers/peers_table.py peers.json > table.md

Each cell is the time of one call (the median when the run has repetitions).
Each family of this library also shows its ratio to the fastest of GLM, Eigen
and cglm (above 1: slower). F16C is the hardware bound, not a peer, so it
takes no part in the ratio.
"""

import argparse
import json
import statistics
import sys

PEERS = ("glm", "eigen", "cglm")
BOUNDS = ("f16c",)
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


def fmt_time(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("µs", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"


def table(report, clock):
    context = report.get("context", {})
    order, times = collect(report, clock)
    # Interleaved repetitions run in random order: the program names the table order.
    listed = [op for op in context.get("operations", "").split(",") if op in order]
    order = listed + [op for op in order if op not in listed]
    impls = {impl for (_, impl) in times}
    families = [f for f in context.get("kubik_families", "").split(",") if f]
    family_cols = [f"kubik-{f}" for f in families] or sorted(
        i for i in impls if i.startswith("kubik-"))
    peer_cols = [p for p in PEERS if p in impls]
    bound_cols = [b for b in BOUNDS if b in impls]
    selected = "kubik-" + context.get("kubik_selected_family", "")

    def head(col):
        name = col[len("kubik-"):] if col.startswith("kubik-") else col
        if col.startswith("kubik-"):
            name = f"Kubik {name}" + (" (selected)" if col == selected else "")
        return {"glm": "GLM", "eigen": "Eigen", "cglm": "cglm", "f16c": "F16C bound"}.get(
            col, name)

    cols = family_cols + peer_cols + bound_cols
    lines = ["| Operation | " + " | ".join(head(c) for c in cols) +
             " | Selected / fastest peer |",
             "|---|" + "---:|" * (len(cols) + 1)]
    for op in order:
        peer_times = [times[(op, p)] for p in peer_cols if (op, p) in times]
        fastest = min(peer_times) if peer_times else None
        cells = []
        for c in cols:
            t = times.get((op, c))
            if t is None:
                cells.append("—")
            elif c.startswith("kubik-") and fastest:
                cells.append(f"{fmt_time(t)} ({t / fastest:.2f}×)")
            else:
                cells.append(fmt_time(t))
        sel = times.get((op, selected))
        ratio = f"**{sel / fastest:.2f}×**" if sel is not None and fastest else "—"
        lines.append(f"| {op} | " + " | ".join(cells) + f" | {ratio} |")
    return "\n".join(lines)


def machine(report):
    c = report.get("context", {})
    rows = [
        ("CPU", f"{c.get('cpu_model', '?')}, {c.get('num_cpus', '?')} logical cores"
                f", {c.get('mhz_per_cpu', '?')} MHz"),
        ("Compiler", c.get("compiler", "?")),
        ("This library", f"`{c.get('kubik_flags', '?')}` (its usual release build)"),
        ("GLM, Eigen, cglm", f"`{c.get('peer_flags', '?')}` (their units only)"),
        ("F16C bound", f"`{c.get('f16c_flags', '?')}` (run only when CPUID reports F16C:"
                       f" {c.get('f16c', '?')})"),
        ("Families that run", c.get("kubik_families", "?")),
        ("Selected family", c.get("kubik_selected_family", "?")),
        ("Run", f"{c.get('date', '?')}, load average "
                f"{', '.join(f'{x:.2f}' for x in c.get('load_avg', [])) or '?'}"),
    ]
    return "\n".join(f"- {k}: {v}" for k, v in rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("json", help="bench_peers --benchmark_out file, or - for stdin")
    parser.add_argument("--clock", choices=("cpu", "real"), default="cpu",
                        help="cpu (default; steadier on a shared machine) or real time")
    parser.add_argument("--no-machine", action="store_true", help="print the table only")
    args = parser.parse_args()
    report = load(args.json)
    if not args.no_machine:
        print(machine(report))
        print()
    print(table(report, args.clock))


if __name__ == "__main__":
    main()
