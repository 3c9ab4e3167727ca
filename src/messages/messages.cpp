#include "messages/messages.hpp"

#include <cstdlib>

namespace {

void SayOn(Stream stream, Message message, std::string_view path) {
  const MessageText text = TextOf(message);
  WriteOutput(stream, text.before);
  if (text.names_path) {
    WriteOutput(stream, path);
    WriteOutput(stream, text.after);
  }
}

}  // namespace

void Say(Message message, std::string_view path) {
  SayOn(TextOf(message).stream, message, path);
}

void Fail(Message message, std::string_view path) {
  Say(message, path);
  if (TextOf(message).stream == Stream::kOutput && FlushOutput().has_value()) {
    SayOn(Stream::kError, message, path);
  }
  std::exit(kFileFailure);
}
