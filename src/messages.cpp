#include "messages.hpp"

#include <cstdlib>

std::string TextWith(Message message, std::string_view path) {
  const MessageText text = TextOf(message);
  std::string whole(text.before);
  if (text.names_path) {
    whole.append(path).append(text.after);
  }
  return whole;
}

void Say(Message message, std::string_view path) {
  WriteOutput(TextOf(message).stream, TextWith(message, path));
}

void Fail(Message message, std::string_view path) {
  Say(message, path);
  std::exit(kFileFailure);
}
