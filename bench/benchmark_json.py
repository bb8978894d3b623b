"""Google Benchmark JSON output as a table of rows, shared by the ratio
scripts (peer_ratios.py, engine_ratios.py)."""
import json


def load(path):
    """Name -> run: the median aggregate where there are repetitions, else
    the single iteration run; rows that failed map to their error text."""
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    rows = {}
    for r in runs:
        name = r.get("run_name", r["name"])
        if r.get("error_occurred"):
            rows[name] = r.get("error_message", "error")
        elif r.get("run_type") == "aggregate":
            if r.get("aggregate_name") == "median":
                rows[name] = r
        elif name not in rows:
            rows[name] = r
    return rows
