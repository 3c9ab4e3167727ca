// ulvenaReader: adds up the metal, crystal and deuterium of the pillage reports in a text file,
// prints the totals, and appends them to the file as a block ready for a forum post.
#include "ulvenaReader.hpp"

#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report_reader.hpp"
#include "messages/messages.hpp"
#include "platform/platform.hpp"

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

// Asks for Enter and waits for the answer, so that a console window opened for the run stays
// open until its user has read it. Runs as an exit handler, after every way out. With its output
// gone, nobody can read the prompt: the run then ends without waiting.
void pause() {
  Say(Message::kPrompt);
  if (const std::optional<std::string_view> lost = FlushOutput()) {
    if (!lost->empty()) {
      Say(Message::kOutputLost, *lost);
    }
    return;
  }
  WaitForAnswer();
}

// The run that the command line asks for; returns its status.
int run(int argc, char* argv[]) {
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

}  // namespace

int main(int argc, char* argv[]) {
  // First of all, so that the prompt follows every ending, errors included.
  std::atexit(pause);
  PrepareStandardStreams();
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    // Whatever could not be allocated, the run ends as a line too long for the memory left ends
    // it. On the way here, what it held was let go: its memory, and its report file, unchanged.
    Fail(Message::kLineTooLong, argc > 1 ? argv[1] : "");
  }
}
