// libFuzzer entry for ResolveDataFolderPath on hosts before and from 301, with arbitrary path
// texts (longer than 400 characters too) and start folders. A resolved folder is always one of
// the host's; a path too long for an older host gives a null folder; and whatever an older host
// resolves, a newer host resolves to the same folder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "hostlink/transport.h"
#include "linked_host/linked_host.h"
#include "sim/host/quorsim.h"
#include "support/naming.h"

namespace {

constexpr int kOldVersions[] = {0, 250, 300};
constexpr int kNewVersions[] = {301, 602};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Outcome {
  int32_t result;
  int folder;  // index into the tree below, -1 for null, -2 for a handle that is none of them
};

// root, root:a, root:a:b, root:c; the start folder by index (-1: null) and the current one.
Outcome ResolveOn(int version, int start, int current, const std::string& path) {
  testhost::LinkedHost linked(testhost::Options(version, 200, false));
  quorsim::Host& host = linked.host();
  Handle folders[4];
  folders[0] = host.RootDataFolder();
  folders[1] = host.NewDataFolder(nullptr, "a");
  folders[2] = host.NewDataFolder(folders[1], "b");
  folders[3] = host.NewDataFolder(nullptr, "c");
  host.SetCurrentDataFolder(folders[current]);
  Handle out = reinterpret_cast<Handle>(uintptr_t{0x5A5A5A50});
  const int32_t result = ResolveDataFolderPath(start < 0 ? nullptr : folders[start], path.c_str(), &out);
  int index = out == nullptr ? -1 : -2;
  for (int i = 0; i < 4; ++i) {
    if (out == folders[i]) index = i;
  }
  if (result == 0) Check(index >= 0);
  if (version < 301 && path.size() > static_cast<size_t>(kMaxFolderPathLength)) Check(result == kErrFolderPathTooLong);
  if (result == kErrFolderPathTooLong) Check(index == -1);
  return {result, index};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t control = data[0];
  const uint8_t repeat = data[1];
  const std::string piece(reinterpret_cast<const char*>(data + 2), strnlen(reinterpret_cast<const char*>(data + 2), size - 2));
  // A piece repeated makes long paths cheap to reach.
  std::string path;
  for (int i = 0; i <= (repeat & 0x3F) && path.size() < 2000; ++i) path += piece;
  const int start = static_cast<int>(control % 5) - 1;
  const int current = (control / 5) % 4;

  const Outcome old = ResolveOn(kOldVersions[(control / 20) % 3], start, current, path);
  const Outcome fresh = ResolveOn(kNewVersions[(control / 60) % 2], start, current, path);
  if (old.result == 0) Check(fresh.result == 0 && fresh.folder == old.folder);
  return 0;
}
