// Messages and endings: every text the program says to its user, with the stream it goes to, the
// exit statuses, and the one function that ends a run that cannot give its result.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.hpp"

// Exit statuses. Where a system keeps only the low 8 bits of a status, -1 and -2 are seen as 255
// and 254.
inline constexpr int kSuccess = 0;
inline constexpr int kMissingArgument = -1;
inline constexpr int kFileFailure = -2;  // the report cannot be read, or its block not added

enum class Message {
  kTooFewArguments,
  kUsage,
  kPrompt,
  kCannotRead,
  kIsWhereOutputGoes,
  kWaiting,
  kReadError,
  kLineTooLong,
  kNotText,
  kCannotAppend,
  kChanged,
  kCannotWrite,
  kUnconfirmed,
  kPartLeft,
  kOutputLost,
};

// A message's stream and its text; a report's path, where the message names one, stands between
// `before` and `after` (for kOutputLost, the system's reason).
struct MessageText {
  Stream stream = Stream::kOutput;
  std::string_view before;
  std::string_view after;
  bool names_path = true;
};

// Each message with its text, in the order of Message, which TextOf relies on.
struct MessageEntry {
  Message message;
  MessageText text;
};

inline constexpr std::array kMessages = {
    MessageEntry{Message::kTooFewArguments,
                 {Stream::kError, "ERROR : Too few argument.\n", "", false}},
    MessageEntry{
        Message::kUsage,
        {Stream::kOutput,
         "Utilisation : ulvenaReader nom_fichier\n\n"
         "  Sommeur de ressource d'Ulvena V1 !!\n\n"
         "      nom_fichier    nom ou chemin du fichier contenant les rapports de pillage.\n\n",
         "", false}},
    MessageEntry{Message::kPrompt,
                 {Stream::kOutput, "\n\nVeuillez appuyer sur la touche ENTER !!\n", "", false}},
    MessageEntry{Message::kCannotRead,
                 {Stream::kOutput, "ERROR : \"", "\" can't be open in reading mode.\n"}},
    MessageEntry{
        Message::kIsWhereOutputGoes,
        {Stream::kError, "ERROR : \"", "\" is also where the output goes: nothing was read.\n"}},
    MessageEntry{
        Message::kWaiting,
        {Stream::kError, "WARNING : \"", "\" is in use by another program: waiting for it.\n"}},
    MessageEntry{Message::kReadError, {Stream::kError, "Erreur de lecture du fichier \"", "\"\n"}},
    MessageEntry{Message::kLineTooLong,
                 {Stream::kOutput, "ERROR : \"",
                  "\" has a line too long to be read: nothing was appended.\n"}},
    MessageEntry{Message::kNotText,
                 {Stream::kOutput, "ERROR : \"", "\" is not a text file: nothing was appended.\n"}},
    MessageEntry{Message::kCannotAppend,
                 {Stream::kOutput, "ERROR : \"", "\" can't be open in append mode.\n"}},
    MessageEntry{Message::kChanged,
                 {Stream::kOutput, "ERROR : \"",
                  "\" changed while it was being read: nothing was appended.\n"}},
    MessageEntry{Message::kCannotWrite,
                 {Stream::kOutput, "ERROR : the result can't be written to \"", "\".\n"}},
    MessageEntry{Message::kUnconfirmed,
                 {Stream::kOutput, "ERROR : the result written to \"",
                  "\" can't be read back: nothing was appended.\n"}},
    MessageEntry{Message::kPartLeft,
                 {Stream::kOutput, "ERROR : the end of \"",
                  "\" holds part of the result, which can't be removed: a later run skips it.\n"}},
    MessageEntry{Message::kOutputLost,
                 {Stream::kError, "WARNING : the output can't be written: ", "\n"}},
};

constexpr bool InTheOrderOfMessage() {
  for (std::size_t i = 0; i < kMessages.size(); ++i) {
    if (static_cast<std::size_t>(kMessages.at(i).message) != i) {
      return false;
    }
  }
  return kMessages.size() == static_cast<std::size_t>(Message::kOutputLost) + 1;
}
static_assert(InTheOrderOfMessage());

constexpr MessageText TextOf(Message message) {
  return kMessages.at(static_cast<std::size_t>(message)).text;
}

// What a line of the echo says of a line without three numbers: the line stands between the
// quotes, and the count of numbers read between the warning's two halves.
inline constexpr std::string_view kLineNotRead = "ERROR : la ligne ne peut etre lu : \"";
inline constexpr std::string_view kLineNotReadEnd = "\"\n";
inline constexpr std::string_view kNumbersRead = "WARNING : seul ";
inline constexpr std::string_view kNumbersReadEnd = " nombre a ete lu !!\n";

// The whole text of `message`, naming `path` where it names a path.
inline std::string TextWith(Message message, std::string_view path) {
  const MessageText text = TextOf(message);
  std::string whole(text.before);
  if (text.names_path) {
    whole.append(path).append(text.after);
  }
  return whole;
}

// Writes `message` on its stream, without allocating: it may tell that the memory ran out.
void Say(Message message, std::string_view path = {});

// Says `message`, then ends the process with status kFileFailure; the exit prompt follows, as
// after every ending. When standard output is gone, a message meant for it is said on standard
// error as well, so that the reason a run failed is never lost with it.
[[noreturn]] void Fail(Message message, std::string_view path);
