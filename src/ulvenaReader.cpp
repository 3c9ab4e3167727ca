// ulvenaReader: adds up the metal, crystal and deuterium of the pillage reports in a text file,
// prints the totals, and appends them to the file as a block ready for a forum post.
#include "ulvenaReader.hpp"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages.hpp"
#include "platform.hpp"
#include "report_reader.hpp"

bool asking_help(const char* arg) {
  const std::string_view text(arg);
  if (!text.starts_with('-') && !text.starts_with('/')) {
    return false;
  }
  const std::string_view name = text.substr(1);
  return name == "?" || name == "help" || name == "aide";
}

namespace {

void print_help() {
  Say(Message::kUsage);
}

// Asks for Enter and waits for one character, so that a console window opened for the run stays
// open until its user has read it. Runs as an exit handler, after every way out. With its output
// gone, nobody can read the prompt: the run then ends without waiting.
void pause() {
  Say(Message::kPrompt);
  if (const std::optional<std::string> lost = FlushOutput()) {
    if (!lost->empty()) {
      Say(Message::kOutputLost, *lost);
    }
    return;
  }
  std::getchar();
}

}  // namespace

int main(int argc, char* argv[]) {
  // First of all, so that the prompt follows every ending, errors included.
  std::atexit(pause);
  PrepareStandardStreams();

  const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  if (arguments.size() <= 1) {
    Say(Message::kTooFewArguments);
    print_help();
    return kMissingArgument;
  }
  if (asking_help(arguments[1].c_str())) {
    print_help();
    return kSuccess;
  }
  ReadingFile(arguments[1].c_str());
  return kSuccess;
}
