#include "result_output.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

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
constexpr std::string_view kBlockOpen = "\n[center][color=#00ff00]";
constexpr std::string_view kBlockClose = "[/color][/center]";

// The 20 digits of the largest 64-bit value and the six dots between their groups.
constexpr std::size_t kMaxDotedLength = 26;

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

void WritePicture(std::FILE* stream, std::string_view path) {
  Write(stream, kPictureOpen);
  Write(stream, kPictureHost);
  Write(stream, path);
  Write(stream, kPictureClose);
}

void WriteAmount(std::FILE* stream, std::string_view icon, std::uint64_t amount) {
  WritePicture(stream, icon);
  Write(stream, " ");
  PrintDoted(stream, amount);
}

bool EndsWithPicturePath(std::string_view text) {
  return std::any_of(kPicturePaths.begin(), kPicturePaths.end(),
                     [text](std::string_view path) { return text.ends_with(path); });
}

}  // namespace

void PrintDoted(std::FILE* stream, std::uint64_t value) {
  std::array<char, 20> digits{};
  auto* const digits_end = std::to_chars(digits.begin(), digits.end(), value).ptr;
  const auto count = static_cast<std::size_t>(digits_end - digits.begin());

  std::array<char, kMaxDotedLength> doted{};
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) {
    doted[length++] = digits[i];
    const std::size_t place = count - 1 - i;  // 0 for the units digit
    if (place != 0 && place % 3 == 0) {
      doted[length++] = '.';
    }
  }
  Write(stream, std::string_view(doted.data(), length));
}

void PrintfIntResult(std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium) {
  std::puts("Rentabilite :");
  std::fputs("Metal=", stdout);
  PrintDoted(stdout, metal);
  std::fputs(", Cristal=", stdout);
  PrintDoted(stdout, crystal);
  std::fputs(", Deuterium=", stdout);
  PrintDoted(stdout, deuterium);
  std::putchar('\n');
}

int SaveResult(const char* path, std::uint64_t metal, std::uint64_t crystal,
               std::uint64_t deuterium) {
  const std::filesystem::path file_path = FilePath(path);
  std::error_code no_size;
  const auto size_before = std::filesystem::file_size(file_path, no_size);
  // Text mode: on Windows the block's lines end with CR LF, like the rest of a text file there.
  std::FILE* file = OpenFile(path, "a");
  if (file == nullptr) {
    std::printf("ERROR : \"%s\" can't be open in append mode.\n", path);
    std::exit(-2);
  }
  PrintFormated(file, metal, crystal, deuterium);
  // Flushed apart from the closing: some C runtimes' fclose does not report a failed flush.
  const bool written = std::fflush(file) == 0 && std::ferror(file) == 0;
  if (std::fclose(file) != 0 || !written) {
    // Takes back the part of the block that did reach the disk, which a later run would read
    // as a report line.
    if (!no_size) {
      std::error_code ignored;
      std::filesystem::resize_file(file_path, size_before, ignored);
    }
    std::printf("ERROR : the result can't be written to \"%s\".\n", path);
    std::exit(-2);
  }
  return 0;
}

void PrintFormated(std::FILE* stream, std::uint64_t metal, std::uint64_t crystal,
                   std::uint64_t deuterium) {
  if (stream == nullptr) {
    return;
  }
  Write(stream, kBlockOpen);
  WritePicture(stream, kHeadingPicture);
  Write(stream, "\n");
  WriteAmount(stream, kMetalIcon, metal);
  Write(stream, "\n\n");
  WriteAmount(stream, kCrystalIcon, crystal);
  Write(stream, "\n\n");
  WriteAmount(stream, kDeuteriumIcon, deuterium);
  Write(stream, kBlockClose);
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
  return std::nullopt;
}
