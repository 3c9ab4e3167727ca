// Messages and endings: every text the program says to its user, with the stream it goes to, the
// exit statuses, and the one function that ends a run that cannot give its result.
#pragma once

#include <string>
#include <string_view>

#include "platform.hpp"

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

constexpr MessageText TextOf(Message message) {
  switch (message) {
    case Message::kTooFewArguments:
      return {Stream::kError, "ERROR : Too few argument.\n", "", false};
    case Message::kUsage:
      return {
          Stream::kOutput,
          "Utilisation : ulvenaReader nom_fichier\n\n"
          "  Sommeur de ressource d'Ulvena V1 !!\n\n"
          "      nom_fichier    nom ou chemin du fichier contenant les rapports de pillage.\n\n",
          "", false};
    case Message::kPrompt:
      return {Stream::kOutput, "\n\nVeuillez appuyer sur la touche ENTER !!\n", "", false};
    case Message::kCannotRead:
      return {Stream::kOutput, "ERROR : \"", "\" can't be open in reading mode.\n"};
    case Message::kIsWhereOutputGoes:
      return {Stream::kError, "ERROR : \"",
              "\" is also where the output goes: nothing was read.\n"};
    case Message::kWaiting:
      return {Stream::kError, "WARNING : \"", "\" is in use by another program: waiting for it.\n"};
    case Message::kReadError:
      return {Stream::kError, "Erreur de lecture du fichier \"", "\"\n"};
    case Message::kLineTooLong:
      return {Stream::kOutput, "ERROR : \"",
              "\" has a line too long to be read: nothing was appended.\n"};
    case Message::kNotText:
      return {Stream::kOutput, "ERROR : \"", "\" is not a text file: nothing was appended.\n"};
    case Message::kCannotAppend:
      return {Stream::kOutput, "ERROR : \"", "\" can't be open in append mode.\n"};
    case Message::kChanged:
      return {Stream::kOutput, "ERROR : \"",
              "\" changed while it was being read: nothing was appended.\n"};
    case Message::kCannotWrite:
      return {Stream::kOutput, "ERROR : the result can't be written to \"", "\".\n"};
    case Message::kUnconfirmed:
      return {Stream::kOutput, "ERROR : the result written to \"",
              "\" can't be read back: nothing was appended.\n"};
    case Message::kPartLeft:
      return {Stream::kOutput, "ERROR : the end of \"",
              "\" holds part of the result, which can't be removed: a later run skips it.\n"};
    case Message::kOutputLost:
      return {Stream::kError, "WARNING : the output can't be written: ", "\n"};
  }
  return {};
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
