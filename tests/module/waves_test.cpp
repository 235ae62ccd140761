// The wave routines against the simulated host: the version gates on both sides of 200 and
// 300 (and 500), the header read directly for layouts 0 and 1 and asked of the host for any
// other, blocks shorter than the header they claim, the dimension list, locking lists of
// waves, the requests passed on unchanged, and what a host that hands back no wave or an
// exchange that stopped leaves the callers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "hostdata/handles.h"
#include "hostdata/waves.h"
#include "hostlink/host_exports.h"
#include "hostlink/host_version.h"
#include "hostlink/transport.h"
#include "module_fixture.h"

namespace moduletest {
namespace {

class WavesTest : public LinkedHostTest {};

const Handle kGarbageHandle = reinterpret_cast<Handle>(uintptr_t{0x5A5A5A50});

// ---------------------------------------------------------------- making waves

TEST_F(WavesTest, MakeWaveMDOnANewHostSendsAllSixItemsAndMakesTheWave) {
  Handle folder = host().NewDataFolder(nullptr, "pictures");
  ASSERT_NE(folder, nullptr);
  int32_t dims[10] = {640, 480, 0};
  const char name[] = "img";
  Handle wavH = kGarbageHandle;
  EXPECT_EQ(MakeWaveMD(&wavH, name, folder, dims, kWaveTypeUInt16, 1), 0);
  ASSERT_EQ(Messages(), std::vector<int>{kMsgMakeWaveMD});
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(&wavH), AsItem(name), AsItem(folder), AsItem(dims),
                                                 kWaveTypeUInt16, 1}));
  quorsim::WaveView view;
  ASSERT_TRUE(host().FindWaveIn(folder, "img", &view));
  EXPECT_EQ(wavH, view.handle);
  EXPECT_EQ(view.dimensions, (std::vector<int32_t>{640, 480}));
  EXPECT_EQ(view.type, kWaveTypeUInt16);
}

TEST_F(WavesTest, MakeWaveMDBelow300FallsBackToOneDimensionWithItsRestrictions) {
  for (int version : {299, 250}) {
    Start(version);
    int32_t twoD[3] = {640, 480, 0};
    int32_t oneD[3] = {640, 0, 0};
    Handle wavH = kGarbageHandle;
    EXPECT_EQ(MakeWaveMD(&wavH, "img", nullptr, twoD, kWaveTypeUInt16, 1), kErrHostTooOld);
    EXPECT_EQ(wavH, nullptr);
    EXPECT_EQ(MakeWaveMD(&wavH, "img", nullptr, oneD, kWaveTypeUInt16, 1), kErrHostTooOld) << "unsigned";
    EXPECT_EQ(MakeWaveMD(&wavH, "img", nullptr, oneD, kWaveTypeText, 1), kErrHostTooOld) << "text";
    wavH = kGarbageHandle;
    EXPECT_EQ(MakeWaveMD(&wavH, "img", nullptr, nullptr, kWaveTypeFloat64, 1), kErrNullHandle) << "no size list";
    EXPECT_EQ(wavH, nullptr);
    EXPECT_TRUE(Messages().empty()) << "refused without asking the host";

    const char name[] = "line";
    EXPECT_EQ(MakeWaveMD(&wavH, name, host().RootDataFolder(), oneD, kWaveTypeFloat64, 0), 0);
    ASSERT_EQ(Messages(), std::vector<int>{kMsgMakeWave1D});
    EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(&wavH), AsItem(name), 640, kWaveTypeFloat64, 0}))
        << "the data folder is dropped";
    EXPECT_NE(wavH, nullptr);
    EXPECT_EQ(MakeWaveMD(&wavH, "ints", nullptr, oneD, kWaveTypeInt16, 1), 0) << "integers from 200 on";
  }
  Start(300);
  int32_t twoD[3] = {640, 480, 0};
  Handle wavH = nullptr;
  EXPECT_EQ(MakeWaveMD(&wavH, "img", nullptr, twoD, kWaveTypeUInt16, 1), 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgMakeWaveMD});
}

TEST_F(WavesTest, OneDimensionalRequestsBelow200TakeOnlyFloatingPoint) {
  for (int version : {150, 199}) {
    Start(version);
    int32_t oneD[2] = {10, 0};
    Handle wavH = nullptr;
    EXPECT_EQ(MakeWave1D(&wavH, "c", 10, kWaveTypeFloat64 | kWaveTypeComplexBit, 1), 0) << "complex double";
    EXPECT_EQ(MakeWave1D(&wavH, "f", 10, kWaveTypeFloat32, 1), 0);
    EXPECT_EQ(MakeWave1D(&wavH, "i", 10, kWaveTypeInt16, 1), kErrHostTooOld);
    EXPECT_EQ(wavH, nullptr);
    EXPECT_EQ(MakeWaveMD(&wavH, "i", nullptr, oneD, kWaveTypeInt32, 1), kErrHostTooOld);
    EXPECT_EQ(Messages(), (std::vector<int>{kMsgMakeWave1D, kMsgMakeWave1D}));
  }
  Start(200);
  Handle wavH = nullptr;
  EXPECT_EQ(MakeWave1D(&wavH, "i", 10, kWaveTypeInt16, 1), 0);
  EXPECT_EQ(MakeWave1D(&wavH, "t", 10, kWaveTypeText, 1), kErrHostTooOld);
  EXPECT_EQ(MakeWave1D(&wavH, "t", 10, kWaveTypeComplexBit, 1), kErrHostTooOld) << "text with the complex bit";
  Start(300);
  EXPECT_EQ(MakeWave1D(&wavH, "t", 10, kWaveTypeText, 1), 0) << "text waves from 300 on";
}

TEST_F(WavesTest, ChangeWaveAppliesTheSameGatesToAnExistingWave) {
  Handle w = Wave("w", 1, kWaveTypeFloat64, {8});
  int32_t twoD[3] = {4, 4, 0};
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeUInt16, twoD), 0);
  EXPECT_EQ(Last().message, kMsgChangeWaveMD);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), kWaveTypeUInt16, AsItem(twoD)}));

  Start(299);
  w = Wave("w", 0, kWaveTypeFloat64, {8});
  int32_t one[2] = {1, 0};
  int32_t none[1] = {0};
  int32_t five[2] = {5, 0};
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeFloat64, twoD), kErrHostTooOld);
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeFloat64, one), kErrTooFewPoints);
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeFloat64, none), kErrTooFewPoints);
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeUInt8, five), kErrHostTooOld);
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeText, five), kErrHostTooOld);
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeFloat64, nullptr), kErrNullHandle) << "no size list";
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeInt32, five), 0);
  EXPECT_EQ(Last().message, kMsgChangeWave1D);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), 5, kWaveTypeInt32}));

  Start(199);
  w = Wave("w", 0, kWaveTypeFloat64, {8});
  EXPECT_EQ(ChangeWaveMD(w, kWaveTypeInt32, five), kErrHostTooOld);
  EXPECT_EQ(ChangeWave1D(w, 5, kWaveTypeInt8), kErrHostTooOld);
  EXPECT_EQ(ChangeWave1D(w, 5, kWaveTypeFloat32), 0);
}

TEST_F(WavesTest, AWaveReportedMadeWithoutItsHandleIsAFailure) {
  // A host that does not serve the request leaves the out handle as the module cleared it and
  // may still answer 0: nothing was made that could be locked or filled.
  std::vector<int> asked;
  host().SetScriptedAnswer([&asked](int message, std::span<const HostWord>, HostWord* result) {
    if (message != kMsgMakeWaveMD && message != kMsgMakeWave1D) return false;
    asked.push_back(message);
    *result = 0;
    return true;
  });
  int32_t twoD[3] = {640, 480, 0};
  int32_t oneD[2] = {640, 0};
  Handle wavH = kGarbageHandle;
  EXPECT_EQ(MakeWaveMD(&wavH, "img", nullptr, twoD, kWaveTypeUInt16, 1), kErrNullHandle);
  EXPECT_EQ(wavH, nullptr);
  wavH = kGarbageHandle;
  EXPECT_EQ(MakeWave1D(&wavH, "line", 640, kWaveTypeFloat64, 1), kErrNullHandle);
  EXPECT_EQ(wavH, nullptr);
  EXPECT_EQ(asked, (std::vector<int>{kMsgMakeWaveMD, kMsgMakeWave1D}));

  Start(250);  // the one-dimensional fall-back of an older host
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    *result = 0;
    return message == kMsgMakeWave1D;
  });
  wavH = kGarbageHandle;
  EXPECT_EQ(MakeWaveMD(&wavH, "line", nullptr, oneD, kWaveTypeFloat64, 1), kErrNullHandle);
  EXPECT_EQ(wavH, nullptr);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgMakeWave1D});
  host().SetScriptedAnswer({});
  EXPECT_EQ(MakeWaveMD(&wavH, "line", nullptr, oneD, kWaveTypeFloat64, 1), 0) << "the host's own answer";
  EXPECT_NE(wavH, nullptr);
}

// ---------------------------------------------------------------- the header

TEST_F(WavesTest, HeaderAccessorsReadLayoutsZeroAndOneAndAskForOthers) {
  Handle w0 = Wave("w0", 0, kWaveTypeInt16, {100});
  Handle w1 = Wave("w1", 1, kWaveTypeUInt16 | kWaveTypeComplexBit, {3, 5});
  Handle w2 = Wave("w2", 2, kWaveTypeFloat32, {7, 2});
  quorsim::WaveView v0, v1, v2;
  host().FindWaveByHandle(w0, &v0);
  host().FindWaveByHandle(w1, &v1);
  host().FindWaveByHandle(w2, &v2);

  EXPECT_EQ(WaveType(w0), kWaveTypeInt16);
  EXPECT_EQ(WaveType(w1), kWaveTypeUInt16 | kWaveTypeComplexBit);
  EXPECT_EQ(WavePointCount(w0), 100);
  EXPECT_EQ(WavePointCount(w1), 15);
  // The address is asked first: the size check may move an unlocked block (scramble mode).
  char* address0 = WaveDataAddress(w0);
  EXPECT_EQ(address0, *w0 + 110);
  char* address1 = WaveDataAddress(w1);
  EXPECT_EQ(address1, *w1 + 320);
  EXPECT_TRUE(Messages().empty()) << "layouts 0 and 1 are read without the host";

  EXPECT_EQ(WaveType(w2), kWaveTypeFloat32);
  EXPECT_EQ(WavePointCount(w2), 14);
  char* data = WaveDataAddress(w2);
  host().FindWaveByHandle(w2, &v2);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(data), v2.data);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgWaveType, kMsgWavePointCount, kMsgWaveDataAddress}));
  for (const quorsim::Exchange& e : host().Exchanges()) EXPECT_EQ(e.items, std::vector<HostWord>{AsItem(w2)});
}

TEST_F(WavesTest, HeaderValuesAreReadAtTheirOffsets) {
  Handle w0 = Wave("w0", 0, kWaveTypeFloat64, {4});
  Handle w1 = Wave("w1", 1, kWaveTypeFloat64, {4});
  Handle w2 = Wave("w2", 7, kWaveTypeFloat64, {4});
  quorsim::WaveHeaderValues values;
  values.value93 = -70000;
  values.value94 = -3;
  values.value95 = 321;
  for (Handle w : {w0, w1, w2}) ASSERT_TRUE(host().SetWaveHeader(w, values));
  EXPECT_EQ(WaveHeaderValue93(w0), -70000);
  EXPECT_EQ(WaveHeaderValue94(w0), -3);
  EXPECT_EQ(WaveHeaderValue95(w0), 0) << "layout 0 has no such field";
  EXPECT_EQ(WaveHeaderValue93(w1), -70000);
  EXPECT_EQ(WaveHeaderValue94(w1), -3);
  EXPECT_EQ(WaveHeaderValue95(w1), 321);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(WaveHeaderValue93(w2), -70000);
  EXPECT_EQ(WaveHeaderValue94(w2), -3);
  EXPECT_EQ(WaveHeaderValue95(w2), 321);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgWaveHeaderValue93, kMsgWaveHeaderValue94, kMsgWaveHeaderValue95}));
}

TEST_F(WavesTest, BlocksShorterThanTheHeaderTheyClaimAreNotRead) {
  // Every byte but the indicator is 0x11, so a field read from any of them would not be 0.
  struct Case {
    const char* what;
    Handle wavH;
  };
  const Case cases[] = {
      {"null handle", nullptr},
      {"empty block", ShortWaveBlock(0, 0, 0x11)},
      {"no room for the indicator", ShortWaveBlock(0, kWaveLayoutIndicatorEnd - 1, 0x11)},
      {"layout 0 one byte short", ShortWaveBlock(0, kWaveLayout0.dataOffset - 1, 0x11)},
      {"layout 1 of 100 bytes", ShortWaveBlock(1, 100, 0x11)},
      {"layout 1 one byte short", ShortWaveBlock(1, kWaveLayout1.dataOffset - 1, 0x11)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WaveType(c.wavH), kWaveTypeText);
    EXPECT_EQ(WavePointCount(c.wavH), 0);
    EXPECT_EQ(WaveDataAddress(c.wavH), nullptr);
    int32_t numDimensions = 9;
    int32_t list[kDimensionListEntries];
    std::fill(std::begin(list), std::end(list), 0x55);
    EXPECT_EQ(WaveDimensions(c.wavH, &numDimensions, list), kErrPointOutsideWave);
    EXPECT_EQ(numDimensions, 0);
    EXPECT_EQ(std::count(std::begin(list), std::end(list), 0), kDimensionListEntries);
    int32_t offset = 7;
    EXPECT_EQ(WaveDataOffset(c.wavH, 0, &offset), kErrPointOutsideWave);
    EXPECT_EQ(offset, 7);
    double first = 5, second = 6;
    EXPECT_EQ(WaveValuePair(c.wavH, 0, &first, &second), kErrPointOutsideWave);
    EXPECT_EQ(WaveValuePair(c.wavH, -1, &first, &second), kErrPointOutsideWave);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 6);
    char text[kUnitsScratchSize] = "old";
    EXPECT_EQ(WaveUnits(c.wavH, 0, text), kErrPointOutsideWave);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(SetWaveUnits(c.wavH, 0, "s"), kErrPointOutsideWave);
    std::strcpy(text, "old");
    EXPECT_EQ(ReadWaveText84(c.wavH, 0, 0, text), kErrPointOutsideWave);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(WriteWaveText85(c.wavH, 0, 0, "t"), kErrPointOutsideWave);
    EXPECT_EQ(WaveHeaderValue93(c.wavH), 0);
    EXPECT_EQ(WaveHeaderValue94(c.wavH), 0);
    EXPECT_EQ(WaveHeaderValue95(c.wavH), 0);
    const Handle list1[1] = {c.wavH};
    int32_t type = 9, points = 9;
    char* address = reinterpret_cast<char*>(uintptr_t{1});
    EXPECT_EQ(LockWaveList(list1, 1, &type, &points, nullptr, &address), 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(points, 0);
    EXPECT_EQ(address, nullptr);
    EXPECT_TRUE(Messages().empty()) << "a short block is not handed to the host either";
  }
  for (const Case& c : cases)
    if (c.wavH != nullptr) DisposeHandle(c.wavH);
}

TEST_F(WavesTest, BlocksThatHoldExactlyTheirHeaderAreRead) {
  Handle w0 = ShortWaveBlock(0, kWaveLayout0.dataOffset);
  Handle w1 = ShortWaveBlock(1, kWaveLayout1.dataOffset);
  const int16_t type = kWaveTypeFloat64;
  std::memcpy(*w0 + kWaveLayout0.typeOffset, &type, sizeof type);
  std::memcpy(*w1 + kWaveLayout1.typeOffset, &type, sizeof type);
  EXPECT_EQ(WaveType(w0), kWaveTypeFloat64);
  EXPECT_EQ(WaveType(w1), kWaveTypeFloat64);
  char* address0 = WaveDataAddress(w0);
  EXPECT_EQ(address0, *w0 + kWaveLayout0.dataOffset);
  char* address1 = WaveDataAddress(w1);
  EXPECT_EQ(address1, *w1 + kWaveLayout1.dataOffset);
  int32_t numDimensions = 9;
  EXPECT_EQ(WaveDimensions(w1, &numDimensions, nullptr), 0);
  EXPECT_EQ(numDimensions, 0);
  EXPECT_TRUE(Messages().empty());
  // Another layout needs only its indicator: everything else is the host's to read.
  Handle own = ShortWaveBlock(2, kWaveLayoutIndicatorEnd);
  EXPECT_EQ(WaveLayout(own), 2);
  EXPECT_EQ(WaveType(own), 0) << "asked of the host, which does not know the block";
  EXPECT_EQ(Messages(), std::vector<int>{kMsgWaveType});
  EXPECT_EQ(WaveLayout(nullptr), kWaveLayoutUnreadable);
  for (Handle h : {w0, w1, own}) DisposeHandle(h);
}

TEST_F(WavesTest, WaveDimensionsClearsElevenEntriesAndFillsTheSizes) {
  Handle w1 = Wave("w1", 1, kWaveTypeUInt16, {640, 480});
  int32_t list[12];
  std::fill(std::begin(list), std::end(list), 0x55);
  int32_t count = -1;
  EXPECT_EQ(WaveDimensions(w1, &count, list), 0);
  EXPECT_EQ(count, 2);
  const int32_t expected[12] = {640, 480, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x55};
  EXPECT_EQ(0, std::memcmp(list, expected, sizeof list)) << "entries 2 to 10 cleared, 11 untouched";

  Handle full = Wave("full", 1, kWaveTypeUInt8, {2, 3, 4, 5});
  EXPECT_EQ(WaveDimensions(full, &count, list), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(list[3], 5);
  EXPECT_EQ(list[4], 0);

  Handle w0 = Wave("w0", 0, kWaveTypeFloat32, {77});
  EXPECT_EQ(WaveDimensions(w0, &count, list), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list[0], 77);
  EXPECT_EQ(list[1], 0);
  EXPECT_EQ(WaveDimensions(w0, &count, nullptr), 0);
  EXPECT_TRUE(Messages().empty());

  Handle w2 = Wave("w2", 2, kWaveTypeFloat32, {6, 9});
  EXPECT_EQ(WaveDimensions(w2, &count, list), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(list[1], 9);
  EXPECT_EQ(Last().message, kMsgWaveDimensions);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w2), AsItem(&count), AsItem(list)}));
}

TEST_F(WavesTest, DataOffsetIsKnownForPlainRequestsOnTheDirectLayouts) {
  Handle w0 = Wave("w0", 0, kWaveTypeFloat32, {5});
  Handle w1 = Wave("w1", 1, kWaveTypeFloat32, {5});
  Handle text = Wave("t", 1, kWaveTypeText, {5});
  Handle w2 = Wave("w2", 2, kWaveTypeFloat32, {5});
  int32_t offset = -1;
  EXPECT_EQ(WaveDataOffset(w0, 0, &offset), 0);
  EXPECT_EQ(offset, 110);
  EXPECT_EQ(WaveDataOffset(w1, 0, &offset), 0);
  EXPECT_EQ(offset, 320);
  EXPECT_EQ(WaveDataOffset(text, 0, &offset), kErrNotNumeric);
  EXPECT_EQ(WaveDataOffset(w0, 1, &offset), kErrHostTooOld);
  EXPECT_TRUE(Messages().empty());

  quorsim::WaveView v2;
  host().FindWaveByHandle(w2, &v2);
  EXPECT_EQ(WaveDataOffset(w2, 0, &offset), 0);
  EXPECT_EQ(offset, static_cast<int32_t>(v2.dataOffset));
  EXPECT_EQ(WaveDataOffset(w1, 3, &offset), 0);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w1), 3, AsItem(&offset)}));
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgWaveDataOffset, kMsgWaveDataOffset}));
}

TEST_F(WavesTest, ValuePairsOfDimensionsAndData) {
  quorsim::WaveHeaderValues values;
  for (int d = 0; d < 4; ++d) {
    values.dimensionPairs[d][0] = 1.5 + d;
    values.dimensionPairs[d][1] = -0.25 * (d + 1);
  }
  values.dataPair[0] = -7;
  values.dataPair[1] = 9e9;
  Handle w0 = Wave("w0", 0, kWaveTypeFloat64, {4});
  Handle w1 = Wave("w1", 1, kWaveTypeFloat64, {4, 4});
  Handle w2 = Wave("w2", 3, kWaveTypeFloat64, {4, 4});
  for (Handle w : {w0, w1, w2}) host().SetWaveHeader(w, values);

  double a = 0, b = 0;
  EXPECT_EQ(WaveValuePair(w0, 0, &a, &b), 0);
  EXPECT_EQ(a, 1.5);
  EXPECT_EQ(b, -0.25);
  EXPECT_EQ(WaveValuePair(w0, -1, &a, &b), 0);
  EXPECT_EQ(a, 0.0) << "no data pair while its flag is clear";
  EXPECT_EQ(b, 0.0);
  EXPECT_EQ(WaveValuePair(w0, 1, &a, &b), kErrNoSuchDimension);
  EXPECT_EQ(WaveValuePair(w1, 3, &a, &b), 0);
  EXPECT_EQ(a, 4.5);
  EXPECT_EQ(b, -1.0);
  EXPECT_EQ(WaveValuePair(w1, 4, &a, &b), kErrNoSuchDimension);
  EXPECT_EQ(WaveValuePair(w1, -2, &a, &b), kErrNoSuchDimension);
  values.dataPairFlag = 1;
  host().SetWaveHeader(w0, values);
  host().SetWaveHeader(w1, values);
  EXPECT_EQ(WaveValuePair(w0, -1, &a, &b), 0);
  EXPECT_EQ(a, -7.0);
  EXPECT_EQ(b, 9e9);
  a = b = 0;
  EXPECT_EQ(WaveValuePair(w1, -1, &a, &b), 0);
  EXPECT_EQ(b, 9e9);
  EXPECT_TRUE(Messages().empty());

  EXPECT_EQ(WaveValuePair(w2, 2, &a, &b), 0);
  EXPECT_EQ(a, 3.5);
  EXPECT_EQ(b, -0.75);
  EXPECT_EQ(Last().message, kMsgWaveValuePair);
  ASSERT_EQ(Last().items.size(), 3u);
  EXPECT_EQ(Last().items[1], 2);
}

TEST_F(WavesTest, UnitsOfLayoutZeroGoThroughThePairRequestsOthersThroughTheirOwn) {
  quorsim::WaveHeaderValues values;
  values.dimensionUnits[0] = "m";
  values.dimensionUnits[1] = "s";
  values.dataUnits = "V";
  Handle w0 = Wave("w0", 0, kWaveTypeFloat64, {4});
  Handle w1 = Wave("w1", 1, kWaveTypeFloat64, {4, 4});
  host().SetWaveHeader(w0, values);
  host().SetWaveHeader(w1, values);

  char units[64] = "old";
  EXPECT_EQ(WaveUnits(w0, -1, units), 0);
  EXPECT_STREQ(units, "V");
  ASSERT_EQ(Last().message, kMsgReadWaveUnitsPair);
  EXPECT_EQ(Last().items[2], AsItem(units));
  EXPECT_EQ(WaveUnits(w0, 0, units), 0);
  EXPECT_STREQ(units, "m");
  EXPECT_EQ(Last().items[1], AsItem(units));
  host().ClearExchanges();
  EXPECT_EQ(WaveUnits(w0, 1, units), 0);
  EXPECT_STREQ(units, "") << "layout 0 has no units for other dimensions";
  EXPECT_TRUE(Messages().empty());

  EXPECT_EQ(WaveUnits(w1, 1, units), 0);
  EXPECT_STREQ(units, "s");
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w1), 1, AsItem(units)}));
  EXPECT_EQ(Last().message, kMsgWaveUnits);

  host().ClearExchanges();
  EXPECT_EQ(SetWaveUnits(w0, -1, "A"), 0);
  EXPECT_EQ(Last().items[1], 0) << "dimension units not changed";
  EXPECT_EQ(SetWaveUnits(w0, 0, "km"), 0);
  EXPECT_EQ(Last().items[2], 0) << "data units not changed";
  EXPECT_EQ(SetWaveUnits(w0, 2, "x"), 0);
  EXPECT_EQ(SetWaveUnits(w1, 2, "Hz"), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgWriteWaveUnitsPair, kMsgWriteWaveUnitsPair, kMsgSetWaveUnits}));
  quorsim::WaveHeaderValues after;
  host().WaveHeader(w0, &after);
  EXPECT_EQ(after.dataUnits, "A");
  EXPECT_EQ(after.dimensionUnits[0], "km");
  host().WaveHeader(w1, &after);
  EXPECT_EQ(after.dimensionUnits[2], "Hz");
}

TEST_F(WavesTest, TextRequests84And85AreNotSentForLayoutZero) {
  Handle w0 = Wave("w0", 0, kWaveTypeFloat64, {4});
  Handle w1 = Wave("w1", 1, kWaveTypeFloat64, {4});
  char text[32] = "stale";
  EXPECT_EQ(ReadWaveText84(w0, 0, 1, text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(WriteWaveText85(w0, 0, 1, "x"), 0);
  EXPECT_TRUE(Messages().empty());
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    *result = message * 10;
    return message == kMsgReadWaveText84 || message == kMsgWriteWaveText85;
  });
  EXPECT_EQ(ReadWaveText84(w1, 2, 3, text), 840);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w1), 2, 3, AsItem(text)}));
  EXPECT_EQ(WriteWaveText85(w1, 2, 3, "label"), 850);
  EXPECT_EQ(Last().items.size(), 4u);
}

// ---------------------------------------------------------------- lists of waves

TEST_F(WavesTest, LockWaveListSkipsNullEntriesAndRestoreGivesTheStatesBack) {
  Handle a = Wave("a", 1, kWaveTypeFloat32, {10, 3});
  Handle b = Wave("b", 0, kWaveTypeInt8, {50});
  HLock(b);  // already locked: stays so after the restore
  Handle waves[3] = {a, nullptr, b};
  int32_t types[3], points[3], states[3];
  char* addresses[3];
  std::fill(std::begin(types), std::end(types), 9);
  std::fill(std::begin(states), std::end(states), 9);
  EXPECT_EQ(LockWaveList(waves, 3, types, points, states, addresses), 50);
  EXPECT_EQ(types[0], kWaveTypeFloat32);
  EXPECT_EQ(points[0], 30);
  EXPECT_EQ(types[1], 0);
  EXPECT_EQ(points[1], 0);
  EXPECT_EQ(states[1], 0);
  EXPECT_EQ(addresses[1], nullptr);
  EXPECT_EQ(types[2], kWaveTypeInt8);
  EXPECT_TRUE(quorsim::MemIsLocked(a));
  quorsim::MemScrambleAll();
  EXPECT_EQ(addresses[0], *a + 320) << "locked blocks stay put";
  EXPECT_EQ(addresses[2], *b + 110);
  RestoreWaveList(waves, 3, states);
  EXPECT_FALSE(quorsim::MemIsLocked(a));
  EXPECT_TRUE(quorsim::MemIsLocked(b));

  Handle none[2] = {nullptr, nullptr};
  EXPECT_EQ(LockWaveList(none, 2, types, points, nullptr, addresses), 0);
  EXPECT_EQ(LockWaveList(waves, 1, types, points, nullptr, addresses), 30);
  EXPECT_FALSE(quorsim::MemIsLocked(a)) << "without a state list nothing is locked";
}

// ---------------------------------------------------------------- requests passed on

TEST_F(WavesTest, PassThroughRequestsSendTheirArgumentsUnchanged) {
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    *result = 1000 + message;
    return true;
  });
  struct Case {
    int message;
    HostWord result;
    std::vector<HostWord> items;
  };
  const Case cases[] = {
      {36, SendWaveRequest36(1, 2), {1, 2}},
      {44, SendWaveRequest44(3), {3}},
      {47, SendWaveRequest47(1, 2, 3, 4), {1, 2, 3, 4}},
      {50, SendWaveRequest50(1, 2, 3, 4, 5), {1, 2, 3, 4, 5}},
      {51, SendWaveRequest51(5, 4, 3, 2, 1), {5, 4, 3, 2, 1}},
      {54, SendWaveRequest54(-9), {-9}},
      {55, SendWaveRequest55(7, 8), {7, 8}},
      {81, SendWaveRequest81(1, -1, 2, -2), {1, -1, 2, -2}},
      {91, SendWaveRequest91(1, 2, 3), {1, 2, 3}},
      {92, SendWaveRequest92(3, 2, 1), {3, 2, 1}},
      {205, SendWaveRequest205(4, 5, 6), {4, 5, 6}},
      {206, SendWaveRequest206(6, 5, 4), {6, 5, 4}},
      {207, SendWaveRequest207(1, 9), {1, 9}},
      {208, SendWaveRequest208(9, 1), {9, 1}},
      {52, ReadWaveUnitsPair(nullptr, nullptr, nullptr), {0, 0, 0}},
      {53, WriteWaveUnitsPair(nullptr, nullptr, nullptr), {0, 0, 0}},
  };
  ASSERT_EQ(host().Exchanges().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(host().Exchanges()[i].message, cases[i].message);
    EXPECT_EQ(host().Exchanges()[i].items, cases[i].items) << cases[i].message;
    EXPECT_EQ(cases[i].result, 1000 + cases[i].message);
  }
}

TEST_F(WavesTest, LookupsByNameAndMarkingModified) {
  Handle w = Wave("signal", 1, kWaveTypeFloat64, {4});
  host().SetScriptedAnswer([w](int message, std::span<const HostWord> items, HostWord* result) {
    if (message != kMsgFetchWaveInFolder || items.size() != 2) return false;
    *result = std::strcmp(reinterpret_cast<const char*>(items[1]), "signal") == 0 ? AsItem(w) : 0;
    return true;
  });
  EXPECT_EQ(FetchWaveByName("signal"), w);
  EXPECT_EQ(FetchWaveByName("absent"), nullptr);
  EXPECT_EQ(FetchWaveInFolder(host().RootDataFolder(), "signal"), w);
  ASSERT_EQ(Messages(), (std::vector<int>{kMsgFetchWave, kMsgFetchWave, kMsgFetchWaveInFolder}));
  EXPECT_EQ(Last().items[0], AsItem(host().RootDataFolder()));

  host().ClearExchanges();
  EXPECT_EQ(MarkWaveModifiedByName("signal"), 0);
  EXPECT_EQ(Messages(), (std::vector<int>{kMsgFetchWave, kMsgMarkWaveModified}));
  EXPECT_EQ(Last().items, std::vector<HostWord>{AsItem(w)});
  quorsim::WaveView view;
  host().FindWave("signal", &view);
  EXPECT_EQ(view.modifiedCount, 1);
  host().ClearExchanges();
  EXPECT_EQ(MarkWaveModifiedByName("absent"), 0);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgFetchWave}) << "nothing to mark";

  Start(299);
  host().MakeTestWave("old", 0, kWaveTypeFloat64, {4});
  const char name[] = "old";
  EXPECT_NE(FetchWaveInFolder(host().RootDataFolder(), name), nullptr);
  EXPECT_EQ(Messages(), std::vector<int>{kMsgFetchWave}) << "older hosts look in the current folder";
  EXPECT_EQ(Last().items, std::vector<HostWord>{AsItem(name)});
}

TEST_F(WavesTest, AStoppedExchangeGivesNoAddressAndKeepsAnErrorCode) {
  // The record cannot carry a single item: the host is never called, and the transport's code
  // 1 must not come back as an address or a handle.
  Handle own = Wave("own", 2, kWaveTypeFloat32, {7});
  Handle w = Wave("signal", 1, kWaveTypeFloat64, {4});
  StopNextExchange(1);
  EXPECT_EQ(WaveDataAddress(own), nullptr);
  StopNextExchange(1);
  EXPECT_EQ(FetchWaveByName("signal"), nullptr);
  StopNextExchange(1);
  EXPECT_EQ(FetchWaveInFolder(host().RootDataFolder(), "signal"), nullptr);
  StopNextExchange(1);
  EXPECT_EQ(MarkWaveModifiedByName("signal"), kExchangeStopped) << "a failure, not 'no such wave'";
  // The wrappers that answer an error code keep the transport's nonzero code.
  StopNextExchange(1);
  int32_t numDimensions = 0;
  EXPECT_EQ(WaveDimensions(own, &numDimensions, nullptr), kExchangeStopped);
  StopNextExchange(1);
  Handle made = kGarbageHandle;
  int32_t dims[3] = {4, 4, 0};
  EXPECT_EQ(MakeWaveMD(&made, "made", nullptr, dims, kWaveTypeUInt8, 1), kExchangeStopped);
  EXPECT_EQ(made, nullptr);
  // The header values asked of the host: no answer, so no value a host could have given.
  for (int32_t (*accessor)(Handle) :
       {WaveType, WavePointCount, WaveHeaderValue93, WaveHeaderValue94, WaveHeaderValue95}) {
    StopNextExchange(1);
    EXPECT_EQ(accessor(own), kExchangeStoppedValue);
  }
  EXPECT_TRUE(Messages().empty()) << "nothing reached the host, no made-up handle among it";
  quorsim::WaveView view;
  ASSERT_TRUE(host().FindWave("signal", &view));
  EXPECT_EQ(view.modifiedCount, 0);

  EXPECT_EQ(FetchWaveByName("signal"), w) << "the next exchange goes through again";
  Start(299);
  host().MakeTestWave("old", 0, kWaveTypeFloat64, {4});
  StopNextExchange(1);
  EXPECT_EQ(FetchWaveInFolder(host().RootDataFolder(), "old"), nullptr) << "older hosts: by name";
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WavesTest, ChangeWithExtraArgumentAndTheRequestsOfVersion500) {
  host().SetScriptedAnswer([](int message, std::span<const HostWord>, HostWord* result) {
    *result = message;
    return message == kMsgChangeWaveMD96 || message == kMsgWaveRequest196 || message == kMsgWaveRequest197;
  });
  Handle w = Wave("w", 1, kWaveTypeFloat64, {4});
  int32_t dims[2] = {6, 0};
  EXPECT_EQ(ChangeWaveMD96(w, kWaveTypeFloat32, dims, 77), 96);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{AsItem(w), kWaveTypeFloat32, AsItem(dims), 77}));
  EXPECT_EQ(ChangeWaveMD96(w, kWaveTypeFloat32, dims, 0), 0);
  EXPECT_EQ(Last().message, kMsgChangeWaveMD);
  EXPECT_EQ(Last().items.size(), 3u);
  EXPECT_EQ(SendWaveRequest196(5), 196);
  EXPECT_EQ(SendWaveRequest197(5, 6), 197);
  EXPECT_EQ(Last().items, (std::vector<HostWord>{5, 6}));

  for (int version : {499, 313}) {
    Start(version);
    EXPECT_EQ(SendWaveRequest196(5), 0);
    EXPECT_EQ(SendWaveRequest197(5, 6), 0);
    EXPECT_TRUE(Messages().empty());
  }
  Start(500);
  host().SetScriptedAnswer([](int, std::span<const HostWord>, HostWord* result) {
    *result = 3;
    return true;
  });
  EXPECT_EQ(SendWaveRequest196(1), 3);
  EXPECT_EQ(SendWaveRequest197(1, 2), 3);
}

}  // namespace
}  // namespace moduletest
