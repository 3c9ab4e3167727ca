#include "result_output.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "platform.hpp"

namespace {

// Where the block's pictures are served from, set by the build. Only the paths below identify the
// pictures, so a block written with another host is still recognised as one.
constexpr std::string_view kPictureHost = ULVENA_PICTURE_HOST;

constexpr std::string_view kHeadingPicture = "/img301/3650/rentaiw0.png";
constexpr std::string_view kMetalIcon = "/img451/3976/metalic2.png";
constexpr std::string_view kCrystalIcon = "/img217/1948/cristalrd2.png";
constexpr std::string_view kDeuteriumIcon = "/img105/5311/deutym6.png";
constexpr std::array kPicturePaths = {kHeadingPicture, kMetalIcon, kCrystalIcon, kDeuteriumIcon};

constexpr std::string_view kPictureOpen = "[img]";
constexpr std::string_view kPictureClose = "[/img]";
constexpr std::string_view kBlockOpen = "[center][color=#00ff00]";
constexpr std::string_view kFirstLineOpen = "[center][color=#00ff00][img]";
constexpr std::string_view kBlockClose = "[/color][/center]";
constexpr std::array<std::string_view, 2> kAddressSchemes = {"http://", "https://"};

// "0000" to "9999", so that four digits cost one look-up.
constexpr auto kFourDigits = [] {
  std::array<char, std::size_t{4} * 10000> table{};
  for (std::size_t n = 0; n < 10000; ++n) {
    table[4 * n] = static_cast<char>('0' + n / 1000);
    table[4 * n + 1] = static_cast<char>('0' + n / 100 % 10);
    table[4 * n + 2] = static_cast<char>('0' + n / 10 % 10);
    table[4 * n + 3] = static_cast<char>('0' + n % 10);
  }
  return table;
}();

char* WriteFourDigits(char* out, std::uint64_t n) {
  std::memcpy(out, &kFourDigits[4 * n], 4);
  return out + 4;
}

char* WriteEightDigits(char* out, std::uint64_t n) {
  out = WriteFourDigits(out, n / 10000);
  return WriteFourDigits(out, n % 10000);
}

// n < 10^4, without leading zeros. Copies four bytes whatever the length: those past the number
// come from the table's next entry, and what is written next covers them.
char* WriteUpToFourDigits(char* out, std::uint64_t n) {
  const std::size_t length = n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1;
  std::memcpy(out, &kFourDigits[4 * n + 4 - length], 4);
  return out + length;
}

// n < 10^8, without leading zeros.
char* WriteUpToEightDigits(char* out, std::uint64_t n) {
  if (n < 10000) {
    return WriteUpToFourDigits(out, n);
  }
  out = WriteUpToFourDigits(out, n / 10000);
  return WriteFourDigits(out, n % 10000);
}

bool EndsWithPicturePath(std::string_view text) {
  return std::any_of(kPicturePaths.begin(), kPicturePaths.end(),
                     [text](std::string_view path) { return text.ends_with(path); });
}

void PrintPicture(std::string& out, std::string_view path) {
  out.append(kPictureOpen).append(kPictureHost).append(path).append(kPictureClose);
}

void PrintAmount(std::string& out, std::string_view icon, std::uint64_t amount) {
  PrintPicture(out, icon);
  out += ' ';
  PrintDoted(out, amount);
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) {
    line.remove_suffix(1);
  }
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  return line;
}

// The bytes of a picture's address; the tags around it are not.
bool IsAddressByte(char byte) {
  return byte > ' ' && byte < '\x7f' && byte != '[' && byte != ']';
}

// An http or https address, or its beginning.
bool CouldBeAddress(std::string_view text) {
  return std::any_of(kAddressSchemes.begin(), kAddressSchemes.end(),
                     [text](std::string_view scheme) {
                       return text.starts_with(scheme) || scheme.starts_with(text);
                     });
}

// A block line cut short before its picture's closing tag: it stops within the opening tags, the
// address or the closing tag. A cut later in the line leaves a whole picture, which
// BlockLineRest knows by itself.
bool IsCutPictureLine(std::string_view line) {
  if (!line.starts_with('[')) {
    return false;
  }
  line = WithoutLineEnd(line);
  std::string_view address;
  if (line.starts_with(kFirstLineOpen)) {
    address = line.substr(kFirstLineOpen.size());
  } else if (line.starts_with(kPictureOpen)) {
    address = line.substr(kPictureOpen.size());
  } else {
    return kFirstLineOpen.starts_with(line) || kPictureOpen.starts_with(line);
  }
  const auto* const address_end = std::find_if_not(address.begin(), address.end(), IsAddressByte);
  const auto after = address.substr(static_cast<std::size_t>(address_end - address.begin()));
  address = address.substr(0, address.size() - after.size());
  if (!CouldBeAddress(address)) {
    return false;
  }
  return after.empty() || (EndsWithPicturePath(address) && after.size() < kPictureClose.size() &&
                           kPictureClose.starts_with(after));
}

// The block is ASCII, so each of its bytes is one UTF-16 code unit.
std::string Encoded(std::string_view text, TextEncoding encoding) {
  if (encoding == TextEncoding::kBytes) {
    return std::string(text);
  }
  std::string encoded;
  encoded.reserve(2 * text.size());
  for (const char byte : text) {
    if (encoding == TextEncoding::kUtf16LittleEndian) {
      encoded.append({byte, '\0'});
    } else {
      encoded.append({'\0', byte});
    }
  }
  return encoded;
}

}  // namespace

void Message(std::FILE* stream, std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const auto piece : pieces) {
    text += piece;
  }
  WriteOutput(stream, text);
}

void Fatal(std::FILE* stream, std::initializer_list<std::string_view> pieces) {
  Message(stream, pieces);
  std::exit(kFileFailure);
}

char* WriteDecimal(char* out, std::uint64_t value) {
  constexpr std::uint64_t kTenTo8 = 100'000'000;
  constexpr std::uint64_t kTenTo16 = kTenTo8 * kTenTo8;
  if (value < kTenTo8) {
    return WriteUpToEightDigits(out, value);
  }
  if (value < kTenTo16) {
    out = WriteUpToEightDigits(out, value / kTenTo8);
    return WriteEightDigits(out, value % kTenTo8);
  }
  out = WriteUpToEightDigits(out, value / kTenTo16);
  out = WriteEightDigits(out, value / kTenTo8 % kTenTo8);
  return WriteEightDigits(out, value % kTenTo8);
}

char* WriteDoted(char* out, std::uint64_t value) {
  std::array<char, kDecimalRoom> digits;
  const auto count = static_cast<std::size_t>(WriteDecimal(digits.data(), value) - digits.data());
  for (std::size_t i = 0; i < count; ++i) {
    *out++ = digits[i];
    const std::size_t place = count - 1 - i;  // 0 for the units digit
    if (place != 0 && place % 3 == 0) {
      *out++ = '.';
    }
  }
  return out;
}

void PrintDoted(std::string& out, std::uint64_t value) {
  std::array<char, kMaxDotedLength> doted;
  out.append(doted.data(), WriteDoted(doted.data(), value));
}

void PrintfIntResult(std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium) {
  constexpr std::string_view kHeading = "Rentabilite :\n";
  std::array<char, kHeading.size() + kMaxTotalsLength + 1> summary;
  char* end = WriteTotals<WriteDoted>(Put(summary.data(), kHeading), metal, crystal, deuterium);
  *end++ = '\n';
  WriteOutput(stdout, std::string_view(summary.data(), end));
}

void PrintFormated(std::string& out, std::string_view line_end, std::uint64_t metal,
                   std::uint64_t crystal, std::uint64_t deuterium) {
  out.append(line_end).append(kBlockOpen);
  PrintPicture(out, kHeadingPicture);
  out.append(line_end);
  PrintAmount(out, kMetalIcon, metal);
  out.append(line_end).append(line_end);
  PrintAmount(out, kCrystalIcon, crystal);
  out.append(line_end).append(line_end);
  PrintAmount(out, kDeuteriumIcon, deuterium);
  out.append(kBlockClose);
}

int SaveResult(const char* path, int held, const FileState& read, TextEncoding encoding,
               std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium) {
  bool missing = false;
  const int file = OpenForAppending(path, missing);
  // Every ending lets the file go first, so that another run over it need not wait for the
  // prompt that follows.
  const auto fail = [file, held](std::initializer_list<std::string_view> message) {
    CloseFile(file);
    CloseFile(held);
    Fatal(stdout, message);
  };
  if (file == kNoFile && !missing) {
    fail({"ERROR : \"", path, "\" can't be open in append mode.\n"});
  }
  // A block is only ever the totals of the file it ends.
  if (file == kNoFile || StateOf(file) != read) {
    fail({"ERROR : \"", path, "\" changed while it was being read: nothing was appended.\n"});
  }
  std::string block;
  PrintFormated(block, kTextLineEnd, metal, crystal, deuterium);
  const std::string bytes = Encoded(block, encoding);
  std::uint64_t end = 0;
  const std::size_t written = AppendBytes(file, bytes, end);
  if (written != bytes.size() || !FlushToStorage(file)) {
    // Part of a block would read as a report line in a later run.
    TakeBackEnd(file, end, written);
    fail({"ERROR : the result can't be written to \"", path, "\".\n"});
  }
  CloseFile(file);
  CloseFile(held);
  return 0;
}

std::optional<std::string_view> BlockLineRest(std::string_view line) {
  for (auto close = line.find(kPictureClose); close != std::string_view::npos;
       close = line.find(kPictureClose, close + 1)) {
    if (EndsWithPicturePath(line.substr(0, close))) {
      const auto after_picture = line.substr(close + kPictureClose.size());
      const auto block_end = after_picture.find(kBlockClose);
      if (block_end == std::string_view::npos) {
        return std::string_view{};
      }
      return after_picture.substr(block_end + kBlockClose.size());
    }
  }
  if (IsCutPictureLine(line)) {
    return std::string_view{};
  }
  return std::nullopt;
}
