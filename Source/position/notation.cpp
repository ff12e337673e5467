#include "position/notation.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "position/bitboard.h"
#include "position/legality.h"
#include "position/movegen.h"

namespace position {

const char* const kSquareNames[65] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8", "-"};

namespace {

constexpr const char* kPieceLetters = " PNBRQK";

const char* promotion_suffix(Move move) {
  switch (move & kFlagMask) {
    case kFlagKnight: return "=N";
    case kFlagBishop: return "=B";
    case kFlagRook: return "=R";
    default: return "=Q";
  }
}

int castle_rook_of(const Position& pos, int side, Move move) {
  return pos.castle_rook[2 * side + ((move & kFlagKingSide) ? 0 : 1)];
}

void cut_at_plus(char* text) {
  if (char* plus = std::strchr(text, '+')) *plus = 0;
}

// Other pieces of the mover's type and colour that also reach `to`.
Bitboard rivals(const Position& pos, int type, int side, int from, int to) {
  Bitboard occupancy = pos.occupancy() | bit(to);
  Bitboard reach = 0;
  if (type == kKnight) reach = knight_attacks[to];
  if (type == kBishop || type == kQueen) reach |= bishop_attacks(to, occupancy);
  if (type == kRook || type == kQueen) reach |= rook_attacks(to, occupancy);
  return reach & pos.pieces[side][type] & ~bit(from);
}

// Letter, capture mark and to-square of a piece move ("Nd2", "Nxd2"); empty for pawn,
// king and castling moves.
void plain_piece_form(const Position& pos, Move move, char* text) {
  text[0] = 0;
  int type = type_of(pos.board[move_from(move)]);
  if (type == kPawn || type == kKing || type == kNone) return;
  std::sprintf(text, "%c%s%s", kPieceLetters[type], pos.board[move_to(move)] ? "x" : "", kSquareNames[move_to(move)]);
}

}  // namespace

void move_to_text(const Position& pos, int side, Move move, char* buffer, MoveStyle style) {
  if (move == kNoMove) {
    std::strcpy(buffer, "null");
    return;
  }
  int from = move_from(move), to = move_to(move);
  std::strcpy(buffer, kSquareNames[from]);
  std::strcpy(buffer + 2, kSquareNames[to]);
  if (!(move & kFlagMask)) return;
  if (rank_of(from) == 0 || rank_of(from) == 7) {
    int rook = castle_rook_of(pos, side, move);
    if (style.chess960 && rook != kNoSquare) std::strcpy(buffer + 2, kSquareNames[rook]);
    return;
  }
  if (style.uci) {
    buffer[4] = "qnbr"[promotion_type(move) == kQueen ? 0 : promotion_type(move) - 1];
    buffer[5] = 0;
  } else {
    std::strcpy(buffer + 4, promotion_suffix(move));
  }
}

void san_forms(const Position& pos, Move move, char* coordinate, char* san, char* file_form, char* rank_form,
               MoveStyle style) {
  int side = pos.side;
  int from = move_from(move), to = move_to(move);
  int type = type_of(pos.board[from]);
  bool capture = pos.board[to] != 0;
  move_to_text(pos, side, move, coordinate, style);
  san[0] = file_form[0] = rank_form[0] = 0;

  if (type == kPawn) {
    bool promotion = (move & kFlagMask) != 0;
    if (promotion) std::strcpy(coordinate + 4, promotion_suffix(move));
    if (capture || to == pos.ep_square) {
      std::sprintf(san, "%cx%s", 'a' + file_of(from), kSquareNames[to]);
      std::sprintf(file_form, "%c%c", 'a' + file_of(from), 'a' + file_of(to));
    } else {
      std::strcpy(san, kSquareNames[to]);
    }
    if (promotion) {
      std::strcat(san, promotion_suffix(move));
      if (file_form[0]) std::strcat(file_form, promotion_suffix(move));
    }
  } else if (type == kKing && (move & kFlagMask)) {
    bool king_side = move & kFlagKingSide;
    int rook = castle_rook_of(pos, side, move);
    int destination = make_square(king_side ? 6 : 2, rank_of(from));
    bool chess960 = style.chess960;
    std::strcpy(san, king_side ? "O-O" : "O-O-O");
    std::strcpy(file_form, king_side ? "O-O" : "O-O-O");
    std::sprintf(coordinate, "%s%s", kSquareNames[from], kSquareNames[chess960 ? rook : destination]);
    std::sprintf(rank_form, "%s%s", kSquareNames[from], kSquareNames[chess960 ? destination : rook]);
  } else {
    char letter = kPieceLetters[type];
    Bitboard others = type == kKing ? 0 : rivals(pos, type, side, from, to);
    std::sprintf(file_form, "%c%c", letter, 'a' + file_of(from));
    std::sprintf(rank_form, "%c%c", letter, '1' + rank_of(from));
    if (!others) std::sprintf(san, "%c", letter);
    else if (!(others & (0x0101010101010101ULL << file_of(from)))) std::strcpy(san, file_form);
    else if (!(others & (0xFFULL << (8 * rank_of(from))))) std::strcpy(san, rank_form);
    else std::sprintf(san, "%c%s", letter, kSquareNames[from]);
    const char* tail = capture ? "x" : "";
    for (char* form : {san, file_form, rank_form}) {
      std::strcat(form, tail);
      std::strcat(form, kSquareNames[to]);
    }
  }

  MoveEntry entry{move, 0, pos.board[from], pos.board[to]};
  if (gives_check(pos, side, entry))
    for (char* form : {coordinate, san, file_form, rank_form}) std::strcat(form, "+");
}

int text_to_move(const Position& pos, const char* text, Move& move, MoveStyle style) {
  move = kNoMove;
  char wanted[24];
  size_t length = std::strlen(text);
  if (length == 0 || length > 16) return 0;
  std::strcpy(wanted, text);
  cut_at_plus(wanted);
  length = std::strlen(wanted);
  if (length == 0) return 0;

  char last = static_cast<char>(std::toupper(static_cast<unsigned char>(wanted[length - 1])));
  if (last == 'B' || last == 'N' || last == 'Q' || last == 'R') {
    if (length >= 2 && wanted[length - 2] == '=') {
      wanted[length - 1] = last;
    } else {
      wanted[length - 1] = '=';
      wanted[length] = last;
      wanted[length + 1] = 0;
    }
  }
  // Castling is read in any of its usual spellings: O-O, o-o, 0-0.
  for (char* c = wanted; *c; ++c)
    if (*c == 'o' || *c == '0') *c = 'O';

  MoveEntry list[kMaxMoves];
  generate_all_moves(pos, list);
  Bitboard named = 0;
  for (const char* c = wanted; c[0] && c[1]; ++c)
    if (c[0] >= 'a' && c[0] <= 'h' && c[1] >= '1' && c[1] <= '8') named |= bit(make_square(c[0] - 'a', c[1] - '1'));

  // Text names a move in one of three tiers, and the first tier that holds a legal move
  // decides: the move's own coordinate or SAN form; its other forms (castling as the
  // other coordinate form, over-disambiguated piece moves); a piece move written without
  // the disambiguation the attack tables call for (another piece of the kind reaches the
  // square but is pinned, or the writer left it out). So in Chess960 "d1c1" is the king's
  // step even where castling also puts the king on c1.
  constexpr int kTiers = 3;
  int matches[kTiers] = {0, 0, 0};
  Move found[kTiers] = {kNoMove, kNoMove, kNoMove};
  for (MoveEntry* e = list; e->move != kListEnd; ++e) {
    // Every form of a move names its to-square, except castling's and a pawn capture's
    // file form ("ed"): the others are passed over without writing their forms, which is
    // most of the time a PGN reader spends here.
    int from = move_from(e->move), to = move_to(e->move), type = type_of(pos.board[from]);
    bool unnamed_form = (type == kKing && (e->move & kFlagMask)) || (type == kPawn && file_of(from) != file_of(to));
    if (!unnamed_form && !(named & bit(to))) continue;
    char forms[4][24];
    san_forms(pos, e->move, forms[0], forms[1], forms[2], forms[3], style);
    int tier = kTiers;
    for (int f = 3; f >= 0; --f) {
      cut_at_plus(forms[f]);
      if (forms[f][0] && std::strcmp(forms[f], wanted) == 0) tier = f < 2 ? 0 : 1;
    }
    char plain[24];
    plain_piece_form(pos, e->move, plain);
    if (tier == kTiers && plain[0] && std::strcmp(plain, wanted) == 0) tier = 2;
    if (tier == kTiers || !move_is_legal(pos, pos.side, e->move)) continue;
    found[tier] = e->move;
    ++matches[tier];
  }
  int tier = 0;
  while (tier < kTiers - 1 && matches[tier] == 0) ++tier;
  move = found[tier];
  if (matches[tier] == 1) return 1;
  move = kNoMove;
  if (matches[tier] > 1) {
    std::fputs("ambiguous move\n", stdout);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace position
