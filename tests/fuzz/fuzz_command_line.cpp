// The command-line tail and the argument tail kept from it.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "launcher/launcher.h"

using namespace camsetup;
using namespace camsetup::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  FakePlatform platform;
  ChooseCodePage(platform, input.Byte());
  const std::string line = input.Rest();
  // Exactly as long as the text, so that a read past its end is caught.
  const std::size_t length = strnlen(line.c_str(), line.size());
  auto command_line = std::make_unique<char[]>(length + 1);
  std::memcpy(command_line.get(), line.data(), length);
  command_line[length] = '\0';

  const char* tail = DeriveCommandLineTail(command_line.get(), platform);
  const std::size_t tail_length = std::strlen(tail);
  if (tail_length > 0) {
    // A suffix of the command line that starts with a byte above 32.
    FUZZ_CHECK(tail >= command_line.get() && tail + tail_length == command_line.get() + length);
    FUZZ_CHECK(static_cast<unsigned char>(tail[0]) > 32);
  }

  Launcher launcher(platform);
  launcher.CaptureArgumentTail(tail);
  const char* kept = launcher.argument_tail();
  if (tail_length == 0 || tail_length > kMaxTailLength) {
    FUZZ_CHECK(kept[0] == '\0');
  } else {
    FUZZ_CHECK(kept[0] == ' ' && std::strcmp(kept + 1, tail) == 0);
  }
  FUZZ_CHECK(std::strlen(kept) <= kMaxTailLength + 1);
  return 0;
}
