#!/usr/bin/env python3
"""Writes data/eval_params.txt, the evaluation parameter text compiled into Nesk.

The single terms and the nine piece-square tables are kept here in readable form; run
this script after changing them (or let the tuner write the text directly).

The text in use now is the tuner's ("-train2" in the "make train_" build; see the README),
fitted to self-play positions and tested in games against these hand-drawn values:
running this script brings the hand-drawn values back.

Piece-square tables are drawn as the owner sees the board after the evaluation's file
mirror: the owner's pieces move up the page, and the owner's king is always on the
right-hand half (files e-h). Each table has a middlegame and an endgame grid, rank 8 at
the top, files a..h left to right. Values are centipawns on top of the material terms.

    python3 data/make_eval_params.py            # writes data/eval_params.txt
    python3 data/make_eval_params.py --check    # fails when the file is out of date
"""

import os
import sys

SINGLE_TERMS = [
    ("mtl_pawn", 100, 100),
    ("mtl_knight", 412, 332),
    ("mtl_bishop", 415, 340),
    ("mtl_rook", 561, 642),
    ("mtl_queen", 1174, 1193),
    ("bishop_pair", 26, 78),
    ("knight_mobility", 77, 24),
    ("bishop_mobility", 47, 28),
    ("rook_mobility", 31, 73),
    ("queen_mobility", 45, 72),
    ("ppawn_base", 94, 173),
    ("ppawn_mobile", 112, 248),
    ("ppawn_free", 118, 348),
    ("ppawn_connected", -6, 55),
    ("ppawn_fkprox", -16, -92),
    ("ppawn_ekprox", 11, 140),
    ("ppawn_candidate", 10, 33),
    ("pawn_isolated", -17, 6),
    ("pawn_weak", -15, 27),
    ("pawn_blocked", -6, -12),
    ("pawn_doubled", -1, -26),
    ("knight_outpost", 31, 35),
    ("bishop_infiltration", 10, 5),
    ("bishop_outpost", 21, 37),
    ("bishop_rampawns", -9, -15),
    ("rook_infiltration", 4, 9),
    ("rook_openfile", 16, -8),
    ("rook_7th", 20, 18),
    ("pawn_shield", 63, -21),
    ("enemy_checks", -40, -8),
    ("king_danger1", -200, 36),
    ("king_danger2", -95, 37),
    ("king_trapped", -13, -34),
    ("king_pawn_dist", 7, -95),
    ("hung_pawn", -11, -49),
    ("attacked_pawn", 4, -22),
    ("hung_minor", -49, -33),
    ("attacked_minor", -7, -26),
    ("hung_major", -48, -6),
    ("ppush_threat", -15, -18),
    ("pinned_piece", -53, -38),
    ("mtl_imbalance", 0, 0),
    ("stm_bonus", 50, 12),
]

# Pawns, both kings on the same half. Centre pawns want to advance; the f-h pawns in
# front of the own king are best left at home in the middlegame. In the endgame every
# step forward is worth a little more (passed pawns are scored separately).
PST_P1 = {
    "mg": """
         0   0   0   0   0   0   0   0
        30  30  32  34  34  30  26  26
        14  14  16  22  22  12   6   6
         6   6  10  18  18   4  -2  -4
         2   2   6  14  14   0  -6  -8
         0   0   2   4   4   2   2   2
         0   0  -2  -8  -8   6   8   6
         0   0   0   0   0   0   0   0
    """,
    "eg": """
         0   0   0   0   0   0   0   0
        26  30  30  30  30  30  30  26
        16  20  20  20  20  20  20  16
         8  10  10  10  10  10  10   8
         2   4   4   4   4   4   4   2
        -2   0   0   0   0   0   0  -2
        -6  -4  -4  -4  -4  -4  -4  -6
         0   0   0   0   0   0   0   0
    """,
}

# Pawns, kings on opposite halves: the enemy king is on the left, so the a-c pawns
# storm forward while the shield in front of the own king stays put.
PST_P2 = {
    "mg": """
         0   0   0   0   0   0   0   0
        34  34  32  32  30  26  24  24
        24  24  20  22  20  10   4   4
        16  16  14  18  16   2  -4  -6
         8   8   8  14  12  -2  -8 -10
         2   2   2   4   4   2   0   0
        -4  -4  -4  -8  -8   8  10   8
         0   0   0   0   0   0   0   0
    """,
    "eg": PST_P1["eg"],
}

# Pawn with an own pawn beside it (a phalanx): stronger the further it has come.
PST_CP = {
    "mg": """
         0   0   0   0   0   0   0   0
        30  30  32  34  34  32  30  30
        18  18  20  22  22  20  18  18
        10  10  12  14  14  12  10  10
         4   5   7   9   9   7   5   4
         2   2   3   4   4   3   2   2
         0   0   1   2   2   1   0   0
         0   0   0   0   0   0   0   0
    """,
    "eg": """
         0   0   0   0   0   0   0   0
        24  24  24  24  24  24  24  24
        14  14  14  14  14  14  14  14
         8   8   8   8   8   8   8   8
         4   4   4   4   4   4   4   4
         2   2   2   2   2   2   2   2
         0   0   0   0   0   0   0   0
         0   0   0   0   0   0   0   0
    """,
}

# Pawn defended by an own pawn (a chain). Ranks 1 and 2 cannot be reached.
PST_DP = {
    "mg": """
         0   0   0   0   0   0   0   0
        20  20  22  24  24  22  20  20
        12  13  14  16  16  14  13  12
         7   8   9  11  11   9   8   7
         5   5   6   8   8   6   5   5
         3   3   4   6   6   4   3   3
         0   0   0   0   0   0   0   0
         0   0   0   0   0   0   0   0
    """,
    "eg": """
         0   0   0   0   0   0   0   0
        18  18  18  18  18  18  18  18
        12  12  12  12  12  12  12  12
         8   8   8   8   8   8   8   8
         5   5   5   5   5   5   5   5
         3   3   3   3   3   3   3   3
         0   0   0   0   0   0   0   0
         0   0   0   0   0   0   0   0
    """,
}

# Knights belong in the centre and on advanced squares; rims and corners cost. The f3
# square guards the own king.
PST_N = {
    "mg": """
       -40 -24 -18 -14 -14 -18 -24 -40
       -24 -12  -2   4   4  -2 -12 -24
       -16   4  12  16  16  12   4 -16
       -12   6  14  18  18  14   6 -12
       -14   0  10  14  14  10   0 -14
       -18  -4   6   6   6  10  -2 -18
       -22 -12  -4   0   0  -2 -12 -22
       -36 -20 -14 -12 -12 -14 -18 -36
    """,
    "eg": """
       -32 -20 -14 -12 -12 -14 -20 -32
       -20  -8  -2   2   2  -2  -8 -20
       -14   0   8  12  12   8   0 -14
       -12   4  12  14  14  12   4 -12
       -12   2  10  14  14  10   2 -12
       -14  -2   6   8   8   6  -2 -14
       -20  -8  -4   0   0  -4  -8 -20
       -32 -20 -14 -12 -12 -14 -20 -32
    """,
}

# Bishops like the long diagonals (the fianchetto squares b2 and g2) and the centre, and
# dislike the rim and their home rank.
PST_B = {
    "mg": """
       -16  -8  -8  -6  -6  -8  -8 -16
        -8   4   0   0   0   0   4  -8
        -6   2   6   6   6   6   2  -6
        -4   6   6  10  10   6   6  -4
        -4   4  10  10  10  10   4  -4
        -4   8   8   6   6   8   8  -4
        -6  10   4   4   4   4  12  -6
       -14  -6  -8  -6  -6  -8  -6 -14
    """,
    "eg": """
       -12  -8  -8  -6  -6  -8  -8 -12
        -8  -2   0   0   0   0  -2  -8
        -6   0   4   4   4   4   0  -6
        -6   2   4   6   6   4   2  -6
        -6   2   4   6   6   4   2  -6
        -6   0   4   4   4   4   0  -6
        -8  -2   0   0   0   0  -2  -8
       -12  -8  -8  -6  -6  -8  -8 -12
    """,
}

# Rooks want the seventh rank and, at home, the central files; the corner beside the
# castled king is where a rook gets shut in.
PST_R = {
    "mg": """
         4   6   8  10  10   8   6   4
        14  18  18  18  18  18  18  14
         0   4   4   6   6   4   4   0
        -4   0   2   2   2   2   0  -4
        -6  -2   0   0   0   0  -2  -6
        -8  -4   0   0   0   0  -4  -8
       -10  -4  -2   0   0  -2  -4 -10
        -4   0   4   8   8   6  -2 -10
    """,
    "eg": """
         4   4   4   4   4   4   4   4
        10  12  12  12  12  12  12  10
         4   4   4   4   4   4   4   4
         2   2   2   2   2   2   2   2
         0   0   0   0   0   0   0   0
        -2  -2  -2  -2  -2  -2  -2  -2
        -4  -4  -4  -4  -4  -4  -4  -4
        -4  -2   0   0   0   0  -2  -4
    """,
}

# The queen: a little central, no early raids into the corners; in the endgame she
# centralises like the king.
PST_Q = {
    "mg": """
       -12  -8  -6  -4  -4  -6  -8 -12
        -8   0   0   2   2   0   0  -8
        -6   0   4   4   4   4   0  -6
        -4   2   4   4   4   4   2  -4
        -4   2   4   6   6   4   2  -4
        -6   2   4   4   4   4   2  -6
        -8   0   2   2   2   2   0  -8
       -12  -6  -4   2   0  -4  -6 -12
    """,
    "eg": """
       -20 -12 -10  -8  -8 -10 -12 -20
       -12  -4   0   2   2   0  -4 -12
       -10   0   6   8   8   6   0 -10
        -8   2   8  12  12   8   2  -8
        -8   2   8  12  12   8   2  -8
       -10   0   6   8   8   6   0 -10
       -12  -4   0   2   2   0  -4 -12
       -20 -12 -10  -8  -8 -10 -12 -20
    """,
}

# The king is always on files e-h here, so files a-d stay 0. Middlegame: tucked away on
# g1/h1 behind its pawns, every step up the board more exposed. Endgame: towards the
# centre (file e is the central one on this half).
PST_K = {
    "mg": """
         0   0   0   0 -70 -70 -70 -70
         0   0   0   0 -68 -68 -68 -68
         0   0   0   0 -64 -64 -64 -64
         0   0   0   0 -58 -58 -56 -56
         0   0   0   0 -50 -50 -46 -46
         0   0   0   0 -40 -38 -32 -30
         0   0   0   0 -34 -30 -18 -14
         0   0   0   0 -28 -29 -12  -4
    """,
    "eg": """
         0   0   0   0 -20 -22 -26 -34
         0   0   0   0  -4  -6 -12 -22
         0   0   0   0   6   4  -4 -16
         0   0   0   0  14  12   2 -10
         0   0   0   0  14  12   2 -10
         0   0   0   0   4   2  -6 -18
         0   0   0   0 -10 -10 -16 -28
         0   0   0   0 -22 -15 -24 -39
    """,
}

TABLES = [
    ("PST_P1", PST_P1),
    ("PST_P2", PST_P2),
    ("PST_CP", PST_CP),
    ("PST_DP", PST_DP),
    ("PST_N", PST_N),
    ("PST_B", PST_B),
    ("PST_R", PST_R),
    ("PST_Q", PST_Q),
    ("PST_K", PST_K),
]

TTUNE_COUNT = 32


def parse_grid(text, name):
    """Grid text (rank 8 first) -> 64 values indexed a1 = 0 .. h8 = 63."""
    rows = [[int(v) for v in line.split()] for line in text.strip().splitlines()]
    if len(rows) != 8 or any(len(r) != 8 for r in rows):
        raise SystemExit(f"{name}: a table needs 8 rows of 8 values")
    values = [0] * 64
    for row_index, row in enumerate(rows):
        rank = 7 - row_index
        for file, v in enumerate(row):
            if not -32768 <= v <= 32767:
                raise SystemExit(f"{name}: value {v} does not fit 16 bits")
            values[rank * 8 + file] = v
    return values


def check_shape(name, mg, eg):
    if name in ("PST_P1", "PST_P2"):
        for sq in list(range(8)) + list(range(56, 64)):
            if mg[sq] or eg[sq]:
                raise SystemExit(f"{name}: pawns never stand on ranks 1 and 8")
    if name == "PST_K":
        for sq in range(64):
            if sq % 8 < 4 and (mg[sq] or eg[sq]):
                raise SystemExit("PST_K: the mirrored king never stands on files a-d")


def render():
    lines = ["start"]
    for name, mg, eg in SINGLE_TERMS:
        lines.append(f"{name},{mg},{eg}")
    for name, table in TABLES:
        mg = parse_grid(table["mg"], name)
        eg = parse_grid(table["eg"], name)
        check_shape(name, mg, eg)
        lines.append(name + "," + ",".join(f"{mg[sq]},{eg[sq]}" for sq in range(64)))
    lines.append("ttune," + ",".join("0,0" for _ in range(TTUNE_COUNT)))
    return "\n".join(lines) + "\n"


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "eval_params.txt")
    text = render()
    if "--check" in sys.argv[1:]:
        with open(path) as f:
            if f.read() != text:
                print(f"{path} is out of date: run {sys.argv[0]}")
                return 1
        return 0
    with open(path, "w") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
