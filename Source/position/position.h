// The board representation: a mailbox and bitboards kept in step, castling data for
// standard chess and Chess960, incremental Zobrist keys and a packed material count.
#pragma once

#include <cstdint>

#include "position/types.h"

namespace position {

// Castling rights, and their index into the per-right tables.
constexpr int kWhiteKingSide = 1, kWhiteQueenSide = 2, kBlackKingSide = 4, kBlackQueenSide = 8;

// Weight of each piece type in `material`: a 4-bit count per type.
constexpr uint32_t kMaterialWeight[8] = {0, 1, 16, 256, 4096, 65536, 0, 0};
// Any knight, bishop, rook or queen.
constexpr uint32_t kNonPawnMaterialMask = 0xFFFF0;
// How many pieces of `type` (pawn .. queen) a material signature counts.
constexpr int material_count(uint32_t material, int type) { return (material >> (4 * (type - 1))) & 15; }

// Sizes the board code needs: search plies, the moves a game may carry in from the
// protocol, undo records for both together, and room for every pseudo-legal move of any
// position that set-up accepts (at most 16 men a side).
constexpr int kMaxPly = 81;  // plies 0..80 of a search
constexpr int kMaxGameMoves = 900;
constexpr int kUndoCapacity = kMaxGameMoves + kMaxPly + 23;
constexpr int kMaxMoves = 512;

inline constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

struct GameHistory;

struct Position {
  GameHistory* game;            // the undo records and move counters; null for a bare board
  uint8_t board[65];            // piece code per square; slot 64 stays empty
  Bitboard pieces[2][8];        // [colour][0] = all of that colour, [colour][type]
  Bitboard touched;             // from- and to-squares of every move since set-up
  Bitboard castle_pieces[4];    // king square | rook square, per right
  Bitboard castle_path[4];      // squares that must be empty to castle, per right
  uint64_t key;
  uint64_t pawn_key;
  uint32_t material[2];
  uint8_t castle_rook[4];       // rook square per right, 64 when not granted
  uint8_t king_square[2];
  uint8_t side;
  uint8_t ep_square;
  uint8_t castle_rights;
  uint8_t rule50;

  Bitboard occupancy() const { return pieces[kWhite][0] | pieces[kBlack][0]; }
};

struct UndoRecord {
  uint64_t key;
  uint64_t pawn_key;
  Move move;
  uint8_t captured;
  uint8_t ep_square;
  Bitboard touched;
  uint8_t rule50;
  uint8_t castle_rights;
};

// The moves made since set-up, one record each, for taking them back and for finding
// repetitions. A search thread embeds one for its position; `ply` counts from 1 at
// set-up and moves with make and unmake.
struct GameHistory {
  UndoRecord undo[kUndoCapacity];
  int16_t undo_index;  // records in use: the index of the next free one
  int16_t ply;
  Move last_move;      // 0 at set-up and after a null move
};

// A board with its own history beside it: what the shell keeps as the game and what a
// tool or a test that plays moves owns. It cannot be copied, since the board points at
// the history next to it; a search copies the board and the records in use instead.
struct Game {
  Position position{};
  GameHistory history{};

  Game() { position.game = &history; }
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;
};

// Clears the board; the counters of the position's history start again.
void reset_position(Position& pos);

// Sets up from FEN text that starts with the placement field; a side field other than w
// or b keeps the side `pos` had. Returns 0 and restarts the history's counters, or -1
// when the text is not a playable position; then `pos` and its history are left as they
// were, because the set-up is built in a copy that is only taken over once it is playable.
int set_position(Position& pos, const char* fen);

void parse_castling(Position& pos, const char* field);
void compute_keys(Position& pos);
void write_fen(const Position& pos, char* buffer, int with_counters);
// The placement field of a board of 64 piece codes; returns the end of the text.
char* write_placement(const uint8_t* board, char* out);

// is_draw past its quick test: the fifty-move rule and the repetition walk.
int drawn_by_rule_or_repetition(const Position& pos, int ply);

// 1 for a draw by the fifty-move rule or by repetition; `ply` counts plies since the root.
// A position repeated inside the tree is a draw at once; one from before the root only
// when it is there twice already. Four plies without a capture or pawn move are needed for
// either, which settles most calls here (the search asks at every node).
inline int is_draw(const Position& pos, int ply) { return pos.rule50 < 4 ? 0 : drawn_by_rule_or_repetition(pos, ply); }

// The number of moves made since set-up (0 for a bare board).
inline int moves_made(const Position& pos) { return pos.game ? pos.game->undo_index : 0; }

}  // namespace position
