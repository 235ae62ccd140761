// libFuzzer entry for the declaration-resource reader: arbitrary bytes as a whole .res or PE
// file, and as the raw data of each of the three resources. Nothing may be read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/host/quorsim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  std::string error;
  quorsim::ModuleDeclarations declarations;
  quorsim::ParseModuleDeclarations(bytes, &declarations, &error);
  std::vector<quorsim::FunctionDeclaration> functions;
  quorsim::ParseFunctionDeclarations(bytes, &functions, &error);
  std::vector<std::string> strings;
  quorsim::ParseStringList(bytes, &strings, &error);
  std::vector<uint16_t> words;
  quorsim::ParseInformationWords(bytes, &words, &error);
  return 0;
}
