// The host's waves as the module reaches them through the callback: making and overwriting
// them, names and types it refuses, its version gates, the exact header fields of layouts 0
// and 1, the messages it answers for any layout, and value transfers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "hostlink/host_exports.h"
#include "tests/sim_host/host_test_support.h"

namespace {

using namespace quorsim;
using hosttest::HostFixture;
using hosttest::Item;

template <typename T>
T HeaderField(Handle wave, size_t offset) {
  T value;
  std::memcpy(&value, *wave + offset, sizeof value);
  return value;
}

class WavesTest : public HostFixture {
 protected:
  // Message 42: make a one-dimensional wave.
  HostWord Make1D(const char* name, int32_t points, int type, int overwrite, Handle* out) {
    *out = reinterpret_cast<Handle>(Item(this));  // garbage the host must clear
    return Send(42, {Item(out), Item(name), points, type, overwrite});
  }
  // Message 77: make a wave of up to four dimensions.
  HostWord MakeMD(const char* name, std::vector<int32_t> dims, int type, int overwrite, Handle* out,
                  Handle folder = nullptr) {
    dims.resize(10, 0);
    *out = reinterpret_cast<Handle>(Item(this));
    return Send(77, {Item(out), Item(name), Item(folder), Item(dims.data()), type, overwrite});
  }
  WaveView View(const std::string& name) {
    WaveView v;
    EXPECT_TRUE(host_->FindWave(name, &v)) << name;
    return v;
  }
};

TEST_F(WavesTest, MakeOneDimensionalWaveWithLayout1Header) {
  Handle h = nullptr;
  ASSERT_EQ(Make1D("trace", 6, 4, 0, &h), 0);
  WaveView v = View("trace");
  EXPECT_EQ(v.handle, h);
  EXPECT_EQ(v.type, 4);
  EXPECT_EQ(v.dimensions, (std::vector<int32_t>{6}));
  EXPECT_EQ(v.layout, 1);
  EXPECT_EQ(v.dataOffset, 320u);
  EXPECT_EQ(v.dataBytes, 48u);
  EXPECT_EQ(static_cast<size_t>(GetHandleSize(h)), 320u + 48u);
  EXPECT_EQ(HeaderField<int16_t>(h, 26), 1);
  EXPECT_EQ(HeaderField<int16_t>(h, 16), 4);
  EXPECT_EQ(HeaderField<int32_t>(h, 12), 6);
  EXPECT_EQ(HeaderField<int32_t>(h, 68), 6);
  EXPECT_EQ(HeaderField<int32_t>(h, 72), 0);
  for (size_t i = 0; i < 48; ++i) EXPECT_EQ(v.data[i], 0) << i;
}

TEST_F(WavesTest, Layout1HeaderOfAMultiDimensionalWave) {
  Handle h = nullptr;
  ASSERT_EQ(MakeMD("img", {64, 48}, 80, 1, &h), 0);
  EXPECT_EQ(HeaderField<int16_t>(h, 16), 80);
  EXPECT_EQ(HeaderField<int16_t>(h, 26), 1);
  EXPECT_EQ(HeaderField<int32_t>(h, 12), 64 * 48);
  EXPECT_EQ(HeaderField<int32_t>(h, 68), 64);
  EXPECT_EQ(HeaderField<int32_t>(h, 72), 48);
  EXPECT_EQ(HeaderField<int32_t>(h, 76), 0);
  EXPECT_EQ(HeaderField<int32_t>(h, 80), 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(HeaderField<double>(h, 84 + 8 * i), 0.0);
    EXPECT_EQ(HeaderField<double>(h, 116 + 8 * i), 1.0);
  }
  EXPECT_EQ(HeaderField<int16_t>(h, 168), 0);
  EXPECT_EQ(static_cast<size_t>(GetHandleSize(h)), 320u + 64 * 48 * 2);

  WaveHeaderValues values;
  values.dimensionPairs[1][0] = -2.5;
  values.dimensionPairs[1][1] = 0.125;
  values.dataPair[0] = 7;
  values.dataPair[1] = 9;
  values.dataPairFlag = 1;
  values.value93 = 123456;
  values.value94 = -94;
  values.value95 = 95;
  ASSERT_TRUE(host_->SetWaveHeader(h, values));
  EXPECT_EQ(HeaderField<double>(h, 84 + 8), -2.5);
  EXPECT_EQ(HeaderField<double>(h, 116 + 8), 0.125);
  EXPECT_EQ(HeaderField<int16_t>(h, 168), 1);
  EXPECT_EQ(HeaderField<double>(h, 172), 7.0);
  EXPECT_EQ(HeaderField<double>(h, 180), 9.0);
  EXPECT_EQ(HeaderField<int32_t>(h, 8), 123456);
  EXPECT_EQ(HeaderField<int16_t>(h, 296), -94);
  EXPECT_EQ(HeaderField<int16_t>(h, 308), 95);
  EXPECT_EQ(HeaderField<int16_t>(h, 16), 80);  // the rest of the header is unchanged
  EXPECT_EQ(Send(93, {Item(h)}), 123456);
  EXPECT_EQ(Send(94, {Item(h)}), -94);
  EXPECT_EQ(Send(95, {Item(h)}), 95);
}

TEST_F(WavesTest, Layout0HeaderFields) {
  Handle h = host_->MakeTestWave("old", 0, 16, {10});
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(HeaderField<int16_t>(h, 0), 16);
  EXPECT_EQ(HeaderField<int16_t>(h, 26), 0);
  EXPECT_EQ(HeaderField<int32_t>(h, 42), 10);
  EXPECT_EQ(HeaderField<double>(h, 48), 0.0);
  EXPECT_EQ(HeaderField<double>(h, 56), 1.0);
  EXPECT_EQ(HeaderField<int16_t>(h, 68), 0);
  EXPECT_EQ(static_cast<size_t>(GetHandleSize(h)), 110u + 20u);
  EXPECT_EQ(View("old").dataOffset, 110u);

  WaveHeaderValues values;
  values.dimensionPairs[0][0] = 3.5;
  values.dimensionPairs[0][1] = -1;
  values.dataPairFlag = 1;
  values.dataPair[0] = -4;
  values.dataPair[1] = 4;
  values.value93 = 9393;
  values.value94 = 94;
  values.value95 = 77;  // layout 0 has no room for it: only the message answers it
  ASSERT_TRUE(host_->SetWaveHeader(h, values));
  EXPECT_EQ(HeaderField<double>(h, 48), 3.5);
  EXPECT_EQ(HeaderField<double>(h, 56), -1.0);
  EXPECT_EQ(HeaderField<int16_t>(h, 68), 1);
  EXPECT_EQ(HeaderField<double>(h, 70), -4.0);
  EXPECT_EQ(HeaderField<double>(h, 78), 4.0);
  EXPECT_EQ(HeaderField<int32_t>(h, 102), 9393);
  EXPECT_EQ(HeaderField<int16_t>(h, 66), 94);
  EXPECT_EQ(HeaderField<int16_t>(h, 0), 16);
  EXPECT_EQ(Send(95, {Item(h)}), 77);

  // Layout 0 has one dimension only.
  EXPECT_EQ(host_->MakeTestWave("flat", 0, 4, {3, 2}), nullptr);
}

TEST_F(WavesTest, OtherLayoutsAreAnsweredOnlyThroughMessages) {
  Handle h = host_->MakeTestWave("own", 2, 5, {3, 2});
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(HeaderField<int16_t>(h, 26), 2);
  EXPECT_NE(HeaderField<int16_t>(h, 16), 5);  // nothing of layout 1 where the module might look
  EXPECT_NE(HeaderField<int32_t>(h, 12), 6);
  EXPECT_EQ(Send(34, {Item(h)}), 5);
  EXPECT_EQ(Send(35, {Item(h)}), 6);
  EXPECT_EQ(Send(37, {Item(h)}), Item(*h + 128));
  int32_t count = -1;
  int32_t dims[11];
  std::fill(std::begin(dims), std::end(dims), -7);
  EXPECT_EQ(Send(78, {Item(h), Item(&count), Item(dims)}), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(dims[0], 3);
  EXPECT_EQ(dims[1], 2);
  EXPECT_EQ(dims[2], 0);
  EXPECT_EQ(dims[3], 0);
  EXPECT_EQ(dims[4], -7);  // four entries are the host's; the rest belong to the caller
  EXPECT_EQ(Send(78, {Item(h), Item(&count), 0}), 0);
  int32_t offset = 0;
  EXPECT_EQ(Send(86, {Item(h), 0, Item(&offset)}), 0);
  EXPECT_EQ(offset, 128);
  EXPECT_EQ(Send(86, {Item(h), 1, 0}), kErrBadParameter);

  WaveHeaderValues values;
  values.dimensionPairs[3][0] = 30;
  values.dimensionPairs[3][1] = 31;
  values.dataPair[0] = 1;
  values.dataPair[1] = 2;
  values.value93 = -5;
  ASSERT_TRUE(host_->SetWaveHeader(h, values));
  double pair[2] = {-1, -1};
  EXPECT_EQ(Send(80, {Item(h), 3, Item(pair)}), 0);
  EXPECT_EQ(pair[0], 30.0);
  EXPECT_EQ(pair[1], 31.0);
  EXPECT_EQ(Send(80, {Item(h), -1, Item(pair)}), 0);  // the data pair is absent while its flag is 0
  EXPECT_EQ(pair[0], 0.0);
  EXPECT_EQ(pair[1], 0.0);
  values.dataPairFlag = 1;
  host_->SetWaveHeader(h, values);
  double first = 0, second = 0;
  EXPECT_EQ(Send(80, {Item(h), -1, Item(&first), Item(&second)}), 0);
  EXPECT_EQ(first, 1.0);
  EXPECT_EQ(second, 2.0);
  EXPECT_EQ(Send(80, {Item(h), 4, Item(pair)}), kErrBadDimensionIndex);
  EXPECT_EQ(Send(80, {Item(h), -2, Item(pair)}), kErrBadDimensionIndex);
  EXPECT_EQ(Send(93, {Item(h)}), -5);

  // Requests about something that is not a wave of this host.
  EXPECT_EQ(Send(34, {0}), 0);
  EXPECT_EQ(Send(1, {Item(&offset)}), kErrNotAWave);
  EXPECT_EQ(Send(78, {Item(&offset), Item(&count), 0}), kErrNotAWave);
}

TEST_F(WavesTest, UnitsThroughTheTwoKindsOfRequest) {
  Handle h = host_->MakeTestWave("u", 2, 4, {4});
  EXPECT_EQ(Send(83, {Item(h), 0, Item("s")}), 0);
  EXPECT_EQ(Send(83, {Item(h), -1, Item("V")}), 0);
  const std::string longUnits(60, 'x');
  EXPECT_EQ(Send(83, {Item(h), 2, Item(longUnits.c_str())}), 0);
  char units[64];
  std::memset(units, '?', sizeof units);
  EXPECT_EQ(Send(82, {Item(h), 0, Item(units)}), 0);
  EXPECT_STREQ(units, "s");
  EXPECT_EQ(Send(82, {Item(h), 2, Item(units)}), 0);
  EXPECT_EQ(std::strlen(units), 49u);  // cut to the host's limit
  EXPECT_EQ(Send(82, {Item(h), 9, Item(units)}), 0);
  EXPECT_STREQ(units, "");
  char x[64], d[64];
  EXPECT_EQ(Send(52, {Item(h), Item(x), Item(d)}), 0);
  EXPECT_STREQ(x, "s");
  EXPECT_STREQ(d, "V");
  EXPECT_EQ(Send(53, {Item(h), 0, Item("A")}), 0);  // null leaves that one alone
  EXPECT_EQ(Send(52, {Item(h), Item(x), Item(d)}), 0);
  EXPECT_STREQ(x, "s");
  EXPECT_STREQ(d, "A");
}

TEST_F(WavesTest, OverwriteReusesTheHandleAndClearsTheWave) {
  Handle h = nullptr;
  ASSERT_EQ(MakeMD("img", {4, 4}, 80, 0, &h), 0);
  std::memset(*h + 320, 0x5A, 32);
  Send(1, {Item(h)});

  Handle again = nullptr;
  EXPECT_EQ(MakeMD("IMG", {4, 4}, 80, 0, &again), kErrNameInUse);  // names ignore case
  EXPECT_EQ(again, nullptr);

  ASSERT_EQ(MakeMD("img", {8, 2, 3}, 72, 1, &again), 0);
  EXPECT_EQ(again, h);
  WaveView v = View("img");
  EXPECT_EQ(v.type, 72);
  EXPECT_EQ(v.dimensions, (std::vector<int32_t>{8, 2, 3}));
  EXPECT_EQ(v.dataBytes, 48u);
  for (size_t i = 0; i < v.dataBytes; ++i) EXPECT_EQ(v.data[i], 0);
  EXPECT_EQ(HeaderField<int32_t>(h, 76), 3);
  EXPECT_EQ(v.modifiedCount, 1);  // still the same wave
  EXPECT_EQ(host_->WaveNames(), (std::vector<std::string>{"img"}));

  // A locked wave cannot change size, but may be made again at its size.
  HLock(h);
  EXPECT_EQ(MakeMD("img", {100}, 72, 1, &again), kErrWaveInUse);
  EXPECT_EQ(MakeMD("img", {48}, 72, 1, &again), 0);
  HSetState(h, 0);
}

TEST_F(WavesTest, OverwriteAtTheSameSizeClearsDataAndHeaderWhereTheyAre) {
  // A wave made again at its own size keeps its block and is rewritten whole: data cleared,
  // the header of the new shape (here another type of the same width and a new scaling).
  Handle h = nullptr;
  ASSERT_EQ(MakeMD("pic", {64, 48}, 80, 1, &h), 0);
  const size_t blockBytes = static_cast<size_t>(GetHandleSize(h));
  std::memset(*h, 0x5A, blockBytes);  // data and header bytes alike
  Send(1, {Item(h)});

  Handle again = nullptr;
  ASSERT_EQ(MakeMD("pic", {48, 64}, 16, 1, &again), 0);
  EXPECT_EQ(again, h);
  EXPECT_EQ(static_cast<size_t>(GetHandleSize(h)), blockBytes);
  WaveView v = View("pic");
  EXPECT_EQ(v.type, 16);
  EXPECT_EQ(v.dimensions, (std::vector<int32_t>{48, 64}));
  ASSERT_EQ(v.dataBytes, 48u * 64u * 2u);
  size_t nonZero = 0;
  for (size_t i = 0; i < v.dataBytes; ++i) nonZero += v.data[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  EXPECT_EQ(HeaderField<int16_t>(h, 16), 16);
  EXPECT_EQ(HeaderField<int16_t>(h, 26), 1);
  EXPECT_EQ(HeaderField<int32_t>(h, 12), 48 * 64);
  EXPECT_EQ(HeaderField<int32_t>(h, 68), 48);
  EXPECT_EQ(HeaderField<int32_t>(h, 72), 64);
  EXPECT_EQ(HeaderField<int32_t>(h, 76), 0);
  EXPECT_EQ(HeaderField<double>(h, 84), 0.0);
  EXPECT_EQ(HeaderField<double>(h, 116), 1.0);
  EXPECT_EQ(v.modifiedCount, 1);  // still the same wave
}

TEST_F(WavesTest, NamesTheHostRefuses) {
  Handle h = nullptr;
  for (const char* bad : {"", "1abc", "_x", "a b", "name!", "über"}) {
    EXPECT_EQ(Make1D(bad, 3, 4, 1, &h), kErrBadName) << bad;
    EXPECT_EQ(h, nullptr);
  }
  const std::string longest(31, 'w');
  EXPECT_EQ(Make1D(longest.c_str(), 1, 4, 1, &h), 0);
  const std::string tooLong(32, 'w');
  EXPECT_EQ(Make1D(tooLong.c_str(), 1, 4, 1, &h), kErrBadName);
  EXPECT_EQ(Send(42, {Item(&h), 0, 3, 4, 1}), kErrBadName);  // no name at all

  host_->RefuseWaveName("Taken", 2345);
  EXPECT_EQ(Make1D("taken", 3, 4, 1, &h), 2345);
  EXPECT_EQ(h, nullptr);

  ASSERT_NE(host_->NewDataFolder(nullptr, "sub"), nullptr);
  EXPECT_EQ(Make1D("SUB", 3, 4, 1, &h), kErrNameInUse);  // a data folder has that name
}

TEST_F(WavesTest, TypesAndSizesTheHostRefuses) {
  Handle h = nullptr;
  for (int bad : {1, 6, 64, 65, 200, -4}) EXPECT_EQ(Make1D("t", 3, bad, 1, &h), kErrBadType) << bad;
  for (int good : {0, 2, 3, 4, 5, 8, 9, 16, 17, 32, 33, 72, 73, 80, 81, 96, 97}) {
    EXPECT_EQ(Make1D("t", 3, good, 1, &h), 0) << good;
  }
  EXPECT_EQ(Make1D("t", -1, 4, 1, &h), kErrBadDimensions);
  EXPECT_EQ(MakeMD("t", {3, -2}, 4, 1, &h), kErrBadDimensions);
  EXPECT_EQ(MakeMD("t", {65536, 65536}, 80, 1, &h), kErrNoMemory);
  EXPECT_EQ(MakeMD("t", {1 << 20, 1 << 10}, 4, 1, &h), kErrNoMemory);  // 8 GiB
  EXPECT_EQ(Send(77, {Item(&h), Item("t"), 0, 0, 4, 1}), kErrBadParameter);
  Handle notAFolder = NewHandle(4);
  EXPECT_EQ(MakeMD("t", {3}, 4, 1, &h, notAFolder), kErrNoDataFolder);
  DisposeHandle(notAFolder);

  // A list of four sizes is read no further than its fourth entry.
  int32_t four[4] = {2, 2, 2, 2};
  EXPECT_EQ(Send(77, {Item(&h), Item("four"), 0, Item(four), 72, 1}), 0);
  EXPECT_EQ(View("four").dimensions, (std::vector<int32_t>{2, 2, 2, 2}));
  int32_t none[1] = {0};
  EXPECT_EQ(Send(77, {Item(&h), Item("empty"), 0, Item(none), 4, 1}), 0);
  EXPECT_TRUE(View("empty").dimensions.empty());
  EXPECT_EQ(View("empty").dataBytes, 0u);
}

TEST_F(WavesTest, WavesGoToTheFolderAsked) {
  Handle sub = host_->NewDataFolder(nullptr, "sub");
  ASSERT_NE(sub, nullptr);
  Handle h = nullptr;
  ASSERT_EQ(MakeMD("inside", {3}, 4, 1, &h, sub), 0);
  EXPECT_FALSE(host_->FindWave("inside", nullptr));
  EXPECT_TRUE(host_->FindWaveIn(sub, "inside", nullptr));
  EXPECT_EQ(Send(7, {Item("inside")}), 0);  // lookup is in the current folder
  ASSERT_TRUE(host_->SetCurrentDataFolder(sub));
  EXPECT_EQ(Send(7, {Item("INSIDE")}), Item(h));
  EXPECT_EQ(host_->CurrentDataFolder(), sub);
  EXPECT_EQ(host_->WaveNames(), (std::vector<std::string>{"inside"}));
  EXPECT_FALSE(host_->SetCurrentDataFolder(nullptr));
  EXPECT_EQ(Send(7, {0}), 0);
  EXPECT_EQ(Send(7, {Item("missing")}), 0);
}

TEST_F(WavesTest, OlderHostsRefuseWhatTheyDoNotKnow) {
  HostOptions options;
  options.version = 250;
  Start(options);
  Handle h = nullptr;
  EXPECT_EQ(MakeMD("md", {640, 480}, 80, 1, &h), kErrUnknownMessage);
  int32_t dims[2] = {5, 0};
  EXPECT_EQ(Send(79, {0, 4, Item(dims)}), kErrUnknownMessage);
  EXPECT_EQ(Make1D("text", 3, 0, 1, &h), kErrHostTooOld);
  ASSERT_EQ(Make1D("u16", 640, 80, 1, &h), 0);
  EXPECT_EQ(View("u16").layout, 0);  // a host before 3.00 makes one-dimensional layout 0 waves
  EXPECT_EQ(HeaderField<int32_t>(h, 42), 640);
  EXPECT_EQ(Send(43, {Item(h), 10, 0}), kErrHostTooOld);

  options.version = 150;
  Start(options);
  EXPECT_EQ(Make1D("f", 3, 2, 1, &h), 0);
  EXPECT_EQ(Make1D("c", 3, 5, 1, &h), 0);  // complex 8-byte float
  Handle complexWave = h;
  EXPECT_EQ(Make1D("i", 3, 16, 1, &h), kErrHostTooOld);
  EXPECT_EQ(Make1D("u", 3, 72, 1, &h), kErrHostTooOld);
  EXPECT_EQ(Send(43, {Item(complexWave), 4, 32}), kErrHostTooOld);
  EXPECT_EQ(Send(43, {Item(complexWave), 4, 3}), 0);

  options.version = 300;
  Start(options);
  EXPECT_EQ(MakeMD("md", {6, 4}, 80, 1, &h), 0);
}

TEST_F(WavesTest, ChangingAWaveKeepsTheValuesThatFit) {
  Handle h = nullptr;
  ASSERT_EQ(Make1D("v", 4, 4, 1, &h), 0);
  double values[4] = {1.9, -2.7, 300.5, 40000};
  EXPECT_EQ(Send(90, {Item(h), Item(values)}), 0);
  EXPECT_EQ(Send(43, {Item(h), 6, 16}), 0);  // to signed 16-bit, two more points
  WaveView v = View("v");
  EXPECT_EQ(v.type, 16);
  EXPECT_EQ(v.dimensions, (std::vector<int32_t>{6}));
  int16_t out[6];
  std::memcpy(out, v.data, sizeof out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], -2);
  EXPECT_EQ(out[2], 300);
  EXPECT_EQ(out[3], static_cast<int16_t>(40000 & 0xFFFF));  // low-order bytes kept
  EXPECT_EQ(out[4], 0);
  EXPECT_EQ(out[5], 0);

  Handle old = host_->MakeTestWave("old", 0, 4, {6});
  double six[6] = {0, 1, 2, 3, 4, 5};
  Send(90, {Item(old), Item(six)});
  int32_t dims[3] = {3, 2, 0};
  EXPECT_EQ(Send(79, {Item(old), 5, Item(dims)}), 0);  // two dimensions: layout 1 from now on
  v = View("old");
  EXPECT_EQ(v.layout, 1);
  EXPECT_EQ(v.type, 5);
  EXPECT_EQ(v.dimensions, (std::vector<int32_t>{3, 2}));
  double back[12];
  EXPECT_EQ(Send(89, {Item(old), Item(back)}), 0);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(back[2 * i], i);
    EXPECT_EQ(back[2 * i + 1], 0.0);
  }
  EXPECT_EQ(Send(79, {Item(old), 6, Item(dims)}), kErrBadType);
  EXPECT_EQ(Send(79, {Item(old), 4, 0}), kErrBadParameter);
  EXPECT_EQ(Send(43, {Item(old), -1, 4}), kErrBadDimensions);
}

TEST_F(WavesTest, PointTransfersAddressByAllFourIndices) {
  Handle h = host_->MakeTestWave("grid", 1, 80, {640, 480});
  int32_t at[4] = {3, 2, 0, 0};
  double pair[2] = {1234, 99};
  EXPECT_EQ(Send(88, {Item(h), Item(at), Item(pair)}), 0);
  uint16_t raw;
  std::memcpy(&raw, *h + 320 + 2 * 1283, 2);
  EXPECT_EQ(raw, 1234);
  double got[2] = {0, -1};
  EXPECT_EQ(Send(87, {Item(h), Item(at), Item(got)}), 0);
  EXPECT_EQ(got[0], 1234.0);
  EXPECT_EQ(got[1], -1.0);  // a real wave leaves the imaginary part alone

  int32_t outside[4] = {640, 0, 0, 0};
  EXPECT_EQ(Send(87, {Item(h), Item(outside), Item(got)}), kErrIndexOutOfRange);
  int32_t negative[4] = {0, -1, 0, 0};
  EXPECT_EQ(Send(88, {Item(h), Item(negative), Item(pair)}), kErrIndexOutOfRange);
  int32_t ignored[4] = {1, 1, 77, -5};  // indices of dimensions the wave lacks are not examined
  EXPECT_EQ(Send(87, {Item(h), Item(ignored), Item(got)}), 0);
  EXPECT_EQ(Send(87, {Item(h), 0, Item(got)}), kErrBadParameter);

  Handle text = host_->MakeTestWave("words", 1, 0, {3});
  int32_t zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(Send(87, {Item(text), Item(zero), Item(got)}), kErrNotNumeric);
  EXPECT_EQ(Send(89, {Item(text), Item(got)}), kErrNotNumeric);

  Handle cplx = host_->MakeTestWave("c", 3, 5, {2});
  double z[2] = {1.5, -2.5};
  int32_t one[4] = {1, 0, 0, 0};
  EXPECT_EQ(Send(88, {Item(cplx), Item(one), Item(z)}), 0);
  double all[4];
  EXPECT_EQ(Send(89, {Item(cplx), Item(all)}), 0);
  EXPECT_EQ(all[0], 0.0);
  EXPECT_EQ(all[2], 1.5);
  EXPECT_EQ(all[3], -2.5);
}

TEST_F(WavesTest, StoredValuesAreTruncatedToTheElementsLowOrderBytes) {
  struct Case {
    int type;
    double value;
    double readBack;
  };
  const Case cases[] = {
      {72, 300.7, 44},       {80, -1.5, 65535},     {8, 200, -56},
      {16, -32769, 32767},   {32, NAN, INT32_MIN},  {32, 3e9, INT32_MIN},
      {96, 1e10, 1410065408}, {96, -1, 4294967295.0}, {2, 1e300, INFINITY},
      {2, 0.1, static_cast<double>(0.1f)}, {4, -0.0, -0.0},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "e" + std::to_string(n++);
    Handle h = host_->MakeTestWave(name, 1, c.type, {1});
    int32_t zero[4] = {0, 0, 0, 0};
    double in[2] = {c.value, 0};
    double out[2] = {0, 0};
    ASSERT_EQ(Send(88, {Item(h), Item(zero), Item(in)}), 0);
    ASSERT_EQ(Send(87, {Item(h), Item(zero), Item(out)}), 0);
    EXPECT_EQ(out[0], c.readBack) << "type " << c.type << " value " << c.value;
  }
}

TEST_F(WavesTest, MarkModifiedCountsPerWave) {
  Handle a = host_->MakeTestWave("a", 1, 4, {1});
  Handle b = host_->MakeTestWave("b", 0, 4, {1});
  EXPECT_EQ(Send(1, {Item(a)}), 0);
  EXPECT_EQ(Send(1, {Item(a)}), 0);
  EXPECT_EQ(Send(1, {Item(b)}), 0);
  EXPECT_EQ(View("a").modifiedCount, 2);
  EXPECT_EQ(View("b").modifiedCount, 1);
  WaveView byHandle;
  ASSERT_TRUE(host_->FindWaveByHandle(b, &byHandle));
  EXPECT_EQ(byHandle.name, "b");
}

}  // namespace
