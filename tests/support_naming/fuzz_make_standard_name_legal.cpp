// libFuzzer entry for MakeStandardNameLegal: arbitrary names (and numbers) in heap buffers of
// exactly the size the routine's precondition asks for, so AddressSanitizer sees any byte
// written past it. The result must be a standard name (NoName and the number for an empty
// one), reported as changed exactly when it differs from the input, and a second pass must
// leave it alone.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "support/naming.h"

namespace {

bool IsStandard(const char* name) {
  const size_t length = std::strlen(name);
  if (length == 0 || length > static_cast<size_t>(kMaxObjectNameLength)) return false;
  auto letter = [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(static_cast<unsigned char>(name[0]))) return false;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t number = 0;
  if (size >= 4) {
    std::memcpy(&number, data, 4);
    data += 4;
    size -= 4;
  }
  const std::string input(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  char digits[16];
  const size_t noNameBytes = 6 + static_cast<size_t>(std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(number))) + 1;
  const size_t bytes = input.empty() ? noNameBytes : input.size() + 2;
  std::unique_ptr<char[]> name(new char[bytes]);
  std::memcpy(name.get(), input.c_str(), input.size() + 1);

  const int32_t changed = MakeStandardNameLegal(name.get(), number);
  if (changed != (input != name.get() ? 1 : 0)) __builtin_trap();
  if (input.empty()) {
    // NoName and the number as the caller gave it (a negative one keeps its '-').
    if (std::string(name.get()) != std::string("NoName") + digits) __builtin_trap();
    if (number < 0) return 0;
  }
  if (!IsStandard(name.get())) __builtin_trap();
  if (MakeStandardNameLegal(name.get(), number) != 0) __builtin_trap();
  return 0;
}
