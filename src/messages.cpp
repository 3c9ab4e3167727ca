#include "messages.hpp"

#include <cstdlib>

void Say(Message message, std::string_view path) {
  WriteOutput(TextOf(message).stream, TextWith(message, path));
}

void Fail(Message message, std::string_view path) {
  Say(message, path);
  std::exit(kFileFailure);
}
