// The exported functions: each checks its handles and arguments, runs under
// the producer's lock (EventGetData waits outside it) and reports failures
// through guard() as the standard's codes and the thread's last error.
#include <cstring>

#include "errors.h"
#include "modules.h"
#include "remote.h"
#include "stream.h"

using namespace qrn_gentl;

#define QRN_GENTL_EXPORT extern "C" __attribute__((visibility("default"))) GC_ERROR

namespace {

// Runs body under the producer's lock once the library is initialised.
template <class F>
GC_ERROR call(F&& body) {
  return guard([&] {
    std::lock_guard<std::recursive_mutex> g(Handles::lock());
    Library::require();
    body();
  });
}

std::string idText(const char* id, const char* what) {
  need(id, what);
  return id;
}

}  // namespace

// ---- library -----------------------------------------------------------------------

QRN_GENTL_EXPORT GCGetInfo(TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  // Allowed before GCInitLib: the system's info does not need the boards.
  return guard([&] {
    std::lock_guard<std::recursive_mutex> g(Handles::lock());
    answer(System::info(iInfoCmd), piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT GCGetLastError(GC_ERROR* piErrorCode, char* sErrText, size_t* piSize) {
  // Its own refusals leave the last error as it was.
  const Error e = lastError();
  try {
    need(piErrorCode, "the error code pointer");
    *piErrorCode = e.code;
    answerString(e.code == GC_ERR_SUCCESS ? "no error" : e.text, sErrText, piSize);
    return GC_ERR_SUCCESS;
  } catch (const Error& refused) {
    return refused.code;
  } catch (...) {
    return GC_ERR_ERROR;
  }
}

QRN_GENTL_EXPORT GCInitLib(void) {
  return guard([] {
    std::lock_guard<std::recursive_mutex> g(Handles::lock());
    Library::init();
  });
}

QRN_GENTL_EXPORT GCCloseLib(void) {
  return guard([] {
    std::lock_guard<std::recursive_mutex> g(Handles::lock());
    Library::close();
  });
}

// ---- ports ---------------------------------------------------------------------------

QRN_GENTL_EXPORT GCReadPort(PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer, size_t* piSize) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    need(pBuffer, "the buffer");
    need(piSize, "the size pointer");
    p.read(iAddress, pBuffer, *piSize);
  });
}

QRN_GENTL_EXPORT GCWritePort(PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer, size_t* piSize) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    need(pBuffer, "the buffer");
    need(piSize, "the size pointer");
    p.write(iAddress, pBuffer, *piSize);
  });
}

QRN_GENTL_EXPORT GCReadPortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries, size_t* piNumEntries) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    need(pEntries, "the entries");
    need(piNumEntries, "the entry count");
    const size_t n = *piNumEntries;
    *piNumEntries = 0;
    for (size_t i = 0; i < n; ++i, ++*piNumEntries) p.read(pEntries[i].Address, pEntries[i].pBuffer, pEntries[i].Size);
  });
}

QRN_GENTL_EXPORT GCWritePortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries, size_t* piNumEntries) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    need(pEntries, "the entries");
    need(piNumEntries, "the entry count");
    const size_t n = *piNumEntries;
    *piNumEntries = 0;
    for (size_t i = 0; i < n; ++i, ++*piNumEntries) p.write(pEntries[i].Address, pEntries[i].pBuffer, pEntries[i].Size);
  });
}

QRN_GENTL_EXPORT GCGetPortURL(PORT_HANDLE hPort, char* sURL, size_t* piSize) {
  // The older query: the first URL (GCGetPortURLInfo gives every one).
  return call([&] { answerString(portOf(hPort).url(0), sURL, piSize); });
}

QRN_GENTL_EXPORT GCGetNumPortURLs(PORT_HANDLE hPort, uint32_t* piNumURLs) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    need(piNumURLs, "the count pointer");
    *piNumURLs = p.numUrls();
  });
}

QRN_GENTL_EXPORT GCGetPortURLInfo(PORT_HANDLE hPort, uint32_t iURLIndex, URL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                            void* pBuffer, size_t* piSize) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    const std::string url = p.url(iURLIndex);
    Info info;
    switch (iInfoCmd) {
      case URL_INFO_URL:
        info = infoString(url);
        break;
      case URL_INFO_SCHEMA_VER_MAJOR:
        info = infoI32(1);
        break;
      case URL_INFO_SCHEMA_VER_MINOR:
        info = infoI32(1);
        break;
      case URL_INFO_FILE_VER_MAJOR:
        info = infoI32(1);
        break;
      case URL_INFO_FILE_VER_MINOR:
      case URL_INFO_FILE_VER_SUBMINOR:
        info = infoI32(0);
        break;
      case URL_INFO_FILE_REGISTER_ADDRESS:
        info = infoU64(p.fileAddress(iURLIndex));
        break;
      case URL_INFO_FILE_SIZE:
        info = infoU64(p.fileSize(iURLIndex));
        break;
      case URL_INFO_SCHEME:
        info = infoI32(URL_SCHEME_LOCAL);
        break;
      case URL_INFO_FILENAME: {
        const std::size_t a = url.find(':') + 1;
        info = infoString(url.substr(a, url.find(';') - a));
        break;
      }
      default:
        fail(GC_ERR_NOT_AVAILABLE, "URL info " + std::to_string(iInfoCmd) + " is not available");
    }
    answer(info, piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT GCGetPortInfo(PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                         size_t* piSize) {
  return call([&] {
    FeaturePort& p = portOf(hPort);
    const bool remote = Handles::is(hPort, Kind::Remote);
    Info info;
    switch (iInfoCmd) {
      case PORT_INFO_ID:
        info = infoString(p.portName());
        break;
      case PORT_INFO_VENDOR:
        info = infoString(kVendor);
        break;
      case PORT_INFO_MODEL:
        info = infoString(remote ? static_cast<RemoteDevice*>(hPort)->device().board().model : p.portName());
        break;
      case PORT_INFO_TLTYPE:
        info = infoString(kTLType);
        break;
      case PORT_INFO_MODULE:
        info = infoString(p.portName());
        break;
      case PORT_INFO_LITTLE_ENDIAN:
        info = infoBool(true);
        break;
      case PORT_INFO_BIG_ENDIAN:
        info = infoBool(false);
        break;
      case PORT_INFO_ACCESS_READ:
      case PORT_INFO_ACCESS_WRITE:
        info = infoBool(true);
        break;
      case PORT_INFO_ACCESS_NA:
      case PORT_INFO_ACCESS_NI:
        info = infoBool(false);
        break;
      case PORT_INFO_VERSION:
        info = infoString(QRN_GENTL_VERSION);
        break;
      case PORT_INFO_PORTNAME:
        info = infoString(p.portName());
        break;
      default:
        fail(GC_ERR_INVALID_PARAMETER, "unknown port info command " + std::to_string(iInfoCmd));
    }
    answer(info, piType, pBuffer, piSize);
  });
}

// ---- events -----------------------------------------------------------------------------

QRN_GENTL_EXPORT GCRegisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID, EVENT_HANDLE* phEvent) {
  return call([&] {
    EventSource& s = eventSourceOf(hEventSrc);
    need(phEvent, "the event handle pointer");
    *phEvent = s.registerEvent(iEventID).get();
  });
}

QRN_GENTL_EXPORT GCUnregisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID) {
  return call([&] { eventSourceOf(hEventSrc).unregisterEvent(iEventID); });
}

namespace {
// The registered event behind a handle, shared so that a wait outlives an
// unregistration.
std::shared_ptr<Event> eventOf(EVENT_HANDLE h) { return handle<Event>(h).shared_from_this(); }
}  // namespace

QRN_GENTL_EXPORT EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize, uint64_t iTimeout) {
  std::shared_ptr<Event> e;
  GC_ERROR rc = call([&] {
    e = eventOf(hEvent);
    need(pBuffer, "the buffer");
    need(piSize, "the size pointer");
    if (*piSize < e->maxSize()) {
      const std::size_t given = *piSize;
      *piSize = e->maxSize();
      fail(GC_ERR_BUFFER_TOO_SMALL,
           "the event data needs " + std::to_string(e->maxSize()) + " bytes, not " + std::to_string(given));
    }
  });
  if (rc != GC_ERR_SUCCESS) return rc;
  std::vector<char> data;
  GC_ERROR why = GC_ERR_SUCCESS;
  if (!e->pop(iTimeout, data, why))
    return guard([&] {
      fail(why, why == GC_ERR_TIMEOUT ? "no event within " + std::to_string(iTimeout) + " ms"
                                      : "the wait was killed (EventKill)");
    });
  return call([&] {
    std::memcpy(pBuffer, data.data(), data.size());
    *piSize = data.size();
    if (e->type() == EVENT_NEW_BUFFER) {
      EVENT_NEW_BUFFER_DATA d;
      std::memcpy(&d, data.data(), sizeof d);
      if (Handles::is(d.BufferHandle, Kind::Buffer))
        static_cast<Buffer*>(d.BufferHandle)->owner->delivered(d.BufferHandle);
    }
  });
}

QRN_GENTL_EXPORT EventGetDataInfo(EVENT_HANDLE hEvent, const void* pInBuffer, size_t iInSize, EVENT_DATA_INFO_CMD iInfoCmd,
                            INFO_DATATYPE* piType, void* pOutBuffer, size_t* piOutSize) {
  return call([&] {
    Event& e = handle<Event>(hEvent);
    need(pInBuffer, "the event data");
    if (iInSize < e.maxSize()) fail(GC_ERR_INVALID_PARAMETER, "the event data is too short");
    if (e.type() == EVENT_NEW_BUFFER) {
      EVENT_NEW_BUFFER_DATA d;
      std::memcpy(&d, pInBuffer, sizeof d);
      if (iInfoCmd == EVENT_DATA_ID) return answer(infoPtr(d.BufferHandle), piType, pOutBuffer, piOutSize);
      if (iInfoCmd == EVENT_DATA_VALUE) return answer(infoPtr(d.pUserPointer), piType, pOutBuffer, piOutSize);
    } else {
      qsGenTLErrorEventData d;
      std::memcpy(&d, pInBuffer, sizeof d);
      d.text[sizeof d.text - 1] = '\0';
      if (iInfoCmd == EVENT_DATA_ID) return answer(infoI32(d.code), piType, pOutBuffer, piOutSize);
      if (iInfoCmd == EVENT_DATA_VALUE) return answer(infoString(d.text), piType, pOutBuffer, piOutSize);
    }
    fail(GC_ERR_NOT_AVAILABLE, "event data info " + std::to_string(iInfoCmd) + " is not available");
  });
}

QRN_GENTL_EXPORT EventGetInfo(EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                        size_t* piSize) {
  return call([&] {
    Event& e = handle<Event>(hEvent);
    Info info;
    switch (iInfoCmd) {
      case EVENT_EVENT_TYPE:
        info = infoI32(e.type());
        break;
      case EVENT_NUM_IN_QUEUE:
        info = infoU64(e.inQueue());
        break;
      case EVENT_NUM_FIRED:
        info = infoU64(e.fired());
        break;
      case EVENT_SIZE_MAX:
      case EVENT_INFO_DATA_SIZE_MAX:
        info = infoSize(e.maxSize());
        break;
      default:
        fail(GC_ERR_INVALID_PARAMETER, "unknown event info command " + std::to_string(iInfoCmd));
    }
    answer(info, piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT EventFlush(EVENT_HANDLE hEvent) {
  return call([&] {
    Event& e = handle<Event>(hEvent);
    if (e.type() == EVENT_NEW_BUFFER) {
      // The buffers of the dropped events leave the output queue.
      e.dropIf([](const std::vector<char>& data) {
        EVENT_NEW_BUFFER_DATA d;
        std::memcpy(&d, data.data(), sizeof d);
        if (Handles::is(d.BufferHandle, Kind::Buffer))
          static_cast<Buffer*>(d.BufferHandle)->owner->discarded(d.BufferHandle);
        return true;
      });
    } else {
      e.flush();
    }
  });
}

QRN_GENTL_EXPORT EventKill(EVENT_HANDLE hEvent) {
  return call([&] { handle<Event>(hEvent).kill(); });
}

// ---- system -----------------------------------------------------------------------------

QRN_GENTL_EXPORT TLOpen(TL_HANDLE* phTL) {
  return call([&] {
    need(phTL, "the handle pointer");
    if (Library::system()) fail(GC_ERR_RESOURCE_IN_USE, "the system module is open");
    Library::system() = new System;
    *phTL = Library::system();
  });
}

QRN_GENTL_EXPORT TLClose(TL_HANDLE hTL) {
  return call([&] {
    System& s = handle<System>(hTL);
    delete &s;
    Library::system() = nullptr;
  });
}

QRN_GENTL_EXPORT TLGetInfo(TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  return call([&] {
    handle<System>(hTL);
    answer(System::info(iInfoCmd), piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT TLGetNumInterfaces(TL_HANDLE hTL, uint32_t* piNumIfaces) {
  return call([&] {
    System& s = handle<System>(hTL);
    need(piNumIfaces, "the count pointer");
    *piNumIfaces = static_cast<uint32_t>(s.interfaces().size());
  });
}

QRN_GENTL_EXPORT TLGetInterfaceID(TL_HANDLE hTL, uint32_t iIndex, char* sID, size_t* piSize) {
  return call([&] {
    System& s = handle<System>(hTL);
    if (iIndex >= s.interfaces().size())
      fail(GC_ERR_INVALID_INDEX,
           "interface " + std::to_string(iIndex) + " of " + std::to_string(s.interfaces().size()));
    answerString(s.interfaces()[iIndex]->id(), sID, piSize);
  });
}

QRN_GENTL_EXPORT TLGetInterfaceInfo(TL_HANDLE hTL, const char* sIfaceID, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                              void* pBuffer, size_t* piSize) {
  return call([&] {
    System& s = handle<System>(hTL);
    answer(s.interface(idText(sIfaceID, "the interface id")).info(iInfoCmd), piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT TLOpenInterface(TL_HANDLE hTL, const char* sIfaceID, IF_HANDLE* phIface) {
  return call([&] {
    System& s = handle<System>(hTL);
    need(phIface, "the handle pointer");
    Interface& i = s.interface(idText(sIfaceID, "the interface id"));
    i.open();
    *phIface = &i;
  });
}

QRN_GENTL_EXPORT TLUpdateInterfaceList(TL_HANDLE hTL, bool8_t* pbChanged, uint64_t) {
  return call([&] {
    handle<System>(hTL);
    if (pbChanged) *pbChanged = 0;  // the board list is fixed once the drivers are loaded
  });
}

// ---- interfaces ---------------------------------------------------------------------------

QRN_GENTL_EXPORT IFClose(IF_HANDLE hIface) {
  return call([&] { handle<Interface>(hIface).close(); });
}

QRN_GENTL_EXPORT IFGetInfo(IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                     size_t* piSize) {
  return call([&] { answer(handle<Interface>(hIface).info(iInfoCmd), piType, pBuffer, piSize); });
}

QRN_GENTL_EXPORT IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices) {
  return call([&] {
    Interface& i = handle<Interface>(hIface);
    need(piNumDevices, "the count pointer");
    *piNumDevices = static_cast<uint32_t>(i.boards().size());
  });
}

QRN_GENTL_EXPORT IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID, size_t* piSize) {
  return call([&] {
    Interface& i = handle<Interface>(hIface);
    if (iIndex >= i.boards().size())
      fail(GC_ERR_INVALID_INDEX, "device " + std::to_string(iIndex) + " of " + std::to_string(i.boards().size()));
    answerString(i.boards()[iIndex].id, sIDeviceID, piSize);
  });
}

QRN_GENTL_EXPORT IFUpdateDeviceList(IF_HANDLE hIface, bool8_t* pbChanged, uint64_t) {
  return call([&] {
    handle<Interface>(hIface);
    if (pbChanged) *pbChanged = 0;
  });
}

QRN_GENTL_EXPORT IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                           void* pBuffer, size_t* piSize) {
  return call([&] {
    Interface& i = handle<Interface>(hIface);
    answer(i.deviceInfo(idText(sDeviceID, "the device id"), iInfoCmd), piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID, DEVICE_ACCESS_FLAGS iOpenFlags, DEV_HANDLE* phDevice) {
  return call([&] {
    Interface& i = handle<Interface>(hIface);
    need(phDevice, "the handle pointer");
    *phDevice = &i.openDevice(idText(sDeviceID, "the device id"), iOpenFlags);
  });
}

QRN_GENTL_EXPORT IFGetParentTL(IF_HANDLE hIface, TL_HANDLE* phSystem) {
  return call([&] {
    Interface& i = handle<Interface>(hIface);
    need(phSystem, "the handle pointer");
    *phSystem = &i.system();
  });
}

// ---- devices ---------------------------------------------------------------------------------

QRN_GENTL_EXPORT DevGetPort(DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDevice) {
  return call([&] {
    Device& d = handle<Device>(hDevice);
    need(phRemoteDevice, "the handle pointer");
    *phRemoteDevice = &d.remote();
  });
}

QRN_GENTL_EXPORT DevGetNumDataStreams(DEV_HANDLE hDevice, uint32_t* piNumDataStreams) {
  return call([&] {
    handle<Device>(hDevice);
    need(piNumDataStreams, "the count pointer");
    *piNumDataStreams = 1;
  });
}

QRN_GENTL_EXPORT DevGetDataStreamID(DEV_HANDLE hDevice, uint32_t iIndex, char* sDataStreamID, size_t* piSize) {
  return call([&] {
    handle<Device>(hDevice);
    if (iIndex != 0) fail(GC_ERR_INVALID_INDEX, "the device has one data stream (index 0)");
    answerString(Device::kStreamId, sDataStreamID, piSize);
  });
}

QRN_GENTL_EXPORT DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID, DS_HANDLE* phDataStream) {
  return call([&] {
    Device& d = handle<Device>(hDevice);
    need(phDataStream, "the handle pointer");
    *phDataStream = &d.openStream(idText(sDataStreamID, "the data stream id"));
  });
}

QRN_GENTL_EXPORT DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                      size_t* piSize) {
  return call([&] { answer(handle<Device>(hDevice).info(iInfoCmd), piType, pBuffer, piSize); });
}

QRN_GENTL_EXPORT DevClose(DEV_HANDLE hDevice) {
  return call([&] {
    Device& d = handle<Device>(hDevice);
    d.parent().deviceClosed(&d);
  });
}

QRN_GENTL_EXPORT DevGetParentIF(DEV_HANDLE hDevice, IF_HANDLE* phIface) {
  return call([&] {
    Device& d = handle<Device>(hDevice);
    need(phIface, "the handle pointer");
    *phIface = &d.parent();
  });
}

// ---- data streams ---------------------------------------------------------------------------------

namespace {
// The stream and one of its buffers.
Buffer& bufferOf(DataStream& s, BUFFER_HANDLE h) {
  Buffer& b = handle<Buffer>(h);
  if (b.owner != &s) fail(GC_ERR_INVALID_HANDLE, "the buffer belongs to another data stream");
  return b;
}
}  // namespace

QRN_GENTL_EXPORT DSAnnounceBuffer(DS_HANDLE hDataStream, void* pBuffer, size_t iSize, void* pPrivate,
                            BUFFER_HANDLE* phBuffer) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    need(phBuffer, "the handle pointer");
    *phBuffer = &s.announce(pBuffer, iSize, pPrivate, false);
  });
}

QRN_GENTL_EXPORT DSAllocAndAnnounceBuffer(DS_HANDLE hDataStream, size_t iSize, void* pPrivate, BUFFER_HANDLE* phBuffer) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    need(phBuffer, "the handle pointer");
    *phBuffer = &s.announce(nullptr, iSize, pPrivate, true);
  });
}

QRN_GENTL_EXPORT DSFlushQueue(DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation) {
  return call([&] { handle<DataStream>(hDataStream).flushQueue(iOperation); });
}

QRN_GENTL_EXPORT DSStartAcquisition(DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags, uint64_t iNumToAcquire) {
  return call([&] { handle<DataStream>(hDataStream).start(iStartFlags, iNumToAcquire); });
}

QRN_GENTL_EXPORT DSStopAcquisition(DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags) {
  return call([&] { handle<DataStream>(hDataStream).stop(iStopFlags); });
}

QRN_GENTL_EXPORT DSGetInfo(DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                     size_t* piSize) {
  return call([&] { answer(handle<DataStream>(hDataStream).info(iInfoCmd), piType, pBuffer, piSize); });
}

QRN_GENTL_EXPORT DSGetBufferID(DS_HANDLE hDataStream, uint32_t iIndex, BUFFER_HANDLE* phBuffer) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    need(phBuffer, "the handle pointer");
    *phBuffer = &s.bufferAt(iIndex);
  });
}

QRN_GENTL_EXPORT DSClose(DS_HANDLE hDataStream) {
  return call([&] { handle<DataStream>(hDataStream).device().streamClosed(); });
}

QRN_GENTL_EXPORT DSRevokeBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, void** pBuffer, void** pPrivate) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    s.revoke(bufferOf(s, hBuffer), pBuffer, pPrivate);
  });
}

QRN_GENTL_EXPORT DSQueueBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    s.queue(bufferOf(s, hBuffer));
  });
}

QRN_GENTL_EXPORT DSGetBufferInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD iInfoCmd,
                           INFO_DATATYPE* piType, void* pBuffer, size_t* piSize) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    answer(s.bufferInfo(bufferOf(s, hBuffer), iInfoCmd), piType, pBuffer, piSize);
  });
}

QRN_GENTL_EXPORT DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    need(phDevice, "the handle pointer");
    *phDevice = &s.device();
  });
}

QRN_GENTL_EXPORT DSGetBufferChunkData(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, SINGLE_CHUNK_DATA*, size_t* piNumChunks) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    bufferOf(s, hBuffer);
    need(piNumChunks, "the chunk count");
    *piNumChunks = 0;  // the boards send no chunk data
  });
}

QRN_GENTL_EXPORT DSGetBufferInfoStacked(DS_HANDLE hDataStream, DS_BUFFER_INFO_STACKED* pInfoStacked, size_t iNumInfos) {
  return call([&] {
    handle<DataStream>(hDataStream);
    need(pInfoStacked, "the queries");
    for (size_t i = 0; i < iNumInfos; ++i) {
      DS_BUFFER_INFO_STACKED& q = pInfoStacked[i];
      q.iResult = DSGetBufferInfo(hDataStream, q.hBuffer, q.iInfoCmd, &q.iType, q.pBuffer, &q.iSize);
    }
  });
}

// Single-part image buffers without segments or flows: what the multi-part,
// composite and flow functions would describe does not exist here.
QRN_GENTL_EXPORT DSGetNumBufferParts(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumParts) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    bufferOf(s, hBuffer);
    need(piNumParts, "the part count");
    *piNumParts = 0;  // a plain image buffer, not multi-part
  });
}

QRN_GENTL_EXPORT DSGetBufferPartInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t, BUFFER_PART_INFO_CMD,
                               INFO_DATATYPE*, void*, size_t*) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    bufferOf(s, hBuffer);
    fail(GC_ERR_INVALID_INDEX, "the buffer has no parts (not a multi-part buffer)");
  });
}

QRN_GENTL_EXPORT DSGetBufferPartInfoStacked(DS_HANDLE hDataStream, DS_BUFFER_PART_INFO_STACKED* pInfoStacked,
                                      size_t iNumInfos) {
  return call([&] {
    handle<DataStream>(hDataStream);
    need(pInfoStacked, "the queries");
    for (size_t i = 0; i < iNumInfos; ++i) pInfoStacked[i].iResult = GC_ERR_INVALID_INDEX;
    fail(GC_ERR_INVALID_INDEX, "the buffers have no parts (not multi-part buffers)");
  });
}

QRN_GENTL_EXPORT DSAnnounceCompositeBuffer(DS_HANDLE hDataStream, size_t, void**, size_t*, void*, BUFFER_HANDLE*) {
  return call([&] {
    handle<DataStream>(hDataStream);
    fail(GC_ERR_NOT_IMPLEMENTED, "the data stream takes single-segment buffers only");
  });
}

QRN_GENTL_EXPORT DSGetNumFlows(DS_HANDLE hDataStream, uint32_t* piNumFlows) {
  return call([&] {
    handle<DataStream>(hDataStream);
    need(piNumFlows, "the flow count");
    *piNumFlows = 0;
  });
}

QRN_GENTL_EXPORT DSGetFlowInfo(DS_HANDLE hDataStream, uint32_t, FLOW_INFO_CMD, INFO_DATATYPE*, void*, size_t*) {
  return call([&] {
    handle<DataStream>(hDataStream);
    fail(GC_ERR_INVALID_INDEX, "the data stream has no flows");
  });
}

QRN_GENTL_EXPORT DSGetNumBufferSegments(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumSegments) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    bufferOf(s, hBuffer);
    need(piNumSegments, "the segment count");
    *piNumSegments = 0;
  });
}

QRN_GENTL_EXPORT DSGetBufferSegmentInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t, SEGMENT_INFO_CMD,
                                  INFO_DATATYPE*, void*, size_t*) {
  return call([&] {
    DataStream& s = handle<DataStream>(hDataStream);
    bufferOf(s, hBuffer);
    fail(GC_ERR_INVALID_INDEX, "the buffer has no segments (not a composite buffer)");
  });
}
