// Feeds command lines: the input, cut at line ends, is the argument list after the
// program's name. Only the settings are read; no run mode is started.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "shell/commandline.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(1);
  std::vector<std::string> words{"nesk"};
  std::string word;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' || data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (size) words.push_back(word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  shell::read_command_line(static_cast<int>(words.size()), argv.data());
  return 0;
}
