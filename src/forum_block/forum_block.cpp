#include "forum_block/forum_block.hpp"

#include <algorithm>
#include <array>

#include "text/text.hpp"

namespace {

// Where the block's pictures are served from, set by the build. Only the paths identify the
// pictures, so a block written with another host is still recognised as one.
constexpr std::string_view kPictureHost = ULVENA_PICTURE_HOST;

constexpr std::string_view kHeadingPicture = ULVENA_HEADING_PICTURE;
constexpr std::string_view kMetalIcon = ULVENA_METAL_ICON;
constexpr std::string_view kCrystalIcon = ULVENA_CRYSTAL_ICON;
constexpr std::string_view kDeuteriumIcon = ULVENA_DEUTERIUM_ICON;
constexpr std::array kPicturePaths = {kHeadingPicture, kMetalIcon, kCrystalIcon, kDeuteriumIcon};

constexpr std::string_view kPictureOpen = "[img]";
constexpr std::string_view kPictureClose = "[/img]";
constexpr std::string_view kBlockOpen = "[center][color=#00ff00]";
constexpr std::string_view kFirstLineOpen = "[center][color=#00ff00][img]";
constexpr std::string_view kBlockClose = "[/color][/center]";
constexpr std::array<std::string_view, 2> kAddressSchemes = {"http://", "https://"};

void WritePicture(std::string& out, std::string_view path) {
  out.append(kPictureOpen).append(kPictureHost).append(path).append(kPictureClose);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a picture, then what it shows
void WriteAmount(std::string& out, std::string_view icon, std::string_view amount) {
  WritePicture(out, icon);
  out.append(1, ' ').append(amount);
}

bool EndsWithPicturePath(std::string_view text) {
  return std::any_of(kPicturePaths.begin(), kPicturePaths.end(),
                     [text](std::string_view path) { return text.ends_with(path); });
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

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): metal, crystal, deuterium, as everywhere
void WriteBlock(std::string& out, std::string_view line_end, std::string_view metal,
                std::string_view crystal, std::string_view deuterium) {
  out.append(line_end).append(kBlockOpen);
  WritePicture(out, kHeadingPicture);
  out.append(line_end);
  WriteAmount(out, kMetalIcon, metal);
  out.append(line_end).append(line_end);
  WriteAmount(out, kCrystalIcon, crystal);
  out.append(line_end).append(line_end);
  WriteAmount(out, kDeuteriumIcon, deuterium);
  out.append(kBlockClose);
}

std::optional<std::string_view> BlockLineRest(std::string_view line) {
  // Most lines that hold a '[' are coordinates, which neither start like a block line nor hold a
  // closing tag: told apart at once.
  const std::string_view text = WithoutLineEnd(line);
  const bool starts_like_one = text.starts_with("[c") || text.starts_with("[i") || text == "[";
  if (!starts_like_one && line.find("[/") == std::string_view::npos) {
    return std::nullopt;
  }
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
