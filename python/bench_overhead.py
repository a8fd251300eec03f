#!/usr/bin/python3
"""Cost of the Python binding: each call timed from Python and from C++ on the same input.

    PYTHONPATH=<build>/python /usr/bin/python3 python/bench_overhead.py \
        [--size 4000] [--rounds 5] [--calls 5]

The C++ timings come from the reference helper built beside the module
(quorvane_py_reference, built with the tests or benchmarks). Calls on a
size x size sample floor plan are timed in alternating rounds, the best call of
each side is kept (--calls calls per round and side), and the overhead is
python / C++ - 1. On a shared machine the spread between rounds is larger than
the binding's cost: the fixed cost per call shows in the short calls (a
10-point polyline), reported in microseconds per call.
"""

import argparse
import json
import os
import subprocess
import tempfile
import timeit

import numpy as np

import quorvane_nav2 as q


def helper_path():
    path = os.path.join(os.path.dirname(q.__file__), "quorvane_py_reference")
    if not os.access(path, os.X_OK):
        raise SystemExit(f"{path} not found: build the target quorvane_py_reference")
    return path


def cpp(request):
    done = subprocess.run(
        [helper_path()], input=json.dumps(request), capture_output=True, text=True, check=True
    )
    return json.loads(done.stdout)


def rotate_both(image):
    matrix, bounds = q.rotation(image)
    return q.rotate(image, matrix, bounds)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=4000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--calls", type=int, default=5)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "plan.raw")
        n = args.size
        cpp({"sample": {"width": n, "height": n, "angle": 17.0, "seed": 1, "out": raw}})
        plan = np.fromfile(raw, dtype=np.uint8).reshape(n, n)
        image = {"path": raw, "rows": n, "cols": n}

        calls = {
            "main_direction": lambda: q.main_direction(plan),
            "rotate": lambda: rotate_both(plan),
            "inner_rectangle": lambda: q.inner_rectangle(plan, 10.0),
            "junction_pair": lambda: q.junction_pair(plan),
        }
        print(f"{n} x {n} sample floor plan, best of {args.rounds} alternating rounds "
              f"of {args.calls} calls")
        print(f"{'call':<18}{'C++ ms':>10}{'Python ms':>12}{'overhead':>10}")
        for name, call in calls.items():
            best_cpp = best_py = float("inf")
            for _ in range(args.rounds):
                timing = {"op": name, "repeat": args.calls, "cell_size": 10.0}
                seconds = cpp({"image": image, "time": timing})
                best_cpp = min(best_cpp, min(seconds["seconds"]))
                best_py = min(best_py, min(timeit.repeat(call, number=1, repeat=args.calls)))
            overhead = best_py / best_cpp - 1.0
            print(f"{name:<18}{best_cpp * 1e3:>10.2f}{best_py * 1e3:>12.2f}{overhead:>+10.1%}")

    points = np.array(
        [[0, 0], [3, 1], [6, 0], [9, 4], [12, 3], [15, 9], [18, 8], [21, 2], [24, 3], [27, 0]],
        np.int32,
    )
    per_call = 100000
    best_cpp = min(
        cpp({"time": {"op": "simplify", "repeat": args.rounds, "calls": per_call,
                      "points": points.tolist(), "epsilon": 1.0}})["seconds"]
    ) / per_call
    best_py = min(timeit.repeat(lambda: q.simplify(points, 1.0), number=per_call,
                                repeat=args.rounds)) / per_call
    a, b, c = (0, 0), (10, 0), (10, 10)
    best_curv = min(timeit.repeat(lambda: q.curvature(a, b, c), number=per_call,
                                  repeat=args.rounds)) / per_call
    print(f"simplify, 10-point int32 polyline: Python {best_py * 1e6:.2f} us per call, "
          f"C++ {best_cpp * 1e6:.2f} us per call")
    print(f"curvature of one vertex: Python {best_curv * 1e6:.2f} us per call")


if __name__ == "__main__":
    main()
