// libFuzzer entry for CreateValidDataObjectName against the simulated host: arbitrary names,
// object types, flags and counters, on hosts of several versions, with objects of every type
// already in the folder. On success the final name is at most 31 characters and either free in
// the folder or an object of the same type to overwrite; on an error outName is untouched; the
// caller's current data folder is always the same afterwards.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "hostlink/transport.h"
#include "linked_host/linked_host.h"
#include "sim/host/quorsim.h"
#include "support/naming.h"

namespace {

constexpr int kVersions[] = {0, 199, 299, 300, 301, 602};
constexpr int32_t kTypes[] = {kObjectTypeWave, kObjectTypeNumericVariable, kObjectTypeStringVariable,
                              kObjectTypeDataFolder, 2, 7, -1};

// Takes bytes off the front of the input.
struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  int32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    return static_cast<int32_t>(v);
  }
  // A text up to the next NUL byte (or the end).
  std::string Text() {
    std::string text;
    while (size > 0) {
      const char c = static_cast<char>(Byte());
      if (c == '\0') break;
      text.push_back(c);
    }
    return text;
  }
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const uint8_t control = in.Byte();
  const uint8_t flags = in.Byte();
  testhost::LinkedHost linked(testhost::Options(kVersions[control % std::size(kVersions)], 200, false));
  quorsim::Host& host = linked.host();
  const int32_t objectType = kTypes[(control / 8) % std::size(kTypes)];
  int32_t counter = in.Word();

  // Objects already there: up to four, each of a type chosen by the input, in a folder "work".
  Handle work = host.NewDataFolder(nullptr, "work");
  host.SetCurrentDataFolder(work);
  const uint8_t objects = in.Byte() % 5;
  for (uint8_t i = 0; i < objects; ++i) {
    const uint8_t kind = in.Byte() % 4;
    const std::string name = in.Text();
    if (kind == 0) {
      host.MakeTestWave(name, 1, 4, {1});
    } else if (kind == 3) {
      host.NewDataFolder(nullptr, name);
    } else {
      quorsim::VariableView v;
      v.name = name;
      v.type = kind == 1 ? 4 : 0;
      quorsim::MakeTestVariable(host, nullptr, v);
    }
  }
  const bool useFolder = (flags & 0x20) != 0;
  if (useFolder) host.SetCurrentDataFolder(host.RootDataFolder());
  const Handle current = host.CurrentDataFolder();
  const std::string inName = in.Text();

  char outName[kObjectNameBufferSize + 8];
  std::memset(outName, '#', sizeof outName);
  int32_t nameChanged = -1, doOverwrite = -1;
  const int32_t result =
      CreateValidDataObjectName(useFolder ? work : nullptr, inName.c_str(), outName, &counter, objectType, flags & 1,
                                (flags >> 1) & 1, (flags >> 2) & 1, (flags >> 3) & 1, &nameChanged, &doOverwrite);

  Check(host.CurrentDataFolder() == current);
  Check(quorsim::Notices(host).size() <= 1);
  if (result != 0) {
    for (char c : outName) Check(c == '#');
    Check(nameChanged == 0);
    return 0;
  }
  const size_t length = strnlen(outName, sizeof outName);
  Check(length <= static_cast<size_t>(kMaxObjectNameLength));
  Check(nameChanged == (std::strcmp(outName, inName.c_str()) != 0 ? 1 : 0));
  int32_t existingType = 0;
  const bool exists = LookUpFolderObject(work, outName, &existingType, nullptr) == 0;
  if (doOverwrite == 1) {
    Check(exists && existingType == objectType);
  } else {
    Check(doOverwrite == 0);
    Check(!exists);
  }
  return 0;
}
