// The GenTL producer: its exported interface, the standard's error codes for
// bad input, a consumer's streaming loop, failures of the simulated board as
// the consumer sees them, and every GenICam description walked by Aravis's
// parser.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gentl_consumer.h"

using namespace qrn_gentl_test;

namespace {

// The last error's code and text.
std::pair<GC_ERROR, std::string> lastError() {
  GC_ERROR code = 0;
  std::string text = lastErrorText(&code);
  return {code, text};
}

// Expects `rc` to be `code`, with the same code and a text as the last error.
#define EXPECT_GC_ERROR(call, code)          \
  do {                                       \
    const GC_ERROR rc_ = (call);             \
    EXPECT_EQ(rc_, code) << #call;           \
    const auto [last_, text_] = lastError(); \
    EXPECT_EQ(last_, code) << #call;         \
    EXPECT_FALSE(text_.empty()) << #call;    \
  } while (0)

// A consumer with `n` buffers of the payload size announced and queued, and
// the new-buffer event registered.
struct Streaming : Consumer {
  std::vector<std::vector<char>> memory;
  std::vector<BUFFER_HANDLE> buffers;
  EVENT_HANDLE newBuffer = nullptr;

  void announce(int n, bool queue = true) {
    const auto size = static_cast<size_t>(payloadSize());
    for (int i = 0; i < n; ++i) {
      BUFFER_HANDLE b = nullptr;
      if (i % 2) {
        QRN_GENTL_CHECK(DSAllocAndAnnounceBuffer(ds, size, reinterpret_cast<void*>(static_cast<intptr_t>(i + 1)), &b));
      } else {
        memory.emplace_back(size);
        QRN_GENTL_CHECK(DSAnnounceBuffer(ds, memory.back().data(), size,
                                         reinterpret_cast<void*>(static_cast<intptr_t>(i + 1)), &b));
      }
      if (queue) QRN_GENTL_CHECK(DSQueueBuffer(ds, b));
      buffers.push_back(b);
    }
    if (!newBuffer) QRN_GENTL_CHECK(GCRegisterEvent(ds, EVENT_NEW_BUFFER, &newBuffer));
  }
  // The next filled buffer (throws on timeout).
  BUFFER_HANDLE next(uint64_t timeoutMs = 5000) {
    EVENT_NEW_BUFFER_DATA d{};
    size_t size = sizeof d;
    QRN_GENTL_CHECK(EventGetData(newBuffer, &d, &size, timeoutMs));
    EXPECT_EQ(size, sizeof d);
    EXPECT_EQ(d.pUserPointer, bufferInfo<void*>(d.BufferHandle, BUFFER_INFO_USER_PTR));
    return d.BufferHandle;
  }
  const unsigned char* pels(BUFFER_HANDLE b) {
    return static_cast<const unsigned char*>(bufferInfo<void*>(b, BUFFER_INFO_BASE));
  }
};

}  // namespace

// ---- the interface -----------------------------------------------------------------------

TEST(GenTLSymbols, EveryFunctionOfTheStandardIsExportedWithCLinkage) {
  void* h = dlopen(QRN_GENTL_CTI, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  // The standard's function names, written out (not taken from our header).
  const char* names[] = {"GCGetInfo",
                         "GCGetLastError",
                         "GCInitLib",
                         "GCCloseLib",
                         "GCReadPort",
                         "GCWritePort",
                         "GCGetPortURL",
                         "GCGetPortInfo",
                         "GCRegisterEvent",
                         "GCUnregisterEvent",
                         "EventGetData",
                         "EventGetDataInfo",
                         "EventGetInfo",
                         "EventFlush",
                         "EventKill",
                         "TLOpen",
                         "TLClose",
                         "TLGetInfo",
                         "TLGetNumInterfaces",
                         "TLGetInterfaceID",
                         "TLGetInterfaceInfo",
                         "TLOpenInterface",
                         "TLUpdateInterfaceList",
                         "IFClose",
                         "IFGetInfo",
                         "IFGetNumDevices",
                         "IFGetDeviceID",
                         "IFUpdateDeviceList",
                         "IFGetDeviceInfo",
                         "IFOpenDevice",
                         "IFGetParentTL",
                         "DevGetPort",
                         "DevGetNumDataStreams",
                         "DevGetDataStreamID",
                         "DevOpenDataStream",
                         "DevGetInfo",
                         "DevClose",
                         "DevGetParentIF",
                         "DSAnnounceBuffer",
                         "DSAllocAndAnnounceBuffer",
                         "DSFlushQueue",
                         "DSStartAcquisition",
                         "DSStopAcquisition",
                         "DSGetInfo",
                         "DSGetBufferID",
                         "DSClose",
                         "DSRevokeBuffer",
                         "DSQueueBuffer",
                         "DSGetBufferInfo",
                         "DSGetParentDev",
                         "GCGetNumPortURLs",
                         "GCGetPortURLInfo",
                         "GCReadPortStacked",
                         "GCWritePortStacked",
                         "DSGetBufferChunkData",
                         "DSGetNumBufferParts",
                         "DSGetBufferPartInfo",
                         "DSAnnounceCompositeBuffer",
                         "DSGetBufferInfoStacked",
                         "DSGetBufferPartInfoStacked",
                         "DSGetNumFlows",
                         "DSGetFlowInfo",
                         "DSGetNumBufferSegments",
                         "DSGetBufferSegmentInfo"};
  for (const char* n : names) EXPECT_NE(dlsym(h, n), nullptr) << n;
  EXPECT_EQ(dlsym(h, "GCGetInfo"), reinterpret_cast<void*>(&GCGetInfo));  // one copy in the process
  // Nothing of the library's inside leaks out.
  EXPECT_EQ(dlsym(h, "_ZN9qrn_gentl11lastErrorEv"), nullptr);
  dlclose(h);
}

TEST(GenTLErrors, CallsBeforeInitAndTwiceInitAreRefused) {
  TL_HANDLE tl = nullptr;
  EXPECT_GC_ERROR(TLOpen(&tl), GC_ERR_NOT_INITIALIZED);
  EXPECT_GC_ERROR(GCCloseLib(), GC_ERR_NOT_INITIALIZED);
  // GCGetInfo works before GCInitLib.
  char id[64];
  size_t size = sizeof id;
  EXPECT_EQ(GCGetInfo(TL_INFO_ID, nullptr, id, &size), GC_ERR_SUCCESS);
  EXPECT_STREQ(id, "qrnacq");
  ASSERT_EQ(GCInitLib(), GC_ERR_SUCCESS);
  EXPECT_GC_ERROR(GCInitLib(), GC_ERR_RESOURCE_IN_USE);
  EXPECT_EQ(GCCloseLib(), GC_ERR_SUCCESS);
}

TEST(GenTLErrors, InfoQueriesGiveTheSizeTypeAndRefuseSmallBuffers) {
  Consumer c;
  struct Case {
    std::function<GC_ERROR(INFO_DATATYPE*, void*, size_t*)> query;
    INFO_DATATYPE type;
  };
  const Case cases[] = {
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return TLGetInfo(c.tl, TL_INFO_VENDOR, t, b, s); },
       INFO_DATATYPE_STRING},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return IFGetInfo(c.itf, INTERFACE_INFO_ID, t, b, s); },
       INFO_DATATYPE_STRING},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return DevGetInfo(c.dev, DEVICE_INFO_ACCESS_STATUS, t, b, s); },
       INFO_DATATYPE_INT32},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return IFGetDeviceInfo(c.itf, "sim0", DEVICE_INFO_MODEL, t, b, s); },
       INFO_DATATYPE_STRING},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return DSGetInfo(c.ds, STREAM_INFO_PAYLOAD_SIZE, t, b, s); },
       INFO_DATATYPE_SIZET},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return DSGetInfo(c.ds, STREAM_INFO_IS_GRABBING, t, b, s); },
       INFO_DATATYPE_BOOL8},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return GCGetPortInfo(c.remote, PORT_INFO_PORTNAME, t, b, s); },
       INFO_DATATYPE_STRING},
      {[&](INFO_DATATYPE* t, void* b, size_t* s) { return GCGetPortURLInfo(c.remote, 1, URL_INFO_FILE_SIZE, t, b, s); },
       INFO_DATATYPE_UINT64},
  };
  for (const Case& k : cases) {
    // The size query: a null buffer gives the size and the type.
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t size = 0;
    ASSERT_EQ(k.query(&type, nullptr, &size), GC_ERR_SUCCESS);
    EXPECT_EQ(type, k.type);
    ASSERT_GT(size, 0u);
    // One byte short is too small, and says what is needed.
    std::vector<char> buf(size);
    size_t shorter = size - 1;
    EXPECT_GC_ERROR(k.query(nullptr, buf.data(), &shorter), GC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(shorter, size);
    size_t exact = size;
    EXPECT_EQ(k.query(nullptr, buf.data(), &exact), GC_ERR_SUCCESS);
    EXPECT_EQ(exact, size);
    if (k.type == INFO_DATATYPE_STRING) {
      EXPECT_EQ(std::strlen(buf.data()) + 1, size);
    }
  }
  EXPECT_GC_ERROR(TLGetInfo(c.tl, TL_INFO_VENDOR, nullptr, nullptr, nullptr), GC_ERR_INVALID_PARAMETER);
  // GCGetLastError's own size query and short buffer leave the last error alone.
  GC_ERROR code = 0;
  size_t textSize = 0;
  ASSERT_EQ(GCGetLastError(&code, nullptr, &textSize), GC_ERR_SUCCESS);
  EXPECT_EQ(code, GC_ERR_INVALID_PARAMETER);
  char two[2];
  size_t twoSize = sizeof two;
  EXPECT_EQ(GCGetLastError(&code, two, &twoSize), GC_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(twoSize, textSize);
  EXPECT_EQ(lastError().first, GC_ERR_INVALID_PARAMETER);
  size_t size = 8;
  char b[8];
  EXPECT_GC_ERROR(TLGetInfo(c.tl, 4711, nullptr, b, &size), GC_ERR_INVALID_PARAMETER);
}

TEST(GenTLErrors, InvalidAndClosedHandlesAreRefused) {
  Consumer c;
  uint32_t n = 0;
  int notAHandle = 0;
  EXPECT_GC_ERROR(TLGetNumInterfaces(nullptr, &n), GC_ERR_INVALID_HANDLE);
  EXPECT_GC_ERROR(TLGetNumInterfaces(&notAHandle, &n), GC_ERR_INVALID_HANDLE);
  EXPECT_GC_ERROR(IFGetNumDevices(c.tl, &n), GC_ERR_INVALID_HANDLE);  // a handle of another module
  EXPECT_GC_ERROR(DSQueueBuffer(c.ds, &notAHandle), GC_ERR_INVALID_HANDLE);
  EXPECT_GC_ERROR(GCReadPort(&notAHandle, 0, &n, nullptr), GC_ERR_INVALID_HANDLE);
  EXPECT_GC_ERROR(EventKill(&notAHandle), GC_ERR_INVALID_HANDLE);
  size_t size = 4;
  EXPECT_GC_ERROR(GCReadPort(c.remote, 0x7, &n, &size), GC_ERR_INVALID_ADDRESS);
  // Unknown ids and indices.
  DEV_HANDLE d = nullptr;
  EXPECT_GC_ERROR(IFOpenDevice(c.itf, "sim99", DEVICE_ACCESS_EXCLUSIVE, &d), GC_ERR_INVALID_ID);
  char id[32];
  size = sizeof id;
  EXPECT_GC_ERROR(IFGetDeviceID(c.itf, 99, id, &size), GC_ERR_INVALID_INDEX);
  DS_HANDLE s = nullptr;
  EXPECT_GC_ERROR(DevOpenDataStream(c.dev, "nope", &s), GC_ERR_INVALID_ID);
}

TEST(GenTLErrors, SecondOpensAreRefused) {
  Consumer c;
  TL_HANDLE tl = nullptr;
  IF_HANDLE itf = nullptr;
  DEV_HANDLE dev = nullptr;
  DS_HANDLE ds = nullptr;
  EXPECT_GC_ERROR(TLOpen(&tl), GC_ERR_RESOURCE_IN_USE);
  EXPECT_GC_ERROR(TLOpenInterface(c.tl, "sim", &itf), GC_ERR_RESOURCE_IN_USE);
  EXPECT_GC_ERROR(IFOpenDevice(c.itf, "sim0", DEVICE_ACCESS_EXCLUSIVE, &dev), GC_ERR_RESOURCE_IN_USE);
  EXPECT_GC_ERROR(DevOpenDataStream(c.dev, "Stream0", &ds), GC_ERR_RESOURCE_IN_USE);
  int32_t status = 0;
  size_t size = sizeof status;
  ASSERT_EQ(IFGetDeviceInfo(c.itf, "sim0", DEVICE_INFO_ACCESS_STATUS, nullptr, &status, &size), GC_ERR_SUCCESS);
  EXPECT_EQ(status, DEVICE_ACCESS_STATUS_OPEN_READWRITE);
}

TEST(GenTLErrors, ModulesCloseInEveryOrderWhileStreaming) {
  // Each order closes some modules explicitly while the stream runs; closing
  // a parent closes its children (the stream's worker ends), whose handles
  // then are invalid, and the rest stay usable.
  enum Module { kStream, kDevice, kInterface, kSystem };
  const std::vector<std::vector<Module>> orders = {
      {kStream, kDevice, kInterface, kSystem}, {kSystem},          {kInterface, kSystem}, {kDevice, kSystem},
      {kDevice, kInterface, kSystem},          {kStream, kSystem},
  };
  for (const auto& order : orders) {
    Streaming c;
    c.announce(2);
    ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
    c.next();
    g_object_unref(c.device);
    c.device = nullptr;
    std::set<Module> closed;
    for (Module m : order) {
      switch (m) {
        case kStream:
          EXPECT_EQ(DSClose(c.ds), GC_ERR_SUCCESS);
          break;
        case kDevice:
          EXPECT_EQ(DevClose(c.dev), GC_ERR_SUCCESS);
          break;
        case kInterface:
          EXPECT_EQ(IFClose(c.itf), GC_ERR_SUCCESS);
          break;
        case kSystem:
          EXPECT_EQ(TLClose(c.tl), GC_ERR_SUCCESS);
          break;
      }
      closed.insert(m);
      // A module is gone when it or a parent was closed.
      const bool systemGone = closed.count(kSystem) > 0;
      const bool interfaceGone = systemGone || closed.count(kInterface);
      const bool deviceGone = interfaceGone || closed.count(kDevice);
      uint32_t n = 0;
      EXPECT_EQ(TLGetNumInterfaces(c.tl, &n) == GC_ERR_INVALID_HANDLE, systemGone);
      EXPECT_EQ(IFGetNumDevices(c.itf, &n) == GC_ERR_INVALID_HANDLE, interfaceGone);
      EXPECT_EQ(DevGetNumDataStreams(c.dev, &n) == GC_ERR_INVALID_HANDLE, deviceGone);
      EXPECT_GC_ERROR(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_INVALID_HANDLE);
      EXPECT_GC_ERROR(EventKill(c.newBuffer), GC_ERR_INVALID_HANDLE);
      EXPECT_GC_ERROR(DSQueueBuffer(c.ds, c.buffers[0]), GC_ERR_INVALID_HANDLE);
    }
    EXPECT_GC_ERROR(DSClose(c.ds), GC_ERR_INVALID_HANDLE);
    c.ds = nullptr, c.dev = nullptr, c.itf = nullptr, c.tl = nullptr;
  }
}

TEST(GenTLErrors, TimeoutKillAndStartWithoutBuffers) {
  Streaming c;
  // No buffer announced: nothing to stream into.
  EXPECT_GC_ERROR(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_RESOURCE_EXHAUSTED);
  EXPECT_GC_ERROR(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_RESOURCE_IN_USE);
  c.announce(2, false);
  // Nothing arrives before a start.
  EVENT_NEW_BUFFER_DATA d{};
  size_t size = sizeof d;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_GC_ERROR(EventGetData(c.newBuffer, &d, &size, 50), GC_ERR_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
  size_t small = sizeof d - 1;
  EXPECT_GC_ERROR(EventGetData(c.newBuffer, &d, &small, 0), GC_ERR_BUFFER_TOO_SMALL);
  // EventKill ends a wait without limit at once.
  std::atomic<GC_ERROR> waited{GC_ERR_SUCCESS};
  std::thread waiter([&] {
    EVENT_NEW_BUFFER_DATA w{};
    size_t s = sizeof w;
    waited = EventGetData(c.newBuffer, &w, &s, GENTL_INFINITE);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(EventKill(c.newBuffer), GC_ERR_SUCCESS);
  waiter.join();
  EXPECT_EQ(waited.load(), GC_ERR_ABORT);
  // Started with nothing queued: frames are lost as underruns, none delivered.
  ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  EXPECT_GC_ERROR(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_RESOURCE_IN_USE);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (c.streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN) < 2 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(c.streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN), 2u);
  EXPECT_EQ(c.streamInfo<uint64_t>(STREAM_INFO_NUM_DELIVERED), 0u);
  // Queued now, buffers arrive.
  QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT));
  BUFFER_HANDLE b = c.next();
  // A buffer in the stream's hands cannot be revoked; stopped and flushed it can.
  QRN_GENTL_CHECK(DSQueueBuffer(c.ds, b));
  EXPECT_GC_ERROR(DSQueueBuffer(c.ds, b), GC_ERR_RESOURCE_IN_USE);
  void* base = nullptr;
  void* user = nullptr;
  EXPECT_GC_ERROR(DSRevokeBuffer(c.ds, b, &base, &user), GC_ERR_BUSY);
  QRN_GENTL_CHECK(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT));
  QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_ALL_DISCARD));
  void* const announcedUser = c.bufferInfo<void*>(b, BUFFER_INFO_USER_PTR);
  const bool ours = b == c.buffers[0];  // buffer 0 is the consumer's memory, buffer 1 the producer's
  EXPECT_EQ(DSRevokeBuffer(c.ds, b, &base, &user), GC_ERR_SUCCESS);
  EXPECT_EQ(base, ours ? static_cast<void*>(c.memory[0].data()) : nullptr);
  EXPECT_EQ(user, announcedUser);
  EXPECT_GC_ERROR(DSQueueBuffer(c.ds, b), GC_ERR_INVALID_HANDLE);
}

TEST(GenTLErrors, AWaitEndsWhenItsStreamCloses) {
  Streaming c;
  c.announce(2, false);
  ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  std::atomic<GC_ERROR> waited{GC_ERR_SUCCESS};
  std::thread waiter([&] {
    EVENT_NEW_BUFFER_DATA d{};
    size_t size = sizeof d;
    waited = EventGetData(c.newBuffer, &d, &size, GENTL_INFINITE);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(DSClose(c.ds), GC_ERR_SUCCESS);
  waiter.join();
  EXPECT_EQ(waited.load(), GC_ERR_ABORT);
  c.ds = nullptr;
}

// ---- streaming ---------------------------------------------------------------------------------

TEST(GenTLStream, AConsumerLoopGetsEveryFrameInOrderWithItsPels) {
  Streaming c;
  c.set("Width", "320");
  c.set("Height", "200");
  c.set("OffsetX", "16");
  c.set("OffsetY", "8");
  c.set("PixelFormat", "Mono8");
  c.set("AcquisitionFrameRate", "500");
  ASSERT_EQ(c.payloadSize(), 320 * 200);
  c.announce(8);
  EXPECT_EQ(c.streamInfo<size_t>(STREAM_INFO_NUM_ANNOUNCED), 8u);
  EXPECT_EQ(c.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED), 8u);
  ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  c.execute("AcquisitionStart");
  EXPECT_TRUE(c.streamInfo<bool8_t>(STREAM_INFO_IS_GRABBING));
  uint64_t lastId = 0, lastStamp = 0;
  for (int i = 0; i < 30; ++i) {
    BUFFER_HANDLE b = c.next();
    const uint64_t id = c.bufferInfo<uint64_t>(b, BUFFER_INFO_FRAMEID);
    const uint64_t stamp = c.bufferInfo<uint64_t>(b, BUFFER_INFO_TIMESTAMP);
    if (i > 0) {
      EXPECT_GT(id, lastId);
      EXPECT_GT(stamp, lastStamp);
    }
    lastId = id, lastStamp = stamp;
    EXPECT_FALSE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IS_INCOMPLETE));
    EXPECT_TRUE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IMAGEPRESENT));
    EXPECT_TRUE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_NEW_DATA));
    EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_SIZE_FILLED), 320u * 200u);
    EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_WIDTH), 320u);
    EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_HEIGHT), 200u);
    EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_XOFFSET), 16u);
    EXPECT_EQ(c.bufferInfo<uint64_t>(b, BUFFER_INFO_PIXELFORMAT), 0x01080001u);
    EXPECT_EQ(c.bufferInfo<uint64_t>(b, BUFFER_INFO_PIXELFORMAT_NAMESPACE), uint64_t{PIXELFORMAT_NAMESPACE_PFNC_32BIT});
    EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_PAYLOADTYPE), size_t{PAYLOAD_TYPE_IMAGE});
    // The moving gradient, (x + y + frame) mod 256 in full-frame coordinates,
    // through the board's default input table (which clips to 15..240).
    const unsigned char* p = c.pels(b);
    for (int y : {0, 100, 199})
      for (int x : {0, 1, 319})
        ASSERT_EQ(p[y * 320 + x], std::clamp<int>((16 + x + 8 + y + id) % 256, 15, 240))
            << "frame " << id << " at " << x << "," << y;
    QRN_GENTL_CHECK(DSQueueBuffer(c.ds, b));
  }
  EXPECT_GE(c.streamInfo<uint64_t>(STREAM_INFO_NUM_DELIVERED), 30u);
  // The size is locked while streaming; the exposure is not.
  EXPECT_THROW(c.set("Width", "100"), std::runtime_error);
  EXPECT_THROW(c.set("PixelFormat", "Mono16"), std::runtime_error);
  EXPECT_NO_THROW(c.set("ExposureTime", "5000"));
  QRN_GENTL_CHECK(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT));
  EXPECT_FALSE(c.streamInfo<bool8_t>(STREAM_INFO_IS_GRABBING));
  EXPECT_NO_THROW(c.set("Width", "100"));
  // Flushing: every queued buffer to the output queue, then all back.
  QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_OUTPUT_DISCARD));
  QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_UNQUEUED_TO_INPUT));
  const size_t queued = c.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED);
  EXPECT_EQ(queued, 8u);
  QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_INPUT_TO_OUTPUT));
  EXPECT_EQ(c.streamInfo<size_t>(STREAM_INFO_NUM_AWAIT_DELIVERY), 8u);
  EXPECT_EQ(c.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED), 0u);
  BUFFER_HANDLE flushed = c.next(0);
  EXPECT_FALSE(c.bufferInfo<bool8_t>(flushed, BUFFER_INFO_NEW_DATA));
  QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_ALL_TO_INPUT));
  EXPECT_EQ(c.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED), 7u);
  EXPECT_EQ(c.streamInfo<size_t>(STREAM_INFO_NUM_AWAIT_DELIVERY), 0u);
}

TEST(GenTLStream, ACountedStartEndsByItself) {
  Streaming c;
  c.set("AcquisitionFrameRateEnable", "false");
  c.announce(4);
  ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, 3), GC_ERR_SUCCESS);
  for (int i = 0; i < 3; ++i) c.next();
  EVENT_NEW_BUFFER_DATA d{};
  size_t size = sizeof d;
  EXPECT_EQ(EventGetData(c.newBuffer, &d, &size, 200), GC_ERR_TIMEOUT);
  EXPECT_FALSE(c.streamInfo<bool8_t>(STREAM_INFO_IS_GRABBING));
  EXPECT_EQ(c.streamInfo<uint64_t>(STREAM_INFO_NUM_DELIVERED), 3u);
  EXPECT_EQ(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
}

TEST(GenTLStream, EveryPixelFormatFillsItsPayload) {
  Streaming c;
  c.set("Width", "64");
  c.set("Height", "16");
  c.set("AcquisitionFrameRateEnable", "false");
  ArvGcNode* pf = arv_gc_get_node(c.gc, "PixelFormat");
  GError* e = nullptr;
  guint n = 0;
  const char** names = arv_gc_enumeration_dup_available_string_values(ARV_GC_ENUMERATION(pf), &n, &e);
  ASSERT_EQ(e, nullptr);
  std::vector<std::string> formats(names, names + n);
  g_free(names);
  EXPECT_GE(formats.size(), 8u);  // Mono8/10/12/16, BGRa8, RGB8_Planar, Bayer 8
  for (const std::string& f : formats) {
    c.set("PixelFormat", f);
    const int64_t payload = c.payloadSize();
    c.announce(2);
    ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS) << f;
    BUFFER_HANDLE b = c.next();
    EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_SIZE_FILLED), static_cast<size_t>(payload)) << f;
    EXPECT_EQ(c.bufferInfo<uint64_t>(b, BUFFER_INFO_PIXELFORMAT),
              static_cast<uint64_t>(arv_gc_enumeration_get_int_value(ARV_GC_ENUMERATION(pf), nullptr)))
        << f;
    EXPECT_FALSE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IS_INCOMPLETE)) << f;
    QRN_GENTL_CHECK(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT));
    QRN_GENTL_CHECK(DSFlushQueue(c.ds, ACQ_QUEUE_ALL_DISCARD));
    for (BUFFER_HANDLE h : c.buffers) QRN_GENTL_CHECK(DSRevokeBuffer(c.ds, h, nullptr, nullptr));
    c.buffers.clear();
    c.memory.clear();
  }
  c.set("PixelFormat", "Mono16");
  EXPECT_EQ(c.payloadSize(), 64 * 16 * 2);
  c.set("PixelFormat", "BGRa8");
  EXPECT_EQ(c.payloadSize(), 64 * 16 * 4);
}

// ---- failures ---------------------------------------------------------------------------------

TEST(GenTLFailures, InjectedFailuresArriveAsIncompleteBuffersUnderrunsAndErrorEvents) {
  Streaming c;
  c.set("TriggerMode", "On");
  c.set("TriggerSource", "Software");
  c.set("Width", "64");
  c.set("Height", "32");
  c.announce(4);
  EVENT_HANDLE errors = nullptr;
  QRN_GENTL_CHECK(GCRegisterEvent(c.ds, EVENT_ERROR, &errors));
  ASSERT_EQ(DSStartAcquisition(c.ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), GC_ERR_SUCCESS);
  auto errorText = [&] {
    qsGenTLErrorEventData d{};
    size_t size = sizeof d;
    QRN_GENTL_CHECK(EventGetData(errors, &d, &size, 5000));
    char text[300] = {};
    size_t len = sizeof text;
    QRN_GENTL_CHECK(EventGetDataInfo(errors, &d, sizeof d, EVENT_DATA_VALUE, nullptr, text, &len));
    return std::string(text);
  };
  auto frame = [&](const char* inject) {
    if (inject) c.set("QrnCustomItem", std::string("Inject=") + inject);
    c.execute("TriggerSoftware");
  };
  // A good frame.
  frame(nullptr);
  BUFFER_HANDLE b = c.next();
  EXPECT_FALSE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IS_INCOMPLETE));
  QRN_GENTL_CHECK(DSQueueBuffer(c.ds, b));
  // Part of the image: an incomplete buffer with the image.
  frame("incomplete");
  b = c.next();
  EXPECT_TRUE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IS_INCOMPLETE));
  EXPECT_TRUE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IMAGEPRESENT));
  EXPECT_NE(errorText().find("incomplete"), std::string::npos);
  QRN_GENTL_CHECK(DSQueueBuffer(c.ds, b));
  // No image at all: an empty incomplete buffer and the reason.
  frame("abnormal:7");
  b = c.next();
  EXPECT_TRUE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IS_INCOMPLETE));
  EXPECT_FALSE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IMAGEPRESENT));
  EXPECT_EQ(c.bufferInfo<size_t>(b, BUFFER_INFO_SIZE_FILLED), 0u);
  EXPECT_FALSE(errorText().empty());
  QRN_GENTL_CHECK(DSQueueBuffer(c.ds, b));
  // A frame the board lost: an underrun, no buffer.
  const uint64_t underruns = c.streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN);
  frame("overrun");
  EXPECT_NE(errorText().find("overrun"), std::string::npos);
  EXPECT_EQ(c.streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN), underruns + 1);
  EVENT_NEW_BUFFER_DATA d{};
  size_t size = sizeof d;
  EXPECT_EQ(EventGetData(c.newBuffer, &d, &size, 100), GC_ERR_TIMEOUT);
  // And the stream goes on.
  frame(nullptr);
  b = c.next();
  EXPECT_FALSE(c.bufferInfo<bool8_t>(b, BUFFER_INFO_IS_INCOMPLETE));
  // A bad custom item is the board's refusal.
  EXPECT_THROW(c.set("QrnCustomItem", "Inject=nonsense"), std::runtime_error);
  QRN_GENTL_CHECK(DSStopAcquisition(c.ds, ACQ_STOP_FLAGS_DEFAULT));
}

// ---- GenICam descriptions ---------------------------------------------------------------

namespace {
// Reads every value node of the document (features and registers; commands,
// categories, ports, enumeration entries and the root have no value); returns how many
// were read.
int walk(ArvDomNode* n, std::vector<std::string>& failures) {
  int count = 0;
  for (ArvDomNode* c = arv_dom_node_get_first_child(n); c; c = arv_dom_node_get_next_sibling(c)) {
    if (ARV_IS_GC_FEATURE_NODE(c) && !ARV_IS_GC_COMMAND(c) && !ARV_IS_GC_CATEGORY(c) && !ARV_IS_GC_PORT(c) &&
        !ARV_IS_GC_REGISTER_DESCRIPTION_NODE(c) && !ARV_IS_GC_ENUM_ENTRY(c)) {
      GError* e = nullptr;
      const char* v = arv_gc_feature_node_get_value_as_string(ARV_GC_FEATURE_NODE(c), &e);
      const char* name = arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(c));
      if (e || !v)
        failures.push_back(std::string(name ? name : G_OBJECT_TYPE_NAME(c)) + ": " +
                           (e && e->message ? e->message : "no value"));
      if (e) g_error_free(e);
      ++count;
    }
    count += walk(c, failures);
  }
  return count;
}
}  // namespace

TEST(GenTLGenICam, EveryDescriptionParsesAndEveryNodeReads) {
  Consumer c;
  struct Port {
    const char* what;
    PORT_HANDLE h;
    int minFeatures;
  };
  const Port ports[] = {{"system", c.tl, 6},
                        {"interface", c.itf, 2},
                        {"device", c.dev, 4},
                        {"remote device", c.remote, 25},
                        {"stream", c.ds, 3}};
  for (const Port& p : ports) {
    uint32_t urls = 0;
    ASSERT_EQ(GCGetNumPortURLs(p.h, &urls), GC_ERR_SUCCESS);
    ASSERT_EQ(urls, 2u) << p.what;
    EXPECT_EQ(portDescription(p.h, 0), portDescription(p.h, 1)) << p.what << ": the zip holds the plain file";
    for (uint32_t u = 0; u < urls; ++u) {
      ArvDevice* d = newPortDevice(p.h, u);
      ArvGc* gc = arv_device_get_genicam(d);
      ASSERT_NE(gc, nullptr) << p.what;
      std::vector<std::string> failures;
      const int n = walk(ARV_DOM_NODE(gc), failures);
      EXPECT_GE(n, p.minFeatures) << p.what;
      EXPECT_TRUE(failures.empty()) << p.what << ": " << (failures.empty() ? "" : failures.front());
      g_object_unref(d);
    }
  }
  // SFNC names of the remote device.
  for (const char* name : {"Width",
                           "Height",
                           "OffsetX",
                           "OffsetY",
                           "PixelFormat",
                           "PayloadSize",
                           "ExposureTime",
                           "AcquisitionMode",
                           "AcquisitionStart",
                           "AcquisitionStop",
                           "AcquisitionFrameRate",
                           "TriggerSelector",
                           "TriggerMode",
                           "TriggerSource",
                           "TriggerSoftware",
                           "TestPattern",
                           "DeviceVendorName",
                           "DeviceModelName",
                           "DeviceSerialNumber",
                           "DeviceUserID"})
    EXPECT_NE(arv_gc_get_node(c.gc, name), nullptr) << name;
  // Writes reach the board's properties and read back; bad values are refused.
  c.set("ExposureTime", "2500");
  EXPECT_DOUBLE_EQ(std::stod(c.get("ExposureTime")), 2500.0);
  c.set("DeviceUserID", "left camera");
  EXPECT_EQ(c.get("DeviceUserID"), "left camera");
  c.set("TestPattern", "Checkerboard");
  EXPECT_EQ(c.get("TestPattern"), "Checkerboard");
  EXPECT_THROW(c.set("OffsetX", "4000"), std::runtime_error);  // 4000 + 640 leaves the sensor
  EXPECT_EQ(c.get("OffsetX"), "0");
  int64_t bad = 5;
  size_t size = sizeof bad;
  const GC_ERROR rc = GCWritePort(c.remote, 0x1000000, &bad, &size);  // the description is read only
  EXPECT_EQ(rc, GC_ERR_ACCESS_DENIED);
}
