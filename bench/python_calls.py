"""Member calls per second from Python through the package: PrintFont with
its five arguments and PrintBar with four, on the Zebra driver. Prints one
line per member, "NAME CALLS_PER_SECOND". Run by capi_bench, which points
MORVEL_PRINTERS, MORVEL_LIBRARY_DIR and PYTHONPATH at the build.

    python_calls.py CALLS"""
import sys
import time

import morvel

PRINTER = "ZDesigner GK420t"
BATCH = 1000  # then a fresh driver, so the label in memory stays small


def rate(pb, call, total):
    best = 0.0
    for _ in range(3):
        start = time.perf_counter()
        for _ in range(total // BATCH):
            for _ in range(BATCH):
                call()
            pb.SetPrint(PRINTER)
        best = max(best, total // BATCH * BATCH / (time.perf_counter() - start))
    return best


def main():
    total = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    pb = morvel.PrintBarCode()
    pb.SetPrint(PRINTER)
    pb.PrintFont(10, 20, "ABC", 12, "F1.TTF")
    if "ABC" not in pb.CommandPrint:
        sys.exit("PrintFont left no text in the label")
    print("PrintFont", round(rate(pb, lambda: pb.PrintFont(10, 20, "ABC", 12, "F1.TTF"), total)))
    print("PrintBar", round(rate(pb, lambda: pb.PrintBar(10, 100, 200, 2), total)))


if __name__ == "__main__":
    main()
