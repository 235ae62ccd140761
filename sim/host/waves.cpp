// The simulated host's waves: making and changing them in data folders, keeping their headers
// in the two layouts the module reads itself (indicators 0 and 1) or in the host's own layout,
// and answering the module's wave requests through the callback.
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "sim/host/host_internal.h"
#include "sim/host/memory_internal.h"

namespace quorsim {
namespace {

constexpr int kComplexBit = 1;
constexpr unsigned char kOwnHeaderFill = 0xA5;  // the host's own header: nothing for the module to read

template <typename T>
void Put(uint8_t* block, size_t offset, T value) {
  std::memcpy(block + offset, &value, sizeof value);
}

std::string Upper(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

int BaseType(int type) { return type & ~kComplexBit; }
bool IsComplex(int type) { return type != 0 && (type & kComplexBit) != 0; }
int32_t ElementsPerPoint(int type) { return IsComplex(type) ? 2 : 1; }

int DimensionCount(const Wave& w) {
  int n = 0;
  while (n < kMaxDimensions && w.dimensions[n] != 0) ++n;
  return n;
}

size_t DataOffsetOf(const Wave& w) { return WaveDataOffset(w.layout, w.type); }
uint8_t* DataOf(const Wave& w) { return reinterpret_cast<uint8_t*>(*w.handle) + DataOffsetOf(w); }

// Checks a dimension list: sizes not negative, at most four, the first 0 ends it. Gives the
// cleaned list (zeros after the end) and the number of points.
int32_t CheckDimensions(const std::array<int32_t, kMaxDimensions>& in, std::array<int32_t, kMaxDimensions>* out,
                        int32_t* points) {
  out->fill(0);
  uint64_t product = 1;
  int n = 0;
  for (; n < kMaxDimensions && in[n] != 0; ++n) {
    if (in[n] < 0) return kErrBadDimensions;
    (*out)[n] = in[n];
    product *= static_cast<uint64_t>(in[n]);
    if (product > static_cast<uint64_t>(INT32_MAX)) return kErrNoMemory;
  }
  *points = n == 0 ? 0 : static_cast<int32_t>(product);
  return 0;
}

// Bytes of the whole block for this wave shape; 0 when it would be larger than the host allows.
size_t BlockBytes(int layout, int type, int32_t points) {
  uint64_t total = uint64_t{WaveDataOffset(layout, type)} + WaveDataBytes(type, points);
  return total > kMaxBlockBytes ? 0 : static_cast<size_t>(total);
}

void ResetData(const Wave& w) {
  std::memset(DataOf(w), 0, MemHandleSize(w.handle) - DataOffsetOf(w));
}

// All values of a numeric wave as doubles (two per point for complex waves).
std::vector<double> ValuesOf(const Wave& w) {
  std::vector<double> values;
  if (w.type == 0) return values;
  size_t count = static_cast<size_t>(w.points) * static_cast<size_t>(ElementsPerPoint(w.type));
  size_t bytes = WaveElementBytes(w.type);
  const uint8_t* data = DataOf(w);
  values.resize(count);
  for (size_t i = 0; i < count; ++i) values[i] = ReadElement(data + i * bytes, BaseType(w.type));
  return values;
}

const char* TextItem(HostWord item) { return reinterpret_cast<const char*>(item); }

// A name from an item: null, longer than 31 characters or not terminated within them reads as
// no name. Reads at most 32 bytes.
bool NameFromItem(HostWord item, std::string* name) {
  const char* text = TextItem(item);
  if (text == nullptr) return false;
  size_t length = strnlen(text, kMaxWaveNameLength + 1);
  if (length > kMaxWaveNameLength) return false;
  name->assign(text, length);
  return true;
}

void CopyUnitsOut(const std::string& units, HostWord item) {
  char* out = reinterpret_cast<char*>(item);
  if (out == nullptr) return;
  size_t n = std::min(units.size(), kMaxUnitsLength);
  std::memcpy(out, units.data(), n);
  out[n] = '\0';
}

void CopyUnitsIn(HostWord item, std::string* units) {
  const char* text = TextItem(item);
  if (text == nullptr) return;
  units->assign(text, strnlen(text, kMaxUnitsLength));
}

// Units of a dimension index (-1: the data); null for an index the host does not have.
std::string* UnitsOf(Wave& w, HostWord index) {
  if (index == -1) return &w.header.dataUnits;
  if (index >= 0 && index < kMaxDimensions) return &w.header.dimensionUnits[index];
  return nullptr;
}

// The gates of an older host on wave element types (messages 42 and 43).
int32_t OldHostTypeGate(int version, int type) {
  if (version < 300 && type == 0) return kErrHostTooOld;
  if (version < 200 && BaseType(type) != 2 && BaseType(type) != 4) return kErrHostTooOld;
  return 0;
}

// Waves made by the module: a host before 3.00 knows only the one-dimensional layout 0.
int LayoutForHost(int version) { return version < 300 ? 0 : 1; }

// Linear index of a point from four indices, or -1 if one is outside its dimension.
int64_t LinearIndex(const Wave& w, const int32_t* indices) {
  int64_t linear = 0, stride = 1;
  for (int d = 0; d < kMaxDimensions && w.dimensions[d] != 0; ++d) {
    if (indices[d] < 0 || indices[d] >= w.dimensions[d]) return -1;
    linear += indices[d] * stride;
    stride *= w.dimensions[d];
  }
  if (DimensionCount(w) == 0) return -1;  // a wave of no points has no point to address
  return linear;
}

int32_t TransferPoint(Wave& w, HostWord indexItem, HostWord pairItem, bool store) {
  const int32_t* indices = reinterpret_cast<const int32_t*>(indexItem);
  double* pair = reinterpret_cast<double*>(pairItem);
  if (indices == nullptr || pair == nullptr) return kErrBadParameter;
  if (w.type == 0) return kErrNotNumeric;
  int64_t linear = LinearIndex(w, indices);
  if (linear < 0) return kErrIndexOutOfRange;
  size_t bytes = WaveElementBytes(w.type);
  uint8_t* element = DataOf(w) + static_cast<size_t>(linear) * static_cast<size_t>(ElementsPerPoint(w.type)) * bytes;
  for (int part = 0; part < ElementsPerPoint(w.type); ++part) {
    if (store) {
      WriteElement(element + part * bytes, BaseType(w.type), pair[part]);
    } else {
      pair[part] = ReadElement(element + part * bytes, BaseType(w.type));
    }
  }
  return 0;
}

int32_t TransferWhole(Wave& w, HostWord bufferItem, bool store) {
  double* buffer = reinterpret_cast<double*>(bufferItem);
  if (buffer == nullptr) return kErrBadParameter;
  if (w.type == 0) return kErrNotNumeric;
  size_t count = static_cast<size_t>(w.points) * static_cast<size_t>(ElementsPerPoint(w.type));
  size_t bytes = WaveElementBytes(w.type);
  uint8_t* data = DataOf(w);
  for (size_t i = 0; i < count; ++i) {
    if (store) {
      WriteElement(data + i * bytes, BaseType(w.type), buffer[i], true);
    } else {
      buffer[i] = ReadElement(data + i * bytes, BaseType(w.type));
    }
  }
  return 0;
}

int32_t ReadDimensionList(HostWord item, std::array<int32_t, kMaxDimensions>* dims) {
  const int32_t* list = reinterpret_cast<const int32_t*>(item);
  if (list == nullptr) return kErrBadParameter;
  dims->fill(0);
  for (int i = 0; i < kMaxDimensions; ++i) {  // stop at the end marker: the list may end there
    (*dims)[i] = list[i];
    if (list[i] == 0) break;
  }
  return 0;
}

void SetOutHandle(HostWord item, Handle value) {
  if (Handle* out = reinterpret_cast<Handle*>(item)) *out = value;
}

}  // namespace

// ---------------------------------------------------------------- types and names
bool IsValidWaveType(int type) {
  if (type == 0) return true;
  switch (BaseType(type)) {
    case 2: case 4: case 8: case 16: case 32: case 72: case 80: case 96: return true;
    default: return false;
  }
}

size_t WaveElementBytes(int type) {
  switch (BaseType(type)) {
    case 8: case 72: return 1;
    case 16: case 80: return 2;
    case 2: case 32: case 96: return 4;
    case 4: return 8;
    default: return 0;
  }
}

std::string WaveTypeName(int type) {
  if (!IsValidWaveType(type)) return {};
  if (type == 0) return "text";
  std::string base;
  switch (BaseType(type)) {
    case 2: base = "32-bit float"; break;
    case 4: base = "64-bit float"; break;
    case 8: base = "signed 8-bit integer"; break;
    case 16: base = "signed 16-bit integer"; break;
    case 32: base = "signed 32-bit integer"; break;
    case 72: base = "unsigned 8-bit integer"; break;
    case 80: base = "unsigned 16-bit integer"; break;
    default: base = "unsigned 32-bit integer"; break;
  }
  return IsComplex(type) ? "complex " + base : base;
}

bool IsStandardName(const std::string& name) {
  if (name.empty() || name.size() > kMaxWaveNameLength) return false;
  if (!std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; });
}

bool SameNameNoCase(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

size_t WaveDataOffset(int layout, int type) {
  if (layout == 0) return kLayout0DataOffset;
  if (layout == 1) return type == 0 ? kLayout1TextDataOffset : kLayout1DataOffset;
  return kOwnLayoutDataOffset;
}

size_t WaveDataBytes(int type, int32_t points) {
  uint64_t n = static_cast<uint64_t>(points < 0 ? 0 : points);
  // A text wave holds one 32-bit end offset per point and a leading 0: all texts empty.
  uint64_t bytes = type == 0 ? (n + 1) * 4 : n * static_cast<uint64_t>(ElementsPerPoint(type)) * WaveElementBytes(type);
  return bytes > kMaxBlockBytes ? kMaxBlockBytes + 1 : static_cast<size_t>(bytes);
}

// ---------------------------------------------------------------- elements
double ReadElement(const uint8_t* p, int baseType) {
  switch (baseType) {
    case 2: { float v; std::memcpy(&v, p, 4); return v; }
    case 4: { double v; std::memcpy(&v, p, 8); return v; }
    case 8: { int8_t v; std::memcpy(&v, p, 1); return v; }
    case 16: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case 32: { int32_t v; std::memcpy(&v, p, 4); return v; }
    case 72: { uint8_t v; std::memcpy(&v, p, 1); return v; }
    case 80: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 96: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    default: return 0;
  }
}

void WriteElement(uint8_t* p, int baseType, double value, bool wholeWave) {
  if (baseType == 4) {
    std::memcpy(p, &value, 8);
    return;
  }
  if (baseType == 2) {
    float f;
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) {
      f = value > 0 ? INFINITY : -INFINITY;
    } else {
      f = static_cast<float>(value);
    }
    std::memcpy(p, &f, 4);
    return;
  }
  uint64_t bits;
  if (wholeWave || baseType == 96) {
    int64_t t = (std::isnan(value) || value >= 0x1p63 || value < -0x1p63) ? INT64_MIN : static_cast<int64_t>(value);
    bits = static_cast<uint64_t>(t);
  } else {
    int32_t t = (std::isnan(value) || value >= 0x1p31 || value <= -0x1p31 - 1.0) ? INT32_MIN : static_cast<int32_t>(value);
    bits = static_cast<uint64_t>(static_cast<uint32_t>(t));
  }
  size_t bytes = WaveElementBytes(baseType);
  for (size_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));  // little-endian low bytes
}

// ---------------------------------------------------------------- folders and waves
Wave* FindWaveNamed(const Folder& folder, const std::string& name) {
  for (const auto& w : folder.waves) {
    if (SameNameNoCase(w->name, name)) return w.get();
  }
  return nullptr;
}

Folder* FindFolderNamed(const Folder& folder, const std::string& name) {
  for (const auto& f : folder.children) {
    if (SameNameNoCase(f->name, name)) return f.get();
  }
  return nullptr;
}

Wave* WaveOf(Host::State& s, HostWord item) {
  auto it = s.wavesByHandle.find(reinterpret_cast<Handle>(item));
  return it == s.wavesByHandle.end() ? nullptr : it->second;
}

Folder* FolderOf(Host::State& s, HostWord item) {
  if (item == 0) return s.current;
  auto it = s.foldersByHandle.find(reinterpret_cast<Handle>(item));
  return it == s.foldersByHandle.end() ? nullptr : it->second;
}

void WriteWaveHeader(const Wave& w) {
  uint8_t* b = reinterpret_cast<uint8_t*>(*w.handle);
  const WaveHeaderValues& h = w.header;
  const size_t headerBytes = DataOffsetOf(w);
  if (w.layout == 0) {
    std::memset(b, 0, headerBytes);
    Put<int16_t>(b, 0, static_cast<int16_t>(w.type));
    Put<int16_t>(b, 26, 0);
    Put<int32_t>(b, 42, w.points);
    Put<double>(b, 48, h.dimensionPairs[0][0]);
    Put<double>(b, 56, h.dimensionPairs[0][1]);
    Put<int16_t>(b, 66, h.value94);
    Put<int16_t>(b, 68, h.dataPairFlag);
    Put<double>(b, 70, h.dataPair[0]);
    Put<double>(b, 78, h.dataPair[1]);
    Put<int32_t>(b, 102, h.value93);
  } else if (w.layout == 1) {
    std::memset(b, 0, headerBytes);
    Put<int32_t>(b, 8, h.value93);
    Put<int32_t>(b, 12, w.points);
    Put<int16_t>(b, 16, static_cast<int16_t>(w.type));
    Put<int16_t>(b, 26, 1);
    for (int i = 0; i < kMaxDimensions; ++i) {
      Put<int32_t>(b, 68 + 4 * i, w.dimensions[i]);
      Put<double>(b, 84 + 8 * i, h.dimensionPairs[i][0]);
      Put<double>(b, 116 + 8 * i, h.dimensionPairs[i][1]);
    }
    Put<int16_t>(b, 168, h.dataPairFlag);
    Put<double>(b, 172, h.dataPair[0]);
    Put<double>(b, 180, h.dataPair[1]);
    Put<int16_t>(b, 296, h.value94);
    Put<int16_t>(b, 308, h.value95);
  } else {
    std::memset(b, kOwnHeaderFill, headerBytes);
    Put<int16_t>(b, 26, static_cast<int16_t>(w.layout));
  }
}

WaveView ViewOf(const Wave& w) {
  WaveView v;
  v.name = w.name;
  v.type = w.type;
  for (int d = 0; d < DimensionCount(w); ++d) v.dimensions.push_back(w.dimensions[d]);
  v.data = DataOf(w);
  v.dataBytes = MemHandleSize(w.handle) - DataOffsetOf(w);
  v.modifiedCount = w.modifiedCount;
  v.handle = w.handle;
  v.layout = w.layout;
  v.dataOffset = DataOffsetOf(w);
  return v;
}

int32_t MakeWave(Host::State& s, Folder& folder, const std::string& name, int layout, int type,
                 const std::array<int32_t, kMaxDimensions>& dimensions, bool overwrite, Wave** out) {
  *out = nullptr;
  auto refused = s.refusedNames.find(Upper(name));
  if (refused != s.refusedNames.end()) return refused->second;
  if (!IsStandardName(name)) return kErrBadName;
  if (!IsValidWaveType(type)) return kErrBadType;
  std::array<int32_t, kMaxDimensions> dims;
  int32_t points = 0;
  if (int32_t err = CheckDimensions(dimensions, &dims, &points)) return err;
  if (layout == 0 && dims[1] != 0) return kErrBadDimensions;  // layout 0 has one dimension
  size_t total = BlockBytes(layout, type, points);
  if (total == 0) return kErrNoMemory;

  Wave* w = FindWaveNamed(folder, name);
  if (w != nullptr) {
    if (!overwrite) return kErrNameInUse;
    if (MemIsLocked(w->handle) && MemHandleSize(w->handle) != total) return kErrWaveInUse;
    // The header and the data are written whole below: at the same size the block stays where
    // it is, at another it moves without its old contents.
    if (MemHandleSize(w->handle) != total && MemResizeHandle(w->handle, total, false) != kMemNoErr)
      return kErrNoMemory;
    int32_t serial = w->header.value93;
    w->header = WaveHeaderValues{};
    w->header.value93 = serial;
  } else {
    if (FindFolderNamed(folder, name) != nullptr) return kErrNameInUse;
    Handle h = MemAllocHandle(total, false);  // header and data are written whole below
    if (h == nullptr) return kErrNoMemory;
    MemSetOwner(h, BlockOwner::HostData);
    auto fresh = std::make_unique<Wave>();
    fresh->name = name;
    fresh->folder = &folder;
    fresh->handle = h;
    fresh->header.value93 = s.nextSerial++;
    w = fresh.get();
    folder.waves.push_back(std::move(fresh));
    s.wavesByHandle[h] = w;
  }
  w->layout = layout;
  w->type = type;
  w->dimensions = dims;
  w->points = points;
  WriteWaveHeader(*w);
  ResetData(*w);
  *out = w;
  return 0;
}

int32_t ChangeWave(Host::State& s, Wave& w, int type, const std::array<int32_t, kMaxDimensions>& dimensions) {
  (void)s;
  if (!IsValidWaveType(type)) return kErrBadType;
  std::array<int32_t, kMaxDimensions> dims;
  int32_t points = 0;
  if (int32_t err = CheckDimensions(dimensions, &dims, &points)) return err;
  // The one-dimensional layout cannot carry a second dimension: such a wave moves to layout 1.
  int layout = (w.layout == 0 && dims[1] != 0) ? 1 : w.layout;
  size_t total = BlockBytes(layout, type, points);
  if (total == 0) return kErrNoMemory;
  if (MemIsLocked(w.handle) && MemHandleSize(w.handle) != total) return kErrWaveInUse;

  std::vector<double> old = ValuesOf(w);
  const int oldType = w.type;
  if (MemResizeHandle(w.handle, total) != kMemNoErr) return kErrNoMemory;
  w.layout = layout;
  w.type = type;
  w.dimensions = dims;
  w.points = points;
  WriteWaveHeader(w);
  ResetData(w);
  if (type != 0 && oldType != 0) {
    // Values carry over point by point as far as both shapes go; a complex source gives its real
    // part to a real wave, a real source gets a zero imaginary part.
    const size_t oldPerPoint = static_cast<size_t>(ElementsPerPoint(oldType));
    const size_t oldPoints = old.size() / oldPerPoint;
    const size_t keep = std::min(oldPoints, static_cast<size_t>(points));
    const size_t bytes = WaveElementBytes(type);
    uint8_t* data = DataOf(w);
    for (size_t i = 0; i < keep; ++i) {
      uint8_t* element = data + i * static_cast<size_t>(ElementsPerPoint(type)) * bytes;
      WriteElement(element, BaseType(type), old[i * oldPerPoint]);
      if (IsComplex(type) && IsComplex(oldType)) WriteElement(element + bytes, BaseType(type), old[i * oldPerPoint + 1]);
    }
  }
  return 0;
}

void DisposeWave(Host::State& s, Wave& w) {
  s.wavesByHandle.erase(w.handle);
  MemFreeHandle(w.handle);
  Folder& folder = *w.folder;
  std::erase_if(folder.waves, [&](const std::unique_ptr<Wave>& p) { return p.get() == &w; });
}

void DisposeFolderTree(Host::State& s, Folder& folder) {
  for (auto& child : folder.children) DisposeFolderTree(s, *child);
  folder.children.clear();
  for (auto& w : folder.waves) {
    s.wavesByHandle.erase(w->handle);
    MemFreeHandle(w->handle);
  }
  folder.waves.clear();
  s.foldersByHandle.erase(folder.handle);
  MemFreeHandle(folder.handle);
  folder.handle = nullptr;
}

// ---------------------------------------------------------------- the wave requests
namespace {

// One wave request: its items (those the module did not send read as 0) and the wave that
// item 0 names, or null.
struct WaveRequest {
  Host::State& s;
  std::span<const HostWord> items;
  Wave* w;
  HostWord item(size_t k) const { return k < items.size() ? items[k] : 0; }
};

HostWord MarkModified(const WaveRequest& r) {
  ++r.w->modifiedCount;
  return 0;
}

// A wave by name in the current folder: its handle, or 0.
HostWord FetchByName(const WaveRequest& r) {
  std::string name;
  Wave* found = NameFromItem(r.item(0), &name) ? FindWaveNamed(*r.s.current, name) : nullptr;
  return found == nullptr ? 0 : reinterpret_cast<HostWord>(found->handle);
}

// The header values answer 0 for an item that is not a wave.
HostWord TypeOf(const WaveRequest& r) { return r.w == nullptr ? 0 : r.w->type; }
HostWord PointCountOf(const WaveRequest& r) { return r.w == nullptr ? 0 : r.w->points; }
HostWord DataAddressOf(const WaveRequest& r) { return r.w == nullptr ? 0 : reinterpret_cast<HostWord>(DataOf(*r.w)); }
HostWord HeaderValue93(const WaveRequest& r) { return r.w == nullptr ? 0 : r.w->header.value93; }
HostWord HeaderValue94(const WaveRequest& r) { return r.w == nullptr ? 0 : r.w->header.value94; }
HostWord HeaderValue95(const WaveRequest& r) { return r.w == nullptr ? 0 : r.w->header.value95; }

// &out, name, points, type, overwrite
HostWord MakeOneDimensional(const WaveRequest& r) {
  SetOutHandle(r.item(0), nullptr);
  int type = static_cast<int>(r.item(3));
  if (int32_t gate = OldHostTypeGate(r.s.options.version, type)) return gate;
  std::string name;
  if (!NameFromItem(r.item(1), &name)) return kErrBadName;
  if (r.item(2) < 0 || r.item(2) > INT32_MAX) return kErrBadDimensions;
  Wave* made = nullptr;
  int32_t answer = MakeWave(r.s, *r.s.current, name, LayoutForHost(r.s.options.version), type,
                            {static_cast<int32_t>(r.item(2)), 0, 0, 0}, r.item(4) != 0, &made);
  if (made != nullptr) SetOutHandle(r.item(0), made->handle);
  return answer;
}

// wave, points, type
HostWord ChangeOneDimensional(const WaveRequest& r) {
  int type = static_cast<int>(r.item(2));
  if (int32_t gate = OldHostTypeGate(r.s.options.version, type)) return gate;
  if (r.item(1) < 0 || r.item(1) > INT32_MAX) return kErrBadDimensions;
  return ChangeWave(r.s, *r.w, type, {static_cast<int32_t>(r.item(1)), 0, 0, 0});
}

// &out, name, folder, &dimensions, type, overwrite
HostWord MakeMultiDimensional(const WaveRequest& r) {
  SetOutHandle(r.item(0), nullptr);
  std::string name;
  if (!NameFromItem(r.item(1), &name)) return kErrBadName;
  Folder* folder = FolderOf(r.s, r.item(2));
  if (folder == nullptr) return kErrNoDataFolder;
  std::array<int32_t, kMaxDimensions> dims;
  if (int32_t err = ReadDimensionList(r.item(3), &dims)) return err;
  Wave* made = nullptr;
  int32_t answer = MakeWave(r.s, *folder, name, 1, static_cast<int>(r.item(4)), dims, r.item(5) != 0, &made);
  if (made != nullptr) SetOutHandle(r.item(0), made->handle);
  return answer;
}

// wave, type, &dimensions
HostWord ChangeMultiDimensional(const WaveRequest& r) {
  std::array<int32_t, kMaxDimensions> dims;
  if (int32_t err = ReadDimensionList(r.item(2), &dims)) return err;
  return ChangeWave(r.s, *r.w, static_cast<int>(r.item(1)), dims);
}

// wave, &count, list or null (four entries written)
HostWord DimensionsOf(const WaveRequest& r) {
  if (int32_t* count = reinterpret_cast<int32_t*>(r.item(1))) *count = DimensionCount(*r.w);
  if (int32_t* list = reinterpret_cast<int32_t*>(r.item(2))) {
    for (int d = 0; d < kMaxDimensions; ++d) list[d] = r.w->dimensions[d];
  }
  return 0;
}

// wave, index, then either two double addresses or one for both
HostWord ValuePairOf(const WaveRequest& r) {
  double* first = reinterpret_cast<double*>(r.item(2));
  double* second = r.items.size() >= 4 ? reinterpret_cast<double*>(r.item(3)) : (first ? first + 1 : nullptr);
  const WaveHeaderValues& h = r.w->header;
  double a = 0, b = 0;
  HostWord index = r.item(1);
  if (index == -1) {
    if (h.dataPairFlag != 0) {
      a = h.dataPair[0];
      b = h.dataPair[1];
    }
  } else if (index >= 0 && index < kMaxDimensions) {
    a = h.dimensionPairs[index][0];
    b = h.dimensionPairs[index][1];
  } else {
    return kErrBadDimensionIndex;
  }
  if (first != nullptr) *first = a;
  if (second != nullptr) *second = b;
  return 0;
}

// wave, index, out text
HostWord ReadUnits(const WaveRequest& r) {
  std::string* units = UnitsOf(*r.w, r.item(1));
  CopyUnitsOut(units == nullptr ? std::string() : *units, r.item(2));
  return 0;
}

// wave, index, text
HostWord WriteUnits(const WaveRequest& r) {
  if (std::string* units = UnitsOf(*r.w, r.item(1))) CopyUnitsIn(r.item(2), units);
  return 0;
}

// Units of dimension 0 and of the data: wave, out text, out text.
HostWord ReadUnitsPair(const WaveRequest& r) {
  CopyUnitsOut(r.w->header.dimensionUnits[0], r.item(1));
  CopyUnitsOut(r.w->header.dataUnits, r.item(2));
  return 0;
}

// Setting them: wave, text or null, text or null.
HostWord WriteUnitsPair(const WaveRequest& r) {
  CopyUnitsIn(r.item(1), &r.w->header.dimensionUnits[0]);
  CopyUnitsIn(r.item(2), &r.w->header.dataUnits);
  return 0;
}

// wave, second argument (same answer), &offset
HostWord DataOffsetOfWave(const WaveRequest& r) {
  int32_t* offset = reinterpret_cast<int32_t*>(r.item(2));
  if (offset == nullptr) return kErrBadParameter;
  *offset = static_cast<int32_t>(DataOffsetOf(*r.w));
  return 0;
}

// One point: wave, four indices, two doubles. The whole wave: wave, buffer of doubles.
HostWord FetchPoint(const WaveRequest& r) { return TransferPoint(*r.w, r.item(1), r.item(2), false); }
HostWord StorePoint(const WaveRequest& r) { return TransferPoint(*r.w, r.item(1), r.item(2), true); }
HostWord FetchAsDoubles(const WaveRequest& r) { return TransferWhole(*r.w, r.item(1), false); }
HostWord StoreFromDoubles(const WaveRequest& r) { return TransferWhole(*r.w, r.item(1), true); }

// A request the host knows from minVersion on (an older host does not know it); one that
// needsWave answers kErrNotAWave when item 0 is not a wave of this host.
struct WaveRequestHandler {
  int32_t message;
  int minVersion;
  bool needsWave;
  HostWord (*answer)(const WaveRequest&);
};

constexpr WaveRequestHandler kWaveRequests[] = {
    {kMsgMarkWaveModified, 0, true, MarkModified},
    {kMsgFetchWave, 0, false, FetchByName},
    {kMsgWaveType, 0, false, TypeOf},
    {kMsgWavePointCount, 0, false, PointCountOf},
    {kMsgWaveDataAddress, 0, false, DataAddressOf},
    {kMsgWaveHeaderValue93, 0, false, HeaderValue93},
    {kMsgWaveHeaderValue94, 0, false, HeaderValue94},
    {kMsgWaveHeaderValue95, 0, false, HeaderValue95},
    {kMsgMakeWave1D, 0, false, MakeOneDimensional},
    {kMsgChangeWave1D, 0, true, ChangeOneDimensional},
    {kMsgMakeWaveMD, 300, false, MakeMultiDimensional},
    {kMsgChangeWaveMD, 300, true, ChangeMultiDimensional},
    {kMsgWaveDimensions, 0, true, DimensionsOf},
    {kMsgWaveValuePair, 0, true, ValuePairOf},
    {kMsgWaveUnits, 0, true, ReadUnits},
    {kMsgSetWaveUnits, 0, true, WriteUnits},
    {kMsgReadWaveUnitsPair, 0, true, ReadUnitsPair},
    {kMsgWriteWaveUnitsPair, 0, true, WriteUnitsPair},
    {kMsgWaveDataOffset, 0, true, DataOffsetOfWave},
    {kMsgFetchWavePoint, 0, true, FetchPoint},
    {kMsgStoreWavePoint, 0, true, StorePoint},
    {kMsgFetchWaveAsDoubles, 0, true, FetchAsDoubles},
    {kMsgStoreWaveFromDoubles, 0, true, StoreFromDoubles},
};

}  // namespace

bool AnswerWaveMessage(Host::State& s, int message, std::span<const HostWord> items, HostWord* result) {
  for (const WaveRequestHandler& handler : kWaveRequests) {
    if (handler.message != message) continue;
    if (s.options.version < handler.minVersion) return false;
    const WaveRequest request{s, items, WaveOf(s, items.empty() ? 0 : items[0])};
    *result = handler.needsWave && request.w == nullptr ? kErrNotAWave : handler.answer(request);
    return true;
  }
  return false;
}

}  // namespace quorsim
