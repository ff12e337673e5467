#include "position/position.h"

#include <cstdio>
#include <cstring>

#include "position/bitboard.h"
#include "position/zobrist.h"

namespace position {

namespace {

constexpr const char* kWhiteLetters = " PNBRQK";
constexpr const char* kBlackLetters = " pnbrqk";
constexpr int kMaxMenPerSide = 16;
constexpr int kMaxPawnsPerSide = 8;
constexpr Bitboard kBackRanks = 0xFF000000000000FFULL;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
const char* skip_blanks(const char* p) {
  while (is_blank(*p)) ++p;
  return p;
}
const char* skip_word(const char* p) {
  while (*p && !is_blank(*p)) ++p;
  return p;
}

void clear_board(Position& pos) {
  pos.king_square[kWhite] = pos.king_square[kBlack] = kNoSquare;
  pos.ep_square = kNoSquare;
  pos.castle_rights = 0;
  pos.touched = 0;
  pos.material[kWhite] = pos.material[kBlack] = 0;
  pos.rule50 = 0;
  std::memset(pos.board, 0, sizeof(pos.board));
  std::memset(pos.pieces, 0, sizeof(pos.pieces));
}

void reset_counters(GameHistory* game) {
  if (!game) return;
  game->undo_index = 0;
  game->ply = 1;
  game->last_move = 0;
}

void put_piece(Position& pos, int colour, int type, int square) {
  pos.board[square] = static_cast<uint8_t>(piece_code(colour, type));
  pos.pieces[colour][0] |= bit(square);
  pos.pieces[colour][type] |= bit(square);
  pos.material[colour] += kMaterialWeight[type];
  if (type == kKing) pos.king_square[colour] = static_cast<uint8_t>(square);
}

// The piece code a FEN letter stands for, 0 for any other character. A switch rather than
// a search of the letter strings: the training-data tools set up millions of positions.
int letter_code(char c) {
  switch (c) {
    case 'P': return piece_code(kWhite, kPawn);
    case 'N': return piece_code(kWhite, kKnight);
    case 'B': return piece_code(kWhite, kBishop);
    case 'R': return piece_code(kWhite, kRook);
    case 'Q': return piece_code(kWhite, kQueen);
    case 'K': return piece_code(kWhite, kKing);
    case 'p': return piece_code(kBlack, kPawn);
    case 'n': return piece_code(kBlack, kKnight);
    case 'b': return piece_code(kBlack, kBishop);
    case 'r': return piece_code(kBlack, kRook);
    case 'q': return piece_code(kBlack, kQueen);
    case 'k': return piece_code(kBlack, kKing);
    default: return 0;
  }
}

// Reads the placement field; pieces that would fall outside the board are ignored.
const char* read_placement(Position& pos, const char* p) {
  int rank = 7, file = 0;
  for (; *p && *p != ' '; ++p) {
    char c = *p;
    if (c == '/') {
      --rank;
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
    } else if (int code = letter_code(c)) {
      if (file < 8 && rank >= 0) put_piece(pos, colour_of(code), type_of(code), make_square(file, rank));
      ++file;
    }
  }
  return p;
}

// The men a position may hold: exactly one king a side, at most 16 men and 8 pawns a
// side, no pawn on the first or last rank, kings apart, and the side not to move not in
// check. Beyond playability this bounds the length of every generated move list.
bool playable(const Position& pos) {
  for (int c = kWhite; c <= kBlack; ++c) {
    if (popcount(pos.pieces[c][kKing]) != 1) return false;
    if (popcount(pos.pieces[c][0]) > kMaxMenPerSide) return false;
    if (popcount(pos.pieces[c][kPawn]) > kMaxPawnsPerSide) return false;
    if (pos.pieces[c][kPawn] & kBackRanks) return false;
  }
  if (king_attacks[pos.king_square[kWhite]] & bit(pos.king_square[kBlack])) return false;
  if (square_attacked(pos, pos.king_square[pos.side ^ 1], pos.side)) return false;
  return true;
}

// An en-passant square is kept only where a pawn can just have passed over it.
int read_ep_square(const Position& pos, const char* p) {
  int square = kNoSquare;
  if (*p >= 'a' && *p <= 'h') {
    square = *p - 'a';
    if (p[1] >= '1' && p[1] <= '8') square += (p[1] - '1') * 8;
  }
  if (square == kNoSquare) return kNoSquare;
  int mover = pos.side ^ 1;
  int step = mover == kWhite ? 8 : -8;
  int expected_rank = mover == kWhite ? 2 : 5;
  if (rank_of(square) != expected_rank) return kNoSquare;
  if (pos.board[square] || pos.board[square - step]) return kNoSquare;
  if (pos.board[square + step] != piece_code(mover, kPawn)) return kNoSquare;
  return square;
}

int read_clock(const char* p) {
  if (*p < '0' || *p > '9') return 0;
  int value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = value < 1000 ? value * 10 + (*p - '0') : value;
  return value > 255 ? 255 : value;
}

}  // namespace

void reset_position(Position& pos) {
  clear_board(pos);
  reset_counters(pos.game);
}

int set_position(Position& pos, const char* fen) {
  Position fresh;
  std::memset(&fresh, 0, sizeof(fresh));
  fresh.side = pos.side;
  clear_board(fresh);

  const char* p = read_placement(fresh, fen);
  p = skip_blanks(p);
  if (*p == 'w') fresh.side = kWhite;
  if (*p == 'b') fresh.side = kBlack;
  if (!playable(fresh)) return -1;

  p = skip_blanks(skip_word(p));
  char castling[32];
  size_t length = 0;
  for (; *p && !is_blank(*p); ++p)
    if (length + 1 < sizeof(castling)) castling[length++] = *p;
  castling[length] = 0;
  parse_castling(fresh, castling);

  p = skip_blanks(p);
  fresh.ep_square = static_cast<uint8_t>(read_ep_square(fresh, p));
  p = skip_blanks(skip_word(p));
  fresh.rule50 = static_cast<uint8_t>(read_clock(p));

  compute_keys(fresh);
  fresh.game = pos.game;
  pos = fresh;
  reset_counters(pos.game);
  if (pos.game) std::memset(&pos.game->undo[0], 0, 2 * sizeof(UndoRecord));
  return 0;
}

void parse_castling(Position& pos, const char* field) {
  for (int i = 0; i < 4; ++i) {
    pos.castle_rook[i] = kNoSquare;
    pos.castle_pieces[i] = 0;
    pos.castle_path[i] = 0;
  }
  pos.castle_rights = 0;

  // Per right: -1 not requested, 8 the outermost rook, else the file the rook stands on.
  int wanted[4] = {-1, -1, -1, -1};
  constexpr int kOutermost = 8;
  for (const char* p = field; *p; ++p) {
    char c = *p;
    if (c == 'K') wanted[0] = kOutermost;
    if (c == 'Q') wanted[1] = kOutermost;
    if (c == 'k') wanted[2] = kOutermost;
    if (c == 'q') wanted[3] = kOutermost;
    if (c >= 'A' && c <= 'H' && pos.king_square[kWhite] != kNoSquare)
      wanted[file_of(pos.king_square[kWhite]) >= c - 'A' ? 1 : 0] = c - 'A';
    if (c >= 'a' && c <= 'h' && pos.king_square[kBlack] != kNoSquare)
      wanted[file_of(pos.king_square[kBlack]) < c - 'a' ? 2 : 3] = c - 'a';
  }

  for (int colour = kWhite; colour <= kBlack; ++colour) {
    int king = pos.king_square[colour];
    int home_rank = colour == kWhite ? 0 : 7;
    if (king == kNoSquare || rank_of(king) != home_rank) continue;
    for (int wing = 0; wing < 2; ++wing) {
      int index = 2 * colour + wing;
      if (wanted[index] < 0) continue;
      Bitboard rooks = pos.pieces[colour][kRook] & ray[wing == 0 ? kEast : kWest][king];
      if (!rooks) continue;
      int rook;
      if (wanted[index] == kOutermost) {
        rook = wing == 0 ? msb(rooks) : lsb(rooks);
      } else if (rooks & bit(make_square(wanted[index], home_rank))) {
        rook = make_square(wanted[index], home_rank);
      } else if (popcount(rooks) == 1) {
        rook = lsb(rooks);
      } else {
        continue;
      }
      int king_to = make_square(wing == 0 ? 6 : 2, home_rank);
      int rook_to = make_square(wing == 0 ? 5 : 3, home_rank);
      pos.castle_rook[index] = static_cast<uint8_t>(rook);
      pos.castle_rights |= static_cast<uint8_t>(1 << index);
      pos.castle_pieces[index] = bit(king) | bit(rook);
      pos.castle_path[index] =
          (between[king][king_to] | between[rook][rook_to] | bit(king_to) | bit(rook_to)) & ~(bit(king) | bit(rook));
    }
  }
}

void compute_keys(Position& pos) {
  pos.key = zobrist[pos.castle_rights];
  pos.pawn_key = 0;
  for (int square = 0; square < 64; ++square) {
    int code = pos.board[square];
    if (!code) continue;
    pos.key ^= zobrist[code * 64 + square];
    if (type_of(code) == kPawn) pos.pawn_key ^= zobrist[code * 64 + square];
  }
  if (pos.ep_square != kNoSquare) pos.key ^= zobrist[pos.ep_square];
}

char* write_placement(const uint8_t* board, char* out) {
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      int code = board[make_square(file, rank)];
      if (!code) {
        ++empty;
        continue;
      }
      if (empty) *out++ = static_cast<char>('0' + empty);
      empty = 0;
      *out++ = (colour_of(code) == kWhite ? kWhiteLetters : kBlackLetters)[type_of(code)];
    }
    if (empty) *out++ = static_cast<char>('0' + empty);
    if (rank) *out++ = '/';
  }
  *out = 0;
  return out;
}

void write_fen(const Position& pos, char* buffer, int with_counters) {
  char* out = write_placement(pos.board, buffer);
  *out++ = ' ';
  *out++ = pos.side == kWhite ? 'w' : 'b';
  *out++ = ' ';
  if (!pos.castle_rights) *out++ = '-';
  for (int i = 0; i < 4; ++i) {
    if (!(pos.castle_rights & (1 << i))) continue;
    // K, Q, k and q name the outermost rook of a wing; a Chess960 right with another rook
    // further out is written as the castling rook's file, or it would read back wrong.
    int colour = i / 2, rook = pos.castle_rook[i];
    Bitboard wing = pos.pieces[colour][kRook] & ray[i % 2 == 0 ? kEast : kWest][pos.king_square[colour]];
    int outermost = !wing ? kNoSquare : i % 2 == 0 ? msb(wing) : lsb(wing);
    *out++ = rook == outermost ? "KQkq"[i] : static_cast<char>((colour == kWhite ? 'A' : 'a') + file_of(rook));
  }
  *out++ = ' ';
  if (pos.ep_square == kNoSquare) {
    *out++ = '-';
  } else {
    *out++ = static_cast<char>('a' + file_of(pos.ep_square));
    *out++ = static_cast<char>('1' + rank_of(pos.ep_square));
  }
  *out = 0;
  if (with_counters) {
    std::sprintf(out, " %d %d", pos.rule50, moves_made(pos));
  }
}

int drawn_by_rule_or_repetition(const Position& pos, int ply) {
  if (pos.rule50 > 99) return 1;
  if (!pos.game) return 0;
  const GameHistory& game = *pos.game;
  int root = game.undo_index - ply;
  int repetitions_before_root = 0;
  for (int i = game.undo_index - 2; i >= 0 && game.undo[i].move != kNoMove; i -= 2) {
    if (game.undo[i].key != pos.key) continue;
    if (i > root) return 1;
    if (++repetitions_before_root == 2) return 1;
  }
  return 0;
}

}  // namespace position
