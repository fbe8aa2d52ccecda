// Feeds arbitrary bytes to the picture loader: every input must end in a
// picture or in an automation error, never in a crash or a read or write
// outside a buffer (the sanitizers watch).
#include <cstddef>
#include <cstdint>

#include "platform/oleaut/AutomationError.h"
#include "platform/picture/LoadPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    kelvane::picture::LoadPictureFromMemory({data, size});
  } catch (const kelvane::oleaut::AutomationError&) {
  }
  return 0;
}
