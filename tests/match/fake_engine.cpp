// A scripted UCI engine for the match runner's referee tests. It plays the first legal
// move of each position and, from its move `after` on (counted from 1), misbehaves as its
// mode says:
//   legal    never misbehaves
//   illegal  answers a move the position does not allow
//   crash    aborts when asked for a move
//   hang     reads on but never answers "go"
//   slow     answers only after its clock has run out, plus 100 ms
// "score=CP" makes it report that score with each move.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "match/board.h"
#include "position/bitboard.h"
#include "position/legality.h"
#include "position/movegen.h"
#include "position/zobrist.h"

namespace {

void say(const std::string& line) { std::cout << line << std::endl; }

position::Move first_legal_move(const match::Board& board) {
  position::MoveEntry list[position::kMaxMoves];
  position::generate_all_moves(board.position(), list);
  for (position::MoveEntry* e = list; e->move != position::kListEnd; ++e)
    if (position::move_is_legal(board.position(), board.side_to_move(), e->move)) return e->move;
  return position::kNoMove;
}

void set_position(match::Board& board, const std::string& line) {
  std::istringstream in(line);
  std::string word, fen;
  in >> word >> word;
  if (word == "fen") {
    while (in >> word && word != "moves") fen += (fen.empty() ? "" : " ") + word;
    board.set_up(fen);
  } else {
    board.set_up(position::kStartFen);
    in >> word;
  }
  while (in >> word) {
    position::Move move;
    if (board.read_coordinate_move(word, move)) board.play(move);
  }
}

long remaining_ms(const std::string& go, int side) {
  std::istringstream in(go);
  std::string word;
  long value = 0;
  while (in >> word)
    if (word == (side == position::kWhite ? "wtime" : "btime")) in >> value;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  position::init_tables();
  position::init_zobrist();
  std::string mode = argc > 1 ? argv[1] : "legal";
  int after = 1, score = 0;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("after=", 0) == 0) after = std::atoi(a.c_str() + 6);
    if (a.rfind("score=", 0) == 0) score = std::atoi(a.c_str() + 6);
  }
  match::Board board;
  int moves = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "uci") {
      say("id name fake " + mode);
      say("uciok");
    } else if (line == "isready") {
      say("readyok");
    } else if (line.rfind("position", 0) == 0) {
      set_position(board, line);
    } else if (line.rfind("go", 0) == 0) {
      bool misbehave = ++moves >= after;
      if (misbehave && mode == "hang") continue;
      if (misbehave && mode == "crash") std::abort();
      if (misbehave && mode == "slow") usleep(static_cast<useconds_t>((remaining_ms(line, board.side_to_move()) + 100) * 1000));
      std::string move = board.coordinate(first_legal_move(board));
      if (misbehave && mode == "illegal") {
        position::Move unused;
        for (const char* text : {"e2e5", "e7e4", "a1a1"})
          if (!board.read_coordinate_move(text, unused)) {
            move = text;
            break;
          }
      }
      say("info depth 3 score cp " + std::to_string(score) + " nodes 10");
      say("bestmove " + move);
    } else if (line == "quit") {
      break;
    }
  }
  return 0;
}
