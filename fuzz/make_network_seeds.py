#!/usr/bin/env python3
"""Writes small network files for the network fuzz target's seed corpus.

The layout is the loader's: ten little-endian 16-bit header fields (version, output
divisor, weight width, output scale, king buckets, feature set, width, hidden1, hidden2,
output buckets), a 32-bit weight count, then the weights (8-bit when the weight width is
below 128, else 16-bit). Weights follow a short repeating pattern, so the files stay
small in the repository.
"""
import os
import struct
import sys


def weight_count(width, buckets, hidden1, hidden2):
    half, outputs = width // 2, max(hidden2, 8)
    return buckets * 768 * half + 16 * hidden1 + width * outputs + outputs * hidden1 + 8 * hidden2 + width + hidden1 + hidden2


def network(version=781, divisor=2048, weight_width=64, scale=300, buckets=1, width=256, hidden1=0, hidden2=0,
            output_buckets=6, cut=None):
    stored_width = width * 2 if version == 752 else width
    count = weight_count(stored_width, buckets, hidden1, hidden2)
    header = struct.pack("<10hi", version, divisor, weight_width, scale, buckets, 1, width, hidden1, hidden2,
                         output_buckets, count)
    values = [(i * 7) % 11 - 5 for i in range(count)]
    body = struct.pack(f"<{count}{'b' if weight_width < 128 else 'h'}", *values)
    data = header + body
    return data[:cut] if cut is not None else data


SEEDS = {
    "plain_8bit": network(),
    "material_layer": network(version=779, hidden1=16),
    "second_layer": network(hidden2=16, divisor=64),
    "legacy_width": network(version=752, width=128, buckets=2),
    "cut_short": network(cut=5000),
}

if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "network")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
